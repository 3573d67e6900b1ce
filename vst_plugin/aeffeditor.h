// The shape of a graphical editor as the base dispatcher reaches it (opcodes 13, 14, 15, 19).
// No editor is attached in this system; the interface exists so that the dispatcher's editor
// opcodes have a defined meaning if one ever is.
#pragma once

#include <cstdint>

#include "vst_plugin/aeffect.h"

// Editor rectangle in the host's window coordinates.
struct ERect {
    std::int16_t top;
    std::int16_t left;
    std::int16_t bottom;
    std::int16_t right;
};

class AEffEditor {
public:
    virtual ~AEffEditor() = default;
    // Points *rect at the editor's own rectangle; answers 1 when it did.
    virtual VstIntPtr getRect(ERect** rect) = 0;
    // Opens the editor inside the host's window; answers 1 on success.
    virtual VstIntPtr open(void* window) = 0;
    virtual void close() = 0;
    virtual void idle() = 0;
};
