// The members of _Orrery that show entries of the image store and files,
// and tell about the shown image. Their work is the engine's documents
// (viewer/viewer) and the image store's (imaging/).
#include "control/members/families.h"

namespace orrery::control {

using automation::arg;
using imaging::ColorManagement;

std::vector<OrreryTable::Row> storeRows() {
    using Table = OrreryTable;
    return {
        Table::method("GetNativeImage", 0x60030071, &Orrery::GetNativeImage),
        Table::method("SetNativeImage", 0x60030072, &Orrery::SetNativeImage, {arg("nImageID")}),
        Table::method("DisplayFromQuillonImage", 0x60030057, &Orrery::DisplayFromQuillonImage, {arg("nImageID")}),
        Table::method("DisplayFromFile", 0x60030054, &Orrery::DisplayFromFile, {arg("sFilePath")}),
        Table::method("DisplayFromFileICM", 0x60030055, &Orrery::DisplayFromFileICM, {arg("sFilePath")}),
        Table::property("ImageForceTemporaryMode", 0x68030019, &Orrery::ImageForceTemporaryMode,
                        &Orrery::setImageForceTemporaryMode),
        Table::property("ImageWidth", 0x68030029, &Orrery::ImageWidth, &Orrery::setIgnoredLong),
        Table::property("ImageHeight", 0x68030028, &Orrery::ImageHeight, &Orrery::setIgnoredLong),
        Table::property("HorizontalResolution", 0x6803001F, &Orrery::HorizontalResolution, &Orrery::setIgnoredSingle),
        Table::property("VerticalResolution", 0x68030020, &Orrery::VerticalResolution, &Orrery::setIgnoredSingle),
        Table::method("GetWidthMM", 0x600300B6, &Orrery::GetWidthMM),
        Table::method("GetHeightMM", 0x600300B5, &Orrery::GetHeightMM),
        Table::method("GetDocumentType", 0x600300D4, &Orrery::GetDocumentType),
        Table::method("GetImageFormat", 0x600300D6, &Orrery::GetImageFormat),
    };
}

int32_t Orrery::GetNativeImage() const { return state().currentImage; }
int32_t Orrery::SetNativeImage(int32_t nImageID) { return p_->viewer.showStoredImage(nImageID); }
int32_t Orrery::DisplayFromQuillonImage(int32_t nImageID) { return p_->viewer.showStoredImage(nImageID); }

int32_t Orrery::DisplayFromFile(std::string sFilePath) {
    return p_->viewer.displayFile(std::move(sFilePath), ColorManagement::Off);
}

int32_t Orrery::DisplayFromFileICM(std::string sFilePath) {
    return p_->viewer.displayFile(std::move(sFilePath), ColorManagement::On);
}

bool Orrery::ImageForceTemporaryMode() const { return state().imageForceTemporaryMode; }

void Orrery::setImageForceTemporaryMode(bool value) {
    state().imageForceTemporaryMode = value;
    notify("ImageForceTemporaryMode");
}

const std::string& Orrery::imageTempFile() const { return p_->viewer.imageTempFile(); }

int32_t Orrery::ImageWidth() const { return state().imageWidth; }
int32_t Orrery::ImageHeight() const { return state().imageHeight; }
float Orrery::HorizontalResolution() const { return state().horizontalResolution; }
float Orrery::VerticalResolution() const { return state().verticalResolution; }
void Orrery::setIgnoredLong(int32_t) {}
void Orrery::setIgnoredSingle(float) {}
void Orrery::setIgnoredBool(bool) {}
float Orrery::GetWidthMM() const { return p_->viewer.layout().GetWidthMM(); }
float Orrery::GetHeightMM() const { return p_->viewer.layout().GetHeightMM(); }
int32_t Orrery::GetDocumentType() const { return state().documentType; }
std::string Orrery::GetImageFormat() const { return p_->viewer.imageFormat(); }

}  // namespace orrery::control
