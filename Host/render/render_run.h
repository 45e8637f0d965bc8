// Rendering a plan: each picture of it shaded in turn, the map brought up to
// date for each picture's time first (on the calling thread, which must be
// the user-interface thread), and written on a thread of its own
// (render/queued_writer.h), so that the next picture shades while the last
// is still written. A plan that is a piece keeps the pictures it finds
// complete, unless it overwrites.
#pragma once

#include <imtl.h>

#include <string>

#include "render/render_plan.h"

namespace plughost {

// False with one line for the user when a picture cannot be written; the
// pictures before it are written, the later ones not.
bool RunRenderPlan(const RenderPlan& plan, Texmap* map, std::string* error);

}  // namespace plughost
