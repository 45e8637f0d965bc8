// The material editor as a user drives it: a texture's rollups open in the
// host's material editor, and user actions on them by control id. plughost
// edit takes the actions from its command line, plughost serve from the page
// in the browser; both go through EditSession::Apply, so a gesture in the page
// and an option on the command line are the same host-layer action: a
// window message that the plug-in's dialog procedure answers.
//
// Everything here runs on the user-interface thread.
#pragma once

#include <hostside/ui.h>
#include <imtl.h>

#include <optional>
#include <string>
#include <vector>

namespace plughost {

// What the user does in the material editor, in the order given.
struct EditAction {
  enum Kind {
    kSpin,     // "ID=VALUE": drags a spinner to VALUE (within its range)
    kStep,     // "ID=N": clicks a spinner's arrow N times (negative: down), or drags it N pixels
    kType,     // "ID=TEXT": types TEXT into an edit field and presses Enter
    kClick,    // "ID": clicks a button, check box or link
    kColor,    // "ID=r,g,b": picks a colour for a swatch
    kMap,      // "[ID=]checker|none|FILE.png": presses the map button and chooses
    kTime,     // "FRAME" or "TICKSt": moves the editor's time
    kAnimate,  // "on|off": the animate button
    kOpen,     // "TITLE" or "PLACE": opens a rolled-up rollup, or shows the map at that place of the tree
    kClose,    // "TITLE": rolls a rollup up
    kParent,   // "": Go to Parent, back to the map that holds the one shown
  };
  Kind kind;
  std::string arg;
  // The map of the tree the action is for, by its place ("Vede.Map"); empty:
  // the map shown. The session shows that map first, as a user goes there.
  std::string place = "";
};

// One map of the tree shown in the material editor, root first, each map
// followed by its sub-maps.
struct MapTreeNode {
  std::string place;      // the root's label, then the slot names: "Vede.Map"
  std::string name;       // as a map button shows it ("Bitmap: dirt.png")
  std::string className;  // "Checker"
  int depth = 0;
  bool shown = false;  // the map whose rollups are open
};

// The actions by name ("--spin" on the command line, "spin" from the page).
struct EditActionOption {
  const char* flag;
  EditAction::Kind kind;
  const char* typeName;
  const char* help;
};
const std::vector<EditActionOption>& EditActionOptions();
// "--spin 1497=4": the action as the command line writes it.
std::string ActionText(const EditAction& a);

class EditSession {
 public:
  EditSession();
  ~EditSession();
  EditSession(const EditSession&) = delete;
  EditSession& operator=(const EditSession&) = delete;

  // Shows the texture's rollups (another texture of the same class takes over
  // the open dialog, as the material editor does); it becomes the root of
  // the tree that the map buttons walk: pressing the button of a slot that
  // holds a map shows that map's rollups, Go to Parent comes back.
  bool Show(Texmap* tex, std::string* error);
  // Applies one action, then pumps the messages it caused. False with a
  // message (and, for a control, nothing sent) when the action cannot apply.
  bool Apply(const EditAction& a, std::string* error);
  // Ends the dialog; the texture stays where it is.
  void Close();

  HostMtlEditor& Editor() { return editor_; }
  std::vector<HostRollupInfo> Rollups() const { return editor_.Rollups(); }
  // Whether the last action pressed a button that asked the editor for a map
  // while no choice was waiting (a --map action brings its own).
  bool AskedForMap() const { return askedForMap_; }

  // The tree under the root, and the place of the map shown.
  std::vector<MapTreeNode> Tree() const;
  std::string ShownPlace() const;

 private:
  bool Do(const EditAction& a, std::string* error);
  // Shows the map at `place`; false with the tree's places otherwise.
  bool GoTo(const std::string& place, std::string* error);
  bool ShowTrail(std::string* error);
  // Drops the maps of the trail that are no longer where it went (a slot
  // given another map) and shows the last one still there.
  void KeepTrail();
  bool ChooseMap(const std::vector<HostRollupInfo>& rollups, const std::string& arg, std::string* error);

  HostMtlEditor editor_;
  std::optional<Texmap*> choice_;  // set while a map choice waits for the editor
  bool askedForMap_ = false;
  Texmap* descend_ = nullptr;   // the sub-map whose button was pressed, shown once the click is over
  std::vector<Texmap*> trail_;  // the root, then each map down to the one shown
};

// Window class names compare without case, as Windows compares them.
bool SameClassName(const std::string& a, const char* b);

}  // namespace plughost
