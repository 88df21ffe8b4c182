#include "orrery/automation/variant.h"

#include "platform/automation/dispatch.h"
#include "orrery/automation/interfaces.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

namespace orrery::automation {

namespace {

const std::string kEmptyString;
const ByteArray kEmptyBytes;
const StringArray kEmptyStrings;

bool isNumericType(VARTYPE t) {
    return t == VT_I2 || t == VT_I4 || t == VT_UI1 || t == VT_R4 || t == VT_R8 || t == VT_BOOL;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

std::string_view trimBlanks(std::string_view s) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

// Invariant parsing of a whole numeric string: optional sign, digits with an
// optional fraction and exponent. No "inf"/"nan", no thousands separators.
HRESULT parseNumber(std::string_view text, double& out) {
    std::string_view s = trimBlanks(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty() || !(std::isdigit(static_cast<unsigned char>(s.front())) || s.front() == '.'))
        return DISP_E_TYPEMISMATCH;
    double value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (end != s.data() + s.size()) return DISP_E_TYPEMISMATCH;
    if (ec == std::errc::result_out_of_range) return DISP_E_OVERFLOW;
    if (ec != std::errc()) return DISP_E_TYPEMISMATCH;
    out = negative ? -value : value;
    return S_OK;
}

// The numeric value of a scalar source, for conversion to a number or Boolean.
HRESULT numericValue(const Variant& v, VARTYPE target, double& out) {
    switch (v.vt()) {
    case VT_EMPTY: out = 0; return S_OK;
    case VT_I2: out = v.i2(); return S_OK;
    case VT_I4: out = v.i4(); return S_OK;
    case VT_UI1: out = v.ui1(); return S_OK;
    case VT_R4: out = v.r4(); return S_OK;
    case VT_R8: out = v.r8(); return S_OK;
    case VT_BOOL: out = v.boolValue(); return S_OK;
    case VT_BSTR:
        if (target == VT_BOOL) {
            std::string_view s = trimBlanks(v.str());
            if (equalsIgnoreCase(s, "True")) { out = VARIANT_TRUE; return S_OK; }
            if (equalsIgnoreCase(s, "False")) { out = VARIANT_FALSE; return S_OK; }
        }
        return parseNumber(v.str(), out);
    default: return DISP_E_TYPEMISMATCH;
    }
}

// Rounds half to even and checks the integer range of the target.
HRESULT toInteger(double value, double lowest, double highest, int64_t& out) {
    if (std::isnan(value)) return DISP_E_OVERFLOW;
    double rounded = std::nearbyint(value);  // the default rounding mode: half to even
    if (rounded < lowest || rounded > highest) return DISP_E_OVERFLOW;
    out = static_cast<int64_t>(rounded);
    return S_OK;
}

HRESULT toNumber(const Variant& source, VARTYPE target, Variant& out) {
    double value = 0;
    if (HRESULT hr = numericValue(source, target, value); failed(hr)) return hr;
    int64_t n = 0;
    HRESULT hr = S_OK;
    switch (target) {
    case VT_BOOL: out = Variant(value != 0.0); return S_OK;
    case VT_R8: out = Variant(value); return S_OK;
    case VT_R4:
        if (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max())
            return DISP_E_OVERFLOW;
        out = Variant(static_cast<float>(value));
        return S_OK;
    case VT_I2:
        hr = toInteger(value, -32768.0, 32767.0, n);
        if (succeeded(hr)) out = Variant(static_cast<int16_t>(n));
        return hr;
    case VT_I4:
        hr = toInteger(value, -2147483648.0, 2147483647.0, n);
        if (succeeded(hr)) out = Variant(static_cast<int32_t>(n));
        return hr;
    case VT_UI1:
        hr = toInteger(value, 0.0, 255.0, n);
        if (succeeded(hr)) out = Variant(static_cast<uint8_t>(n));
        return hr;
    default: return DISP_E_TYPEMISMATCH;
    }
}

HRESULT toText(const Variant& source, Variant& out) {
    switch (source.vt()) {
    case VT_EMPTY: out = Variant(std::string()); return S_OK;
    case VT_I2: out = Variant(std::to_string(source.i2())); return S_OK;
    case VT_I4: out = Variant(std::to_string(source.i4())); return S_OK;
    case VT_UI1: out = Variant(std::to_string(source.ui1())); return S_OK;
    case VT_R4: out = Variant(formatNumber(source.r4())); return S_OK;
    case VT_R8: out = Variant(formatNumber(source.r8())); return S_OK;
    case VT_BOOL: out = Variant(source.isTrue() ? "True" : "False"); return S_OK;
    default: return DISP_E_TYPEMISMATCH;
    }
}

template <class T>
std::string shortestDigits(T value) {
    if (value == 0) return "0";  // also folds -0
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    if (ec != std::errc()) return "0";
    std::string s(buf, end);
    for (char& c : s) {
        if (c == 'e') c = 'E';
    }
    return s;
}

// An object as IDispatch: an IUnknown object through its interface lookup.
// The result shares ownership with the object it came from.
HRESULT toDispatch(const Variant& source, Variant& out) {
    if (source.vt() == VT_EMPTY) {
        out = Variant(DispatchPtr());
        return S_OK;
    }
    if (source.vt() != VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
    const UnknownPtr object = source.unknown();
    if (!object) {
        out = Variant(DispatchPtr());
        return S_OK;
    }
    auto* dispatch = queryInterface<IDispatch>(*object, IID_IDispatch);
    if (!dispatch) return E_NOINTERFACE;
    out = Variant(DispatchPtr(object, dispatch));
    return S_OK;
}

HRESULT toUnknown(const Variant& source, Variant& out) {
    if (source.vt() == VT_EMPTY) {
        out = Variant(UnknownPtr());
        return S_OK;
    }
    if (source.vt() != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
    const DispatchPtr object = source.dispatch();
    if (!object) {
        out = Variant(UnknownPtr());
        return S_OK;
    }
    auto* unknown = dynamic_cast<IUnknown*>(object.get());
    if (!unknown) return E_NOINTERFACE;
    out = Variant(UnknownPtr(object, unknown));
    return S_OK;
}

}  // namespace

std::string formatNumber(double value) { return shortestDigits(value); }
std::string formatNumber(float value) { return shortestDigits(value); }

Variant Variant::null() {
    Variant v;
    v.vt_ = VT_NULL;
    return v;
}

Variant Variant::missing() { return error(DISP_E_PARAMNOTFOUND); }

Variant Variant::error(HRESULT code) {
    Variant v;
    v.vt_ = VT_ERROR;
    v.scalar_.scode = code;
    return v;
}

Variant Variant::bytes(std::vector<uint8_t> items, int32_t lowerBound) {
    return Variant(ByteArray{lowerBound, std::move(items)});
}

Variant Variant::strings(std::vector<std::string> items, int32_t lowerBound) {
    return Variant(StringArray{lowerBound, std::move(items)});
}

Variant Variant::makeRef(VARTYPE type, void* slot) {
    Variant v;
    v.vt_ = static_cast<VARTYPE>(VT_BYREF | type);
    v.scalar_.ref = slot;
    return v;
}

Variant Variant::byRef(Variant* slot) { return makeRef(VT_VARIANT, slot); }
Variant Variant::byRef(int16_t* slot) { return makeRef(VT_I2, slot); }
Variant Variant::byRef(int32_t* slot) { return makeRef(VT_I4, slot); }
Variant Variant::byRef(float* slot) { return makeRef(VT_R4, slot); }
Variant Variant::byRef(double* slot) { return makeRef(VT_R8, slot); }
Variant Variant::byRefBool(VARIANT_BOOL* slot) { return makeRef(VT_BOOL, slot); }
Variant Variant::byRef(std::string* slot) { return makeRef(VT_BSTR, slot); }
Variant Variant::byRef(DispatchPtr* slot) { return makeRef(VT_DISPATCH, slot); }
Variant Variant::byRef(UnknownPtr* slot) { return makeRef(VT_UNKNOWN, slot); }
Variant Variant::byRef(ByteArray* slot) { return makeRef(VT_ARRAY | VT_UI1, slot); }
Variant Variant::byRef(StringArray* slot) { return makeRef(VT_ARRAY | VT_BSTR, slot); }

Variant Variant::referenceTo(Variant& target) {
    switch (target.vt_) {
    case VT_I2: return makeRef(VT_I2, &target.scalar_.i2);
    case VT_I4: return makeRef(VT_I4, &target.scalar_.i4);
    case VT_UI1: return makeRef(VT_UI1, &target.scalar_.ui1);
    case VT_R4: return makeRef(VT_R4, &target.scalar_.r4);
    case VT_R8: return makeRef(VT_R8, &target.scalar_.r8);
    case VT_BOOL: return makeRef(VT_BOOL, &target.scalar_.boolean);
    case VT_BSTR: return makeRef(VT_BSTR, &std::get<std::string>(target.heavy_));
    case VT_DISPATCH: return makeRef(VT_DISPATCH, &std::get<DispatchPtr>(target.heavy_));
    case VT_UNKNOWN: return makeRef(VT_UNKNOWN, &std::get<UnknownPtr>(target.heavy_));
    case VT_ARRAY | VT_UI1: return makeRef(VT_ARRAY | VT_UI1, &std::get<ByteArray>(target.heavy_));
    case VT_ARRAY | VT_BSTR:
        return makeRef(VT_ARRAY | VT_BSTR, &std::get<StringArray>(target.heavy_));
    default: return byRef(&target);
    }
}

const std::string& Variant::str() const {
    const auto* s = std::get_if<std::string>(&heavy_);
    return vt_ == VT_BSTR && s ? *s : kEmptyString;
}

DispatchPtr Variant::dispatch() const {
    const auto* d = std::get_if<DispatchPtr>(&heavy_);
    return vt_ == VT_DISPATCH && d ? *d : nullptr;
}

UnknownPtr Variant::unknown() const {
    const auto* u = std::get_if<UnknownPtr>(&heavy_);
    return vt_ == VT_UNKNOWN && u ? *u : nullptr;
}

const ByteArray& Variant::byteArray() const {
    const auto* a = std::get_if<ByteArray>(&heavy_);
    return vt_ == (VT_ARRAY | VT_UI1) && a ? *a : kEmptyBytes;
}

const StringArray& Variant::stringArray() const {
    const auto* a = std::get_if<StringArray>(&heavy_);
    return vt_ == (VT_ARRAY | VT_BSTR) && a ? *a : kEmptyStrings;
}

Variant Variant::dereferenced() const {
    if (!isByRef()) return *this;
    void* p = scalar_.ref;
    if (p == nullptr) return Variant();
    switch (vt_ & ~VT_BYREF) {
    case VT_VARIANT: {
        const Variant& inner = *static_cast<const Variant*>(p);
        if (!inner.isByRef()) return inner;
        // One more level for a variant that holds a typed reference; a chain
        // of variant references is not followed (it could loop).
        if ((inner.vt_ & ~VT_BYREF) == VT_VARIANT) return Variant();
        return inner.dereferenced();
    }
    case VT_I2: return Variant(*static_cast<int16_t*>(p));
    case VT_I4: return Variant(*static_cast<int32_t*>(p));
    case VT_UI1: return Variant(*static_cast<uint8_t*>(p));
    case VT_R4: return Variant(*static_cast<float*>(p));
    case VT_R8: return Variant(*static_cast<double*>(p));
    case VT_BOOL: return Variant(*static_cast<VARIANT_BOOL*>(p) != VARIANT_FALSE);
    case VT_BSTR: return Variant(*static_cast<std::string*>(p));
    case VT_DISPATCH: return Variant(*static_cast<DispatchPtr*>(p));
    case VT_UNKNOWN: return Variant(*static_cast<UnknownPtr*>(p));
    case VT_ARRAY | VT_UI1: return Variant(*static_cast<ByteArray*>(p));
    case VT_ARRAY | VT_BSTR: return Variant(*static_cast<StringArray*>(p));
    default: return Variant();
    }
}

HRESULT Variant::assignThroughRef(const Variant& value) const {
    if (!isByRef() || scalar_.ref == nullptr) return E_INVALIDARG;
    void* p = scalar_.ref;
    VARTYPE base = vt_ & ~VT_BYREF;
    if (base == VT_VARIANT) {
        Variant& inner = *static_cast<Variant*>(p);
        // A variant that holds a typed reference passes the write on to it.
        if (inner.isByRef() && (inner.vt_ & ~VT_BYREF) != VT_VARIANT)
            return inner.assignThroughRef(value);
        inner = value.dereferenced();
        return S_OK;
    }
    Variant converted;
    if (HRESULT hr = value.changeType(base, converted); failed(hr)) return hr;
    switch (base) {
    case VT_I2: *static_cast<int16_t*>(p) = converted.i2(); break;
    case VT_I4: *static_cast<int32_t*>(p) = converted.i4(); break;
    case VT_UI1: *static_cast<uint8_t*>(p) = converted.ui1(); break;
    case VT_R4: *static_cast<float*>(p) = converted.r4(); break;
    case VT_R8: *static_cast<double*>(p) = converted.r8(); break;
    case VT_BOOL: *static_cast<VARIANT_BOOL*>(p) = converted.boolValue(); break;
    case VT_BSTR: *static_cast<std::string*>(p) = converted.str(); break;
    case VT_DISPATCH: *static_cast<DispatchPtr*>(p) = converted.dispatch(); break;
    case VT_UNKNOWN: *static_cast<UnknownPtr*>(p) = converted.unknown(); break;
    case VT_ARRAY | VT_UI1: *static_cast<ByteArray*>(p) = converted.byteArray(); break;
    case VT_ARRAY | VT_BSTR: *static_cast<StringArray*>(p) = converted.stringArray(); break;
    default: return DISP_E_TYPEMISMATCH;
    }
    return S_OK;
}

HRESULT Variant::changeType(VARTYPE target, Variant& out) const {
    if (isByRef()) return dereferenced().changeType(target, out);
    if (target == VT_VARIANT || target == vt_) {
        out = *this;
        return S_OK;
    }
    if (vt_ == VT_NULL) return DISP_E_TYPEMISMATCH;
    switch (target) {
    case VT_EMPTY: out = Variant(); return S_OK;
    case VT_I2:
    case VT_I4:
    case VT_UI1:
    case VT_R4:
    case VT_R8:
    case VT_BOOL: return toNumber(*this, target, out);
    case VT_BSTR: return toText(*this, out);
    case VT_DISPATCH: return toDispatch(*this, out);
    case VT_UNKNOWN: return toUnknown(*this, out);
    default: return DISP_E_TYPEMISMATCH;
    }
}

bool valuesEqual(const Variant& a, const Variant& b) {
    if (isNumericType(a.vt()) && isNumericType(b.vt())) {
        double x = 0, y = 0;
        numericValue(a, VT_R8, x);
        numericValue(b, VT_R8, y);
        return x == y;
    }
    return a == b;
}

bool Variant::operator==(const Variant& other) const {
    if (vt_ != other.vt_) return false;
    if (isByRef()) return scalar_.ref == other.scalar_.ref;
    switch (vt_) {
    case VT_EMPTY:
    case VT_NULL: return true;
    case VT_I2: return scalar_.i2 == other.scalar_.i2;
    case VT_I4: return scalar_.i4 == other.scalar_.i4;
    case VT_UI1: return scalar_.ui1 == other.scalar_.ui1;
    case VT_R4: return scalar_.r4 == other.scalar_.r4;
    case VT_R8: return scalar_.r8 == other.scalar_.r8;
    case VT_BOOL: return scalar_.boolean == other.scalar_.boolean;
    case VT_ERROR: return scalar_.scode == other.scalar_.scode;
    default: return heavy_ == other.heavy_;
    }
}

std::string typeName(VARTYPE type) {
    std::string suffix = (type & VT_ARRAY) ? "()" : "";
    switch (type & VT_TYPEMASK) {
    case VT_EMPTY: return "Empty" + suffix;
    case VT_NULL: return "Null" + suffix;
    case VT_I2: return "Integer" + suffix;
    case VT_I4: return "Long" + suffix;
    case VT_R4: return "Single" + suffix;
    case VT_R8: return "Double" + suffix;
    case VT_BSTR: return "String" + suffix;
    case VT_DISPATCH: return "Object" + suffix;
    case VT_UNKNOWN: return "Unknown" + suffix;
    case VT_ERROR: return "Error" + suffix;
    case VT_BOOL: return "Boolean" + suffix;
    case VT_VARIANT: return "Variant" + suffix;
    case VT_UI1: return "Byte" + suffix;
    default: return "Type" + std::to_string(type & VT_TYPEMASK) + suffix;
    }
}

}  // namespace orrery::automation
