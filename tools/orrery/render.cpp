// orrery render: a control of the given size shows a file or a URL, and what its
// window shows is saved with the encoder the output's extension names.
#include "tools/orrery/render.h"

#include <cstdio>
#include <cstdlib>

#include "control/orrery.h"
#include "orrery/window/headless_backend.h"
#include "platform/window/control_window.h"
#include "tools/orrery/command_line.h"
#include "tools/orrery/failures.h"
#include "tools/orrery/output.h"
#include "tools/orrery/remote.h"

namespace orrery::tool {

namespace {

bool parseSize(const std::string& text, int& w, int& h) {
    return std::sscanf(text.c_str(), "%dx%d", &w, &h) == 2 && w > 0 && h > 0;
}

}  // namespace

int render(const std::vector<std::string>& words) {
    static constexpr Option options[] = {{"-o", true},      {"--size", true},  {"--zoom-mode", true},
                                         {"--zoom", true},  {"--quality", true}, {"--gamma", true},
                                         {"--back-color", true}, {"--page", true},    {"--dpi", true}};
    Arguments args;
    if (!args.parse(words, options)) return usageError(args.error());
    if (args.operands().size() != 1) return usageError("render takes one FILE");
    const std::string& input = args.operands()[0];
    const std::string* output = args.value("-o");
    if (!output) return usageError("render needs -o OUT");
    int width = 800, height = 600;
    if (const std::string* size = args.value("--size"); size && !parseSize(*size, width, height))
        return usageError("--size takes WIDTHxHEIGHT");
    const gdiplus::Encoder* encoder = encoderForOutput(*output);
    if (!encoder) return 2;

    window::HeadlessBackend backend;
    control::Orrery viewer(backend);
    viewer.InitProperties();
    viewer.setSilentMode(true);
    viewer.setZoomMode(2);  // fitted unless --zoom-mode says otherwise
    viewer.controlWindow().setWindowSize(width, height);
    if (const std::string* v = args.value("--zoom-mode")) viewer.setZoomMode(std::atoi(v->c_str()));
    if (const std::string* v = args.value("--quality")) viewer.setViewerQuality(std::atoi(v->c_str()));
    if (const std::string* v = args.value("--gamma")) viewer.setGamma(static_cast<float>(std::atof(v->c_str())));
    if (const std::string* v = args.value("--back-color"))
        viewer.setBackColor(static_cast<int32_t>(std::strtol(v->c_str(), nullptr, 0)));
    // The resolution of PDF pages, then the page (or frame) to show.
    if (const std::string* v = args.value("--dpi")) viewer.setPdfDpiRendering(std::atoi(v->c_str()));
    int32_t status = showDocument(viewer, input);
    if (status != 0) return reportUnreadable("show", input, status);
    if (const std::string* v = args.value("--page")) {
        const int32_t page = std::atoi(v->c_str());
        if (page < 1 || page > viewer.GetTotalFrame()) return usageError("--page is outside 1 to the page count");
        if ((status = viewer.DisplayFrame(page)) != 0) return reportUnreadable("show", input, status);
    }
    if (const std::string* v = args.value("--zoom")) viewer.setZOOM(std::atof(v->c_str()));
    std::unique_ptr<gdiplus::Image> shot;
    const gdiplus::Status shotStatus = viewer.controlWindow().snapshot(shot);
    if (shotStatus != gdiplus::Status::Ok) {
        std::fprintf(stderr, "orrery: cannot take what the window of %s shows: %s\n", input.c_str(),
                     statusText(static_cast<int32_t>(shotStatus)).c_str());
        return 1;
    }
    if (const int code = writeImage(*shot, *output, *encoder, {}); code != 0) return code;
    std::printf("%s: %d x %d at zoom %g, image origin (%d, %d), written to %s\n", input.c_str(),
                viewer.ImageWidth(), viewer.ImageHeight(), viewer.ZOOM(), viewer.GetImageLeft(),
                viewer.GetImageTop(), output->c_str());
    return 0;
}

}  // namespace orrery::tool
