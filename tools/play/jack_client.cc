#include "jack_client.h"

#include <jack/midiport.h>

#include <cstring>

#include "plugin_setup.h"

namespace orvo::play {
namespace {

std::vector<std::string> portsOf(jack_client_t* c, const char* type, unsigned long flags) {
    std::vector<std::string> names;
    if (const char** ports = jack_get_ports(c, nullptr, type, flags)) {
        for (const char** p = ports; *p; ++p) names.push_back(*p);
        jack_free(ports);
    }
    return names;
}

void mustExist(jack_client_t* c, const std::string& name, const char* what) {
    if (!jack_port_by_name(c, name.c_str()))
        throw JackError("no JACK port '" + name + "' to take " + what + " (jack_lsp lists them)", 2);
}

void link(jack_client_t* c, const std::string& from, const std::string& to) {
    const int err = jack_connect(c, from.c_str(), to.c_str());
    if (err != 0 && err != EEXIST) throw JackError("cannot connect '" + from + "' to '" + to + "'", 1);
}

}  // namespace

// The library's own complaints ("cannot connect to server socket") would
// only bury the one message that says what to do.
void quiet(const char*) {}

JackClient::JackClient(const std::string& serverName) {
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    jack_status_t status{};
    const int options = JackNoStartServer | (serverName.empty() ? 0 : JackServerName);
    client_ = serverName.empty() ? jack_client_open(kClientName, static_cast<jack_options_t>(options), &status)
                                 : jack_client_open(kClientName, static_cast<jack_options_t>(options), &status,
                                                    serverName.c_str());
    if (!client_) {
        if (status & JackServerFailed)
            throw JackError("no JACK server is running" +
                                (serverName.empty() ? std::string() : " under the name '" + serverName + "'") +
                                ": start one (jackd, or PipeWire's JACK layer) and try again",
                            1);
        throw JackError("the JACK server refused the client (status 0x" + std::to_string(status) + ")", 1);
    }
    midiIn_ = jack_port_register(client_, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    out_[0] = jack_port_register(client_, "out_left", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    out_[1] = jack_port_register(client_, "out_right", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    if (!midiIn_ || !out_[0] || !out_[1]) {
        jack_client_close(client_);
        client_ = nullptr;
        throw JackError("the JACK server would not register our ports", 1);
    }
}

JackClient::~JackClient() { close(); }

void JackClient::activate(LivePlayer& player, render::PluginHost& host) {
    player_ = &player;
    host_ = &host;
    rate_ = sampleRate();
    jack_set_process_callback(client_, onProcess, this);
    jack_set_sample_rate_callback(client_, onRate, this);
    jack_set_buffer_size_callback(client_, onBufferSize, this);
    jack_set_xrun_callback(client_, onXrun, this);
    jack_on_info_shutdown(client_, onShutdown, this);
    if (jack_activate(client_) != 0) throw JackError("the JACK server would not start our processing", 1);
    active_ = true;
}

void JackClient::connect(const std::vector<std::string>& sources, const std::vector<std::string>& sinks) {
    const std::string in = jack_port_name(midiIn_);
    const std::string left = jack_port_name(out_[0]), right = jack_port_name(out_[1]);
    for (const std::string& s : sources) mustExist(client_, s, "MIDI from");
    for (const std::string& s : sinks) mustExist(client_, s, "audio to");
    if (sinks.size() > 2) throw JackError("--audio-out takes at most two ports: left, then right", 2);

    std::vector<std::string> from = sources, to = sinks;
    if (from.empty()) from = portsOf(client_, JACK_DEFAULT_MIDI_TYPE, JackPortIsPhysical | JackPortIsOutput);
    if (to.empty()) to = portsOf(client_, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsInput);
    for (const std::string& s : from) link(client_, s, in);
    if (!to.empty()) {
        link(client_, left, to[0]);
        link(client_, right, to.size() > 1 ? to[1] : to[0]);
    }
}

bool JackClient::midiInputConnected() const { return client_ && jack_port_connected(midiIn_) > 0; }

std::vector<std::string> JackClient::midiSources() const {
    return client_ ? portsOf(client_, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput) : std::vector<std::string>{};
}

// After the server went away the client is dead, but its threads and
// memory are only released by closing it, which then returns at once.
void JackClient::close() {
    if (!client_) return;
    if (active_ && !gone_.load(std::memory_order_relaxed)) jack_deactivate(client_);
    jack_client_close(client_);
    client_ = nullptr;
    active_ = false;
}

int JackClient::onProcess(jack_nframes_t frames, void* arg) {
    auto* self = static_cast<JackClient*>(arg);
    auto* left = static_cast<float*>(jack_port_get_buffer(self->out_[0], frames));
    auto* right = static_cast<float*>(jack_port_get_buffer(self->out_[1], frames));
    void* midi = jack_port_get_buffer(self->midiIn_, frames);
    const uint32_t available = jack_midi_get_event_count(midi);
    uint32_t count = 0;
    for (uint32_t i = 0; i < available; ++i) {
        jack_midi_event_t e;
        if (jack_midi_event_get(&e, midi, i) != 0 || e.size == 0 || e.size > 3) continue;  // sysex and the like
        if (count == kMaxEvents) {
            self->droppedEvents_.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        LiveMidi& m = self->events_[count++];
        m.frame = e.time;
        m.size = static_cast<uint8_t>(e.size);
        std::memset(m.data, 0, sizeof m.data);
        std::memcpy(m.data, e.buffer, e.size);
    }
    self->player_->process(frames, left, right, self->events_, count);
    return 0;
}

// JACK calls these outside the process callback, with processing paused.
// A change of rate reaches the plug-in as a host's effSetSampleRate, which
// moves only its pitch at once; re-selecting the current program then
// converts every other value at the new rate too, so what is heard is what
// orvo-render gives at that rate. The rate it was loaded at needs nothing.
int JackClient::onRate(jack_nframes_t rate, void* arg) {
    auto* self = static_cast<JackClient*>(arg);
    if (static_cast<int>(rate) == self->rate_) return 0;
    self->rate_ = static_cast<int>(rate);
    self->host_->dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
    render::applyProgram(*self->host_, std::nullopt);
    return 0;
}

int JackClient::onBufferSize(jack_nframes_t frames, void* arg) {
    static_cast<JackClient*>(arg)->host_->dispatch(effSetBlockSize, 0, static_cast<VstIntPtr>(frames));
    return 0;
}

int JackClient::onXrun(void* arg) {
    static_cast<JackClient*>(arg)->xruns_.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

void JackClient::onShutdown(jack_status_t, const char*, void* arg) {
    static_cast<JackClient*>(arg)->gone_.store(true, std::memory_order_relaxed);
}

}  // namespace orvo::play
