// The triangles of a model as the import helper hands them to the host.
//
// In this machine's byte order (the helper and the host are built together):
//
//   "PHMODEL" 0x01                        8 bytes
//   'E', u32 n, n bytes                   an error message, and nothing after it
//   'M', u32 meshes,                      a model:
//     u8 hasCamera [, 11 f32: position, direction, up, verticalFov, aspect]
//     per mesh:
//       u32 n, n bytes: name;  u32 n, n bytes: node
//       12 f32: the object-to-world transform's four rows
//       u32 vertices, u32 triangles, u8 channels, u8 flags (1: normals, 2: tangents)
//       positions (3 f32 a vertex); normals (3 f32) if flags & 1;
//       tangents (4 f32: direction, sign) if flags & 2; per channel, UVW (3 f32)
//       indices (3 u32 a triangle)
//     u32 0x21444E45 ("END!"), the end of the message
//
// DecodeModel trusts nothing of it. Each mesh's counts are checked against
// the budget (meshes, triangles, bytes in all) before its arrays are
// allocated, so the memory it takes is bounded by maxModelBytes; names are
// at most 1024 bytes and control characters in them become '?'; then every
// index must name a vertex of its mesh, every number be finite (world-space
// positions too), every tangent sign be 1 or -1, every mesh have a triangle;
// the camera's direction and up must not be zero or parallel, its angle lie
// in (0, pi). Meshes without normals get smooth ones (MakeSmoothNormals),
// and the bounds are computed; the result keeps the contract of model.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "model.h"
#include "model_import.h"

namespace plughost {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Exactly n bytes into dst; false, with why, when they are not there.
  virtual bool Read(void* dst, size_t n, std::string* error) = 0;
  // Whether anything follows (a message must end at its end marker).
  virtual bool More() = 0;
};

class MemorySource : public ByteSource {
 public:
  MemorySource(const void* data, size_t size) : p_(static_cast<const char*>(data)), left_(size) {}
  bool Read(void* dst, size_t n, std::string* error) override;
  bool More() override { return left_ > 0; }

 private:
  const char* p_;
  size_t left_;
};

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual bool Write(const void* data, size_t n) = 0;
};

class StringSink : public ByteSink {
 public:
  bool Write(const void* data, size_t n) override {
    bytes.append(static_cast<const char*>(data), n);
    return true;
  }
  std::string bytes;
};

// The helper's side. False when the sink refused bytes.
bool EncodeModel(const Model& model, ByteSink& sink);
bool EncodeError(const std::string& message, ByteSink& sink);

// The host's side: a model, or false with *error (the helper's own message
// for an 'E', otherwise what is wrong with the bytes).
bool DecodeModel(ByteSource& source, const ImportBudget& budget, Model* model, std::string* error);

}  // namespace plughost
