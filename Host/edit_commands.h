// plughost edit and plughost utility: a texture in the material editor and a
// utility in the utility panel, driven as a user would, with every rollup
// printed. Each returns the program's exit status; problems go to standard
// error as one message.
#pragma once

#include <string>
#include <vector>

// What the user does in the material editor, in the order given.
struct EditAction {
  enum Kind {
    kSpin,     // "ID=VALUE": drags a spinner to VALUE
    kType,     // "ID=TEXT": types TEXT into an edit field and presses Enter
    kClick,    // "ID": clicks a button, check box or link
    kColor,    // "ID=r,g,b": picks a colour for a swatch
    kMap,      // "[ID=]checker|none|FILE.png": presses the map button and chooses
    kTime,     // "FRAME" or "TICKSt": moves the editor's time
    kAnimate,  // "on|off": the animate button
    kOpen,     // "TITLE": opens a rolled-up rollup
    kClose,    // "TITLE": rolls a rollup up
  };
  Kind kind;
  std::string arg;
};

// The command-line options that make actions, for the parser.
struct EditActionOption {
  const char* flag;
  EditAction::Kind kind;
  const char* typeName;
  const char* help;
};
const std::vector<EditActionOption>& EditActionOptions();

struct EditOptions {
  std::string sceneFile;  // empty: a new texture of `className`
  std::string className = "Vede";
  std::string output;  // empty: back to the scene file, or (no scene) nothing saved
  std::vector<EditAction> actions;
};

// Opens the material editor on the scene's first texture map (or a new one),
// prints its rollups, applies the actions, prints the rollups again and
// saves. Controls are named by id, or by "TITLE:ID" where several open
// rollups have the id.
int EditCommand(const EditOptions& opts);

// Opens the utility class `name` in the utility panel and prints its rollups.
int UtilityCommand(const std::string& name);
