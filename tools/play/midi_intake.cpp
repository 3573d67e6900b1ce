#include "tools/play/midi_intake.h"

namespace corvalen::play {
namespace {

constexpr int kAllNotesOff = 123;

// Bytes a channel message carries, its status included.
std::size_t lengthOf(std::uint8_t status) {
    const int kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 2 : 3;
}

}  // namespace

bool MidiIntake::take(const std::uint8_t* bytes, std::size_t size, int frame,
                      rate::TimedEvent& out) {
    if (size == 0 || bytes[0] < 0x80 || bytes[0] >= 0xF0) return false;
    const std::uint8_t status = bytes[0];
    if (size < lengthOf(status)) return false;
    if ((settings_.channelMask & (1u << (status & 0x0F))) == 0) return false;
    const std::uint8_t data1 = bytes[1] & 0x7F;
    const std::uint8_t data2 = lengthOf(status) == 3 ? bytes[2] & 0x7F : 0;
    track(status, data1, data2);
    out = rate::TimedEvent{};
    out.frame = frame;
    const int parameter = (status & 0xF0) == 0xB0 ? settings_.controllerParameter[data1] : -1;
    if (parameter >= 0) {
        out.kind = rate::TimedEvent::Kind::Parameter;
        out.parameter = parameter;
        out.value = static_cast<float>(data2) / 127.0f;
    } else {
        out.kind = rate::TimedEvent::Kind::Midi;
        out.midi[0] = status;
        out.midi[1] = data1;
        out.midi[2] = data2;
    }
    return true;
}

void MidiIntake::track(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    const std::size_t channel = status & 0x0F;
    switch (status & 0xF0) {
        case 0x90:
            hold(channel * 128 + data1, data2 != 0);
            break;
        case 0x80:
            hold(channel * 128 + data1, false);
            break;
        case 0xB0:
            if (data1 == kAllNotesOff) {
                for (std::size_t note = 0; note < 128; ++note) hold(channel * 128 + note, false);
            }
            break;
        default:
            break;
    }
}

void MidiIntake::hold(std::size_t key, bool held) {
    if (held_[key] == held) return;
    held_[key] = held;
    notesHeld_ += held ? 1 : -1;
}

}  // namespace corvalen::play
