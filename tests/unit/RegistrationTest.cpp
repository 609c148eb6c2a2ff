#include "host/Operator.h"
#include "host/Registry.h"
#include "host/ScriptInfo.h"
#include "host/ThreadedOperator.h"
#include "minihost/Host.h"
#include "tests/support/EventLog.h"
#include "tests/support/TagItems.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <optional>

using namespace testsupport;

namespace {

// Spelled out rather than taken from the tool: saved compositions name the class by it.
constexpr const char* ToolId = "Vennolar.Umbrix";

template <typename F> const void* functionAddress(F function) {
    return reinterpret_cast<const void*>(function);
}

long recordsNamed(const char* id) {
    auto list = minihost::classes();
    return std::count_if(list.begin(), list.end(), [id](const Registry* reg) {
        return std::strcmp(reg->id().c_str(), id) == 0;
    });
}

// The registry record's tags in order; the end tag closes the list and is not an item. The script
// info and the factory are checked by what they do.
std::vector<TagItem> expectedRecordTags() {
    return {
        pointerTag(0x60000001, functionAddress(&Operator::RegInit)),
        pointerTag(0x60000002, functionAddress(&Operator::RegCleanup)),
        intTag(0x10000000, 3),
        stringTag(0x30000008, "Built: Sep 15 2009"),
        pointerTag(0x60000011, &ThreadedOperator::ClassID),
        pointerTag(0x60000005, anyPointer()),
        pointerTag(0x60000000, anyPointer()),
        intTag(0x10000004, 343),
        stringTag(0x30000002, "Umbrix"),
        stringTag(0x30000003, "Filter"),
        stringTag(0x30000004, "S_1"),
        stringTag(0x30000005, "Filter an image with SSAO."),
    };
}

} // namespace

TEST(Registration, LoadAddsOneRecordAndUnloadRemovesIt) {
    const auto before = minihost::classes();
    ASSERT_EQ(recordsNamed(ToolId), 0);
    {
        minihost::Plugin plugin(UMBRIX_PLUGIN_PATH);
        EXPECT_EQ(minihost::classes().size(), before.size() + 1);
        EXPECT_EQ(recordsNamed(ToolId), 1);
    }
    EXPECT_EQ(minihost::classes(), before);
    EXPECT_EQ(minihost::findClass(ToolId), nullptr);
}

// What a render leaves behind (per-thread storage with destructors, unique symbols) can keep the
// system from unloading the module; its record would then outlive the unload.
TEST(Registration, UnloadAfterRendersInEveryModeRemovesIt) {
    const auto before = minihost::classes();
    {
        minihost::Plugin plugin(UMBRIX_PLUGIN_PATH);
        auto image = minihost::makeImage(40, 12, {4, 10, 11, 12});
        for (int y = 0; y < image->Height; ++y)
            for (int x = 0; x < image->Width; ++x)
                minihost::sample(*image, x, y, 4) = static_cast<float>((x * 7 + y * 3) % 11);
        minihost::setThreads(4);
        for (const double filterMethod : {0.0, 1.0, 2.0}) {
            minihost::OperatorPtr tool = minihost::create(*minihost::findClass(ToolId));
            minihost::setValue(*tool, *minihost::findInput(*tool, "UseSSAO"), 1.0);
            minihost::setValue(*tool, *minihost::findInput(*tool, "FilterMethod"), filterMethod);
            minihost::connect(*minihost::findInput(*tool, "Input"), image.get());
            EXPECT_TRUE(minihost::render(*tool).ok) << filterMethod;
            minihost::connect(*minihost::findInput(*tool, "Input"), nullptr);
        }
        minihost::setThreads(0);
    }
    EXPECT_EQ(minihost::classes(), before);
}

TEST(Registration, RecordTagsInOrder) {
    minihost::Plugin plugin(UMBRIX_PLUGIN_PATH);
    const Registry* reg = minihost::findClass(ToolId);
    ASSERT_NE(reg, nullptr);
    EXPECT_STREQ(reg->id().c_str(), ToolId);
    EXPECT_TRUE(sameItems(expectedRecordTags(), reg->tags().items()));
}

TEST(Registration, ScriptInfoNamesTheToolAndCastsUnchanged) {
    minihost::Plugin plugin(UMBRIX_PLUGIN_PATH);
    const Registry& reg = *minihost::findClass(ToolId);
    auto* info =
        static_cast<ScriptInfo*>(const_cast<void*>(minihost::registryPointer(reg, 0x60000005)));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->version(), 1UL);
    EXPECT_STREQ(info->className(), ToolId);
    auto tool = minihost::create(reg);
    ASSERT_TRUE(tool);
    int other = 0;
    for (void* object : {static_cast<void*>(tool.get()), static_cast<void*>(&other)}) {
        EXPECT_EQ(info->ToScriptObject(object), object);
        EXPECT_EQ(info->FromScriptObject(object), object);
    }
}

TEST(Registration, FactoryMakesAToolOfThisRecord) {
    minihost::Plugin plugin(UMBRIX_PLUGIN_PATH);
    const Registry& reg = *minihost::findClass(ToolId);
    EXPECT_EQ(functionAddress(reg.factory()), minihost::registryPointer(reg, 0x60000000));
    auto tool = minihost::create(reg);
    ASSERT_TRUE(tool);
    EXPECT_EQ(tool->registry(), &reg);
    EXPECT_NE(dynamic_cast<ThreadedOperator*>(tool.get()), nullptr);
}

TEST(Registration, AttachDisablesThreadNotificationsOnce) {
    const int before = minihost::disableThreadLibraryCallsCount();
    {
        minihost::Plugin plugin(UMBRIX_PLUGIN_PATH);
        EXPECT_EQ(minihost::disableThreadLibraryCallsCount(), before + 1);
        EXPECT_NE(minihost::lastDisabledModule(), nullptr);
    }
    EXPECT_EQ(minihost::disableThreadLibraryCallsCount(), before + 1);
}

TEST(LoadOrder, StaticsBuiltInOrderAndDestroyedInReverse) {
    EventLog log;
    std::optional<minihost::Plugin> plugin(std::in_place, UMBRIX_PLUGIN_PATH);
    EXPECT_EQ(log.only({"FuID Number", "FuID Image", "FuID CheckboxControl", "FuID ComboControl",
                        "FuID SliderControl", "FuID ButtonControl", "ScriptInfo Vennolar.Umbrix",
                        "FuID Vennolar.Umbrix", "Registry Vennolar.Umbrix"}),
              (std::vector<std::string>{"FuID Number", "FuID Image", "FuID CheckboxControl",
                                        "FuID ComboControl", "FuID SliderControl",
                                        "FuID ButtonControl", "ScriptInfo Vennolar.Umbrix",
                                        "FuID Vennolar.Umbrix", "Registry Vennolar.Umbrix"}));
    log.clear();
    plugin.reset();
    EXPECT_EQ(log.events(), (std::vector<std::string>{"~Registry Vennolar.Umbrix",
                                                      "~ScriptInfo Vennolar.Umbrix"}));
}
