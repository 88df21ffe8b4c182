// The open documents of the plug-in, by handle, and the host it makes page
// images for. The exports are thin wrappers over these; the fuzz target
// uses openMemory, which no export offers.
#pragma once
#include <cstddef>
#include <cstdint>

#include "pagrent.h"

namespace pagrent {

// Opens a PDF held in memory (the bytes must outlive the document) and
// returns its handle, 0 when it cannot be opened.
int32_t openMemory(const unsigned char* data, size_t size);

}  // namespace pagrent
