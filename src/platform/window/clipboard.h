// The clipboard of a window backend, with the platform's format numbers and
// handle rules: data put there belongs to the clipboard (the caller's handle
// is gone afterwards), and reading gives the caller a new handle of its own
// holding a copy. Formats that the platform derives from one another are
// offered too: a bitmap, a DIB and a V5 DIB each give the other two.
#pragma once
#include <cstdint>
#include <utility>
#include <variant>
#include <vector>

#include "platform/gdi/handles.h"

namespace orrery::window {

enum ClipboardFormat : uint32_t {
    CF_BITMAP = 2,
    CF_METAFILEPICT = 3,
    CF_DIB = 8,
    CF_PALETTE = 9,
    CF_ENHMETAFILE = 14,
    CF_DIBV5 = 17,
};

class Clipboard {
public:
    Clipboard() = default;
    Clipboard(const Clipboard&) = delete;
    Clipboard& operator=(const Clipboard&) = delete;

    // Drops every format.
    void empty();
    // Takes the object behind `handle` for `format`, replacing what the format
    // held: a bitmap for CF_BITMAP, a global block for any other format.
    // False, with the handle left to the caller, when it names no such object.
    bool setData(uint32_t format, uint32_t handle);
    bool isFormatAvailable(uint32_t format) const;
    // The formats on offer: those set, in the order they were set, then the
    // ones derived from them.
    std::vector<uint32_t> formats() const;
    // A new handle holding a copy of the format's data, owned by the caller;
    // 0 when the format is not on offer or cannot be made.
    uint32_t getData(uint32_t format) const;

private:
    // What one format holds: a bitmap's section, or a global block's bytes.
    using Content = std::variant<gdi::DibSection, std::vector<uint8_t>>;

    const Content* find(uint32_t format) const;
    // The set format a derived format is made from; 0 when there is none.
    uint32_t sourceOf(uint32_t format) const;

    std::vector<std::pair<uint32_t, Content>> entries_;
};

}  // namespace orrery::window
