// A host of the installed library: a control on the headless window backend
// shows the pictures the host writes, fitted to a 200 x 150 window, and the
// host reports their size, the colour at the window's centre and how many
// Display events its sink heard.
//   headless_host FOLDER
// Exit code 0 when the BMP shows as written; the TARGA's line tells whether
// the codec plug-in read it.
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "host_pictures.h"
#include "orrery/automation/events.h"
#include "orrery/event_ids.h"
#include "orrery/orrery.h"
#include "orrery/window/headless_backend.h"

namespace {

constexpr int kWindowWidth = 200, kWindowHeight = 150;
int displays = 0;

// Shows `path` and prints "NAME: W x H, centre RRGGBB" or "NAME: status N";
// true when the picture is the host's own.
bool show(orrery::window::HeadlessBackend& backend, orrery::control::Orrery& viewer, const std::string& name,
          const std::string& path) {
    const int32_t status = viewer.DisplayFromFile(path);
    if (status != 0) {
        std::printf("%s: status %d\n", name.c_str(), status);
        return false;
    }
    std::vector<uint32_t> pixels(size_t{kWindowWidth} * kWindowHeight);
    if (!backend.compose(viewer.controlWindow(), pixels, kWindowWidth, kWindowHeight)) {
        std::printf("%s: not composed\n", name.c_str());
        return false;
    }
    const uint32_t centre = pixels[size_t{kWindowHeight / 2} * kWindowWidth + kWindowWidth / 2] & 0xFFFFFF;
    std::printf("%s: %d x %d, centre %06X, Display %d\n", name.c_str(), viewer.ImageWidth(), viewer.ImageHeight(),
                centre, displays);
    return viewer.ImageWidth() == host::kWidth && viewer.ImageHeight() == host::kHeight && centre == host::kColour;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: headless_host FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    if (!host::writeBmp(folder + "/host.bmp") || !host::writeTarga(folder + "/host.tga")) {
        std::fprintf(stderr, "headless_host: cannot write into %s\n", folder.c_str());
        return 2;
    }
    orrery::window::HeadlessBackend backend;
    orrery::control::Orrery viewer(backend);
    viewer.InitProperties();
    viewer.setSilentMode(true);
    viewer.setBorderStyle(0);
    viewer.setZoomMode(2);
    backend.resize(viewer.controlWindow(), kWindowWidth, kWindowHeight);
    viewer.events().connect(std::make_shared<orrery::automation::FunctionSink>(
            [](orrery::automation::DISPID id, std::span<orrery::automation::Variant>) {
                if (id == orrery::control::EventId::Display) ++displays;
                return orrery::automation::S_OK;
            }));
    const bool bmpShown = show(backend, viewer, "bmp", folder + "/host.bmp");
    show(backend, viewer, "tga", folder + "/host.tga");
    return bmpShown ? 0 : 1;
}
