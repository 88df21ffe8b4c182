#include "qt_clipboard.h"

#include <memory>
#include <span>

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QStringList>
#include <QVariant>

#include "platform/gdi/handles.h"
#include "platform/gdiplus/dib.h"
#include "platform/gdiplus/image.h"

namespace orrery::qt {

using window::CF_BITMAP;
using window::CF_DIB;
using window::CF_DIBV5;
using window::CF_ENHMETAFILE;
using window::CF_METAFILEPICT;

namespace {

// The names under which Qt carries an image between programs (it offers
// every image type it can write for it) and the one of enhanced metafiles.
const QString kImageMime = QStringLiteral("application/x-qt-image");
const QString kEmfMime = QStringLiteral("image/x-emf");

bool isBitmapFormat(uint32_t format) { return format == CF_BITMAP || format == CF_DIB || format == CF_DIBV5; }

// --- Publishing: the kept content as other programs read it ---------------------

// The picture of the kept bitmap formats, read from the one that was set
// (set formats come first); null when none is kept or it cannot be read.
std::unique_ptr<gdiplus::Image> keptPicture(const window::InProcessClipboard& kept) {
    std::unique_ptr<gdiplus::Image> picture;
    for (uint32_t format : kept.formats()) {
        if (format == CF_BITMAP) {
            const gdi::HBITMAP bitmap = kept.getData(format);
            (void)gdiplus::createBitmapFromHBITMAP(bitmap, picture);
            gdi::deleteBitmap(bitmap);
            return picture;
        }
        if (format == CF_DIB || format == CF_DIBV5) {
            const gdi::HGLOBAL block = kept.getData(format);
            if (const uint8_t* bytes = gdi::globalLock(block)) {
                (void)gdiplus::createBitmapFromPackedDib({bytes, gdi::globalSize(block)}, picture);
                gdi::globalUnlock(block);
            }
            gdi::globalFree(block);
            return picture;
        }
    }
    return picture;
}

// The picture as a QImage of its own pixels: 32-bit, with an alpha channel
// only when the picture has one. Null when it cannot be made.
QImage qImageOf(gdiplus::Image& picture) {
    const bool alpha = gdiplus::hasAlpha(picture.pixelFormat());
    QImage image(picture.width(), picture.height(), alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull()) return {};
    // The picture's pixels are converted straight into the image's rows.
    gdiplus::BitmapData data;
    data.scan0 = image.bits();
    data.stride = image.bytesPerLine();
    const auto format = alpha ? gdiplus::PixelFormat32bppARGB : gdiplus::PixelFormat32bppRGB;
    if (picture.lockBits(nullptr, gdiplus::ImageLockModeRead | gdiplus::ImageLockModeUserInputBuf, format, data) !=
        gdiplus::Status::Ok)
        return {};
    picture.unlockBits(data);
    return image;
}

// The kept enhanced metafile's bytes; empty when none is kept.
QByteArray keptEnhMetafile(const window::InProcessClipboard& kept) {
    const gdi::HENHMETAFILE metafile = kept.isFormatAvailable(CF_ENHMETAFILE) ? kept.getData(CF_ENHMETAFILE) : 0;
    const std::vector<uint8_t>* bits = gdi::enhMetaFileBits(metafile);
    QByteArray bytes;
    if (bits) bytes = QByteArray(reinterpret_cast<const char*>(bits->data()), static_cast<qsizetype>(bits->size()));
    gdi::deleteEnhMetaFile(metafile);
    return bytes;
}

// What the system clipboard holds while the kept content is on it. The
// picture is made from the kept content when it is first asked for, which
// for a large picture is seldom and late; Qt replaces (and deletes) this
// object before the kept content changes.
class PublishedContent final : public QMimeData {
public:
    explicit PublishedContent(const window::InProcessClipboard& kept)
        : kept_(&kept), hasPicture_(kept.isFormatAvailable(CF_BITMAP)), emf_(keptEnhMetafile(kept)) {}

    // Makes the picture now and reads the kept content no more.
    void makeWhole() {
        (void)picture();
        kept_ = nullptr;
    }

    QStringList formats() const override {
        QStringList list;
        if (hasPicture_) list << kImageMime;
        if (!emf_.isEmpty()) list << kEmfMime;
        return list;
    }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override {
        if (mimeType == kImageMime && hasPicture_) return picture();
        if (mimeType == kEmfMime && !emf_.isEmpty()) return emf_;
        return QMimeData::retrieveData(mimeType, type);
    }

private:
    const QImage& picture() const {
        if (hasPicture_ && !pictureMade_ && kept_) {
            if (std::unique_ptr<gdiplus::Image> source = keptPicture(*kept_)) picture_ = qImageOf(*source);
            pictureMade_ = true;
        }
        return picture_;
    }

    const window::InProcessClipboard* kept_;
    const bool hasPicture_;
    const QByteArray emf_;
    mutable QImage picture_;
    mutable bool pictureMade_ = false;
};

// --- Reading what another program put on the system clipboard ------------------

const QMimeData* systemData() {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    return clipboard ? clipboard->mimeData(QClipboard::Clipboard) : nullptr;
}

bool systemHasImage() {
    const QMimeData* data = systemData();
    return data && data->hasImage();
}

// A new handle of a bitmap format holding the system clipboard's image; 0
// when it has none.
uint32_t handleOfSystemImage(uint32_t format) {
    const QMimeData* data = systemData();
    if (!data || !data->hasImage()) return 0;
    QImage image = qvariant_cast<QImage>(data->imageData());
    if (image.isNull()) return 0;
    const bool alpha = image.hasAlphaChannel();
    image = std::move(image).convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    // A picture over the image's rows, which outlive it; nothing writes them.
    const auto pixels = gdiplus::PixelData::wrapReadOnly(image.constBits(), image.width(), image.height(),
                                                         image.bytesPerLine(),
                                                         alpha ? gdiplus::PixelFormat32bppARGB
                                                               : gdiplus::PixelFormat32bppRGB);
    const std::unique_ptr<gdiplus::Image> picture = gdiplus::Image::fromPixels(pixels);
    return picture ? window::handleOfPicture(format, *picture) : 0;
}

// A new enhanced metafile of the system clipboard's "image/x-emf" bytes; 0
// when there are none or they hold no enhanced metafile.
gdi::HENHMETAFILE systemEnhMetafile() {
    const QMimeData* data = systemData();
    if (!data || !data->hasFormat(kEmfMime)) return 0;
    const QByteArray bytes = data->data(kEmfMime);
    return gdi::setEnhMetaFileBits(
        std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<size_t>(bytes.size())));
}

bool systemHasEnhMetafile() {
    const gdi::HENHMETAFILE metafile = systemEnhMetafile();
    gdi::deleteEnhMetaFile(metafile);
    return metafile != 0;
}

}  // namespace

QtClipboard::QtClipboard() {
    // Once something else holds the system clipboard, the kept content is
    // on offer nowhere.
    QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, &watcher_, [this] {
        if (!publishing_ && !holdsSystemClipboard()) kept_.empty();
    });
}

QtClipboard::~QtClipboard() {
    if (QGuiApplication::instance() && holdsSystemClipboard())
        static_cast<PublishedContent*>(published_.data())->makeWhole();
}

bool QtClipboard::holdsSystemClipboard() const {
    if (!published_) return false;
    const QMimeData* data = systemData();
    return data && data == published_.data();
}

void QtClipboard::publish() {
    auto* content = new PublishedContent(kept_);
    published_ = content;
    publishing_ = true;
    QGuiApplication::clipboard()->setMimeData(content, QClipboard::Clipboard);
    publishing_ = false;
}

void QtClipboard::empty() {
    kept_.empty();
    publish();
}

bool QtClipboard::setData(uint32_t format, uint32_t handle) {
    // Adding to what another program put there keeps nothing of theirs.
    if (!holdsSystemClipboard()) kept_.empty();
    if (!kept_.setData(format, handle)) return false;
    publish();
    return true;
}

bool QtClipboard::isFormatAvailable(uint32_t format) const {
    if (holdsSystemClipboard()) return kept_.isFormatAvailable(format);
    if (isBitmapFormat(format)) return systemHasImage();
    if (format == CF_ENHMETAFILE || format == CF_METAFILEPICT) return systemHasEnhMetafile();
    return false;
}

std::vector<uint32_t> QtClipboard::formats() const {
    if (holdsSystemClipboard()) return kept_.formats();
    std::vector<uint32_t> list;
    if (systemHasImage()) list = {CF_DIB, CF_BITMAP, CF_DIBV5};
    if (systemHasEnhMetafile()) list.insert(list.end(), {CF_ENHMETAFILE, CF_METAFILEPICT});
    return list;
}

uint32_t QtClipboard::getData(uint32_t format) const {
    if (holdsSystemClipboard()) return kept_.getData(format);
    if (isBitmapFormat(format)) return handleOfSystemImage(format);
    // The metafile picture an enhanced metafile offers is read as that
    // enhanced metafile, as the kept content's is.
    if (format == CF_ENHMETAFILE) return systemEnhMetafile();
    return 0;
}

}  // namespace orrery::qt
