// Bakes: a texture map's values written into a model's UV layout, one
// picture per UDIM tile, as bakers hand a procedural map to a renderer or a
// game engine that cannot run it.
//
// Each texel of a tile's layout (geometry/bake_layout.h) shows a point of
// the model; the map is evaluated there with the host's shading context for
// that point (geometry/model_shade_context.h): P and PObj, the interpolated
// normal, the UVs and the texel's footprint. So the coordinates generator
// decides, as in a render, whether the texture stays on the model (Object
// XYZ) or the model moves through it (World XYZ). Padded texels repeat the
// value of the texel they copy; texels neither covered nor padded are zero
// (alpha 0 in colour).
//
// Contract: the map is brought up to date for the time (Update) on the
// calling thread before the texels are shaded on the render threads, which
// only evaluate. A texel's value depends on nothing but its point, so a bake
// is the same for any thread count and for any region it is cut into.
#pragma once

#include <hostside/picture.h>
#include <imtl.h>

#include <string>

#include "geometry/bake_layout.h"
#include "geometry/model.h"
#include "render/renderer.h"

namespace plughost {

// What a bake writes: the premultiplied colour (R, G, B, A), the coverage
// (Y), the bump's vector in the model's object space (layer "bump": X, Y,
// Z), so that it stays with the model whatever its transform, or a
// tangent-space normal map (R, G, B): the normal bent by the bump, in the
// frame of the UVs' tangent, bitangent and normal, as 0.5 + 0.5 x each
// component (a flat surface is 0.5, 0.5, 1), the convention of glTF's
// normal textures.
enum class BakeValue { kColor, kMono, kBump, kNormal };
bool ParseBakeValue(const std::string& text, BakeValue* out);

// The shape of a baked tile's picture: one layer, float samples.
HostPictureShape BakeShape(BakeValue what, int width, int height);

// Gives every mesh tangents for the bake's map channel where the value needs
// them (a normal map) and the file gave none for that channel. False with
// one line where a mesh lacks the channel.
bool PrepareBakeModel(Model* model, BakeValue what, int channel, std::string* error);

// Shades a laid-out tile (or its region) into *out, a picture of the
// region's size. The map must be up to date for t.
void ShadeBakeTile(Texmap* map, const Model& model, const BakeLayoutOptions& layout, const BakeTile& tile,
                   BakeValue what, TimeValue t, HostPicture* out);
// The same, streamed: bands of rows shaded on the layout's threads and
// handed to `sink` in order, so a writer encodes while later rows shade.
// False where the sink refuses a band.
bool ShadeBakeTileInBands(Texmap* map, const Model& model, const BakeLayoutOptions& layout, const BakeTile& tile,
                          BakeValue what, TimeValue t, const RenderBandSink& sink);

// The file of a tile: "<UDIM>" in the name becomes the tile's number; without
// it, a bake of tile 1001 alone keeps the name as given and a bake of several
// tiles puts ".1001" (the tile) before the extension.
std::string BakeTileFileName(const std::string& pattern, int udim, bool severalTiles);

}  // namespace plughost
