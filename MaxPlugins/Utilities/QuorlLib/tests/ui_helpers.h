// What the library's window-level tests share: dialog templates as compiled
// into this module, windows read back, and assertion reports caught.
#pragma once

#include <gtest/gtest.h>
#include <strings.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "QuorlLibInternal.h"
#include "hostside/handlers.h"
#include "hostside/module_table.h"
#include "hostside/ui.h"

// One control as a template lists it.
struct ExpectedControl {
  int id;
  const char* cls;  // compared without case, as Windows compares class names
  const char* text;
  int x, y, cx, cy;
  bool shown;
};

inline HostDialogTemplate LoadTemplate(int id) {
  std::span<const uint8_t> bytes = HostFindResource(hInstance, ResId::Num(5), ResId::Num(static_cast<uint16_t>(id)));
  std::string error;
  std::optional<HostDialogTemplate> t = HostParseDialogTemplate(bytes, &error);
  EXPECT_TRUE(t.has_value()) << "template " << id << ": " << error;
  return t.value_or(HostDialogTemplate{});
}

inline bool SameClass(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

// Every control of the template, in order, as listed.
inline void ExpectTemplateControls(const HostDialogTemplate& t, const std::vector<ExpectedControl>& want) {
  ASSERT_EQ(t.items.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    const HostDialogItem& it = t.items[i];
    const ExpectedControl& w = want[i];
    SCOPED_TRACE("control #" + std::to_string(i) + " (" + std::to_string(w.id) + ")");
    EXPECT_EQ(it.id, w.id);
    EXPECT_TRUE(SameClass(it.className, w.cls)) << it.className;
    EXPECT_EQ(it.text, w.text);
    EXPECT_EQ(it.x, w.x);
    EXPECT_EQ(it.y, w.y);
    EXPECT_EQ(it.cx, w.cx);
    EXPECT_EQ(it.cy, w.cy);
    EXPECT_EQ((it.style & WS_VISIBLE) != 0, w.shown);
  }
}

inline HostWindowInfo Info(HWND hwnd) {
  std::optional<HostWindowInfo> info = HostGetWindowInfo(hwnd);
  EXPECT_TRUE(info.has_value());
  return info.value_or(HostWindowInfo{});
}

inline std::string WindowText(HWND hwnd) { return Info(hwnd).text; }

// Catches assertion reports for the life of the object.
class AssertCatcher {
 public:
  AssertCatcher()
      : old_(HostSetAssertHandler({[](int line, const char* file, void* u) {
                                     static_cast<AssertCatcher*>(u)->reports.push_back({line, file});
                                   },
                                   this})) {}
  ~AssertCatcher() { HostSetAssertHandler(old_); }
  AssertCatcher(const AssertCatcher&) = delete;
  AssertCatcher& operator=(const AssertCatcher&) = delete;

  std::vector<std::pair<int, std::string>> reports;

 private:
  AssertHook old_;
};

inline bool EndsWith(const std::string& s, const std::string& end) {
  return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}
