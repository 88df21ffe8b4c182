// DispatchTable<T>: the one declarative table from which a class serves the
// members of its dispatch interface (orrery/automation/dispatch.h): dispatch,
// argument conversion, defaults, by-reference outputs, errors, and its type
// description.
//
// Arguments are passed IN CALL ORDER: args[0] is the first parameter (the
// platform's DISPPARAMS holds them reversed; we do not). For a property put
// the new value is the last (for our properties: the only) argument.
#pragma once
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "orrery/automation/dispatch.h"
#include "platform/automation/member_error.h"
#include "platform/automation/type_description.h"
#include "orrery/automation/variant.h"

namespace orrery::automation {

// What a handler sees: the arguments converted to their declared types (with
// defaults filled in), and where it leaves by-reference outputs, its result or
// its error.
class Call {
public:
    size_t size() const { return args_.size(); }
    // Argument `i` (call order); Empty past the end.
    const Variant& arg(size_t i) const;
    bool isMissing(size_t i) const { return arg(i).isMissing(); }
    // Numbers and Booleans convert from whatever the argument holds (useful
    // for Variant parameters), reading 0 or False when it cannot; the other
    // accessors read a value of exactly their type.
    int16_t i2(size_t i) const { return as(i, VT_I2).i2(); }
    int32_t i4(size_t i) const { return as(i, VT_I4).i4(); }
    float r4(size_t i) const { return as(i, VT_R4).r4(); }
    double r8(size_t i) const { return as(i, VT_R8).r8(); }
    bool boolean(size_t i) const { return as(i, VT_BOOL).isTrue(); }
    const std::string& str(size_t i) const { return arg(i).str(); }
    DispatchPtr object(size_t i) const { return arg(i).dispatch(); }
    const ByteArray& bytes(size_t i) const { return arg(i).byteArray(); }
    const StringArray& strings(size_t i) const { return arg(i).stringArray(); }

    // Output of by-reference parameter `i`; ignored for other parameters.
    void setOut(size_t i, Variant value);
    void setResult(Variant value) { result_ = std::move(value); }
    // Ends the call as DISP_E_EXCEPTION carrying `code` and `description`.
    void fail(HRESULT code, std::string description);
    bool hasFailed() const { return failed_; }

private:
    friend class DispatchTableBase;
    Variant as(size_t i, VARTYPE type) const;
    std::vector<Variant> args_;
    std::vector<bool> outSet_;
    Variant result_;
    bool failed_ = false;
    HRESULT errorCode_ = S_OK;
    std::string errorText_;
};

// The part of a dispatch table that does not depend on the class.
class DispatchTableBase {
public:
    const TypeDescription& description() const { return description_; }
    HRESULT idOfName(std::string_view name, DISPID& id) const;

protected:
    enum class Access { Method, Get, Let };
    explicit DispatchTableBase(TypeDescription description) : description_(std::move(description)) {}

    // Finds the member, decides the access from `flags` and converts the
    // arguments into `call`. Returns the member's index in the table.
    HRESULT bind(DISPID id, uint16_t flags, std::span<Variant> args, Call& call, size_t& index,
                 Access& access, uint32_t* argError) const;
    // Writes outputs back, converts the result, and turns a handler failure
    // into DISP_E_EXCEPTION.
    HRESULT finish(size_t index, Access access, Call& call, std::span<Variant> args,
                   Variant* result, ExcepInfo* excepInfo, uint32_t* argError) const;

private:
    TypeDescription description_;
};

namespace detail {

// The automation type of a C++ parameter or result type.
template <class V>
struct AutomationType;
template <> struct AutomationType<int16_t> { static constexpr VARTYPE vt = VT_I2; static int16_t get(const Variant& v) { return v.i2(); } };
template <> struct AutomationType<int32_t> { static constexpr VARTYPE vt = VT_I4; static int32_t get(const Variant& v) { return v.i4(); } };
template <> struct AutomationType<uint8_t> { static constexpr VARTYPE vt = VT_UI1; static uint8_t get(const Variant& v) { return v.ui1(); } };
template <> struct AutomationType<float> { static constexpr VARTYPE vt = VT_R4; static float get(const Variant& v) { return v.r4(); } };
template <> struct AutomationType<double> { static constexpr VARTYPE vt = VT_R8; static double get(const Variant& v) { return v.r8(); } };
template <> struct AutomationType<bool> { static constexpr VARTYPE vt = VT_BOOL; static bool get(const Variant& v) { return v.isTrue(); } };
template <> struct AutomationType<std::string> { static constexpr VARTYPE vt = VT_BSTR; static std::string get(const Variant& v) { return v.str(); } };
template <> struct AutomationType<DispatchPtr> { static constexpr VARTYPE vt = VT_DISPATCH; static DispatchPtr get(const Variant& v) { return v.dispatch(); } };
template <> struct AutomationType<UnknownPtr> { static constexpr VARTYPE vt = VT_UNKNOWN; static UnknownPtr get(const Variant& v) { return v.unknown(); } };
template <> struct AutomationType<ByteArray> { static constexpr VARTYPE vt = VT_ARRAY | VT_UI1; static ByteArray get(const Variant& v) { return v.byteArray(); } };
template <> struct AutomationType<StringArray> { static constexpr VARTYPE vt = VT_ARRAY | VT_BSTR; static StringArray get(const Variant& v) { return v.stringArray(); } };
template <> struct AutomationType<Variant> { static constexpr VARTYPE vt = VT_VARIANT; static Variant get(const Variant& v) { return v; } };

// Enumerations travel as Long.
template <class E>
    requires std::is_enum_v<E>
struct AutomationType<E> {
    static constexpr VARTYPE vt = VT_I4;
    static E get(const Variant& v) { return static_cast<E>(v.i4()); }
};

template <class V>
Variant toVariant(const V& value) {
    if constexpr (std::is_enum_v<V>)
        return Variant(static_cast<int32_t>(value));
    else
        return Variant(value);
}

template <class A>
using Plain = std::remove_cvref_t<A>;
template <class A>
inline constexpr bool isOutParam = std::is_lvalue_reference_v<A> && !std::is_const_v<std::remove_reference_t<A>>;

// Completes parameter rows from a signature: types, and by-reference for
// non-const lvalue references. Returns false when the counts differ.
template <class... A>
bool completeParams(std::vector<ParamInfo>& params) {
    if (params.size() != sizeof...(A)) return false;
    if constexpr (sizeof...(A) > 0) {
        constexpr VARTYPE types[] = {AutomationType<Plain<A>>::vt...};
        constexpr bool refs[] = {isOutParam<A>...};
        for (size_t i = 0; i < params.size(); ++i) {
            if (params[i].type == VT_EMPTY) params[i].type = types[i];
            params[i].byRef = params[i].byRef || refs[i];
        }
    }
    return true;
}

template <class T, class Fn, class R, class... A, size_t... I>
void callAdapted(T& self, Fn fn, Call& call, std::index_sequence<I...>) {
    std::tuple<Plain<A>...> values{AutomationType<Plain<A>>::get(call.arg(I))...};
    if constexpr (std::is_void_v<R>) {
        (self.*fn)(std::get<I>(values)...);
    } else {
        call.setResult(toVariant((self.*fn)(std::get<I>(values)...)));
    }
    ((isOutParam<A> ? call.setOut(I, toVariant(std::get<I>(values))) : void()), ...);
}

}  // namespace detail

// The dispatch table of class T: built once from rows, then shared by every
// instance. Each row names a member, its identifier, kind, parameters and
// handler. Two ways to give a handler:
// - a member function, whose signature supplies the parameter and result
//   types (non-const references are by-reference parameters):
//     Table::method("ZoomArea", 0x6003007B, &Orrery::ZoomArea,
//                   {arg("nLeft"), arg("nTop"), arg("nWidth"), arg("nHeight")})
//     Table::property("ZOOM", 0x6803002A, &Orrery::zoom, &Orrery::setZoom)
// - a function (T&, Call&) with the types written in the row:
//     Table::method("SetMouseIcon", 0x600300BA, {arg("sIconPath", VT_BSTR)}, VT_EMPTY,
//                   [](Orrery& o, Call& c) { ... c.fail(E_FAIL, "cannot load"); })
// A row whose parameter names do not match its member function's arity is
// listed by description().problems().
template <class T>
class DispatchTable : public DispatchTableBase {
public:
    using Handler = std::function<void(T&, Call&)>;
    struct Row {
        MemberInfo info;
        Handler call;  // method, or property get
        Handler let;   // property let
        std::string problem;
    };

    DispatchTable(std::string interfaceName, std::vector<Row> rows)
        : DispatchTableBase(TypeDescription(std::move(interfaceName), infos(rows))) {
        for (Row& r : rows) {
            handlers_.push_back({std::move(r.call), std::move(r.let)});
            if (!r.problem.empty()) problems_.push_back(r.info.name + ": " + r.problem);
        }
    }

    // Row problems: those of the description plus signature mismatches.
    std::vector<std::string> problems() const {
        std::vector<std::string> out = problems_;
        for (std::string& p : description().problems()) out.push_back(std::move(p));
        return out;
    }

    HRESULT invoke(T& self, DISPID id, uint16_t flags, std::span<Variant> args, Variant* result,
                   ExcepInfo* excepInfo, uint32_t* argError) const {
        Call call;
        size_t index = 0;
        Access access = Access::Method;
        if (HRESULT hr = bind(id, flags, args, call, index, access, argError); failed(hr)) return hr;
        const Handler& h = access == Access::Let ? handlers_[index].second : handlers_[index].first;
        if (!h) return DISP_E_MEMBERNOTFOUND;  // a faulty row (see problems()) serves nothing
        try {
            h(self, call);
        } catch (const MemberError& error) {
            call.fail(error.code(), error.what());
        }
        return finish(index, access, call, args, result, excepInfo, argError);
    }

    // --- row builders ---------------------------------------------------

    static Row method(std::string name, DISPID id, std::vector<ParamInfo> params, VARTYPE result,
                      Handler handler) {
        for (ParamInfo& p : params) {
            if (p.type == VT_EMPTY) p.type = VT_VARIANT;
        }
        return Row{MemberInfo{std::move(name), id, MemberKind::Method, std::move(params), result},
                   std::move(handler), nullptr, {}};
    }

    template <class R, class... A>
    static Row method(std::string name, DISPID id, R (T::*fn)(A...),
                      std::vector<ParamInfo> params = {}) {
        return adaptMethod<R, A...>(std::move(name), id, fn, std::move(params));
    }
    template <class R, class... A>
    static Row method(std::string name, DISPID id, R (T::*fn)(A...) const,
                      std::vector<ParamInfo> params = {}) {
        return adaptMethod<R, A...>(std::move(name), id, fn, std::move(params));
    }

    // A property; a null `let` makes it read-only, a null `get` write-only.
    static Row property(std::string name, DISPID id, VARTYPE type, Handler get, Handler let) {
        MemberKind kind = get && let ? MemberKind::PropertyGetLet
                          : get      ? MemberKind::PropertyGet
                                     : MemberKind::PropertyLet;
        return Row{MemberInfo{std::move(name), id, kind, {}, type}, std::move(get), std::move(let), {}};
    }

    template <class V, class S>
    static Row property(std::string name, DISPID id, V (T::*get)() const, void (T::*let)(S)) {
        static_assert(std::is_same_v<detail::Plain<V>, detail::Plain<S>>,
                      "getter and setter of a property take the same type");
        return property(std::move(name), id, detail::AutomationType<detail::Plain<V>>::vt,
                        getter(get), setter(let));
    }

    template <class V, class S>
    static Row property(std::string name, DISPID id, V (T::*get)(), void (T::*let)(S)) {
        static_assert(std::is_same_v<detail::Plain<V>, detail::Plain<S>>,
                      "getter and setter of a property take the same type");
        return property(std::move(name), id, detail::AutomationType<detail::Plain<V>>::vt,
                        getter(get), setter(let));
    }

    template <class V>
    static Row readOnly(std::string name, DISPID id, V (T::*get)() const) {
        return property(std::move(name), id, detail::AutomationType<detail::Plain<V>>::vt,
                        getter(get), nullptr);
    }
    // A getter that is not const (it may, for example, refresh a cached value).
    template <class V>
    static Row readOnly(std::string name, DISPID id, V (T::*get)()) {
        return property(std::move(name), id, detail::AutomationType<detail::Plain<V>>::vt,
                        getter(get), nullptr);
    }

private:
    static std::vector<MemberInfo> infos(const std::vector<Row>& rows) {
        std::vector<MemberInfo> out;
        out.reserve(rows.size());
        for (const Row& r : rows) out.push_back(r.info);
        return out;
    }

    template <class R, class... A, class Fn>
    static Row adaptMethod(std::string name, DISPID id, Fn fn, std::vector<ParamInfo> params) {
        std::string problem;
        if (!detail::completeParams<A...>(params)) {
            problem = "parameter names do not match the member function";
            for (ParamInfo& p : params) {
                if (p.type == VT_EMPTY) p.type = VT_VARIANT;
            }
        }
        VARTYPE result = VT_EMPTY;
        if constexpr (!std::is_void_v<R>) result = detail::AutomationType<detail::Plain<R>>::vt;
        Handler h = [fn](T& self, Call& call) {
            detail::callAdapted<T, Fn, R, A...>(self, fn, call, std::index_sequence_for<A...>{});
        };
        if (!problem.empty()) h = nullptr;
        return Row{MemberInfo{std::move(name), id, MemberKind::Method, std::move(params), result},
                   std::move(h), nullptr, std::move(problem)};
    }

    template <class Getter>
    static Handler getter(Getter get) {
        return [get](T& self, Call& call) { call.setResult(detail::toVariant((self.*get)())); };
    }
    template <class S>
    static Handler setter(void (T::*let)(S)) {
        return [let](T& self, Call& call) {
            (self.*let)(detail::AutomationType<detail::Plain<S>>::get(call.arg(0)));
        };
    }

    std::vector<std::pair<Handler, Handler>> handlers_;
    std::vector<std::string> problems_;
};

// IDispatch for a class that keeps its table in `static const
// DispatchTable<T>& dispatchTable()`: every call goes through the table.
template <class T>
class DispatchObject : public IDispatch {
public:
    HRESULT GetIDsOfNames(std::string_view name, DISPID& id) override {
        return T::dispatchTable().idOfName(name, id);
    }
    HRESULT Invoke(DISPID id, uint16_t flags, std::span<Variant> args, Variant* result,
                   ExcepInfo* excepInfo, uint32_t* argError) override {
        return T::dispatchTable().invoke(static_cast<T&>(*this), id, flags, args, result, excepInfo,
                                         argError);
    }
    const TypeDescription* typeDescription() const override {
        return &T::dispatchTable().description();
    }
};

}  // namespace orrery::automation
