// orrery: the command-line host. `info` prints what the control reads from a
// file; `convert` decodes one frame and saves it with another encoder. Both
// load through the image store, so they show what the control will show (the
// codec plug-in first, then the imaging layer).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/image_table.h"
#include "imaging/loaders.h"
#include "platform/gdiplus/factory.h"
#include "platform/gdiplus/image.h"
#include <fstream>
#include <iostream>

#include "tools/orrery/render.h"
#include "tools/orrery/script.h"

using namespace orrery::gdiplus;
namespace modMain = orrery::imaging::modMain;

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage:\n"
                 "  orrery info FILE [--json]\n"
                 "  orrery convert IN OUT [--frame N] [--compression none|lzw|ccitt3|ccitt4|rle]\n"
                 "                        [--quality Q] [--depth BITS]\n"
                 "  orrery render FILE -o OUT.png [--size WxH] [--zoom-mode N] [--zoom Z] [--quality N]\n"
                 "                                [--gamma G] [--back-color 0xBBGGRR]\n"
                 "  orrery run SCRIPT        (a script of control calls; - reads standard input)\n"
                 "  orrery members           (the dispatch and event interfaces)\n");
    return 2;
}

int fail(const char* what, const std::string& path, int32_t status) {
    std::fprintf(stderr, "orrery: %s %s: status %d\n", what, path.c_str(), status);
    return 1;
}

// Opens the imaging session for the life of the tool and loads one file.
class LoadedFile {
public:
    LoadedFile() { modMain::StartGdiPlus(); }
    ~LoadedFile() { modMain::ShutdownGdiPlus(); }
    int32_t load(const std::string& path) {
        return orrery::imaging::LoadImageFromFile(id_, path, false, false, nullptr, true);
    }
    Image* image() const { return modMain::GetGdiImage(id_); }
    const orrery::imaging::ImageEntry& entry() const { return *modMain::FindEntry(id_); }
    int32_t id() const { return id_; }

private:
    int32_t id_ = 0;
};

// Frame count and dimension as the store sees them: a multi-page or
// multi-frame entry counts its frames, anything else has one.
uint32_t frameCountOf(const orrery::imaging::ImageEntry& e) {
    return e.FrameCount > 1 ? static_cast<uint32_t>(e.FrameCount) : 1u;
}

const char* dimensionName(const Guid& g) {
    if (g == FrameDimension::Time) return "time";
    if (g == FrameDimension::Page) return "page";
    if (g == FrameDimension::Resolution) return "resolution";
    return "unknown";
}

std::string hex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::string jsonEscape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

int info(const std::string& path, bool json) {
    LoadedFile file;
    int32_t s = file.load(path);
    if (s != 0) return fail("cannot read", path, s);
    Image* image = file.image();
    if (!image) return fail("no frame to show in", path, 1);
    const Guid dimension = file.entry().IsMultiFrameGif ? FrameDimension::Time : FrameDimension::Page;
    const uint32_t frames = frameCountOf(file.entry());
    const std::string format = file.entry().FormatName;
    const PixelFormat pf = image->pixelFormat();
    if (json) {
        std::printf("{\"file\":\"%s\",\"format\":\"%s\",\"width\":%d,\"height\":%d,"
                    "\"pixelFormat\":\"%s\",\"bitsPerPixel\":%d,\"dpiX\":%g,\"dpiY\":%g,"
                    "\"frames\":%u,\"frameDimension\":\"%s\",\"properties\":[",
                    jsonEscape(path).c_str(), format.c_str(), image->width(), image->height(),
                    pixelFormatName(pf), bitsPerPixel(pf), image->horizontalResolution(),
                    image->verticalResolution(), frames, dimensionName(dimension));
        bool first = true;
        for (const PropertyItem& p : image->properties()) {
            std::printf("%s{\"id\":%u,\"type\":%u,\"length\":%u,\"value\":\"%s\"}", first ? "" : ",", p.id,
                        p.type, p.length(), hex(p.value).c_str());
            first = false;
        }
        std::printf("]}\n");
        return 0;
    }
    std::printf("file:            %s\n", path.c_str());
    std::printf("format:          %s\n", format.c_str());
    std::printf("size:            %d x %d\n", image->width(), image->height());
    std::printf("pixel format:    %s (%d bits per pixel)\n", pixelFormatName(pf), bitsPerPixel(pf));
    std::printf("resolution:      %g x %g dpi\n", image->horizontalResolution(), image->verticalResolution());
    std::printf("frames:          %u (%s)\n", frames, dimensionName(dimension));
    std::printf("property items:  %u\n", image->propertyCount());
    for (const PropertyItem& p : image->properties())
        std::printf("  0x%04x type %u length %u: %s\n", p.id, p.type, p.length(), hex(p.value).c_str());
    return 0;
}

bool parseCompression(const std::string& name, uint32_t& value) {
    static const struct {
        const char* name;
        EncoderValue value;
    } table[] = {{"none", EncoderValueCompressionNone},     {"lzw", EncoderValueCompressionLZW},
                 {"ccitt3", EncoderValueCompressionCCITT3}, {"ccitt4", EncoderValueCompressionCCITT4},
                 {"rle", EncoderValueCompressionRle}};
    for (const auto& entry : table)
        if (name == entry.name) {
            value = entry.value;
            return true;
        }
    return false;
}

int convert(const std::vector<std::string>& args) {
    if (args.size() < 2) return usage();
    const std::string& in = args[0];
    const std::string& out = args[1];
    uint32_t frame = 0;
    EncoderParameters params;
    for (size_t i = 2; i + 1 < args.size() + 1; ++i) {
        const std::string& opt = args[i];
        if (i + 1 >= args.size()) return usage();
        const std::string& value = args[++i];
        char* end = nullptr;
        if (opt == "--frame") {
            frame = static_cast<uint32_t>(std::strtoul(value.c_str(), &end, 10));
            if (*end) return usage();
        } else if (opt == "--compression") {
            uint32_t c;
            if (!parseCompression(value, c)) return usage();
            params.push_back({EncoderParam::Compression, EncoderParameterValueTypeLong, {c}});
        } else if (opt == "--quality" || opt == "--depth") {
            uint32_t v = static_cast<uint32_t>(std::strtoul(value.c_str(), &end, 10));
            if (*end) return usage();
            params.push_back({opt == "--quality" ? EncoderParam::Quality : EncoderParam::ColorDepth,
                              EncoderParameterValueTypeLong, {v}});
        } else {
            return usage();
        }
    }
    LoadedFile file;
    int32_t s = file.load(in);
    if (s != 0) return fail("cannot read", in, s);
    const auto& entry = file.entry();
    if (frame >= frameCountOf(entry)) return fail("cannot select that frame of", in, 2);
    if (frame > 0) {
        s = modMain::SelectFrame(file.id(), static_cast<int32_t>(frame), entry.IsMultiFrameGif ? "GIF" : "TIFF");
        if (s != 0) return fail("cannot select that frame of", in, s);
    }
    Image* image = file.image();
    if (!image) return fail("no frame to show in", in, 1);
    const Encoder* encoder = findEncoderForPath(out);
    if (!encoder) {
        std::fprintf(stderr, "orrery: no encoder for the extension of %s\n", out.c_str());
        return 1;
    }
    Status saved = image->save(out, encoder->info().clsid, params);
    if (saved != Status::Ok) return fail("cannot write", out, static_cast<int32_t>(saved));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "members") return orrery::tool::printMembers(std::cout);
    if (argc == 3 && std::string(argv[1]) == "run") {
        if (std::string(argv[2]) == "-") return orrery::tool::runScript(std::cin, std::cout);
        std::ifstream script(argv[2]);
        if (!script) {
            std::fprintf(stderr, "orrery: cannot read %s\n", argv[2]);
            return 1;
        }
        return orrery::tool::runScript(script, std::cout);
    }
    if (argc < 3) return usage();
    const std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "info") {
        bool json = args.size() == 2 && args[1] == "--json";
        if (args.size() > 2 || (args.size() == 2 && !json)) return usage();
        return info(args[0], json);
    }
    if (command == "convert") return convert(args);
    if (command == "render") {
        const int code = orrery::tool::render(args);
        return code == 2 ? usage() : code;
    }
    return usage();
}
