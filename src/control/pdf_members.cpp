// The members of _Orrery that show PDF documents: DisplayFromPdfFile, the
// document's texts and handle, and the PDF properties. The work is the PDF
// display's (pdf/pdf_display); this file connects it to the control.
#include "control/events.h"
#include "control/member_rows.h"
#include "orrery/quillon_status.h"

namespace orrery::control {

using automation::defaultArg;
using automation::Variant;

std::vector<OrreryTable::Row> pdfRows() {
    using Table = OrreryTable;
    return {
        Table::method("DisplayFromPdfFile", 0x60030056, &Orrery::DisplayFromPdfFile,
                      {automation::arg("sPdfFilePath"), defaultArg("sPassword", Variant(std::string()))}),
        Table::method("GetnativePDF", 0x6003014B, &Orrery::GetnativePDF),
        Table::method("PdfGetVersion", 0x600300C0, &Orrery::PdfGetVersion),
        Table::method("PdfGetAuthor", 0x600300C1, &Orrery::PdfGetAuthor),
        Table::method("PdfGetTitle", 0x600300C2, &Orrery::PdfGetTitle),
        Table::method("PdfGetSubject", 0x600300C3, &Orrery::PdfGetSubject),
        Table::method("PdfGetKeywords", 0x600300C4, &Orrery::PdfGetKeywords),
        Table::method("PdfGetCreator", 0x600300C5, &Orrery::PdfGetCreator),
        Table::method("PdfGetProducer", 0x600300C6, &Orrery::PdfGetProducer),
        Table::method("PdfGetCreationDate", 0x600300C7, &Orrery::PdfGetCreationDate),
        Table::method("PdfGetModificationDate", 0x600300C8, &Orrery::PdfGetModificationDate),
        Table::method("PdfGetMetadata", 0x600300D1, &Orrery::PdfGetMetadata),
        Table::property("PdfDpiRendering", 0x6803001B, &Orrery::PdfDpiRendering, &Orrery::setPdfDpiRendering),
        Table::property("PdfRenderingMode", 0x68030014, &Orrery::PdfRenderingMode, &Orrery::setIgnoredLong),
        Table::property("PdfForceTemporaryMode", 0x6803001A, &Orrery::PdfForceTemporaryMode,
                        &Orrery::setPdfForceTemporaryMode),
        Table::property("PdfEnablePageCash", 0x680300BC, &Orrery::PdfEnablePageCash, &Orrery::setIgnoredBool),
        Table::property("PdfDisplayFormField", 0x68030006, &Orrery::PdfDisplayFormField,
                        &Orrery::setPdfDisplayFormField),
        Table::property("PDFShowDialogForPassword", 0x680300DC, &Orrery::PDFShowDialogForPassword,
                        &Orrery::setPDFShowDialogForPassword),
    };
}

int32_t Orrery::DisplayFromPdfFile(std::string sPdfFilePath, std::string sPassword) {
    return pdf_.DisplayFromPdfFile(sPdfFilePath, sPassword);
}

void Orrery::setPdfDpiRendering(int32_t value) {
    pdf_.setDpiRendering(value);
    notify("PdfDpiRendering");
}

void Orrery::setPdfForceTemporaryMode(bool value) {
    pdfSettings_.forceTemporaryMode = value;
    notify("pdfForceTemporaryMode");
}

void Orrery::setPdfDisplayFormField(bool value) {
    pdfSettings_.displayFormField = value;
    notify("PdfDisplayFormField");
}

void Orrery::setPDFShowDialogForPassword(bool value) {
    pdfSettings_.showDialogForPassword = value;
    notify("PDFShowDialogForPassword");
}

void Orrery::closePdf() { pdf_.CloseDocument(); }

int32_t Orrery::displayAsPdfSilently(const std::string& path) {
    const bool wasSilent = silentMode_;
    silentMode_ = true;
    const int32_t status = pdf_.DisplayFromPdfFile(path, {});
    silentMode_ = wasSilent;
    return status == 0 ? 0 : static_cast<int32_t>(QuillonStatus::UnknownImageFormat);
}

void Orrery::resetForDocument(pdf::PdfHost::KeepPageCount keep) {
    resetViewer(KeepGeometry::No, keep == pdf::PdfHost::KeepPageCount::Yes ? KeepPageCount::Yes : KeepPageCount::No);
}

std::string Orrery::askPassword() {
    window::InputBoxRequest request;
    request.prompt = "Password: ";
    request.title = "PDF password";
    return window_.inputBox(request);
}

void Orrery::raisePasswordRequest(std::string& password) {
    // Handlers receive the argument by reference and write into it.
    Variant argument(password);
    events_.raise(EventId::PdfPasswordRequest, std::span<Variant>(&argument, 1));
    password = argument.dereferenced().str();
}

void Orrery::showPageImage(int32_t image, int32_t page) {
    s_.currentImage = image;
    s_.documentType = DocumentTypePDF;
    showNewImage(page);
}

}  // namespace orrery::control
