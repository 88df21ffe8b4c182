// The members of _Orrery that take pictures from memory, handles and the
// clipboard, and give the displayed picture back. Their work is the image
// store's (imaging/memory_sources).
#include "control/members/families.h"
#include "imaging/image_table.h"
#include "imaging/memory_sources.h"
#include "imaging/picture_sources.h"
#include "platform/automation/picture.h"
#include "platform/automation/stream_object.h"
#include "platform/kernel/code_page.h"
#include "platform/kernel/files.h"

namespace orrery::control {

using automation::arg;
using automation::optionalArg;
using automation::refArg;
using automation::Variant;
using imaging::ColorManagement;

namespace {

constexpr int32_t kGenericError = static_cast<int32_t>(gdiplus::Status::GenericError);
constexpr int32_t kInvalidParameter = static_cast<int32_t>(gdiplus::Status::InvalidParameter);
// A text too short to hold a picture.
constexpr int32_t kTextTooShort = 21;
// The object passed as a stream answers no stream interface.
constexpr int32_t kNotAStream = 23;

int32_t loadStream(int32_t& id, const automation::DispatchPtr& stream, bool useIcm) {
    if (!stream) return kInvalidParameter;
    automation::IStream* asStream = automation::streamOf(stream.get());
    return asStream ? imaging::LoadFromStream(id, *asStream, useIcm) : kNotAStream;
}

}  // namespace

std::vector<OrreryTable::Row> memoryAndClipboardRows() {
    using Table = OrreryTable;
    return {
        Table::method("DisplayFromHBitmap", 0x60030058, &Orrery::DisplayFromHBitmap, {arg("nHbitmap")}),
        Table::method("DisplayFromHICON", 0x600300D8, &Orrery::DisplayFromHICON, {arg("nHICON")}),
        Table::method("DisplayFromGdiDib", 0x6003005A, &Orrery::DisplayFromGdiDib, {arg("nGdiDibRef")}),
        Table::method("DisplayFromStream", 0x6003004B, &Orrery::DisplayFromStream, {arg("oStream")}),
        Table::method("DisplayFromStreamICM", 0x6003004C, &Orrery::DisplayFromStreamICM, {arg("oStream")}),
        Table::method("DisplayFromByteArray", 0x60030052, &Orrery::DisplayFromByteArray, {refArg("arBytes")}),
        Table::method("DisplayFromByteArrayICM", 0x60030053, &Orrery::DisplayFromByteArrayICM,
                      {refArg("arBytes")}),
        Table::method("DisplayFromMemory", 0x600300DE, &Orrery::DisplayFromMemory,
                      {arg("hMem"), refArg("Length")}),
        Table::method("DisplayFromString", 0x600300CC, &Orrery::DisplayFromString, {arg("sImageString")}),
        Table::method("DisplayFromClipboardData", 0x60030059, &Orrery::DisplayFromClipboardData),
        Table::method("DisplayFromStdPicture", 0x60030038, &Orrery::DisplayFromStdPicture, {refArg("oStdPicture")}),
        Table::method("DisplayFromMetaFile", 0x600300BE, &Orrery::DisplayFromMetaFile,
                      {arg("sFilePath"), optionalArg("nScaleBy", automation::VT_R4, Variant(1.0f))}),
        Table::method("Copy2Clipboard", 0x60030065, &Orrery::Copy2Clipboard),
        Table::method("CopyRegion2Clipboard", 0x60030066, &Orrery::CopyRegion2Clipboard,
                      {arg("nSrcLeft"), arg("nSrcTop"), arg("nWidth"), arg("nHeight")}),
        Table::method("GetHBitmap", 0x600300B7, &Orrery::GetHBitmap),
        Table::method("DeleteHBitmap", 0x600300B8, &Orrery::DeleteHBitmap, {arg("nHbitmap")}),
    };
}

int32_t Orrery::DisplayFromHBitmap(int32_t nHbitmap) {
    return p_->viewer.displayLoaded(
            [&](int32_t& id) { return imaging::LoadFromHBitmap(id, static_cast<gdi::HBITMAP>(nHbitmap)); });
}

int32_t Orrery::DisplayFromHICON(int32_t nHICON) {
    return p_->viewer.displayLoaded(
            [&](int32_t& id) { return imaging::LoadFromHIcon(id, static_cast<gdi::HICON>(nHICON)); });
}

int32_t Orrery::DisplayFromGdiDib(int32_t nGdiDibRef) {
    return p_->viewer.displayLoaded([&](int32_t& id) {
        return imaging::LoadFromGdiDib(id, static_cast<gdi::HGLOBAL>(nGdiDibRef), imaging::BlockOwner::Caller,
                                       imaging::ResolutionRounding::ThreeDecimals);
    });
}

int32_t Orrery::DisplayFromClipboardData() {
    return p_->viewer.displayLoaded(
            [&](int32_t& id) { return imaging::LoadFromClipboard(id, window().backend().clipboard()); });
}

int32_t Orrery::DisplayFromStdPicture(automation::DispatchPtr& oStdPicture) {
    return p_->viewer.displayLoaded([&](int32_t& id) {
        // Set after the close, so that it holds whatever the load gives.
        state().documentType = DocumentTypeImage;
        const automation::IPicture* picture = automation::pictureOf(oStdPicture.get());
        return picture ? imaging::LoadFromPicture(id, *picture) : kInvalidParameter;
    });
}

int32_t Orrery::DisplayFromMetaFile(std::string sFilePath, float nScaleBy) {
    return p_->viewer.displayLoaded([&](int32_t& id) { return imaging::LoadMetafile(id, sFilePath, nScaleBy); });
}

int32_t Orrery::DisplayFromStream(automation::DispatchPtr oStream) {
    return p_->viewer.displayLoaded([&](int32_t& id) { return loadStream(id, oStream, false); });
}

int32_t Orrery::DisplayFromStreamICM(automation::DispatchPtr oStream) {
    return p_->viewer.displayLoaded([&](int32_t& id) { return loadStream(id, oStream, true); });
}

int32_t Orrery::DisplayFromByteArray(automation::ByteArray& arBytes) {
    return p_->viewer.displayBytes(arBytes.items, ColorManagement::Off);
}

int32_t Orrery::DisplayFromByteArrayICM(automation::ByteArray& arBytes) {
    return p_->viewer.displayBytes(arBytes.items, ColorManagement::On);
}

int32_t Orrery::DisplayFromMemory(int32_t hMem, int32_t& Length) {
    const auto block = static_cast<gdi::HGLOBAL>(hMem);
    const uint8_t* bytes = gdi::globalLock(block);
    if (Length < 1 || !bytes || static_cast<size_t>(Length) > gdi::globalSize(block)) {
        if (bytes) gdi::globalUnlock(block);
        return state().status = kInvalidParameter;
    }
    const std::vector<uint8_t> copy(bytes, bytes + Length);
    gdi::globalUnlock(block);
    return p_->viewer.displayBytes(copy, ColorManagement::Off);
}

int32_t Orrery::DisplayFromString(std::string sImageString) {
    if (sImageString.empty()) return state().status = kGenericError;
    std::vector<uint8_t> bytes;
    if (!kernel::utf8ToWindows1252(sImageString, bytes)) return state().status = kInvalidParameter;
    if (bytes.size() < 2) return state().status = kTextTooShort;
    return p_->viewer.displayBytes(bytes, ColorManagement::Off);
}

int32_t Orrery::GetHBitmap() {
    int32_t status = 0;
    const gdi::HBITMAP bitmap = imaging::GetHBitmap(state().currentImage, status);
    state().status = status;
    return static_cast<int32_t>(bitmap);
}

void Orrery::DeleteHBitmap(int32_t nHbitmap) { gdi::deleteBitmap(static_cast<gdi::HBITMAP>(nHbitmap)); }

void Orrery::Copy2Clipboard() {
    const int32_t image = p_->viewer.workingImage();
    if (image != 0) imaging::CopyImageToClipboard(image, window().backend().clipboard());
}

void Orrery::CopyRegion2Clipboard(int32_t nSrcLeft, int32_t nSrcTop, int32_t nWidth, int32_t nHeight) {
    const int32_t image = p_->viewer.workingImage();
    state().status = image == 0 ? kGenericError
                                : imaging::CopyImageAreaToClipboard(image, {nSrcLeft, nSrcTop, nWidth, nHeight},
                                                                    window().backend().clipboard());
}

}  // namespace orrery::control
