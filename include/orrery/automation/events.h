// Events: the control's outgoing interface. An event source keeps the
// connected sinks and raises events on them, reading by-reference parameters
// back after the sinks return; the events are listed in a type description
// (the control's event table). A host connects an IDispatch of its own, or a
// FunctionSink, to a control's events().
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "orrery/automation/dispatch.h"
#include "orrery/automation/hresult.h"
#include "orrery/automation/variant.h"

namespace orrery::automation {

// The sinks connected to one connection point, each under a cookie (never 0).
template <class Sink>
class Connections {
public:
    // Returns the new cookie, or 0 for a null sink.
    uint32_t connect(std::shared_ptr<Sink> sink) {
        if (!sink) return 0;
        uint32_t cookie = next_++;
        if (next_ == 0) next_ = 1;
        sinks_.emplace_back(cookie, std::move(sink));
        return cookie;
    }
    // False when no sink has that cookie.
    bool disconnect(uint32_t cookie) {
        for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
            if (it->first == cookie) {
                sinks_.erase(it);
                return true;
            }
        }
        return false;
    }
    size_t size() const { return sinks_.size(); }
    // The sinks in connection order. Callers notify this copy, so that a sink
    // that connects or disconnects sinks while it is called changes nothing
    // for the notification in progress.
    std::vector<std::shared_ptr<Sink>> snapshot() const {
        std::vector<std::shared_ptr<Sink>> out;
        out.reserve(sinks_.size());
        for (const auto& s : sinks_) out.push_back(s.second);
        return out;
    }

private:
    std::vector<std::pair<uint32_t, std::shared_ptr<Sink>>> sinks_;
    uint32_t next_ = 1;
};

class EventSource {
public:
    // `events` describes the outgoing interface and must outlive the source.
    explicit EventSource(const TypeDescription& events) : events_(&events) {}

    // Connects a sink; returns its cookie (never 0), or 0 for a null sink.
    uint32_t connect(DispatchPtr sink) { return sinks_.connect(std::move(sink)); }
    // False when no sink has that cookie.
    bool disconnect(uint32_t cookie) { return sinks_.disconnect(cookie); }
    size_t sinkCount() const { return sinks_.size(); }
    const TypeDescription& description() const { return *events_; }

    // Raises event `id` on every connected sink, in connection order, as
    // DISPATCH_METHOD calls. `args` are in call order and are first converted
    // to the declared parameter types. By-reference parameters are passed as
    // references to `args[i]` itself, so each sink sees what the previous one
    // left, and `args[i]` holds the final value when this returns;
    // by-value parameters reach each sink as a fresh copy.
    // DISP_E_MEMBERNOTFOUND for an identifier the table does not list,
    // DISP_E_BADPARAMCOUNT for a wrong count, the conversion's error for an
    // argument of the wrong type (no sink is called then). Otherwise every
    // sink is called, sinks connected or disconnected during the event do
    // not change who receives it, and the result is S_OK or the first
    // failure a sink returned.
    HRESULT raise(DISPID id, std::span<Variant> args = {});

private:
    const TypeDescription* events_;
    Connections<IDispatch> sinks_;
};

// A sink that hands each event to a function, for hosts that handle events in
// code. Names resolve through the event table when one is given.
class FunctionSink final : public IDispatch {
public:
    using Handler = std::function<HRESULT(DISPID id, std::span<Variant> args)>;
    explicit FunctionSink(Handler handler, const TypeDescription* events = nullptr)
        : handler_(std::move(handler)), events_(events) {}

    HRESULT GetIDsOfNames(std::string_view name, DISPID& id) override;
    HRESULT Invoke(DISPID id, uint16_t flags, std::span<Variant> args, Variant* result,
                   ExcepInfo* excepInfo, uint32_t* argError) override;
    const TypeDescription* typeDescription() const override { return events_; }

private:
    Handler handler_;
    const TypeDescription* events_;
};

}  // namespace orrery::automation
