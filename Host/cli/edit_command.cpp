#include "cli/edit_command.h"

#include <hostside/class_registry.h>
#include <hostside/handlers.h>
#include <hostside/scene_file.h>
#include <hostside/ui.h>

#include <cstdio>
#include <memory>
#include <optional>

#include "common/failure.h"
#include "common/text.h"
#include "common/value_readers.h"
#include "scene/scene_maps.h"

namespace plughost {

namespace {

// ---- Messages for the user ---------------------------------------------------
//
// What plug-ins show in message boxes, and the addresses their links open,
// go to standard error; the command's own output stays on standard output.

int PrintMessageBox(HWND, const char* text, const char* caption, UINT, void*) {
  std::fprintf(stderr, "plughost: %s: %s\n", caption ? caption : "", text ? text : "");
  return IDOK;
}

INT_PTR PrintShellOpen(HWND, const char* operation, const char* file, const char*, const char*, int, void*) {
  std::fprintf(stderr, "plughost: %s %s\n", operation ? operation : "open", file ? file : "");
  return 42;  // above 32: the shell took it
}

// Installs both for the life of a command.
class UserMessages {
 public:
  UserMessages()
      : box_(HostSetMessageBoxHandler({PrintMessageBox, nullptr})),
        shell_(HostSetShellExecuteHandler({PrintShellOpen, nullptr})) {}
  ~UserMessages() {
    HostSetMessageBoxHandler(box_);
    HostSetShellExecuteHandler(shell_);
  }
  UserMessages(const UserMessages&) = delete;
  UserMessages& operator=(const UserMessages&) = delete;

 private:
  MessageBoxHook box_;
  ShellExecuteHook shell_;
};

// ---- Printing rollups --------------------------------------------------------

std::string ColorText(COLORREF c) {
  return std::to_string(c & 0xFF) + "," + std::to_string((c >> 8) & 0xFF) + "," + std::to_string((c >> 16) & 0xFF);
}

std::string ValueText(const HostWindowInfo& w) {
  switch (w.kind) {
    case HostValueKind::kCheck:
      // A push button of the host's reads as an unchecked check button.
      if (SameClassName(w.className, "CustButton")) return w.check ? "pressed" : "";
      // Push buttons and group boxes hold no check.
      switch (w.style & BS_TYPEMASK) {
        case BS_PUSHBUTTON:
        case 1:  // a default push button
        case BS_GROUPBOX: return "";
        default: break;
      }
      return w.check == BST_CHECKED ? "checked" : "unchecked";
    case HostValueKind::kSpinner:
      return "value " + FloatText(w.value) + " (" + FloatText(w.minimum) + " to " + FloatText(w.maximum) + ")";
    case HostValueKind::kColor: return "color " + ColorText(w.color);
    case HostValueKind::kCombo:
      return "item " + std::to_string(w.selection) +
             (w.selection >= 0 && static_cast<size_t>(w.selection) < w.items.size()
                  ? " " + QuoteText(w.items[static_cast<size_t>(w.selection)])
                  : "");
    case HostValueKind::kImage: {
      std::optional<HostBitmapInfo> b = w.image ? HostGetBitmapInfo(w.image) : std::nullopt;
      return b ? "image " + std::to_string(b->width) + "x" + std::to_string(b->height) : "no image";
    }
    case HostValueKind::kNone: break;
  }
  return "";
}

void PrintControls(HWND parent, int depth) {
  std::optional<HostWindowInfo> p = HostGetWindowInfo(parent);
  if (!p) return;
  for (HWND child : p->children) {
    std::optional<HostWindowInfo> w = HostGetWindowInfo(child);
    if (!w || !w->visible) continue;
    std::string line(static_cast<size_t>(depth) * 2, ' ');
    char head[64];
    std::snprintf(head, sizeof head, "%5d  %-14s", w->id, w->className.c_str());
    line += head;
    // A spinner's, swatch's or picture's own text is not what it shows.
    bool valueOnly =
        w->kind == HostValueKind::kSpinner || w->kind == HostValueKind::kColor || w->kind == HostValueKind::kImage;
    bool showText = !valueOnly && (!w->text.empty() || w->kind == HostValueKind::kNone);
    if (showText) line += "  " + QuoteText(w->text);
    std::string value = ValueText(*w);
    if (!value.empty()) line += "  " + value;
    if (!w->enabled) line += "  disabled";
    line += "  at " + std::to_string(w->rect.left) + "," + std::to_string(w->rect.top) + " size " +
            std::to_string(w->rect.right - w->rect.left) + "x" + std::to_string(w->rect.bottom - w->rect.top);
    std::printf("%s\n", line.c_str());
    PrintControls(child, depth + 1);
  }
}

void PrintRollups(const std::vector<HostRollupInfo>& rollups) {
  for (const HostRollupInfo& r : rollups) {
    std::printf("Rollup %s (%s)\n", QuoteText(r.title).c_str(), r.open ? "open" : "rolled up");
    if (r.open) PrintControls(r.page, 1);
  }
}

}  // namespace

int EditCommand(const EditOptions& opts) {
  UserMessages messages;
  std::string error;
  std::unique_ptr<Scene> scene;
  Texmap* tex = nullptr;
  if (!OpenMapScene(opts.sceneFile, opts.className, &scene, &tex, &error)) return Fail(error);

  bool ok = true;
  {
    // The editor goes before the scene that keeps the texture.
    EditSession session;
    if (!session.Show(tex, &error)) return Fail(error);
    std::printf("Material editor: %s\n", HostClassName(tex).c_str());
    PrintRollups(session.Rollups());
    if (!opts.actions.empty()) {
      for (const EditAction& a : opts.actions) {
        std::printf("\n> %s\n", ActionText(a).c_str());
        if (!session.Apply(a, &error)) {
          ok = false;
          error = ActionText(a) + ": " + error;
          break;
        }
        if (session.AskedForMap()) std::printf("  (the map button's choice was cancelled: choose with --map)\n");
      }
      if (ok) {
        std::printf("\nAfter the actions:\n");
        PrintRollups(session.Rollups());
      }
    }
    session.Close();
  }
  SetAnimateMode(FALSE);
  // A failed action saves nothing.
  if (!ok) return Fail(error);

  std::string out = !opts.output.empty() ? opts.output : opts.sceneFile;
  if (out.empty()) return 0;
  if (!HostSaveScene(*scene, out, &error)) return Fail(error);
  std::printf("\nSaved %s\n", out.c_str());
  return 0;
}

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
    return Fail("no utility '" + name + "'. Utilities:" + known);
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

}  // namespace plughost
