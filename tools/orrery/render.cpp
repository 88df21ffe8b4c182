// orrery render: a control of the given size shows a file, and what its
// window shows is saved as a PNG.
#include "tools/orrery/render.h"

#include <cstdio>
#include <cstdlib>

#include "control/orrery.h"
#include "platform/window/headless_backend.h"

namespace orrery::tool {

namespace {

bool parseSize(const std::string& text, int& w, int& h) {
    return std::sscanf(text.c_str(), "%dx%d", &w, &h) == 2 && w > 0 && h > 0;
}

}  // namespace

int render(const std::vector<std::string>& args) {
    std::string input, output;
    int width = 800, height = 600;
    std::vector<std::pair<std::string, std::string>> settings;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "-o") {
            if (!value(output)) return 2;
        } else if (a == "--size") {
            if (!value(v) || !parseSize(v, width, height)) return 2;
        } else if (a == "--zoom-mode" || a == "--zoom" || a == "--quality" || a == "--gamma" ||
                   a == "--back-color") {
            if (!value(v)) return 2;
            settings.emplace_back(a, v);
        } else if (input.empty() && a.rfind("--", 0) != 0) {
            input = a;
        } else {
            return 2;
        }
    }
    if (input.empty() || output.empty()) return 2;

    window::HeadlessBackend backend;
    control::Orrery viewer(backend);
    viewer.InitProperties();
    viewer.setSilentMode(true);
    viewer.setZoomMode(2);  // fitted unless --zoom-mode says otherwise
    viewer.controlWindow().setWindowSize(width, height);
    for (const auto& [name, value] : settings) {
        if (name == "--zoom-mode") viewer.setZoomMode(std::atoi(value.c_str()));
        if (name == "--quality") viewer.setViewerQuality(std::atoi(value.c_str()));
        if (name == "--gamma") viewer.setGamma(static_cast<float>(std::atof(value.c_str())));
        if (name == "--back-color") viewer.setBackColor(static_cast<int32_t>(std::strtol(value.c_str(), nullptr, 0)));
    }
    int32_t status = viewer.DisplayFromFile(input);
    for (const auto& [name, value] : settings)
        if (name == "--zoom") viewer.setZOOM(std::atof(value.c_str()));
    if (status != 0) {
        std::fprintf(stderr, "orrery: cannot show %s: status %d\n", input.c_str(), status);
        return 1;
    }
    std::unique_ptr<gdiplus::Image> shot;
    if (viewer.controlWindow().snapshot(shot) != gdiplus::Status::Ok ||
        shot->save(output, gdiplus::CodecClsid::PNG, {}) != gdiplus::Status::Ok) {
        std::fprintf(stderr, "orrery: cannot write %s\n", output.c_str());
        return 1;
    }
    std::printf("%s: %d x %d at zoom %g, image origin (%d, %d), written to %s\n", input.c_str(),
                viewer.ImageWidth(), viewer.ImageHeight(), viewer.ZOOM(), viewer.GetImageLeft(),
                viewer.GetImageTop(), output.c_str());
    return 0;
}

}  // namespace orrery::tool
