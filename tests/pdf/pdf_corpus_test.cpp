// Real-world PDFs: the encrypted files with their user (U=) and owner (O=)
// passwords given by argument, by the input box and by the host's handler;
// form fields drawn or left out; and every PDF of the corpus showing page 1
// or giving one of the PDF statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "pdf_fixture.h"

using namespace orrery;
using namespace orrery::automation;
namespace fs = std::filesystem;

namespace {

struct Encrypted {
    std::string file;
    std::string user, owner;  // empty when the file has none
};

std::vector<Encrypted> encryptedFiles() {
    std::vector<Encrypted> files;
    if (!test::corpusAvailable()) return files;
    const std::regex user("U=([^,]+)"), owner("O=([^,]+)");
    for (const auto& entry : fs::directory_iterator(test::corpusPath("qpdf"))) {
        const std::string name = entry.path().stem().string();
        if (name.rfind("enc-", 0) != 0) continue;
        Encrypted e{entry.path().string(), {}, {}};
        std::smatch m;
        if (std::regex_search(name, m, user)) e.user = m[1];
        if (std::regex_search(name, m, owner)) e.owner = m[1];
        // The corpus gives the long password of one of its two long-password
        // files; the other one is left out.
        if (name == "enc-XI-long-password") continue;
        if (name == "enc-long-password") e.user = "asdf asdf asdf asdf asdf asdf qwer";
        files.push_back(e);
    }
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.file < b.file; });
    return files;
}

std::vector<fs::path> corpusPdfs(const std::string& prefix = {}) {
    std::vector<fs::path> files;
    if (!test::corpusAvailable()) return files;
    for (const auto& entry : fs::recursive_directory_iterator(test::corpusPath(".")))
        if (entry.path().extension() == ".pdf" && entry.path().filename().string().rfind(prefix, 0) == 0)
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

class PdfCorpusTest : public test::PdfControlTest {
protected:
    void SetUp() override {
        test::PdfControlTest::SetUp();
        if (IsSkipped()) return;
        ORRERY_REQUIRE_CORPUS();
        control->setSilentMode(true);
    }
    int32_t open(const std::string& path, const std::string& password) {
        return control->DisplayFromPdfFile(path, password);
    }
};

}  // namespace

TEST_F(PdfCorpusTest, PasswordMatrixByArgumentInputBoxAndHandler) {
    const std::vector<Encrypted> files = encryptedFiles();
    ASSERT_GE(files.size(), 10u);
    for (const Encrypted& e : files) {
        SCOPED_TRACE(e.file);
        // Both passwords open the document given as the argument.
        for (const std::string& password : {e.user, e.owner}) {
            if (password.empty()) continue;
            control->setPDFShowDialogForPassword(true);
            EXPECT_EQ(open(e.file, password), 0) << password;
        }
        if (e.user.empty()) {
            // Without a user password nothing is asked.
            const size_t asked = backend.inputBoxes().size();
            EXPECT_EQ(open(e.file, ""), 0);
            EXPECT_EQ(backend.inputBoxes().size(), asked);
            continue;
        }
        // The input box answers after a wrong argument.
        backend.queueInputBoxAnswer(e.user);
        EXPECT_EQ(open(e.file, "wrong"), 0);
        backend.queueInputBoxAnswer("wrong again");
        EXPECT_EQ(open(e.file, ""), 202);
        // The handler answers when the dialog is off.
        control->setPDFShowDialogForPassword(false);
        handlerAnswers = {e.owner.empty() ? e.user : e.owner};
        EXPECT_EQ(open(e.file, ""), 0);
        handlerAnswers = {""};
        EXPECT_EQ(open(e.file, "wrong"), 201);
        EXPECT_EQ(control->GetnativePDF(), 0);
    }
}

TEST_F(PdfCorpusTest, FormFieldsAreDrawnOnlyWhenAsked) {
    const std::vector<fs::path> forms = corpusPdfs("form-");
    ASSERT_FALSE(forms.empty());
    control->setPdfDpiRendering(36);
    size_t differing = 0;
    for (const fs::path& form : forms) {
        SCOPED_TRACE(form.string());
        std::vector<std::unique_ptr<gdiplus::Image>> renders;
        for (bool fields : {true, false}) {
            control->setPdfDisplayFormField(fields);
            ASSERT_EQ(open(form.string(), ""), 0);
            std::unique_ptr<gdiplus::Image> copy;
            ASSERT_EQ(shownImage()->clone(copy), gdiplus::Status::Ok);
            renders.push_back(std::move(copy));
        }
        if (test::compareImages(*renders[0], *renders[1]).max > 0) ++differing;
    }
    // Forms whose fields carry appearances look different without them.
    EXPECT_GT(differing, 0u);
}

TEST_F(PdfCorpusTest, EveryCorpusPdfShowsPageOneOrGivesAPdfStatus) {
    control->setPdfDpiRendering(36);
    const std::vector<int32_t> allowed = {0, 201, 203, 204, 205};
    for (const fs::path& file : corpusPdfs()) {
        SCOPED_TRACE(file.string());
        const int32_t status = open(file.string(), "");
        EXPECT_NE(std::find(allowed.begin(), allowed.end(), status), allowed.end()) << status;
        if (status == 0) {
            EXPECT_EQ(control->CurrentPage(), 1);
            EXPECT_NE(control->GetNativeImage(), 0);
            EXPECT_GE(control->PageCount(), 1);
        }
        // The texts read whatever the document holds.
        control->PdfGetTitle();
        control->PdfGetMetadata();
    }
}
