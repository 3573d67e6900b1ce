#include "tools/validate/phrases.h"

namespace corvalen::validate {

Phrase standardPhrase() {
    Phrase phrase;
    phrase.noteOn(100, 60, 100)
        .noteOn(9000, 64, 90)          // legato: a new note over the sounding one
        .add(15000, 0xE0, 0x00, 0x50)  // pitch bend up a little
        .noteOff(20000, 64)            //
        .add(20500, 0xE0, 0x00, 0x40)  // bend back to the centre
        .noteOn(25000, 67, 127)        //
        .noteOff(30000, 60)            // releases a key that no longer sounds
        .noteOn(35000, 55, 64)         //
        .noteOff(40000, 55)            //
        .noteOff(40000, 67);
    phrase.frames = 62000;
    return phrase;
}

Phrase heldNote(std::int64_t frames, int note, int velocity) {
    Phrase phrase;
    phrase.noteOn(0, note, velocity);
    phrase.frames = frames;
    return phrase;
}

Phrase silentPhrase(std::int64_t frames) {
    Phrase phrase;
    phrase.frames = frames;
    return phrase;
}

}  // namespace corvalen::validate
