// Several plug-in objects in one process, rendered on several threads at once. Each must give
// exactly the samples it gives when rendered alone: the objects share the library's code, its
// constant tables and its one random generator (which every object with Mod Gain above 0 draws
// from on every sample), and nothing else may couple them. Run under ThreadSanitizer (preset
// tsan) the same tests also show that the threads share no unsynchronised data.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/reliability/host_session.h"
#include "tests/support/plugin_under_test.h"
#include "tests/support/signals.h"
#include "vst_host/host.h"

namespace corvalen::test {
namespace {

constexpr int kInstances = 4;
constexpr int kBlocksPerSession = 600;

// Lets every thread start its work at the same moment, so that the renders overlap.
class StartLine {
public:
    explicit StartLine(int threads) : waiting_(threads) {}
    void arriveAndWait() {
        waiting_.fetch_sub(1);
        while (waiting_.load() > 0) std::this_thread::yield();
    }

private:
    std::atomic<int> waiting_;
};

class ConcurrentInstances : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < kInstances; ++i) {
            sessions.push_back(
                makeSession(static_cast<std::uint32_t>(1000 + i), kBlocksPerSession));
        }
        // Each session alone, one after the other, on this thread.
        for (const auto& session : sessions) {
            vsthost::Effect effect(host.open(pluginUnderTest()));
            ASSERT_TRUE(effect.isOpen());
            alone.push_back(play(effect, session));
        }
    }

    std::unique_ptr<vsthost::Effect> openEffect() {
        return std::make_unique<vsthost::Effect>(host.open(pluginUnderTest()));
    }

    using Effects = std::vector<std::unique_ptr<vsthost::Effect>>;

    // Renders the first `renderers` sessions, each on its own thread, while one more thread
    // runs sideWork(effects, rendering) (rendering counts the renders still going); all start
    // at the same moment. Then each render must equal the same session played alone.
    template <typename SideWork>
    void renderAlongside(int renderers, SideWork sideWork) {
        Effects effects;
        for (int i = 0; i < renderers; ++i) {
            effects.push_back(openEffect());
            ASSERT_TRUE(effects.back()->isOpen());
        }
        std::vector<std::vector<float>> together(renderers);
        std::atomic<int> rendering{renderers};
        StartLine start(renderers + 1);
        std::vector<std::thread> threads;
        for (int i = 0; i < renderers; ++i) {
            threads.emplace_back([&, i] {
                start.arriveAndWait();
                together[i] = play(*effects[i], sessions[i]);
                rendering.fetch_sub(1);
            });
        }
        threads.emplace_back([&] {
            start.arriveAndWait();
            sideWork(static_cast<const Effects&>(effects),
                     static_cast<const std::atomic<int>&>(rendering));
        });
        for (auto& thread : threads) thread.join();
        for (int i = 0; i < renderers; ++i) {
            EXPECT_TRUE(bitEqual(together[i], alone[i])) << "instance " << i;
        }
    }

    vsthost::Host host{vsthost::HostProfile::kVersionOnly};
    std::vector<std::vector<SessionBlock>> sessions;
    std::vector<std::vector<float>> alone;
};

TEST_F(ConcurrentInstances, SessionsAreAudibleAndDistinct) {
    // Without this the comparisons below could pass on silence.
    for (const auto& samples : alone) {
        std::size_t audible = 0;
        for (float sample : samples) audible += sample != 0.0f ? 1 : 0;
        EXPECT_GT(audible, samples.size() / 4);
    }
    for (int i = 1; i < kInstances; ++i) EXPECT_NE(alone[0], alone[i]);
}

TEST_F(ConcurrentInstances, EachRendersExactlyWhatItRendersAlone) {
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        renderAlongside(kInstances, [](const Effects&, const std::atomic<int>&) {});
    }
}

// A host opens and closes plug-ins (and plays them briefly) while others render.
TEST_F(ConcurrentInstances, OpeningAndClosingOthersDoesNotChangeTheirSamples) {
    int opened = 0;
    renderAlongside(2, [&](const Effects&, const std::atomic<int>& rendering) {
        const auto brief = makeSession(7, 3);
        while (rendering.load() > 0 || opened < 3) {
            auto other = openEffect();
            ASSERT_TRUE(other->isOpen());
            other->setParameter(3, 1.0f);
            play(*other, brief);
            other->close();
            ++opened;
        }
    });
    EXPECT_GE(opened, 3);
}

// A host's user interface reads values and texts of every plug-in while they render.
TEST_F(ConcurrentInstances, ReadingValuesAndTextsDoesNotChangeTheSamples) {
    int reads = 0;
    renderAlongside(2, [&](const Effects& effects, const std::atomic<int>& rendering) {
        while (rendering.load() > 0 || reads < 10) {
            for (const auto& effect : effects) {
                for (VstInt32 index = 0; index < 6; ++index) {
                    const float value = effect->getParameter(index);
                    EXPECT_GE(value, 0.0f);
                    EXPECT_LE(value, 1.0f);
                    for (VstInt32 opcode :
                         {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
                        const vsthost::TextResult text = effect->readText(opcode, index);
                        EXPECT_TRUE(text.terminated);
                        EXPECT_FALSE(text.text.empty());
                        EXPECT_LE(text.text.size(), 9u);
                    }
                }
                const vsthost::TextResult program =
                    effect->readText(effGetProgramNameIndexed, 31, 0);
                EXPECT_EQ(program.text, "init32");
            }
            ++reads;
        }
    });
    EXPECT_GE(reads, 10);
}

}  // namespace
}  // namespace corvalen::test
