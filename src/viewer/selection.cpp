#include "viewer/selection.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "viewer/saturating.h"

namespace orrery::viewer {

namespace {

bool near(float a, double b) { return std::fabs(a - b) <= kGripTolerance; }

}  // namespace

bool Selection::isRectDrawed() const { return shape().width() > 1 && shape().height() > 1; }

void Selection::ClearRect() {
    window::RectShape cleared = shape();
    cleared.move(-1, -1, 1, 1);
    window_.setRectShape(cleared);
    s_.lastMouseX = s_.lastMouseY = 0;
    s_.rectImage = {};
    s_.startOutsideX = s_.startOutsideY = true;
    s_.rectDrawn = false;
}

std::optional<AreaRect> Selection::imageRectOf(const window::RectShape& r) const {
    if (!(r.width() > 1 || r.height() > 1)) return AreaRect{};
    const std::optional<int32_t> x1 = exactLong(r.left()), y1 = exactLong(r.top());
    const std::optional<int32_t> x2 = exactLong(double{r.left()} + r.width());
    const std::optional<int32_t> y2 = exactLong(double{r.top()} + r.height());
    if (!x1 || !y1 || !x2 || !y2) return std::nullopt;
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    layout_.CoordObjectToImage(*x1, *y1, left, top);
    layout_.CoordObjectToImage(*x2, *y2, right, bottom);
    int64_t width = int64_t{right} - left, height = int64_t{bottom} - top;
    if (int64_t{top} + height > s_.imageHeight) height = int64_t{s_.imageHeight} - top;
    if (int64_t{left} + width > s_.imageWidth) width = int64_t{s_.imageWidth} - left;
    const std::optional<int32_t> w = exactSum(std::max<int64_t>(width, 0));
    const std::optional<int32_t> h = exactSum(std::max<int64_t>(height, 0));
    if (!w || !h) return std::nullopt;
    return AreaRect{left, top, *w, *h};
}

std::optional<AreaRect> Selection::GetRectValues() const { return imageRectOf(shape()); }

bool Selection::commit(const window::RectShape& candidate) {
    const bool imageShown = s_.currentImage != 0;
    const bool drawn = imageShown && candidate.width() > 1 && candidate.height() > 1;
    const std::optional<AreaRect> image = drawn ? imageRectOf(candidate) : s_.rectImage;
    if (!image) return false;
    window_.setRectShape(candidate);
    s_.rectDrawn = drawn;
    s_.rectImage = *image;
    return true;
}

bool Selection::MoveShape(float left, float top, float width, float height) {
    window::RectShape moved = shape();
    moved.move(left, top, width, height);
    return commit(moved);
}

bool Selection::Refresh() { return commit(shape()); }

std::optional<window::RectShape> Selection::shapeForImageRect(int64_t left, int64_t top, int64_t width,
                                                              int64_t height) const {
    const std::optional<int32_t> l = exactSum(left), t = exactSum(top);
    const std::optional<int32_t> r = exactSum(left + width), b = exactSum(top + height);
    if (!l || !t || !r || !b) return std::nullopt;
    int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    layout_.CoordImageToObject(*l, *t, x1, y1);
    layout_.CoordImageToObject(*r, *b, x2, y2);
    window::RectShape placed = shape();
    placed.move(static_cast<float>(x1), static_cast<float>(y1),
                static_cast<float>(std::max<int64_t>(int64_t{x2} - x1, 1)),
                static_cast<float>(std::max<int64_t>(int64_t{y2} - y1, 1)));
    return placed;
}

bool Selection::SetRectValues(int32_t left, int32_t top, int32_t width, int32_t height) {
    const std::optional<window::RectShape> placed = shapeForImageRect(left, top, width, height);
    return placed && commit(*placed);
}

bool Selection::FollowPicture() {
    if (!s_.rectDrawn) return true;
    const AreaRect& r = s_.rectImage;
    const std::optional<window::RectShape> placed = shapeForImageRect(r.left, r.top, r.width, r.height);
    if (!placed) return false;
    window_.setRectShape(*placed);
    s_.rectDrawn = s_.currentImage != 0 && isRectDrawed();
    return true;
}

bool Selection::GetRectValuesMM(float& left, float& top, float& width, float& height) const {
    const std::optional<AreaRect> r = GetRectValues();
    if (!r) return false;
    const double h = s_.horizontalResolution, v = s_.verticalResolution;
    left = r->left > 0 && h > 0 ? static_cast<float>(r->left / h * 25.4) : 0.0f;
    top = r->top > 0 && v > 0 ? static_cast<float>(r->top / v * 25.4) : 0.0f;
    if (h > 0) width = static_cast<float>(r->width / h * 25.4);
    if (v > 0) height = static_cast<float>(r->height / v * 25.4);
    return true;
}

bool Selection::SetRectValuesMM(float left, float top, float width, float height) {
    const double h = s_.horizontalResolution, v = s_.verticalResolution;
    const std::optional<int32_t> l = exactLong(left * h / 25.4), t = exactLong(top * v / 25.4);
    const std::optional<int32_t> w = exactLong(width * h / 25.4), ht = exactLong(height * v / 25.4);
    return l && t && w && ht && SetRectValues(*l, *t, *w, *ht);
}

std::optional<AreaRect> Selection::GetRectValuesObject() const {
    const window::RectShape& r = shape();
    if (!(r.width() > 1 || r.height() > 1)) return AreaRect{};
    const std::optional<int32_t> left = exactLong(r.left()), top = exactLong(r.top());
    const std::optional<int32_t> width = exactLong(r.width()), height = exactLong(r.height());
    if (!left || !top || !width || !height) return std::nullopt;
    return AreaRect{*left, *top, *width, *height};
}

bool Selection::SetRectValuesObject(int32_t left, int32_t top, int32_t width, int32_t height) {
    window::RectShape placed = shape();
    if (width >= 1 && height >= 1)
        placed.move(static_cast<float>(left), static_cast<float>(top), static_cast<float>(width),
                    static_cast<float>(height));
    return commit(placed);
}

bool Selection::Hit(float x, float y) const {
    if (!isRectDrawed()) return false;
    const window::RectShape& r = shape();
    const double right = double{r.left()} + r.width(), bottom = double{r.top()} + r.height();
    return r.left() - kGripTolerance <= x && x <= right + kGripTolerance && r.top() - kGripTolerance <= y &&
           y <= bottom + kGripTolerance;
}

GripHit Selection::GripAt(float x, float y) const {
    const window::RectShape& r = shape();
    const double left = r.left(), top = r.top();
    const double right = left + r.width(), bottom = top + r.height();
    using namespace window;
    if (near(x, left) && near(y, top)) return {GripTopLeft, MousePointerSize_NW_SE};
    if (near(x, right) && near(y, top)) return {GripTopRight, MousePointerSize_NE_SW};
    if (near(x, left) && near(y, bottom)) return {GripBottomLeft, MousePointerSize_NE_SW};
    if (near(x, right) && near(y, bottom)) return {GripBottomRight, MousePointerSize_NW_SE};
    if (near(x, left)) return {GripLeft, MousePointerSize_W_E};
    if (near(x, right)) return {GripRight, MousePointerSize_W_E};
    if (near(y, bottom)) return {GripBottom, MousePointerSize_N_S};
    if (near(y, top)) return {GripTop, MousePointerSize_N_S};
    return {GripInside, MousePointerSizeAll};
}

void Selection::CenterPosition(int32_t& hPosition, int32_t& vPosition) const {
    const int t = window::kScrollBarThickness;
    const bool hVisible = window_.scrollBar(window::ScrollBarId::Horizontal).visible();
    const bool vVisible = window_.scrollBar(window::ScrollBarId::Vertical).visible();
    const double cx = ((window_.clientWidth() - (vVisible ? t : 0)) - double{shape().width()}) / 2;
    const double cy = ((window_.clientHeight() - (hVisible ? t : 0)) - double{shape().height()}) / 2;
    hPosition = roundEven(roundEven(s_.rectImage.left * s_.zoom) - cx);
    vPosition = roundEven(roundEven(s_.rectImage.top * s_.zoom / s_.aspectCorrection) - cy);
}

}  // namespace orrery::viewer
