// Cameras for pictures of a model: the file's, or one that frames it.
//
// Picture points are in pixels from the top left corner, pixel (i, j)
// centred at (i + 0.5, j + 0.5). A ray depends only on the point and the
// whole picture's size, so a tile of a picture casts exactly the rays the
// whole picture casts there.
#pragma once

#include "model.h"
#include "ray_scene.h"

namespace plughost {

// The angle of view of a framing camera, vertically.
constexpr float kFramingFov = 0.6981317f;  // 40 degrees

// A three-quarter view of the bounds from the front right and above (45
// degrees around the vertical y axis, 30 above the horizon), looking at
// their centre, as near as lets every corner of them fit in a picture of the
// given width / height (with a little to spare).
Camera FrameBounds(const Bounds& bounds, double aspect);

// The model's own camera where the file has one, otherwise FrameBounds. A
// file's camera keeps its vertical angle whatever the picture's shape.
Camera CameraForModel(const Model& model, double aspect);

// The ray from the camera through picture point (x, y) of a width x height
// picture; its direction is not unit.
Ray CameraRay(const Camera& camera, int width, int height, double x, double y);

}  // namespace plughost
