// The test effect library loaded as a host loads a plug-in: what it exports, what `main` asks
// and answers, the record it gives, and how effClose ends the object behind it.
#include <cstring>
#include <memory>

#include "tests/vst_plugin/recording_effect.h"
#include "tests/vst_plugin/test_effect.h"
#include "vst_host/plugin_library.h"

namespace corvalen::test {
namespace {

class LoadedLibrary : public ::testing::Test {
protected:
    void SetUp() override { library = std::make_unique<vsthost::PluginLibrary>(testEffectPath()); }

    vsthost::Host host{vsthost::HostProfile::kVersionOnly};
    std::unique_ptr<vsthost::PluginLibrary> library;
};

bool allZero(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        if (bytes[i] != 0) return false;
    }
    return true;
}

TEST_F(LoadedLibrary, ExportsOnlyMain) {
    EXPECT_EQ(library->entryName(), "main");
    EXPECT_NE(library->findSymbol("main"), nullptr);
    EXPECT_EQ(library->findSymbol("corvalenPluginMain"), nullptr);
    EXPECT_EQ(library->findSymbol("floatToText"), nullptr);
    EXPECT_EQ(library->findSymbol("_Z11floatToTextPcf"), nullptr);
    EXPECT_EQ(library->findSymbol("_ZN11AudioEffectD2Ev"), nullptr);
}

TEST_F(LoadedLibrary, MainAsksForTheVersionWithANullRecord) {
    vsthost::Effect effect(host.open(*library));
    ASSERT_TRUE(effect.isOpen());
    const auto calls = host.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].effect, nullptr);
    EXPECT_EQ(calls[0].opcode, audioMasterVersion);
    EXPECT_EQ(calls[0].index, 0);
    EXPECT_EQ(calls[0].value, 0);
    EXPECT_EQ(calls[0].ptr, nullptr);
    EXPECT_EQ(bitsOf(calls[0].opt), 0u);
}

TEST_F(LoadedLibrary, MainGivesNullWhenTheHostAnswersVersionZero) {
    vsthost::Host oldHost{vsthost::HostProfile::kVersionOnly};
    oldHost.setAnswer(audioMasterVersion, 0);
    EXPECT_EQ(oldHost.open(*library), nullptr);
    EXPECT_EQ(oldHost.calls().size(), 1u);
    // Nothing was made either: the next object is the only one alive when it closes.
    vsthost::Effect next(host.open(*library));
    ASSERT_TRUE(next.isOpen());
    next.close();
    const auto reports = host.callsWithOpcode(audioMasterVendorSpecific);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].index, kCloseReport);
    EXPECT_EQ(reports[0].value, 1);
}

TEST_F(LoadedLibrary, RecordHoldsTheBaseDefaults) {
    vsthost::Effect effect(host.open(*library));
    ASSERT_TRUE(effect.isOpen());
    const AEffect* record = effect.record();
    EXPECT_EQ(record->magic, 0x56737450);
    EXPECT_NE(record->dispatcher, nullptr);
    EXPECT_NE(record->process, nullptr);
    EXPECT_NE(record->setParameter, nullptr);
    EXPECT_NE(record->getParameter, nullptr);
    EXPECT_NE(record->processReplacing, nullptr);
    EXPECT_EQ(record->numPrograms, kTestEffectPrograms);
    EXPECT_EQ(record->numParams, kTestEffectParams);
    EXPECT_EQ(record->numInputs, 1);
    EXPECT_EQ(record->numOutputs, 2);
    EXPECT_EQ(record->flags, 0);
    EXPECT_EQ(record->resvd1, 0);
    EXPECT_EQ(record->resvd2, 0);
    EXPECT_EQ(record->initialDelay, 0);
    EXPECT_EQ(record->realQualities, 0);
    EXPECT_EQ(record->offQualities, 0);
    EXPECT_EQ(bitsOf(record->ioRatio), bitsOf(1.0f));
    EXPECT_NE(record->object, nullptr);
    EXPECT_EQ(record->user, nullptr);
    EXPECT_EQ(record->uniqueID, 0x4E6F4566);  // 'NoEf'
    EXPECT_EQ(record->version, 1);
    EXPECT_TRUE(allZero(record->future, sizeof record->future));
}

TEST_F(LoadedLibrary, CloseRunsTheCloseOperationThenDestroysTheObjectAndAnswersOne) {
    vsthost::Effect first(host.open(*library));
    vsthost::Effect second(host.open(*library));
    ASSERT_TRUE(first.isOpen() && second.isOpen());
    AEffect* const closed = second.record();
    host.clearCalls();
    // The operation's own answer for opcode 1 is 0; the entry point answers 1 regardless.
    EXPECT_EQ(second.close(), 1);
    const auto reports = host.callsWithOpcode(audioMasterVendorSpecific);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].effect, closed);
    EXPECT_EQ(reports[0].index, kCloseReport);
    EXPECT_EQ(reports[0].value, 2);
    EXPECT_EQ(reports[1].effect, closed);
    EXPECT_EQ(reports[1].index, kDestroyedReport);
    EXPECT_EQ(reports[1].value, 1);
}

}  // namespace
}  // namespace corvalen::test
