// A stream as an automation object: what a host passes where a member takes
// a stream object. The object has no members of its own; a member asks it
// for its stream interface through the interface lookup.
#pragma once
#include <memory>

#include "platform/automation/dispatch.h"
#include "orrery/automation/interfaces.h"
#include "platform/automation/stream.h"

namespace orrery::automation {

// The stream interface's identifier.
inline constexpr Guid IID_IStream = makeGuid(0x0000000C, 0x0000, 0x0000, 0xC000000000000046ULL);

class StreamObject final : public IDispatch, public IUnknown {
public:
    explicit StreamObject(std::shared_ptr<IStream> stream) : stream_(std::move(stream)) {}
    HRESULT QueryInterface(const Guid& iid, void** object) override;
    HRESULT GetIDsOfNames(std::string_view name, DISPID& id) override;
    HRESULT Invoke(DISPID id, uint16_t flags, std::span<Variant> args, Variant* result, ExcepInfo* excepInfo,
                   uint32_t* argError) override;
    IStream& stream() const { return *stream_; }

private:
    std::shared_ptr<IStream> stream_;
};

// The stream interface of an object, or null when it answers none.
IStream* streamOf(IDispatch* object);

}  // namespace orrery::automation
