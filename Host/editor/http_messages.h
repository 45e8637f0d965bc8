// What the editor's HTTP requests carry and its answers hold: the JSON
// bodies of requests, read within the bounds of a body from the network (its
// nesting, the length of each text), and a reply with its status.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "editor/edit_session.h"

namespace plughost {

// The largest request body, and the longest text in one.
constexpr size_t kMaxRequestBody = 1 << 20;
constexpr size_t kMaxRequestField = 4096;

// An answer to a request: a status and a body.
struct Reply {
  int status = 200;
  std::string body;
  std::string type = "application/json";

  // One line, whatever the reason quotes from the request: control
  // characters are written as escapes.
  static Reply Error(int status, const std::string& reason);
  static Reply Json(const nlohmann::json& j);
};

// The JSON object of a request body (an empty body is an empty object).
// Nesting past the limit is refused while the body is read, before anything
// deeper is built. nullopt with the reason otherwise.
std::optional<nlohmann::json> RequestObject(std::string_view body, std::string* reason);

// A text member of a request (numbers and booleans as written); false with
// the reason when it is missing but required, of another type or too long.
bool RequestField(const nlohmann::json& j, const char* name, bool required, std::string* out, std::string* reason);

// The edit a POST /api/action body asks for: a JSON object {kind, control?,
// value?}. False with a one-line reason otherwise.
bool ActionFromRequest(std::string_view body, EditAction* action, std::string* reason);

}  // namespace plughost
