// The shown picture's metadata as orrery-view presents it: every EXIF and
// IPTC tag by name and value text, as the control's members give them,
// grouped for reading; and the EXIF orientation that turns a picture upright.
#pragma once
#include <QList>
#include <QString>

namespace orrery::control {
class Orrery;
}

namespace orrery::view {

struct TagRow {
    QString group;  // "Camera", "Exposure", "GPS" or "IPTC"
    QString name;
    QString value;  // the member's text without its NULs
};

// The group a property item's identifier belongs to: GPS tags, the EXIF
// directory's exposure tags, and everything else of the camera and file.
QString exifGroupOf(int32_t id);

// Every tag of the control's picture, EXIF first, then IPTC, each group in
// the control's order; groups come in the order Camera, Exposure, GPS, IPTC.
QList<TagRow> readTags(control::Orrery& control);

// The list as text for the clipboard: one "[Group]" line before each
// group's "name<TAB>value" lines.
QString tagListText(const QList<TagRow>& rows);

// The EXIF orientation (274) of the control's picture, 1 to 8; 1 when it
// has none or an unknown one.
int exifOrientation(control::Orrery& control);

// Turns the control's picture upright for `orientation` through its rotate
// and flip members.
void turnUpright(control::Orrery& control, int orientation);

}  // namespace orrery::view
