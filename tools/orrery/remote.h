#pragma once
#include <string>

#include "control/orrery.h"

namespace orrery::tool {
// True when `input` is an http://, https:// or ftp:// URL (any case).
bool isUrl(const std::string& input);
// Shows `input` in `control`: a URL through DisplayFromURL or DisplayFromFTP
// (user and password taken from the URL), with a progress line on standard
// error when it is a terminal; anything else through DisplayFromFile.
// Returns the member's status.
int32_t showDocument(control::Orrery& control, const std::string& input);
}  // namespace orrery::tool
