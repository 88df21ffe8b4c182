// A control on the headless backend with the PDF plug-in built beside the
// tests, recording events and message boxes; and PDFs written to a private
// folder by the test writer.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "control/events.h"
#include "control/orrery.h"
#include "imaging/image_table.h"
#include "pdf/modpagrent.h"
#include "orrery/window/headless_backend.h"
#include "platform/window/control_window.h"
#include "support/pdf_writer.h"
#include "support/test_support.h"

namespace orrery::test {

// Points the binding at the plug-in of this build (before its first use).
inline bool usePluginOfThisBuild() {
#ifdef ORRERY_PAGRENT_PATH
    static const bool set = setenv("ORRERY_PDF_PLUGIN", ORRERY_PAGRENT_PATH, 1) == 0;
    return set && pdf::modpagrent::IsAvailable();
#else
    return false;
#endif
}

#define ORRERY_REQUIRE_PAGRENT()                                                               \
    do {                                                                                       \
        if (!::orrery::test::usePluginOfThisBuild()) GTEST_SKIP() << "no PDF plug-in built"; \
    } while (0)

class PdfControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("ORRERY_CODEC_PLUGIN", "none", 1);
        ORRERY_REQUIRE_PAGRENT();
        control = std::make_unique<control::Orrery>(backend);
        control->InitProperties();
        control->controlWindow().setWindowSize(304, 204);
        auto sink = std::make_shared<automation::FunctionSink>(
            [this](automation::DISPID id, std::span<automation::Variant> args) {
                const std::string name = control::orreryEvents().find(id)->name;
                flushMessages();
                record.push_back("event " + name);
                if (id == control::EventId::PdfPasswordRequest && !args.empty()) {
                    passwordsOffered.push_back(args[0].dereferenced().str());
                    if (!handlerAnswers.empty()) {
                        args[0].assignThroughRef(automation::Variant(handlerAnswers.front()));
                        handlerAnswers.erase(handlerAnswers.begin());
                    }
                }
                return automation::S_OK;
            });
        control->events().connect(sink);
    }
    void TearDown() override {
        control.reset();
        EXPECT_EQ(imaging::modMain::LiveEntryCount(), 0u);
    }

    std::string write(const std::string& name, const PdfPlan& plan) {
        const std::string path = files.file(name).string();
        writeFile(path, writePdf(plan));
        return path;
    }
    static PdfPlan onePage(double width, double height, std::optional<int> rotate = {}) {
        PdfPlan plan;
        plan.pages.push_back({width, height, {}, rotate, {}, {}});
        return plan;
    }
    // The events and message boxes so far, in the order they came.
    const std::vector<std::string>& log() {
        flushMessages();
        return record;
    }
    void flushMessages() {
        const auto& boxes = backend.messageBoxes();
        for (; messagesLogged < boxes.size(); ++messagesLogged)
            record.push_back("message " + boxes[messagesLogged].request.text);
    }
    // Texts of the message boxes shown so far, in order.
    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const auto& box : backend.messageBoxes()) texts.push_back(box.request.text);
        return texts;
    }
    gdiplus::Image* shownImage() const { return imaging::modMain::GetGdiImage(control->GetNativeImage()); }

    TempDir files;
    window::HeadlessBackend backend;
    std::unique_ptr<control::Orrery> control;
    std::vector<std::string> record;
    size_t messagesLogged = 0;
    std::vector<std::string> passwordsOffered;
    std::vector<std::string> handlerAnswers;  // what the PdfPasswordRequest handler assigns, in turn
};

}  // namespace orrery::test
