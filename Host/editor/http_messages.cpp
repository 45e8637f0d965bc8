#include "editor/http_messages.h"

#include <cstdio>

#include "common/text.h"

namespace plughost {

using nlohmann::json;

namespace {

constexpr int kMaxBodyNesting = 8;  // a request is a flat object; deeper is no request of ours

}  // namespace

Reply Reply::Error(int status, const std::string& reason) {
  std::string line;
  for (char c : reason) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u != 0x7F) {
      line += c;
      continue;
    }
    char escape[5];
    std::snprintf(escape, sizeof escape, "\\x%02X", u);
    line += escape;
  }
  return {status, line + "\n", "text/plain; charset=utf-8"};
}

Reply Reply::Json(const json& j) {
  return {200, j.dump(-1, ' ', false, json::error_handler_t::replace), "application/json"};
}

std::optional<json> RequestObject(std::string_view body, std::string* reason) {
  if (body.empty()) return json::object();
  bool tooDeep = false;
  json j = json::parse(
      body.begin(), body.end(),
      [&](int depth, json::parse_event_t, json&) {
        tooDeep = tooDeep || depth > kMaxBodyNesting;
        return !tooDeep;
      },
      false);
  if (tooDeep)
    *reason = "the JSON is nested more than " + std::to_string(kMaxBodyNesting) + " levels deep";
  else if (j.is_discarded())
    *reason = "bad JSON";
  else if (!j.is_object())
    *reason = "expected a JSON object";
  else
    return j;
  return std::nullopt;
}

bool RequestField(const json& j, const char* name, bool required, std::string* out, std::string* reason) {
  auto it = j.find(name);
  if (it == j.end() || it->is_null()) {
    if (required) *reason = std::string("missing \"") + name + "\"";
    return !required;
  }
  std::string problem;
  if (it->is_string())
    *out = it->get<std::string>();
  else if (it->is_number() || it->is_boolean())
    *out = it->dump();
  else
    problem = "must be a text or a number";
  if (problem.empty() && out->size() > kMaxRequestField) problem = "is too long";
  if (problem.empty()) return true;
  *reason = std::string("\"") + name + "\" " + problem;
  return false;
}

bool ActionFromRequest(std::string_view body, EditAction* action, std::string* reason) {
  std::optional<json> j = RequestObject(body, reason);
  std::string kind, control, value, place;
  if (!j || !RequestField(*j, "kind", true, &kind, reason) || !RequestField(*j, "control", false, &control, reason) ||
      !RequestField(*j, "value", false, &value, reason) || !RequestField(*j, "place", false, &place, reason))
    return false;
  const EditActionOption* option = nullptr;
  for (const EditActionOption& o : EditActionOptions())
    if (kind == o.flag + 2) option = &o;
  if (!option) {
    *reason = "unknown action " + QuoteText(kind);
    return false;
  }
  if (control.empty() && value.empty() && option->kind != EditAction::kParent) {
    *reason = "the action needs a control or a value";
    return false;
  }
  *action = {option->kind, control.empty() ? value : value.empty() ? control : control + "=" + value, place};
  return true;
}

}  // namespace plughost
