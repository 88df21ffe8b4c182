// A member that cannot do what it was asked throws MemberError; the dispatch
// table turns it into DISP_E_EXCEPTION with the code and the description, as
// a runtime error of the control reaches a script host. C++ callers catch it
// themselves.
#pragma once
#include <stdexcept>
#include <string>

#include "orrery/automation/hresult.h"

namespace orrery::automation {

// The control runtime's own error codes, in the facility hosts know them by.
inline constexpr HRESULT CTL_E_OVERFLOW = static_cast<HRESULT>(0x800A0006);
inline constexpr HRESULT CTL_E_INVALIDPROPERTYVALUE = static_cast<HRESULT>(0x800A017C);

class MemberError : public std::runtime_error {
public:
    MemberError(HRESULT code, const std::string& description) : std::runtime_error(description), code_(code) {}
    HRESULT code() const { return code_; }

private:
    HRESULT code_;
};

// A number that does not fit where it has to go.
class OverflowError : public MemberError {
public:
    OverflowError() : MemberError(CTL_E_OVERFLOW, "Overflow") {}
};

// A property value outside what the property can hold.
class InvalidPropertyValue : public MemberError {
public:
    InvalidPropertyValue() : MemberError(CTL_E_INVALIDPROPERTYVALUE, "Invalid property value") {}
};

}  // namespace orrery::automation
