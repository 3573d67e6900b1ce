#include "tools/play/play_engine.h"

#include <stdexcept>
#include <string>
#include <thread>

#if defined(__SSE__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

namespace corvalen::play {
namespace {

// MXCSR: flush-to-zero (bit 15) and denormals-are-zero (bit 6). A tail decaying into
// subnormals would otherwise cost many times a sounding block on this thread. Checked every
// period, as a plug-in may clear them; written only then, since the write stalls the pipeline.
void flushDenormals() {
#if defined(__SSE__) || defined(_M_X64)
    constexpr unsigned kFlushBits = 0x8040;
    const unsigned csr = _mm_getcsr();
    if ((csr & kFlushBits) != kFlushBits) _mm_setcsr(csr | kFlushBits);
#endif
}

}  // namespace

PlayEngine::PlayEngine(vsthost::Plugin& plugin, const EngineSetup& setup)
    : plugin_(plugin),
      sessionRate_(setup.sessionRate),
      pluginRate_(setup.pluginRate),
      period_(setup.period),
      maxEvents_(setup.maxEvents),
      intake_(setup.midi),
      ring_(setup.ring),
      events_(static_cast<std::size_t>(setup.maxEvents)),
      inputs_(static_cast<std::size_t>(plugin.numInputs()) + 1, nullptr) {
    if (plugin.numInputs() > 0 && setup.pluginRate != setup.sessionRate) {
        throw std::invalid_argument(
            "an effect plays at JACK's rate only (its inputs are not converted): leave out "
            "--plugin-rate");
    }
    install(makeAdapter(sessionRate_, period_));
    plugin_.resume();
}

PlayEngine::~PlayEngine() {
    if (plugin_.resumed()) plugin_.suspend();
}

std::unique_ptr<rate::RateAdapter> PlayEngine::makeAdapter(double sessionRate, int period) const {
    rate::AdapterSetup setup;
    setup.sourceRate = pluginRate_;
    setup.targetRate = sessionRate;
    setup.channels = plugin_.numOutputs();
    setup.maxBlock = period;
    setup.maxEvents = maxEvents_;
    return std::make_unique<rate::RateAdapter>(setup);
}

// The plug-in is suspended or not yet resumed, and the audio thread held off.
void PlayEngine::install(std::unique_ptr<rate::RateAdapter> adapter) {
    adapter_ = std::move(adapter);
    plugin_.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(pluginRate_));
    plugin_.dispatch(effSetBlockSize, 0, adapter_->maxSourceFrames());
    source_ = std::make_unique<vsthost::PluginSource>(plugin_, adapter_->maxSourceEvents());
    latency_.store(adapter_->latency(), std::memory_order_relaxed);
}

void PlayEngine::reconfigure(int period, double sessionRate, bool pluginFollowsSession) {
    // A new period alone changes nothing that sounds: the adapter takes a longer period in
    // pieces of the old one, so the plug-in's block size still holds, and a shorter one as it
    // is. Rebuilding would restart the adapter's history, a gap of its latency.
    if (sessionRate == sessionRate_) {
        period_ = period;
        return;
    }
    const double pluginRate = pluginFollowsSession ? sessionRate : pluginRate_;
    const double oldPluginRate = pluginRate_;
    pluginRate_ = pluginRate;
    std::unique_ptr<rate::RateAdapter> adapter;
    try {
        adapter = makeAdapter(sessionRate, period);
    } catch (...) {
        pluginRate_ = oldPluginRate;
        throw;
    }
    int expected = kNobody;
    while (!holder_.compare_exchange_weak(expected, kControl, std::memory_order_acquire)) {
        expected = kNobody;
        std::this_thread::yield();
    }
    plugin_.suspend();
    install(std::move(adapter));
    plugin_.resume();
    period_ = period;
    sessionRate_ = sessionRate;
    holder_.store(kNobody, std::memory_order_release);
}

bool PlayEngine::begin() {
    flushDenormals();
    eventCount_ = 0;
    periodDropped_ = 0;
    int expected = kNobody;
    if (holder_.compare_exchange_strong(expected, kAudio, std::memory_order_acquire)) return true;
    silenced_.fetch_add(1, std::memory_order_relaxed);
    return false;
}

void PlayEngine::addMidi(const std::uint8_t* bytes, std::size_t size, int frame) {
    if (eventCount_ == maxEvents_) {
        ++periodDropped_;
        return;
    }
    if (intake_.take(bytes, size, frame, events_[static_cast<std::size_t>(eventCount_)])) {
        ++eventCount_;
    }
}

void PlayEngine::process(int frames, const float* const* inputs, float* const* outputs) {
    for (int c = 0; c < plugin_.numInputs(); ++c) {
        inputs_[static_cast<std::size_t>(c)] = const_cast<float*>(inputs[c]);
    }
    source_->setInputs(inputs_.data());
    adapter_->process(*source_, outputs, frames, events_.data(), eventCount_);
    if (ring_) ring_->push(outputs, frames);
    notesHeld_.store(intake_.notesHeld(), std::memory_order_relaxed);
    played_.fetch_add(static_cast<std::uint64_t>(frames), std::memory_order_relaxed);
    if (periodDropped_ > 0) droppedEvents_.fetch_add(periodDropped_, std::memory_order_relaxed);
    holder_.store(kNobody, std::memory_order_release);
}

}  // namespace corvalen::play
