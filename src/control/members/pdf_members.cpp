// The members of _Orrery that show PDF documents: DisplayFromPdfFile, the
// document's texts and handle, and the PDF properties. The work is the PDF
// display's (pdf/pdf_display), which the viewing engine owns.
#include "control/members/families.h"

namespace orrery::control {

using automation::defaultArg;
using automation::Variant;
using pdf::PdfField;

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
    return p_->viewer.displayPdf(sPdfFilePath, sPassword);
}

int32_t Orrery::GetnativePDF() const { return p_->viewer.pdf().handle(); }
std::string Orrery::PdfGetVersion() const { return p_->viewer.pdf().Description(PdfField::Version); }
std::string Orrery::PdfGetAuthor() const { return p_->viewer.pdf().Description(PdfField::Author); }
std::string Orrery::PdfGetTitle() const { return p_->viewer.pdf().Description(PdfField::Title); }
std::string Orrery::PdfGetSubject() const { return p_->viewer.pdf().Description(PdfField::Subject); }
std::string Orrery::PdfGetKeywords() const { return p_->viewer.pdf().Description(PdfField::Keywords); }
std::string Orrery::PdfGetCreator() const { return p_->viewer.pdf().Description(PdfField::Creator); }
std::string Orrery::PdfGetProducer() const { return p_->viewer.pdf().Description(PdfField::Producer); }
std::string Orrery::PdfGetCreationDate() const { return p_->viewer.pdf().Description(PdfField::CreationDate); }
std::string Orrery::PdfGetModificationDate() const { return p_->viewer.pdf().Description(PdfField::ModificationDate); }
std::string Orrery::PdfGetMetadata() const { return p_->viewer.pdf().Metadata(); }
int32_t Orrery::PdfDpiRendering() const { return p_->viewer.pdfSettings().dpiRendering; }

void Orrery::setPdfDpiRendering(int32_t value) {
    p_->viewer.pdf().setDpiRendering(value);
    notify("PdfDpiRendering");
}

bool Orrery::PdfForceTemporaryMode() const { return p_->viewer.pdfSettings().forceTemporaryMode; }

void Orrery::setPdfForceTemporaryMode(bool value) {
    p_->viewer.pdfSettings().forceTemporaryMode = value;
    notify("pdfForceTemporaryMode");
}

bool Orrery::PdfDisplayFormField() const { return p_->viewer.pdfSettings().displayFormField; }

void Orrery::setPdfDisplayFormField(bool value) {
    p_->viewer.pdfSettings().displayFormField = value;
    notify("PdfDisplayFormField");
}

bool Orrery::PDFShowDialogForPassword() const { return p_->viewer.pdfSettings().showDialogForPassword; }

void Orrery::setPDFShowDialogForPassword(bool value) {
    p_->viewer.pdfSettings().showDialogForPassword = value;
    notify("PDFShowDialogForPassword");
}

int32_t Orrery::PdfRenderingMode() const { return p_->viewer.pdfSettings().renderingMode; }
bool Orrery::PdfEnablePageCash() const { return p_->viewer.pdfSettings().enablePageCash; }
const std::string& Orrery::pdfTempFile() const { return p_->viewer.pdf().temporaryPath(); }

}  // namespace orrery::control
