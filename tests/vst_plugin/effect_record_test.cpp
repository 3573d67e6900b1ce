// The effect record and its entry points, seen from a host: the object behind the record, the
// state it starts in, what each entry passes on, and objects with their own records and hosts.
#include <cstring>

#include "tests/vst_plugin/recording_effect.h"
#include "vst_plugin/text_helpers.h"

namespace corvalen::test {
namespace {

using EffectRecord = RecordingFixture;

TEST_F(EffectRecord, PointsAtItsObjectAndStartsAtTheBaseDefaults) {
    EXPECT_EQ(effect.record()->object, static_cast<AudioEffect*>(object));
    EXPECT_EQ(effect.record()->numPrograms, RecordingEffect::kPrograms);
    EXPECT_EQ(effect.record()->numParams, RecordingEffect::kParams);
    EXPECT_EQ(bitsOf(object->rate()), bitsOf(44100.0f));
    EXPECT_EQ(object->block(), 1024);
    EXPECT_EQ(object->program(), 0);
    EXPECT_FALSE(object->hasEditor());
    EXPECT_TRUE(object->hasHost());
    EXPECT_TRUE(host.calls().empty());  // construction asks the host nothing
}

TEST_F(EffectRecord, TwoObjectsHaveTheirOwnRecordsAndHostCalls) {
    vsthost::Host otherHost{vsthost::HostProfile::kVersionOnly};
    auto* other = new RecordingEffect(otherHost.callback());
    vsthost::Effect second(other->getAeffect());
    EXPECT_NE(second.record(), effect.record());
    EXPECT_EQ(second.record()->object, static_cast<AudioEffect*>(other));

    // Each object calls back through its own host with its own record.
    object->masterIdle();
    other->updateDisplay();
    const auto first = host.calls();
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].effect, effect.record());
    EXPECT_EQ(first[0].opcode, audioMasterIdle);
    const auto others = otherHost.calls();
    ASSERT_EQ(others.size(), 1u);
    EXPECT_EQ(others[0].effect, second.record());
    EXPECT_EQ(others[0].opcode, audioMasterUpdateDisplay);

    // A setting on one leaves the other alone.
    second.dispatch(effSetBlockSize, 0, 77);
    EXPECT_EQ(other->block(), 77);
    EXPECT_EQ(object->block(), 1024);
}

TEST_F(EffectRecord, SetParameterEntryReachesTheObjectWithoutCallingTheHost) {
    effect.setParameter(2, 0.375f);
    EXPECT_EQ(onlyCall().operation, "setParameter");
    EXPECT_EQ(onlyCall().args, Words{2});
    EXPECT_EQ(bitsOf(onlyCall().value), bitsOf(0.375f));
    EXPECT_TRUE(host.calls().empty());
}

TEST_F(EffectRecord, GetParameterEntryPassesIndexAndValueThrough) {
    object->arm(0, -0.0f);
    EXPECT_EQ(bitsOf(effect.getParameter(-7)), bitsOf(-0.0f));
    EXPECT_EQ(onlyCall().operation, "getParameter");
    EXPECT_EQ(onlyCall().args, Words{-7});
}

TEST_F(EffectRecord, ProcessEntriesPassBuffersAndLengthUnchanged) {
    vsthost::AudioBlock block(64);
    effect.process(block);
    effect.processReplacing(block);
    ASSERT_EQ(object->calls.size(), 2u);
    EXPECT_EQ(object->calls[0].operation, "process");
    EXPECT_EQ(object->calls[1].operation, "processReplacing");
    for (const Call& call : object->calls) {
        EXPECT_EQ(call.args, (Words{word(block.inputs()), word(block.outputs()), 64}));
    }
}

TEST_F(EffectRecord, EntryPointsTolerateARecordWithoutObject) {
    AEffect copy = *effect.record();
    copy.object = nullptr;
    EXPECT_EQ(copy.dispatcher(&copy, effGetVstVersion, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(copy.dispatcher(&copy, effClose, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(copy.getParameter(&copy, 0), 0.0f);
    copy.setParameter(&copy, 0, 1.0f);
    copy.processReplacing(&copy, nullptr, nullptr, 16);
    copy.process(&copy, nullptr, nullptr, 16);
    EXPECT_EQ(copy.dispatcher(nullptr, effGetVstVersion, 0, 0, nullptr, 0.0f), 0);
    EXPECT_TRUE(object->calls.empty());
}

TEST_F(EffectRecord, ObjectWithoutHostCallbackWorksAndCallsNobody) {
    auto* orphan = new RecordingEffect(nullptr);
    vsthost::Effect handle(orphan->getAeffect());
    EXPECT_FALSE(orphan->hasHost());
    EXPECT_EQ(handle.record()->uniqueID, packFourCharCode('N', 'o', 'E', 'f'));
    EXPECT_EQ(handle.dispatch(effGetVstVersion), 2);
    EXPECT_EQ(handle.close(), 1);
    EXPECT_TRUE(host.calls().empty());
}

TEST_F(EffectRecord, PlainBaseObjectHasTheDefaultsAndIgnoresExtendedOpcodes) {
    vsthost::Effect plain((new PlainEffect(host.callback()))->getAeffect());
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
