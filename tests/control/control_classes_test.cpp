// The two control classes and dummy as hosts reach them: interface lookup,
// object safety on every thread, OrreryCnt's interface against Orrery's, a
// saved form moving between the classes, the shared image store, and the
// class factories with the count that allows unloading.
#include "control/control_class.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "control/class_factory.h"
#include "control/dummy.h"
#include "control/events.h"
#include "imaging/image_table.h"
#include "platform/automation/object_safety.h"
#include "platform/gdiplus/factory.h"
#include "orrery/window/headless_backend.h"
#include "platform/window/control_window.h"
#include "support/test_support.h"

using namespace orrery;
using namespace orrery::automation;

namespace {

const bool kNoPlugin = [] { return setenv("ORRERY_CODEC_PLUGIN", "none", 1) == 0; }();

std::unique_ptr<IUnknown> create(const Guid& clsid, window::WindowBackend& backend) {
    std::unique_ptr<IUnknown> object;
    EXPECT_EQ(control::createInstance(clsid, backend, IID_IUnknown, object), S_OK);
    return object;
}

control::Orrery& asControl(IUnknown& object) { return dynamic_cast<control::Orrery&>(object); }

// Each case runs on Orrery and on OrreryCnt.
class BothClasses : public ::testing::TestWithParam<const control::ControlClass*> {
protected:
    void SetUp() override {
        ASSERT_TRUE(kNoPlugin);
        object = create(GetParam()->clsid, backend);
        ASSERT_NE(object, nullptr);
        safety = queryInterface<IObjectSafety>(*object, IID_IObjectSafety);
        ASSERT_NE(safety, nullptr);
    }

    window::HeadlessBackend backend;
    std::unique_ptr<IUnknown> object;
    IObjectSafety* safety = nullptr;
};

INSTANTIATE_TEST_SUITE_P(Controls, BothClasses,
                         ::testing::Values(&control::orreryClass(), &control::orreryCntClass()),
                         [](const auto& info) { return std::string(info.param->name); });

void writeRedPicture(const std::string& path) {
    std::unique_ptr<gdiplus::Image> bitmap;
    ASSERT_EQ(gdiplus::createBitmapFromScan0(8, 6, 0, gdiplus::PixelFormat24bppRGB, nullptr, bitmap),
              gdiplus::Status::Ok);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) bitmap->setPixel(x, y, 0xFFFF0000);
    ASSERT_EQ(bitmap->save(path, gdiplus::CodecClsid::PNG, {}), gdiplus::Status::Ok);
}

}  // namespace

TEST_P(BothClasses, SafetyIsClaimedForScriptingOnIDispatchAndForDataOnPersistence) {
    uint32_t supported = 0, enabled = 99;
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(&IID_IDispatch, &supported, &enabled), S_OK);
    EXPECT_EQ(supported, 3u);
    EXPECT_EQ(enabled, 1u);
    for (const Guid* persistence : {&IID_IPersistPropertyBag, &IID_IPersistStream, &IID_IPersistStorage}) {
        supported = enabled = 99;
        EXPECT_EQ(safety->GetInterfaceSafetyOptions(persistence, &supported, &enabled), S_OK);
        EXPECT_EQ(supported, 3u);
        EXPECT_EQ(enabled, 2u);
    }

    // Without an interface: both bits supported, `enabled` left alone.
    supported = 0;
    enabled = 99;
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(nullptr, &supported, &enabled), S_OK);
    EXPECT_EQ(supported, 3u);
    EXPECT_EQ(enabled, 99u);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(nullptr, 3, 0), S_OK);

    // Interfaces the safety does not speak for, with `supported` still written.
    supported = 0;
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(&IID_IUnknown, &supported, &enabled), E_NOINTERFACE);
    EXPECT_EQ(supported, 3u);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(&IID_IUnknown, 1, 1), E_NOINTERFACE);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(&GetParam()->dispatchIid, &supported, &enabled), E_NOINTERFACE);
}

TEST_P(BothClasses, SettingSafetySucceedsOnlyForExactlyTheClaimedBit) {
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(&IID_IDispatch, 1, 1), S_OK);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(&IID_IDispatch, 1, 3), S_OK);  // the mask keeps bit 1 only
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(&IID_IDispatch, 3, 3), E_FAIL);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(&IID_IDispatch, 2, 2), E_FAIL);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(&IID_IDispatch, 0, 0), E_FAIL);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(&IID_IPersistStream, 2, 0), E_FAIL);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(&IID_IPersistStream, 2, 2), S_OK);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(&IID_IPersistPropertyBag, 1, 1), E_FAIL);
    // A refused request switches nothing off.
    uint32_t supported = 0, enabled = 0;
    safety->GetInterfaceSafetyOptions(&IID_IDispatch, &supported, &enabled);
    EXPECT_EQ(enabled, 1u);
}

TEST_P(BothClasses, AControlOnASecondThreadSeesItsOwnFlagsSet) {
    uint32_t scripting = 0, initialising = 0;
    bool threadFlags = true;
    std::thread([&] {
        window::HeadlessBackend threadBackend;
        std::unique_ptr<IUnknown> threadControl = create(GetParam()->clsid, threadBackend);
        threadFlags = threadSafetyFlags().safeForScripting && threadSafetyFlags().safeForInitialising;
        auto* threadSafety = queryInterface<IObjectSafety>(*threadControl, IID_IObjectSafety);
        uint32_t supported = 0;
        threadSafety->GetInterfaceSafetyOptions(&IID_IDispatch, &supported, &scripting);
        threadSafety->GetInterfaceSafetyOptions(&IID_IPersistPropertyBag, &supported, &initialising);
    }).join();
    EXPECT_TRUE(threadFlags);
    EXPECT_EQ(scripting, 1u);
    EXPECT_EQ(initialising, 2u);
}

TEST_P(BothClasses, InterfaceLookupAnswersTheClassesOwnInterfacesOnly) {
    const control::ControlClass& own = *GetParam();
    const control::ControlClass& other =
        &own == &control::orreryClass() ? control::orreryCntClass() : control::orreryClass();
    auto* dispatch = queryInterface<IDispatch>(*object, IID_IDispatch);
    ASSERT_NE(dispatch, nullptr);
    EXPECT_EQ(queryInterface<IDispatch>(*object, own.dispatchIid), dispatch);
    EXPECT_EQ(queryInterface<IUnknown>(*object, IID_IUnknown), object.get());
    std::string dispatchName = "_";
    dispatchName += own.name;
    EXPECT_EQ(dispatch->typeDescription()->name(), dispatchName);
    std::string eventsName = "__";
    eventsName += own.name;
    EXPECT_EQ(asControl(*object).events().description().name(), eventsName);

    auto* bag = queryInterface<IPersistPropertyBag>(*object, IID_IPersistPropertyBag);
    ASSERT_NE(bag, nullptr);
    EXPECT_EQ(bag->InitNew(), S_OK);

    void* found = &found;
    for (const Guid* missing : {&other.dispatchIid, &IID_IPersistStream, &IID_IClassFactory, &own.eventsIid}) {
        EXPECT_EQ(object->QueryInterface(*missing, &found), E_NOINTERFACE) << missing->toString();
        EXPECT_EQ(found, nullptr);
    }
}

TEST(OrreryCntInterface, IsOrrerysTableLessGetnativePdfRowForRow) {
    EXPECT_EQ(control::OrreryCnt::interfaceProblems(), std::vector<std::string>{});
    const auto& orrery = control::Orrery::interfaceDescription().members();
    const auto& cnt = control::OrreryCnt::interfaceDescription().members();
    // Every member that exists, once the PDF family is in the table.
    const bool orreryHasIt = control::Orrery::interfaceDescription().find(control::kGetnativePdfId) != nullptr;
    ASSERT_EQ(cnt.size() + (orreryHasIt ? 1 : 0), orrery.size());
    size_t j = 0;
    for (const MemberInfo& member : orrery) {
        if (member.id == control::kGetnativePdfId) continue;
        ASSERT_LT(j, cnt.size());
        EXPECT_EQ(TypeDescription::describe(cnt[j]), TypeDescription::describe(member));
        ++j;
    }
    EXPECT_EQ(control::OrreryCnt::interfaceDescription().name(), "_OrreryCnt");

    // The same 25 events under the class's own interface name.
    EXPECT_EQ(control::orreryCntEvents().name(), "__OrreryCnt");
    EXPECT_EQ(control::orreryCntEvents().members().size(), 25u);
    const auto& events = control::orreryEvents().members();
    for (size_t i = 0; i < events.size(); ++i)
        EXPECT_EQ(TypeDescription::describe(control::orreryCntEvents().members()[i]),
                  TypeDescription::describe(events[i]));
}

TEST(OrreryCntInterface, GetnativePdfIsUnknownByNameAndMissingByIdentifier) {
    window::HeadlessBackend backend;
    control::OrreryCnt cnt(backend);
    DISPID id = 0;
    EXPECT_EQ(cnt.GetIDsOfNames("GetnativePDF", id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(cnt.Invoke(control::kGetnativePdfId, DISPATCH_METHOD, {}, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(cnt.Invoke(control::kGetnativePdfId, DISPATCH_PROPERTYGET, {}, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    // Every other member answers under the same identifier in both.
    ASSERT_EQ(cnt.GetIDsOfNames("zoomarea", id), S_OK);
    EXPECT_EQ(id, 0x6003007B);
}

TEST(OrreryCntInterface, AFormSavedByOneClassLoadsIntoTheOtherUnchanged) {
    window::HeadlessBackend backend;
    control::Orrery orrery(backend);
    control::OrreryCnt cnt(backend);
    orrery.InitProperties();
    cnt.InitProperties();
    orrery.setZoomStep(35);
    orrery.setBackColor(0x00336699);
    orrery.setScrollBars(false);
    orrery.setGamma(1.75f);
    PropertyBag saved;
    ASSERT_EQ(orrery.Save(saved), S_OK);
    for (const char* name : {"ZoomStep", "BackColor", "ScrollBars", "Gamma"}) ASSERT_TRUE(saved.contains(name)) << name;
    ASSERT_EQ(cnt.Load(saved), S_OK);
    EXPECT_EQ(cnt.ZoomStep(), 35);
    EXPECT_EQ(cnt.BackColor(), 0x00336699);
    PropertyBag again;
    ASSERT_EQ(cnt.Save(again), S_OK);
    EXPECT_EQ(again.toText(), saved.toText());

    // And back: an OrreryCnt form reads into an Orrery.
    control::Orrery fresh(backend);
    ASSERT_EQ(fresh.Load(again), S_OK);
    PropertyBag third;
    ASSERT_EQ(fresh.Save(third), S_OK);
    EXPECT_EQ(third.toText(), saved.toText());
}

TEST(OrreryCntInterface, ImagesAreSharedBetweenTheClassesOfAThread) {
    ASSERT_TRUE(kNoPlugin);
    test::TempDir files;
    const std::string path = files.file("red.png").string();
    writeRedPicture(path);
    window::HeadlessBackend backend;
    auto orrery = std::make_unique<control::Orrery>(backend);
    auto cnt = std::make_unique<control::OrreryCnt>(backend);
    ASSERT_EQ(cnt->DisplayFromFile(path), 0);
    const int32_t id = cnt->GetNativeImage();
    ASSERT_NE(id, 0);
    ASSERT_EQ(orrery->DisplayFromQuillonImage(id), 0);
    EXPECT_EQ(orrery->ImageWidth(), 8);
    EXPECT_EQ(orrery->ImageHeight(), 6);

    // Ending the OrreryCnt leaves the image the Orrery shows.
    cnt.reset();
    EXPECT_NE(imaging::modMain::GetGdiImage(id), nullptr);
    EXPECT_EQ(orrery->Redraw(), 0);
    EXPECT_EQ(orrery->ImageWidth(), 8);
}

TEST(DummyClass, HasNoMembersNoWindowAndNoSafety) {
    window::HeadlessBackend backend;
    std::unique_ptr<IUnknown> object = create(CLSID_dummy, backend);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(dynamic_cast<control::Orrery*>(object.get()), nullptr);
    auto* dispatch = queryInterface<IDispatch>(*object, IID__dummy);
    ASSERT_NE(dispatch, nullptr);
    EXPECT_EQ(queryInterface<IDispatch>(*object, IID_IDispatch), dispatch);
    ASSERT_NE(dispatch->typeDescription(), nullptr);
    EXPECT_EQ(dispatch->typeDescription()->name(), "_dummy");
    EXPECT_TRUE(dispatch->typeDescription()->members().empty());
    for (const char* name : {"ZOOM", "GetVersion", "", "QueryInterface"}) {
        DISPID id = 0;
        EXPECT_EQ(dispatch->GetIDsOfNames(name, id), DISP_E_UNKNOWNNAME) << name;
    }
    EXPECT_EQ(dispatch->Invoke(0, DISPATCH_METHOD, {}, nullptr, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(queryInterface<IObjectSafety>(*object, IID_IObjectSafety), nullptr);
    EXPECT_EQ(queryInterface<IPersistPropertyBag>(*object, IID_IPersistPropertyBag), nullptr);
}

TEST(ClassFactories, CreateTheThreeClassesAndRefuseEverythingElse) {
    window::HeadlessBackend backend;
    void* found = nullptr;
    EXPECT_EQ(control::getClassObject(IID_IDispatch, IID_IClassFactory, &found), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(control::getClassObject(CLSID_Orrery, IID_IDispatch, &found), E_NOINTERFACE);

    ASSERT_EQ(control::getClassObject(CLSID_OrreryCnt, IID_IClassFactory, &found), S_OK);
    auto* factory = static_cast<control::IClassFactory*>(found);
    std::unique_ptr<IUnknown> object;
    window::HeadlessBackend outerBackend;
    auto outer = create(CLSID_dummy, outerBackend);
    EXPECT_EQ(factory->CreateInstance(outer.get(), backend, IID_IUnknown, object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, backend, IID_IClassFactory, object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    ASSERT_EQ(factory->CreateInstance(nullptr, backend, IID__OrreryCnt, object), S_OK);
    EXPECT_EQ(&asControl(*object).controlClass(), &control::orreryCntClass());
    EXPECT_EQ(factory->CreateInstance(nullptr, backend, IID__Orrery, object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);

    // The dummy's factory makes no window and answers its own interface.
    ASSERT_EQ(control::getClassObject(CLSID_dummy, IID_IUnknown, &found), S_OK);
    auto* unknown = static_cast<IUnknown*>(found);
    auto* dummyFactory = queryInterface<control::IClassFactory>(*unknown, IID_IClassFactory);
    ASSERT_NE(dummyFactory, nullptr);
    ASSERT_EQ(dummyFactory->CreateInstance(nullptr, backend, IID__dummy, object), S_OK);
}

TEST(ClassFactories, UnloadingWaitsForEveryObjectAndLock) {
    EXPECT_EQ(control::canUnloadNow(), S_OK);
    window::HeadlessBackend backend;
    {
        std::unique_ptr<IUnknown> object = create(CLSID_Orrery, backend);
        EXPECT_EQ(control::canUnloadNow(), S_FALSE);
        auto second = std::make_unique<control::dummy>();
        object.reset();
        EXPECT_EQ(control::canUnloadNow(), S_FALSE);
    }
    EXPECT_EQ(control::canUnloadNow(), S_OK);

    void* found = nullptr;
    ASSERT_EQ(control::getClassObject(CLSID_dummy, IID_IClassFactory, &found), S_OK);
    auto* factory = static_cast<control::IClassFactory*>(found);
    EXPECT_EQ(factory->LockServer(true), S_OK);
    EXPECT_EQ(factory->LockServer(true), S_OK);
    EXPECT_EQ(control::canUnloadNow(), S_FALSE);
    factory->LockServer(false);
    EXPECT_EQ(control::canUnloadNow(), S_FALSE);
    factory->LockServer(false);
    EXPECT_EQ(control::canUnloadNow(), S_OK);
    factory->LockServer(false);  // one release too many holds nothing
    std::unique_ptr<IUnknown> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, backend, IID_IUnknown, object), S_OK);
    EXPECT_EQ(control::canUnloadNow(), S_FALSE);
    object.reset();
    EXPECT_EQ(control::canUnloadNow(), S_OK);
}
