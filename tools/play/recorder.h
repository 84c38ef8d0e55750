// --record: a thread that moves what the audio thread played from the
// player's ring buffer into a WAV or FLAC file, so the audio thread never
// waits on a disk.
//
// Threads: the constructor, finish and the accessors on the main thread;
// the writing on the recorder's own thread.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "audio_out.h"
#include "live_player.h"

namespace orvo::play {

class Recorder {
public:
    // Creates the (temporary) file at once, so an unwritable path fails
    // before anything plays. Throws render::OutputError.
    Recorder(LivePlayer& player, const std::string& path, int rate, std::optional<render::SampleFormat> format);
    ~Recorder();

    // Writes what is left, finishes the file and moves it to its name.
    // Answers the file's path, or an empty string with error() set.
    std::string finish();
    // Whether writing failed; playing goes on, only the recording stops.
    bool failed() const { return failed_.load(std::memory_order_relaxed); }
    // What failed; read it after finish.
    const std::string& error() const { return error_; }
    int64_t frames() const { return frames_.load(std::memory_order_relaxed); }

private:
    void run();
    bool drain();

    LivePlayer& player_;
    std::string path_;
    render::AudioFileWriter writer_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> failed_{false};
    std::atomic<int64_t> frames_{0};
    std::string error_;  // written by the recording thread before failed_, read after join
    std::thread thread_;
    bool finished_ = false;
    float chunk_[2 * 4096];
};

}  // namespace orvo::play
