// corvalen-play on a private JACK server (dummy driver, real time), driven by a probe client
// that sends MIDI at exact frames and records the player's outputs at their absolute frames.
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <signal.h>

#include <cmath>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "rate/rate_adapter.h"
#include "tests/play/jack_session.h"
#include "tests/support/signals.h"
#include "tests/tools/test_support.h"
#include "vst_host/event_list.h"
#include "vst_host/plugin.h"
#include "vst_host/plugin_source.h"

namespace {

using corvalen::test::ChildProgram;
using corvalen::test::firstCrossing;
using corvalen::test::JackServer;
using corvalen::test::precisePeriod;
using corvalen::test::Probe;
using corvalen::test::ProbeEvent;
using corvalen::test::TempFolder;

ProbeEvent event(std::int64_t frame, int status, int data1, int data2 = 0) {
    return {frame,
            {static_cast<std::uint8_t>(status), static_cast<std::uint8_t>(data1),
             static_cast<std::uint8_t>(data2)}};
}

// The JACK frame of the player's first period, from its start message.
std::int64_t firstPeriodFrame(const ChildProgram& player) {
    const std::regex pattern("first period at frame (-?[0-9]+)");
    for (int tries = 0; tries < 250; ++tries) {
        std::smatch match;
        const std::string log = player.log();
        if (std::regex_search(log, match, pattern)) return std::stoll(match[1]);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

int reportedLatency(const std::string& log) {
    std::smatch match;
    if (!std::regex_search(log, match, std::regex("latency ([0-9]+) frames"))) return -1;
    return std::stoi(match[1]);
}

// Corvalen alone, as a sequencer plays it offline: `frames` frames from its creation, in
// blocks of 256, events at plug-in frames; program and controller 1 ("Bow Pres", as the test
// maps it) changes applied between blocks, the render cut at their frame.
std::vector<std::vector<float>> renderAlone(std::int64_t frames,
                                            const std::vector<ProbeEvent>& events) {
    auto plugin = corvalen::vsthost::Plugin::load(CORVALEN_PLUGIN_PATH, {44100.0f, 256});
    plugin->resume();
    std::vector<std::vector<float>> out(2, std::vector<float>(static_cast<std::size_t>(frames)));
    auto isChange = [](const ProbeEvent& e) {
        return (e.bytes[0] & 0xF0) == 0xC0 || ((e.bytes[0] & 0xF0) == 0xB0 && e.bytes[1] == 1);
    };
    corvalen::vsthost::EventList list;
    std::size_t next = 0;
    for (std::int64_t pos = 0; pos < frames;) {
        for (; next < events.size() && events[next].frame == pos && isChange(events[next]);
             ++next) {
            const ProbeEvent& e = events[next];
            if ((e.bytes[0] & 0xF0) == 0xC0) {
                plugin->setProgram(e.bytes[1]);
            } else {
                plugin->setParameter(1, e.bytes[2] / 127.0f);
            }
        }
        std::int64_t end = std::min(frames, pos + 256);
        for (std::size_t j = next; j < events.size(); ++j) {
            if (isChange(events[j])) {
                end = std::min(end, events[j].frame);
                break;
            }
        }
        list.clear();
        for (; next < events.size() && events[next].frame < end && !isChange(events[next]);
             ++next) {
            list.addMidi(static_cast<VstInt32>(events[next].frame - pos), events[next].bytes[0],
                         events[next].bytes[1], events[next].bytes[2]);
        }
        plugin->sendEvents(list.get());
        float* outputs[] = {out[0].data() + pos, out[1].data() + pos};
        plugin->process(nullptr, outputs, static_cast<VstInt32>(end - pos));
        pos = end;
    }
    return out;
}

std::vector<float> slice(const std::vector<float>& x, std::int64_t from, std::size_t length) {
    return std::vector<float>(x.begin() + from,
                              x.begin() + from + static_cast<std::ptrdiff_t>(length));
}

// At 44.1 kHz the player is the plug-in itself: its output, and its recording, equal the
// plug-in's offline render of the same events at the same plug-in frames, bit for bit. The
// events include several at one frame (a note started and released there, which only their
// order makes silent), a mapped controller and a program change. SIGINT then stops it with
// exit 0 and a complete recording.
TEST(PlayJack, At44100ThePlayerIsThePluginBitForBit) {
    TempFolder folder;
    JackServer server(44100, 512, folder.file("jackd.log"));
    ChildProgram player(
        {PLAY_EXE, "-p", CORVALEN_PLUGIN_PATH, "-n", "play44", "--no-connect", "--cc", "1=bow pres",
         "--record", folder.file("take.wav"), "--format", "float"},
        folder.file("play.log"));
    Probe sender("send44", 0);
    Probe probe("probe44", 2);
    ASSERT_TRUE(corvalen::test::waitForPort(probe.client(), "play44:out_2", 10)) << player.log();
    // Its ports take connections once it is active, which its first period shows.
    const std::int64_t first = firstPeriodFrame(player);
    ASSERT_GE(first, 0) << player.log();
    sender.connect("send44:midi_out", "play44:midi_in");
    probe.connect("play44:out_1", "probe44:in_1");
    probe.connect("play44:out_2", "probe44:in_2");
    EXPECT_EQ(reportedLatency(player.log()), 0);

    const std::int64_t base = probe.now() + 8820;
    const std::vector<ProbeEvent> events = {
        event(base + 100, 0x90, 69, 100),  event(base + 6000, 0xB0, 1, 90),
        event(base + 6000, 0x90, 72, 110), event(base + 6000, 0x80, 72, 0),
        event(base + 9001, 0xC0, 5),       event(base + 9001, 0x90, 64, 100),
        event(base + 20000, 0x80, 64, 0)};
    const std::int64_t length = 26000;
    probe.plan({}, base, length);
    sender.plan(events, base, 0);
    ASSERT_TRUE(probe.waitForRecording(10));
    player.signal(SIGINT);
    ASSERT_EQ(player.wait(10), 0) << player.log();

    const corvalen::test::Wav take = corvalen::test::readWav(folder.file("take.wav"));
    ASSERT_EQ(take.channels.size(), 2u) << player.log();
    const std::int64_t taken = static_cast<std::int64_t>(take.channels[0].size());
    ASSERT_GE(taken, base + length - first);  // complete: every frame played till the stop

    std::vector<ProbeEvent> atPluginFrames = events;
    for (ProbeEvent& e : atPluginFrames) e.frame -= first;
    const auto alone = renderAlone(taken, atPluginFrames);
    EXPECT_GT(corvalen::test::peakMagnitude(alone[0]), 0.01);
    for (std::size_t c = 0; c < 2; ++c) {
        SCOPED_TRACE(c);
        EXPECT_TRUE(
            corvalen::test::bitEqual(probe.recording()[c], slice(alone[c], base - first, length)));
        EXPECT_TRUE(corvalen::test::bitEqual(take.channels[c], alone[c]));
    }
    // The note started and released at one frame: silent from there unless their order
    // was lost (then it would still sound, at full level, when the program change comes).
    EXPECT_LT(corvalen::test::peakMagnitude(probe.recording()[0], 8800, 9000), 0.02);
    server.stop();
    RecordProperty("player_xruns", server.xrunsOf("play44"));
}

// Corvalen through the rate adapter offline, 44.1 to 48 kHz, in 256-frame blocks: `frames`
// output frames from the adapter's set-up, events at output frames. The adapter's output does
// not depend on its blocks, so this is what the player must play from its first period on.
std::vector<std::vector<float>> convertAlone(std::int64_t frames,
                                             const std::vector<ProbeEvent>& events) {
    corvalen::rate::AdapterSetup setup;
    setup.targetRate = 48000.0;
    setup.maxBlock = 256;
    setup.maxEvents = 16;
    corvalen::rate::RateAdapter adapter(setup);
    auto plugin = corvalen::vsthost::Plugin::load(CORVALEN_PLUGIN_PATH,
                                                  {44100.0f, adapter.maxSourceFrames()});
    plugin->resume();
    corvalen::vsthost::PluginSource source(*plugin, adapter.maxSourceEvents());
    std::vector<std::vector<float>> out(2, std::vector<float>(static_cast<std::size_t>(frames)));
    std::vector<corvalen::rate::TimedEvent> block;
    std::size_t next = 0;
    for (std::int64_t pos = 0; pos < frames; pos += 256) {
        const int length = static_cast<int>(std::min<std::int64_t>(256, frames - pos));
        block.clear();
        for (; next < events.size() && events[next].frame < pos + length; ++next) {
            corvalen::rate::TimedEvent e;
            e.frame = static_cast<std::int32_t>(events[next].frame - pos);
            std::copy(events[next].bytes, events[next].bytes + 3, e.midi);
            block.push_back(e);
        }
        float* outputs[] = {out[0].data() + pos, out[1].data() + pos};
        adapter.process(source, outputs, length, block.data(), static_cast<int>(block.size()));
    }
    return out;
}

// Waits until `text` shows in the player's log, at most `seconds`.
bool logShows(const ChildProgram& player, const std::string& text, double seconds) {
    for (int waited = 0; waited < seconds * 1000; waited += 20) {
        if (player.log().find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// jack_bufsize changes the period of the running server, at 48 kHz, to a shorter one and then
// to one longer than the player was set up for. Nothing of it is heard: the player's recording
// still equals the plug-in converted offline, bit for bit (a rebuilt adapter would restart its
// history, a gap), with no silent period, and the player says what JACK now runs at. The
// events come before the changes, as JACK's frame count may jump while its driver restarts.
TEST(PlayJack, APeriodChangeOfTheRunningServerIsNotHeard) {
    TempFolder folder;
    JackServer server(48000, 256, folder.file("jackd.log"));
    ChildProgram player({PLAY_EXE, "-p", CORVALEN_PLUGIN_PATH, "-n", "playp", "--no-connect",
                         "--record", folder.file("take.wav"), "--format", "float"},
                        folder.file("play.log"));
    Probe sender("sendp", 0);
    ASSERT_TRUE(corvalen::test::waitForPort(sender.client(), "playp:midi_in", 10)) << player.log();
    const std::int64_t first = firstPeriodFrame(player);  // active: its ports connect
    ASSERT_GE(first, 0) << player.log();
    sender.connect("sendp:midi_out", "playp:midi_in");
    const std::int64_t base = sender.now() + 4800;
    const std::vector<ProbeEvent> events = {event(base + 100, 0x90, 69, 100),
                                            event(base + 3001, 0x90, 76, 110)};
    sender.plan(events, base, 0);
    while (sender.now() < base + 6000) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    for (const char* period : {"128", "1024"}) {
        ChildProgram resize({"jack_bufsize", period}, folder.file("bufsize.log"));
        ASSERT_EQ(resize.wait(10), 0) << resize.log();
        ASSERT_TRUE(logShows(player, std::string("in ") + period + "-frame periods", 5))
            << player.log();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    player.signal(SIGINT);
    ASSERT_EQ(player.wait(10), 0) << player.log();
    EXPECT_EQ(player.log().find("silence"), std::string::npos) << player.log();

    const corvalen::test::Wav take = corvalen::test::readWav(folder.file("take.wav"));
    ASSERT_EQ(take.channels.size(), 2u) << player.log();
    std::vector<ProbeEvent> atPlayerFrames = events;
    for (ProbeEvent& e : atPlayerFrames) e.frame -= first;
    const auto alone =
        convertAlone(static_cast<std::int64_t>(take.channels[0].size()), atPlayerFrames);
    EXPECT_GT(corvalen::test::peakMagnitude(take.channels[0], base + 9000 - first), 0.01);
    EXPECT_TRUE(corvalen::test::bitEqual(take.channels[0], alone[0]));
    EXPECT_TRUE(corvalen::test::bitEqual(take.channels[1], alone[1]));
}

// At 48 kHz Corvalen runs at its own 44.1 kHz through the rate adapter: an A4 keeps the pitch
// of the 44.1 kHz render within a cent, and its onset comes at the note-on frame plus the
// latency the output ports report. With the default connections the outputs go to the
// physical playback ports. The server stopping under the player ends it with a clear message,
// exit code 9 and the recording kept.
TEST(PlayJack, At48000AnA4KeepsItsPitchAndComesAfterTheReportedLatency) {
    TempFolder folder;
    JackServer server(48000, 256, folder.file("jackd.log"));
    ChildProgram player({PLAY_EXE, "-p", CORVALEN_PLUGIN_PATH, "-n", "play48", "--record",
                         folder.file("take.flac")},
                        folder.file("play.log"));
    std::vector<float> heard;
    std::int64_t noteFrame = 0;
    jack_latency_range_t capture{}, playback{};
    {
        Probe sender("send48", 0);
        Probe probe("probe48", 1);
        ASSERT_TRUE(corvalen::test::waitForPort(probe.client(), "play48:out_2", 10))
            << player.log();
        ASSERT_GE(firstPeriodFrame(player), 0) << player.log();
        jack_port_t* out = jack_port_by_name(probe.client(), "play48:out_1");
        EXPECT_TRUE(jack_port_connected_to(out, "system:playback_1"));
        sender.connect("send48:midi_out", "play48:midi_in");
        probe.connect("play48:out_1", "probe48:in_1");
        noteFrame = probe.now() + 9600;
        probe.plan({}, noteFrame - 2000, 62000);
        sender.plan({event(noteFrame, 0x90, 69, 100)}, noteFrame, 0);
        ASSERT_TRUE(probe.waitForRecording(10));
        // Read well after the connections: JACK recomputes latencies in the clients'
        // notification threads, after a connection is made.
        jack_port_get_latency_range(out, JackCaptureLatency, &capture);
        jack_port_get_latency_range(out, JackPlaybackLatency, &playback);
        heard = probe.recording()[0];
    }
    const int latency = reportedLatency(player.log());
    EXPECT_GT(latency, 0);
    EXPECT_EQ(capture.min, static_cast<jack_nframes_t>(latency));
    EXPECT_EQ(capture.max, static_cast<jack_nframes_t>(latency));
    EXPECT_GE(playback.min, static_cast<jack_nframes_t>(latency));

    const auto alone = renderAlone(66150, {event(0, 0x90, 69, 100)});
    const double ratio = 48000.0 / 44100.0;
    const double onset = firstCrossing(heard, 1e-3);
    EXPECT_NEAR(onset, 2000 + latency + firstCrossing(alone[0], 1e-3) * ratio, 1.0);
    const double period = precisePeriod(alone[0], 22050, 100.2);
    const double converted = precisePeriod(heard, 26000, period * ratio);
    EXPECT_LT(std::fabs(1200 * std::log2((converted / 48000.0) / (period / 44100.0))), 1.0);

    server.stop();
    EXPECT_EQ(player.wait(10), 9) << player.log();
    EXPECT_NE(player.log().find("the JACK server stopped"), std::string::npos) << player.log();
    EXPECT_GT(corvalen::test::readWav(folder.file("take.flac")).channels.at(0).size(), 62000u);
    RecordProperty("player_xruns", server.xrunsOf("play48"));
}

}  // namespace
