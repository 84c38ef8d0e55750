// The progress line: drawn on a terminal for a render that takes a while,
// and nowhere else.
#include "progress.h"

#include <gtest/gtest.h>
#include <pty.h>

#include <regex>

#include "smf_writer.h"
#include "test_support.h"

namespace orvo::render {
namespace {

TEST(Progress, TheLineFitsTheTerminalAndKeepsItsFigures) {
    ProgressBar bar(stderr, false, "songs/a-rather-long-song-name.mid", 44100);
    std::string wide = bar.line(22050 * 3, 44100 * 6, 0.5, 120);
    EXPECT_EQ(wide, "a-rather-long-song-name.mid [#######-----------------------]  25%  1.5 s  3x");
    for (int width : {60, 40, 20}) {
        std::string narrow = bar.line(22050 * 3, 44100 * 6, 0.5, width);
        EXPECT_LT(int(narrow.size()), width) << narrow;
        EXPECT_NE(narrow.find(" 25%  1.5 s  3x"), std::string::npos) << narrow;
    }
    // An automatic tail may outrun its estimate: never past 100%.
    EXPECT_NE(bar.line(500, 400, 1.0, 80).find("100%"), std::string::npos);
}

struct Captured {
    int status = -1;
    std::string terminal;  // everything the pseudo-terminal showed
    std::string pipe;      // stderr, when it went to a pipe instead
};

// Runs orvo-render on a pseudo-terminal, as from an interactive shell;
// with `stderrToPipe` only its stdout stays on the terminal.
Captured onTerminal(const test::ScratchDir& dir, std::vector<std::string> args, bool stderrToPipe) {
    int errPipe[2];
    if (::pipe(errPipe) != 0) return {};
    winsize size{};
    size.ws_col = 100;
    size.ws_row = 24;
    int master = -1;
    pid_t pid = ::forkpty(&master, nullptr, nullptr, &size);
    if (pid == 0) {
        if (stderrToPipe) ::dup2(errPipe[1], STDERR_FILENO);
        ::close(errPipe[0]);
        ::close(errPipe[1]);
        if (::chdir(dir.path().c_str()) != 0) ::_exit(126);
        std::vector<char*> argv{const_cast<char*>(ORVO_RENDER_EXE)};
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(ORVO_RENDER_EXE, argv.data());
        ::_exit(127);
    }
    ::close(errPipe[1]);
    Captured captured;
    char chunk[4096];
    // Linux answers EIO once the last holder of the terminal's other side is gone.
    for (ssize_t n; (n = ::read(master, chunk, sizeof chunk)) > 0;) captured.terminal.append(chunk, size_t(n));
    for (ssize_t n; (n = ::read(errPipe[0], chunk, sizeof chunk)) > 0;) captured.pipe.append(chunk, size_t(n));
    ::close(master);
    ::close(errPipe[0]);
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    captured.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return captured;
}

// About two seconds of rendering: ten seconds of audio through a plug-in
// that takes 2 ms a block.
TEST(Progress, ABarIsDrawnOnATerminalButNotIntoAPipeNorWhenQuiet) {
    test::ScratchDir dir;
    test::SmfWriter smf(96);
    smf.track().note(0, 96, 1, 60);
    dir.write("song.mid", smf.bytes());
    const std::vector<std::string> args = {"--plugin", SLOW_PLUGIN, "--midi", "song.mid", "--tail", "9.5"};

    Captured shown = onTerminal(dir, args, false);
    ASSERT_EQ(shown.status, 0) << shown.terminal;
    const std::regex redraw("\rsong\\.mid \\[[#-]{30}\\] +[0-9]+%  [0-9]+\\.[0-9] s  [0-9]+x\x1b\\[K");
    auto draws = std::distance(std::sregex_iterator(shown.terminal.begin(), shown.terminal.end(), redraw),
                               std::sregex_iterator());
    EXPECT_GE(draws, 2) << "redrawn a few times a second: " << shown.terminal;
    EXPECT_LE(draws, 100) << "not at every block: " << shown.terminal;
    EXPECT_NE(shown.terminal.find("\r\x1b[KRendered 10.00 s"), std::string::npos)
        << "the bar is cleared before the summary: " << shown.terminal;
    EXPECT_EQ(shown.terminal.find("  0%"), std::string::npos) << "nothing before the first second";

    Captured piped = onTerminal(dir, args, true);
    ASSERT_EQ(piped.status, 0) << piped.pipe;
    EXPECT_EQ(piped.pipe, "");
    EXPECT_NE(piped.terminal.find("Rendered 10.00 s"), std::string::npos) << piped.terminal;
    EXPECT_EQ(piped.terminal.find('%'), std::string::npos) << piped.terminal;

    std::vector<std::string> quiet = args;
    quiet.push_back("--quiet");
    Captured silent = onTerminal(dir, quiet, false);
    ASSERT_EQ(silent.status, 0);
    EXPECT_EQ(silent.terminal, "");
}

TEST(Progress, AudioIsNotPouredOntoATerminal) {
    test::ScratchDir dir;
    Captured refused = onTerminal(dir, {"--plugin", RECORDER_PLUGIN, "-o", "-"}, false);
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.terminal.find("which is a terminal"), std::string::npos) << refused.terminal;
    EXPECT_EQ(refused.terminal.find("RIFF"), std::string::npos);
}

}  // namespace
}  // namespace orvo::render
