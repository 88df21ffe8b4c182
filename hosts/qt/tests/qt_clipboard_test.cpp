// The Qt backend's clipboard is the system clipboard: what a control copies
// reaches other X clients as an image, what another client offers is read
// by the control, metafiles and private formats come back whole within the
// process, and emptying empties the system clipboard too. The other program
// is clipboard_peer, a second process on the tests' X server.
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QProcess>
#include <QTest>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "platform/gdi/handles.h"
#include "platform/gdiplus/dib.h"
#include "platform/gdiplus/factory.h"
#include "qt_window_backend.h"
#include "support/global_blocks.h"
#include "support/metafile_builder.h"
#include "support/test_support.h"
#include "support/twin_viewer.h"

namespace orrery::qt::test {
namespace {

using control::Orrery;
using orrery::test::bytesOfGlobal;
using orrery::test::globalOf;
using orrery::test::takeClipboardPicture;
using window::CF_BITMAP;
using window::CF_DIB;
using window::CF_DIBV5;
using window::CF_ENHMETAFILE;
using window::CF_METAFILEPICT;
using window::CF_PALETTE;

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kPeerTimeoutMs = 20000;
constexpr int kChangeTimeoutMs = 5000;
constexpr uint32_t kPrivateFormat = 0xC0DE;

const QString kPeer = QStringLiteral(ORRERY_CLIPBOARD_PEER);
const QString kImageMime = QStringLiteral("application/x-qt-image");
const QString kEmfMime = QStringLiteral("image/x-emf");

QClipboard& systemClipboard() { return *QGuiApplication::clipboard(); }

struct PeerResult {
    int exitCode = -1;  // -1 when it did not end by itself
    QStringList lines;
};

// Runs clipboard_peer to its end, answering its requests to this process
// (which may own the clipboard) meanwhile.
PeerResult runPeer(const QStringList& args) {
    QProcess peer;
    peer.start(kPeer, args);
    if (!QTest::qWaitFor([&] { return peer.state() == QProcess::NotRunning; }, kPeerTimeoutMs)) {
        peer.kill();
        peer.waitForFinished();
        return {};
    }
    if (peer.exitStatus() != QProcess::NormalExit) return {};
    return {peer.exitCode(), QString::fromUtf8(peer.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)};
}

// clipboard_peer offering data, as long as the object lives.
class OfferingPeer {
public:
    explicit OfferingPeer(const QStringList& offer) {
        process_.start(kPeer, QStringList{QStringLiteral("offer")} + offer);
        // A peer that fails ends at once, with its reason on its standard error.
        offered_ = QTest::qWaitFor(
                       [&] { return process_.canReadLine() || process_.state() == QProcess::NotRunning; },
                       kPeerTimeoutMs) &&
                   process_.readLine().trimmed() == "offered";
    }
    ~OfferingPeer() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }
    bool offered() const { return offered_; }
    // Closes its input; true when it then ends well.
    bool finish() {
        process_.closeWriteChannel();
        return QTest::qWaitFor([&] { return process_.state() == QProcess::NotRunning; }, kPeerTimeoutMs) &&
               process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
    }

private:
    QProcess process_;
    bool offered_ = false;
};

// Waits until this process has seen that another client holds the clipboard
// with data of `mime`.
bool othersOffer(const QString& mime) {
    return QTest::qWaitFor(
        [&] {
            const QMimeData* data = systemClipboard().mimeData();
            return !systemClipboard().ownsClipboard() && data && data->hasFormat(mime);
        },
        kChangeTimeoutMs);
}

QImage inScreenFormat(const QImage& image) { return image.convertToFormat(QImage::Format_RGB32); }

// The smallest enhanced metafile: its header (a 100 x 50 picture) and the
// end-of-file record.
std::vector<uint8_t> smallEmf() {
    std::vector<uint8_t> emf;
    using orrery::test::put16;
    using orrery::test::put32;
    put32(emf, 1), put32(emf, 88);                                       // EMR_HEADER
    put32(emf, 0), put32(emf, 0), put32(emf, 99), put32(emf, 49);        // bounds
    put32(emf, 0), put32(emf, 0), put32(emf, 2645), put32(emf, 1322);    // frame, 0.01 mm
    put32(emf, 0x464D4520), put32(emf, 0x10000), put32(emf, 108), put32(emf, 2);
    put16(emf, 1), put16(emf, 0), put32(emf, 0), put32(emf, 0), put32(emf, 0);
    put32(emf, 1024), put32(emf, 768), put32(emf, 320), put32(emf, 240);  // device, millimetres
    put32(emf, 14), put32(emf, 20), put32(emf, 0), put32(emf, 16), put32(emf, 20);  // EMR_EOF
    return emf;
}

class QtClipboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        picture_ = dir_.file("pattern.bmp").string();
        writePatternBmp(picture_, 300, 200);
        expected_ = inScreenFormat(QImage(QString::fromStdString(picture_)));
        ASSERT_EQ(expected_.size(), QSize(300, 200));
        other_ = dir_.file("other.bmp").string();
        writePatternBmp(other_, 120, 90);
    }
    QString path(const char* name) const { return QString::fromStdString(dir_.file(name).string()); }

    orrery::test::TempDir dir_;
    std::string picture_;  // 300 x 200
    std::string other_;    // 120 x 90
    QImage expected_;      // the 300 x 200 pattern as Qt reads it
};

TEST_F(QtClipboardTest, CopiedPictureReachesOtherProgramsAsAnImage) {
    TwinViewer twin(kWidth, kHeight);
    Orrery& control = twin.shown();
    ASSERT_EQ(control.DisplayFromFile(picture_), 0);
    control.Copy2Clipboard();
    EXPECT_TRUE(systemClipboard().ownsClipboard());
    EXPECT_EQ(inScreenFormat(systemClipboard().image()), expected_);
    // Another X client gets the same pixels, offered as PNG among others.
    const PeerResult formats = runPeer({QStringLiteral("formats")});
    ASSERT_EQ(formats.exitCode, 0);
    EXPECT_TRUE(formats.lines.contains(QStringLiteral("image/png")));
    ASSERT_EQ(runPeer({QStringLiteral("save"), QStringLiteral("image"), path("pasted.png")}).exitCode, 0);
    EXPECT_EQ(inScreenFormat(QImage(path("pasted.png"))), expected_);
    // Within the process the bitmap reads back with the formats it offers.
    EXPECT_EQ(twin.widget().backend().clipboard().formats(), (std::vector<uint32_t>{CF_BITMAP, CF_DIB, CF_DIBV5}));
    // A region replaces the picture.
    control.CopyRegion2Clipboard(40, 30, 100, 60);
    EXPECT_EQ(control.GetStat(), 0);
    EXPECT_EQ(inScreenFormat(systemClipboard().image()), expected_.copy(40, 30, 100, 60));
}

TEST_F(QtClipboardTest, PictureOfAnotherProgramIsShownWithItsPixels) {
    TwinViewer twin(kWidth, kHeight);
    window::Clipboard& clipboard = twin.widget().backend().clipboard();
    // First the clipboard holds a copy of this process's.
    ASSERT_EQ(twin.shown().DisplayFromFile(other_), 0);
    twin.shown().Copy2Clipboard();
    ASSERT_TRUE(systemClipboard().ownsClipboard());

    OfferingPeer peer({QStringLiteral("image"), QString::fromStdString(picture_)});
    ASSERT_TRUE(peer.offered());
    ASSERT_TRUE(othersOffer(kImageMime));
    EXPECT_EQ(clipboard.formats(), (std::vector<uint32_t>{CF_DIB, CF_BITMAP, CF_DIBV5}));
    EXPECT_FALSE(clipboard.isFormatAvailable(CF_ENHMETAFILE));
    EXPECT_FALSE(clipboard.isFormatAvailable(CF_PALETTE));
    EXPECT_EQ(clipboard.getData(CF_PALETTE), 0u);

    twin.reference().DisplayFromFile(picture_);
    EXPECT_EQ(twin.shown().DisplayFromClipboardData(), 0);
    EXPECT_EQ(twin.shown().GetStat(), 0);
    EXPECT_TRUE(twin.screenMatchesReference());

    // Each bitmap format is a copy of the caller's with the same pixels.
    std::unique_ptr<gdiplus::Image> reference;
    ASSERT_EQ(gdiplus::loadImageFromFile(picture_, {}, reference), gdiplus::Status::Ok);
    const size_t bitmaps = gdi::liveBitmapCount();
    const size_t globals = gdi::liveGlobalCount();
    for (uint32_t format : {CF_BITMAP, CF_DIB, CF_DIBV5}) {
        SCOPED_TRACE(format);
        const uint32_t handle = clipboard.getData(format);
        ASSERT_NE(handle, 0u);
        std::unique_ptr<gdiplus::Image> got = takeClipboardPicture(format, handle);
        ASSERT_TRUE(got);
        EXPECT_EQ(orrery::test::compareImages(*got, *reference).max, 0);
    }
    EXPECT_EQ(gdi::liveBitmapCount(), bitmaps);
    EXPECT_EQ(gdi::liveGlobalCount(), globals);
    EXPECT_TRUE(peer.finish());
}

TEST_F(QtClipboardTest, EnhancedMetafileOfAnotherProgramIsReadWhenItIsOne) {
    TwinViewer twin(kWidth, kHeight);
    window::Clipboard& clipboard = twin.widget().backend().clipboard();
    const std::vector<uint8_t> emf = smallEmf();
    orrery::test::writeFile(dir_.file("drawing.emf"), emf);
    {
        OfferingPeer peer({kEmfMime, path("drawing.emf")});
        ASSERT_TRUE(peer.offered());
        ASSERT_TRUE(othersOffer(kEmfMime));
        EXPECT_EQ(clipboard.formats(), (std::vector<uint32_t>{CF_ENHMETAFILE, CF_METAFILEPICT}));
        EXPECT_FALSE(clipboard.isFormatAvailable(CF_DIB));
        const gdi::HENHMETAFILE metafile = clipboard.getData(CF_ENHMETAFILE);
        ASSERT_NE(gdi::enhMetaFileBits(metafile), nullptr);
        EXPECT_EQ(*gdi::enhMetaFileBits(metafile), emf);
        EXPECT_TRUE(gdi::deleteEnhMetaFile(metafile));
        // The metafile picture it offers is read as the enhanced metafile:
        // the control shows it as it shows the same one on the headless
        // backend's clipboard.
        EXPECT_EQ(clipboard.getData(CF_METAFILEPICT), 0u);
        ASSERT_TRUE(twin.headless().clipboard().setData(CF_ENHMETAFILE, gdi::setEnhMetaFileBits(emf)));
        twin.both([](Orrery& c) { EXPECT_EQ(c.DisplayFromClipboardData(), 0); });
        EXPECT_GT(twin.shown().ImageWidth(), 0);
        EXPECT_EQ(twin.shown().ImageWidth(), twin.reference().ImageWidth());
        EXPECT_EQ(twin.shown().ImageHeight(), twin.reference().ImageHeight());
        EXPECT_TRUE(twin.screenMatchesReference());
        EXPECT_TRUE(peer.finish());
    }
    // Bytes under the type that hold no enhanced metafile are not offered.
    std::vector<uint8_t> damaged = emf;
    damaged[40] = 'X';
    orrery::test::writeFile(dir_.file("damaged.emf"), damaged);
    const size_t metafiles = gdi::liveEnhMetaFileCount();
    OfferingPeer peer({kEmfMime, path("damaged.emf")});
    ASSERT_TRUE(peer.offered());
    ASSERT_TRUE(othersOffer(kEmfMime));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QByteArray offered = systemClipboard().mimeData()->data(kEmfMime);
            return offered.size() > 40 && offered.at(40) == 'X';
        },
        kChangeTimeoutMs));
    EXPECT_TRUE(clipboard.formats().empty());
    EXPECT_FALSE(clipboard.isFormatAvailable(CF_ENHMETAFILE));
    EXPECT_EQ(clipboard.getData(CF_ENHMETAFILE), 0u);
    EXPECT_EQ(gdi::liveEnhMetaFileCount(), metafiles);
    // A handle that names nothing is refused and leaves the other program's data.
    EXPECT_FALSE(clipboard.setData(CF_BITMAP, 0x7FFFFFF0u));
    EXPECT_FALSE(systemClipboard().ownsClipboard());
    EXPECT_TRUE(peer.finish());
}

TEST_F(QtClipboardTest, MetafilesAndPrivateFormatsComeBackWholeWithinTheProcess) {
    TwinViewer twin(kWidth, kHeight);
    window::Clipboard& clipboard = twin.widget().backend().clipboard();
    const std::vector<uint8_t> emf = smallEmf();
    const std::vector<uint8_t> wmf = orrery::test::redRectangleWmf(100, 50);
    const std::vector<uint8_t> secret{'o', 'w', 'n', 0, 1, 2, 0xFF};
    const size_t metafiles = gdi::liveMetaFileCount();
    const size_t enhanced = gdi::liveEnhMetaFileCount();
    const size_t globals = gdi::liveGlobalCount();

    clipboard.empty();
    ASSERT_TRUE(clipboard.setData(CF_ENHMETAFILE, gdi::setEnhMetaFileBits(emf)));
    const gdi::HMETAFILE wmfHandle = gdi::setMetaFileBits(wmf);
    ASSERT_TRUE(clipboard.setData(CF_METAFILEPICT,
                                  window::globalOfMetafilePict({window::MM_ANISOTROPIC, 2646, 1323, wmfHandle})));
    ASSERT_TRUE(clipboard.setData(kPrivateFormat, globalOf(secret)));
    // What was put there now belongs to the clipboard.
    EXPECT_EQ(gdi::liveMetaFileCount(), metafiles);
    EXPECT_EQ(gdi::liveEnhMetaFileCount(), enhanced);
    EXPECT_EQ(gdi::liveGlobalCount(), globals);
    EXPECT_TRUE(systemClipboard().ownsClipboard());
    EXPECT_EQ(clipboard.formats(), (std::vector<uint32_t>{CF_ENHMETAFILE, CF_METAFILEPICT, kPrivateFormat}));

    const gdi::HENHMETAFILE emfCopy = clipboard.getData(CF_ENHMETAFILE);
    ASSERT_NE(gdi::enhMetaFileBits(emfCopy), nullptr);
    EXPECT_EQ(*gdi::enhMetaFileBits(emfCopy), emf);
    gdi::deleteEnhMetaFile(emfCopy);

    const gdi::HGLOBAL pictCopy = clipboard.getData(CF_METAFILEPICT);
    window::MetafilePict pict;
    ASSERT_TRUE(window::readMetafilePict(pictCopy, pict));
    EXPECT_EQ(pict.mappingMode, window::MM_ANISOTROPIC);
    EXPECT_EQ(pict.xExt, 2646);
    EXPECT_EQ(pict.yExt, 1323);
    ASSERT_NE(gdi::metaFileBits(pict.metafile), nullptr);
    EXPECT_EQ(*gdi::metaFileBits(pict.metafile), wmf);
    gdi::deleteMetaFile(pict.metafile);
    gdi::globalFree(pictCopy);

    const gdi::HGLOBAL secretCopy = clipboard.getData(kPrivateFormat);
    EXPECT_EQ(bytesOfGlobal(secretCopy), secret);
    gdi::globalFree(secretCopy);
    EXPECT_EQ(gdi::liveMetaFileCount(), metafiles);
    EXPECT_EQ(gdi::liveEnhMetaFileCount(), enhanced);
    EXPECT_EQ(gdi::liveGlobalCount(), globals);

    // Other programs get the enhanced metafile's bytes, and no image.
    const PeerResult formats = runPeer({QStringLiteral("formats")});
    ASSERT_EQ(formats.exitCode, 0);
    EXPECT_TRUE(formats.lines.contains(kEmfMime));
    EXPECT_FALSE(formats.lines.contains(QStringLiteral("image/png")));
    ASSERT_EQ(runPeer({QStringLiteral("save"), kEmfMime, path("pasted.emf")}).exitCode, 0);
    EXPECT_EQ(orrery::test::readFile(dir_.file("pasted.emf")), emf);
}

TEST_F(QtClipboardTest, EmptyingEmptiesTheSystemClipboardToo) {
    TwinViewer twin(kWidth, kHeight);
    window::Clipboard& clipboard = twin.widget().backend().clipboard();
    ASSERT_EQ(twin.shown().DisplayFromFile(picture_), 0);
    twin.shown().Copy2Clipboard();
    ASSERT_TRUE(systemClipboard().mimeData()->hasImage());
    clipboard.empty();
    EXPECT_TRUE(clipboard.formats().empty());
    EXPECT_TRUE(systemClipboard().mimeData()->formats().isEmpty());
    EXPECT_EQ(runPeer({QStringLiteral("save"), QStringLiteral("image"), path("none.png")}).exitCode, 1);

    // What another program offered goes as well: the clipboard is ours and empty.
    OfferingPeer peer({QStringLiteral("image"), QString::fromStdString(other_)});
    ASSERT_TRUE(peer.offered());
    ASSERT_TRUE(othersOffer(kImageMime));
    ASSERT_TRUE(clipboard.isFormatAvailable(CF_DIB));
    clipboard.empty();
    EXPECT_TRUE(systemClipboard().ownsClipboard());
    EXPECT_TRUE(clipboard.formats().empty());
    EXPECT_FALSE(clipboard.isFormatAvailable(CF_BITMAP));
    EXPECT_EQ(twin.shown().DisplayFromClipboardData(), static_cast<int32_t>(gdiplus::Status::GenericError));
    EXPECT_EQ(runPeer({QStringLiteral("save"), QStringLiteral("image"), path("none.png")}).exitCode, 1);
    EXPECT_TRUE(peer.finish());
}

TEST_F(QtClipboardTest, CopyOutlivesTheWidgetsThatMadeIt) {
    {
        TwinViewer twin(kWidth, kHeight);
        ASSERT_EQ(twin.shown().DisplayFromFile(picture_), 0);
        twin.shown().Copy2Clipboard();
        ASSERT_TRUE(systemClipboard().ownsClipboard());
    }
    // The backend and its kept copy are gone; the system clipboard still
    // offers the picture, to this process and to others.
    EXPECT_EQ(inScreenFormat(systemClipboard().image()), expected_);
    ASSERT_EQ(runPeer({QStringLiteral("save"), QStringLiteral("image"), path("later.png")}).exitCode, 0);
    EXPECT_EQ(inScreenFormat(QImage(path("later.png"))), expected_);
}

}  // namespace
}  // namespace orrery::qt::test
