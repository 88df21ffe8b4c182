// The codec interface: one small decoder or encoder per format, registered in
// one table (codec_registry.cpp), most common formats first.
#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/gdiplus/byte_source.h"
#include "platform/gdiplus/frame.h"
#include "orrery/gdiplus/guid.h"

namespace orrery::gdiplus {

class Image;

// ImageCodecFlags of the platform.
enum CodecFlags : uint32_t {
    CodecFlagsEncoder = 0x1,
    CodecFlagsDecoder = 0x2,
    CodecFlagsSupportBitmap = 0x4,
    CodecFlagsSupportVector = 0x8,
    CodecFlagsSeekableEncode = 0x10,
    CodecFlagsBlockingDecode = 0x20,
    CodecFlagsBuiltin = 0x10000,
};

// ImageCodecInfo of the platform, as listed by the encoder and decoder lists.
struct CodecInfo {
    Guid clsid;
    Guid formatId;
    std::string codecName;
    std::string dllName;
    std::string formatDescription;
    std::string filenameExtension;  // "*.BMP;*.DIB;*.RLE"
    std::string mimeType;
    uint32_t flags = 0;
    uint32_t version = 1;
};

// What a decoder produces: the first frame, and for multi-frame content a
// source for all frames (frame 0 included).
struct Decoded {
    Guid rawFormat = ImageFormat::Undefined;
    Frame frame;
    std::unique_ptr<FrameSource> frames;
    // Metafiles carry no pixels: their size, resolution and records, which
    // are drawn at the size asked for whenever the metafile is drawn.
    bool isMetafile = false;
    int metafileWidth = 0;
    int metafileHeight = 0;
    std::shared_ptr<const ByteSource> metafileBytes;
};

struct DecodeOptions {
    bool useEmbeddedColorManagement = false;  // apply ICC profiles (the ...ICM loaders)
};

class Decoder {
public:
    virtual ~Decoder() = default;
    virtual const CodecInfo& info() const = 0;
    // True when the leading bytes of content carry this format's signature.
    virtual bool sniff(std::span<const uint8_t> head) const = 0;
    // Decodes frame 0 (and sets up later frames). Never trusts sizes in the
    // data: bad input gives a status, never a crash or an out-of-bounds read.
    virtual Status decode(std::shared_ptr<const ByteSource> bytes, const DecodeOptions& options,
                          Decoded& out) const = 0;
};

// EncoderParameter of the platform: a GUID, a value type and values.
enum EncoderParameterValueType : uint32_t {
    EncoderParameterValueTypeByte = 1,
    EncoderParameterValueTypeASCII = 2,
    EncoderParameterValueTypeShort = 3,
    EncoderParameterValueTypeLong = 4,
    EncoderParameterValueTypeRational = 5,
    EncoderParameterValueTypeLongRange = 6,
    EncoderParameterValueTypeUndefined = 7,
    EncoderParameterValueTypeRationalRange = 8,
};

enum EncoderValue : uint32_t {
    EncoderValueCompressionLZW = 2,
    EncoderValueCompressionCCITT3 = 3,
    EncoderValueCompressionCCITT4 = 4,
    EncoderValueCompressionRle = 5,
    EncoderValueCompressionNone = 6,
};

struct EncoderParameter {
    Guid guid;
    EncoderParameterValueType type = EncoderParameterValueTypeLong;
    std::vector<uint32_t> values;  // Long values (the only type our encoders read)
};

using EncoderParameters = std::vector<EncoderParameter>;

// First Long value of parameter `guid`, or `fallback` when absent.
uint32_t encoderParameterValue(const EncoderParameters& params, const Guid& guid,
                               uint32_t fallback);

class Encoder {
public:
    virtual ~Encoder() = default;
    virtual const CodecInfo& info() const = 0;
    // Encodes the image's current frame. InvalidParameter for parameters the
    // format does not take (for example CCITT compression of colour).
    virtual Status encode(const Image& image, const EncoderParameters& params,
                          ByteSink& out) const = 0;
};

// The registered codecs.
const std::vector<const Decoder*>& decoders();
const std::vector<const Encoder*>& encoders();
const Encoder* findEncoder(const Guid& clsid);
// The decoder whose signature matches, or nullptr (UnknownImageFormat).
const Decoder* findDecoder(std::span<const uint8_t> head);

}  // namespace orrery::gdiplus

namespace orrery::gdiplus {
// The format description of the codec that reads `rawFormat` ("JPEG"),
// "MemoryBMP" for bitmaps made in memory, "Undefined" otherwise.
std::string rawFormatDescription(const Guid& rawFormat);
// The encoder whose extension list ("*.TIF;*.TIFF") holds the extension of
// `path`, compared without regard to case; nullptr when none does.
const Encoder* findEncoderForPath(const std::string& path);
}  // namespace orrery::gdiplus
