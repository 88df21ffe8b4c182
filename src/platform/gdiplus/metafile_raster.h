// Rasterising Windows and enhanced metafiles at a size asked for. The
// records are walked first: every record must lie inside the data and the
// metafile must end with its end record, or the bytes are refused before a
// library sees them. WMF (placeable or plain) is drawn through libwmf, EMF
// through libemf2svg; both give SVG, which librsvg draws on a cairo surface.
#pragma once
#include <cstdint>
#include <memory>
#include <span>

#include "platform/gdiplus/image.h"

namespace orrery::gdiplus {

enum class MetafileKind { None, Wmf, Emf };

// The kind the bytes start as; None for anything else.
MetafileKind metafileKindOf(std::span<const uint8_t> bytes);

// Ok when every record lies inside the data up to the end record;
// InvalidParameter for damage.
Status walkMetafileRecords(std::span<const uint8_t> bytes, MetafileKind kind);

// A new 32bppARGB image of width x height with the metafile drawn over it,
// stretched to fill it, on transparent. InvalidParameter for sizes below 1,
// damage or a picture the libraries refuse; OutOfMemory beyond the
// allocation limit, before anything is allocated, and for a drawing beyond
// the cost limits of metafile_cost.h, before anything is drawn.
Status rasteriseMetafile(std::span<const uint8_t> bytes, int width, int height, std::unique_ptr<Image>& out);

}  // namespace orrery::gdiplus
