// Loads a built .clap the way a CLAP host does and checks what hosts rely
// on: the descriptor and parameters, the timed session against the VST 2
// plug-in with a block at every event (and against itself for other block
// lengths), sample-accurate automation, saved states, and hostile input.
//
//   orvo-clap-test OrvoSwitch.clap OrvoSwitch.{so,dll}
// Exit 0 when every check passes. Builds for Linux and, run under wine,
// for both Windows widths.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "ClapHost.h"

using namespace orvo::test;

namespace {

int passed = 0, failed = 0;
void check(bool ok, const char* what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    (ok ? passed : failed)++;
}

// A stream over a byte vector, for the state extension.
struct Bytes {
    std::vector<uint8_t> data;
    size_t at = 0;
    int64_t failAfter = -1;  // the read or write number that answers -1
    clap_ostream_t out{this, [](const clap_ostream_t* s, const void* b, uint64_t n) -> int64_t {
                           auto* self = static_cast<Bytes*>(s->ctx);
                           if (self->failAfter-- == 0) return -1;
                           auto* p = static_cast<const uint8_t*>(b);
                           self->data.insert(self->data.end(), p, p + n);
                           return static_cast<int64_t>(n);
                       }};
    // Hands out at most 5 bytes per read, as a chunked host stream may.
    clap_istream_t in{this, [](const clap_istream_t* s, void* b, uint64_t n) -> int64_t {
                          auto* self = static_cast<Bytes*>(s->ctx);
                          if (self->failAfter-- == 0) return -1;
                          const size_t k = std::min<size_t>({static_cast<size_t>(n), size_t{5}, self->data.size() - self->at});
                          std::memcpy(b, self->data.data() + self->at, k);
                          self->at += k;
                          return static_cast<int64_t>(k);
                      }};
};

void checkDescription(const clap_plugin_entry_t* entry) {
    auto* factory = static_cast<const clap_plugin_factory_t*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    check(factory && factory->get_plugin_count(factory) == 1, "the factory holds one plug-in");
    const clap_plugin_descriptor_t* d = factory ? factory->get_plugin_descriptor(factory, 0) : nullptr;
    check(d && !std::strcmp(d->name, "Orvo Switch Table Synth") && !std::strcmp(d->id, "com.brimlow.orvo.switch"),
          "descriptor: id and name");
    bool instrument = false, synth = false, stereo = false;
    for (const char* const* f = d ? d->features : nullptr; f && *f; ++f) {
        instrument |= !std::strcmp(*f, "instrument");
        synth |= !std::strcmp(*f, "synthesizer");
        stereo |= !std::strcmp(*f, "stereo");
    }
    check(instrument && synth && stereo, "features: instrument, synthesizer, stereo");

    Host host(entry);
    check(host.plugin && host.params && host.state, "the plug-in offers parameters and state");
    if (!host.params) return;
    static const char* kNames[] = {"A", "D", "S", "R", "CutOff", "Q", "Type", "Env", "Wave1", "Wave2", "Drag", "Mix"};
    static const double kDefaults[] = {0.1f, 0.1f, 0.5f, 0.1f, 0.5f, 0, 0, 0.5f, 0, 0, 0.5f, 0.5f};
    bool infos = host.params->count(host.plugin) == 12;
    for (uint32_t i = 0; i < 12 && infos; ++i) {
        clap_param_info_t info{};
        double v = -1;
        infos = host.params->get_info(host.plugin, i, &info) && info.id == i && !std::strcmp(info.name, kNames[i]) &&
                info.min_value == 0 && info.max_value == 1 && info.default_value == kDefaults[i] &&
                (info.flags & CLAP_PARAM_IS_AUTOMATABLE) && host.params->get_value(host.plugin, i, &v) &&
                v == kDefaults[i];
    }
    clap_param_info_t none{};
    check(infos && !host.params->get_info(host.plugin, 12, &none), "twelve parameters: ids, names, 0..1, defaults");

    char text[64] = "";
    double back = -1;
    const bool shown = host.params->value_to_text(host.plugin, 4, 0.25, text, sizeof text);
    check(shown && (!std::strcmp(text, "0.25 /1") || !std::strcmp(text, "0,25 /1")), "value_to_text shows \"0.25 /1\"");
    check(host.params->text_to_value(host.plugin, 4, text, &back) && back == 0.25 &&
              host.params->text_to_value(host.plugin, 4, "0.5", &back) && back == 0.5 &&
              !host.params->text_to_value(host.plugin, 4, "loud", &back) &&
              !host.params->text_to_value(host.plugin, 4, "inf", &back) &&
              !host.params->text_to_value(host.plugin, 4, "1e999", &back) &&
              !host.params->text_to_value(host.plugin, 99, "0.5", &back),
          "text_to_value reads what it shows and refuses the rest, infinities too");
    char small[4];
    check(host.params->value_to_text(host.plugin, 0, 0.5, small, sizeof small) && std::strlen(small) == 3,
          "value_to_text stays inside a small buffer");
}

void checkSession(const clap_plugin_entry_t* entry, const char* vst2Path) {
    const uint64_t reference = orvo::timed::vst2Hash(loadVst2(vst2Path));
    check(reference == kOrvoGoldenTimedHash, "the VST 2 plug-in, a block at every event, gives the pinned hash");
    for (uint32_t block : {1u, 64u, 512u, 4096u}) {
        char what[96];
        std::snprintf(what, sizeof what, "the CLAP plug-in in blocks of %u renders the same bits", block);
        check(clapSessionHash(entry, block) == reference, what);
    }
    // At other rates too: the CLAP plug-in converts every value at its
    // activated rate, as the VST 2 plug-in does once a host selects its
    // program after the rate.
    for (double rate : {48000.0, 96000.0}) {
        const uint64_t at = orvo::timed::vst2Hash(loadVst2(vst2Path), 4096, rate);
        bool same = at != reference;
        for (uint32_t block : {1u, 64u, 512u, 4096u}) same &= clapSessionHash(entry, block, rate) == at;
        char what[96];
        std::snprintf(what, sizeof what, "at %.0f Hz the CLAP plug-in in every block size renders the VST 2 bits", rate);
        check(same, what);
    }
}

// A change at frame k inside a block sounds exactly as the block split at k.
void checkSampleAccuracy(const clap_plugin_entry_t* entry) {
    const uint8_t on[3] = {0x90, 57, 110};
    Host one(entry), split(entry);
    one.activate(48000);
    split.activate(48000);
    InEvents a, b, c;
    a.list = {midiEvent(0, on), paramEvent(200, 4, 0.9), paramEvent(200, 5, 0.7), paramEvent(300, 8, 0.5)};
    one.process(512, a);
    b.list = {midiEvent(0, on)};
    split.process(200, b);
    std::vector<float> l(split.left), r(split.right);
    c.list = {paramEvent(0, 4, 0.9), paramEvent(0, 5, 0.7), paramEvent(100, 8, 0.5)};
    split.process(312, c);
    l.insert(l.end(), split.left.begin(), split.left.end());
    r.insert(r.end(), split.right.begin(), split.right.end());
    bool same = true;
    for (size_t i = 0; i < 512; ++i) same &= bitsOf(one.left[i]) == bitsOf(l[i]) && bitsOf(one.right[i]) == bitsOf(r[i]);
    check(same, "automation at frame 200 of a block sounds as the block split at 200");
}

// Silence lets the host skip blocks; a note wakes the plug-in, and once its
// release has faded it sleeps again.
void checkSleep(const clap_plugin_entry_t* entry) {
    Host h(entry);
    h.activate(44100);
    InEvents in;
    bool slept = h.process(512, in) == CLAP_PROCESS_SLEEP;
    const uint8_t on[3] = {0x90, 60, 100}, off[3] = {0x80, 60, 0};
    in.list = {midiEvent(0, on)};
    const bool woke = h.process(512, in) == CLAP_PROCESS_CONTINUE;
    in.list = {midiEvent(0, off)};
    clap_process_status s = h.process(512, in);
    in.list.clear();
    for (int i = 0; i < 2000 && s != CLAP_PROCESS_SLEEP; ++i) s = h.process(512, in);
    slept &= s == CLAP_PROCESS_SLEEP;
    bool silent = true;
    for (size_t k = 0; k < 512; ++k) silent &= h.left[k] == 0.0f && h.right[k] == 0.0f;
    check(slept && woke && silent, "silence answers sleep, a note wakes it, a faded note sleeps again");
}

// reset() mid-note: silence, and from there the instrument plays as a fresh
// one at the same rate and values.
void checkReset(const clap_plugin_entry_t* entry) {
    Host used(entry), fresh(entry);
    used.activate(48000);
    fresh.activate(48000);
    setValues(used, {{0, 0.3}, {10, 0.8}});
    setValues(fresh, {{0, 0.3}, {10, 0.8}});
    InEvents in;
    const uint8_t on[3] = {0x90, 40, 90};
    in.list = {midiEvent(0, on)};
    used.process(777, in);
    used.plugin->reset(used.plugin);
    InEvents none;
    used.process(64, none);
    bool silent = true;
    for (float x : used.left) silent &= x == 0.0f;
    used.process(1000, in);
    fresh.process(64, none);
    fresh.process(1000, in);
    bool same = true;
    for (size_t i = 0; i < 1000; ++i) same &= bitsOf(used.left[i]) == bitsOf(fresh.left[i]);
    check(silent && same, "reset silences the voices and plays on as a fresh instance at the same rate");
}

void checkState(const clap_plugin_entry_t* entry) {
    Host a(entry);
    a.activate(44100);
    setValues(a, {{4, 0.3}, {5, 0.6}, {6, 0.4}, {8, 0.7}, {9, 0.2}, {10, 0.9}, {2, 0.25}});
    Bytes saved;
    check(a.state->save(a.plugin, &saved.out), "state saves");
    const uint64_t sound = phraseHash(a);

    Host b(entry);
    b.activate(44100);
    saved.at = 0;
    check(b.state->load(b.plugin, &saved.in) && phraseHash(b) == sound, "a loaded state sounds the same in a new instance");

    Host fresh(entry);
    fresh.activate(44100);
    const uint64_t untouched = phraseHash(fresh);
    bool refused = true;
    std::vector<std::vector<uint8_t>> bad;
    bad.push_back({saved.data.begin(), saved.data.begin() + 20});  // truncated
    bad.push_back({});                                               // empty
    bad.push_back(saved.data);
    bad.back()[0] ^= 0x20;  // not our magic
    bad.push_back(saved.data);
    bad.back()[4] = 9;  // a version from the future
    bad.push_back(saved.data);
    bad.back().push_back(0);  // trailing garbage
    bad.push_back(std::vector<uint8_t>(100000, 0x4F));
    for (auto& bytes : bad) {
        Host c(entry);
        c.activate(44100);
        Bytes s;
        s.data = bytes;
        refused &= !c.state->load(c.plugin, &s.in) && phraseHash(c) == untouched;
    }
    Host d(entry);
    d.activate(44100);
    Bytes failing;
    failing.data = saved.data;
    failing.failAfter = 2;
    refused &= !d.state->load(d.plugin, &failing.in) && phraseHash(d) == untouched;
    refused &= sound != untouched;  // else the checks above prove nothing
    check(refused, "truncated, foreign, future, padded, huge and failing states are refused, nothing changed");
    Bytes full;
    full.failAfter = 0;
    check(!a.state->save(a.plugin, &full.out), "a failing stream makes save answer false");

    // Saved at 48 kHz, loaded into a new instance before or after its
    // activation: the same sound either way.
    Host at48(entry), before(entry), after(entry);
    at48.activate(48000);
    setValues(at48, {{0, 0.7}, {1, 0.3}, {3, 0.6}, {4, 0.35}, {10, 0.2}});
    Bytes saved48;
    at48.state->save(at48.plugin, &saved48.out);
    const uint64_t sound48 = phraseHash(at48);
    saved48.at = 0;
    bool same = before.state->load(before.plugin, &saved48.in) && before.activate(48000);
    after.activate(48000);
    saved48.at = 0;
    same &= after.state->load(after.plugin, &saved48.in);
    check(same && phraseHash(before) == sound48 && phraseHash(after) == sound48,
          "a state saved at 48 kHz sounds the same loaded before or after activation");
}

bool finiteAndBounded(const Host& h, float bound) {
    for (size_t i = 0; i < h.left.size(); ++i)
        if (!(std::fabs(h.left[i]) <= bound) || !(std::fabs(h.right[i]) <= bound)) return false;
    return true;
}

void checkBadInput(const clap_plugin_entry_t* entry) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    {
        Host h(entry);
        check(!h.plugin->activate(h.plugin, 0.0, 1, 512) && !h.plugin->activate(h.plugin, nan, 1, 512) &&
                  !h.plugin->activate(h.plugin, -44100.0, 1, 512) && !h.plugin->activate(h.plugin, inf, 1, 512),
              "rates 0, NaN, negative and infinite are refused");
        check(h.activate(44100), "a usable rate afterwards activates");
        InEvents in;
        const uint8_t on[3] = {0x90, 64, 127};
        in.list = {midiEvent(0, on), paramEvent(0, 2, nan), paramEvent(0, 5, inf), paramEvent(0, 7, 1e300),
                   paramEvent(0, 4, -1e300), paramEvent(0, 99, 0.5), paramEvent(0, 0xFFFFFFFFu, 0.5)};
        bool bounded = true;
        for (int i = 0; i < 50; ++i) {
            h.process(256, in);
            bounded &= finiteAndBounded(h, 8.0f);
            in.list.clear();
        }
        check(bounded, "NaN, infinite and huge values and unknown ids keep the output finite and within 8");
        in.list = {midiEvent(0, on)};
        check(h.process(0, in) != CLAP_PROCESS_ERROR, "a block of no frames is taken");
        h.process(65536, in);
        check(finiteAndBounded(h, 8.0f), "a block of 65536 frames renders");
    }
    // Out of order and past the block: applied at the current position and
    // at the end, the same as the sorted, clamped list.
    Host wild(entry), tame(entry);
    wild.activate(44100);
    tame.activate(44100);
    const uint8_t on[3] = {0x90, 50, 100}, on2[3] = {0x90, 62, 100};
    InEvents w, t;
    w.list = {midiEvent(100, on), paramEvent(50, 4, 0.8), midiEvent(5000, on2)};
    t.list = {midiEvent(100, on), paramEvent(100, 4, 0.8), midiEvent(256, on2)};
    bool same = true;
    for (int i = 0; i < 8; ++i) {
        wild.process(256, w);
        tame.process(256, t);
        for (size_t k = 0; k < 256; ++k) same &= bitsOf(wild.left[k]) == bitsOf(tame.left[k]);
        w.list.clear();
        t.list.clear();
    }
    check(same, "events out of order or past the block apply at the position reached and at the block's end");
    // Notes in CLAP form with wild fields.
    Host n(entry);
    n.activate(44100);
    InEvents in;
    in.list = {noteEvent(0, CLAP_EVENT_NOTE_ON, -1, 60, nan), noteEvent(0, CLAP_EVENT_NOTE_ON, 99, 200, 5.0),
               noteEvent(1, CLAP_EVENT_NOTE_ON, 3, -5, 0.5), noteEvent(2, CLAP_EVENT_NOTE_OFF, -1, -1, 0.0)};
    n.process(512, in);
    check(finiteAndBounded(n, 8.0f), "note events with wild channels, keys and velocities are survived");
    // Data bytes pass as they come: controller 0xFE is not controller 126.
    Host held(entry), plain(entry);
    held.activate(44100);
    plain.activate(44100);
    const uint8_t note[3] = {0x90, 60, 100}, odd[3] = {0xB0, 0xFE, 0x00};
    InEvents withCc, without;
    withCc.list = {midiEvent(0, note), midiEvent(100, odd)};
    without.list = {midiEvent(0, note)};
    held.process(512, withCc);
    plain.process(512, without);
    bool sounding = false;
    for (size_t k = 0; k < 512; ++k) sounding |= held.left[k] != 0.0f && k > 100;
    check(sounding && held.left == plain.left, "a controller with data byte 0xFE leaves the voices sounding");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: orvo-clap-test OrvoSwitch.clap OrvoSwitch.so|dll\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const clap_plugin_entry_t* entry = loadClap(argv[1]);
    check(entry != nullptr, "the library loads and clap_entry initialises");
    if (!entry) return 1;
    checkDescription(entry);
    checkSession(entry, argv[2]);
    checkSampleAccuracy(entry);
    checkSleep(entry);
    checkReset(entry);
    checkState(entry);
    checkBadInput(entry);
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
