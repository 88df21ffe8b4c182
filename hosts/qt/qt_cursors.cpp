#include "qt_cursors.h"

#include <memory>

#include <QPixmap>

#include "platform/gdiplus/graphics.h"

namespace orrery::qt {

namespace {

Qt::CursorShape shapeOf(int32_t pointer) {
    using namespace window;
    switch (pointer) {
        case MousePointerCross: return Qt::CrossCursor;
        case MousePointerIBeam: return Qt::IBeamCursor;
        case MousePointerSize:
        case MousePointerSizeAll: return Qt::SizeAllCursor;
        case MousePointerSize_NE_SW: return Qt::SizeBDiagCursor;
        case MousePointerSize_N_S: return Qt::SizeVerCursor;
        case MousePointerSize_NW_SE: return Qt::SizeFDiagCursor;
        case MousePointerSize_W_E: return Qt::SizeHorCursor;
        case MousePointerUpArrow: return Qt::UpArrowCursor;
        case MousePointerHourglass: return Qt::WaitCursor;
        case MousePointerNoDrop: return Qt::ForbiddenCursor;
        case MousePointerArrowAndHourglass: return Qt::BusyCursor;
        case MousePointerArrowAndQuestion: return Qt::WhatsThisCursor;
        case MousePointerClosedHand: return Qt::ClosedHandCursor;
        case MousePointerOpenHand: return Qt::OpenHandCursor;
        default: return Qt::ArrowCursor;
    }
}

}  // namespace

QImage toQImage(const gdiplus::Image& image) {
    const int w = image.width(), h = image.height();
    if (w <= 0 || h <= 0) return {};
    QImage out(w, h, QImage::Format_ARGB32_Premultiplied);
    if (out.isNull()) return {};
    out.fill(Qt::transparent);
    const gdiplus::Surface surface{reinterpret_cast<uint32_t*>(out.bits()), w, h, out.bytesPerLine()};
    std::unique_ptr<gdiplus::Graphics> g;
    if (gdiplus::Graphics::fromSurface(surface, g) != gdiplus::Status::Ok ||
        g->drawImageRect(image, gdiplus::RectF{0, 0, static_cast<float>(w), static_cast<float>(h)}) !=
            gdiplus::Status::Ok)
        return {};
    return out;
}

QCursor qtCursor(const window::Cursor& cursor) {
    if (cursor.custom && cursor.custom->image) {
        const QImage image = toQImage(*cursor.custom->image);
        if (!image.isNull())
            return QCursor(QPixmap::fromImage(image), cursor.custom->hotspotX, cursor.custom->hotspotY);
    }
    return QCursor(shapeOf(cursor.pointer));
}

}  // namespace orrery::qt
