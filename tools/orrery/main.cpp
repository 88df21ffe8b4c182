// orrery: the command-line host. `info` prints what the control reads from a
// file; `convert` decodes one frame and saves it with another encoder. Both
// load through the image store, so they show what the control will show (the
// codec plug-in first, then the imaging layer).
#include <charconv>
#include <cstdio>
#include <memory>
#include <fstream>
#include <iostream>
#include <span>
#include <string>
#include <vector>

#include "imaging/image_table.h"
#include "imaging/codec_plugin.h"
#include "imaging/loaders.h"
#include "imaging/plugin_save.h"
#include "metadata/gdip_property_item.h"
#include "metadata/image_tags.h"
#include "platform/gdiplus/factory.h"
#include "platform/gdiplus/image.h"
#include "tools/orrery/command_line.h"
#include "tools/orrery/failures.h"
#include "tools/orrery/object_commands.h"
#include "orrery/window/headless_backend.h"
#include "tools/orrery/output.h"
#include "tools/orrery/remote.h"
#include "tools/orrery/render.h"
#include "tools/orrery/script.h"

using namespace orrery::gdiplus;
using namespace orrery::tool;
namespace modMain = orrery::imaging::modMain;

namespace {

// Opens the imaging session for the life of the tool and loads one file.
class LoadedFile {
public:
    LoadedFile() { modMain::StartGdiPlus(); }
    ~LoadedFile() { modMain::ShutdownGdiPlus(); }
    int32_t load(const std::string& path) {
        return orrery::imaging::LoadImageFromFile(id_, path);
    }
    Image* image() const { return modMain::GetGdiImage(id_); }
    const orrery::imaging::ImageEntry& entry() const { return *modMain::FindEntry(id_); }
    int32_t id() const { return id_; }

private:
    int32_t id_ = 0;
};

int noFrame(const std::string& path) {
    std::fprintf(stderr, "orrery: %s has no frame to show\n", path.c_str());
    return 1;
}

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

std::string hex(std::span<const uint8_t> bytes) {
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
        if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
            continue;
        }
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

// The property items of `image` as the control's members list them.
std::vector<orrery::metadata::cGDIPPropertyItem> tagItems(const Image& image) {
    std::vector<orrery::metadata::cGDIPPropertyItem> items(image.propertyCount());
    for (size_t n = 0; n < items.size(); ++n)
        orrery::metadata::ReadExifItem(image, static_cast<int32_t>(n + 1), items[n]);
    return items;
}

int info(const std::vector<std::string>& words) {
    static constexpr Option options[] = {{"--json"}};
    Arguments args;
    if (!args.parse(words, options)) return usageError(args.error());
    if (args.operands().size() != 1) return usageError("info takes one FILE");
    const std::string& path = args.operands()[0];
    const bool json = args.has("--json");

    LoadedFile file;
    // A URL is fetched by a control's own members; its download, which lives
    // as long as the control shows it, is then read like any file.
    orrery::window::HeadlessBackend backend;
    std::unique_ptr<orrery::control::Orrery> fetcher;
    std::string local = path;
    if (isUrl(path)) {
        fetcher = std::make_unique<orrery::control::Orrery>(backend);
        fetcher->setSilentMode(true);
        if (const int32_t status = showDocument(*fetcher, path); status != 0)
            return reportUnreadable("fetch", path, status);
        const orrery::imaging::ImageEntry* fetched = modMain::FindEntry(fetcher->GetNativeImage());
        if (!fetched || fetched->TempFilePath.empty()) return noFrame(path);
        local = fetched->TempFilePath;
    }
    int32_t s = file.load(local);
    if (s != 0) return reportUnreadable("read", path, s);
    Image* image = file.image();
    if (!image) return noFrame(path);
    const Guid dimension = file.entry().IsMultiFrameGif ? FrameDimension::Time : FrameDimension::Page;
    const uint32_t frames = frameCountOf(file.entry());
    const std::string format = file.entry().FormatName;
    const PixelFormat pf = image->pixelFormat();
    const auto* entries = orrery::metadata::IptcEntries(file.id());
    static const std::vector<orrery::imaging::PluginMetadataTag> kNoTags;
    const auto& iptc = entries ? *entries : kNoTags;
    if (json) {
        std::printf("{\"file\":\"%s\",\"format\":\"%s\",\"width\":%d,\"height\":%d,"
                    "\"pixelFormat\":\"%s\",\"bitsPerPixel\":%d,\"dpiX\":%g,\"dpiY\":%g,"
                    "\"frames\":%u,\"frameDimension\":\"%s\",\"properties\":[",
                    jsonEscape(path).c_str(), format.c_str(), image->width(), image->height(),
                    pixelFormatName(pf), bitsPerPixel(pf), image->horizontalResolution(),
                    image->verticalResolution(), frames, dimensionName(dimension));
        bool first = true;
        for (const auto& item : tagItems(*image)) {
            std::printf("%s{\"id\":%u,\"name\":\"%s\",\"type\":%u,\"length\":%u,\"value\":\"%s\",\"text\":\"%s\"}",
                        first ? "" : ",", item.ID(), item.name().c_str(), item.ItemType(), item.Length(),
                        hex(item.value()).c_str(), jsonEscape(orrery::metadata::ExifValueText(item)).c_str());
            first = false;
        }
        std::printf("],\"iptc\":[");
        first = true;
        for (const auto& t : iptc) {
            std::printf("%s{\"id\":%d,\"type\":%u,\"count\":%u,\"length\":%u,\"text\":\"%s\"}", first ? "" : ",",
                        t.id, t.type, t.count, t.length, jsonEscape(orrery::metadata::IptcValueText(t)).c_str());
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
    for (const auto& item : tagItems(*image))
        std::printf("  0x%04x %s type %u length %u: %s = %s\n", item.ID(), item.name().c_str(), item.ItemType(),
                    item.Length(), hex(item.value()).c_str(),
                    quotedText(orrery::metadata::ExifValueText(item)).c_str());
    std::printf("IPTC tags:       %zu\n", iptc.size());
    for (const auto& t : iptc)
        std::printf("  0x%04x type %u count %u length %u = %s\n", static_cast<uint32_t>(t.id), t.type, t.count,
                    t.length, quotedText(orrery::metadata::IptcValueText(t)).c_str());
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

// A whole decimal number without sign, nothing before or after it.
bool parseCount(const std::string& text, uint32_t& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end;
}

int convert(const std::vector<std::string>& words) {
    static constexpr Option options[] = {
        {"--frame", true}, {"--compression", true}, {"--quality", true}, {"--depth", true}, {"--plugin"}};
    Arguments args;
    if (!args.parse(words, options)) return usageError(args.error());
    if (args.operands().size() != 2) return usageError("convert takes IN and OUT");
    const std::string& in = args.operands()[0];
    const std::string& out = args.operands()[1];
    uint32_t frame = 0;
    if (const std::string* v = args.value("--frame"); v && !parseCount(*v, frame))
        return usageError("--frame takes a frame number from 0");
    EncoderParameters params;
    if (const std::string* v = args.value("--compression")) {
        uint32_t c;
        if (!parseCompression(*v, c)) return usageError("--compression takes none, lzw, ccitt3, ccitt4 or rle");
        params.push_back({EncoderParam::Compression, EncoderParameterValueTypeLong, {c}});
    }
    for (const auto& [option, guid] : {std::pair{"--quality", EncoderParam::Quality},
                                       std::pair{"--depth", EncoderParam::ColorDepth}}) {
        const std::string* text = args.value(option);
        if (!text) continue;
        uint32_t v;
        if (!parseCount(*text, v)) return usageError(std::string(option) + " takes a whole number");
        params.push_back({guid, EncoderParameterValueTypeLong, {v}});
    }
    const bool throughPlugin = args.has("--plugin");
    const int pluginFormat = orrery::imaging::pluginFormatOfPath(out);
    if (throughPlugin && pluginFormat == orrery::imaging::PluginFormat::Unknown)
        return usageError("OUT's extension names no format of the codec plug-in");
    const Encoder* encoder = throughPlugin ? nullptr : encoderForOutput(out);
    if (!throughPlugin && !encoder) return 2;

    LoadedFile file;
    int32_t s = file.load(in);
    if (s != 0) return reportUnreadable("read", in, s);
    const auto& entry = file.entry();
    if (frame >= frameCountOf(entry)) {
        const uint32_t count = frameCountOf(entry);
        std::fprintf(stderr, "orrery: cannot select frame %u of %s: it has %u frame%s\n", frame, in.c_str(), count,
                     count == 1 ? "" : "s");
        return 1;
    }
    if (frame > 0) {
        s = modMain::SelectFrame(file.id(), static_cast<int32_t>(frame), entry.IsMultiFrameGif ? "GIF" : "TIFF");
        if (s != 0) return reportUnreadable("select a frame of", in, s);
    }
    Image* image = file.image();
    if (!image) return noFrame(in);
    if (throughPlugin) {
        s = orrery::imaging::SaveWithPlugin(file.id(), out, pluginFormat);
        if (s == 0) return 0;
        std::fprintf(stderr, "orrery: cannot save %s through the codec plug-in: %s\n", out.c_str(),
                     statusText(s).c_str());
        return 1;
    }
    return writeImage(*image, out, *encoder, params);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usageError();
    const std::string command = argv[1];
    const std::vector<std::string> words(argv + 2, argv + argc);
    if (command == "info") return info(words);
    if (command == "convert") return convert(words);
    if (command == "render") return orrery::tool::render(words);
    if (command == "run") return runCommand(words);
    if (command == "members") return membersCommand(words);
    if (command == "register" || command == "unregister") return registrationCommand(words, command == "unregister");
    return usageError("unknown command " + command);
}
