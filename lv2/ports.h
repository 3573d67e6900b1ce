#pragma once

#include <cstdint>

#include "synth/parameters.h"

// The plug-in's LV2 ports, in index order. Hosts cache indexes and symbols and match saved
// sessions by symbol, so neither may ever change; corvalen.ttl.in declares the same ports.
namespace corvalen::lv2 {

enum PortIndex : std::uint32_t {
    kMidiInPort = 0,
    kOut1Port = 1,
    kOut2Port = 2,
    kFirstControlPort = 3,  // the six parameters, in ParameterIndex order
    kLatencyPort = kFirstControlPort + kParameterCount,
    kPortCount,
};

// The control port of each parameter, in ParameterIndex order (port kFirstControlPort + index).
constexpr const char* kControlSymbols[kParameterCount] = {"bow_pos",  "bow_pres", "mod_freq",
                                                          "mod_gain", "off_gain", "level"};

constexpr const char* kPluginUri = "urn:velquist:corvalen";

}  // namespace corvalen::lv2
