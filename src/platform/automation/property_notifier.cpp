#include "platform/automation/property_notifier.h"

namespace orrery::automation {

void PropertyNotifier::changed(DISPID id) {
    for (const auto& sink : sinks_.snapshot()) sink->OnChanged(id);
}

HRESULT PropertyNotifier::changed(std::string_view propertyName) {
    const MemberInfo* m = members_ ? members_->find(propertyName) : nullptr;
    if (!m || !m->isProperty()) return DISP_E_UNKNOWNNAME;
    changed(m->id);
    return S_OK;
}

bool PropertyNotifier::requestEdit(DISPID id) {
    bool allowed = true;
    for (const auto& sink : sinks_.snapshot()) {
        if (sink->OnRequestEdit(id) == S_FALSE) allowed = false;
    }
    return allowed;
}

}  // namespace orrery::automation
