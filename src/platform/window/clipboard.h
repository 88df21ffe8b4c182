// The clipboard of a window backend, with the platform's format numbers and
// handle rules: data put there belongs to the clipboard (the caller's handle
// is gone afterwards), and reading gives the caller a new handle of its own
// holding a copy. Formats that the platform derives from one another are
// offered too: a bitmap, a DIB and a V5 DIB each give the other two, and an
// enhanced metafile offers the metafile picture format.
#pragma once
#include <cstdint>
#include <utility>
#include <variant>
#include <vector>

#include "platform/gdi/handles.h"

namespace orrery::gdiplus {
class Image;
}

namespace orrery::window {

enum ClipboardFormat : uint32_t {
    CF_BITMAP = 2,
    CF_METAFILEPICT = 3,
    CF_DIB = 8,
    CF_PALETTE = 9,
    CF_ENHMETAFILE = 14,
    CF_DIBV5 = 17,
};

// What a CF_METAFILEPICT global block holds: the mapping mode, the suggested
// size (in 0.01 mm for the isotropic, anisotropic and HIMETRIC modes) and
// the metafile handle, as four little-endian 32-bit fields.
struct MetafilePict {
    int32_t mappingMode = 0;
    int32_t xExt = 0;
    int32_t yExt = 0;
    gdi::HMETAFILE metafile = 0;
};
inline constexpr size_t kMetafilePictSize = 16;
inline constexpr int32_t MM_TEXT = 1;
inline constexpr int32_t MM_HIMETRIC = 3;
inline constexpr int32_t MM_ISOTROPIC = 7;
inline constexpr int32_t MM_ANISOTROPIC = 8;

// A new handle of a bitmap format (a bitmap for CF_BITMAP, a packed DIB
// block for CF_DIB and CF_DIBV5) holding `picture`, owned by the caller; 0
// for another format or when none can be made.
uint32_t handleOfPicture(uint32_t format, const gdiplus::Image& picture);

// A new global block holding `pict`; 0 when none could be made.
gdi::HGLOBAL globalOfMetafilePict(const MetafilePict& pict);
// The fields of a CF_METAFILEPICT block; false for a block too small.
bool readMetafilePict(gdi::HGLOBAL block, MetafilePict& out);

class Clipboard {
public:
    virtual ~Clipboard() = default;

    // Drops every format.
    virtual void empty() = 0;
    // Takes the object behind `handle` for `format`, replacing what the format
    // held: a bitmap for CF_BITMAP, an enhanced metafile for CF_ENHMETAFILE,
    // a palette for CF_PALETTE, a global block for any other format (for
    // CF_METAFILEPICT with the metafile it names, both taken). False, with
    // the handles left to the caller, when they name no such objects.
    virtual bool setData(uint32_t format, uint32_t handle) = 0;
    virtual bool isFormatAvailable(uint32_t format) const = 0;
    // The formats on offer: those set, in the order they were set, then the
    // ones derived from them.
    virtual std::vector<uint32_t> formats() const = 0;
    // A new handle holding a copy of the format's data, owned by the caller
    // (for CF_METAFILEPICT a block naming a new metafile, both the caller's);
    // 0 when the format is not on offer or cannot be made. The metafile
    // picture an enhanced metafile offers cannot be made here: a reader that
    // finds CF_METAFILEPICT on offer without data reads CF_ENHMETAFILE.
    virtual uint32_t getData(uint32_t format) const = 0;
};

// The clipboard of one process: what a headless backend offers its windows,
// and what a desktop backend keeps while it owns the system's clipboard.
class InProcessClipboard final : public Clipboard {
public:
    InProcessClipboard() = default;
    InProcessClipboard(const InProcessClipboard&) = delete;
    InProcessClipboard& operator=(const InProcessClipboard&) = delete;

    void empty() override;
    bool setData(uint32_t format, uint32_t handle) override;
    bool isFormatAvailable(uint32_t format) const override;
    std::vector<uint32_t> formats() const override;
    uint32_t getData(uint32_t format) const override;

private:
    struct MetafilePicture {
        int32_t mappingMode = 0;
        int32_t xExt = 0;
        int32_t yExt = 0;
        std::vector<uint8_t> bits;
    };
    struct EnhancedMetafile {
        std::vector<uint8_t> bits;
    };
    struct PaletteColors {
        std::vector<uint32_t> colors;
    };
    // What one format holds: a bitmap's section, a global block's bytes, or
    // the objects of the metafile and palette formats.
    using Content = std::variant<gdi::DibSection, std::vector<uint8_t>, MetafilePicture, EnhancedMetafile,
                                 PaletteColors>;

    bool take(uint32_t format, uint32_t handle, Content& out) const;
    const Content* find(uint32_t format) const;
    // The set format a derived format is made from; 0 when there is none.
    uint32_t sourceOf(uint32_t format) const;

    std::vector<std::pair<uint32_t, Content>> entries_;
};

}  // namespace orrery::window
