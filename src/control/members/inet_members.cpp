// The members of _Orrery that show pictures from HTTP and FTP servers, and
// the control's side of the downloads (the DownloadHost). The transfers are
// the net folder's (net/internet_display).
#include <array>

#include "control/members/families.h"
#include "imaging/image_info.h"

namespace orrery::control {

using automation::arg;
using automation::defaultArg;
using automation::Variant;
using imaging::ColorManagement;

std::vector<OrreryTable::Row> internetRows() {
    using Table = OrreryTable;
    return {
        Table::method("DisplayFromURLStop", 0x6003004D, &Orrery::DisplayFromURLStop),
        Table::method("DisplayFromFTP", 0x6003004E, &Orrery::DisplayFromFTP,
                      {arg("sHost"), arg("sPath"), defaultArg("sLogin", Variant(std::string())),
                       defaultArg("sPassword", Variant(std::string())), defaultArg("nFTPPort", Variant(int32_t{21}))}),
        Table::method("SetHttpTransfertBufferSize", 0x6003004F, &Orrery::SetHttpTransfertBufferSize,
                      {arg("nBuffersize")}),
        Table::method("SetFtpPassiveMode", 0x60030050, &Orrery::SetFtpPassiveMode, {arg("bPassiveMode")}),
        Table::method("DisplayFromURL", 0x60030051, &Orrery::DisplayFromURL,
                      {arg("sHost"), arg("sPath"), defaultArg("nHTTPPort", Variant(int32_t{80}))}),
    };
}

int32_t Orrery::DisplayFromURL(std::string sHost, std::string sPath, int32_t nHTTPPort) {
    return state().status = p_->internet.DisplayFromURL(std::move(sHost), sPath, nHTTPPort);
}

int32_t Orrery::DisplayFromFTP(std::string sHost, std::string sPath, std::string sLogin, std::string sPassword,
                               int32_t nFTPPort) {
    return state().status = p_->internet.DisplayFromFTP(sHost, sPath, sLogin, sPassword, nFTPPort);
}

void Orrery::DisplayFromURLStop() { p_->internet.DisplayFromURLStop(); }
void Orrery::SetHttpTransfertBufferSize(int32_t nBuffersize) { p_->internet.setHttpTransferBufferSize(nBuffersize); }
void Orrery::SetFtpPassiveMode(bool bPassiveMode) { p_->internet.setFtpPassiveMode(bPassiveMode); }

int32_t Orrery::Parts::displayDownloadedBytes(std::vector<uint8_t>& bytes) {
    return viewer.displayBytes(bytes, ColorManagement::Off);
}

int32_t Orrery::Parts::displayDownloadedFile(const std::string& path) {
    return viewer.displayTempFile(path, ColorManagement::Off);
}

std::string Orrery::Parts::freshTempFileName() { return imaging::GetTempFileName(); }

void Orrery::Parts::runMessageLoop() { viewer.window().backend().processPendingEvents(); }

void Orrery::Parts::dataReceived(int32_t percentProgress, int32_t leftToTransfer, int32_t totalLength) {
    std::array<Variant, 3> args = {Variant(percentProgress), Variant(leftToTransfer), Variant(totalLength)};
    events.raise(EventId::DataReceived, args);
}

}  // namespace orrery::control
