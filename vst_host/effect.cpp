#include "vst_host/effect.h"

#include <cstdint>
#include <vector>

namespace corvalen::vsthost {

Effect::~Effect() {
    if (effect_) close();
}

VstIntPtr Effect::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

void Effect::setUp(float sampleRate, VstInt32 blockSize) {
    dispatch(effOpen);
    setSampleRate(sampleRate);
    setBlockSize(blockSize);
}

void Effect::setParameter(VstInt32 index, float value) {
    if (effect_->setParameter) effect_->setParameter(effect_, index, value);
}

float Effect::getParameter(VstInt32 index) {
    return effect_->getParameter ? effect_->getParameter(effect_, index) : 0.0f;
}

VstIntPtr Effect::canDo(const std::string& text) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    return dispatch(effCanDo, 0, 0, buffer.data());
}

void Effect::processReplacing(float** inputs, float** outputs, VstInt32 frames) {
    effect_->processReplacing(effect_, inputs, outputs, frames);
}

void Effect::process(float** inputs, float** outputs, VstInt32 frames) {
    effect_->process(effect_, inputs, outputs, frames);
}

void Effect::processReplacing(AudioBlock& block) {
    processReplacing(block.inputs(), block.outputs(), static_cast<VstInt32>(block.frames()));
}

void Effect::process(AudioBlock& block) {
    process(block.inputs(), block.outputs(), static_cast<VstInt32>(block.frames()));
}

TextResult Effect::readText(VstInt32 opcode, VstInt32 index, VstIntPtr value,
                            std::size_t bufferSize) {
    GuardedText buffer(bufferSize);
    TextResult result{};
    result.result = dispatch(opcode, index, value, buffer.data());
    result.bytesTouched = buffer.bytesTouched();
    result.terminated = buffer.terminated();
    result.text = buffer.text();
    return result;
}

std::string fourCharacterText(VstInt32 code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((static_cast<std::uint32_t>(code) >> shift) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text;
}

std::string Effect::text(VstInt32 opcode, VstInt32 index, VstIntPtr value) {
    return printableText(readText(opcode, index, value).text);
}

VstIntPtr Effect::close() {
    const VstIntPtr result = dispatch(effClose);
    effect_ = nullptr;
    return result;
}

}  // namespace corvalen::vsthost
