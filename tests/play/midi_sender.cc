// A JACK client that plays a fixed phrase of notes, bends and controllers
// into orvo-play at known frames, and writes the same phrase as a Standard
// MIDI File whose ticks are frames at 48 kHz, for orvo-render.
//
//   orvo-test-sender SERVER PHRASE.mid [--keyboard]
// Exit 0 once the phrase has been sent. With --keyboard its port is flagged
// as hardware, as a USB keyboard's is, and it waits for orvo-play to
// connect to it rather than connecting itself.
#include <jack/jack.h>
#include <jack/midiport.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct Note {
    uint32_t frame;  // from the phrase's start
    uint8_t bytes[3];
    uint8_t size;
};

// Events on one frame, events inside a period, a chord, a bend, the
// all-off controller, a controller and a program change the instrument
// ignores, a zero-velocity note-on.
const std::vector<Note> kPhrase = {
    {0, {0x90, 60, 100}, 3},      {5000, {0x90, 67, 90}, 3},   {5000, {0x90, 71, 80}, 3},
    {9001, {0xE0, 0x00, 0x50}, 3}, {12345, {0x80, 60, 0}, 3},   {15000, {0xB0, 7, 100}, 3},
    {20033, {0x90, 48, 127}, 3},  {20033, {0xC0, 5, 0}, 2},    {26000, {0xE0, 0x00, 0x40}, 3},
    {30017, {0x90, 67, 0}, 3},    {33000, {0x90, 72, 64}, 3},  {40000, {0xB0, 126, 0}, 3},
    {45003, {0x90, 55, 110}, 3},  {60000, {0x80, 55, 0}, 3},
};
constexpr uint32_t kPhraseEnd = 60000 + 48000;  // the release, and a margin

jack_port_t* port = nullptr;
std::atomic<int64_t> startFrame{-1};  // set by main, read by the process callback
std::atomic<bool> done{false};
size_t nextNote = 0;  // process callback only

int process(jack_nframes_t frames, void* arg) {
    auto* client = static_cast<jack_client_t*>(arg);
    void* buffer = jack_port_get_buffer(port, frames);
    jack_midi_clear_buffer(buffer);
    const int64_t start = startFrame.load(std::memory_order_relaxed);
    if (start < 0) return 0;
    const int64_t now = jack_last_frame_time(client);
    for (; nextNote < kPhrase.size(); ++nextNote) {
        const int64_t at = start + kPhrase[nextNote].frame - now;
        if (at >= frames) break;
        if (at < 0) continue;  // cannot happen: the start is set ahead of time
        jack_midi_event_write(buffer, static_cast<jack_nframes_t>(at), kPhrase[nextNote].bytes, kPhrase[nextNote].size);
    }
    if (now + frames > start + kPhraseEnd) done.store(true, std::memory_order_relaxed);
    return 0;
}

void put32(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 3; i >= 0; --i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}
void putVar(std::vector<uint8_t>& v, uint32_t x) {
    uint8_t tmp[5];
    int n = 0;
    do tmp[n++] = x & 0x7F; while (x >>= 7);
    while (n--) v.push_back(static_cast<uint8_t>(tmp[n] | (n ? 0x80 : 0)));
}

// Format 0, 24000 ticks a quarter at 500000 us a quarter: one tick is one
// frame at 48 kHz.
bool writeMidi(const char* path) {
    std::vector<uint8_t> track;
    putVar(track, 0);
    track.insert(track.end(), {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20});
    uint32_t last = 0;
    for (const Note& n : kPhrase) {
        putVar(track, n.frame - last);
        last = n.frame;
        track.insert(track.end(), n.bytes, n.bytes + n.size);
    }
    putVar(track, 0);
    track.insert(track.end(), {0xFF, 0x2F, 0x00});
    std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x5D, 0xC0, 'M', 'T', 'r', 'k'};
    put32(file, static_cast<uint32_t>(track.size()));
    file.insert(file.end(), track.begin(), track.end());
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    const bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    const bool keyboard = argc > 3 && std::strcmp(argv[3], "--keyboard") == 0;
    if (argc < 3) {
        std::fprintf(stderr, "usage: orvo-test-sender SERVER PHRASE.mid [--keyboard]\n");
        return 2;
    }
    if (!writeMidi(argv[2])) return 1;
    jack_status_t status;
    jack_client_t* client = jack_client_open("orvo-test-sender", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                             &status, argv[1]);
    if (!client) return 1;
    const unsigned long flags = JackPortIsOutput | (keyboard ? JackPortIsPhysical | JackPortIsTerminal : 0);
    port = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, flags, 0);
    jack_set_process_callback(client, process, client);
    if (!port || jack_activate(client) != 0) return 1;
    // orvo-play is started beside us: its port exists before the client is
    // active, and a connection to an inactive client is refused, so retry.
    bool linked = false;
    for (int i = 0; i < 1200 && !linked; ++i) {
        if (keyboard)
            linked = jack_port_connected_to(port, "Orvo Switch:midi_in");
        else
            linked = jack_port_by_name(client, "Orvo Switch:midi_in") &&
                     jack_connect(client, jack_port_name(port), "Orvo Switch:midi_in") == 0;
        if (!linked) usleep(50000);
    }
    if (!linked) {
        std::fprintf(stderr, "cannot connect to orvo-play\n");
        return 1;
    }
    usleep(200000);
    startFrame.store(jack_frame_time(client) + 4800, std::memory_order_relaxed);
    while (!done.load(std::memory_order_relaxed)) usleep(20000);
    jack_client_close(client);
    return 0;
}
