// cInet::TranslateErrorCode: a fixed English sentence for each of the
// platform's internet error numbers, the system's text for any other.
#include <cstring>
#include <string>
#include <string_view>

#include "net/cinet.h"

namespace orrery::net {

namespace {

struct ErrorText {
    int32_t code;
    const char* text;
};

constexpr ErrorText kErrorTexts[] = {
    {12001, "No more internet handles could be made at this time."},
    {12002, "The request has timed out."},
    {12003, "The server returned an extended error; its own text tells more."},
    {12004, "An internal error occurred in the internet support."},
    {12005, "The URL is invalid."},
    {12006, "The scheme of the URL is not recognised or not supported."},
    {12007, "The server name could not be resolved."},
    {12008, "No protocol could be found for the request."},
    {12009, "An option of the request has an invalid value."},
    {12010, "The length given for an option does not match its type."},
    {12011, "The option can be read but not set."},
    {12012, "The internet support is shutting down."},
    {12013, "The request to connect and login to an FTP server could not be completed because the supplied user "
            "name is incorrect."},
    {12014, "The request to connect and login to an FTP server could not be completed because the supplied "
            "password is incorrect. "},
    {12015, "Logging in to the FTP server failed."},
    {12016, "The requested operation is not valid."},
    {12017, "The operation was canceled, usually because the handle on which the request was operating was closed "
            "before the operation completed."},
    {12018, "The handle given is of the wrong type for this operation."},
    {12019, "The handle given is not in a state that allows this operation."},
    {12020, "The request cannot go through a proxy."},
    {12021, "A required configuration value was not found."},
    {12022, "A required configuration value has the wrong type or an invalid value."},
    {12023, "The network cannot be reached directly at this time."},
    {12024, "An asynchronous request was made without a context value."},
    {12025, "An asynchronous request was made without a callback function."},
    {12026, "The operation could not be completed while other requests are pending."},
    {12027, "The request is not in a valid format."},
    {12028, "The requested item could not be found."},
    {12029, "The attempt to connect to the server failed."},
    {12030, "The connection with the server has been terminated."},
    {12031, "The connection with the server has been reset."},
    {12032, "The request has to be sent again."},
    {12033, "The request to the proxy is not valid."},
    {12036, "The handle already exists."},
    {12037, "The date of the server's certificate is not valid: it has expired or is not yet valid."},
    {12038, "The server's certificate was issued for another host name."},
    {12039, "A redirect moves the request from an unsecured to a secure connection."},
    {12040, "A redirect moves the request from a secure to an unsecured connection."},
    {12041, "Part of the content came from servers that are not secure."},
    {12042, "Data is being sent to a server that is not secure, with changes to several lines of text."},
    {12043, "Data is being sent to a server that is not secure."},
    {12110, "Another operation is already in progress on this FTP session."},
    {12111, "The FTP operation did not complete because the session was dropped."},
    {12130, "The data from the Gopher server could not be parsed."},
    {12131, "The request must name a file locator."},
    {12132, "An error occurred while receiving data from the Gopher server."},
    {12133, "The end of the data has been reached."},
    {12134, "The locator given is not valid."},
    {12135, "The locator is of the wrong type for this operation."},
    {12136, "The operation needs a Gopher+ server or a Gopher+ locator."},
    {12137, "The requested attribute could not be found."},
    {12138, "The type of the locator is unknown."},
    {12150, "The requested header could not be found."},
    {12151, "The server did not send any headers."},
    {12152, "The response of the server could not be parsed."},
    {12153, "The header given is not valid."},
    {12154, "The query on the response headers is not valid."},
    {12155, "The header could not be added because it is already there."},
    {12156, "The redirection failed because either the scheme changed"},
};

constexpr size_t kMaxSystemText = 256;

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace

std::string cInet::TranslateErrorCode(int32_t lErrorCode) {
    for (const ErrorText& row : kErrorTexts)
        if (row.code == lErrorCode) return row.text;
    char buffer[kMaxSystemText + 1] = {};
    const char* text = strerror_r(lErrorCode, buffer, sizeof buffer);
    std::string_view system = trimmed(text ? std::string_view(text) : std::string_view());
    if (system.size() > kMaxSystemText) system = trimmed(system.substr(0, kMaxSystemText));
    return system.empty() ? "Unknown Error" : std::string(system);
}

}  // namespace orrery::net
