// The host-side library's own helpers: the event lists it builds must have the layout a host
// gives, its guards must notice what they are there to notice, and loading must say why a
// file is not a plug-in.
#include <cstring>
#include <string>

#include "tests/vst_plugin/recording_effect.h"
#include "vst_host/plugin_library.h"

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

}  // namespace
}  // namespace corvalen::test
