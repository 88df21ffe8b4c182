// Drives a headless control through its dispatch interface: the input is a
// sequence of at most 64 calls, each naming a member access (method, get or
// let) from the control's own member table, read at run time so that members
// added later are fuzzed too, with arguments drawn from edge values of every
// automation type (0, -1, the ends of the Long range, -0.0, NaN, infinities,
// 1e308, empty and 64 KB strings, arrays, missing arguments, by-reference
// variables), values of the wrong type and results of earlier calls. Between
// calls the input may also act as a host does: resize the window, move the
// virtual clock, queue dialog answers, save and reload the properties, call
// the control again from inside its next event, share a picture with a
// second control that may close it, and press, move and release mouse
// buttons, turn the wheel and press keys on the window's parts at edge
// positions (NaN and infinities included).
//
// Besides the sanitizers, each call checks what a host relies on: the call
// ends with one of the dispatch interface's results, a result of the
// member's declared type, no message box while SilentMode is on, a zoom mode
// of ViewerZoomMode or one of the two internal modes, a positive zoom and
// scroll positions inside their ranges.
//
// What the control writes stays in a private folder, which the temporary
// folder points to; parameters that name files take one of a fixed set of
// paths in it (images, a cursor, an empty and a damaged file, a folder, a
// FIFO, a link, a missing name, the control's own temporary file) or a value
// of another type, which names no file.
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "control/orrery.h"
#include "platform/automation/picture.h"
#include "platform/automation/property_bag.h"
#include "platform/automation/stream_object.h"
#include "platform/gdi/handles.h"
#include "platform/gdiplus/dib.h"
#include "platform/gdiplus/factory.h"
#include "platform/gdiplus/pixel_data.h"
#include "orrery/window/headless_backend.h"
#include "platform/window/control_window.h"

using namespace orrery;
using namespace orrery::automation;

namespace {

constexpr size_t kMaxCalls = 64;

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool empty() const { return pos_ >= size_; }
    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    // Up to `n` bytes of what is left.
    std::vector<uint8_t> take(size_t n) {
        n = std::min(n, size_ - std::min(pos_, size_));
        std::vector<uint8_t> out(data_ + pos_, data_ + pos_ + n);
        pos_ += n;
        return out;
    }
    template <class T, size_t N>
    const T& pick(const std::array<T, N>& table) {
        return table[byte() % N];
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// --- Edge values ------------------------------------------------------------

constexpr int32_t kMinLong = std::numeric_limits<int32_t>::min();
constexpr int32_t kMaxLong = std::numeric_limits<int32_t>::max();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

constexpr std::array<int32_t, 28> kLongs = {
    0, -1, 1, 2, 3, 4, 5, 6, 7, 9, 10, 13, 99, 100, 255, 256, 1000, 32765, 32767, 32768, -32768, 65536,
    1 << 30, -(1 << 30), kMinLong, kMaxLong, kMinLong + 1, kMaxLong - 1};
constexpr std::array<int16_t, 9> kIntegers = {0, -1, 1, 2, 50, 255, 32767, -32768, -32767};
constexpr std::array<double, 24> kDoubles = {
    0.0, -0.0, 1.0, -1.0, 0.5, 1.5, 2.5, 0.001, 0.0011, 100.0, 1000.0, 1e-300,
    std::numeric_limits<double>::denorm_min(), 1e308, -1e308, std::numeric_limits<double>::max(), kNaN, kInf, -kInf,
    2147483647.5, -2147483648.5, 2147483648.0, 3.4e38, 1e39};
constexpr std::array<float, 16> kSingles = {
    0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 2.5f, 100.0f, 1e-30f, std::numeric_limits<float>::denorm_min(),
    std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(), std::numeric_limits<float>::quiet_NaN(),
    std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(), 2147483648.0f, 3e9f};

const std::string& longText(char c) {
    static const std::string a(64 * 1024, 'A'), nine(64 * 1024, '9');
    return c == '9' ? nine : a;
}

std::string pickString(Input& in) {
    static const std::array<std::string, 18> texts = {
        "", "0", "-1", "1.5", " 12 ", "True", "false", "1e400", "nan", "inf", "abc", "\xC3\xA9t\xC3\xA9",
        "\xFF\xFE\x80", std::string("a\0b", 3), "2147483648", "-2147483649", "\\\\server\\share", "&H10"};
    const uint8_t k = in.byte();
    if (k == 254) return longText('A');
    if (k == 255) return longText('9');
    return texts[k % texts.size()];
}

// --- The private folder and its files -------------------------------------------

std::vector<uint8_t> cursorFile() {
    // A 2 x 2, 32-bit cursor with its hot spot at (1, 1).
    std::vector<uint8_t> b = {0, 0, 2, 0, 1, 0,                    // directory: a cursor, one entry
                              2, 2, 0, 0, 1, 0, 1, 0, 64, 0, 0, 0, 22, 0, 0, 0,  // entry
                              40, 0, 0, 0, 2, 0, 0, 0, 4, 0, 0, 0, 1, 0, 32, 0};  // header
    b.resize(b.size() + 24, 0);  // rest of the header: no compression, sizes 0
    for (int i = 0; i < 4; ++i) b.insert(b.end(), {0x20, 0x40, 0x80, 0xFF});
    b.resize(b.size() + 8, 0);  // AND mask: two rows of 32 bits
    return b;
}

// Two frames, 3 x 2 red then 2 x 1 blue, a tenth of a second each, looping.
constexpr uint8_t kAnimatedGif[] = {
    0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x03, 0x00, 0x02, 0x00, 0x80, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00,
    0xFF, 0x21, 0xFF, 0x0B, 0x4E, 0x45, 0x54, 0x53, 0x43, 0x41, 0x50, 0x45, 0x32, 0x2E, 0x30, 0x03, 0x01, 0x00,
    0x00, 0x00, 0x21, 0xF9, 0x04, 0x00, 0x0A, 0x00, 0xFF, 0x00, 0x2C, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x02,
    0x00, 0x00, 0x02, 0x02, 0x84, 0x5F, 0x00, 0x21, 0xF9, 0x04, 0x00, 0x0A, 0x00, 0xFF, 0x00, 0x2C, 0x00, 0x00,
    0x00, 0x00, 0x02, 0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x4C, 0x0A, 0x00, 0x3B};

// Three RGB pages of different sizes and resolutions.
bool writePages(const std::string& path) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif) return false;
    constexpr struct { int width, height; float dpiX, dpiY; } pages[] = {{5, 3, 96, 96}, {2, 9, 200, 100}, {1, 1, 72, 72}};
    bool ok = true;
    for (const auto& p : pages) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, p.width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, p.height);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, p.height);
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, p.dpiX);
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, p.dpiY);
        std::vector<uint8_t> row(static_cast<size_t>(p.width) * 3, static_cast<uint8_t>(p.width * 40));
        for (int y = 0; y < p.height; ++y) ok = ok && TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0) == 1;
        ok = ok && TIFFWriteDirectory(tif) == 1;
    }
    TIFFClose(tif);
    return ok;
}

bool writeImage(const std::string& path, int w, int h, float dpiX, float dpiY, const gdiplus::Guid& codec) {
    std::unique_ptr<gdiplus::Image> image;
    if (gdiplus::createBitmapFromScan0(w, h, 0, gdiplus::PixelFormat24bppRGB, nullptr, image) != gdiplus::Status::Ok)
        return false;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) image->setPixel(x, y, 0xFF000000u | (x * 40u << 16) | (y * 12u << 8) | 0x80u);
    image->setResolution(dpiX, dpiY);
    return image->save(path, codec, {}) == gdiplus::Status::Ok;
}

struct Files {
    std::filesystem::path folder;
    std::vector<std::string> documents;  // what a control shows first: one picture, an animation, pages
    std::vector<std::string> paths;      // what file parameters receive

    Files() {
        char pattern[] = "/tmp/orrery-dispatch-fuzz-XXXXXX";
        if (!::mkdtemp(pattern)) std::abort();
        folder = pattern;
        const std::string dir = folder.string() + "/";
        const std::string image = dir + "small.png";
        documents = {image, dir + "animated.gif", dir + "pages.tif", dir + "tall.bmp"};
        std::ofstream(documents[1], std::ios::binary)
            .write(reinterpret_cast<const char*>(kAnimatedGif), sizeof kAnimatedGif);
        if (!writeImage(image, 23, 17, 96, 72, gdiplus::CodecClsid::PNG) || !writePages(documents[2]) ||
            !writeImage(documents[3], 4, 37, 300, 300, gdiplus::CodecClsid::BMP))
            std::abort();
        const std::vector<uint8_t> cursor = cursorFile();
        std::ofstream(dir + "pointer.cur", std::ios::binary)
            .write(reinterpret_cast<const char*>(cursor.data()), static_cast<std::streamsize>(cursor.size()));
        std::ofstream(dir + "damaged.png", std::ios::binary) << "\x89PNG\r\n\x1a\n not really";
        std::ofstream(dir + "empty.jpg", std::ios::binary);
        std::filesystem::create_directory(dir + "folder");
        ::mkfifo((dir + "pipe.gif").c_str(), 0600);
        std::error_code ec;
        std::filesystem::create_symlink(image, dir + "link.png", ec);
        std::string backslashed = image;
        for (char& c : backslashed)
            if (c == '/') c = '\\';
        paths = documents;
        paths.insert(paths.end(), {dir + "pointer.cur", dir + "damaged.png", dir + "empty.jpg", dir + "folder",
                                   dir + "pipe.gif", dir + "link.png", dir + "missing.tif", "",
                                   dir + "folder/../small.png", backslashed, "//" + image});
    }
};

const Files& files() {
    static const Files f;
    return f;
}

// The folder goes when the fuzzer ends normally.
void removeFolder() {
    std::error_code ec;
    std::filesystem::remove_all(files().folder, ec);
}

void setUpProcess() {
    const std::string dir = files().folder.string();
    std::atexit(removeFolder);
    // Temporary files of the control stay here; anything that would reach
    // printers or the network fails at once.
    for (const char* name : {"tmp", "temp", "TMPDIR"}) ::setenv(name, dir.c_str(), 1);
    ::setenv("CUPS_SERVER", (dir + "/no-print-server").c_str(), 1);
    for (const char* name : {"ALL_PROXY", "all_proxy", "http_proxy", "https_proxy", "ftp_proxy"})
        ::setenv(name, "http://127.0.0.1:9", 1);
    ::unsetenv("no_proxy");
    ::unsetenv("NO_PROXY");
    // The decoders of this tree, not the optional plug-in's.
    ::setenv("ORRERY_CODEC_PLUGIN", "none", 1);
    gdiplus::setPixelAllocationLimit(64 << 20);
}

// ORRERY_FUZZ_TRACE=1 prints every call, for reading a finding.
bool tracing() {
    static const bool on = std::getenv("ORRERY_FUZZ_TRACE") != nullptr;
    return on;
}

bool namesAFile(const std::string& parameter) {
    const std::string name = foldCase(parameter);
    return name.find("path") != std::string::npos || name.find("file") != std::string::npos;
}

// --- One session: a control, its host and its variables ----------------------------------

struct Access {
    const MemberInfo* member;
    uint16_t flags;
};

const std::vector<Access>& accesses() {
    static const std::vector<Access> list = [] {
        std::vector<Access> out;
        for (const MemberInfo& m : control::Orrery::interfaceDescription().members()) {
            if (m.kind == MemberKind::Method) out.push_back({&m, DISPATCH_METHOD});
            if (m.readable()) out.push_back({&m, DISPATCH_PROPERTYGET});
            if (m.writable()) out.push_back({&m, DISPATCH_PROPERTYPUT});
        }
        return out;
    }();
    return list;
}

class Session {
public:
    // The control shows the document the input's first byte chooses.
    explicit Session(Input& in) : control_(backend_) {
        control_.InitProperties();
        control_.setSilentMode(true);
        control_.controlWindow().setWindowSize(164, 124);
        const std::vector<std::string>& documents = files().documents;
        if (control_.DisplayFromFile(documents[in.byte() % documents.size()]) != 0) std::abort();
        control_.events().connect(std::make_shared<FunctionSink>([this](DISPID, std::span<Variant>) {
            handleEvent();
            return S_OK;
        }));
    }

    void step(Input& in) {
        input_ = &in;
        const std::vector<Access>& list = accesses();
        const size_t choice = (size_t{in.byte()} << 8 | in.byte()) % (list.size() + kHostActions);
        if (choice < list.size()) call(list[choice], in);
        else hostAction(choice - list.size(), in);
        checkState();
    }

private:
    static constexpr size_t kHostActions = 14;

    // A host that calls the control from its event handler: once armed, the
    // next event runs one more call (not nested any deeper).
    void handleEvent() {
        if (!armed_ || inHandler_) return;
        armed_ = false;
        inHandler_ = true;
        const std::vector<Access>& list = accesses();
        call(list[(size_t{input_->byte()} << 8 | input_->byte()) % list.size()], *input_);
        inHandler_ = false;
    }

    static void trace(const std::string& name, uint16_t flags, const std::vector<Variant>& args, HRESULT hr,
                      const Variant& result) {
        std::fprintf(stderr, "%s %s(", flags == DISPATCH_METHOD ? "call" : flags == DISPATCH_PROPERTYGET ? "get" : "let",
                     name.c_str());
        for (size_t i = 0; i < args.size(); ++i) std::fprintf(stderr, "%s%s", i ? ", " : "", text(args[i]).c_str());
        std::fprintf(stderr, ") -> 0x%08X %s\n", static_cast<uint32_t>(hr), text(result).c_str());
    }

    static std::string text(const Variant& v) {
        const Variant value = v.dereferenced();
        Variant s;
        std::string out = value.changeType(VT_BSTR, s) == S_OK ? s.str().substr(0, 40) : "<" + typeName(value.vt()) + ">";
        return (v.isByRef() ? "&" : "") + typeName(value.vt()) + " " + out;
    }

    void hostAction(size_t action, Input& in) {
        if (tracing()) std::fprintf(stderr, "host action %zu\n", action);
        static constexpr std::array<std::array<int, 2>, 14> sizes = {{{0, 0}, {1, 1}, {4, 4}, {5, 5}, {19, 19},
                                                                      {21, 40}, {40, 21}, {104, 104}, {164, 124},
                                                                      {641, 481}, {1000, 30}, {30, 1000},
                                                                      {22, 500}, {500, 22}}};
        // At most about a second: a playing animation draws every frame that
        // falls due, and a long advance would only repeat the same drawing.
        static constexpr std::array<int64_t, 10> delays = {0, 1, 9, 10, 99, 100, 101, 999, 1000, 1001};
        static constexpr std::array<int32_t, 6> buttons = {1, 2, 6, 7, 0, -1};
        switch (action) {
            case 0: {
                const auto& size = in.pick(sizes);
                backend_.resize(control_.controlWindow(), size[0], size[1]);
                break;
            }
            case 1: backend_.advance(in.pick(delays)); break;
            case 2: backend_.queueMessageBoxAnswer(in.pick(buttons)); break;
            case 3: backend_.queueOpenFileAnswer(filePath(in)); break;
            case 4: backend_.expose(control_.controlWindow()); break;
            case 5: saveAndReload(); break;
            case 6: armed_ = true; break;
            case 7: shareFromOtherControl(); break;
            case 8:
                if (other_) other_->control.CloseImage();
                break;
            default: windowInput(action - 9, in); break;
        }
    }

    // Input as a desktop host's window delivers it, in window coordinates.
    void windowInput(size_t kind, Input& in) {
        static constexpr std::array<int32_t, 4> buttons = {1, 2, 4, 3};
        static constexpr std::array<int32_t, 7> deltas = {120, -120, 60, 0, 240, INT32_MAX, INT32_MIN};
        static constexpr std::array<int32_t, 7> keys = {107, 109, 0x28, 0x26, 0x22, 65, 0};
        static constexpr std::array<window::FocusTarget, 4> parts = {
            window::FocusTarget::Control, window::FocusTarget::HScroll, window::FocusTarget::VScroll,
            window::FocusTarget::Corner};
        window::ControlWindow& w = control_.controlWindow();
        // Mostly places on a small window, sometimes an edge value.
        auto position = [&in] { return in.byte() < 200 ? static_cast<float>(in.byte()) : in.pick(kSingles); };
        const float x = position(), y = position();
        switch (kind) {
            case 0: backend_.mouseDown(w, in.pick(buttons), in.byte() & 7, x, y); break;
            case 1: backend_.mouseMove(w, in.byte() & 7, x, y); break;
            case 2: backend_.mouseUp(w, in.pick(buttons), in.byte() & 7, x, y); break;
            case 3: backend_.wheel(w, in.pick(deltas), 0, x, y); break;
            default: {
                backend_.focus(w);
                w.setFocus(in.pick(parts));
                const int32_t key = in.pick(keys);
                backend_.keyDown(w, key, 0);
                backend_.keyUp(w, key, 0);
                break;
            }
        }
    }

    // A second control of the same thread shows a picture; its identifier
    // becomes the last result, which the next call may pass on (to
    // SetNativeImage, say). The other control may close it again later.
    void shareFromOtherControl() {
        if (!other_) other_ = std::make_unique<Other>();
        other_->control.DisplayFromFile(files().documents[3]);
        previous_ = Variant(other_->control.GetNativeImage());
    }

    // The container saves the form and loads it again, then shows the control.
    void saveAndReload() {
        PropertyBag bag;
        if (failed(control_.WriteProperties(bag))) std::abort();
        PropertyBag reread;
        if (PropertyBag::fromText(bag.toText(), reread) != S_OK) std::abort();
        if (failed(control_.ReadProperties(reread))) std::abort();
        control_.Show();
    }

    std::string filePath(Input& in) {
        const std::vector<std::string>& paths = files().paths;
        const size_t k = in.byte() % (paths.size() + 1);
        return k < paths.size() ? paths[k] : control_.imageTempFile();
    }

    void call(const Access& access, Input& in) {
        const MemberInfo& m = *access.member;
        std::vector<ParamInfo> params;
        if (access.flags == DISPATCH_METHOD) params = m.params;
        if (access.flags == DISPATCH_PROPERTYPUT) params = {arg("value", m.type)};
        // Mostly every parameter; sometimes fewer or more.
        size_t count = params.size();
        const uint8_t shape = in.byte();
        if (shape >= 240) count = shape % (params.size() + 2);
        std::vector<Variant> args;
        for (size_t i = 0; i < count; ++i)
            args.push_back(i < params.size() ? argument(params[i], in) : anyValue(in));

        const bool silentBefore = control_.SilentMode();
        const size_t boxesBefore = backend_.messageBoxes().size();
        Variant result;
        ExcepInfo error;
        uint32_t argError = 0;
        const HRESULT hr = invokeByName(control_, m.name, access.flags, args, &result, &error, &argError);
        if (tracing()) trace(m.name, access.flags, args, hr, result);
        checkResult(m, access.flags, hr, result);
        if (silentBefore && control_.SilentMode() && backend_.messageBoxes().size() != boxesBefore) std::abort();
        if (!result.isEmpty()) previous_ = result;
    }

    Variant argument(const ParamInfo& p, Input& in) {
        const uint8_t how = in.byte();
        if (p.byRef && how < 128) return reference(in);
        if (how >= 224) return anyValue(in);
        if (how >= 216) return previous_;
        if (how >= 212) return Variant::missing();
        return valueOf(p.type, in, namesAFile(p.name));
    }

    // A by-reference argument: one of the caller's typed variables, or one
    // of its Variant variables, which may be given a new value first. (No
    // reference points inside a Variant variable, so that a new value, or
    // one the member writes back, leaves no reference dangling.)
    Variant reference(Input& in) {
        switch (in.byte() % 7) {
            case 0: return Variant::byRef(&long_);
            case 1: return Variant::byRef(&single_);
            case 2: return Variant::byRef(&integer_);
            case 3: return Variant::byRef(&double_);
            case 4: return Variant::byRefBool(&boolean_);
            case 5: return Variant::byRef(&string_);
            default: {
                Variant& slot = slots_[in.byte() % slots_.size()];
                if (in.byte() & 1) slot = anyValue(in);
                return Variant::byRef(&slot);
            }
        }
    }

    Variant valueOf(VARTYPE type, Input& in, bool isFile) {
        switch (type) {
            case VT_I4: return Variant(in.byte() < 230 ? kLongs[in.byte() % kLongs.size()] : int32_t(int8_t(in.byte())));
            case VT_I2: return Variant(in.pick(kIntegers));
            case VT_UI1: return Variant(in.byte());
            case VT_R4: return Variant(in.pick(kSingles));
            case VT_R8: return Variant(in.byte() < 230 ? kDoubles[in.byte() % kDoubles.size()] : int8_t(in.byte()) / 16.0);
            case VT_BOOL: return Variant((in.byte() & 1) != 0);
            case VT_BSTR: return Variant(isFile ? filePath(in) : pickString(in));
            case VT_DISPATCH:
            case VT_UNKNOWN: return objectValue(type, in);
            case VT_ARRAY | VT_UI1: {
                static constexpr std::array<int32_t, 4> lowerBounds = {0, 1, -1, kMaxLong};
                const int32_t lowerBound = in.pick(lowerBounds);
                if (in.byte() & 1) return Variant::bytes(imageBytes(), lowerBound);
                return Variant::bytes(in.take(in.byte()), lowerBound);
            }
            case VT_ARRAY | VT_BSTR: return Variant::strings({pickString(in), pickString(in)}, in.byte() % 2);
            default: return anyValue(in, isFile);
        }
    }

    // A value of any type, whatever the parameter wants.
    Variant anyValue(Input& in, bool isFile = false) {
        static constexpr std::array<VARTYPE, 12> types = {VT_I4,   VT_I2,      VT_UI1,  VT_R4,
                                                          VT_R8,   VT_BOOL,    VT_BSTR, VT_DISPATCH,
                                                          VT_UNKNOWN, VT_ARRAY | VT_UI1, VT_ARRAY | VT_BSTR, VT_EMPTY};
        const uint8_t k = in.byte();
        if (k >= 250) return k & 1 ? Variant::null() : Variant::error(E_FAIL);
        const VARTYPE type = types[k % types.size()];
        return type == VT_EMPTY ? Variant() : valueOf(type, in, isFile);
    }

    // An object as a host passes one: none, a stream of bytes, or a picture
    // of any type with sizes of any value, as an Object or an IUnknown object.
    Variant objectValue(VARTYPE type, Input& in) {
        std::shared_ptr<IDispatch> object;
        std::shared_ptr<IUnknown> unknown;
        if (in.byte() % 3 == 1) {
            auto stream = std::make_shared<StreamObject>(
                std::make_shared<MemoryStream>(in.byte() & 1 ? imageBytes() : in.take(in.byte())));
            object = stream;
            unknown = std::shared_ptr<IUnknown>(stream, static_cast<IUnknown*>(stream.get()));
        } else if (auto picture = pictureValue(in)) {
            object = picture;
            unknown = std::shared_ptr<IUnknown>(picture, static_cast<IUnknown*>(picture.get()));
        }
        return type == VT_UNKNOWN ? Variant(unknown) : Variant(object);
    }

    std::shared_ptr<Picture> pictureValue(Input& in) {
        PictureDescription d;
        d.type = static_cast<int16_t>(in.byte() % 6);  // 5 is no picture type
        d.metafileWidth = in.pick(kLongs);
        d.metafileHeight = in.pick(kLongs);
        static const std::unique_ptr<gdiplus::Image> image = [] {
            std::unique_ptr<gdiplus::Image> decoded;
            gdiplus::loadImageFromFile(files().documents[0], {}, decoded);
            return decoded;
        }();
        if (d.type == PICTYPE_BITMAP && image) gdiplus::createHBITMAPFromBitmap(*image, 0, d.handle);
        if (d.type == PICTYPE_ICON && image) gdiplus::createHICONFromBitmap(*image, d.handle);
        if (d.type == PICTYPE_METAFILE) d.handle = gdi::setMetaFileBits(metafileRecords(in));
        if (d.type == PICTYPE_ENHMETAFILE) d.handle = gdi::setEnhMetaFileBits(in.take(in.byte()));
        std::shared_ptr<Picture> picture;
        Picture::create(d, true, picture);
        return picture;
    }

    // A WMF header followed by whatever the input holds.
    static std::vector<uint8_t> metafileRecords(Input& in) {
        std::vector<uint8_t> bytes = {1, 0, 9, 0, 0, 3, 0, 0, 0, 0, 1, 0, 7, 0, 0, 0, 0, 0};
        const std::vector<uint8_t> records = in.take(in.byte());
        bytes.insert(bytes.end(), records.begin(), records.end());
        return bytes;
    }

    static const std::vector<uint8_t>& imageBytes() {
        static const std::vector<uint8_t> bytes = [] {
            std::ifstream file(files().documents[0], std::ios::binary);
            return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
        }();
        return bytes;
    }

    static void checkResult(const MemberInfo& m, uint16_t flags, HRESULT hr, const Variant& result) {
        switch (hr) {
            case S_OK:
                if (flags == DISPATCH_PROPERTYPUT || m.type == VT_EMPTY || m.type == VT_VARIANT) return;
                if (result.vt() != m.type) std::abort();
                return;
            case DISP_E_EXCEPTION:
            case DISP_E_TYPEMISMATCH:
            case DISP_E_OVERFLOW:
            case DISP_E_BADPARAMCOUNT:
            case DISP_E_PARAMNOTOPTIONAL:
            case DISP_E_MEMBERNOTFOUND: return;
            default: std::abort();
        }
    }

    void checkState() const {
        const viewer::ViewState& s = control_.viewState();
        // The internal modes stay until a layout runs (ZoomArea without an image).
        if ((s.zoomMode < viewer::Zoom100 || s.zoomMode > viewer::ZoomFitArea) && s.zoomMode != viewer::ZoomFitRect)
            std::abort();
        if (!(s.zoom > 0)) std::abort();
        for (const viewer::ScrollBarState* bar : {&s.hScroll, &s.vScroll})
            if (bar->max < 0 || bar->value < 0 || bar->value > bar->max) std::abort();
    }

    struct Other {
        window::HeadlessBackend backend;
        control::Orrery control{backend};
        Other() { control.setSilentMode(true); }
    };

    window::HeadlessBackend backend_;
    control::Orrery control_;
    std::unique_ptr<Other> other_;
    Variant previous_;
    Input* input_ = nullptr;
    bool armed_ = false;
    bool inHandler_ = false;
    std::array<Variant, 3> slots_;
    int32_t long_ = 0;
    float single_ = 0;
    int16_t integer_ = 0;
    double double_ = 0;
    VARIANT_BOOL boolean_ = 0;
    std::string string_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setUpProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    Session session(in);
    for (size_t i = 0; i < kMaxCalls && !in.empty(); ++i) session.step(in);
    return 0;
}
