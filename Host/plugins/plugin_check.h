// What a plug-in file must pass before this process opens it. The system's
// loader trusts the file it maps: a truncated file dies of SIGBUS inside it,
// a flipped bit in a header or a relocation of SIGSEGV, and one bad file in a
// plug-in folder would take every command down with it. So a file is
// reported and skipped unless both checks pass:
//
//  - ElfImageProblem reads it as a shared object of this machine: sane
//    headers, every loaded segment inside the file, the dynamic section and
//    the tables it points to inside loaded segments, every relocation aimed
//    inside the image;
//  - ProbeLoadInChild then opens it in a short-lived child process, so that
//    whatever slipped through (a crash in the loader or in the file's own
//    start-up) happens there. The child runs the file's start-up once more
//    than the host does; plug-ins have no effects outside their process.
#pragma once

#include <filesystem>
#include <string>

namespace plughost {

// Empty when the file looks like a loadable image; otherwise why not.
std::string ElfImageProblem(const std::filesystem::path& file);

// Empty when the file opened in a child process (with its dependencies, as
// the host would open it); otherwise the loader's message, or how the child
// ended.
std::string ProbeLoadInChild(const std::filesystem::path& file);

}  // namespace plughost
