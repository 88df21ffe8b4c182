// The PDF display through the control: page sizes at each resolution and
// rotation, the PDF properties, the statuses and messages of an open, the
// password from the argument, the input box and the host's handler, the
// temporary copy, paging, and the other members' road into PDFs.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "pdf_fixture.h"
#include "platform/automation/property_bag.h"
#include "platform/gdiplus/pixel_data.h"

using namespace orrery;
using namespace orrery::automation;
using orrery::test::PdfPagePlan;
using orrery::test::PdfPlan;
using orrery::test::PdfTextEncoding;
namespace fs = std::filesystem;
namespace modMain = imaging::modMain;

namespace {

class PdfDisplayTest : public test::PdfControlTest {
protected:
    int32_t open(const std::string& path, const std::string& password = {}) {
        std::vector<Variant> args{Variant(path), Variant(password)};
        Variant result;
        EXPECT_EQ(invokeByName(*control, "DisplayFromPdfFile", DISPATCH_METHOD, args, &result), S_OK);
        return result.i4();
    }
    std::pair<int32_t, int32_t> shownSize() const { return {control->ImageWidth(), control->ImageHeight()}; }
    uint32_t pixel(int x, int y) const {
        gdiplus::ARGB c = 0;
        if (gdiplus::Image* image = shownImage()) image->getPixel(x, y, c);
        return c & 0xFFFFFF;
    }
    std::string encrypted() const {
        return test::corpusPath("qpdf/enc-R3,V2,U=view,O=master.pdf").string();
    }
};

constexpr uint32_t kRed = 0xFF0000, kWhite = 0xFFFFFF;

}  // namespace

TEST_F(PdfDisplayTest, PagesRenderAtTheirSizeInPointsTimesTheResolution) {
    struct Case {
        double width, height;
        std::optional<int> rotate;
        int32_t dpi;
        std::pair<int32_t, int32_t> pixels;
    };
    const Case cases[] = {
        {595, 842, {}, 200, {1653, 2339}}, {595, 842, {}, 96, {794, 1123}},  {595, 842, {}, 72, {595, 842}},
        {595, 842, 90, 200, {2339, 1653}}, {595, 842, -270, 200, {2339, 1653}}, {595, 842, 180, 200, {1653, 2339}},
        {612, 792, {}, 200, {1700, 2200}}, {10, 10, {}, 1, {1, 1}},
    };
    int n = 0;
    for (const Case& c : cases) {
        control->setPdfDpiRendering(c.dpi);
        ASSERT_EQ(open(write("page" + std::to_string(++n) + ".pdf", onePage(c.width, c.height, c.rotate))), 0);
        EXPECT_EQ(shownSize(), c.pixels) << c.width << " x " << c.height << " at " << c.dpi;
        EXPECT_EQ(control->HorizontalResolution(), static_cast<float>(c.dpi));
        EXPECT_EQ(control->GetDocumentType(), 2);
        EXPECT_EQ(control->PageCount(), 1);
        EXPECT_EQ(control->CurrentPage(), 1);
    }
    EXPECT_TRUE(messages().empty());
}

TEST_F(PdfDisplayTest, CropBoxAndInheritedRotationDecideTheImage) {
    // A red square in the lower left corner of the crop box.
    PdfPlan plan;
    PdfPagePlan page{600, 800, std::array<double, 4>{100, 100, 400, 500}, {}, test::filledRect(100, 100, 50, 50, 1, 0, 0), {}};
    plan.pages.push_back(page);
    control->setPdfDpiRendering(72);
    ASSERT_EQ(open(write("crop.pdf", plan)), 0);
    EXPECT_EQ(shownSize(), std::make_pair(300, 400));
    EXPECT_EQ(pixel(10, 390), kRed);
    EXPECT_EQ(pixel(290, 10), kWhite);

    // Turned a quarter clockwise by the page tree: the square comes to the
    // upper left.
    plan.inheritedRotate = 90;
    ASSERT_EQ(open(write("turned.pdf", plan)), 0);
    EXPECT_EQ(shownSize(), std::make_pair(400, 300));
    EXPECT_EQ(pixel(10, 10), kRed);
    EXPECT_EQ(pixel(390, 290), kWhite);
}

TEST_F(PdfDisplayTest, DpiSetterKeepsOneTo1200AndABagValueOutsideRendersAt200) {
    for (int32_t ignored : {0, -1, 1201}) {
        control->setPdfDpiRendering(96);
        control->setPdfDpiRendering(ignored);
        EXPECT_EQ(control->PdfDpiRendering(), 96) << ignored;
    }
    control->setPdfDpiRendering(1);
    EXPECT_EQ(control->PdfDpiRendering(), 1);
    control->setPdfDpiRendering(1200);
    EXPECT_EQ(control->PdfDpiRendering(), 1200);

    PropertyBag bag;
    ASSERT_EQ(control->WriteProperties(bag), S_OK);
    bag.WriteProperty("PdfDpiRendering", Variant(int32_t{5000}));
    ASSERT_EQ(control->ReadProperties(bag), S_OK);
    ASSERT_EQ(open(write("a4.pdf", onePage(595, 842))), 0);
    EXPECT_EQ(shownSize(), std::make_pair(1653, 2339));
    EXPECT_EQ(control->HorizontalResolution(), 200.0f);
}

TEST_F(PdfDisplayTest, RenderingModeAndPageCacheAcceptAndIgnore) {
    std::vector<Variant> mode{Variant(int32_t{0})}, cache{Variant(true)};
    EXPECT_EQ(invokeByName(*control, "PdfRenderingMode", DISPATCH_PROPERTYPUT, mode, nullptr), S_OK);
    EXPECT_EQ(invokeByName(*control, "PdfEnablePageCash", DISPATCH_PROPERTYPUT, cache, nullptr), S_OK);
    EXPECT_EQ(control->PdfRenderingMode(), 2);
    EXPECT_FALSE(control->PdfEnablePageCash());
}

TEST_F(PdfDisplayTest, OpenRaisesPictureEventsThenOnePageChange) {
    ASSERT_EQ(open(write("a.pdf", onePage(200, 100))), 0);
    const std::vector<std::string>& events = log();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), "event PageChange");
    EXPECT_EQ(std::count(events.begin(), events.end(), "event PageChange"), 1);
    const auto change = std::find(events.begin(), events.end(), "event PictureChange");
    const auto changed = std::find(events.begin(), events.end(), "event PictureChanged");
    ASSERT_NE(change, events.end());
    EXPECT_LT(change, changed);
    EXPECT_NE(control->GetnativePDF(), 0);
}

TEST_F(PdfDisplayTest, MissingFileGives10AndClosesTheOpenDocument) {
    ASSERT_EQ(open(write("a.pdf", onePage(200, 100))), 0);
    const std::string missing = files.file("none.pdf").string();
    EXPECT_EQ(open("  " + missing + " "), 10);
    EXPECT_EQ(control->GetnativePDF(), 0);
    EXPECT_EQ(control->GetNativeImage(), 0);
    EXPECT_EQ(control->GetDocumentType(), 0);
    EXPECT_EQ(control->GetStat(), 10);
    EXPECT_EQ(messages(), std::vector<std::string>{"File not found: " + missing});
    EXPECT_EQ(backend.messageBoxes()[0].request.icon, window::vbCritical);
    EXPECT_TRUE(backend.messageBoxes()[0].request.title.empty());
}

TEST_F(PdfDisplayTest, DamagedFileGives203AndADocumentWithoutPages205) {
    const std::string junk = files.file("junk.pdf").string();
    test::writeFile(junk, std::vector<uint8_t>(300, 'x'));
    EXPECT_EQ(open(junk), 203);
    EXPECT_EQ(control->GetnativePDF(), 0);
    PdfPlan empty;
    EXPECT_EQ(open(write("empty.pdf", empty)), 205);
    EXPECT_EQ(control->GetNativeImage(), 0);
    EXPECT_EQ(control->PageCount(), 0);
    EXPECT_EQ(messages(), (std::vector<std::string>{"This PDF seems to be corrupted.", "This PDF file have no page"}));

    control->setSilentMode(true);
    EXPECT_EQ(open(junk), 203);
    EXPECT_EQ(messages().size(), 2u);
}

TEST_F(PdfDisplayTest, PasswordFromTheArgumentOpensWithoutAsking) {
    ORRERY_REQUIRE_CORPUS();
    EXPECT_EQ(open(encrypted(), " view "), 0);
    EXPECT_TRUE(backend.inputBoxes().empty());
    EXPECT_TRUE(passwordsOffered.empty());
    EXPECT_GT(control->ImageWidth(), 0);
}

TEST_F(PdfDisplayTest, InputBoxAsksOnceAndItsCancelGives201) {
    ORRERY_REQUIRE_CORPUS();
    backend.queueInputBoxAnswer("master");
    EXPECT_EQ(open(encrypted()), 0);
    ASSERT_EQ(backend.inputBoxes().size(), 1u);
    EXPECT_EQ(backend.inputBoxes()[0].request.prompt, "Password: ");
    EXPECT_EQ(backend.inputBoxes()[0].request.title, "PDF password");
    EXPECT_EQ(backend.inputBoxes()[0].request.defaultText, "");

    backend.queueInputBoxCancel();
    EXPECT_EQ(open(encrypted(), "wrong"), 201);
    backend.queueInputBoxAnswer("still wrong");
    EXPECT_EQ(open(encrypted()), 202);
    EXPECT_EQ(messages(), (std::vector<std::string>{"Invalid password.", "The password supplied is incorrect."}));
    EXPECT_EQ(control->GetnativePDF(), 0);
    EXPECT_EQ(control->GetNativeImage(), 0);
    EXPECT_TRUE(passwordsOffered.empty());
}

TEST_F(PdfDisplayTest, HandlerOfPdfPasswordRequestGivesThePasswordWhenTheDialogIsOff) {
    ORRERY_REQUIRE_CORPUS();
    control->setPDFShowDialogForPassword(false);
    handlerAnswers = {"view", "", "nope"};
    EXPECT_EQ(open(encrypted(), "first try"), 0);
    EXPECT_EQ(open(encrypted(), "again"), 201);
    EXPECT_EQ(open(encrypted()), 202);
    // The variable starts as the password already tried.
    EXPECT_EQ(passwordsOffered, (std::vector<std::string>{"first try", "again", ""}));
    EXPECT_TRUE(backend.inputBoxes().empty());
    // The request comes before the page's picture events.
    EXPECT_EQ(log()[0], "event PdfPasswordRequest");
}

TEST_F(PdfDisplayTest, ForcedTemporaryCopyIsOpenedAndDeletedOnClose) {
    ORRERY_REQUIRE_CORPUS();
    control->setPdfForceTemporaryMode(true);
    const fs::path copy = control->pdfTempFile();
    ASSERT_FALSE(copy.empty());
    EXPECT_EQ(copy.extension(), ".pdf");
    ASSERT_EQ(open(write("a.pdf", onePage(100, 100))), 0);
    EXPECT_TRUE(fs::exists(copy));
    EXPECT_EQ(fs::status(copy).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    control->CloseImage();
    EXPECT_FALSE(fs::exists(copy));
    EXPECT_EQ(control->GetnativePDF(), 0);

    // Opens that fail after the copy was made leave no copy.
    const std::string junk = files.file("junk.pdf").string();
    test::writeFile(junk, std::vector<uint8_t>(64, 'x'));
    EXPECT_EQ(open(junk), 203);
    EXPECT_FALSE(fs::exists(copy));
    backend.queueInputBoxCancel();
    EXPECT_EQ(open(encrypted()), 201);
    EXPECT_FALSE(fs::exists(copy));

    // A link planted under the copy's name is replaced, never followed.
    const fs::path target = files.file("target");
    test::writeFile(target, {'k', 'e', 'e', 'p'});
    fs::create_symlink(target, copy);
    ASSERT_EQ(open(write("b.pdf", onePage(100, 100))), 0);
    EXPECT_FALSE(fs::is_symlink(copy));
    EXPECT_EQ(test::readFile(target), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
}

TEST_F(PdfDisplayTest, TwoControlsCopyToDifferentFiles) {
    control::Orrery second(backend);
    EXPECT_NE(second.pdfTempFile(), control->pdfTempFile());
}

TEST_F(PdfDisplayTest, PagingRendersEachPageAndKeepsOnePageImage) {
    PdfPlan plan;
    for (double width : {100.0, 200.0, 300.0}) plan.pages.push_back({width, 100, {}, {}, {}, {}});
    control->setPdfDpiRendering(72);
    ASSERT_EQ(open(write("three.pdf", plan)), 0);
    EXPECT_EQ(control->GetTotalFrame(), 3);
    EXPECT_TRUE(control->menuItemEnabled(control::FrameMenuItem::GotoNext));
    record.clear();
    EXPECT_EQ(control->DisplayNextFrame(), 0);
    EXPECT_EQ(control->CurrentPage(), 2);
    EXPECT_EQ(control->ImageWidth(), 200);
    EXPECT_EQ(control->DisplayLastFrame(), 0);
    EXPECT_EQ(control->ImageWidth(), 300);
    EXPECT_FALSE(control->menuItemEnabled(control::FrameMenuItem::GotoNext));
    EXPECT_TRUE(control->menuItemEnabled(control::FrameMenuItem::GotoFirst));
    EXPECT_EQ(modMain::LiveEntryCount(), 1u);
    EXPECT_EQ(control->GetDocumentType(), 2);
    EXPECT_EQ(std::count(log().begin(), log().end(), "event PageChange"), 2);
    // Another page of the open document is no new picture: it is shown, as
    // a page of a TIFF is.
    EXPECT_EQ(std::count(log().begin(), log().end(), "event Display"), 2);
    EXPECT_EQ(std::count(log().begin(), log().end(), "event PictureChange"), 0);
    EXPECT_EQ(std::count(log().begin(), log().end(), "event PictureChanged"), 0);
    // Out of range: nothing changes but PageChange.
    EXPECT_EQ(control->DisplayFrame(4), 0);
    EXPECT_EQ(control->CurrentPage(), 3);
}

TEST_F(PdfDisplayTest, PageImagesAboveTheAllocationLimitFailWithoutAllocating) {
    const size_t limit = gdiplus::pixelAllocationLimit();
    gdiplus::setPixelAllocationLimit(1 << 20);
    const int32_t status = open(write("a4.pdf", onePage(595, 842)));
    gdiplus::setPixelAllocationLimit(limit);
    EXPECT_EQ(status, 204);
    EXPECT_EQ(control->GetNativeImage(), 0);
    EXPECT_EQ(control->GetDocumentType(), 2);
    EXPECT_EQ(pdf::modpagrent::PendingPageImages(), 0u);
    EXPECT_EQ(messages(),
              (std::vector<std::string>{"Error rendering page.", "Error rendering page from the pagrent library."}));
    // The document stays open; a smaller page renders.
    control->setPdfDpiRendering(10);
    EXPECT_EQ(control->DisplayFrame(1), 0);
}

TEST_F(PdfDisplayTest, TextsComeFromTheInfoDictionaryAndTheXmpPacket) {
    EXPECT_EQ(control->PdfGetTitle(), "");
    EXPECT_EQ(control->PdfGetVersion(), "");
    PdfPlan plan = onePage(100, 100);
    plan.version = "1.4";
    plan.info = {{"Author", "Zo\xC3\xAB (\\)"}, {"Title", "Caf\xC3\xA9 \xC2\xA9"}, {"Subject", "s"},
                 {"Keywords", "k1, k2"}, {"Creator", "c"}, {"Producer", "p"},
                 {"CreationDate", "D:20240102030405+01'00'"}, {"ModDate", "D:2025"}};
    plan.xmp = "<?xpacket begin=''?><x:xmpmeta xmlns:x='adobe:ns:meta/'/><?xpacket end='w'?>";
    ASSERT_EQ(open(write("info.pdf", plan)), 0);
    EXPECT_EQ(control->PdfGetVersion(), "1.4");
    EXPECT_EQ(control->PdfGetAuthor(), "Zo\xC3\xAB (\\)");
    EXPECT_EQ(control->PdfGetTitle(), "Caf\xC3\xA9 \xC2\xA9");
    EXPECT_EQ(control->PdfGetSubject(), "s");
    EXPECT_EQ(control->PdfGetKeywords(), "k1, k2");
    EXPECT_EQ(control->PdfGetCreator(), "c");
    EXPECT_EQ(control->PdfGetProducer(), "p");
    EXPECT_EQ(control->PdfGetCreationDate(), "D:20240102030405+01'00'");
    EXPECT_EQ(control->PdfGetModificationDate(), "D:2025");
    EXPECT_EQ(control->PdfGetMetadata(), plan.xmp);

    plan.infoEncoding = PdfTextEncoding::Utf16BE;
    plan.info = {{"Title", "\xCE\xA9mega \xE2\x9C\x93 \xF0\x9F\x98\x80"}};
    plan.xmp.clear();
    ASSERT_EQ(open(write("utf16.pdf", plan)), 0);
    Variant title;
    ASSERT_EQ(invokeByName(*control, "PdfGetTitle", DISPATCH_METHOD, {}, &title), S_OK);
    EXPECT_EQ(title.str(), "\xCE\xA9mega \xE2\x9C\x93 \xF0\x9F\x98\x80");
    EXPECT_EQ(control->PdfGetAuthor(), "");
    EXPECT_EQ(control->PdfGetMetadata(), "");
    control->CloseImageEx();
    EXPECT_EQ(control->PdfGetTitle(), "");
}

TEST_F(PdfDisplayTest, DisplayFromFileTakesPdfsByExtensionOrAfterTheDecodersGiveUp) {
    const std::string pdf = write("upper.PDF", onePage(100, 50));
    EXPECT_EQ(control->DisplayFromFile(pdf), 0);
    EXPECT_EQ(control->GetDocumentType(), 2);
    const std::string hidden = files.file("document.bin").string();
    fs::copy_file(pdf, hidden);
    EXPECT_EQ(control->DisplayFromFile(hidden), 0);
    EXPECT_EQ(control->GetDocumentType(), 2);
    EXPECT_NE(control->GetnativePDF(), 0);
    // Neither an image nor a PDF: unknown, silently, and silent mode is back.
    const std::string junk = files.file("junk.bin").string();
    test::writeFile(junk, std::vector<uint8_t>(100, 'x'));
    EXPECT_EQ(control->DisplayFromFile(junk), 13);
    EXPECT_EQ(control->GetnativePDF(), 0);
    EXPECT_TRUE(messages().empty());
    EXPECT_FALSE(control->SilentMode());
}

TEST_F(PdfDisplayTest, SetNativeImageKeepsTheShownPageAndClosesThePdfForAnotherImage) {
    PdfPlan plan;
    for (int i = 0; i < 2; ++i) plan.pages.push_back({100, 100, {}, {}, {}, {}});
    ASSERT_EQ(open(write("two.pdf", plan)), 0);
    ASSERT_EQ(control->DisplayNextFrame(), 0);
    const int32_t page = control->GetNativeImage();
    EXPECT_EQ(control->SetNativeImage(page), 0);
    EXPECT_EQ(control->CurrentPage(), 2);
    EXPECT_EQ(control->GetDocumentType(), 2);
    EXPECT_NE(control->GetnativePDF(), 0);

    std::unique_ptr<gdiplus::Image> copy;
    ASSERT_EQ(shownImage()->clone(copy), gdiplus::Status::Ok);
    int32_t other = 0;
    modMain::AddImage(other, std::move(copy), "", "", imaging::SourcePlain);
    EXPECT_EQ(control->SetNativeImage(other), 0);
    EXPECT_EQ(control->GetnativePDF(), 0);
    EXPECT_EQ(control->GetDocumentType(), 1);
    EXPECT_EQ(control->CurrentPage(), 1);
    // The page image was released with the PDF; the host's image is shown.
    EXPECT_EQ(modMain::LiveEntryCount(), 1u);
}

TEST_F(PdfDisplayTest, TerminateClosesTheDocument) {
    control->setPdfForceTemporaryMode(true);
    ASSERT_EQ(open(write("a.pdf", onePage(100, 100))), 0);
    const fs::path copy = control->pdfTempFile();
    control->Terminate();
    EXPECT_EQ(control->GetnativePDF(), 0);
    EXPECT_FALSE(fs::exists(copy));
}

TEST_F(PdfDisplayTest, ByteArrayOfAPdfShowsItsPagesUntilClosed) {
    PdfPlan plan;
    for (double width : {100.0, 200.0}) plan.pages.push_back({width, 100, {}, {}, {}, {}});
    ByteArray bytes;
    bytes.items = test::writePdf(plan);
    control->setPdfDpiRendering(72);
    ASSERT_EQ(control->DisplayFromByteArray(bytes), 0);
    EXPECT_EQ(control->GetDocumentType(), 2);
    EXPECT_EQ(control->PageCount(), 2);
    // The document reads its file on demand, after the call returned.
    EXPECT_EQ(control->DisplayNextFrame(), 0);
    EXPECT_EQ(control->ImageWidth(), 200);
    control->CloseImage();
    EXPECT_EQ(control->GetnativePDF(), 0);
}
