// Automation variants: the tagged values that cross the dispatch interface,
// events and property bags, with the platform's type numbers and its
// conversion rules (the behaviour of VariantChangeType, with invariant number
// formatting). Strings are UTF-8 inside.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "orrery/automation/hresult.h"

namespace orrery::automation {

using VARTYPE = uint16_t;
inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_NULL = 1;
inline constexpr VARTYPE VT_I2 = 2;
inline constexpr VARTYPE VT_I4 = 3;
inline constexpr VARTYPE VT_R4 = 4;
inline constexpr VARTYPE VT_R8 = 5;
inline constexpr VARTYPE VT_BSTR = 8;
inline constexpr VARTYPE VT_DISPATCH = 9;
inline constexpr VARTYPE VT_ERROR = 10;
inline constexpr VARTYPE VT_BOOL = 11;
inline constexpr VARTYPE VT_VARIANT = 12;
inline constexpr VARTYPE VT_UNKNOWN = 13;
inline constexpr VARTYPE VT_UI1 = 17;
inline constexpr VARTYPE VT_ARRAY = 0x2000;
inline constexpr VARTYPE VT_BYREF = 0x4000;
inline constexpr VARTYPE VT_TYPEMASK = 0x0FFF;

// The automation Boolean: True is -1, False is 0.
using VARIANT_BOOL = int16_t;
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

class IDispatch;
using DispatchPtr = std::shared_ptr<IDispatch>;
class IUnknown;
using UnknownPtr = std::shared_ptr<IUnknown>;

// A one-dimensional automation array (SAFEARRAY) with its lower bound.
template <class T>
struct SafeArray {
    int32_t lowerBound = 0;
    std::vector<T> items;
    int32_t upperBound() const { return lowerBound + static_cast<int32_t>(items.size()) - 1; }
    bool operator==(const SafeArray&) const = default;
};
using ByteArray = SafeArray<uint8_t>;
using StringArray = SafeArray<std::string>;

class Variant {
public:
    Variant() = default;  // Empty
    Variant(int16_t v) : vt_(VT_I2) { scalar_.i2 = v; }
    Variant(int32_t v) : vt_(VT_I4) { scalar_.i4 = v; }
    Variant(uint8_t v) : vt_(VT_UI1) { scalar_.ui1 = v; }
    Variant(float v) : vt_(VT_R4) { scalar_.r4 = v; }
    Variant(double v) : vt_(VT_R8) { scalar_.r8 = v; }
    Variant(bool v) : vt_(VT_BOOL) { scalar_.boolean = v ? VARIANT_TRUE : VARIANT_FALSE; }
    Variant(const char* s) : vt_(VT_BSTR), heavy_(std::string(s)) {}
    Variant(std::string s) : vt_(VT_BSTR), heavy_(std::move(s)) {}
    Variant(std::string_view s) : vt_(VT_BSTR), heavy_(std::string(s)) {}
    Variant(DispatchPtr d) : vt_(VT_DISPATCH), heavy_(std::move(d)) {}
    Variant(UnknownPtr u) : vt_(VT_UNKNOWN), heavy_(std::move(u)) {}
    Variant(ByteArray a) : vt_(VT_ARRAY | VT_UI1), heavy_(std::move(a)) {}
    Variant(StringArray a) : vt_(VT_ARRAY | VT_BSTR), heavy_(std::move(a)) {}
    // Any other pointer would silently become a Boolean: refuse it.
    template <class T>
    Variant(T*) = delete;

    static Variant null();
    // The marker a caller passes for an omitted optional parameter
    // (VT_ERROR carrying DISP_E_PARAMNOTFOUND).
    static Variant missing();
    static Variant error(HRESULT code);
    static Variant bytes(std::vector<uint8_t> items, int32_t lowerBound = 0);
    static Variant strings(std::vector<std::string> items, int32_t lowerBound = 0);

    // By-reference variants: VT_BYREF combined with the slot's type. The slot
    // must outlive the variant; writes through `assignThroughRef` land in it.
    static Variant byRef(Variant* slot);  // VT_BYREF | VT_VARIANT
    static Variant byRef(int16_t* slot);
    static Variant byRef(int32_t* slot);
    static Variant byRef(float* slot);
    static Variant byRef(double* slot);
    static Variant byRefBool(VARIANT_BOOL* slot);
    static Variant byRef(std::string* slot);
    static Variant byRef(DispatchPtr* slot);
    static Variant byRef(UnknownPtr* slot);
    static Variant byRef(ByteArray* slot);
    static Variant byRef(StringArray* slot);
    // A typed reference to the value held by `target` itself (VT_BYREF | its
    // type), the way a caller passes its own typed variable. An Empty, Null or
    // Error target is referenced as VT_BYREF | VT_VARIANT.
    static Variant referenceTo(Variant& target);

    VARTYPE vt() const { return vt_; }
    bool isEmpty() const { return vt_ == VT_EMPTY; }
    bool isNull() const { return vt_ == VT_NULL; }
    bool isMissing() const { return vt_ == VT_ERROR && scalar_.scode == DISP_E_PARAMNOTFOUND; }
    bool isByRef() const { return (vt_ & VT_BYREF) != 0; }
    bool isArray() const { return (vt_ & VT_ARRAY) != 0; }

    // Typed reads of a value of exactly that type (after `dereferenced()` for a
    // by-reference variant). A variant of another type reads as 0, False, an
    // empty string, a null object or an empty array; use `changeType` to
    // convert.
    int16_t i2() const { return vt_ == VT_I2 ? scalar_.i2 : 0; }
    int32_t i4() const { return vt_ == VT_I4 ? scalar_.i4 : 0; }
    uint8_t ui1() const { return vt_ == VT_UI1 ? scalar_.ui1 : 0; }
    float r4() const { return vt_ == VT_R4 ? scalar_.r4 : 0.0f; }
    double r8() const { return vt_ == VT_R8 ? scalar_.r8 : 0.0; }
    VARIANT_BOOL boolValue() const { return vt_ == VT_BOOL ? scalar_.boolean : VARIANT_FALSE; }
    bool isTrue() const { return vt_ == VT_BOOL && scalar_.boolean != VARIANT_FALSE; }
    HRESULT scode() const { return vt_ == VT_ERROR ? scalar_.scode : S_OK; }
    const std::string& str() const;
    DispatchPtr dispatch() const;
    UnknownPtr unknown() const;
    const ByteArray& byteArray() const;
    const StringArray& stringArray() const;

    // The value a by-reference variant points at (a plain copy of any other
    // variant). A reference to a variant that itself holds a reference is
    // followed once more, as the platform does.
    Variant dereferenced() const;
    // Converts `value` to the referenced slot's type and stores it there.
    // E_INVALIDARG when this variant is not a reference; the conversion's
    // error when the value does not fit the slot (the slot is unchanged).
    HRESULT assignThroughRef(const Variant& value) const;

    // Converts to `target` (a scalar type, VT_BSTR, VT_DISPATCH, VT_VARIANT or
    // an array type) following the platform's rules:
    // - Empty becomes 0, False or "" (and a null object); Null converts only
    //   to Null or Variant, otherwise DISP_E_TYPEMISMATCH.
    // - Numbers convert among themselves; doubles round half to even when they
    //   become integers (2.5 -> 2, 3.5 -> 4); out of range -> DISP_E_OVERFLOW.
    // - Booleans are -1/0 as numbers and "True"/"False" as strings; a number
    //   becomes True when non-zero; "True"/"False" (any case) or a numeric
    //   string become Booleans.
    // - Numbers become strings with invariant formatting ("2.5", "1E+20");
    //   strings become numbers by invariant parsing (surrounding blanks are
    //   allowed, anything else is DISP_E_TYPEMISMATCH).
    // - Objects: an IUnknown object becomes an Object through its IDispatch
    //   interface (E_NOINTERFACE when it answers none), an Object becomes an
    //   IUnknown object when it answers IUnknown; Empty gives a null object.
    // - Arrays and errors convert only to their own type.
    // A by-reference source is dereferenced first; the result is never a
    // reference.
    HRESULT changeType(VARTYPE target, Variant& out) const;

    // Equality as the property bag uses it: numbers and Booleans compare by
    // value whatever their types (Integer 10 equals Long 10 and Double 10.0),
    // strings compare exactly, everything else needs the same type and value.
    friend bool valuesEqual(const Variant& a, const Variant& b);
    // Exact equality: same type and same value.
    bool operator==(const Variant& other) const;

private:
    union Scalar {
        int16_t i2;
        int32_t i4;
        uint8_t ui1;
        float r4;
        double r8;
        VARIANT_BOOL boolean;
        HRESULT scode;
        void* ref;
    };
    using Heavy = std::variant<std::monostate, std::string, DispatchPtr, UnknownPtr, ByteArray, StringArray>;

    static Variant makeRef(VARTYPE type, void* slot);

    VARTYPE vt_ = VT_EMPTY;
    Scalar scalar_{.r8 = 0.0};
    Heavy heavy_;
};

// Platform names of the type (for messages and type descriptions): "Long",
// "Integer", "Single", "Double", "Boolean", "String", "Object", "Variant",
// "Byte", "Byte()", "String()", "Empty", "Null", "Error", "Unknown".
std::string typeName(VARTYPE type);

// Invariant text of a number, the way conversions to String write it:
// shortest round-trip digits, "E" for exponents ("0.1", "1E+20", "-2.5").
std::string formatNumber(double value);
std::string formatNumber(float value);

}  // namespace orrery::automation
