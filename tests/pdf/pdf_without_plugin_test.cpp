// Without a usable PDF plug-in (here a library that lacks its exports) PDFs
// give PdfPlugNotLoaded, silently, and leave no temporary copy.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "control/orrery.h"
#include "imaging/image_table.h"
#include "pdf/modpagrent.h"
#include "orrery/window/headless_backend.h"
#include "platform/window/control_window.h"
#include "support/pdf_writer.h"
#include "support/test_support.h"

using namespace orrery;
namespace fs = std::filesystem;

namespace {

const bool kForeignLibrary = [] {
    return setenv("ORRERY_PDF_PLUGIN", "libz.so.1", 1) == 0 && setenv("ORRERY_CODEC_PLUGIN", "none", 1) == 0;
}();

}  // namespace

TEST(PdfWithoutPlugin, OpensGive210WithoutMessageAndLeaveNoCopy) {
    ASSERT_TRUE(kForeignLibrary);
    EXPECT_FALSE(pdf::modpagrent::IsAvailable());
    EXPECT_THROW(pdf::modpagrent::LoadFromFile("a.pdf"), pdf::modpagrent::PluginFault);

    test::TempDir files;
    test::PdfPlan plan;
    plan.pages.push_back({});
    const std::string pdf = files.file("a.pdf").string();
    test::writeFile(pdf, test::writePdf(plan));
    window::HeadlessBackend backend;
    {
        control::Orrery control(backend);
        control.InitProperties();
        control.setPdfForceTemporaryMode(true);
        EXPECT_EQ(control.DisplayFromPdfFile(pdf), 210);
        EXPECT_FALSE(fs::exists(control.pdfTempFile()));
        EXPECT_EQ(control.DisplayFromFile(pdf), 210);
        EXPECT_EQ(control.GetnativePDF(), 0);
        EXPECT_EQ(control.GetDocumentType(), 0);
        EXPECT_TRUE(backend.messageBoxes().empty());
        // A missing file is still reported as such.
        EXPECT_EQ(control.DisplayFromPdfFile(files.file("none.pdf").string()), 10);
        EXPECT_EQ(backend.messageBoxes().size(), 1u);
    }
    EXPECT_EQ(imaging::modMain::LiveEntryCount(), 0u);
}
