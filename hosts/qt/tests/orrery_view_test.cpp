// orrery-view's window: opening files, stepping through the folder, the
// zoom actions and what the status bar and information panel tell.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QScreen>
#include <QDockWidget>
#include <QMenuBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <functional>

#include "control/orrery.h"
#include "folder_files.h"
#include "orrery/window/headless_backend.h"
#include "platform/gdiplus/factory.h"
#include "platform/window/control_window.h"
#include "support/twin_viewer.h"
#include "platform/inet/wininet.h"
#include "support/test_servers.h"
#include "support/test_support.h"
#include "viewer_window.h"

namespace orrery::view {
namespace {

QString pathOf(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

class OrreryViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        QStandardPaths::setTestModeEnabled(true);
        QApplication::setOrganizationName(QStringLiteral("OrreryCtlTests"));
        QApplication::setApplicationName(QStringLiteral("orrery-view-test"));
        // Names that sort by their numbers, not character by character.
        qt::test::writePatternBmp(dir_.file("shot 10.bmp").string(), 300, 200);
        qt::test::writePatternBmp(dir_.file("shot 2.bmp").string(), 200, 300);
        qt::test::writePatternBmp(dir_.file("shot 1.bmp").string(), 640, 480);
        orrery::test::writeFile(dir_.file("notes.txt"), {'h', 'i'});
        orrery::test::writeFile(dir_.file("broken.png"), {0x89, 'P', 'N', 'G', 1, 2, 3});
    }
    QAction* action(ViewerWindow& w, const QString& text) {
        for (QAction* menu : w.menuBar()->actions())
            for (QAction* a : menu->menu()->actions())
                if (a->text().remove('&') == text) return a;
        ADD_FAILURE() << "no action " << text.toStdString();
        static QAction none;
        return &none;
    }

    orrery::test::TempDir dir_;
};

// A 120 x 80 camera JPEG of the pattern: orientation 6 (turn a quarter
// right to stand upright), a maker, an exposure and a GPS reference.
void writeCameraJpeg(const std::filesystem::path& path) {
    qt::test::writePatternBmp(path.string() + ".bmp", 120, 80);
    std::unique_ptr<gdiplus::Image> image;
    ASSERT_EQ(gdiplus::loadImageFromFile(path.string() + ".bmp", {}, image), gdiplus::Status::Ok);
    for (const gdiplus::PropertyItem& item :
         {gdiplus::PropertyItem::fromShorts(274, {6}), gdiplus::PropertyItem::fromAscii(271, "Orrery Optics"),
          gdiplus::PropertyItem::fromRational(33434, 1, 250), gdiplus::PropertyItem::fromAscii(1, "N")})
        ASSERT_EQ(image->setPropertyItem(item), gdiplus::Status::Ok);
    ASSERT_EQ(image->save(path.string(), gdiplus::CodecClsid::JPEG, {}), gdiplus::Status::Ok);
}

// The viewer's control as the X server shows it.
QImage screenOf(ViewerWindow& w) {
    const QPoint at = w.viewer().mapTo(&w, QPoint(0, 0));
    return w.screen()
        ->grabWindow(w.winId(), at.x(), at.y(), w.viewer().width(), w.viewer().height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// What a headless control of the viewer's size composes after `calls`.
QImage headlessImage(ViewerWindow& w, const std::function<void(control::Orrery&)>& calls) {
    window::HeadlessBackend backend;
    control::Orrery c(backend);
    c.InitProperties();
    c.controlWindow().setWindowSize(w.viewer().width(), w.viewer().height());
    c.Show();
    c.setSilentMode(true);
    c.setZoomMode(2);
    calls(c);
    backend.advance(5000);
    const window::ControlWindow& win = c.controlWindow();
    QImage image(win.windowWidth(), win.windowHeight(), QImage::Format_ARGB32_Premultiplied);
    const gdiplus::Surface surface{reinterpret_cast<uint32_t*>(image.bits()), image.width(), image.height(),
                                   image.bytesPerLine()};
    EXPECT_EQ(win.compose(surface), gdiplus::Status::Ok);
    return image.convertToFormat(QImage::Format_RGB32);
}

TEST_F(OrreryViewTest, FolderFilesStepInNaturalOrderAndWrap) {
    FolderFiles folder;
    folder.showing(pathOf(dir_.file("shot 2.bmp")));
    // The text file is not listed.
    ASSERT_EQ(folder.files().size(), 4) << folder.files().join(", ").toStdString();
    EXPECT_TRUE(folder.files()[0].endsWith("broken.png"));
    EXPECT_TRUE(folder.files()[1].endsWith("shot 1.bmp"));
    EXPECT_EQ(folder.position(), 2);
    EXPECT_TRUE(folder.neighbour(Step::Next).endsWith("shot 10.bmp"));
    EXPECT_TRUE(folder.neighbour(Step::Previous).endsWith("shot 1.bmp"));
    folder.showing(pathOf(dir_.file("shot 10.bmp")));
    EXPECT_TRUE(folder.neighbour(Step::Next).endsWith("broken.png"));
    // A file the list does not hold stands before the first.
    folder.showing(pathOf(dir_.file("notes.txt")));
    EXPECT_EQ(folder.position(), -1);
    EXPECT_TRUE(folder.neighbour(Step::Next).endsWith("broken.png"));
    EXPECT_TRUE(folder.neighbour(Step::Previous).endsWith("shot 10.bmp"));
    // Alone in its folder, a file has no neighbours.
    orrery::test::TempDir lonely;
    qt::test::writePatternBmp(lonely.file("only.bmp").string(), 10, 10);
    folder.showing(pathOf(lonely.file("only.bmp")));
    EXPECT_TRUE(folder.neighbour(Step::Next).isEmpty());
}

TEST_F(OrreryViewTest, OpensStepsZoomsAndTellsTheStatus) {
    ViewerWindow w;
    w.resize(800, 600);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    ASSERT_TRUE(w.open(pathOf(dir_.file("shot 1.bmp"))));
    control::Orrery& c = w.viewer().control();
    EXPECT_EQ(c.ImageWidth(), 640);
    EXPECT_TRUE(w.statusText().contains(QStringLiteral("shot 1.bmp")));
    EXPECT_TRUE(w.statusText().contains(QStringLiteral("640 x 480")));

    ASSERT_TRUE(w.step(Step::Next));
    EXPECT_TRUE(w.currentFile().endsWith("shot 2.bmp"));
    EXPECT_EQ(c.ImageWidth(), 200);

    action(w, QStringLiteral("Actual Size (100 %)"))->trigger();
    EXPECT_DOUBLE_EQ(c.ZOOM(), 1.0);
    EXPECT_TRUE(w.statusText().contains(QStringLiteral("100 %")));
    action(w, QStringLiteral("Zoom In"))->trigger();
    EXPECT_GT(c.ZOOM(), 1.0);
    action(w, QStringLiteral("Fit"))->trigger();
    EXPECT_TRUE(w.statusText().contains(QStringLiteral("%1 %").arg(std::lround(c.ZOOM() * 100))));
    action(w, QStringLiteral("Rotate Right"))->trigger();
    EXPECT_EQ(c.ImageWidth(), 300);

    // The information panel lists the picture's facts.
    action(w, QStringLiteral("Information"))->trigger();
    auto* info = w.findChild<QTreeWidget*>();
    ASSERT_NE(info, nullptr);
    EXPECT_FALSE(info->findItems(QStringLiteral("shot 2.bmp"), Qt::MatchExactly, 1).isEmpty());
    EXPECT_FALSE(info->findItems(QStringLiteral("BMP"), Qt::MatchContains, 1).isEmpty());
}

TEST_F(OrreryViewTest, UnreadableFilesShowTheControlsStatus) {
    ViewerWindow w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_FALSE(w.open(pathOf(dir_.file("broken.png"))));
    EXPECT_TRUE(w.statusText().contains(QStringLiteral("Cannot show broken.png: status")));
    EXPECT_FALSE(w.open(pathOf(dir_.file("missing.jpg"))));
    EXPECT_TRUE(w.statusText().contains(QStringLiteral("Cannot show missing.jpg")));
    // The viewer goes on: the next file of the folder shows.
    ASSERT_TRUE(w.open(pathOf(dir_.file("broken.png"))) == false);
    EXPECT_TRUE(w.step(Step::Next));
    EXPECT_TRUE(w.currentFile().endsWith("shot 1.bmp"));
}

TEST_F(OrreryViewTest, ShortcutsReachTheViewerAndTheControlKeepsItsKeys) {
    ViewerWindow w;
    w.resize(800, 600);
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    ASSERT_TRUE(w.open(pathOf(dir_.file("shot 1.bmp"))));
    control::Orrery& c = w.viewer().control();
    QWidget* focus = QApplication::focusWidget();
    ASSERT_EQ(focus, &w.viewer());
    QTest::keyClick(focus, Qt::Key_1);
    EXPECT_DOUBLE_EQ(c.ZOOM(), 1.0);
    QTest::keyClick(focus, Qt::Key_Space);
    EXPECT_TRUE(w.currentFile().endsWith("shot 2.bmp"));
    QTest::keyClick(focus, Qt::Key_Backspace);
    EXPECT_TRUE(w.currentFile().endsWith("shot 1.bmp"));
    // The keypad's minus is the control's own zoom key, not the window's.
    QTest::keyClick(focus, Qt::Key_1);
    const double before = c.ZOOM();
    QTest::keyClick(focus, Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_LT(c.ZOOM(), before);
    QTest::keyClick(focus, Qt::Key_F11);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.isFullScreen(); }, 2000));
    QTest::keyClick(focus, Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w.isFullScreen(); }, 2000));
}

TEST_F(OrreryViewTest, OpenUrlShowsProgressAndCancels) {
    std::filesystem::create_directories(dir_.file("www"));
    qt::test::writePatternBmp(dir_.file("www/big.bmp").string(), 400, 300);
    for (const char* name : {"http_proxy", "all_proxy", "HTTP_PROXY", "ALL_PROXY"}) unsetenv(name);
    ASSERT_TRUE(orrery::test::makeCertificate(dir_.path(), "localhost"));
    auto nginx = orrery::test::startNginx(dir_.path(), dir_.file("www"), "localhost",
                                          orrery::test::freeLoopbackPort(), orrery::test::freeLoopbackPort());
    ASSERT_TRUE(nginx);
    const QString url = QStringLiteral("http://localhost:%1/big.bmp").arg(nginx->port(0));
    ViewerWindow w;
    w.show();
    // Ctrl+L is the menu's Open URL.
    EXPECT_EQ(action(w, QStringLiteral("Open URL..."))->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_L));
    w.viewer().control().SetHttpTransfertBufferSize(65536);
    int blocks = 0, shownValue = -1;
    bool progressVisible = false;
    auto watch = QObject::connect(&w.viewer(), &qt::OrreryWidget::controlEvent, [&](const QString& name, const QVariantList&) {
        if (name != QLatin1String("DataReceived")) return;
        ++blocks;
        progressVisible = w.transferProgress().isVisible() && w.cancelButton().isVisible();
        shownValue = w.transferProgress().value();
    });
    ASSERT_TRUE(w.openUrl(url)) << w.statusText().toStdString();
    EXPECT_GT(blocks, 1);
    EXPECT_TRUE(progressVisible);
    // The last block fills the bar: every byte of the file.
    EXPECT_EQ(shownValue, static_cast<int>(std::filesystem::file_size(dir_.file("www/big.bmp"))));
    EXPECT_FALSE(w.transferProgress().isVisible());
    EXPECT_TRUE(w.statusText().contains(QStringLiteral("400 x 300"))) << w.statusText().toStdString();
    QObject::disconnect(watch);

    // Cancel during the first block: the transfer ends as stopped.
    blocks = 0;
    watch = QObject::connect(&w.viewer(), &qt::OrreryWidget::controlEvent, [&](const QString& name, const QVariantList&) {
        if (name == QLatin1String("DataReceived") && ++blocks == 1) w.cancelButton().click();
    });
    EXPECT_FALSE(w.openUrl(url));
    EXPECT_EQ(blocks, 1);
    EXPECT_TRUE(w.statusText().contains(QStringLiteral("InternetHttpTransferError"))) << w.statusText().toStdString();
    QObject::disconnect(watch);

    // A failure of the platform tells its sentence.
    EXPECT_FALSE(w.openUrl(QStringLiteral("http://localhost:%1/x").arg(orrery::test::freeLoopbackPort())));
    EXPECT_TRUE(w.statusText().contains(QStringLiteral("The attempt to connect to the server failed.")))
            << w.statusText().toStdString();
}

TEST_F(OrreryViewTest, RemembersTheLastFolder) {
    {
        ViewerWindow w;
        w.show();
        ASSERT_TRUE(w.open(pathOf(dir_.file("shot 1.bmp"))));
        w.close();
    }
    QSettings settings;
    EXPECT_EQ(settings.value(QStringLiteral("lastFolder")).toString(),
              QString::fromStdString(std::filesystem::absolute(dir_.path()).string()));
    EXPECT_TRUE(settings.contains(QStringLiteral("geometry")));
}

TEST_F(OrreryViewTest, PicturesOpenUprightAndThePanelListsTheirTags) {
    QSettings().remove(QStringLiteral("applyExifOrientation"));
    const std::filesystem::path photo = dir_.file("photo.jpg");
    writeCameraJpeg(photo);
    const QString path = pathOf(photo);
    {
        ViewerWindow w;
        w.resize(500, 400);
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        QAction* apply = action(w, QStringLiteral("Apply EXIF Orientation"));
        EXPECT_TRUE(apply->isChecked());
        ASSERT_TRUE(w.open(path));
        control::Orrery& c = w.viewer().control();
        EXPECT_EQ(c.ImageWidth(), 80);
        EXPECT_EQ(c.ImageHeight(), 120);
        const QImage upright = headlessImage(w, [&](control::Orrery& h) {
            ASSERT_EQ(h.DisplayFromFile(path.toStdString()), 0);
            ASSERT_EQ(h.Rotate90(), 0);
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return screenOf(w) == upright; }, 5000));

        // The panel shows every tag as the members give it, grouped.
        action(w, QStringLiteral("Information"))->trigger();
        auto* info = w.findChild<QTreeWidget*>();
        ASSERT_NE(info, nullptr);
        QStringList listed;
        for (const QString& group : {QStringLiteral("Camera"), QStringLiteral("Exposure"), QStringLiteral("GPS")}) {
            const auto found = info->findItems(group, Qt::MatchExactly, 0);
            ASSERT_EQ(found.size(), 1) << group.toStdString();
            for (int i = 0; i < found[0]->childCount(); ++i)
                listed << found[0]->child(i)->text(0) + '=' + found[0]->child(i)->text(1);
        }
        QStringList members;
        for (int32_t n = 1; n <= c.ExifTagCount(); ++n)
            members << QString::fromStdString(c.ExifTagGetName(n) + '=' + c.ExifTagGetValue(n)).remove(QChar(0));
        listed.sort();
        members.sort();
        EXPECT_EQ(listed, members);
        EXPECT_TRUE(members.contains(QStringLiteral("EquipMake=Orrery Optics")));
        EXPECT_TRUE(members.contains(QStringLiteral("ExifExposureTime= .004")));
        action(w, QStringLiteral("Copy Tags"))->trigger();
        const QString copied = QGuiApplication::clipboard()->text();
        EXPECT_TRUE(copied.startsWith(QStringLiteral("[Camera]\n"))) << copied.toStdString();
        EXPECT_TRUE(copied.contains(QStringLiteral("\n[GPS]\nGpsLatitudeRef\tN\n"))) << copied.toStdString();

        apply->trigger();
        ASSERT_TRUE(w.open(path));
        EXPECT_EQ(c.ImageWidth(), 120);
    }
    // Remembered: the next window opens pictures as they are stored.
    ViewerWindow again;
    EXPECT_FALSE(action(again, QStringLiteral("Apply EXIF Orientation"))->isChecked());
    action(again, QStringLiteral("Apply EXIF Orientation"))->trigger();
}

}  // namespace
}  // namespace orrery::view
