// The container's property bag: named variants that a control writes when its
// host saves a form and reads back when the form is loaded, and the plain text
// form in which a host keeps them.
//
// Names keep the case they were written with, and are found whatever their
// case (as the platform's bag does): "Zoom" and "zoom" name one entry. Values
// keep their type. Entries stay in writing order; rewriting an entry keeps its
// place and takes the new spelling of the name.
//
// Text form, one property a line, in entry order:
//     name = type:value
// with the types
//     empty:            null:
//     bool:True         bool:False
//     ui1:200   i2:-5   i4:70000   r4:1.25   r8:0.1   (invariant numbers)
//     string:"text with \" \\ \n \r \t and \x01 escapes"
//     bytes[0]:00ff10                  (lower bound in brackets, hex pairs)
//     strings[1]:{"a", "b"}            (lower bound, quoted items)
// Blank lines and lines starting with '#' are ignored. Strings are UTF-8.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "orrery/automation/variant.h"

namespace orrery::automation {

// Where and why a text form was refused.
struct BagTextError {
    size_t line = 0;  // 1-based
    std::string message;
    std::string toString() const { return "line " + std::to_string(line) + ": " + message; }
};

class PropertyBag {
public:
    struct Entry {
        std::string name;
        Variant value;
    };

    // The stored value, or `defaultValue` when the name is absent.
    Variant ReadProperty(std::string_view name, const Variant& defaultValue = Variant()) const;
    // Stores `value` (a reference is stored as the value it points at).
    // E_INVALIDARG for a name the text form cannot hold (empty, with '=' or a
    // control character, blanks at either end, or starting with '#');
    // DISP_E_TYPEMISMATCH for objects and error values, which a bag does not
    // keep.
    HRESULT WriteProperty(std::string_view name, const Variant& value);
    // As above, except that a value equal to its default (valuesEqual: Long 0
    // equals Integer 0) is not stored, and an entry left from an earlier write
    // is removed, so that an absent entry always means "default".
    HRESULT WriteProperty(std::string_view name, const Variant& value, const Variant& defaultValue);

    bool contains(std::string_view name) const { return find(name) != nullptr; }
    const std::vector<Entry>& entries() const { return entries_; }
    size_t size() const { return entries_.size(); }
    void clear() { entries_.clear(); }

    std::string toText() const;
    // Parses a text form into `out` (replacing its entries). E_INVALIDARG for
    // malformed text, with the line and the reason in `error`; `out` is then
    // left empty. A name that appears twice is malformed.
    static HRESULT fromText(std::string_view text, PropertyBag& out, BagTextError* error = nullptr);

private:
    const Entry* find(std::string_view name) const;
    Entry* find(std::string_view name);
    void erase(std::string_view name);

    std::vector<Entry> entries_;
};

}  // namespace orrery::automation
