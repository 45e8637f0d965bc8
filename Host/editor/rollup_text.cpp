#include "editor/rollup_text.h"

#include <cstdio>
#include <optional>
#include <string>

#include "common/text.h"
#include "editor/edit_session.h"

namespace plughost {

namespace {

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

}  // namespace

void PrintRollups(const std::vector<HostRollupInfo>& rollups) {
  for (const HostRollupInfo& r : rollups) {
    std::printf("Rollup %s (%s)\n", QuoteText(r.title).c_str(), r.open ? "open" : "rolled up");
    if (r.open) PrintControls(r.page, 1);
  }
}

}  // namespace plughost
