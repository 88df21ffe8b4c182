#include "orrery/automation/events.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/type_description.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace orrery::automation;

namespace {

const TypeDescription& viewerEvents() {
    static const TypeDescription events("__Viewer", {
        event("ZoomChange", 2),
        event("FilesDrop", 7, {refArg("sFilesPath", VT_ARRAY | VT_BSTR), arg("nFilesCount", VT_I4)}),
        event("KeyUpControl", 12, {refArg("KeyAscii", VT_I2), refArg("shift", VT_I2)}),
        event("BeforeClose", 30, {arg("sReason", VT_BSTR), refArg("Cancel", VT_BOOL)}),
        event("PdfPasswordRequest", 25, {refArg("Password", VT_BSTR)}),
    });
    return events;
}

// A host's sink served from its own dispatch table, as a script host builds
// one: it handles events by name.
class HostSink : public DispatchObject<HostSink> {
public:
    static const DispatchTable<HostSink>& dispatchTable() {
        using T = DispatchTable<HostSink>;
        static const T table("HostSink", {
            T::method("BeforeClose", 30, {arg("sReason", VT_BSTR), refArg("Cancel", VT_BOOL)},
                      VT_EMPTY,
                      [](HostSink& s, Call& c) {
                          s.reasons.push_back(c.str(0));
                          if (c.str(0) == "unsaved") c.setOut(1, true);
                      }),
            T::method("KeyUpControl", 12, {refArg("KeyAscii", VT_I2), refArg("shift", VT_I2)},
                      VT_EMPTY,
                      [](HostSink& s, Call& c) {
                          s.keys.push_back(c.i2(0));
                          if (c.i2(0) == 107) c.setOut(0, int16_t(0));  // swallow the wheel notch
                      }),
        });
        return table;
    }
    std::vector<std::string> reasons;
    std::vector<int> keys;
};

// Records every event by name, the way the command-line host prints them.
struct Recorder {
    std::vector<std::string> lines;
    std::shared_ptr<FunctionSink> sink() {
        return std::make_shared<FunctionSink>(
            [this](DISPID id, std::span<Variant> args) {
                std::string line = viewerEvents().find(id)->name;
                for (const Variant& a : args) {
                    Variant text;
                    line += " " + (succeeded(a.changeType(VT_BSTR, text)) ? text.str() : typeName(a.dereferenced().vt()));
                }
                lines.push_back(line);
                return S_OK;
            },
            &viewerEvents());
    }
};

}  // namespace

TEST(EventTable, DescribesEventsForHosts) {
    EXPECT_TRUE(viewerEvents().problems().empty());
    std::string text = viewerEvents().toText();
    EXPECT_NE(text.find("12          Event KeyUpControl(ByRef KeyAscii As Integer, ByRef shift As Integer)\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Event ZoomChange()"), std::string::npos);
    FunctionSink sink(nullptr, &viewerEvents());
    DISPID id = 0;
    EXPECT_EQ(sink.GetIDsOfNames("filesdrop", id), S_OK);
    EXPECT_EQ(id, 7);
    EXPECT_EQ(sink.GetIDsOfNames("Nothing", id), DISP_E_UNKNOWNNAME);
}

TEST(EventSource, ReadsByReferenceValuesBackAfterTheSinks) {
    EventSource source(viewerEvents());
    auto host = std::make_shared<HostSink>();
    ASSERT_NE(source.connect(host), 0u);

    std::vector<Variant> args{Variant("unsaved"), Variant(false)};
    ASSERT_EQ(source.raise(30, args), S_OK);
    EXPECT_EQ(args[1].vt(), VT_BOOL);
    EXPECT_EQ(args[1].boolValue(), VARIANT_TRUE);
    EXPECT_EQ(host->reasons, std::vector<std::string>{"unsaved"});

    std::vector<Variant> keep{Variant("saved"), Variant(false)};
    ASSERT_EQ(source.raise(30, keep), S_OK);
    EXPECT_EQ(keep[1].boolValue(), VARIANT_FALSE);

    // Arguments are converted to the declared types before the sinks see them.
    std::vector<Variant> keys{Variant(107), Variant(0)};
    ASSERT_EQ(source.raise(12, keys), S_OK);
    EXPECT_EQ(keys[0].vt(), VT_I2);
    EXPECT_EQ(keys[0].i2(), 0);
    std::vector<Variant> other{Variant(int16_t(65)), Variant(int16_t(1))};
    ASSERT_EQ(source.raise(12, other), S_OK);
    EXPECT_EQ(other[0].i2(), 65);
    EXPECT_EQ(host->keys, (std::vector<int>{107, 65}));
}

TEST(EventSource, SinksSeeEarlierChangesButNotEachOthersCopies) {
    EventSource source(viewerEvents());
    std::vector<std::string> seen;
    auto first = std::make_shared<FunctionSink>([&](DISPID, std::span<Variant> args) {
        seen.push_back(args[0].str());
        args[0] = Variant("changed");  // a by-value copy: nobody else sees this
        return args[1].assignThroughRef(Variant(true));
    });
    auto second = std::make_shared<FunctionSink>([&](DISPID, std::span<Variant> args) {
        seen.push_back(args[0].str() + "/" + (args[1].dereferenced().isTrue() ? "cancel" : "go"));
        return S_OK;
    });
    source.connect(first);
    source.connect(second);
    std::vector<Variant> args{Variant("r"), Variant(false)};
    ASSERT_EQ(source.raise(30, args), S_OK);
    EXPECT_EQ(seen, (std::vector<std::string>{"r", "r/cancel"}));
    EXPECT_EQ(args[0].str(), "r");
    EXPECT_TRUE(args[1].isTrue());

    // A sink that writes a value the declared type cannot hold is refused at
    // the write; the caller's value stays as it was.
    EventSource files(viewerEvents());
    auto wrong = std::make_shared<FunctionSink>([&](DISPID, std::span<Variant> a) {
        return a[0].assignThroughRef(Variant("one path"));
    });
    files.connect(wrong);
    std::vector<Variant> drop{Variant::strings({"a.png"}), Variant(1)};
    EXPECT_EQ(files.raise(7, drop), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(drop[0].stringArray().items, std::vector<std::string>{"a.png"});

    EventSource pw(viewerEvents());
    pw.connect(std::make_shared<FunctionSink>([&](DISPID, std::span<Variant> a) {
        return a[0].assignThroughRef(Variant("pw1"));
    }));
    std::vector<Variant> password{Variant()};
    ASSERT_EQ(pw.raise(25, password), S_OK);
    EXPECT_EQ(password[0].vt(), VT_BSTR);
    EXPECT_EQ(password[0].str(), "pw1");
}

TEST(EventSource, RefusesUnknownEventsAndBadArgumentsWithoutCallingSinks) {
    EventSource source(viewerEvents());
    Recorder rec;
    source.connect(rec.sink());
    EXPECT_EQ(source.raise(99), DISP_E_MEMBERNOTFOUND);
    std::vector<Variant> one{Variant(1)};
    EXPECT_EQ(source.raise(2, one), DISP_E_BADPARAMCOUNT);
    std::vector<Variant> bad{Variant("not a key"), Variant(0)};
    EXPECT_EQ(source.raise(12, bad), DISP_E_TYPEMISMATCH);
    EXPECT_TRUE(rec.lines.empty());
    ASSERT_EQ(source.raise(2), S_OK);
    std::vector<Variant> files{Variant::strings({"a", "b"}), Variant(2)};
    ASSERT_EQ(source.raise(7, files), S_OK);
    EXPECT_EQ(rec.lines, (std::vector<std::string>{"ZoomChange", "FilesDrop String() 2"}));
}

TEST(EventSource, ConnectionsAndFailingSinks) {
    EventSource source(viewerEvents());
    int calls = 0;
    uint32_t selfCookie = 0;
    auto quitter = std::make_shared<FunctionSink>([&](DISPID, std::span<Variant>) {
        ++calls;
        source.disconnect(selfCookie);  // leaves during the event
        return E_FAIL;
    });
    auto counter = std::make_shared<FunctionSink>([&](DISPID, std::span<Variant>) {
        ++calls;
        return S_OK;
    });
    selfCookie = source.connect(quitter);
    uint32_t counterCookie = source.connect(counter);
    EXPECT_NE(selfCookie, counterCookie);
    EXPECT_EQ(source.connect(nullptr), 0u);
    EXPECT_EQ(source.raise(2), E_FAIL);  // the first failure, after every sink ran
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(source.sinkCount(), 1u);
    EXPECT_EQ(source.raise(2), S_OK);
    EXPECT_EQ(calls, 3);
    EXPECT_TRUE(source.disconnect(counterCookie));
    EXPECT_FALSE(source.disconnect(counterCookie));
    EXPECT_EQ(source.raise(2), S_OK);
    EXPECT_EQ(calls, 3);
}
