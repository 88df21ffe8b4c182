// The description of an automation interface: each member's name, dispatch
// identifier, kind, parameters and type. A dispatch table and an event table
// produce one from their rows, so that what a host lists is exactly what the
// object serves.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "orrery/automation/dispatch.h"
#include "orrery/automation/variant.h"

namespace orrery::automation {

inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_VALUE = 0;

enum class MemberKind { Method, PropertyGet, PropertyLet, PropertyGetLet, Event };

struct ParamInfo {
    std::string name;
    // The declared type. VT_EMPTY in a row means "take it from the handler's
    // C++ signature" (member-function rows); a row with a hand-written handler
    // that leaves it VT_EMPTY gets VT_VARIANT.
    VARTYPE type = VT_EMPTY;
    bool optional = false;
    // For an optional parameter: the value used when the caller omits it. The
    // missing marker (Variant::missing()) gives a Variant parameter the marker
    // itself and any other type its zero value.
    Variant defaultValue = Variant::missing();
    // The caller's variable receives the value the member leaves in it.
    bool byRef = false;
};

// Row helpers: a plain parameter, an optional one with its default, and a
// by-reference one.
ParamInfo arg(std::string name, VARTYPE type = VT_EMPTY);
ParamInfo optionalArg(std::string name, VARTYPE type, Variant defaultValue = Variant::missing());
// Optional parameter whose type comes from the handler's signature (a member
// function row): defaultArg("nScaleBy", 1.0f).
ParamInfo defaultArg(std::string name, Variant defaultValue);
ParamInfo refArg(std::string name, VARTYPE type = VT_EMPTY);

struct MemberInfo {
    std::string name;
    DISPID id = DISPID_UNKNOWN;
    MemberKind kind = MemberKind::Method;
    // Parameters of a method or an event, in call order; properties have none.
    std::vector<ParamInfo> params;
    // The result type of a method (VT_EMPTY: none) or the type of a property.
    VARTYPE type = VT_EMPTY;

    bool readable() const { return kind == MemberKind::PropertyGet || kind == MemberKind::PropertyGetLet; }
    bool writable() const { return kind == MemberKind::PropertyLet || kind == MemberKind::PropertyGetLet; }
    bool isProperty() const { return readable() || writable(); }
    size_t requiredCount() const;
};

// Row helper for event tables.
MemberInfo event(std::string name, DISPID id, std::vector<ParamInfo> params = {});

class TypeDescription {
public:
    TypeDescription() = default;
    TypeDescription(std::string interfaceName, std::vector<MemberInfo> members);

    const std::string& name() const { return name_; }
    const std::vector<MemberInfo>& members() const { return members_; }
    // Names are found whatever their case, as the platform's dispatch does.
    const MemberInfo* find(std::string_view name) const;
    const MemberInfo* find(DISPID id) const;

    // Mistakes in the rows (repeated names or identifiers, a required
    // parameter after an optional one, a by-reference parameter with a
    // default), one message each; empty for a sound table.
    std::vector<std::string> problems() const;

    // One line per member, in table order, e.g.
    //   0x600300BE  Function DisplayFromMetaFile(sFilePath As String, Optional nScaleBy As Single = 1) As Long
    //   0x6803002A  Property ZOOM As Double
    //   0x68030017  Property hwnd As Long (read-only)
    //   12          Event KeyUpControl(ByRef KeyAscii As Integer, ByRef shift As Integer)
    std::string toText() const;
    static std::string describe(const MemberInfo& member);

private:
    std::string name_;
    std::vector<MemberInfo> members_;
    std::unordered_map<std::string, size_t> byName_;  // folded to lower case
    std::unordered_map<DISPID, size_t> byId_;
};

// ASCII case folding used for member and property names.
std::string foldCase(std::string_view name);

}  // namespace orrery::automation
