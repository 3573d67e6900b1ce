#include "lv2/plugin_instance.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>

#include <cstring>
#include <limits>
#include <utility>

namespace corvalen::lv2 {
namespace {

std::uint32_t bitsOf(float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// A 64-bit frame time within the 32-bit range the adapter counts in; the adapter then clamps it
// into the run.
std::int32_t narrowFrame(std::int64_t frame) {
    constexpr std::int64_t kLowest = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t kHighest = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(frame < kLowest    ? kLowest
                                     : frame > kHighest ? kHighest
                                                        : frame);
}

rate::AdapterSetup adapterSetup(double sampleRate) {
    rate::AdapterSetup setup;
    setup.sourceRate = PluginInstance::kEngineRate;
    setup.targetRate = sampleRate;
    setup.channels = 2;
    setup.maxBlock = PluginInstance::kMaxBlock;
    setup.maxEvents = PluginInstance::kMaxEvents;
    return setup;
}

}  // namespace

PluginInstance::PluginInstance(double sampleRate, std::uint32_t midiEventType)
    : engine(std::make_unique<CorvalenEngine>()),
      source(std::make_unique<EngineSource>(*engine)),
      adapter(std::make_unique<rate::RateAdapter>(adapterSetup(sampleRate))),
      midiEventType(midiEventType),
      events(std::make_unique<rate::TimedEvent[]>(kMaxEvents)),
      scratch(std::make_unique<float[]>(kMaxBlock)) {}

void PluginInstance::connect(std::uint32_t port, void* data) {
    if (port == kMidiInPort) {
        midiIn = static_cast<const LV2_Atom_Sequence*>(data);
    } else if (port == kOut1Port || port == kOut2Port) {
        outputs[port - kOut1Port] = static_cast<float*>(data);
    } else if (port >= kFirstControlPort && port < kLatencyPort) {
        controls[port - kFirstControlPort] = static_cast<const float*>(data);
    } else if (port == kLatencyPort) {
        latency = static_cast<float*>(data);
    }
}

void PluginInstance::activate() {
    if (!ranSinceActivation) return;
    // activate() may allocate: it is not called on the audio thread while run() is.
    // Both made before either is replaced, so a failure leaves the instance as it was.
    auto freshEngine = std::make_unique<CorvalenEngine>();
    auto freshSource = std::make_unique<EngineSource>(*freshEngine);
    source = std::move(freshSource);
    engine = std::move(freshEngine);
    adapter->reset();
    for (bool& sent : controlSent) sent = false;
    ranSinceActivation = false;
}

void PluginInstance::run(std::uint32_t sampleCount) {
    ranSinceActivation = true;
    std::int32_t frames = sampleCount > static_cast<std::uint32_t>(INT32_MAX)
                              ? INT32_MAX
                              : static_cast<std::int32_t>(sampleCount);
    takeControls();
    const int count = takeMidi();
    // Hosts connect every port before running; one that did not gets at most kMaxBlock frames
    // rendered into the scratch buffer for the missing output, never a write through null.
    float* targets[2] = {outputs[0], outputs[1]};
    if (targets[0] == nullptr || targets[1] == nullptr) {
        if (frames > kMaxBlock) frames = kMaxBlock;
        for (float*& target : targets) {
            if (target == nullptr) target = scratch.get();
        }
    }
    adapter->process(*source, targets, frames, events.get(), count);
    if (latency != nullptr) *latency = static_cast<float>(adapter->latency());
}

void PluginInstance::takeControls() {
    for (int index = 0; index < kParameterCount; ++index) {
        if (controls[index] == nullptr) continue;
        const float value = *controls[index];
        if (controlSent[index] && bitsOf(value) == sentControlBits[index]) continue;
        // Refused (NaN, infinity) or not, the value is noted, so it is not offered every run.
        engine->setParameter(index, value);
        sentControlBits[index] = bitsOf(value);
        controlSent[index] = true;
    }
}

int PluginInstance::takeMidi() {
    if (midiIn == nullptr) return 0;
    int count = 0;
    LV2_ATOM_SEQUENCE_FOREACH(midiIn, event) {
        if (event->body.type != midiEventType || event->body.size == 0) continue;
        const auto* bytes = static_cast<const std::uint8_t*>(LV2_ATOM_BODY_CONST(&event->body));
        rate::TimedEvent timed;
        timed.frame = narrowFrame(event->time.frames);
        timed.kind = rate::TimedEvent::Kind::Midi;
        for (std::uint32_t i = 0; i < 3 && i < event->body.size; ++i) timed.midi[i] = bytes[i];
        events[count < kMaxEvents ? count++ : kMaxEvents - 1] = timed;
    }
    return count;
}

}  // namespace corvalen::lv2
