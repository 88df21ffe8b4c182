// Rotation and flipping in quarter turns. The transformation changes the
// pixels the image store holds, so it lasts until the image is loaded again;
// the view is laid out afresh for the new size.
#pragma once
#include <cstdint>

#include "orrery/rotate_flip_type.h"
#include "viewer/layout.h"
#include "viewer/render.h"
#include "viewer/view_state.h"

namespace orrery::viewer {

using orrery::RotateFlipType;

// Transforms the shown picture: for a document of several pages whose
// frames the image store cannot transform one by one, the working copy of
// the current page (the rotation is lost at the next page); otherwise the
// current image itself. Lays the view out again and returns the status of
// the transformation.
int32_t RotateFlip(ViewState& state, Layout& layout, Renderer& renderer, RotateFlipType type);

}  // namespace orrery::viewer
