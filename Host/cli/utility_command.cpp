// plughost utility: a utility in the utility panel, with its rollups printed.
#include <hostside/class_registry.h>
#include <hostside/ui.h>

#include <cstdio>

#include "cli/user_messages.h"
#include "cli/verbs.h"
#include "common/failure.h"
#include "editor/rollup_text.h"

namespace plughost {

namespace {

// Opens the utility class `name` in the utility panel and prints its rollups.
int UtilityCommand(const std::string& name) {
  UserMessages messages;
  ClassDesc* d = HostFindClassByName(name);
  if (!d || d->SuperClassID() != UTILITY_CLASS_ID) {
    std::string known;
    for (const RegisteredClass& rc : HostClasses()) {
      if (rc.desc->SuperClassID() != UTILITY_CLASS_ID) continue;
      const char* n = rc.desc->ClassName();
      known += "\n  " + std::string(n ? n : "?") + " (" + rc.source + ")";
    }
    if (known.empty()) known = " none (no plug-in file with utilities was loaded)";
    return FailBadInput("no utility '" + name + "'. Utilities:" + known);
  }
  HostUtilityPanel panel;
  if (!panel.Open(d)) return Fail("the utility '" + name + "' could not be opened");
  HostPumpMessages();
  const char* className = d->ClassName();
  std::printf("Utility panel: %s\n", className ? className : name.c_str());
  PrintRollups(panel.Rollups());
  panel.Close();
  HostPumpMessages();
  return 0;
}

}  // namespace

void AddUtilityVerb(CLI::App& app, Verbs& verbs) {
  auto name = std::make_shared<std::string>();
  CLI::App* cmd = app.add_subcommand("utility", "Open a utility in the utility panel and print its rollups");
  cmd->add_option("name", *name, "The utility's class name, e.g. QuorlLib")->required();
  verbs.push_back({cmd, [name] { return UtilityCommand(*name); }});
}

}  // namespace plughost
