// Loading files into the image store: the plug-in, the imaging layer and the
// picture route, in the order the control tries them, and the conversion of
// plug-in bitmaps into images the imaging layer can draw.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "imaging/codec_plugin.h"
#include "imaging/load_options.h"

namespace orrery::imaging {

// Shows the open-file dialog and returns the chosen path, or empty when the
// user cancelled. Null means no dialog is available.
using OpenFileDialog = std::function<std::string()>;

// The path a load reads: a blank path asks the dialog (when there is one),
// then the path is normalised (NormalizePath).
std::string ResolveFilePath(const std::string& path, const OpenFileDialog& dialog);

// Loads a file whose path ResolveFilePath gave. Returns a QuillonStatus
// value (FileNotFound for a blank or missing path); on success `id` names
// the new entry. Frames of files always stay inside one image.
int32_t LoadResolvedFile(int32_t& id, const std::string& path, ColorManagement colors = ColorManagement::Off,
                         Decoders decoders = Decoders::Any);
// ResolveFilePath, then LoadResolvedFile.
int32_t LoadImageFromFile(int32_t& id, const std::string& path, ColorManagement colors = ColorManagement::Off,
                          Decoders decoders = Decoders::Any, const OpenFileDialog& dialog = nullptr);
int32_t LoadWithGdiPlus(int32_t& id, const std::string& path, bool useIcm);
int32_t LoadWithPictureLoader(int32_t& id, const std::string& path);
int32_t LoadWithPlugin(int32_t& id, const std::string& path, bool useIcm);

// Turns a plug-in bitmap into an image-store entry. `bitmap` may be replaced
// by a converted bitmap (the one it came from is unloaded, or unlocked from
// `multi` when `multi` is set and it was a locked page). On success `id` names
// the entry and `independent` tells whether the image owns its pixels (when
// false it wraps `bitmap`'s pixels, and the caller must keep `bitmap` alive
// with the entry: AttachPluginBitmap or AttachPluginPage).
//
// `facts` are what the caller knows from the file itself about pixels that
// the plug-in's bitmap describes wrongly (see PluginPictureFacts).
struct PluginPictureFacts {
    // The palette transparency the plug-in reports is real. For TIFFs it
    // never is: TIFF keeps alpha per pixel, and for 8-bit pages without
    // alpha the plug-in reports a table of garbage entries.
    bool paletteTransparency = true;
    // 32 and 64-bit samples carry alpha already multiplied into the colour
    // (a TIFF's associated alpha), which the plug-in passes on as it is.
    bool premultipliedAlpha = false;
    // 32-bit samples are inks even where the plug-in names them RGB with
    // alpha (its reader of tiled CMYK TIFFs does, asked for CMYK or not)...
    bool cmykSamples = false;
    // ...and come as Y, M, C, K: that reader swaps the first and third
    // bytes as it does for RGB.
    bool inksSwapped = false;
};
int32_t ConvertPluginBitmap(PluginHandle& bitmap, int format, PluginHandle multi, int32_t& id,
                            bool& independent, const PluginPictureFacts& facts = {});
// Where every picture is copied once more anyway (the codec worker writes it
// into the memory file it sends, top row first), the plug-in's bottom-up
// rows of 24 and 32 bits are wrapped as they are, with a negative stride,
// instead of being flipped in place first: the copy turns them.
void keepPluginRowsBottomUp(bool bottomUp);

// The steps that run where the plug-in library is bound: in this process
// when the plug-in runs in-process, in the codec worker otherwise. Files come
// as descriptors of regular files, read from their start.
//
// The format the plug-in reads `fd` as: its content, except that a file whose
// `path` names it as TARGA is read as TARGA. -1 when unknown.
int detectPluginFormat(int fd, const std::string& path);
// The pixels the header of `fd`, detected as `format`, announces, read
// without its pixels; 0 when the plug-in cannot read the header alone.
uint64_t announcedPluginPixels(int fd, int format);
// True for the formats the control never leaves to the plug-in (BMP, PNG,
// GIF) and for unknown content.
bool pluginLeavesFormat(int format);
// A multi-page file the plug-in keeps open: the multi-page handle, the file
// handle it reads through, and its number of pages.
struct PluginContainer {
    PluginHandle multi = nullptr;
    PluginHandle file = nullptr;
    int pages = 0;
};
// Loads `fd`, detected as `format`. On success either `id` names a new entry
// holding the picture (its format name set) or, for a TIFF of two pages or
// more, `container` holds the open file; the caller owns its handles.
int32_t loadWithBoundPlugin(int fd, int format, bool useIcm, int32_t& id, PluginContainer& container);
// Page `index` of an open container as a new entry; `childId` stays 0 when
// the plug-in cannot lock the page.
int32_t loadBoundPluginPage(PluginHandle multi, PluginHandle file, int32_t index, int32_t& childId);

// Locks page `index` of a plug-in multi-page container entry and registers it
// as a child entry (frame selection of plug-in containers). A page the
// plug-in cannot lock leaves `childId` 0 and returns 0.
int32_t LoadPluginPage(int32_t containerId, int32_t index, int32_t& childId);

}  // namespace orrery::imaging
