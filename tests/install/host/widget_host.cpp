// A Qt host of the installed OrreryWidget: the widget shows the host's BMP
// fitted to 200 x 150 and the host checks what the widget paints.
//   widget_host FOLDER     (any Qt platform; the test uses "offscreen")
#include <cstdio>
#include <string>

#include <QApplication>
#include <QImage>

#include "orrery/orrery.h"
#include "host_pictures.h"
#include "orrery/qt/orrery_widget.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: widget_host FOLDER\n");
        return 2;
    }
    const std::string path = std::string(argv[1]) + "/widget.bmp";
    if (!host::writeBmp(path)) return 2;
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    orrery::qt::OrreryWidget widget;
    widget.resize(200, 150);
    widget.control().setSilentMode(true);
    widget.control().setZoomMode(2);
    const int32_t status = widget.control().DisplayFromFile(path);
    const QImage painted = widget.grab().toImage();
    const uint32_t centre = painted.pixel(painted.width() / 2, painted.height() / 2) & 0xFFFFFF;
    std::printf("widget: status %d, %d x %d, painted %d x %d, centre %06X\n", status,
                widget.control().ImageWidth(), widget.control().ImageHeight(), painted.width(), painted.height(),
                centre);
    return status == 0 && painted.width() == 200 && centre == host::kColour ? 0 : 1;
}
