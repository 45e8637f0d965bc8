// SHA-256 digests, in lower-case hexadecimal: the farm's manifests and the
// fingerprint a render leaves in its pictures.
#pragma once

#include <string>
#include <string_view>

namespace plughost {

std::string Sha256Hex(std::string_view bytes);

// The digest of a file's bytes, read a megabyte at a time. False with
// "FILE: cannot read".
bool Sha256OfFile(const std::string& file, std::string* hex, std::string* error);

}  // namespace plughost
