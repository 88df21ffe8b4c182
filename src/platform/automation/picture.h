// The platform's picture object: a bitmap, metafile, icon or enhanced
// metafile handle with its size in HIMETRIC (0.01 mm), answering its
// properties by dispatch (Handle 0, hPal 2, Type 3, Width 4, Height 5). A
// picture made to own its handle deletes it when it goes.
#pragma once
#include <cstdint>
#include <memory>

#include "platform/automation/dispatch.h"
#include "orrery/automation/interfaces.h"

namespace orrery::automation {

inline constexpr Guid IID_IPicture = makeGuid(0x7BF80980, 0xBF32, 0x101A, 0x8BBB00AA00300CABULL);
inline constexpr Guid IID_IPictureDisp = makeGuid(0x7BF80981, 0xBF32, 0x101A, 0x8BBB00AA00300CABULL);

enum PictureType : int16_t {
    PICTYPE_NONE = 0,
    PICTYPE_BITMAP = 1,
    PICTYPE_METAFILE = 2,
    PICTYPE_ICON = 3,
    PICTYPE_ENHMETAFILE = 4,
};

// What a picture is made of: the type and its handle; for a bitmap an
// optional palette; for a metafile its size in HIMETRIC, which a Windows
// metafile does not carry itself.
struct PictureDescription {
    int16_t type = PICTYPE_NONE;
    uint32_t handle = 0;
    uint32_t palette = 0;
    int32_t metafileWidth = 0;
    int32_t metafileHeight = 0;
};

// What a reader of a picture asks of it.
class IPicture {
public:
    virtual ~IPicture() = default;
    virtual int16_t type() const = 0;
    virtual uint32_t handle() const = 0;
    virtual uint32_t paletteHandle() const = 0;
    // In HIMETRIC.
    virtual int32_t width() const = 0;
    virtual int32_t height() const = 0;
};

// HIMETRIC of `pixels` at the screen's 96 dots per inch, rounded.
int32_t himetricOfPixels(int32_t pixels);

class Picture final : public DispatchObject<Picture>, public IUnknown, public IPicture {
public:
    // A picture of `description`; with `own` the picture deletes the handle
    // when it goes (the palette stays the caller's). E_INVALIDARG for an
    // unknown type, or a handle that names no object of the type (a picture
    // of type none takes none).
    static HRESULT create(const PictureDescription& description, bool own, std::shared_ptr<Picture>& out);
    ~Picture() override;

    static const DispatchTable<Picture>& dispatchTable();
    // IUnknown, IDispatch and the picture's own interfaces.
    HRESULT QueryInterface(const Guid& iid, void** object) override;

    int16_t type() const override { return description_.type; }
    uint32_t handle() const override { return description_.handle; }
    uint32_t paletteHandle() const override { return description_.palette; }
    int32_t width() const override { return width_; }
    int32_t height() const override { return height_; }

    // The dispatch members.
    int32_t Handle() const { return static_cast<int32_t>(description_.handle); }
    int32_t hPal() const { return static_cast<int32_t>(description_.palette); }
    void sethPal(int32_t palette) { description_.palette = static_cast<uint32_t>(palette); }
    int16_t Type() const { return description_.type; }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }

private:
    Picture(const PictureDescription& description, bool own, int32_t width, int32_t height)
        : description_(description), own_(own), width_(width), height_(height) {}

    PictureDescription description_;
    bool own_ = false;
    int32_t width_ = 0;
    int32_t height_ = 0;
};

// The picture interface of an object, or null when it answers none.
IPicture* pictureOf(IDispatch* object);

}  // namespace orrery::automation
