// The plug-in through its binding: handles, page queries and rasterising on
// documents the test writer makes, and answers to calls out of order.
#include <gtest/gtest.h>

#include "pdf_fixture.h"

using namespace orrery;
namespace modpagrent = pdf::modpagrent;

namespace {

class PagrentTest : public ::testing::Test {
protected:
    void SetUp() override { ORRERY_REQUIRE_PAGRENT(); }
    int32_t load(const test::PdfPlan& plan) {
        const std::string path = files.file("doc" + std::to_string(++written) + ".pdf").string();
        test::writeFile(path, test::writePdf(plan));
        return modpagrent::LoadFromFile(path);
    }
    test::TempDir files;
    int written = 0;
};

}  // namespace

TEST_F(PagrentTest, HandlesArePositiveAndNeverGivenTwice) {
    test::PdfPlan plan;
    plan.pages.push_back({});
    const int32_t first = load(plan);
    ASSERT_GT(first, 0);
    modpagrent::Close(first);
    const int32_t second = load(plan);
    EXPECT_GT(second, first);
    // The closed handle is unknown now.
    EXPECT_EQ(modpagrent::PageCount(first), 0);
    EXPECT_EQ(modpagrent::PageCount(second), 1);
    modpagrent::Close(second);
    modpagrent::Close(second);
}

TEST_F(PagrentTest, UnknownHandlesAndUnselectedPagesAnswerNothing) {
    for (int32_t handle : {0, -1, 999999}) {
        EXPECT_EQ(modpagrent::HasEncryption(handle), 0);
        EXPECT_EQ(modpagrent::SetPassword(handle, "x"), 0);
        EXPECT_EQ(modpagrent::SelectPage(handle, 1), 0);
        EXPECT_EQ(modpagrent::PageWidth(handle), 0.0);
        EXPECT_EQ(modpagrent::GetDescription(handle, 2), "");
        EXPECT_EQ(modpagrent::GetMetadata(handle), "");
        int32_t out = 7;
        EXPECT_EQ(modpagrent::Rasterize(handle, 72, out, 10, 10, 0, 0), 0);
        EXPECT_EQ(out, 0);
    }
    test::PdfPlan plan;
    plan.pages.push_back({});
    plan.pages.push_back({});
    const int32_t doc = load(plan);
    int32_t out = 0;
    EXPECT_EQ(modpagrent::Rasterize(doc, 72, out, 10, 10, 0, 0), 0);  // no page selected yet
    EXPECT_EQ(modpagrent::SelectPage(doc, 0), 0);
    EXPECT_EQ(modpagrent::SelectPage(doc, 3), 0);
    EXPECT_EQ(modpagrent::PageHeight(doc), 0.0);
    EXPECT_EQ(modpagrent::GetDescription(doc, 9), "");
    EXPECT_EQ(modpagrent::GetDescription(doc, -1), "");
    EXPECT_EQ(modpagrent::LoadFromFile(files.path().string()), 0);  // a folder
    EXPECT_EQ(modpagrent::LoadFromFile(files.file("missing.pdf").string()), 0);
    modpagrent::Close(doc);
}

TEST_F(PagrentTest, PageQueriesGiveTheUnrotatedCropBoxAndTheRotation) {
    test::PdfPlan plan;
    plan.pages.push_back({612, 792, {}, {}, {}, {}});
    plan.pages.push_back({600, 800, std::array<double, 4>{50, 60, 250, 460}, 270, {}, {}});
    plan.pages.push_back({300, 200, {}, -90, {}, {}});
    plan.pages.push_back({300, 200, {}, 450, {}, {}});
    const int32_t doc = load(plan);
    struct Expected {
        double width, height;
        int32_t rotation;
    };
    const Expected expected[] = {{612, 792, 0}, {200, 400, 270}, {300, 200, -90}, {300, 200, 90}};
    for (int32_t page = 1; page <= 4; ++page) {
        ASSERT_EQ(modpagrent::SelectPage(doc, page), 1);
        EXPECT_DOUBLE_EQ(modpagrent::PageWidth(doc), expected[page - 1].width) << page;
        EXPECT_DOUBLE_EQ(modpagrent::PageHeight(doc), expected[page - 1].height) << page;
        EXPECT_EQ(modpagrent::PageRotation(doc), expected[page - 1].rotation) << page;
    }
    modpagrent::Close(doc);
}

TEST_F(PagrentTest, RasterizeFillsExactlyTheSizeAskedOnWhitePaper) {
    // Left half blue, right half white; stretched to any size the halves stay.
    test::PdfPlan plan;
    plan.pages.push_back({100, 50, {}, {}, test::filledRect(0, 0, 50, 50, 0, 0, 1), {}});
    const int32_t doc = load(plan);
    ASSERT_EQ(modpagrent::SelectPage(doc, 1), 1);
    int32_t out = 0;
    ASSERT_EQ(modpagrent::Rasterize(doc, 96, out, 40, 30, 0, -1), 1);
    ASSERT_NE(out, 0);
    std::unique_ptr<gdiplus::Image> image = modpagrent::TakePageImage(out);
    ASSERT_TRUE(image);
    EXPECT_EQ(modpagrent::TakePageImage(out), nullptr);
    EXPECT_EQ(image->width(), 40);
    EXPECT_EQ(image->height(), 30);
    EXPECT_EQ(image->pixelFormat(), gdiplus::PixelFormat32bppPARGB);
    gdiplus::ARGB left = 0, right = 0;
    image->getPixel(5, 15, left);
    image->getPixel(35, 15, right);
    EXPECT_EQ(left, 0xFF0000FFu);
    EXPECT_EQ(right, 0xFFFFFFFFu);
    EXPECT_EQ(modpagrent::PendingPageImages(), 0u);
    modpagrent::Close(doc);
}
