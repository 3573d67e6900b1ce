#include "tools/render/midi_file.h"

#include <gtest/gtest.h>

#include "tests/tools/test_support.h"

namespace {

using corvalen::render::MidiFileError;
using corvalen::render::MidiSequence;
using corvalen::render::parseMidiFile;
using corvalen::test::SmfBuilder;

MidiSequence parse(const std::vector<std::uint8_t>& bytes) {
    return parseMidiFile(bytes.data(), bytes.size());
}

void expectMessage(const corvalen::render::ChannelMessage& message, std::uint64_t tick, int status,
                   int data1, int data2) {
    EXPECT_EQ(message.tick, tick);
    EXPECT_EQ(message.status, status);
    EXPECT_EQ(message.data1, data1);
    EXPECT_EQ(message.data2, data2);
}

TEST(MidiFileReader, RunningStatusCarriesTheLastChannelStatus) {
    const auto bytes = SmfBuilder(0, 1, 96)
                           .beginTrack()
                           .delta(0)
                           .bytes({0x91, 60, 100})
                           .delta(10)
                           .bytes({62, 90})  // running status: note on
                           .delta(10)
                           .bytes({0x81, 60, 0})
                           .delta(5)
                           .bytes({62, 0})  // running status: note off
                           .delta(0)
                           .bytes({0xC2, 5})  // program change, one data byte
                           .delta(1)
                           .bytes({6})  // running program change
                           .endTrack()
                           .build();
    const MidiSequence sequence = parse(bytes);
    ASSERT_EQ(sequence.messages.size(), 6u);
    expectMessage(sequence.messages[0], 0, 0x91, 60, 100);
    expectMessage(sequence.messages[1], 10, 0x91, 62, 90);
    expectMessage(sequence.messages[2], 20, 0x81, 60, 0);
    expectMessage(sequence.messages[3], 25, 0x81, 62, 0);
    expectMessage(sequence.messages[4], 25, 0xC2, 5, 0);
    expectMessage(sequence.messages[5], 26, 0xC2, 6, 0);
    EXPECT_EQ(sequence.endTick, 26u);
    EXPECT_EQ(sequence.division.ticksPerQuarter, 96);
}

TEST(MidiFileReader, MetaAndSysexAreSkippedButKeepTheirTime) {
    const auto bytes = SmfBuilder(0, 1, 480)
                           .beginTrack()
                           .delta(0)
                           .bytes({0xFF, 0x03, 4, 'S', 'o', 'l', 'o'})  // track name
                           .delta(7)
                           .bytes({0xF0, 3, 0x7E, 0x7F, 0xF7})  // sysex
                           .delta(3)
                           .bytes({0xF7, 2, 0xF8, 0xFA})  // escape
                           .delta(0x200000)
                           .bytes({0x90, 64, 1})  // three-byte delta
                           .delta(100)
                           .tempo(400000)
                           .endTrack()
                           .build();
    const MidiSequence sequence = parse(bytes);
    ASSERT_EQ(sequence.messages.size(), 1u);
    expectMessage(sequence.messages[0], 10 + 0x200000, 0x90, 64, 1);
    ASSERT_EQ(sequence.tempos.size(), 1u);
    EXPECT_EQ(sequence.tempos[0].tick, 110u + 0x200000);
    EXPECT_EQ(sequence.tempos[0].microsecondsPerQuarter, 400000u);
}

TEST(MidiFileReader, RunningStatusAfterSysexOrMetaKeepsTheLastChannelStatusWithAWarning) {
    for (const std::initializer_list<int> between :
         {std::initializer_list<int>{0xF0, 1, 0xF7}, std::initializer_list<int>{0xFF, 0x01, 0}}) {
        const auto bytes = SmfBuilder(0, 1, 480)
                               .beginTrack()
                               .delta(0)
                               .bytes({0x90, 60, 100})
                               .delta(0)
                               .bytes(between)
                               .delta(0)
                               .bytes({61, 100})
                               .endTrack()
                               .build();
        const MidiSequence sequence = parse(bytes);
        ASSERT_EQ(sequence.messages.size(), 2u);
        expectMessage(sequence.messages[1], 0, 0x90, 61, 100);
        ASSERT_EQ(sequence.warnings.size(), 1u);
        EXPECT_NE(
            sequence.warnings[0].find("running status right after a meta or system-exclusive"),
            std::string::npos)
            << sequence.warnings[0];
    }
}

TEST(MidiFileReader, FormatOneMergesByTickThenTrackThenFileOrder) {
    const auto bytes = SmfBuilder(1, 3, 480)
                           .beginTrack()
                           .delta(0)
                           .tempo(600000)
                           .endTrack()
                           .beginTrack()
                           .delta(0)
                           .bytes({0x90, 60, 1})
                           .delta(0)
                           .bytes({0x80, 59, 0})
                           .delta(5)
                           .bytes({0x90, 61, 1})
                           .endTrack()
                           .beginTrack()
                           .delta(0)
                           .bytes({0x91, 70, 1})
                           .delta(5)
                           .bytes({0x91, 71, 1})
                           .delta(0)
                           .tempo(300000)
                           .delta(9)
                           .bytes({0xB1, 7, 100})
                           .endTrack()
                           .build();
    const MidiSequence sequence = parse(bytes);
    ASSERT_EQ(sequence.messages.size(), 6u);
    expectMessage(sequence.messages[0], 0, 0x90, 60, 1);
    expectMessage(sequence.messages[1], 0, 0x80, 59, 0);
    expectMessage(sequence.messages[2], 0, 0x91, 70, 1);
    expectMessage(sequence.messages[3], 5, 0x90, 61, 1);
    expectMessage(sequence.messages[4], 5, 0x91, 71, 1);
    expectMessage(sequence.messages[5], 14, 0xB1, 7, 100);
    // Tempo changes apply to the whole file, whichever track holds them.
    ASSERT_EQ(sequence.tempos.size(), 2u);
    EXPECT_EQ(sequence.tempos[1].tick, 5u);
    EXPECT_EQ(sequence.tempos[1].microsecondsPerQuarter, 300000u);
    EXPECT_EQ(sequence.endTick, 14u);
}

TEST(MidiFileReader, UnknownChunksAreSkipped) {
    auto bytes = SmfBuilder(0, 1, 480).build();
    bytes.insert(bytes.end(), {'X', 'Y', 'Z', 'W', 0, 0, 0, 3, 1, 2, 3});
    const auto track =
        SmfBuilder(0, 1, 480).beginTrack().delta(4).bytes({0x90, 1, 2}).endTrack().build();
    bytes.insert(bytes.end(), track.begin() + 14, track.end());
    const MidiSequence sequence = parse(bytes);
    ASSERT_EQ(sequence.messages.size(), 1u);
    expectMessage(sequence.messages[0], 4, 0x90, 1, 2);
}

TEST(MidiFileReader, SmpteDivisionIsRead) {
    const auto bytes = SmfBuilder(0, 1, 0xE728).beginTrack().endTrack().build();  // -25 fps, 40
    const MidiSequence sequence = parse(bytes);
    EXPECT_TRUE(sequence.division.smpte);
    EXPECT_EQ(sequence.division.framesPerSecond, 25);
    EXPECT_EQ(sequence.division.ticksPerFrame, 40);
}

std::vector<std::uint8_t> validFile() {
    return SmfBuilder(1, 2, 480)
        .beginTrack()
        .delta(0)
        .tempo(500000)
        .endTrack()
        .beginTrack()
        .delta(0)
        .bytes({0x90, 60, 100})
        .delta(0x0FFFFFFF)
        .bytes({0xE0, 0, 64})
        .delta(3)
        .bytes({0xF0, 2, 1, 0xF7})
        .delta(0)
        .bytes({0x80, 60, 0})
        .endTrack()
        .build();
}

TEST(MidiFileReader, MalformedFilesAreErrors) {
    const std::vector<std::vector<std::uint8_t>> malformed = {
        {},
        {'R', 'I', 'F', 'F', 0, 0, 0, 6, 0, 0, 0, 1, 1, 0xE0},
        {'M', 'T', 'h', 'd', 0, 0, 0, 4, 0, 0, 0, 1, 1, 0xE0},     // header too short
        SmfBuilder(2, 1, 480).beginTrack().endTrack().build(),     // format 2
        SmfBuilder(1, 0, 480).build(),                             // no tracks
        SmfBuilder(0, 1, 0).beginTrack().endTrack().build(),       // zero division
        SmfBuilder(0, 1, 0xEC28).beginTrack().endTrack().build(),  // -20 fps
        SmfBuilder(0, 1, 0xE700).beginTrack().endTrack().build(),  // 0 ticks per frame
        SmfBuilder(0, 1, 480).beginTrack().delta(0).bytes({60, 100}).endTrack().build(),
        SmfBuilder(0, 1, 480).beginTrack().delta(0).bytes({0xF2, 1, 2}).endTrack().build(),
        SmfBuilder(0, 1, 480).beginTrack().delta(0).bytes({0xFF, 0x51, 2, 1, 2}).endTrack().build(),
        SmfBuilder(0, 1, 480).beginTrack().delta(0).tempo(0).endTrack().build(),
        SmfBuilder(0, 1, 480).beginTrack().bytes({0x81, 0x80, 0x80, 0x80, 0}).endTrack().build(),
        SmfBuilder(0, 1, 480).beginTrack().delta(0).bytes({0x90, 60, 0x90}).endTrack().build(),
        {'R', 'I', 'F', 'F', 12, 0, 0, 0, 'R', 'M', 'I', 'D', 'L', 'I', 'S', 'T', 0, 0, 0, 0},
    };
    for (std::size_t i = 0; i < malformed.size(); ++i) {
        EXPECT_THROW(parse(malformed[i]), MidiFileError) << "case " << i;
    }
}

TEST(MidiFileReader, PlayableFaultsAreReadWithAWarning) {
    const std::vector<std::pair<std::vector<std::uint8_t>, std::string>> playable = {
        {SmfBuilder(0, 2, 480).beginTrack().endTrack().beginTrack().endTrack().build(),
         "a format 0 file with 2 tracks"},
        {SmfBuilder(1, 3, 480).beginTrack().endTrack().build(),
         "the header announces 3 tracks but the file holds 1"},
        {SmfBuilder(0, 1, 480)
             .beginTrack()
             .delta(0)
             .bytes({0x90, 60, 100})
             .delta(0)
             .bytes({0xF0, 100, 1})
             .endTrack()
             .build(),
         "the file is cut short: track 1 ends inside an event"},
    };
    for (const auto& [bytes, warning] : playable) {
        const MidiSequence sequence = parse(bytes);
        ASSERT_FALSE(sequence.warnings.empty()) << warning;
        EXPECT_NE(sequence.warnings.back().find(warning), std::string::npos)
            << sequence.warnings.back();
    }
}

// Every prefix of a valid file is refused (when cut inside the header) or read with a warning,
// holding the messages that were complete; none crashes.
TEST(MidiFileReader, EveryTruncationIsRefusedOrPlayedUpToTheCut) {
    const auto bytes = validFile();
    const MidiSequence whole = parse(bytes);
    ASSERT_EQ(whole.messages.size(), 3u);
    ASSERT_TRUE(whole.warnings.empty());
    // Offsets just past the last byte of each message of the second track (track 1 holds
    // 8 + 11 bytes, the second track header 8 more).
    const std::size_t secondTrack = 14 + 8 + 11 + 8;
    const std::size_t messageEnds[] = {secondTrack + 4, secondTrack + 11, secondTrack + 20};
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        // Copy into a buffer of exactly that size so that an overread is caught by ASan.
        const std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + length);
        try {
            const MidiSequence sequence = parse(cut);
            EXPECT_GE(length, 14u);
            EXPECT_FALSE(sequence.warnings.empty()) << length;
            std::size_t complete = 0;
            for (std::size_t end : messageEnds) complete += end <= length ? 1 : 0;
            EXPECT_EQ(sequence.messages.size(), complete) << "cut at " << length;
        } catch (const MidiFileError& error) {
            EXPECT_LT(length, 14u + 8u) << "cut at " << length << ": " << error.what();
        }
    }
}

TEST(MidiFileReader, RmidWrapperIsOpenedAndShortHeadersSaySo) {
    const auto inner = validFile();
    std::vector<std::uint8_t> riff = {'R', 'I', 'F', 'F', 0,   0,   0,   0,
                                      'R', 'M', 'I', 'D', 'd', 'a', 't', 'a'};
    for (int shift = 0; shift < 32; shift += 8)
        riff.push_back(static_cast<std::uint8_t>(inner.size() >> shift));
    riff.insert(riff.end(), inner.begin(), inner.end());
    const MidiSequence sequence = parse(riff);
    EXPECT_EQ(sequence.messages.size(), 3u);
    ASSERT_EQ(sequence.warnings.size(), 1u);
    EXPECT_NE(sequence.warnings[0].find("RMID"), std::string::npos);

    try {
        parse({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1});
        ADD_FAILURE() << "a 10-byte file was accepted";
    } catch (const MidiFileError& error) {
        EXPECT_NE(std::string(error.what()).find("ends inside its MIDI header (10 bytes"),
                  std::string::npos)
            << error.what();
    }
}

TEST(MidiFileReader, MissingFileIsAnError) {
    EXPECT_THROW(corvalen::render::readMidiFile("/nonexistent/corvalen.mid"), MidiFileError);
}

}  // namespace
