// The PDF display: one document open through the plug-in (modpagrent), its
// password, and one page at a time rasterised into the image store and shown
// by the viewing engine like any other picture.
#pragma once
#include <cstdint>
#include <string>

#include "viewer/view_state.h"

namespace orrery::pdf {

// The control's PDF properties, persisted with its other settings.
struct PdfSettings {
    int32_t dpiRendering = 200;  // 1 to 1200
    bool forceTemporaryMode = false;
    int32_t renderingMode = 2;  // kept and saved; nothing renders differently
    bool displayFormField = true;
    bool enablePageCash = false;  // kept and saved; there is no page cache
    bool showDialogForPassword = true;
};

// True when the trimmed path ends in "PDF", compared upper-cased.
bool HasPdfExtension(const std::string& path);

// A page dimension in pixels: points / 72 x dpi (dividing first), a
// fraction making one more pixel. 0 when it is not a positive 32-bit size.
int32_t PagePixels(double points, int32_t dpi);

inline constexpr int32_t kDefaultDpi = 200;
inline constexpr int32_t kMaxDpi = 1200;

// Description fields of a document, in the plug-in's order.
enum class PdfField : int32_t {
    Version = 0,
    Author = 1,
    Title = 2,
    Subject = 3,
    Keywords = 4,
    Creator = 5,
    Producer = 6,
    CreationDate = 7,
    ModificationDate = 8,
};

// What the display needs from the control around it.
class PdfHost {
public:
    virtual ~PdfHost() = default;
    virtual bool silentMode() const = 0;
    virtual void showCriticalMessage(const std::string& text) = 0;
    // Releases the displayed picture (and its working copy).
    virtual void releaseDisplayedPicture() = 0;
    // The viewer reset before a picture is shown: for a newly opened
    // document, or for another page of the open one, which keeps the page
    // count and is no new picture.
    enum class Reset { NewDocument, AnotherPage };
    virtual void resetForDocument(Reset reset) = 0;
    // The modal password input box; "" when cancelled.
    virtual std::string askPassword() = 0;
    // Raises PdfPasswordRequest with `password` by reference.
    virtual void raisePasswordRequest(std::string& password) = 0;
    virtual void raisePageChange() = 0;
    // Makes `image` the displayed picture of a PDF document, at page
    // `page`, and lays it out and paints it.
    virtual void showPageImage(int32_t image, int32_t page) = 0;
};

class PdfDisplay {
public:
    PdfDisplay(viewer::ViewState& state, PdfHost& host, PdfSettings& settings)
        : s_(state), host_(host), settings_(settings) {}
    PdfDisplay(const PdfDisplay&) = delete;
    PdfDisplay& operator=(const PdfDisplay&) = delete;

    // Where a forced temporary copy of the document goes.
    void setTemporaryPath(std::string path) { temporaryPath_ = std::move(path); }
    const std::string& temporaryPath() const { return temporaryPath_; }

    // Opens the document and shows page 1; the status is also the last one.
    int32_t DisplayFromPdfFile(const std::string& path, const std::string& password);
    // Renders page `page` (from 1; callers check the range) and shows it.
    int32_t RenderPage(int32_t page);
    // Closes the open document, if any, and deletes its temporary copy.
    void CloseDocument();

    // The plug-in's handle of the open document; 0 when none.
    int32_t handle() const { return handle_; }
    bool isOpen() const { return handle_ != 0; }
    // "" when no document is open or the plug-in has no text.
    std::string Description(PdfField field) const;
    std::string Metadata() const;

    // The PdfDpiRendering let: 1 to 1200, anything else leaves it.
    void setDpiRendering(int32_t dpi);
    // The resolution pages are rendered at: the setting, or the default for
    // a value outside 1 to 1200 (a property bag may hold one).
    int32_t renderingDpi();

private:
    int32_t openDocument(const std::string& path, const std::string& password);
    int32_t openSteps(const std::string& path, const std::string& password);
    int32_t authenticate(const std::string& password);
    std::string anotherPassword(const std::string& tried);
    int32_t countPages();
    int32_t renderSteps(int32_t page, int32_t dpi);
    int32_t rasterizeFailed();
    void discardTemporaryCopy();
    int32_t fail(int32_t status, const std::string& message);

    viewer::ViewState& s_;
    PdfHost& host_;
    PdfSettings& settings_;
    int32_t handle_ = 0;
    std::string temporaryPath_;
    bool openedTemporaryCopy_ = false;
};

}  // namespace orrery::pdf
