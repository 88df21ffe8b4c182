// The table of built-in codecs. Order matters only for sniffing, where the
// most common formats come first.
#include "platform/gdiplus/codecs/codecs.h"

namespace orrery::gdiplus {

const std::vector<const Decoder*>& decoders() {
    static const std::vector<const Decoder*> list = {
    };
    return list;
}

const std::vector<const Encoder*>& encoders() {
    static const std::vector<const Encoder*> list = {
    };
    return list;
}

const Encoder* findEncoder(const Guid& clsid) {
    for (const Encoder* e : encoders())
        if (e->info().clsid == clsid) return e;
    return nullptr;
}

const Decoder* findDecoder(std::span<const uint8_t> head) {
    for (const Decoder* d : decoders())
        if (d->sniff(head)) return d;
    return nullptr;
}

uint32_t encoderParameterValue(const EncoderParameters& params, const Guid& guid, uint32_t fallback) {
    for (const EncoderParameter& p : params)
        if (p.guid == guid && !p.values.empty()) return p.values.front();
    return fallback;
}

}  // namespace orrery::gdiplus
