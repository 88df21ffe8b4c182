#include "support/headless_viewer.h"

#include "control/events.h"
#include "imaging/image_table.h"
#include "platform/gdiplus/factory.h"
#include "support/control_maker.h"

namespace orrery::test {

using namespace automation;

namespace {

std::string shown(const Variant& v) {
    const Variant value = v.dereferenced();
    if (value.vt() == (VT_ARRAY | VT_BSTR)) {
        std::string list;
        for (const std::string& s : value.stringArray().items) list += (list.empty() ? "" : "|") + s;
        return "[" + list + "]";
    }
    Variant text;
    return value.changeType(VT_BSTR, text) == S_OK ? text.str() : "?";
}

}  // namespace

HeadlessViewer::HeadlessViewer(window::HeadlessBackend& b) : backend(b), made(makeControl(b)), control(*made) {
    // A new control as a container makes and shows it.
    control.InitProperties();
    control.controlWindow().setWindowSize(404, 304);
    control.Show();
    auto sink = std::make_shared<FunctionSink>([this](DISPID id, std::span<Variant> args) {
        const std::string name = control::orreryEvents().find(id)->name;
        events.push_back(name);
        std::string call = name + "(";
        for (size_t i = 0; i < args.size(); ++i) call += (i ? ", " : "") + shown(args[i]);
        calls.push_back(call + ")");
        if (handler) handler(id, args);
        return S_OK;
    });
    control.events().connect(sink);
}

void HeadlessViewer::drag(float x1, float y1, float x2, float y2) {
    down(window::vbLeftButton, x1, y1);
    move(x2, y2);
    up(window::vbLeftButton, x2, y2);
}

bool HeadlessViewer::showBlank(int w, int h) {
    std::unique_ptr<gdiplus::Image> image;
    if (gdiplus::createBitmapFromScan0(w, h, 0, gdiplus::PixelFormat24bppRGB, nullptr, image) != gdiplus::Status::Ok)
        return false;
    image->setResolution(96, 96);
    int32_t id = 0;
    imaging::modMain::AddImage(id, std::move(image), "BMP", "", imaging::SourcePlain);
    const bool shownOk = control.SetNativeImage(id) == 0;
    events.clear();
    calls.clear();
    return shownOk;
}

}  // namespace orrery::test
