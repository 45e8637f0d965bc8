// Models from files: OBJ, glTF 2.0 (.gltf, .glb), FBX, PLY and STL.
//
// The parser (assimp) is a large body of third-party code reading files that
// come from anywhere, so it never runs in the host's process. ImportModel
// starts the helper program `plughost-import` (built beside plughost) with
// posix_spawn, which is safe in a process with other threads (the editor's
// server imports while its threads run), unlike a fork that would go on
// running the host's code in the child. The helper:
//  - limits itself before it reads anything: its address space may grow by
//    at most `importerMemory` bytes, its processor time is capped, it may
//    create no file (so nothing half-written can be left) and dumps no core;
//    it dies with the host;
//  - reads the model and every file the model names (a glTF's buffers, an
//    OBJ's materials) as regular files of at most `maxFileBytes`, from the
//    model's own folder or below it, through the host layer's file reader;
//  - knows only the five formats above (every other parser of the library is
//    taken out, so a file cannot reach one by its content);
//  - counts the triangles before it triangulates or merges anything, then
//    writes plain triangles to a pipe (model_wire.h).
// The host checks the file before the helper starts (a regular file, within
// `maxFileBytes`, a known extension), reads the pipe with a deadline, and
// trusts nothing it reads: every count is checked against the budget before
// anything is allocated for it, every index and number is checked, and a
// helper that crashes, runs out of memory or time, or stops early gives an
// error. Errors are one line: the file's name, then what is wrong.
//
// Only the first `Camera` of a file is kept. Lines and points are dropped; a
// node that places one mesh twice gives two meshes (each with its own
// transform), which count twice against the budget.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "model.h"

namespace plughost {

struct ImportBudget {
  uint64_t maxFileBytes = 1ull << 30;   // the model's file, and each file it names
  uint64_t maxTriangles = 16'000'000;   // in all meshes together
  uint64_t maxModelBytes = 2ull << 30;  // the triangles as handed back: the host's memory for them
  uint32_t maxMeshes = 65'536;
  uint64_t importerMemory = 8ull << 30;  // what the helper's address space may grow by
  int seconds = 300;                     // from start to the last triangle
  // The helper program; empty: plughost-import beside the running program.
  std::filesystem::path helper;
};

// Whether ImportModel reads a file of this name, by its extension (.obj,
// .gltf, .glb, .fbx, .ply or .stl, in any case).
bool IsModelFileName(const std::filesystem::path& file);
// The file name's extension, with its dot, in lower case.
std::string LowerCaseExtension(const std::filesystem::path& file);

// Reads `file` into *model. False, with *error one line ("FILE: what is
// wrong"), and *model untouched, on any failure.
bool ImportModel(const std::filesystem::path& file, const ImportBudget& budget, Model* model, std::string* error);
// Whether ImportModel's error says that the helper crashed or ran out of time,
// which another try may not repeat, rather than that the file is bad.
bool ImportFailedWhileRunning(const std::string& error);

}  // namespace plughost
