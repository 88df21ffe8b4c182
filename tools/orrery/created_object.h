// The object a script or `orrery members` drives: a control made directly,
// or whatever class a program identifier names in the class registry.
#pragma once
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "control/orrery.h"
#include "orrery/automation/interfaces.h"

namespace orrery::tool {

struct CreatedObject {
    std::unique_ptr<automation::IUnknown> object;
    automation::IDispatch* dispatch = nullptr;
    control::Orrery* control = nullptr;  // null for a class without a window
};

// An empty `progId` makes an Orrery control; any other is looked up in the
// registry. The creation's result: on failure `out` holds nothing.
automation::HRESULT createObject(const std::string& progId, window::WindowBackend& backend, CreatedObject& out);

// "0x80004002".
std::string resultCode(automation::HRESULT hr);

// `safety get IID` and `safety set IID MASK ENABLED` on `object`, IID an
// interface name (IDispatch, IPersistStream, ...), a GUID in braces or
// "none": prints what the object answers. False for a malformed line or a
// failed call.
bool safetyCommand(automation::IUnknown& object, const std::vector<std::string>& words, std::ostream& out);

}  // namespace orrery::tool
