// The fixed phrase that every build of the plug-in renders, so that the outputs of all targets
// can be compared sample for sample: several overlapping notes on different channels, changes
// of all six parameters between blocks, and block sizes from 1 to 1024 frames.
#pragma once

#include <vector>

#include "vst_host/event_list.h"
#include "vst_host/plugin_library.h"

namespace corvalen::test {

constexpr int kPhraseSampleRate = 44100;
constexpr int kPhraseMaxBlock = 1024;
constexpr int kPhraseFrames = 141120;  // 3.2 seconds

struct PhraseParameterChange {
    VstInt32 index;
    float value;
};

// One block of the phrase as a host plays it: the parameter changes due before it, then the
// notes that fall within it, their frames counted from the block's start.
struct PhraseBlock {
    int start;
    int frames;
    std::vector<PhraseParameterChange> changes;
    std::vector<vsthost::MidiMessage> notes;
};

// The whole phrase, block by block, so that a host of another plug-in format can play it too.
std::vector<PhraseBlock> phraseBlocks();

// Renders the phrase through a new effect made by the library's entry point, with a host that
// answers the version query with 2400 and every other request with 0, and closes the effect.
// Returns the two output channels interleaved (left, right per frame), or nothing when the
// entry point gives no effect.
std::vector<float> renderPhrase(const vsthost::PluginLibrary& library);

}  // namespace corvalen::test
