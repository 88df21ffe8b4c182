#include "tag_list.h"

#include <QStringList>

#include "control/orrery.h"

namespace orrery::view {

namespace {

constexpr int32_t kOrientation = 274;
constexpr int32_t kLastGpsTag = 31;
constexpr int32_t kExposureFirst = 0x829A, kExposureLast = 0xA4FF;
constexpr int32_t kExifDirectory = 0x8769, kIccProfile = 0x8773, kGpsDirectory = 0x8825;
const QStringList kGroups = {QStringLiteral("Camera"), QStringLiteral("Exposure"), QStringLiteral("GPS"),
                             QStringLiteral("IPTC")};

QString shown(const std::string& text) { return QString::fromStdString(text).remove(QChar(0)); }

// IPTC tags are named by record and dataset, as in "2:005".
QString iptcName(int32_t id) { return QStringLiteral("%1:%2").arg(id >> 8).arg(id & 0xFF, 3, 10, QChar('0')); }

}  // namespace

QString exifGroupOf(int32_t id) {
    if ((id >= 0 && id <= kLastGpsTag) || id == kGpsDirectory) return kGroups[2];
    if (id >= kExposureFirst && id <= kExposureLast && id != kExifDirectory && id != kIccProfile) return kGroups[1];
    return kGroups[0];
}

QList<TagRow> readTags(control::Orrery& c) {
    QList<TagRow> exif;
    const int32_t count = c.ExifTagCount();
    for (int32_t n = 1; n <= count; ++n)
        exif.append({exifGroupOf(c.ExifTagGetID(n)), shown(c.ExifTagGetName(n)), shown(c.ExifTagGetValue(n))});
    QList<TagRow> rows;
    for (const QString& group : kGroups)
        for (const TagRow& row : exif)
            if (row.group == group) rows.append(row);
    const int32_t iptc = c.IPTCTagCount();
    for (int32_t n = 1; n <= iptc; ++n)
        rows.append({kGroups[3], iptcName(c.IPTCTagGetID(n)), shown(c.IPTCTagGetValueString(n))});
    return rows;
}

QString tagListText(const QList<TagRow>& rows) {
    QString text;
    QString group;
    for (const TagRow& row : rows) {
        if (row.group != group) {
            group = row.group;
            text += QStringLiteral("[%1]\n").arg(group);
        }
        text += row.name + QLatin1Char('\t') + row.value + QLatin1Char('\n');
    }
    return text;
}

int exifOrientation(control::Orrery& c) {
    const int32_t count = c.ExifTagCount();
    for (int32_t n = 1; n <= count; ++n) {
        if (c.ExifTagGetID(n) != kOrientation) continue;
        bool ok = false;
        const int value = shown(c.ExifTagGetValue(n)).split(QLatin1Char(',')).value(0).trimmed().toInt(&ok);
        return ok && value >= 1 && value <= 8 ? value : 1;
    }
    return 1;
}

void turnUpright(control::Orrery& c, int orientation) {
    switch (orientation) {
        case 2: c.FlipX(); break;
        case 3: c.Rotate180(); break;
        case 4: c.FlipX180(); break;
        case 5: c.FlipX90(); break;
        case 6: c.Rotate90(); break;
        case 7: c.FlipX270(); break;
        case 8: c.Rotate270(); break;
        default: break;
    }
}

}  // namespace orrery::view
