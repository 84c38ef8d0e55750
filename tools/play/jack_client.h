// The player as a JACK client: one MIDI input, two audio outputs, the
// plug-in rendered in the process callback, and what the server tells us
// (rate and period changes, xruns, going away).
//
// Threads: the constructor, connect, activate and close on the main thread;
// the callbacks on JACK's threads (process: the real-time one).
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "live_player.h"

namespace orvo::play {

// A server or port problem, with the exit status it deserves: 1 when the
// server is missing or fails, 2 when the user named a port that is not there.
class JackError : public std::runtime_error {
public:
    JackError(const std::string& what, int status) : std::runtime_error(what), status(status) {}
    int status;
};

class JackClient {
public:
    static constexpr const char* kClientName = "Orvo Switch";

    // Opens the client (never starting a server) and registers its ports.
    explicit JackClient(const std::string& serverName);
    ~JackClient();
    JackClient(const JackClient&) = delete;
    JackClient& operator=(const JackClient&) = delete;

    int sampleRate() const { return static_cast<int>(jack_get_sample_rate(client_)); }
    int bufferSize() const { return static_cast<int>(jack_get_buffer_size(client_)); }

    // The plug-in goes live: process callbacks start, the host's rate and
    // block follow the server's from here on.
    void activate(LivePlayer& player, render::PluginHost& host);
    // Our MIDI input from `sources` (default: every physical MIDI output,
    // i.e. the keyboards plugged in),
    // our outputs to `sinks` (default: the first two physical playback
    // ports; one port takes both channels).
    void connect(const std::vector<std::string>& sources, const std::vector<std::string>& sinks);
    void close();

    // Whether anything feeds our MIDI input; and the ports that could, by
    // name, for telling the user how to connect one.
    bool midiInputConnected() const;
    std::vector<std::string> midiSources() const;

    int xruns() const { return xruns_.load(std::memory_order_relaxed); }
    bool serverGone() const { return gone_.load(std::memory_order_relaxed); }
    uint64_t droppedEvents() const { return droppedEvents_.load(std::memory_order_relaxed); }

private:
    static int onProcess(jack_nframes_t frames, void* self);
    static int onRate(jack_nframes_t rate, void* self);
    static int onBufferSize(jack_nframes_t frames, void* self);
    static int onXrun(void* self);
    static void onShutdown(jack_status_t, const char* reason, void* self);

    jack_client_t* client_ = nullptr;
    jack_port_t* midiIn_ = nullptr;
    jack_port_t* out_[2] = {nullptr, nullptr};
    LivePlayer* player_ = nullptr;
    render::PluginHost* host_ = nullptr;
    bool active_ = false;
    int rate_ = 0;  // the plug-in's rate: the server's at activation, then each change
    std::atomic<int> xruns_{0};
    std::atomic<bool> gone_{false};
    std::atomic<uint64_t> droppedEvents_{0};
    // Audio thread only: the period's MIDI, read from the port.
    static constexpr uint32_t kMaxEvents = 1024;
    LiveMidi events_[kMaxEvents];
};

}  // namespace orvo::play
