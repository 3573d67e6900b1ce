#include "tests/lv2/lv2_host.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>
#include <lv2/urid/urid.h>

#include <cstring>
#include <stdexcept>

namespace corvalen::test {

struct Lv2World::MapFeature {
    LV2_URID_Map map;
    LV2_Feature feature;
};

Lv2World::Lv2World() : world_(lilv_world_new()), map_(std::make_unique<MapFeature>()) {
    map_->map.handle = this;
    map_->map.map = [](LV2_URID_Map_Handle handle, const char* uri) -> LV2_URID {
        return static_cast<Lv2World*>(handle)->map(uri);
    };
    map_->feature = {LV2_URID__map, &map_->map};
    features_[0] = &map_->feature;

    // The build tree's bundle and LV2's core vocabulary (the plug-in classes), not whatever
    // plug-ins the machine has installed.
    for (const std::string& bundle : {std::string(LV2_SPECIFICATION_DIR) + "/core.lv2/",
                                      std::string(CORVALEN_LV2_BUNDLE) + "/"}) {
        LilvNode* bundleUri = lilv_new_file_uri(world_, nullptr, bundle.c_str());
        lilv_world_load_bundle(world_, bundleUri);
        lilv_node_free(bundleUri);
    }
    lilv_world_load_specifications(world_);
    lilv_world_load_plugin_classes(world_);
    LilvNode* uri = lilv_new_uri(world_, "urn:velquist:corvalen");
    plugin_ = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), uri);
    lilv_node_free(uri);
}

Lv2World::~Lv2World() {
    lilv_world_free(world_);
}

std::uint32_t Lv2World::map(const char* uri) {
    const auto found = uris_.find(uri);
    if (found != uris_.end()) return found->second;
    const auto id = static_cast<std::uint32_t>(uris_.size() + 1);
    uris_.emplace(uri, id);
    return id;
}

Lv2Instance::Lv2Instance(Lv2World& world, double sampleRate) : world_(world), sequence_(8192) {
    if (world.plugin() == nullptr) throw std::runtime_error("no Corvalen in the bundle");
    instance_ = lilv_plugin_instantiate(world.plugin(), sampleRate, world.features());
    if (instance_ == nullptr) throw std::runtime_error("lilv_plugin_instantiate failed");
    midiEvent_ = world.map(LV2_MIDI__MidiEvent);
    sequenceType_ = world.map(LV2_ATOM__Sequence);

    const LilvPlugin* plugin = world.plugin();
    const std::uint32_t ports = lilv_plugin_get_num_ports(plugin);
    values_.assign(ports, 0.0f);
    std::vector<float> defaults(ports, 0.0f);
    lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, defaults.data());
    LilvNode* input = lilv_new_uri(world.world(), LV2_CORE__InputPort);
    LilvNode* controlPort = lilv_new_uri(world.world(), LV2_CORE__ControlPort);
    for (std::uint32_t index = 0; index < ports; ++index) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, index);
        if (!lilv_port_is_a(plugin, port, controlPort)) continue;
        if (lilv_port_is_a(plugin, port, input)) {
            values_[index] = defaults[index];
            controlIndex_[lilv_node_as_string(lilv_port_get_symbol(plugin, port))] = index;
            lilv_instance_connect_port(instance_, index, &values_[index]);
        } else {
            lilv_instance_connect_port(instance_, index, &latency_);
        }
    }
    lilv_node_free(input);
    lilv_node_free(controlPort);
    lilv_instance_connect_port(instance_, 0, sequence_.data());
    lilv_instance_activate(instance_);
}

Lv2Instance::~Lv2Instance() {
    lilv_instance_deactivate(instance_);
    lilv_instance_free(instance_);
}

bool Lv2Instance::setControl(const std::string& symbol, float value) {
    const auto found = controlIndex_.find(symbol);
    if (found == controlIndex_.end()) return false;
    values_[found->second] = value;
    return true;
}

float Lv2Instance::control(const std::string& symbol) const {
    return values_.at(controlIndex_.at(symbol));
}

bool Lv2Instance::applyPreset(const std::string& uri) {
    LilvNode* preset = lilv_new_uri(world_.world(), uri.c_str());
    lilv_world_load_resource(world_.world(), preset);
    LV2_URID_Map* map = static_cast<LV2_URID_Map*>(world_.features()[0]->data);
    LilvState* state = lilv_state_new_from_world(world_.world(), map, preset);
    lilv_node_free(preset);
    if (state == nullptr) return false;
    lilv_state_restore(
        state, instance_,
        [](const char* symbol, void* self, const void* value, uint32_t size, uint32_t type) {
            auto* instance = static_cast<Lv2Instance*>(self);
            if (size == sizeof(float) && type == instance->world_.map(LV2_ATOM__Float)) {
                instance->setControl(symbol, *static_cast<const float*>(value));
            }
        },
        this, 0, nullptr);
    lilv_state_free(state);
    return true;
}

void Lv2Instance::run(int frames, const std::vector<vsthost::MidiMessage>& events, float* out1,
                      float* out2) {
    if (frames < 0 || frames > kMaxFrames) throw std::invalid_argument("frames out of range");
    auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(sequence_.data());
    const auto capacity = static_cast<std::uint32_t>(sequence_.size() * sizeof(std::uint64_t));
    sequence->atom.type = sequenceType_;
    sequence->atom.size = sizeof(LV2_Atom_Sequence_Body);
    sequence->body.unit = 0;
    sequence->body.pad = 0;
    for (const vsthost::MidiMessage& message : events) {
        struct {
            LV2_Atom_Event header;
            std::uint8_t bytes[8];
        } event{};
        event.header.time.frames = message.frame;
        event.header.body.type = midiEvent_;
        event.header.body.size = 3;
        event.bytes[0] = message.status;
        event.bytes[1] = message.data1;
        event.bytes[2] = message.data2;
        if (lv2_atom_sequence_append_event(sequence, capacity - sizeof(LV2_Atom), &event.header) ==
            nullptr) {
            throw std::length_error("too many events for the sequence buffer");
        }
    }
    lilv_instance_connect_port(instance_, 1, out1);
    lilv_instance_connect_port(instance_, 2, out2);
    lilv_instance_run(instance_, static_cast<std::uint32_t>(frames));
    // What a host does after each run: the input sequence is emptied for the next.
    sequence->atom.size = sizeof(LV2_Atom_Sequence_Body);
}

const void* Lv2Instance::runFunction() const {
    return reinterpret_cast<const void*>(lilv_instance_get_descriptor(instance_)->run);
}

LV2_Handle Lv2Instance::handle() const {
    return lilv_instance_get_handle(instance_);
}

}  // namespace corvalen::test
