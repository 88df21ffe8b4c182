#include "orrery/automation/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace orrery::automation;

namespace {

Variant convert(const Variant& v, VARTYPE to, HRESULT expected = S_OK) {
    Variant out;
    EXPECT_EQ(v.changeType(to, out), expected) << "to " << typeName(to);
    return out;
}

}  // namespace

TEST(VariantTypes, KeepThePlatformNumbers) {
    EXPECT_EQ(Variant().vt(), 0);
    EXPECT_EQ(Variant::null().vt(), 1);
    EXPECT_EQ(Variant(int16_t(1)).vt(), 2);
    EXPECT_EQ(Variant(1).vt(), 3);
    EXPECT_EQ(Variant(1.0f).vt(), 4);
    EXPECT_EQ(Variant(1.0).vt(), 5);
    EXPECT_EQ(Variant("x").vt(), 8);
    EXPECT_EQ(Variant(DispatchPtr()).vt(), 9);
    EXPECT_EQ(Variant::missing().vt(), 10);
    EXPECT_EQ(Variant::missing().scode(), static_cast<HRESULT>(0x80020004));
    EXPECT_TRUE(Variant::missing().isMissing());
    EXPECT_FALSE(Variant::error(E_FAIL).isMissing());
    EXPECT_EQ(Variant(true).vt(), 11);
    EXPECT_EQ(Variant(true).boolValue(), -1);
    EXPECT_EQ(Variant(false).boolValue(), 0);
    EXPECT_EQ(Variant(uint8_t(7)).vt(), 17);
    EXPECT_EQ(Variant::bytes({1, 2}).vt(), 0x2011);
    EXPECT_EQ(Variant::strings({"a"}).vt(), 0x2008);
    int32_t slot = 0;
    EXPECT_EQ(Variant::byRef(&slot).vt(), 0x4003);
    Variant v;
    EXPECT_EQ(Variant::byRef(&v).vt(), 0x400C);
    EXPECT_EQ(DISP_E_OVERFLOW, static_cast<HRESULT>(0x8002000A));
    EXPECT_EQ(DISP_E_TYPEMISMATCH, static_cast<HRESULT>(0x80020005));
    EXPECT_EQ(E_NOINTERFACE, static_cast<HRESULT>(0x80004002));
}

TEST(VariantConversion, IntegerRangesOverflowAtTheirEdges) {
    EXPECT_EQ(convert(Variant(32767), VT_I2).i2(), 32767);
    convert(Variant(32768), VT_I2, DISP_E_OVERFLOW);
    EXPECT_EQ(convert(Variant(-32768), VT_I2).i2(), -32768);
    convert(Variant(-32769), VT_I2, DISP_E_OVERFLOW);
    EXPECT_EQ(convert(Variant(2147483647.0), VT_I4).i4(), 2147483647);
    convert(Variant(2147483648.0), VT_I4, DISP_E_OVERFLOW);
    EXPECT_EQ(convert(Variant(-2147483648.0), VT_I4).i4(), std::numeric_limits<int32_t>::min());
    convert(Variant(256), VT_UI1, DISP_E_OVERFLOW);
    convert(Variant(-1), VT_UI1, DISP_E_OVERFLOW);
    convert(Variant(1e39), VT_R4, DISP_E_OVERFLOW);
    convert(Variant(std::nan("")), VT_I4, DISP_E_OVERFLOW);
    // 32767.5 rounds to the even 32768, which no longer fits.
    convert(Variant(32767.5), VT_I2, DISP_E_OVERFLOW);
    EXPECT_EQ(convert(Variant(32766.5), VT_I2).i2(), 32766);
}

TEST(VariantConversion, DoublesRoundHalfToEven) {
    EXPECT_EQ(convert(Variant(2.5), VT_I4).i4(), 2);
    EXPECT_EQ(convert(Variant(3.5), VT_I4).i4(), 4);
    EXPECT_EQ(convert(Variant(0.5), VT_I4).i4(), 0);
    EXPECT_EQ(convert(Variant(1.5), VT_I2).i2(), 2);
    EXPECT_EQ(convert(Variant(-2.5), VT_I4).i4(), -2);
    EXPECT_EQ(convert(Variant(2.5000001), VT_I4).i4(), 3);
    EXPECT_EQ(convert(Variant(2.5f), VT_I4).i4(), 2);
    EXPECT_EQ(convert(Variant("2.5"), VT_I2).i2(), 2);
}

TEST(VariantConversion, BooleansFromNumbersAndWords) {
    EXPECT_EQ(convert(Variant("True"), VT_BOOL).boolValue(), -1);
    EXPECT_EQ(convert(Variant(" false "), VT_BOOL).boolValue(), 0);
    EXPECT_EQ(convert(Variant("TRUE"), VT_BOOL).boolValue(), -1);
    EXPECT_EQ(convert(Variant(5), VT_BOOL).boolValue(), -1);
    EXPECT_EQ(convert(Variant(0.25), VT_BOOL).boolValue(), -1);
    EXPECT_EQ(convert(Variant(0), VT_BOOL).boolValue(), 0);
    EXPECT_EQ(convert(Variant("0"), VT_BOOL).boolValue(), 0);
    convert(Variant("yes"), VT_BOOL, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(convert(Variant(true), VT_I4).i4(), -1);
    EXPECT_EQ(convert(Variant(true), VT_I2).i2(), -1);
    EXPECT_EQ(convert(Variant(true), VT_BSTR).str(), "True");
    EXPECT_EQ(convert(Variant(false), VT_BSTR).str(), "False");
    // A word is a Boolean, not a number.
    convert(Variant("True"), VT_I4, DISP_E_TYPEMISMATCH);
    convert(Variant(true), VT_UI1, DISP_E_OVERFLOW);
}

TEST(VariantConversion, NumbersAndStringsUseInvariantText) {
    EXPECT_EQ(convert(Variant(2.5), VT_BSTR).str(), "2.5");
    EXPECT_EQ(convert(Variant(0.1), VT_BSTR).str(), "0.1");
    EXPECT_EQ(convert(Variant(1.1f), VT_BSTR).str(), "1.1");
    EXPECT_EQ(convert(Variant(1e20), VT_BSTR).str(), "1E+20");
    EXPECT_EQ(convert(Variant(-0.0), VT_BSTR).str(), "0");
    EXPECT_EQ(convert(Variant(-42), VT_BSTR).str(), "-42");
    EXPECT_EQ(convert(Variant(int16_t(-7)), VT_BSTR).str(), "-7");
    EXPECT_EQ(convert(Variant(" 42 "), VT_I4).i4(), 42);
    EXPECT_EQ(convert(Variant("-1.5E2"), VT_R8).r8(), -150.0);
    EXPECT_EQ(convert(Variant("+3"), VT_I2).i2(), 3);
    EXPECT_FLOAT_EQ(convert(Variant("0.5"), VT_R4).r4(), 0.5f);
    convert(Variant("32768"), VT_I2, DISP_E_OVERFLOW);
    convert(Variant("1e999"), VT_R8, DISP_E_OVERFLOW);
    convert(Variant(""), VT_I4, DISP_E_TYPEMISMATCH);
    convert(Variant("12abc"), VT_I4, DISP_E_TYPEMISMATCH);
    convert(Variant("1,5"), VT_R8, DISP_E_TYPEMISMATCH);
    convert(Variant("inf"), VT_R8, DISP_E_TYPEMISMATCH);
    convert(Variant("nan"), VT_R8, DISP_E_TYPEMISMATCH);
}

TEST(VariantConversion, EmptyNullObjectsAndArrays) {
    EXPECT_EQ(convert(Variant(), VT_I4).i4(), 0);
    EXPECT_EQ(convert(Variant(), VT_I4).vt(), VT_I4);
    EXPECT_EQ(convert(Variant(), VT_BSTR).str(), "");
    EXPECT_EQ(convert(Variant(), VT_BOOL).boolValue(), 0);
    convert(Variant::null(), VT_I4, DISP_E_TYPEMISMATCH);
    convert(Variant::null(), VT_BSTR, DISP_E_TYPEMISMATCH);
    convert(Variant::null(), VT_BOOL, DISP_E_TYPEMISMATCH);
    EXPECT_TRUE(convert(Variant::null(), VT_VARIANT).isNull());
    EXPECT_EQ(convert(Variant(), VT_DISPATCH).vt(), VT_DISPATCH);
    convert(Variant(5), VT_DISPATCH, DISP_E_TYPEMISMATCH);
    convert(Variant(DispatchPtr()), VT_I4, DISP_E_TYPEMISMATCH);
    convert(Variant::missing(), VT_I4, DISP_E_TYPEMISMATCH);
    convert(Variant::bytes({1, 2}), VT_BSTR, DISP_E_TYPEMISMATCH);
    convert(Variant("ab"), VT_ARRAY | VT_UI1, DISP_E_TYPEMISMATCH);
    Variant a = convert(Variant::bytes({1, 2, 3}, 1), VT_ARRAY | VT_UI1);
    EXPECT_EQ(a.byteArray().lowerBound, 1);
    EXPECT_EQ(a.byteArray().upperBound(), 3);
    EXPECT_EQ(a.byteArray().items, (std::vector<uint8_t>{1, 2, 3}));
}

TEST(VariantAccessors, ReadOtherTypesAsZero) {
    Variant s("text");
    EXPECT_EQ(s.i4(), 0);
    EXPECT_FALSE(s.isTrue());
    EXPECT_EQ(Variant(5).str(), "");
    EXPECT_TRUE(Variant(5).byteArray().items.empty());
    EXPECT_EQ(Variant(5).dispatch(), nullptr);
}

TEST(VariantReferences, ReadAndWriteThroughTypedSlots) {
    int16_t i2 = 7;
    Variant r = Variant::byRef(&i2);
    EXPECT_TRUE(r.isByRef());
    EXPECT_EQ(r.dereferenced().i2(), 7);
    EXPECT_EQ(convert(r, VT_BSTR).str(), "7");
    EXPECT_EQ(r.assignThroughRef(Variant(2.5)), S_OK);
    EXPECT_EQ(i2, 2);
    EXPECT_EQ(r.assignThroughRef(Variant(40000)), DISP_E_OVERFLOW);
    EXPECT_EQ(i2, 2);  // unchanged on failure
    EXPECT_EQ(r.assignThroughRef(Variant::null()), DISP_E_TYPEMISMATCH);

    VARIANT_BOOL cancel = VARIANT_FALSE;
    EXPECT_EQ(Variant::byRefBool(&cancel).assignThroughRef(Variant("True")), S_OK);
    EXPECT_EQ(cancel, VARIANT_TRUE);

    std::string s = "a";
    EXPECT_EQ(Variant::byRef(&s).assignThroughRef(Variant(1.5)), S_OK);
    EXPECT_EQ(s, "1.5");

    StringArray files;
    EXPECT_EQ(Variant::byRef(&files).assignThroughRef(Variant::strings({"x", "y"}, 1)), S_OK);
    EXPECT_EQ(files.items.size(), 2u);
    EXPECT_EQ(files.lowerBound, 1);

    EXPECT_EQ(Variant(5).assignThroughRef(Variant(1)), E_INVALIDARG);
}

TEST(VariantReferences, VariantReferencesAndReferencesToOwnStorage) {
    Variant target(5);
    Variant r = Variant::byRef(&target);
    EXPECT_EQ(r.assignThroughRef(Variant("now a string")), S_OK);
    EXPECT_EQ(target.vt(), VT_BSTR);
    EXPECT_EQ(r.dereferenced().str(), "now a string");

    // A typed reference to a variant's own value keeps the variant's type.
    Variant held(int16_t(3));
    Variant typed = Variant::referenceTo(held);
    EXPECT_EQ(typed.vt(), VT_BYREF | VT_I2);
    EXPECT_EQ(typed.assignThroughRef(Variant(9.0)), S_OK);
    EXPECT_EQ(held.vt(), VT_I2);
    EXPECT_EQ(held.i2(), 9);

    // A variant reference to a variant holding a typed reference writes through.
    int32_t slot = 0;
    Variant inner = Variant::byRef(&slot);
    EXPECT_EQ(Variant::byRef(&inner).assignThroughRef(Variant(12)), S_OK);
    EXPECT_EQ(slot, 12);
    EXPECT_EQ(Variant::byRef(&inner).dereferenced().i4(), 12);

    // A chain of variant references is not followed (no loop).
    Variant self;
    self = Variant::byRef(&self);
    EXPECT_TRUE(self.dereferenced().isEmpty());
}

TEST(VariantEquality, ValuesCompareAcrossNumericTypes) {
    EXPECT_TRUE(valuesEqual(Variant(int16_t(10)), Variant(10)));
    EXPECT_TRUE(valuesEqual(Variant(10.0), Variant(10)));
    EXPECT_TRUE(valuesEqual(Variant(true), Variant(-1)));
    EXPECT_FALSE(valuesEqual(Variant(true), Variant(1)));
    EXPECT_FALSE(valuesEqual(Variant("10"), Variant(10)));
    EXPECT_TRUE(valuesEqual(Variant("a"), Variant(std::string("a"))));
    EXPECT_FALSE(valuesEqual(Variant(), Variant(0)));
    EXPECT_TRUE(valuesEqual(Variant::bytes({1}), Variant::bytes({1})));
    EXPECT_FALSE(valuesEqual(Variant::bytes({1}, 0), Variant::bytes({1}, 1)));
    EXPECT_FALSE(Variant(int16_t(10)) == Variant(10));
}
