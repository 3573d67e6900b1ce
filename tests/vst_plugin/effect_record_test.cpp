// The effect record and the entry points, seen from a host: what the record holds after
// construction, what the library exports, how objects are created and closed.
#include <cstring>

#include "tests/vst_plugin/effect_fixture.h"
#include "vst_plugin/text_helpers.h"

namespace corvalen::test {
namespace {

using EffectRecordTest = TestEffectFixture;

std::uint32_t floatBits(float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

bool allZero(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        if (bytes[i] != 0) return false;
    }
    return true;
}

TEST_F(EffectRecordTest, HoldsTheBaseDefaults) {
    const AEffect* record = effect->record();
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
    EXPECT_EQ(floatBits(record->ioRatio), floatBits(1.0f));
    EXPECT_EQ(record->object, probe->object);
    EXPECT_EQ(record->user, nullptr);
    EXPECT_EQ(record->uniqueID, 0x4E6F4566);  // 'NoEf'
    EXPECT_EQ(record->version, 1);
    EXPECT_TRUE(allZero(record->future, sizeof record->future));
}

TEST_F(EffectRecordTest, BaseStateStartsAtTheDefaults) {
    EXPECT_EQ(floatBits(probe->sampleRate), floatBits(44100.0f));
    EXPECT_EQ(probe->blockSize, 1024);
    EXPECT_EQ(probe->curProgram, 0);
    EXPECT_FALSE(probe->hasEditor);
    EXPECT_TRUE(probe->hostCallbackSet);
}

TEST_F(EffectRecordTest, LibraryExportsOnlyMain) {
    EXPECT_NE(library->findSymbol("main"), nullptr);
    EXPECT_EQ(library->findSymbol("corvalenPluginMain"), nullptr);
    EXPECT_EQ(library->findSymbol("floatToText"), nullptr);
    EXPECT_EQ(library->findSymbol("_Z11floatToTextPcf"), nullptr);
    EXPECT_EQ(library->findSymbol("_ZN11AudioEffectD2Ev"), nullptr);
}

TEST_F(EffectRecordTest, MainAsksForTheVersionWithANullRecord) {
    const AEffect* second = host.open(*library);
    ASSERT_NE(second, nullptr);
    const auto calls = host.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].effect, nullptr);
    EXPECT_EQ(calls[0].opcode, audioMasterVersion);
    EXPECT_EQ(calls[0].index, 0);
    EXPECT_EQ(calls[0].value, 0);
    EXPECT_EQ(calls[0].ptr, nullptr);
    EXPECT_EQ(floatBits(calls[0].opt), 0u);
    Effect(const_cast<AEffect*>(second)).close();
}

TEST_F(EffectRecordTest, MainGivesNullWhenTheHostAnswersVersionZero) {
    vsthost::Host oldHost{vsthost::HostProfile::kVersionOnly};
    oldHost.setAnswer(audioMasterVersion, 0);
    const VstIntPtr before = liveObjects();
    EXPECT_EQ(oldHost.open(*library), nullptr);
    EXPECT_EQ(oldHost.calls().size(), 1u);
    EXPECT_EQ(liveObjects(), before);
}

TEST_F(EffectRecordTest, CloseAnswersOneAndDestroysTheObject) {
    Effect second(host.open(*library));
    ASSERT_TRUE(second.isOpen());
    EXPECT_EQ(liveObjects(), 2);
    // The operation's own answer for opcode 1 is 0; the entry point answers 1 regardless.
    Probe* secondProbe = probeOf(second);
    secondProbe->callCount = 0;
    EXPECT_EQ(second.close(), 1);
    EXPECT_EQ(liveObjects(), 1);
}

TEST_F(EffectRecordTest, CloseRunsTheCloseOperationBeforeDestroying) {
    Effect second(host.open(*library));
    ASSERT_TRUE(second.isOpen());
    host.clearCalls();
    EXPECT_EQ(second.close(), 1);
    // The test effect's close() reports to the host how many objects were alive at that time.
    const auto reports = host.callsWithOpcode(audioMasterVendorSpecific);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].index, kCloseReport);
    EXPECT_EQ(reports[0].value, 2);
    EXPECT_EQ(liveObjects(), 1);
}

TEST_F(EffectRecordTest, TwoObjectsHaveTheirOwnRecordsAndHostCalls) {
    vsthost::Host otherHost{vsthost::HostProfile::kVersionOnly};
    Effect second(otherHost.open(*library));
    ASSERT_TRUE(second.isOpen());
    Probe* secondProbe = probeOf(second);
    EXPECT_NE(second.record(), effect->record());
    EXPECT_EQ(second.record()->object, secondProbe->object);
    EXPECT_NE(secondProbe->object, probe->object);
    EXPECT_NE(otherHost.callback(), host.callback());

    // Each object calls back through its own host with its own record.
    effect->dispatch(effVendorSpecific, kCommandCallHost, kServiceMasterIdle);
    second.dispatch(effVendorSpecific, kCommandCallHost, kServiceUpdateDisplay);
    const auto first = host.calls();
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].effect, effect->record());
    EXPECT_EQ(first[0].opcode, audioMasterIdle);
    const auto other = otherHost.callsWithOpcode(audioMasterUpdateDisplay);
    ASSERT_EQ(other.size(), 1u);
    EXPECT_EQ(other[0].effect, second.record());

    // A setting on one leaves the other alone.
    second.dispatch(effSetBlockSize, 0, 77);
    EXPECT_EQ(secondProbe->blockSize, 77);
    EXPECT_EQ(probe->blockSize, 1024);
}

TEST_F(EffectRecordTest, SetParameterEntryReachesTheObjectWithoutCallingTheHost) {
    effect->setParameter(2, 0.375f);
    const ProbeCall& call = onlyCall();
    EXPECT_EQ(call.operation, kOpSetParameter);
    EXPECT_EQ(call.intArg1, 2);
    EXPECT_EQ(floatBits(call.floatArg), floatBits(0.375f));
    EXPECT_TRUE(host.calls().empty());
}

TEST_F(EffectRecordTest, GetParameterEntryPassesIndexAndValueThrough) {
    arm(0, -0.0f);
    const float value = effect->getParameter(-7);
    EXPECT_EQ(floatBits(value), floatBits(-0.0f));
    EXPECT_EQ(onlyCall().operation, kOpGetParameter);
    EXPECT_EQ(onlyCall().intArg1, -7);
}

TEST_F(EffectRecordTest, ProcessEntriesPassBuffersAndLengthUnchanged) {
    AudioBlock block(64);
    effect->process(block);
    effect->processReplacing(block);
    ASSERT_EQ(probe->callCount, 2);
    EXPECT_EQ(probe->calls[0].operation, kOpProcess);
    EXPECT_EQ(probe->calls[1].operation, kOpProcessReplacing);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(probe->calls[i].intArg1, 64);
        EXPECT_EQ(probe->calls[i].ptrArg1, block.inputs());
        EXPECT_EQ(probe->calls[i].ptrArg2, block.outputs());
    }
}

TEST_F(EffectRecordTest, EntryPointsTolerateARecordWithoutObject) {
    AEffect copy = *effect->record();
    copy.object = nullptr;
    EXPECT_EQ(copy.dispatcher(&copy, effGetVstVersion, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(copy.dispatcher(&copy, effClose, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(copy.getParameter(&copy, 0), 0.0f);
    copy.setParameter(&copy, 0, 1.0f);
    copy.processReplacing(&copy, nullptr, nullptr, 16);
    copy.process(&copy, nullptr, nullptr, 16);
    EXPECT_EQ(copy.dispatcher(nullptr, effGetVstVersion, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(probe->callCount, 0);
}

TEST_F(EffectRecordTest, ObjectWithoutHostCallbackWorksAndCallsNobody) {
    Effect orphan(create(kRecordingEffect, nullptr));
    ASSERT_TRUE(orphan.isOpen());
    Probe* orphanProbe = probeOf(orphan);
    EXPECT_FALSE(orphanProbe->hostCallbackSet);
    EXPECT_EQ(orphan.record()->uniqueID, packFourCharCode('N', 'o', 'E', 'f'));
    EXPECT_EQ(orphan.dispatch(effGetVstVersion), 2);
    EXPECT_EQ(orphan.close(), 1);
    EXPECT_TRUE(host.calls().empty());
}

TEST_F(EffectRecordTest, PlainBaseObjectHasTheDefaultsAndIgnoresExtendedOpcodes) {
    Effect plain(create(kPlainEffect, host.callback()));
    ASSERT_TRUE(plain.isOpen());
    EXPECT_EQ(plain.record()->numPrograms, 1);
    EXPECT_EQ(plain.record()->numParams, 1);
    EXPECT_EQ(plain.record()->magic, packFourCharCode('V', 's', 't', 'P'));
    EXPECT_EQ(plain.dispatch(effIdentify), 0x4E764566);
    for (VstInt32 opcode = 25; opcode <= 60; ++opcode) {
        EXPECT_EQ(plain.dispatch(opcode, 1, 1, nullptr, 1.0f), 0) << "opcode " << opcode;
    }
    EXPECT_EQ(plain.close(), 1);
    EXPECT_TRUE(host.calls().empty());
}

}  // namespace
}  // namespace corvalen::test
