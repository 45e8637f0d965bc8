// The scene file's layout.
#include <string>

#include "files/scene_format.h"

namespace hostscene {

namespace {

// The file's layout: one member a line, except that a small array or object
// of plain values (ids, a colour, a key, a parameter) stays on one line.
constexpr size_t kLineWidth = 120;

std::string Scalar(const OrderedJson& j) {
  // Texts from plug-ins need not be UTF-8; replace what is not rather than fail.
  return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

bool Flat(const OrderedJson& j) {
  for (const OrderedJson& m : j) {
    if (m.is_object()) return false;
    if (m.is_array()) {
      for (const OrderedJson& e : m)
        if (e.is_structured()) return false;
    }
  }
  return true;
}

std::string OneLine(const OrderedJson& j) {
  if (!j.is_structured()) return Scalar(j);
  std::string s(1, j.is_array() ? '[' : '{');
  bool first = true;
  for (auto it = j.begin(); it != j.end(); ++it) {
    if (!first) s += ", ";
    first = false;
    if (j.is_object()) s += Scalar(OrderedJson(it.key())) + ": ";
    s += OneLine(*it);
  }
  return s + (j.is_array() ? ']' : '}');
}

void Emit(const OrderedJson& j, size_t indent, std::string& out) {
  if (!j.is_structured() || j.empty()) {
    out += j.is_structured() ? (j.is_array() ? "[]" : "{}") : Scalar(j);
    return;
  }
  if (Flat(j)) {
    std::string line = OneLine(j);
    if (indent + line.size() <= kLineWidth) {
      out += line;
      return;
    }
  }
  out += j.is_array() ? "[\n" : "{\n";
  bool first = true;
  for (auto it = j.begin(); it != j.end(); ++it) {
    if (!first) out += ",\n";
    first = false;
    out.append(indent + 2, ' ');
    if (j.is_object()) out += Scalar(OrderedJson(it.key())) + ": ";
    Emit(*it, indent + 2, out);
  }
  out += "\n";
  out.append(indent, ' ');
  out += j.is_array() ? ']' : '}';
}

}  // namespace

std::string LayoutSceneJson(const OrderedJson& doc) {
  std::string text;
  Emit(doc, 0, text);
  text += "\n";
  return text;
}

}  // namespace hostscene
