// 128-bit identifiers: raw image formats, frame dimensions, codec classes and
// encoder parameters. Values are the platform's published ones.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orrery::gdiplus {

struct Guid {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    std::array<uint8_t, 8> data4{};

    friend bool operator==(const Guid&, const Guid&) = default;
    // "{B96B3CAB-0728-11D3-9D7B-0000F81EF32E}": upper case, in braces.
    std::string toString() const;
    static std::optional<Guid> parse(std::string_view text);
};

constexpr Guid makeGuid(uint32_t d1, uint16_t d2, uint16_t d3, uint64_t d4) {
    Guid g{d1, d2, d3, {}};
    for (int i = 0; i < 8; ++i) g.data4[i] = static_cast<uint8_t>(d4 >> (56 - 8 * i));
    return g;
}

namespace ImageFormat {
inline constexpr Guid Undefined = makeGuid(0xb96b3ca9, 0x0728, 0x11d3, 0x9d7b0000f81ef32eULL);
inline constexpr Guid MemoryBMP = makeGuid(0xb96b3caa, 0x0728, 0x11d3, 0x9d7b0000f81ef32eULL);
inline constexpr Guid BMP = makeGuid(0xb96b3cab, 0x0728, 0x11d3, 0x9d7b0000f81ef32eULL);
inline constexpr Guid EMF = makeGuid(0xb96b3cac, 0x0728, 0x11d3, 0x9d7b0000f81ef32eULL);
inline constexpr Guid WMF = makeGuid(0xb96b3cad, 0x0728, 0x11d3, 0x9d7b0000f81ef32eULL);
inline constexpr Guid JPEG = makeGuid(0xb96b3cae, 0x0728, 0x11d3, 0x9d7b0000f81ef32eULL);
inline constexpr Guid PNG = makeGuid(0xb96b3caf, 0x0728, 0x11d3, 0x9d7b0000f81ef32eULL);
inline constexpr Guid GIF = makeGuid(0xb96b3cb0, 0x0728, 0x11d3, 0x9d7b0000f81ef32eULL);
inline constexpr Guid TIFF = makeGuid(0xb96b3cb1, 0x0728, 0x11d3, 0x9d7b0000f81ef32eULL);
inline constexpr Guid EXIF = makeGuid(0xb96b3cb2, 0x0728, 0x11d3, 0x9d7b0000f81ef32eULL);
inline constexpr Guid Icon = makeGuid(0xb96b3cb5, 0x0728, 0x11d3, 0x9d7b0000f81ef32eULL);
}  // namespace ImageFormat

namespace FrameDimension {
inline constexpr Guid Time = makeGuid(0x6aedbd6d, 0x3fb5, 0x418a, 0x83a67f45229dc872ULL);
inline constexpr Guid Resolution = makeGuid(0x84236f7b, 0x3bd3, 0x428f, 0x8dab4ea1439ca315ULL);
inline constexpr Guid Page = makeGuid(0x7462dc86, 0x6180, 0x4c7e, 0x8e3fee7333a7a483ULL);
}  // namespace FrameDimension

// Class identifiers of the built-in codecs.
namespace CodecClsid {
inline constexpr Guid BMP = makeGuid(0x557cf400, 0x1a04, 0x11d3, 0x9a730000f81ef32eULL);
inline constexpr Guid JPEG = makeGuid(0x557cf401, 0x1a04, 0x11d3, 0x9a730000f81ef32eULL);
inline constexpr Guid GIF = makeGuid(0x557cf402, 0x1a04, 0x11d3, 0x9a730000f81ef32eULL);
inline constexpr Guid EMF = makeGuid(0x557cf403, 0x1a04, 0x11d3, 0x9a730000f81ef32eULL);
inline constexpr Guid WMF = makeGuid(0x557cf404, 0x1a04, 0x11d3, 0x9a730000f81ef32eULL);
inline constexpr Guid TIFF = makeGuid(0x557cf405, 0x1a04, 0x11d3, 0x9a730000f81ef32eULL);
inline constexpr Guid PNG = makeGuid(0x557cf406, 0x1a04, 0x11d3, 0x9a730000f81ef32eULL);
inline constexpr Guid ICO = makeGuid(0x557cf407, 0x1a04, 0x11d3, 0x9a730000f81ef32eULL);
}  // namespace CodecClsid

namespace EncoderParam {
inline constexpr Guid Compression = makeGuid(0xe09d739d, 0xccd4, 0x44ee, 0x8eba3fbf8be4fc58ULL);
inline constexpr Guid ColorDepth = makeGuid(0x66087055, 0xad66, 0x4c7c, 0x9a1838a2310b8337ULL);
inline constexpr Guid ScanMethod = makeGuid(0x3a4e2661, 0x3109, 0x4e56, 0x85366c5c3b51ead8ULL);
inline constexpr Guid Version = makeGuid(0x24d18c76, 0x814a, 0x41a4, 0xbf53dc6d3e0b1e51ULL);
inline constexpr Guid RenderMethod = makeGuid(0x6d42c53a, 0x229a, 0x4825, 0x8bb75c99e2b9a8b8ULL);
inline constexpr Guid Quality = makeGuid(0x1d5be4b5, 0xfa4a, 0x452d, 0x9cdd5db35105e7ebULL);
inline constexpr Guid Transformation = makeGuid(0x8d0eb2d1, 0xa58e, 0x4ea8, 0xaa14108074b7b6f9ULL);
inline constexpr Guid LuminanceTable = makeGuid(0xedb33bce, 0x0266, 0x4a77, 0xb9044a87e6563d4bULL);
inline constexpr Guid ChrominanceTable = makeGuid(0xf2e455dc, 0x09b3, 0x4316, 0x8260676ada32481cULL);
inline constexpr Guid SaveFlag = makeGuid(0x292266fc, 0xac40, 0x47bf, 0x8cfca85b89a655deULL);
}  // namespace EncoderParam

}  // namespace orrery::gdiplus
