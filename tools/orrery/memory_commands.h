// Script commands that make values for the memory and handle members from
// files, and work the clipboard of the script's backend:
//
//   bytes NAME FILE          the file as a byte array
//   string NAME FILE         the file as a text, one character a byte
//   stream NAME FILE         the file as a stream object
//   global NAME FILE         the file in a new global block (NAME_len: its size)
//   dib NAME FILE.bmp        the BMP file's packed DIB in a new global block
//   hbitmap NAME FILE        a new bitmap handle of the picture in FILE
//   hicon NAME FILE          a new icon handle of the picture in FILE
//   picture NAME bitmap|icon|wmf|emf FILE
//                            a picture object of that type made of FILE
//   clipboard put FORMAT FILE | list | save FORMAT OUT.png | clear
//                            FORMAT: bitmap, dib, dibv5, metafile (a WMF
//                            file), enhmetafile (an EMF file), palette (the
//                            colours of an indexed picture) or a number
//
// Call arguments $NAME stand for these values. Handles and blocks the script
// made and still owns are freed when the script ends.
#pragma once
#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "orrery/automation/variant.h"
#include "platform/window/clipboard.h"

namespace orrery::tool {

class MemoryValues {
public:
    MemoryValues() = default;
    ~MemoryValues();
    MemoryValues(const MemoryValues&) = delete;
    MemoryValues& operator=(const MemoryValues&) = delete;

    static bool isCommand(const std::string& word);
    // Runs one of the commands; false, with the reason printed, when it fails.
    bool run(const std::vector<std::string>& words, window::Clipboard& clipboard, std::ostream& out);
    // The value of $NAME (without the $); null when there is none.
    const automation::Variant* find(const std::string& name) const;

private:
    bool clipboardCommand(const std::vector<std::string>& words, window::Clipboard& clipboard, std::ostream& out);
    bool pictureCommand(const std::vector<std::string>& words, std::ostream& out);

    std::map<std::string, automation::Variant> values_;
    std::vector<uint32_t> bitmaps_;
    std::vector<uint32_t> icons_;
    std::vector<uint32_t> blocks_;
};

}  // namespace orrery::tool
