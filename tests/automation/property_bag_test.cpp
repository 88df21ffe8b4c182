#include "platform/automation/property_bag.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "platform/automation/property_notifier.h"

using namespace orrery::automation;

namespace {

BagTextError parseFails(std::string_view text) {
    PropertyBag bag;
    bag.WriteProperty("Left", Variant(1));
    BagTextError error;
    EXPECT_EQ(PropertyBag::fromText(text, bag, &error), E_INVALIDARG) << text;
    EXPECT_EQ(bag.size(), 0u);
    return error;
}

}  // namespace

TEST(PropertyBag, ValuesEqualToTheirDefaultAreNotStored) {
    PropertyBag bag;
    EXPECT_EQ(bag.WriteProperty("ScrollBars", Variant(true), Variant(true)), S_OK);
    EXPECT_EQ(bag.WriteProperty("Zoom", Variant(1.0), Variant(1)), S_OK);  // Double 1 = Long 1
    EXPECT_EQ(bag.WriteProperty("ScrollSmallChange", Variant(int16_t(1)), Variant(1)), S_OK);
    EXPECT_EQ(bag.size(), 0u);
    EXPECT_EQ(bag.toText(), "");

    EXPECT_EQ(bag.WriteProperty("ZoomStep", Variant(20), Variant(10)), S_OK);
    ASSERT_EQ(bag.size(), 1u);
    EXPECT_EQ(bag.ReadProperty("ZoomStep", Variant(10)).i4(), 20);
    // Writing the default later removes the stale entry.
    EXPECT_EQ(bag.WriteProperty("ZoomStep", Variant(10), Variant(10)), S_OK);
    EXPECT_FALSE(bag.contains("ZoomStep"));
    EXPECT_EQ(bag.ReadProperty("ZoomStep", Variant(10)).i4(), 10);
    // Without a default every value is stored.
    EXPECT_EQ(bag.WriteProperty("ZoomStep", Variant(10)), S_OK);
    EXPECT_TRUE(bag.contains("ZoomStep"));
}

TEST(PropertyBag, ReadsWhateverTheCaseAndKeepsTypesAndOrder) {
    PropertyBag bag;
    ASSERT_EQ(bag.WriteProperty("pdfForceTemporaryMode", Variant(true)), S_OK);
    ASSERT_EQ(bag.WriteProperty("Gamma", Variant(1.5f)), S_OK);
    ASSERT_EQ(bag.WriteProperty("BorderStyle", Variant(int16_t(0))), S_OK);
    EXPECT_TRUE(bag.ReadProperty("PdfForceTemporaryMode").isTrue());
    EXPECT_EQ(bag.ReadProperty("gamma").vt(), VT_R4);
    EXPECT_EQ(bag.ReadProperty("BORDERSTYLE", Variant(1)).vt(), VT_I2);
    EXPECT_EQ(bag.ReadProperty("Absent", Variant(int16_t(1))).i2(), 1);
    EXPECT_TRUE(bag.ReadProperty("Absent").isEmpty());

    // Rewriting keeps the place and takes the new spelling.
    ASSERT_EQ(bag.WriteProperty("GAMMA", Variant(2.0f)), S_OK);
    ASSERT_EQ(bag.size(), 3u);
    EXPECT_EQ(bag.entries()[1].name, "GAMMA");
    EXPECT_EQ(bag.entries()[1].value.r4(), 2.0f);
    EXPECT_EQ(bag.entries()[0].name, "pdfForceTemporaryMode");
}

TEST(PropertyBag, RefusesWhatItCannotKeep) {
    PropertyBag bag;
    EXPECT_EQ(bag.WriteProperty("", Variant(1)), E_INVALIDARG);
    EXPECT_EQ(bag.WriteProperty("a=b", Variant(1)), E_INVALIDARG);
    EXPECT_EQ(bag.WriteProperty(" padded", Variant(1)), E_INVALIDARG);
    EXPECT_EQ(bag.WriteProperty("#comment", Variant(1)), E_INVALIDARG);
    EXPECT_EQ(bag.WriteProperty("line\nbreak", Variant(1)), E_INVALIDARG);
    EXPECT_EQ(bag.WriteProperty("Object", Variant(DispatchPtr())), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(bag.WriteProperty("Err", Variant::error(E_FAIL)), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(bag.size(), 0u);
    int32_t held = 7;
    ASSERT_EQ(bag.WriteProperty("Ref", Variant::byRef(&held)), S_OK);
    held = 8;
    EXPECT_EQ(bag.ReadProperty("Ref").vt(), VT_I4);
    EXPECT_EQ(bag.ReadProperty("Ref").i4(), 7);  // the value, not the reference
}

TEST(PropertyBagText, RoundTripsEveryTypeExactly) {
    PropertyBag bag;
    bag.WriteProperty("Nothing", Variant());
    bag.WriteProperty("NoValue", Variant::null());
    bag.WriteProperty("ScrollBars", Variant(false));
    bag.WriteProperty("Small", Variant(uint8_t(200)));
    bag.WriteProperty("BorderStyle", Variant(int16_t(-5)));
    bag.WriteProperty("ImageMaskColor", Variant(65536));
    bag.WriteProperty("Gamma", Variant(1.1f));
    bag.WriteProperty("Zoom", Variant(0.1));
    bag.WriteProperty("Huge", Variant(1e300));
    bag.WriteProperty("Caption", Variant("Say \"hi\"\\\n\r\t\x01 caf\xc3\xa9"));
    bag.WriteProperty("Data", Variant::bytes({0x00, 0xff, 0x10}, 1));
    bag.WriteProperty("NoData", Variant::bytes({}));
    bag.WriteProperty("Files", Variant::strings({"a b.png", "q\"uote", ""}, 0));
    bag.WriteProperty("NoFiles", Variant::strings({}, 3));
    std::string text = bag.toText();
    EXPECT_EQ(text,
              "Nothing = empty:\n"
              "NoValue = null:\n"
              "ScrollBars = bool:False\n"
              "Small = ui1:200\n"
              "BorderStyle = i2:-5\n"
              "ImageMaskColor = i4:65536\n"
              "Gamma = r4:1.1\n"
              "Zoom = r8:0.1\n"
              "Huge = r8:1E+300\n"
              "Caption = string:\"Say \\\"hi\\\"\\\\\\n\\r\\t\\x01 caf\xc3\xa9\"\n"
              "Data = bytes[1]:00ff10\n"
              "NoData = bytes[0]:\n"
              "Files = strings[0]:{\"a b.png\", \"q\\\"uote\", \"\"}\n"
              "NoFiles = strings[3]:{}\n");

    PropertyBag back;
    BagTextError error;
    ASSERT_EQ(PropertyBag::fromText(text, back, &error), S_OK) << error.toString();
    ASSERT_EQ(back.size(), bag.size());
    for (size_t i = 0; i < bag.size(); ++i) {
        EXPECT_EQ(back.entries()[i].name, bag.entries()[i].name);
        EXPECT_TRUE(back.entries()[i].value == bag.entries()[i].value) << bag.entries()[i].name;
    }
    EXPECT_EQ(back.toText(), text);
}

TEST(PropertyBagText, AcceptsCommentsBlankLinesAndWindowsLineEnds) {
    PropertyBag bag;
    BagTextError error;
    ASSERT_EQ(PropertyBag::fromText("# saved form\r\n\r\n  ViewerDrop=bool:True  \r\n"
                                    "Zoom =r8: 2.5\n\tName = string: \"x\" \n",
                                    bag, &error),
              S_OK)
        << error.toString();
    ASSERT_EQ(bag.size(), 3u);
    EXPECT_TRUE(bag.ReadProperty("viewerdrop").isTrue());
    EXPECT_EQ(bag.ReadProperty("Zoom").r8(), 2.5);
    EXPECT_EQ(bag.ReadProperty("Name").str(), "x");
    EXPECT_EQ(bag.ReadProperty("ScrollBars", Variant(true)).boolValue(), VARIANT_TRUE);
}

TEST(PropertyBagText, RejectsMalformedLinesWithTheirNumber) {
    EXPECT_EQ(parseFails("A = i4:1\nB i4:2\n").line, 2u);
    BagTextError e = parseFails("Zoom = r8:1\n\n# c\nZoom = r8:2");
    EXPECT_EQ(e.line, 4u);
    EXPECT_NE(e.message.find("twice"), std::string::npos);
    EXPECT_EQ(e.toString().substr(0, 8), "line 4: ");
    EXPECT_EQ(parseFails("zoom = r8:1\nZOOM = r8:2").line, 2u);
    EXPECT_NE(parseFails("A = i2:32768").message.find("range"), std::string::npos);
    EXPECT_NE(parseFails("A = i4").message.find("':'"), std::string::npos);
    EXPECT_NE(parseFails("A = long:5").message.find("unknown type"), std::string::npos);
    parseFails(" = i4:1");
    parseFails("A = i4:1x");
    parseFails("A = i4:");
    parseFails("A = ui1:-1");
    parseFails("A = r8:");
    parseFails("A = r8:1.5.2");
    parseFails("A = bool:yes");
    parseFails("A = bool:-1");
    parseFails("A = empty:x");
    parseFails("A = string:unquoted");
    parseFails("A = string:\"open");
    parseFails("A = string:\"bad \\q escape\"");
    parseFails("A = string:\"\\x4\"");
    parseFails("A = string:\"a\" trailing");
    parseFails("A = string:\"tab\tinside\"");
    parseFails("A = bytes[0]:abc");
    parseFails("A = bytes[0]:zz");
    parseFails("A = bytes[x]:00");
    parseFails("A = bytes[99999999999]:00");
    parseFails("A = bytes:00");
    parseFails("A = strings[0]:\"a\"");
    parseFails("A = strings[0]:{\"a\" \"b\"}");
    parseFails("A = strings[0]:{\"a\",}");
    parseFails("A = strings[0]:{\"a\"");
}

namespace {

struct Form : IPropertyNotifySink {
    std::vector<DISPID> changed;
    bool refuse = false;
    HRESULT OnChanged(DISPID id) override {
        changed.push_back(id);
        return S_OK;
    }
    HRESULT OnRequestEdit(DISPID) override { return refuse ? S_FALSE : S_OK; }
};

}  // namespace

TEST(PropertyNotifier, TellsSubscribedContainersByIdentifierOrName) {
    static const TypeDescription members("_Viewer", {
        MemberInfo{"ViewerDrop", 0x68030002, MemberKind::PropertyGetLet, {}, VT_BOOL},
        MemberInfo{"ZOOM", 0x6803002A, MemberKind::PropertyGetLet, {}, VT_R8},
        MemberInfo{"Refresh", 0x600300B2, MemberKind::Method, {}, VT_EMPTY},
    });
    PropertyNotifier notifier(&members);
    auto form = std::make_shared<Form>();
    auto other = std::make_shared<Form>();
    uint32_t cookie = notifier.advise(form);
    notifier.advise(other);
    EXPECT_EQ(notifier.changed("Zoom"), S_OK);  // the bag name finds the property ZOOM
    notifier.changed(0x68030002);
    EXPECT_EQ(notifier.changed("Refresh"), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(notifier.changed("Missing"), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(form->changed, (std::vector<DISPID>{0x6803002A, 0x68030002}));
    EXPECT_EQ(other->changed, form->changed);

    EXPECT_TRUE(notifier.requestEdit(0x6803002A));
    other->refuse = true;
    EXPECT_FALSE(notifier.requestEdit(0x6803002A));

    EXPECT_TRUE(notifier.unadvise(cookie));
    notifier.changed(0x6803002A);
    EXPECT_EQ(form->changed.size(), 2u);
    EXPECT_EQ(other->changed.size(), 3u);
    EXPECT_EQ(PropertyNotifier().changed("Zoom"), DISP_E_UNKNOWNNAME);
}
