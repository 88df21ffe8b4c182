// What the pointer looks like in Qt for the window layer's cursors: every
// cursor number as a Qt shape, and cursor images (the mouse icon, the
// control's own hands) as pixmap cursors with their hot spot.
#pragma once
#include <QCursor>
#include <QImage>

#include "platform/gdiplus/image.h"
#include "orrery/window/window.h"

namespace orrery::qt {

// The image's pixels as premultiplied ARGB; a null image when it has none.
QImage toQImage(const gdiplus::Image& image);

QCursor qtCursor(const window::Cursor& cursor);

}  // namespace orrery::qt
