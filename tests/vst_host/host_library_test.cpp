// The host-side library's own helpers: the event lists it builds must have the layout a host
// gives, its guards must notice what they are there to notice, records that cannot be driven
// must be refused with a reason, and loading must say why a
// file is not a plug-in.
#include <cstring>
#include <string>

#include "tests/vst_plugin/recording_effect.h"
#include "vst_host/guarded_text.h"
#include "vst_host/plugin_library.h"
#include "vst_host/record_check.h"

namespace corvalen::test {
namespace {

TEST(EventList, BuildsTheHostLayoutForAnyNumberOfEvents) {
    vsthost::EventList events;
    for (int i = 0; i < 40; ++i) events.addMidi(i, 0x90 | (i % 16), i, 127 - i);
    events.addSysex(3, {0xF0, 0x7E, 0xF7});
    VstEvents* list = events.get();
    ASSERT_EQ(list->numEvents, 41);
    EXPECT_EQ(list->reserved, 0);
    // The pointers follow the two header words, as many as there are events.
    auto* const* pointers = reinterpret_cast<VstEvent* const*>(reinterpret_cast<const char*>(list) +
                                                               2 * sizeof(std::intptr_t));
    for (int i = 0; i < 40; ++i) {
        const auto* midi = reinterpret_cast<const VstMidiEvent*>(pointers[i]);
        EXPECT_EQ(midi->type, kVstMidiType);
        EXPECT_EQ(midi->byteSize, 32);
        EXPECT_EQ(midi->deltaFrames, i);
        EXPECT_EQ(static_cast<unsigned char>(midi->midiData[0]), 0x90 | (i % 16));
        EXPECT_EQ(midi->midiData[1], i);
        EXPECT_EQ(midi->midiData[2], 127 - i);
        EXPECT_EQ(midi->midiData[3], 0);
    }
    const auto* sysex = reinterpret_cast<const VstMidiSysexEvent*>(pointers[40]);
    EXPECT_EQ(sysex->type, kVstSysExType);
    EXPECT_EQ(sysex->byteSize, static_cast<VstInt32>(sizeof(VstMidiSysexEvent)));
    EXPECT_EQ(sysex->dumpBytes, 3);
    EXPECT_EQ(static_cast<unsigned char>(sysex->sysexDump[2]), 0xF7);
}

TEST(EventList, EmptyListHasZeroEvents) {
    vsthost::EventList events;
    EXPECT_EQ(events.get()->numEvents, 0);
}

TEST(AudioBlock, GuardsNoticeAWritePastTheEnd) {
    vsthost::AudioBlock block(8, 0.25f);
    EXPECT_TRUE(block.guardsIntact());
    EXPECT_EQ(block.left()[7], 0.25f);
    block.outputs()[1][8] = 0.0f;
    EXPECT_FALSE(block.guardsIntact());
}

using HostAnswers = RecordingFixture;

TEST_F(HostAnswers, ReadTextReportsTheBytesWritten) {
    object->text = "abc";
    const vsthost::TextResult result = effect.readText(effGetParamName, 0, 0, 32);
    EXPECT_EQ(result.text, "abc");
    EXPECT_TRUE(result.terminated);
    EXPECT_EQ(result.bytesTouched, 4u);
}

TEST_F(HostAnswers, AnswersAndLogsPerOpcode) {
    host.setAnswer(audioMasterGetVendorVersion, 77);
    EXPECT_EQ(object->getHostVendorVersion(), 77);
    host.clearAnswer(audioMasterGetVendorVersion);
    EXPECT_EQ(object->getHostVendorVersion(), 0);
    EXPECT_EQ(host.callsWithOpcode(audioMasterGetVendorVersion).size(), 2u);
    host.clearCalls();
    EXPECT_TRUE(host.calls().empty());
}

TEST(PluginLibrary, SaysWhyAFileIsNotAPlugin) {
    try {
        vsthost::PluginLibrary library("/nonexistent/corvalen-no-such-plugin.so");
        ADD_FAILURE() << "a missing file loaded";
    } catch (const vsthost::LoadError& error) {
        EXPECT_EQ(error.failure(), vsthost::LoadFailure::kLibraryUnloadable);
        EXPECT_NE(std::string(error.what()).find("corvalen-no-such-plugin.so"), std::string::npos);
    }
#if !defined(_WIN32)
    // A real library without an entry point of its own: the C library's `main`-less mapping,
    // whose dependencies must not lend it one.
    try {
        vsthost::PluginLibrary library("libm.so.6");
        ADD_FAILURE() << "libm has an entry point";
    } catch (const vsthost::LoadError& error) {
        EXPECT_EQ(error.failure(), vsthost::LoadFailure::kNoEntryPoint);
    }
#endif
}

TEST(EventList, RefillingWithinTheReservedSizeKeepsTheStorage) {
    vsthost::EventList events(4);
    events.addMidi(0, 0x90, 60, 100);
    const VstEvents* first = events.get();
    const void* firstEvent = first->events[0];
    events.clear();
    for (int i = 0; i < 4; ++i) events.addMidi(i, 0x80, 60, 0);
    const VstEvents* second = events.get();
    EXPECT_EQ(second, first);
    EXPECT_EQ(second->events[0], firstEvent);
    EXPECT_EQ(second->numEvents, 4);
}

TEST(GuardedTextBuffer, SeesOverrunsAndMissingTerminators) {
    vsthost::GuardedText fits(24, 16);
    std::memset(fits.data(), 'a', 23);
    fits.data()[23] = '\0';
    EXPECT_TRUE(fits.guardsIntact());
    EXPECT_TRUE(fits.terminated());
    EXPECT_EQ(fits.text(), std::string(23, 'a'));

    vsthost::GuardedText full(8, 16);
    std::memset(full.data(), 'b', 8);
    EXPECT_TRUE(full.guardsIntact());
    EXPECT_FALSE(full.terminated());
    EXPECT_EQ(full.text(), "bbbbbbbb");

    vsthost::GuardedText overrun(8, 16);
    std::strcpy(overrun.data(), "0123456789");  // 11 bytes with the terminator
    EXPECT_FALSE(overrun.guardsIntact());
    EXPECT_EQ(overrun.overrun(), 3u);

    vsthost::GuardedText before(8, 16);
    before.data()[-1] = 'x';
    EXPECT_FALSE(before.guardsIntact());
    EXPECT_EQ(before.overrun(), 0u);

    vsthost::GuardedText control(8, 16);
    std::strcpy(control.data(), "a\tb");
    EXPECT_EQ(control.printable(), "a?b");

    // Unterminated, the text is what was written, not the untouched guard bytes after it.
    vsthost::GuardedText partial(8);
    std::memcpy(partial.data(), "abc", 3);
    EXPECT_EQ(partial.bytesTouched(), 3u);
    EXPECT_EQ(partial.text(), "abc");
}

// A record with every entry, as a plug-in's `main` returns it; the tests take pieces away.
AEffect completeRecord() {
    AEffect record{};
    record.magic = vsthost::kEffectMagic;
    record.dispatcher = [](AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) -> VstIntPtr {
        return 0;
    };
    record.process = [](AEffect*, float**, float**, VstInt32) {};
    record.processReplacing = record.process;
    record.setParameter = [](AEffect*, VstInt32, float) {};
    record.getParameter = [](AEffect*, VstInt32) { return 0.0f; };
    record.numOutputs = 2;
    record.flags = effFlagsCanReplacing;
    return record;
}

std::string problemWith(const AEffect* record, bool parameterEntries = false) {
    vsthost::RecordDemands demands;
    demands.parameterEntries = parameterEntries;
    return vsthost::checkRecord(record, "VSTPluginMain", demands).problem;
}

TEST(RecordCheck, RefusesRecordsThatCannotBeDrivenAndSaysWhy) {
    EXPECT_EQ(problemWith(nullptr), "VSTPluginMain returned no effect (null record)");
    AEffect record = completeRecord();
    EXPECT_EQ(problemWith(&record, true), "");
    record.magic = 0;
    EXPECT_NE(problemWith(&record).find("not a VST 2 effect"), std::string::npos);
    record = completeRecord();
    record.numOutputs = vsthost::kMaxChannels;
    EXPECT_EQ(problemWith(&record), "");
    record.numOutputs = vsthost::kMaxChannels + 1;
    EXPECT_NE(problemWith(&record).find("impossible counts (inputs 0, outputs 1025"),
              std::string::npos);
    record = completeRecord();
    record.numPrograms = -1;
    EXPECT_NE(problemWith(&record).find("impossible counts"), std::string::npos);
    record = completeRecord();
    record.process = record.processReplacing = nullptr;
    EXPECT_EQ(problemWith(&record), "the effect has no processing entry");
    // Parameter entries are demanded only when asked for.
    record = completeRecord();
    record.getParameter = nullptr;
    EXPECT_EQ(problemWith(&record), "");
    EXPECT_EQ(problemWith(&record, true), "the effect record lacks a parameter entry");
}

TEST(RecordCheck, ReplacingNeedsTheFlagUnlessItIsTheOnlyEntry) {
    using vsthost::ProcessCall;
    AEffect record = completeRecord();
    EXPECT_EQ(vsthost::checkRecord(&record, "main").call, ProcessCall::kReplacing);
    record.flags = 0;
    EXPECT_EQ(vsthost::checkRecord(&record, "main").call, ProcessCall::kAccumulating);
    record.process = nullptr;
    EXPECT_EQ(vsthost::checkRecord(&record, "main").call, ProcessCall::kReplacing);
    // A render that asks for a call gets it where the entry exists, else the other one.
    EXPECT_EQ(vsthost::availableCall(record, ProcessCall::kAccumulating), ProcessCall::kReplacing);
    record = completeRecord();
    EXPECT_EQ(vsthost::availableCall(record, ProcessCall::kAccumulating),
              ProcessCall::kAccumulating);
    record.processReplacing = nullptr;
    EXPECT_EQ(vsthost::availableCall(record, ProcessCall::kReplacing), ProcessCall::kAccumulating);
}

}  // namespace
}  // namespace corvalen::test
