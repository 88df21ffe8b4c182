#include "platform/automation/type_description.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>

namespace orrery::automation {

ParamInfo arg(std::string name, VARTYPE type) {
    ParamInfo p;
    p.name = std::move(name);
    p.type = type;
    return p;
}

ParamInfo optionalArg(std::string name, VARTYPE type, Variant defaultValue) {
    ParamInfo p = arg(std::move(name), type);
    p.optional = true;
    p.defaultValue = std::move(defaultValue);
    return p;
}

ParamInfo defaultArg(std::string name, Variant defaultValue) {
    return optionalArg(std::move(name), VT_EMPTY, std::move(defaultValue));
}

ParamInfo refArg(std::string name, VARTYPE type) {
    ParamInfo p = arg(std::move(name), type);
    p.byRef = true;
    return p;
}

size_t MemberInfo::requiredCount() const {
    size_t n = 0;
    for (const ParamInfo& p : params) {
        if (!p.optional) ++n;
    }
    return n;
}

MemberInfo event(std::string name, DISPID id, std::vector<ParamInfo> params) {
    MemberInfo m;
    m.name = std::move(name);
    m.id = id;
    m.kind = MemberKind::Event;
    m.params = std::move(params);
    for (ParamInfo& p : m.params) {
        if (p.type == VT_EMPTY) p.type = VT_VARIANT;
    }
    return m;
}

std::string foldCase(std::string_view name) {
    std::string s(name);
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

TypeDescription::TypeDescription(std::string interfaceName, std::vector<MemberInfo> members)
    : name_(std::move(interfaceName)), members_(std::move(members)) {
    // The first row wins a repeated name or identifier; problems() reports it.
    for (size_t i = 0; i < members_.size(); ++i) {
        byName_.emplace(foldCase(members_[i].name), i);
        byId_.emplace(members_[i].id, i);
    }
}

const MemberInfo* TypeDescription::find(std::string_view name) const {
    auto it = byName_.find(foldCase(name));
    return it == byName_.end() ? nullptr : &members_[it->second];
}

const MemberInfo* TypeDescription::find(DISPID id) const {
    auto it = byId_.find(id);
    return it == byId_.end() ? nullptr : &members_[it->second];
}

std::vector<std::string> TypeDescription::problems() const {
    std::vector<std::string> out;
    std::unordered_set<std::string> names;
    std::unordered_set<DISPID> ids;
    for (const MemberInfo& m : members_) {
        if (!names.insert(foldCase(m.name)).second) out.push_back(m.name + ": name used twice");
        if (!ids.insert(m.id).second) out.push_back(m.name + ": dispatch identifier used twice");
        bool seenOptional = false;
        for (const ParamInfo& p : m.params) {
            if (p.optional) seenOptional = true;
            if (!p.optional && seenOptional)
                out.push_back(m.name + ": required parameter " + p.name + " after an optional one");
            if (p.byRef && p.optional && !p.defaultValue.isMissing())
                out.push_back(m.name + ": by-reference parameter " + p.name + " has a default");
            if (p.type == VT_EMPTY) out.push_back(m.name + ": parameter " + p.name + " has no type");
        }
    }
    return out;
}

namespace {

std::string formatId(DISPID id) {
    char buf[16];
    if (id >= 0 && id <= 0xFFFF)
        std::snprintf(buf, sizeof buf, "%d", id);
    else
        std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(id));
    return buf;
}

std::string formatDefault(const Variant& v) {
    if (v.vt() == VT_BSTR) return "\"" + v.str() + "\"";
    Variant text;
    if (succeeded(v.changeType(VT_BSTR, text))) return text.str();
    return typeName(v.vt());
}

std::string formatParams(const std::vector<ParamInfo>& params) {
    std::string s = "(";
    for (size_t i = 0; i < params.size(); ++i) {
        const ParamInfo& p = params[i];
        if (i) s += ", ";
        if (p.optional) s += "Optional ";
        if (p.byRef) s += "ByRef ";
        s += p.name + " As " + typeName(p.type);
        if (p.optional && !p.defaultValue.isMissing()) s += " = " + formatDefault(p.defaultValue);
    }
    return s + ")";
}

}  // namespace

std::string TypeDescription::describe(const MemberInfo& m) {
    std::string s;
    switch (m.kind) {
    case MemberKind::Method:
        s = (m.type == VT_EMPTY ? "Sub " : "Function ") + m.name + formatParams(m.params);
        if (m.type != VT_EMPTY) s += " As " + typeName(m.type);
        return s;
    case MemberKind::Event: return "Event " + m.name + formatParams(m.params);
    case MemberKind::PropertyGet:
        return "Property " + m.name + " As " + typeName(m.type) + " (read-only)";
    case MemberKind::PropertyLet:
        return "Property " + m.name + " As " + typeName(m.type) + " (write-only)";
    case MemberKind::PropertyGetLet: return "Property " + m.name + " As " + typeName(m.type);
    }
    return s;
}

std::string TypeDescription::toText() const {
    std::string out;
    for (const MemberInfo& m : members_) {
        std::string id = formatId(m.id);
        id.resize(std::max<size_t>(id.size() + 2, 12), ' ');
        out += id + describe(m) + "\n";
    }
    return out;
}

}  // namespace orrery::automation
