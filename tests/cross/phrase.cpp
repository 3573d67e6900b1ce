#include "tests/cross/phrase.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "vst_host/effect.h"
#include "vst_host/event_list.h"
#include "vst_host/event_scheduler.h"  // TimedEvent
#include "vst_host/host.h"

namespace corvalen::test {
namespace {

// Parameter changes arrive between blocks: each is applied before the first block that starts
// at or after its frame.
struct ParameterAt {
    int frame;
    VstInt32 index;
    float value;
};

constexpr int frameAt(double seconds) {
    return static_cast<int>(seconds * kPhraseSampleRate);
}

// Sorted by frame. The second note starts while the first still sounds (last-note priority),
// the release of the first note then names a note that no longer sounds, and notes come on
// several channels.
const std::vector<vsthost::TimedEvent> kNotes = {
    {frameAt(0.0) + 3, {0x90, 60, 100}}, {frameAt(1.0), {0x91, 67, 80}},
    {frameAt(1.2) + 5, {0x80, 60, 0}},   {frameAt(1.5), {0x81, 67, 64}},
    {frameAt(1.8), {0x90, 72, 127}},     {frameAt(1.8) + 1, {0x90, 74, 90}},
    {frameAt(2.4), {0x9F, 48, 1}},       {frameAt(2.5), {0x80, 74, 0}},
    {frameAt(2.6), {0x90, 48, 0}},  // note-on with velocity 0: a release
    {frameAt(2.7), {0x9F, 43, 110}},     {frameAt(3.0), {0x8F, 43, 0}},
};

// Indexes: 0 bow position, 1 bow pressure, 2 modulation rate, 3 modulation depth,
// 4 note-off gain, 5 level.
constexpr std::array<ParameterAt, 12> kParameterChanges = {{
    {0, 5, 0.9f},
    {frameAt(0.3), 0, 0.2f},
    {frameAt(0.5), 1, 0.8f},
    {frameAt(0.7), 2, 0.6f},
    {frameAt(0.7), 3, 0.5f},
    {frameAt(1.3), 4, 0.3f},
    {frameAt(1.6), 5, 0.5f},
    {frameAt(2.0), 0, 0.9f},
    {frameAt(2.1), 1, 0.35f},
    {frameAt(2.2), 3, 1.0f},
    {frameAt(2.3), 2, 0.05f},
    {frameAt(2.9), 4, 0.0f},
}};

constexpr std::array<int, 9> kBlockSizes = {1, 7, 64, 333, 512, 1024, 100, 2, 777};

}  // namespace

std::vector<PhraseBlock> phraseBlocks() {
    std::vector<PhraseBlock> blocks;
    std::size_t nextNote = 0, nextChange = 0, blockNumber = 0;
    for (int start = 0; start < kPhraseFrames; ++blockNumber) {
        PhraseBlock block;
        block.start = start;
        block.frames =
            std::min(kBlockSizes[blockNumber % kBlockSizes.size()], kPhraseFrames - start);
        for (;
             nextChange < kParameterChanges.size() && kParameterChanges[nextChange].frame <= start;
             ++nextChange) {
            const ParameterAt& change = kParameterChanges[nextChange];
            block.changes.push_back({change.index, change.value});
        }
        for (; nextNote < kNotes.size() && kNotes[nextNote].frame < start + block.frames;
             ++nextNote) {
            const vsthost::TimedEvent& note = kNotes[nextNote];
            block.notes.push_back({static_cast<VstInt32>(note.frame - start), note.bytes[0],
                                   note.bytes[1], note.bytes[2]});
        }
        start += block.frames;
        blocks.push_back(std::move(block));
    }
    return blocks;
}

std::vector<float> renderPhrase(const vsthost::PluginLibrary& library) {
    vsthost::Host host(vsthost::HostProfile::kVersionOnly);
    AEffect* record = host.open(library);
    if (record == nullptr) return {};
    vsthost::Effect effect(record);
    effect.setUp(static_cast<float>(kPhraseSampleRate), kPhraseMaxBlock);
    effect.resume();

    std::vector<float> interleaved;
    interleaved.reserve(2 * static_cast<std::size_t>(kPhraseFrames));
    std::vector<float> left(kPhraseMaxBlock), right(kPhraseMaxBlock), silence(kPhraseMaxBlock);
    float* inputs[2] = {silence.data(), silence.data()};
    float* outputs[2] = {left.data(), right.data()};
    vsthost::EventList list(kNotes.size());
    for (const PhraseBlock& block : phraseBlocks()) {
        for (const PhraseParameterChange& change : block.changes) {
            effect.setParameter(change.index, change.value);
        }
        list.clear();
        for (const vsthost::MidiMessage& message : block.notes) list.add(message);
        if (!list.empty()) effect.sendEvents(list);

        // A replacing call must write every sample: leftovers would show as NaN.
        std::fill(left.begin(), left.end(), std::numeric_limits<float>::quiet_NaN());
        std::fill(right.begin(), right.end(), std::numeric_limits<float>::quiet_NaN());
        effect.processReplacing(inputs, outputs, block.frames);
        for (int i = 0; i < block.frames; ++i) {
            interleaved.push_back(left[static_cast<std::size_t>(i)]);
            interleaved.push_back(right[static_cast<std::size_t>(i)]);
        }
    }

    effect.suspend();
    effect.close();
    return interleaved;
}

}  // namespace corvalen::test
