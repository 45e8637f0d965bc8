// A model as the host renders and bakes it: plain triangle meshes, each with
// its own object space and a transform into the scene's world space.
//
// Contract of a Model that ImportModel (model_import.h) or DecodeModel
// (model_wire.h) hands out, which everything downstream relies on without
// checking again:
//  - every mesh has at least one triangle, and every index names one of its
//    vertices;
//  - positions, normals, UVW coordinates, tangents and transforms are finite
//    numbers;
//  - `normals` has one entry per vertex (the file's, or smooth ones made by
//    MakeSmoothNormals); each `uvw` channel and `tangents`, where present, too;
//  - `bounds` encloses every vertex in world space.
//
// World positions are always computed by WorldPoint, so a ray cast and a bake
// see the same world-space triangles to the last bit. Object-space values are
// never derived from world ones.
#pragma once

#include <matrix3.h>
#include <point3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace plughost {

// The direction in which a map channel's u grows, and the handedness of the
// frame it makes with the normal: the bitangent (where v grows) is
// sign * (normal ^ dir).
struct Tangent {
  Point3 dir{0.0f, 0.0f, 0.0f};
  float sign = 1.0f;
};

struct Mesh {
  std::string name;  // the mesh's own name in the file
  std::string node;  // the node that places it in the scene
  // Object space to world space, for row vectors (world = object * transform).
  Matrix3 objectToWorld;
  std::vector<Point3> positions;  // object space
  std::vector<Point3> normals;    // object space, one per vertex
  bool normalsFromFile = false;   // false: made by MakeSmoothNormals
  // Map channels: uvw[0] is map channel 1 (the file's first UV set).
  std::vector<std::vector<Point3>> uvw;
  std::vector<Tangent> tangents;  // empty, or one per vertex (object space)
  int tangentChannel = 0;         // the map channel the tangents follow; 0: none
  std::vector<uint32_t> indices;  // three per triangle, counter-clockwise seen from the front

  size_t TriangleCount() const { return indices.size() / 3; }
  size_t VertexCount() const { return positions.size(); }
  // Map channels are counted from 1; 0 and channels the mesh lacks are absent.
  bool HasChannel(int channel) const { return channel >= 1 && static_cast<size_t>(channel) <= uvw.size(); }
};

// An axis-aligned box; empty until a point is added.
struct Bounds {
  Point3 min{0.0f, 0.0f, 0.0f}, max{0.0f, 0.0f, 0.0f};
  bool empty = true;

  void Add(const Point3& p);
  Point3 Centre() const;
};

// A perspective camera in world space.
struct Camera {
  Point3 position{0.0f, 0.0f, 0.0f};
  Point3 direction{0.0f, 0.0f, -1.0f};  // unit, where it looks
  Point3 up{0.0f, 1.0f, 0.0f};          // unit, perpendicular to direction
  float verticalFov = 0.7f;             // the whole angle, radians
  float aspect = 0.0f;                  // width / height the file gives; 0: none given
};

struct Model {
  std::string file;  // where it came from, for messages
  std::vector<Mesh> meshes;
  Bounds bounds;                 // world space
  std::optional<Camera> camera;  // the file's first camera, where it has one

  size_t TriangleCount() const;
};

// Object space to world space: in double, rounded once. The identity leaves a
// point as it is, bit for bit (a zero added would turn -0 into +0).
Point3 WorldPoint(const Mesh& mesh, const Point3& object);

// Object-space normals to world space: the transform's cofactor matrix, which
// keeps normals perpendicular under any scale and faces them the same way
// when the transform mirrors. The result is not normalised.
struct NormalTransform {
  double m[3][3];
  bool identity;
};
NormalTransform NormalTransformOf(const Matrix3& objectToWorld);
Point3 TransformNormal(const NormalTransform& t, double x, double y, double z);

// Per-vertex normals of a mesh: the face normals of the triangles around each
// vertex, weighted by the triangle's angle there (so the result does not
// depend on how polygons were cut into triangles), summed over all vertices
// at the same position (so UV seams do not show as creases), normalised. A
// vertex whose triangles have no area gets +z.
void MakeSmoothNormals(Mesh& mesh);

// Per-vertex tangents of a map channel, made from the UV derivatives of the
// triangles around each vertex, weighted by triangle area in object space,
// orthogonalised against the vertex normal (Gram-Schmidt); the sign records
// whether the UVs are mirrored. Triangles with no UV area add nothing; a
// vertex with none gets a tangent perpendicular to its normal. False, with a
// one-line error, when the mesh has no such channel.
bool MakeTangents(Mesh& mesh, int channel, std::string* error);

// The world bounds of every vertex of every mesh.
Bounds WorldBounds(const Model& model);

}  // namespace plughost
