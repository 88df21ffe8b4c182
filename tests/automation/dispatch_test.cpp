#include "platform/automation/dispatch.h"

#include <gtest/gtest.h>

#include <memory>

using namespace orrery::automation;

namespace {

enum class Mode { Off = 0, Pan = 2, Zoom = 3 };

// A small control-like class served entirely from its dispatch table.
class Gauge : public DispatchObject<Gauge> {
public:
    static const DispatchTable<Gauge>& dispatchTable();

    int32_t add(int32_t a, int32_t b) { return a + b; }
    void area(int32_t& left, int32_t& top, float& width) const {
        left = left + 1;  // reads the caller's value, then replaces it
        top = 20;
        width = 2.5f;
    }
    void reset() { zoom_ = 1.0; title_.clear(); resets_++; }
    double zoom() const { return zoom_; }
    void setZoom(double z) { zoom_ = z; }
    std::string title() const { return title_; }
    void setTitle(const std::string& t) { title_ = t; }
    int32_t hwnd() const { return 42; }
    int16_t reads() { return ++reads_; }  // a getter with an effect: not const
    Mode mode() const { return mode_; }
    void setMode(Mode m) { mode_ = m; }

    int resets_ = 0;
    int16_t reads_ = 0;
    std::string secret_;

private:
    double zoom_ = 1.0;
    std::string title_;
    Mode mode_ = Mode::Pan;
};

using Table = DispatchTable<Gauge>;

const Table& Gauge::dispatchTable() {
    static const Table table("Gauge", {
        Table::method("Add", 0x60030001, &Gauge::add, {arg("a"), defaultArg("b", 10)}),
        Table::method("GetArea", 0x60030002, &Gauge::area,
                      {arg("nLeft"), arg("nTop"), arg("nWidth")}),
        Table::method("Reset", 0x60030003, &Gauge::reset),
        Table::method("Divide", 0x60030004, {arg("a", VT_R8), arg("b", VT_R8)}, VT_R8,
                      [](Gauge&, Call& c) {
                          if (c.r8(1) == 0) return c.fail(E_INVALIDARG, "Division by zero");
                          c.setResult(c.r8(0) / c.r8(1));
                      }),
        Table::method("Greet", 0x60030005,
                      {arg("sName", VT_BSTR), optionalArg("vTimes", VT_VARIANT)}, VT_BSTR,
                      [](Gauge&, Call& c) {
                          int n = c.isMissing(1) ? 1 : c.i4(1);
                          std::string s;
                          for (int i = 0; i < n; ++i) s += "hi " + c.str(0) + ";";
                          c.setResult(s);
                      }),
        Table::method("Swap", 0x60030006, {refArg("a", VT_BSTR), refArg("b", VT_BSTR)}, VT_EMPTY,
                      [](Gauge&, Call& c) {
                          std::string a = c.str(0);
                          c.setOut(0, c.str(1));
                          c.setOut(1, a);
                      }),
        Table::method("Open", 0x60030007,
                      {arg("sHost", VT_BSTR), optionalArg("sLogin", VT_BSTR, ""),
                       optionalArg("nPort", VT_I4, 21), optionalArg("nScale", VT_R4, 1.0)},
                      VT_BSTR,
                      [](Gauge&, Call& c) {
                          c.setResult(c.str(0) + "|" + c.str(1) + "|" + std::to_string(c.i4(2)) +
                                      "|" + formatNumber(c.r4(3)));
                      }),
        Table::property("ZOOM", 0x6803002A, &Gauge::zoom, &Gauge::setZoom),
        Table::property("Title", 0x68030001, &Gauge::title, &Gauge::setTitle),
        Table::readOnly("hwnd", 0x68030017, &Gauge::hwnd),
        Table::readOnly("Reads", 0x68030003, &Gauge::reads),
        Table::property("Mode", 0x68030027, &Gauge::mode, &Gauge::setMode),
        Table::property("Secret", 0x68030002, VT_BSTR, nullptr,
                        [](Gauge& g, Call& c) { g.secret_ = c.str(0); }),
    });
    return table;
}

// Calls a member by name the way a script host does.
struct Script {
    Gauge gauge;
    Variant result;
    ExcepInfo excep;
    uint32_t argError = 99;

    HRESULT call(std::string_view name, std::vector<Variant> args = {}) {
        return run(name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args);
    }
    HRESULT get(std::string_view name) {
        std::vector<Variant> none;
        return run(name, DISPATCH_PROPERTYGET, none);
    }
    HRESULT let(std::string_view name, Variant value) {
        std::vector<Variant> args{std::move(value)};
        return run(name, DISPATCH_PROPERTYPUT, args);
    }
    HRESULT run(std::string_view name, uint16_t flags, std::vector<Variant>& args) {
        result = Variant::error(E_FAIL);
        argError = 99;
        return invokeByName(gauge, name, flags, args, &result, &excep, &argError);
    }
};

}  // namespace

TEST(DispatchTable, RowsAreSound) {
    EXPECT_TRUE(Gauge::dispatchTable().problems().empty());
}

TEST(DispatchNames, AreFoundWhateverTheirCase) {
    Gauge g;
    DISPID a = 0, b = 0, c = 0;
    EXPECT_EQ(g.GetIDsOfNames("Add", a), S_OK);
    EXPECT_EQ(g.GetIDsOfNames("aDD", b), S_OK);
    EXPECT_EQ(g.GetIDsOfNames("zoom", c), S_OK);
    EXPECT_EQ(a, 0x60030001);
    EXPECT_EQ(b, a);
    EXPECT_EQ(c, 0x6803002A);
    EXPECT_EQ(g.GetIDsOfNames("Subtract", a), DISP_E_UNKNOWNNAME);
    Script s;
    EXPECT_EQ(s.call("Subtract", {Variant(1)}), DISP_E_UNKNOWNNAME);
}

TEST(DispatchMethods, FillDefaultsForOmittedOptionalParameters) {
    Script s;
    ASSERT_EQ(s.call("add", {Variant(5)}), S_OK);
    EXPECT_EQ(s.result.vt(), VT_I4);
    EXPECT_EQ(s.result.i4(), 15);
    ASSERT_EQ(s.call("Add", {Variant(5), Variant::missing()}), S_OK);
    EXPECT_EQ(s.result.i4(), 15);
    ASSERT_EQ(s.call("Add", {Variant(5), Variant(1)}), S_OK);
    EXPECT_EQ(s.result.i4(), 6);

    ASSERT_EQ(s.call("Open", {Variant("host")}), S_OK);
    EXPECT_EQ(s.result.str(), "host||21|1");
    ASSERT_EQ(s.call("Open", {Variant("h"), Variant::missing(), Variant(80)}), S_OK);
    EXPECT_EQ(s.result.str(), "h||80|1");
    ASSERT_EQ(s.call("Open", {Variant("h"), Variant("me"), Variant::missing(), Variant(0.5)}), S_OK);
    EXPECT_EQ(s.result.str(), "h|me|21|0.5");

    // An optional Variant without a default lets the member see the omission.
    ASSERT_EQ(s.call("Greet", {Variant("Ann")}), S_OK);
    EXPECT_EQ(s.result.str(), "hi Ann;");
    ASSERT_EQ(s.call("Greet", {Variant("Bo"), Variant(int16_t(2))}), S_OK);
    EXPECT_EQ(s.result.str(), "hi Bo;hi Bo;");
}

TEST(DispatchMethods, ConvertArgumentsWithTheVariantRules) {
    Script s;
    ASSERT_EQ(s.call("Add", {Variant("7"), Variant(2.5)}), S_OK);
    EXPECT_EQ(s.result.i4(), 9);  // 2.5 rounds to 2
    ASSERT_EQ(s.call("Add", {Variant(true), Variant(int16_t(3))}), S_OK);
    EXPECT_EQ(s.result.i4(), 2);
    int32_t byRefArg = 4;
    ASSERT_EQ(s.call("Add", {Variant::byRef(&byRefArg)}), S_OK);
    EXPECT_EQ(s.result.i4(), 14);
    ASSERT_EQ(s.call("Divide", {Variant(1), Variant("4")}), S_OK);
    EXPECT_EQ(s.result.vt(), VT_R8);
    EXPECT_EQ(s.result.r8(), 0.25);
}

TEST(DispatchMethods, ReportBadCountsAndTypesWithTheArgumentIndex) {
    Script s;
    EXPECT_EQ(s.call("Add"), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(s.call("Add", {Variant(1), Variant(2), Variant(3)}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(s.call("Reset", {Variant(1)}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(s.call("Add", {Variant::missing(), Variant(2)}), DISP_E_PARAMNOTOPTIONAL);
    EXPECT_EQ(s.argError, 0u);
    EXPECT_EQ(s.call("Add", {Variant(1), Variant("x")}), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(s.argError, 1u);
    EXPECT_EQ(s.call("Add", {Variant::null()}), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(s.argError, 0u);
    EXPECT_EQ(s.call("Add", {Variant(1), Variant(3e9)}), DISP_E_OVERFLOW);
    EXPECT_EQ(s.argError, 1u);
    EXPECT_EQ(s.call("Open", {Variant("h"), Variant(DispatchPtr())}), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(s.argError, 1u);
    EXPECT_EQ(s.gauge.resets_, 0);
}

TEST(DispatchMethods, WriteByReferenceOutputsBack) {
    Script s;
    // Typed references, as a compiled caller passes its variables; the Single
    // output lands in a Double variable converted.
    int32_t left = 9, top = 0;
    double width = 0;
    std::vector<Variant> args{Variant::byRef(&left), Variant::byRef(&top), Variant::byRef(&width)};
    ASSERT_EQ(s.run("GetArea", DISPATCH_METHOD, args), S_OK);
    EXPECT_EQ(left, 10);
    EXPECT_EQ(top, 20);
    EXPECT_EQ(width, 2.5);
    EXPECT_TRUE(s.result.isEmpty());

    // Plain variants, as a script host passes them: the outputs replace them.
    std::vector<Variant> plain{Variant("1"), Variant(), Variant()};
    ASSERT_EQ(s.run("getarea", DISPATCH_METHOD, plain), S_OK);
    EXPECT_EQ(plain[0].vt(), VT_I4);
    EXPECT_EQ(plain[0].i4(), 2);
    EXPECT_EQ(plain[1].i4(), 20);
    EXPECT_EQ(plain[2].vt(), VT_R4);
    EXPECT_EQ(plain[2].r4(), 2.5f);

    // A variable too small for the output: the call reports the overflow.
    int16_t small = 32767;
    std::vector<Variant> tight{Variant::byRef(&small), Variant(0), Variant(0)};
    EXPECT_EQ(s.run("GetArea", DISPATCH_METHOD, tight), DISP_E_OVERFLOW);
    EXPECT_EQ(s.argError, 0u);
    EXPECT_EQ(small, 32767);

    std::string a = "left", b = "right";
    std::vector<Variant> strs{Variant::byRef(&a), Variant::byRef(&b)};
    ASSERT_EQ(s.run("Swap", DISPATCH_METHOD, strs), S_OK);
    EXPECT_EQ(a, "right");
    EXPECT_EQ(b, "left");
}

TEST(DispatchProperties, GetAndLetThroughTheTable) {
    Script s;
    ASSERT_EQ(s.get("Zoom"), S_OK);
    EXPECT_EQ(s.result.vt(), VT_R8);
    EXPECT_EQ(s.result.r8(), 1.0);
    ASSERT_EQ(s.let("zoom", Variant("2.5")), S_OK);
    EXPECT_EQ(s.gauge.zoom(), 2.5);
    EXPECT_TRUE(s.result.isEmpty());
    ASSERT_EQ(s.call("ZOOM"), S_OK);  // method|get reads the property
    EXPECT_EQ(s.result.r8(), 2.5);

    ASSERT_EQ(s.let("Title", Variant(12)), S_OK);
    EXPECT_EQ(s.gauge.title(), "12");

    ASSERT_EQ(s.get("Mode"), S_OK);
    EXPECT_EQ(s.result.vt(), VT_I4);
    EXPECT_EQ(s.result.i4(), 2);
    ASSERT_EQ(s.let("Mode", Variant(int16_t(3))), S_OK);
    EXPECT_EQ(s.gauge.mode(), Mode::Zoom);

    ASSERT_EQ(s.get("hWnd"), S_OK);
    EXPECT_EQ(s.result.i4(), 42);
    ASSERT_EQ(s.get("Reads"), S_OK);
    ASSERT_EQ(s.get("Reads"), S_OK);
    EXPECT_EQ(s.result.vt(), VT_I2);
    EXPECT_EQ(s.result.i2(), 2);
    EXPECT_EQ(s.let("Reads", Variant(0)), DISP_E_MEMBERNOTFOUND);

    ASSERT_EQ(s.call("Reset"), S_OK);
    EXPECT_EQ(s.gauge.zoom(), 1.0);
    EXPECT_EQ(s.gauge.resets_, 1);
}

TEST(DispatchProperties, WrongKindsAndCountsAreRefused) {
    Script s;
    EXPECT_EQ(s.let("hwnd", Variant(5)), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(s.get("Secret"), DISP_E_MEMBERNOTFOUND);
    ASSERT_EQ(s.let("Secret", Variant("pw")), S_OK);
    EXPECT_EQ(s.gauge.secret_, "pw");
    EXPECT_EQ(s.let("Add", Variant(1)), DISP_E_MEMBERNOTFOUND);
    std::vector<Variant> none;
    EXPECT_EQ(s.run("Zoom", DISPATCH_METHOD, none), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(s.run("Reset", DISPATCH_PROPERTYGET, none), DISP_E_MEMBERNOTFOUND);
    std::vector<Variant> two{Variant(1), Variant(2)};
    EXPECT_EQ(s.run("Zoom", DISPATCH_PROPERTYPUT, two), DISP_E_BADPARAMCOUNT);
    std::vector<Variant> one{Variant(1)};
    EXPECT_EQ(s.run("Zoom", DISPATCH_PROPERTYGET, one), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(s.let("Zoom", Variant("big")), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(s.argError, 0u);
    EXPECT_EQ(s.gauge.zoom(), 1.0);

    Variant r;
    EXPECT_EQ(s.gauge.Invoke(0x6003FFFF, DISPATCH_METHOD, {}, &r, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
}

TEST(DispatchErrors, HandlerFailuresBecomeExceptionsWithInformation) {
    Script s;
    EXPECT_EQ(s.call("Divide", {Variant(1), Variant(0)}), DISP_E_EXCEPTION);
    EXPECT_EQ(s.excep.code, E_INVALIDARG);
    EXPECT_EQ(s.excep.source, "Gauge");
    EXPECT_EQ(s.excep.description, "Division by zero");
    // Without an ExcepInfo the failure is still reported.
    std::vector<Variant> args{Variant(1), Variant(0)};
    EXPECT_EQ(invokeByName(s.gauge, "Divide", DISPATCH_METHOD, args), DISP_E_EXCEPTION);
}

TEST(TypeDescriptionOfATable, ListsEveryMemberWithItsShape) {
    Gauge g;
    const TypeDescription* d = g.typeDescription();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->members().size(), 13u);
    const MemberInfo* area = d->find("getarea");
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(area->id, 0x60030002);
    ASSERT_EQ(area->params.size(), 3u);
    EXPECT_TRUE(area->params[0].byRef);
    EXPECT_EQ(area->params[2].type, VT_R4);
    EXPECT_EQ(d->find(0x68030017)->kind, MemberKind::PropertyGet);

    std::string text = d->toText();
    EXPECT_NE(text.find("0x60030001  Function Add(a As Long, Optional b As Long = 10) As Long\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Sub GetArea(ByRef nLeft As Long, ByRef nTop As Long, ByRef nWidth As Single)"),
              std::string::npos);
    EXPECT_NE(text.find("Optional sLogin As String = \"\""), std::string::npos);
    EXPECT_NE(text.find("Optional vTimes As Variant)"), std::string::npos);
    EXPECT_NE(text.find("0x68030017  Property hwnd As Long (read-only)"), std::string::npos);
    EXPECT_NE(text.find("Property Secret As String (write-only)"), std::string::npos);
    EXPECT_NE(text.find("0x6803002A  Property ZOOM As Double\n"), std::string::npos);
}

TEST(TypeDescriptionOfATable, ReportsFaultyRows) {
    static const Table bad("Bad", {
        Table::method("Add", 1, &Gauge::add, {arg("a")}),  // two parameters in C++
        Table::method("add", 2, &Gauge::reset),
        Table::method("Other", 2, {optionalArg("x", VT_I4, 1), arg("y", VT_I4)}, VT_EMPTY, nullptr),
    });
    std::vector<std::string> p = bad.problems();
    ASSERT_EQ(p.size(), 4u);
    EXPECT_NE(p[0].find("parameter names"), std::string::npos);
    EXPECT_NE(p[1].find("name used twice"), std::string::npos);
    EXPECT_NE(p[2].find("identifier used twice"), std::string::npos);
    EXPECT_NE(p[3].find("after an optional"), std::string::npos);
    // The mismatched row is listed but never called with the wrong arguments.
    Gauge g;
    std::vector<Variant> args{Variant(1)};
    Variant r;
    EXPECT_EQ(bad.invoke(g, 1, DISPATCH_METHOD, args, &r, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
}
