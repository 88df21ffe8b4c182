// Drop data as desktops deliver it. A drag from a file manager arrives as
// "text/uri-list": one URI a line, lines starting with '#' are comments.
// Only file: URIs of this machine (no host, or "localhost") name files; their
// paths are percent-decoded, and a path that decodes to a NUL byte names
// nothing.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "orrery/window/window.h"

namespace orrery::window {

// The local path a URI names, if any.
std::optional<std::string> localPathFromUri(std::string_view uri);

// A file list of the local files in a text/uri-list; no file list when it
// names none.
DropData dropDataFromUriList(std::string_view uriList);

// A drop of files given by path.
DropData dropDataFromPaths(std::vector<std::string> paths);

// Which dropped files a control reports: in their order, those that open
// for reading and whose size can be read. Folders, devices, FIFOs (opened
// without blocking), vanished and unreadable paths are passed over.
std::vector<std::string> readableDroppedFiles(const std::vector<std::string>& paths);

}  // namespace orrery::window
