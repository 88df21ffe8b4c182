// Documents named by URL, fetched by the control's own internet members.
#include "tools/orrery/remote.h"

#include <unistd.h>

#include <cstdio>
#include <memory>

#include "control/document_url.h"
#include "orrery/automation/events.h"
#include "orrery/event_ids.h"
#include "orrery/quillon_status.h"

namespace orrery::tool {

namespace {

// Prints "received N of M bytes (P %)" over itself while a download runs.
class ProgressLine {
public:
    explicit ProgressLine(control::Orrery& control) : control_(control) {
        if (!::isatty(STDERR_FILENO)) return;
        sink_ = std::make_shared<automation::FunctionSink>(
                [](automation::DISPID id, std::span<automation::Variant> args) {
                    if (id != control::EventId::DataReceived || args.size() != 3) return automation::S_OK;
                    const int32_t left = args[1].dereferenced().i4(), total = args[2].dereferenced().i4();
                    std::fprintf(stderr, "\rreceived %d of %d bytes (%d %%)", total - left, total,
                                 args[0].dereferenced().i4());
                    return automation::S_OK;
                });
        cookie_ = control_.events().connect(sink_);
    }
    ~ProgressLine() {
        if (!sink_) return;
        control_.events().disconnect(cookie_);
        std::fprintf(stderr, "\n");
    }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

private:
    control::Orrery& control_;
    std::shared_ptr<automation::FunctionSink> sink_;
    uint32_t cookie_ = 0;
};

}  // namespace

bool isUrl(const std::string& input) { return control::IsDocumentUrl(input); }

int32_t showDocument(control::Orrery& control, const std::string& input) {
    if (!isUrl(input)) return control.DisplayFromFile(input);
    control::DocumentUrl url;
    if (!control::ParseDocumentUrl(input, url)) return static_cast<int32_t>(QuillonStatus::InternetConnectError);
    ProgressLine progress(control);
    return control::DisplayDocumentUrl(control, url);
}

}  // namespace orrery::tool
