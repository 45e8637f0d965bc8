// A point on a model's surface and what a shading sample there needs.
//
// A point is a triangle of a mesh and the barycentric weights of its second
// and third vertices (the first weighs 1 - b1 - b2). A ray cast and a bake
// texel both end as one, and everything else is interpolated from the
// triangle's vertices with those weights, in double precision, rounded once,
// in one fixed order: so the object point is exact wherever the mesh's own
// arithmetic is (a plane of whole coordinates, a texel centre of a
// power-of-two size), it does not move when the object's transform changes,
// and the same point gives the same sample on every thread.
//
// Nothing here allocates: a sample is computed on the shading road.
#pragma once

#include <point3.h>

#include <cstdint>

#include "model.h"

namespace plughost {

struct SurfacePoint {
  uint32_t mesh = 0;
  uint32_t triangle = 0;
  float b1 = 0.0f, b2 = 0.0f;
};

// How the weights change across the sample, along its two axes (a picture's
// pixel to the right and down, a bake texel's width and height); zero when
// unknown, which makes the footprint zero.
struct BarycentricDifferentials {
  float db1dx = 0.0f, db2dx = 0.0f;
  float db1dy = 0.0f, db2dy = 0.0f;
};

struct SurfaceSample {
  SurfacePoint at;
  Point3 p{0.0f, 0.0f, 0.0f};     // world space
  Point3 pObj{0.0f, 0.0f, 0.0f};  // object space, interpolated from object-space vertices
  // The interpolated shading normal, unit; where the vertex normals cancel
  // out, the triangle's own normal.
  Point3 normal{0.0f, 0.0f, 1.0f};           // world space
  Point3 normalObj{0.0f, 0.0f, 1.0f};        // object space
  Point3 geometricNormal{0.0f, 0.0f, 1.0f};  // world space, unit, from the winding (counter-clockwise in front)
  // The footprint: how far the point reaches across the sample along each
  // axis (the sum of the absolute changes along the sample's two axes).
  Point3 dp{0.0f, 0.0f, 0.0f}, dpObj{0.0f, 0.0f, 0.0f};
  // Where the mesh has tangents: the frame of their map channel, world
  // space, unit, orthogonal to `normal` (bitangent = sign * normal ^ tangent).
  bool hasTangents = false;
  Point3 tangent{1.0f, 0.0f, 0.0f}, bitangent{0.0f, 1.0f, 0.0f};
};

struct SurfaceVec {
  double x, y, z;
};

// What a sample takes from its triangle alone. Samples that follow one
// another mostly fall on one triangle (a bake's row, a ray-cast band), so a
// caller keeps one frame and SampleSurface works it out again only when the
// triangle changes; the values are the same either way, bit for bit.
struct TriangleFrame {
  bool valid = false;
  uint32_t mesh = 0, triangle = 0;
  Point3 p0, p1, p2;                     // the corners, world space
  SurfaceVec e1, e2, e1o, e2o;           // the edges from the first corner, world and object space
  Point3 geometricNormal, geometricObj;  // unit, from the winding
  NormalTransform normals;               // the mesh's
};

// \pre `at` names a triangle of the model (RayScene and the bake layout give
// only such points).
void SampleSurface(const Model& model, const SurfacePoint& at, const BarycentricDifferentials& d, SurfaceSample* out);
// The same, through a frame the caller keeps from one sample to the next.
void SampleSurface(const Model& model, const SurfacePoint& at, const BarycentricDifferentials& d, SurfaceSample* out,
                   TriangleFrame* frame);

// UVW of a map channel (1 for the file's first UV set) at the point, and its
// change across the sample (as `dp`); zero where the mesh has no such channel.
Point3 SurfaceUVW(const Model& model, const SurfacePoint& at, int channel);
Point3 SurfaceDUVW(const Model& model, const SurfacePoint& at, const BarycentricDifferentials& d, int channel);

}  // namespace plughost
