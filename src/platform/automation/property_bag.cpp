#include "platform/automation/property_bag.h"

#include <charconv>
#include <cstdio>
#include <unordered_set>
#include <utility>

#include "platform/kernel/hex.h"

#include "platform/automation/type_description.h"

namespace orrery::automation {

namespace {

bool isControl(unsigned char c) { return c < 0x20 || c == 0x7F; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool validName(std::string_view name) {
    if (name.empty() || name.front() == '#' || isBlank(name.front()) || isBlank(name.back()))
        return false;
    for (char c : name) {
        if (c == '=' || isControl(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

bool storable(VARTYPE vt) {
    switch (vt) {
    case VT_EMPTY: case VT_NULL: case VT_BOOL: case VT_UI1: case VT_I2: case VT_I4:
    case VT_R4: case VT_R8: case VT_BSTR: case VT_ARRAY | VT_UI1: case VT_ARRAY | VT_BSTR:
        return true;
    default: return false;
    }
}

// ---- writing ----------------------------------------------------------

void appendQuoted(std::string& out, std::string_view s) {
    out += '"';
    for (char ch : s) {
        unsigned char c = static_cast<unsigned char>(ch);
        switch (ch) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (isControl(c)) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\x%02x", c);
                out += buf;
            } else {
                out += ch;
            }
        }
    }
    out += '"';
}

std::string formatValue(const Variant& v) {
    switch (v.vt()) {
    case VT_EMPTY: return "empty:";
    case VT_NULL: return "null:";
    case VT_BOOL: return v.isTrue() ? "bool:True" : "bool:False";
    case VT_UI1: return "ui1:" + std::to_string(v.ui1());
    case VT_I2: return "i2:" + std::to_string(v.i2());
    case VT_I4: return "i4:" + std::to_string(v.i4());
    case VT_R4: return "r4:" + formatNumber(v.r4());
    case VT_R8: return "r8:" + formatNumber(v.r8());
    case VT_BSTR: {
        std::string s = "string:";
        appendQuoted(s, v.str());
        return s;
    }
    case VT_ARRAY | VT_UI1: {
        const ByteArray& a = v.byteArray();
        std::string s = "bytes[" + std::to_string(a.lowerBound) + "]:";
        static const char* hex = "0123456789abcdef";
        for (uint8_t b : a.items) {
            s += hex[b >> 4];
            s += hex[b & 15];
        }
        return s;
    }
    case VT_ARRAY | VT_BSTR: {
        const StringArray& a = v.stringArray();
        std::string s = "strings[" + std::to_string(a.lowerBound) + "]:{";
        for (size_t i = 0; i < a.items.size(); ++i) {
            if (i) s += ", ";
            appendQuoted(s, a.items[i]);
        }
        return s + "}";
    }
    default: return {};  // not storable; WriteProperty refuses these
    }
}

// ---- reading ----------------------------------------------------------

// Reads one value text; `error` receives the reason when it returns false.
class ValueParser {
public:
    explicit ValueParser(std::string_view text) : s_(text) {}

    bool parse(std::string_view type, Variant& out, std::string& error) {
        if (type == "empty") return expectEnd(error) && (out = Variant(), true);
        if (type == "null") return expectEnd(error) && (out = Variant::null(), true);
        if (type == "bool") return parseBool(out, error);
        if (type == "ui1") return parseNumber<uint8_t>(out, error);
        if (type == "i2") return parseNumber<int16_t>(out, error);
        if (type == "i4") return parseNumber<int32_t>(out, error);
        if (type == "r4") return parseNumber<float>(out, error);
        if (type == "r8") return parseNumber<double>(out, error);
        if (type == "string") {
            std::string text;
            if (!quoted(text, error) || !expectEnd(error)) return false;
            out = Variant(std::move(text));
            return true;
        }
        int32_t lower = 0;
        if (arrayType(type, "bytes", lower)) return parseBytes(lower, out, error);
        if (arrayType(type, "strings", lower)) return parseStrings(lower, out, error);
        error = "unknown type '" + std::string(type) + "'";
        return false;
    }

private:
    static bool arrayType(std::string_view type, std::string_view base, int32_t& lower) {
        if (type.size() < base.size() + 3 || type.substr(0, base.size()) != base) return false;
        std::string_view rest = type.substr(base.size());
        if (rest.front() != '[' || rest.back() != ']') return false;
        rest = rest.substr(1, rest.size() - 2);
        auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), lower);
        return ec == std::errc() && end == rest.data() + rest.size();
    }

    bool expectEnd(std::string& error) {
        if (!trim(s_).empty()) {
            error = "unexpected text after the value";
            return false;
        }
        return true;
    }

    bool parseBool(Variant& out, std::string& error) {
        std::string_view v = trim(s_);
        if (v == "True" || v == "False") {
            out = Variant(v == "True");
            return true;
        }
        error = "a Boolean is True or False";
        return false;
    }

    // Integers and reals alike: the whole value must be one number of type N.
    template <class N>
    bool parseNumber(Variant& out, std::string& error) {
        std::string_view v = trim(s_);
        N value{};
        auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
        if (v.empty() || ec != std::errc() || end != v.data() + v.size()) {
            error = ec == std::errc::result_out_of_range ? "number out of range" : "not a number";
            return false;
        }
        out = Variant(value);
        return true;
    }

    bool parseBytes(int32_t lower, Variant& out, std::string& error) {
        std::string_view v = trim(s_);
        if (v.size() % 2) {
            error = "hex bytes come in pairs";
            return false;
        }
        std::vector<uint8_t> bytes;
        bytes.reserve(v.size() / 2);
        for (size_t i = 0; i < v.size(); i += 2) {
            int hi = kernel::hexDigitValue(v[i]), lo = kernel::hexDigitValue(v[i + 1]);
            if (hi < 0 || lo < 0) {
                error = "not a hex digit";
                return false;
            }
            bytes.push_back(static_cast<uint8_t>(hi * 16 + lo));
        }
        out = Variant::bytes(std::move(bytes), lower);
        return true;
    }

    void skipBlanks() {
        while (!s_.empty() && isBlank(s_.front())) s_.remove_prefix(1);
    }

    bool take(char c) {
        skipBlanks();
        if (s_.empty() || s_.front() != c) return false;
        s_.remove_prefix(1);
        return true;
    }

    bool parseStrings(int32_t lower, Variant& out, std::string& error) {
        std::vector<std::string> items;
        if (!take('{')) {
            error = "a string list starts with '{'";
            return false;
        }
        if (!take('}')) {
            do {
                std::string item;
                if (!quoted(item, error)) return false;
                items.push_back(std::move(item));
            } while (take(','));
            if (!take('}')) {
                error = "expected ',' or '}' in the string list";
                return false;
            }
        }
        if (!expectEnd(error)) return false;
        out = Variant::strings(std::move(items), lower);
        return true;
    }

    bool quoted(std::string& text, std::string& error) {
        if (!take('"')) {
            error = "a string starts with '\"'";
            return false;
        }
        while (!s_.empty()) {
            char c = s_.front();
            s_.remove_prefix(1);
            if (c == '"') return true;
            if (isControl(static_cast<unsigned char>(c))) {
                error = "control character inside a string (use an escape)";
                return false;
            }
            if (c != '\\') {
                text += c;
                continue;
            }
            if (!escape(text, error)) return false;
        }
        error = "string not closed";
        return false;
    }

    bool escape(std::string& text, std::string& error) {
        if (s_.empty()) {
            error = "string not closed";
            return false;
        }
        char e = s_.front();
        s_.remove_prefix(1);
        switch (e) {
        case '"': text += '"'; return true;
        case '\\': text += '\\'; return true;
        case 'n': text += '\n'; return true;
        case 'r': text += '\r'; return true;
        case 't': text += '\t'; return true;
        case 'x':
            if (s_.size() >= 2 && kernel::hexDigitValue(s_[0]) >= 0 && kernel::hexDigitValue(s_[1]) >= 0) {
                text += static_cast<char>(kernel::hexDigitValue(s_[0]) * 16 + kernel::hexDigitValue(s_[1]));
                s_.remove_prefix(2);
                return true;
            }
            error = "\\x needs two hex digits";
            return false;
        default: error = "unknown escape"; return false;
        }
    }

    std::string_view s_;
};

// Parses "name = type:value" into an entry.
bool parseLine(std::string_view line, PropertyBag::Entry& entry, std::string& error) {
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
        error = "expected 'name = type:value'";
        return false;
    }
    std::string_view name = trim(line.substr(0, eq));
    if (!validName(name)) {
        error = "missing or invalid property name";
        return false;
    }
    std::string_view rest = trim(line.substr(eq + 1));
    size_t colon = rest.find(':');
    if (colon == std::string_view::npos) {
        error = "missing ':' after the type";
        return false;
    }
    entry.name = std::string(name);
    return ValueParser(rest.substr(colon + 1)).parse(rest.substr(0, colon), entry.value, error);
}

}  // namespace

const PropertyBag::Entry* PropertyBag::find(std::string_view name) const {
    std::string key = foldCase(name);
    for (const Entry& e : entries_) {
        if (foldCase(e.name) == key) return &e;
    }
    return nullptr;
}

PropertyBag::Entry* PropertyBag::find(std::string_view name) {
    return const_cast<Entry*>(std::as_const(*this).find(name));
}

void PropertyBag::erase(std::string_view name) {
    if (const Entry* e = find(name)) entries_.erase(entries_.begin() + (e - entries_.data()));
}

Variant PropertyBag::ReadProperty(std::string_view name, const Variant& defaultValue) const {
    const Entry* e = find(name);
    return e ? e->value : defaultValue;
}

HRESULT PropertyBag::WriteProperty(std::string_view name, const Variant& value) {
    if (!validName(name)) return E_INVALIDARG;
    Variant v = value.dereferenced();
    if (!storable(v.vt())) return DISP_E_TYPEMISMATCH;
    if (Entry* e = find(name)) {
        e->name = std::string(name);
        e->value = std::move(v);
    } else {
        entries_.push_back({std::string(name), std::move(v)});
    }
    return S_OK;
}

HRESULT PropertyBag::WriteProperty(std::string_view name, const Variant& value,
                                   const Variant& defaultValue) {
    if (!validName(name)) return E_INVALIDARG;
    Variant v = value.dereferenced();
    if (valuesEqual(v, defaultValue.dereferenced())) {
        erase(name);
        return S_OK;
    }
    return WriteProperty(name, v);
}

std::string PropertyBag::toText() const {
    std::string out;
    for (const Entry& e : entries_) out += e.name + " = " + formatValue(e.value) + "\n";
    return out;
}

HRESULT PropertyBag::fromText(std::string_view text, PropertyBag& out, BagTextError* error) {
    out.clear();
    std::unordered_set<std::string> seen;
    size_t lineNo = 0;
    while (!text.empty()) {
        ++lineNo;
        size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::string_view content = trim(line);
        if (content.empty() || content.front() == '#') continue;

        Entry entry;
        std::string message;
        if (!parseLine(content, entry, message)) {
            if (message.empty()) message = "malformed line";
        } else if (!seen.insert(foldCase(entry.name)).second) {
            message = "property '" + entry.name + "' appears twice";
        }
        if (!message.empty()) {
            out.clear();
            if (error) *error = {lineNo, message};
            return E_INVALIDARG;
        }
        out.entries_.push_back(std::move(entry));
    }
    return S_OK;
}

}  // namespace orrery::automation
