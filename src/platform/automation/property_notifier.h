// Property-change notification: the container subscribes a sink, and the
// control tells it when the setter of a persisted property ran (so that the
// host marks its form as modified) or asks whether a property may change.
#pragma once
#include <cstdint>
#include <memory>
#include <string_view>

#include "orrery/automation/events.h"
#include "platform/automation/type_description.h"

namespace orrery::automation {

class IPropertyNotifySink {
public:
    virtual ~IPropertyNotifySink() = default;
    // The property `id` changed; DISPID_UNKNOWN means "several, re-read all".
    virtual HRESULT OnChanged(DISPID id) = 0;
    // May property `id` change? S_OK allows it, S_FALSE refuses.
    virtual HRESULT OnRequestEdit(DISPID id) = 0;
};

class PropertyNotifier {
public:
    // `members` (optional, must outlive the notifier) resolves property names.
    explicit PropertyNotifier(const TypeDescription* members = nullptr) : members_(members) {}

    uint32_t advise(std::shared_ptr<IPropertyNotifySink> sink) { return sinks_.connect(std::move(sink)); }
    bool unadvise(uint32_t cookie) { return sinks_.disconnect(cookie); }
    size_t sinkCount() const { return sinks_.size(); }

    // Tells every sink that property `id` changed.
    void changed(DISPID id);
    // The same by property name (case ignored); DISP_E_UNKNOWNNAME when the
    // members do not list it or no member description was given.
    HRESULT changed(std::string_view propertyName);
    // True when every sink allows the change (a sink's failure counts as
    // "allowed", as the platform's containers treat it).
    bool requestEdit(DISPID id);

private:
    const TypeDescription* members_;
    Connections<IPropertyNotifySink> sinks_;
};

}  // namespace orrery::automation
