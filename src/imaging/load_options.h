// The choices a file load takes.
#pragma once

namespace orrery::imaging {

// Whether a load converts colours with the picture's embedded profile.
enum class ColorManagement { Off, On };
// Which decoders a file load may try: all of them in the loading order, or
// the imaging layer's alone.
enum class Decoders { Any, ImagingLayerOnly };

}  // namespace orrery::imaging
