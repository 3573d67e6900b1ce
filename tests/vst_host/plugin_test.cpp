// vsthost::Plugin with the scheduler, as the renderer and a live player use them: the built
// plug-in loaded through its entry point, events sliced into blocks by EventScheduler. The
// same events must give the same samples whatever the block size, and reading a program's
// name must not change the program.
#include "vst_host/plugin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tests/support/plugin_under_test.h"
#include "tests/support/signals.h"
#include "vst_host/event_scheduler.h"

namespace corvalen::test {
namespace {

using vsthost::Plugin;
using vsthost::timedEvent;

constexpr int kFrames = 30000;

// A legato change, a release and a note on another channel, at frames no block size here
// divides evenly.
const std::vector<vsthost::TimedEvent> kEvents = {
    timedEvent(3, 0x90, 60, 100),     timedEvent(9001, 0x90, 64, 90),
    timedEvent(14007, 0x80, 64, 0),   timedEvent(14011, 0x80, 60, 0),
    timedEvent(17777, 0x91, 67, 127), timedEvent(25013, 0x81, 67, 0),
};

std::vector<float> renderLeft(int blockSize, int maxEventsPerList) {
    const auto plugin = Plugin::load(pluginUnderTestPath(), {44100.0f, blockSize});
    EXPECT_TRUE(plugin->isSynth());
    EXPECT_TRUE(plugin->usesReplacing());
    vsthost::EventScheduler scheduler(kEvents, maxEventsPerList);
    vsthost::EventList list(static_cast<std::size_t>(maxEventsPerList));
    std::vector<float> left(static_cast<std::size_t>(blockSize));
    std::vector<float> right(left.size());
    float* outputs[] = {left.data(), right.data()};
    float* inputs[] = {nullptr};
    std::vector<float> rendered;
    plugin->resume();
    for (std::int64_t position = 0; position < kFrames;) {
        const int want = static_cast<int>(std::min<std::int64_t>(blockSize, kFrames - position));
        const auto slice = scheduler.next(position, want, list);
        if (!list.empty()) plugin->sendEvents(list.get());
        plugin->process(inputs, outputs, slice.frames);
        rendered.insert(rendered.end(), left.begin(), left.begin() + slice.frames);
        position += slice.frames;
    }
    return rendered;
}

TEST(Plugin, TheSameEventsGiveTheSameSamplesWhateverTheBlocksAndLists) {
    const std::vector<float> reference = renderLeft(512, 8);
    ASSERT_EQ(reference.size(), static_cast<std::size_t>(kFrames));
    EXPECT_GT(peakMagnitude(reference, 100, 9000), 0.01);
    EXPECT_GT(peakMagnitude(reference, 17800, 25000), 0.01);
    EXPECT_EQ(nonFiniteCount(reference), 0u);
    EXPECT_TRUE(bitEqual(renderLeft(1, 1), reference));
    EXPECT_TRUE(bitEqual(renderLeft(333, 1), reference));
    EXPECT_TRUE(bitEqual(renderLeft(4096, 8), reference));
}

TEST(Plugin, ReadingProgramNamesKeepsTheCurrentProgram) {
    const auto plugin = Plugin::load(pluginUnderTestPath(), {48000.0f, 256});
    ASSERT_GT(plugin->numPrograms(), 5);
    plugin->setProgram(3);
    const std::string fifth = plugin->programName(5);
    EXPECT_FALSE(fifth.empty());
    EXPECT_NE(plugin->programName(3), fifth);
    EXPECT_EQ(plugin->dispatch(effGetProgram), 3);
    EXPECT_FALSE(plugin->effectName().empty());
}

TEST(Plugin, AFileThatIsNoPluginIsRefusedAsUnloadable) {
    try {
        Plugin::load("/nonexistent/Corvalen.so", {});
        FAIL() << "loaded a missing file";
    } catch (const vsthost::LoadError& error) {
        EXPECT_EQ(error.failure(), vsthost::LoadFailure::kLibraryUnloadable);
    }
}

}  // namespace
}  // namespace corvalen::test
