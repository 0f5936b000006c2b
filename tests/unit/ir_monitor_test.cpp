/*
 * ir-monitor over recordings: near misses against every leader bound, the figures of a
 * decoded frame, the summary's histograms, the --raw capture played back, the exits on a
 * failing COM1 and on Ctrl+C through the Win32 stand-in, an output that stalls or fails, a
 * capture still being written, line ends for a console; and the line tap, whose stamps keep the
 * decoder's view of each change however late the tool reads the counter.
 */
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "console_columns.h"
#include "fake_win32.h"
#include "noise.h"
#include "replay_support.h"

#include "../../receiver/code_table.h"
#include "../../receiver/frame_decoder.h"
#include "../../receiver/replay_line.h"
#include "../../tools/ir-monitor/ir_monitor.h"

namespace {

/* Everything from `fd`'s offset on, until its end (or, for a pipe, until its writers close it). */
std::string ReadAll(int fd)
{
    std::string text;
    char block[65536];
    for (ssize_t got; (got = read(fd, block, sizeof block)) > 0;)
        text.append(block, static_cast<size_t>(got));
    return text;
}

/* Everything written to `file` (through its descriptor, as the tool and a child write), from its
   start. */
std::string ReadFromStart(FILE *file)
{
    std::fflush(file);
    std::rewind(file);
    return ReadAll(fileno(file));
}

/* ir-monitor on `line`, its output to `out`, until the recording behind the line ends; then the
   summary. */
void MonitorToTheEnd(const ReceiverLine *line, BOOL raw, HANDLE out)
{
    StartMonitor(line, raw, out);
    try {
        MonitorFrames();
    } catch (const RecordingEnded &) {
    }
    FinishMonitor();
}

/* The frames the decoder reads on `line` until the recording behind it ends. */
std::vector<uint64_t> ReadFramesToTheEnd(const ReceiverLine *line)
{
    std::vector<uint64_t> frames;
    try {
        for (;;)
            frames.push_back(ReadFrame(line));
    } catch (const RecordingEnded &) {
    }
    return frames;
}

/* Everything ir-monitor prints for `recording`. */
std::string Monitor(const std::string &recording, bool raw = false)
{
    fake::Reset();
    EXPECT_EQ(LoadRecordingText(recording), "");
    FILE *out = std::tmpfile();
    MonitorToTheEnd(&ReplayReceiverLine, raw, fake::FileHandle(fileno(out)));
    CloseReplayRecording();
    std::string text = ReadFromStart(out);
    std::fclose(out);
    return text;
}

/* The lines that are not '#' lines; each must be a frame line as ir-monitor has always printed. */
std::vector<std::string> FrameLines(const std::string &output)
{
    std::vector<std::string> frames;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        EXPECT_TRUE(std::regex_match(line, std::regex("0x[0-9A-F]{16}( -| [0-9]+)+"))) << "not a frame line: " << line;
        frames.push_back(line);
    }
    return frames;
}

/* A frame of `code` after the given leader: 460 us bursts, 400 us (0) and 1300 us (1) gaps,
   then a pause of `pauseUs`.  For a recording in units of 1/perUs us, the leader is given in
   those units and the rest is scaled to them. */
std::string Frame(uint64_t code, int leaderBurst, int leaderGap, int pauseUs = 40000, int perUs = 1)
{
    auto item = [perUs](const char *kind, int us) { return std::string(kind) + " " + std::to_string(us * perUs) + "\n"; };
    std::string text = "pulse " + std::to_string(leaderBurst) + "\nspace " + std::to_string(leaderGap) + "\n";
    for (int bit = 48; bit >= 1; bit--)
        text += item("pulse", 460) + item("space", (code >> bit) & 1 ? 1300 : 400);
    return text + item("pulse", 460) + item("space", pauseUs);
}

/* A death test's pattern for a message: each blank in `pattern` matches a blank or a line break,
   since a message is broken wherever its words reach the column limit. */
std::string Wrapped(const std::string &pattern) { return std::regex_replace(pattern, std::regex(" "), "[ \n]+"); }

/* "" when `text` fits an 80-column console, its messages going on after the width of
   "ir-monitor: " (console_columns.h); else the first line that does not. */
std::string OffTheColumns(const std::string &text)
{
    const char *line = LineOffTheColumns(text.c_str(), "ir-monitor: ");
    return line != NULL ? std::string(line, std::strcspn(line, "\n")) : "";
}

/* A run that ends the process (ExitProcess), in a child: its exit code (-1 if it returned or
   died), and its standard error with its standard output, as one console would show them. */
struct EndedRun {
    int code;
    std::string text;
};
EndedRun RunToItsEnd(const std::function<void()> &run)
{
    FILE *text = std::tmpfile();
    std::fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        dup2(fileno(text), STDOUT_FILENO);
        dup2(fileno(text), STDERR_FILENO);
        run();
        _exit(255);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EndedRun ended = {WIFEXITED(status) && WEXITSTATUS(status) != 255 ? WEXITSTATUS(status) : -1, ReadFromStart(text)};
    std::fclose(text);
    return ended;
}

size_t Count(const std::string &text, const std::string &part)
{
    size_t found = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        found++;
    return found;
}

TEST(IrMonitor, NearMissesNameEachMissedBoundAndFarPairsAreNotReported)
{
    const struct { int frequency, burstUs, gapUs, pauseUs; const char *line; size_t shown; } cases[] = {
        {10000000, 3490, 1676, 200000, "# near leader 3490/1676 us: burst 30 us below 3520 us,\n#   lengthens by about 46 us\n", 1},
        {10000000, 3718, 1676, 200000, "# near leader 3718/1676 us: burst 30 us above 3688 us,\n#   lengthens by about 122 us\n", 1},
        {10000000, 3600, 1562, 200000, "# near leader 3600/1562 us: gap 30 us below 1592 us, lengthens by about 159 us\n", 1},
        {10000000, 3600, 1790, 200000, "# near leader 3600/1790 us: gap 30 us above 1760 us, lengthens by about 7 us\n", 1},
        {10000000, 3490, 1790, 200000, "# near leader 3490/1790 us: burst 30 us below 3520 us, gap 30 us above 1760 us,\n#   lengthens by about -30 us\n", 1},
        {3579545, 3490, 1676, 200000, "# near leader 3490/1676 us: burst 30 us below 3520 us,\n#   lengthens by about 46 us\n", 1},
        {3579545, 3718, 1562, 200000, "# near leader 3718/1562 us: burst 30 us above 3688 us, gap 30 us below 1592 us,\n#   lengthens by about 198 us\n", 1},
        {10000000, 3490, 1676, 30000, "# near leader 3490/1676 us", 1},  /* the second within 100 ms: not shown */
        {10000000, 9000, 4500, 200000, "near leader", 0},                 /* another format's leader */
        {10000000, 2800, 1676, 200000, "near leader", 0},                 /* more than 20 % below */
        {10000000, 3600, 2120, 200000, "near leader", 0},                 /* more than 20 % above */
    };
    for (const auto &c : cases) {
        std::string frame = Frame(CodeTable[2], c.burstUs, c.gapUs, c.pauseUs);
        std::string output = Monitor("frequency " + std::to_string(c.frequency) + "\n" + frame + frame + "pulse 460\n");
        EXPECT_EQ(Count(output, c.line), c.shown) << c.burstUs << "/" << c.gapUs << " at " << c.frequency << ":\n" << output;
        /* The first pair, its burst timed from the start, is shown too, but says nothing of the
           lengthening. */
        size_t all = c.shown > 0 ? 2 - (c.pauseUs < 100000) : 0;
        EXPECT_EQ(Count(output, "# near leader"), all) << c.burstUs << "/" << c.gapUs;
        EXPECT_EQ(Count(output, "its burst timed from the start"), all > 0 ? 1u : 0u) << c.burstUs << "/" << c.gapUs;
        EXPECT_TRUE(FrameLines(output).empty()) << "no frame decodes without its leader";
    }

    /* Misses smaller than rounding to whole microseconds can show: never "below 3520" beside a
       figure of 3520 (each the first pair, whose lengthening goes unsaid after the comma). */
    const struct { const char *directives; int burst, gap, perUs; const char *line; } fine[] = {
        {"frequency 10000000\nunits ticks\n", 35196, 16540, 10,
         "# near leader 3519.6/1654 us: burst 0.4 us below 3520.0 us,"},
        {"frequency 10000000\nunits ticks\n", 36000, 17604, 10,
         "# near leader 3600/1760.4 us: gap 0.4 us above 1760.0 us,"},
        {"frequency 3579545\n", 3520, 1676, 1, "# near leader 3520.0/1676 us: burst on the bound 3520.0 us, which is excluded,"},
        {"frequency 1193182\nunits ticks\n", 4199, 2000, 1, "# near leader 3519/1676 us: burst 1 us below 3520 us,"},
    };
    for (const auto &c : fine) {
        std::string output = Monitor(c.directives + Frame(CodeTable[2], c.burst, c.gap, 200000, c.perUs) + "pulse 460\n");
        EXPECT_EQ(Count(output, c.line), 1u) << c.line << output;
    }
}

TEST(IrMonitor, EachFrameComesWithItsLeaderAndBitFigures)
{
    const struct { int frequency, burstUs, gapUs; const char *leaderLine; } cases[] = {
        {10000000, 3570, 1654, "# leader 3570/1654 us: burst 50 us above 3520 us, gap 62 us above 1592 us,\n"
                               "#   lengthens by about 87 us\n"},
        {10000000, 3660, 1740, "# leader 3660/1740 us: burst 28 us below 3688 us, gap 20 us below 1760 us,\n"
                               "#   lengthens by about 60 us\n"},
        {3579545, 3570, 1654, "# leader 3570/1654 us: burst 50 us above 3520 us, gap 62 us above 1592 us,\n"
                              "#   lengthens by about 87 us\n"},
    };
    for (const auto &c : cases) {
        /* The second frame's leader: the first's burst is timed from the start. */
        std::string frame = Frame(CodeTable[9], c.burstUs, c.gapUs);
        std::string output = Monitor("frequency " + std::to_string(c.frequency) + "\n" + frame + frame + "pulse 460\n");
        EXPECT_NE(output.find(std::string("0x0000800813017261 9 12\n") + c.leaderLine +
                              "# bits: longest 0-gap 400 us, shortest 1-gap 1300 us, threshold 628.6 us;\n"
                              "#   data bursts 460-460 us\n"),
                  std::string::npos)
            << output;
    }
}

/* `count` bursts of `burstUs` each followed by a gap of `gapUs`. */
std::string Train(int count, int burstUs, int gapUs)
{
    std::string text;
    for (int i = 0; i < count; i++)
        text += "pulse " + std::to_string(burstUs) + "\nspace " + std::to_string(gapUs) + "\n";
    return text;
}

TEST(IrMonitor, SummaryCountsAndShowsTheClustersAgainstTheLimits)
{
    std::string output = Monitor(Frame(CodeTable[2], 3570, 1654) + "pulse 460\n");
    EXPECT_NE(output.find("# summary: 101 line changes, 1 leader-like pairs, 0 near misses (0 shown),\n"
                          "#   1 frames decoded, 1 matching the table\n"),
              std::string::npos)
        << output;
    /* 0x0000800802001013: 42 of the 48 data gaps are 0s, 6 are 1s; then the pause. */
    EXPECT_NE(output.find("# gap lengths (line on), 50 us bins (1 ms from 5 ms, 10 ms from 20 ms):\n"
                          "#       400-449 us       42 ****************************************\n"
                          "#   ---- 628.6 us: bit threshold: longer gaps read 1\n"
                          "#     1300-1349 us        6 ******\n"
                          "#   ---- 1592.4 us: leader gaps start above this\n"
                          "#     1650-1699 us        1 *\n"
                          "#   ---- 1760.0 us: leader gaps end below this\n"
                          "#   40000-49999 us        1 *\n"),
              std::string::npos)
        << output;

    /* What the setting-up guide tells users to look for, each in a bin of its own: another
       remote's 9 ms leader and 2.4 ms bursts, lamp flicker at 100 and at 120 Hz, a long silence. */
    const struct { const char *what; std::string recording; const char *bins; } longer[] = {
        {"a 9 ms leader", Train(3, 9000, 4500) + Train(3, 560, 560),
         "# burst lengths (line off), 50 us bins (1 ms from 5 ms, 10 ms from 20 ms):\n"
         "#       550-599 us        3 ****************************************\n"
         "#   ---- 3520.0 us: leader bursts start above this\n"
         "#   ---- 3687.6 us: leader bursts end below this\n"
         "#     9000-9999 us        3 ****************************************\n"},
        {"2.4 ms bursts", Train(4, 2400, 600), "#     2400-2449 us        4 *****"},
        {"100 Hz flicker", Train(50, 1500, 8500), "#     8000-8999 us       50 *****"},
        {"120 Hz flicker", Train(50, 1500, 6833), "#     6000-6999 us       50 *****"},
        {"a long silence", Train(2, 500, 20000) + Train(1, 500, 99999) + Train(2, 500, 5000000),
         "#   20000-29999 us        2 ****************************************\n"
         "#   90000-99999 us        1 ********************\n"
         "#       100000+ us        2 ****************************************\n"},
    };
    for (const auto &c : longer) {
        std::string summary = Monitor(c.recording + "pulse 500\n");
        EXPECT_NE(summary.find(c.bins), std::string::npos) << c.what << ":\n" << summary;
    }
}

/* The summary's verdict, its continuation lines joined with one blank each. */
std::string Verdict(const std::string &output)
{
    size_t at = output.find("# verdict: ");
    if (at == std::string::npos)
        return "";
    std::istringstream lines(output.substr(at));
    std::string verdict, line;
    std::getline(lines, verdict);
    while (std::getline(lines, line) && line.rfind("#   ", 0) == 0)
        verdict += " " + line.substr(4);
    return verdict;
}

/* A key held for a dozen frames (or `frames`), after half a second of silence (so the first
   frame is lost, as live), from a remote of unit `unitUs` through a receiver lengthening its
   bursts by `lengtheningUs`, with edges jittering by up to 8 us. */
std::string HeldKey(double lengtheningUs, double unitUs = 432, uint64_t code = CodeTable[2], int frames = 12,
                    const std::string &silence = "space 500000\n")
{
    IrTiming remote;
    remote.leaderMarkUs = 8 * unitUs;
    remote.leaderSpaceUs = 4 * unitUs;
    remote.markUs = unitUs;
    remote.zeroSpaceUs = unitUs;
    remote.oneSpaceUs = 3 * unitUs;
    remote.pauseUs = 30000;
    remote.markStretchUs = lengtheningUs;
    remote.jitterUs = 8;
    return silence + ToRecording(EncodeFrames(std::vector<uint64_t>(frames, code), remote, 4), "");
}

/* `seconds` of a noise source as a recording. */
std::string NoiseRecording(NoiseKind kind, double seconds)
{
    auto source = LimitTo(MakeNoise(kind, 3), seconds);
    return SourceToRecording(*source, "") + "pulse 500\n";
}

/* Frames of entry 2 at 10 MHz, every edge exact to the tick: a leader, 48 data pairs of `burst`
   and `zero` or `one` gaps, a closing burst and a 30 ms pause; the first leader's burst, which
   the decoder times from the start, is `firstBurst`. */
std::string ExactFrames(int frames, uint32_t firstBurst, TickPair leader, uint32_t burst, uint32_t zero, uint32_t one)
{
    std::vector<TickPair> pairs;
    for (int frame = 0; frame < frames; frame++) {
        pairs.push_back({frame == 0 ? firstBurst : leader.off, leader.on});
        for (int bit = 48; bit >= 1; bit--)
            pairs.push_back({burst, (CodeTable[2] >> bit) & 1 ? one : zero});
        pairs.push_back({burst, 300000});
    }
    return TickRecording(10000000, pairs, burst);
}

/* `recording` with its first pulse and space made `first`. */
std::string WithFirstPair(const std::string &recording, const std::string &first)
{
    size_t pulse = recording.find("pulse ");
    size_t afterSpace = recording.find('\n', recording.find("space ", pulse)) + 1;
    return recording.substr(0, pulse) + first + recording.substr(afterSpace);
}

TEST(IrMonitor, TheVerdictSaysInWordsWhetherTheReceiverFitsAndWhatTheLineShowed)
{
    const std::string silence = "space 500000\n";
    const std::string oneFrame = Frame(CodeTable[2], 3556, 1628, 40000);
    const std::string rc5 = NoiseRecording(NoiseKind::Rc5Remote, 10);
    const std::string biPhase = rc5.substr(rc5.find("pulse "));  /* from its first burst */
    const struct {
        const char *what;
        std::string recording;
        std::vector<std::string> says;  /* in this order */
        double lengtheningUs;           /* the truth, where the verdict estimates it; else NAN */
        const char *never = nullptr;    /* nowhere in the verdict */
    } cases[] = {
        {"a receiver lengthening 15 us too little", HeldKey(-15),
         {"# verdict: too little. ", "(it shortens them)", "the program accepts 65-135 us at 10000000 Hz",
          "add about 11"}, -15},
        {"25 us", HeldKey(25), {"# verdict: too little. ", "accepts 65-135 us", "add about 7", "RV1",
                                "The first frame was not counted"}, 25},
        {"100 us", HeldKey(100), {"# verdict: fits. ", "accepts 65-135 us", "The closest leader came"}, 100},
        {"178 us", HeldKey(178), {"# verdict: too much. ", "accepts 65-135 us", "about 7", "us too much", "D2 round"}, 178},
        {"a remote 1 % slow, 40 us", HeldKey(40, 436.32),
         {"# verdict: fits. ", "(a unit of about 436 us) the program accepts 30-152 us"}, 40},
        {"at 3579545 Hz, 100 us", "frequency 3579545\n" + HeldKey(100), {"# verdict: fits. ", "65-135 us at 3579545 Hz"}, 100},
        {"at 3579545 Hz, 25 us", "frequency 3579545\n" + HeldKey(25), {"# verdict: too little. ", "at 3579545 Hz"}, 25},
        {"leaders at the edge that decode now and then", HeldKey(60),
         {"# verdict: fits, at the edge. ", "expect missed key presses"}, 60},
        {"another device's codes in this format", HeldKey(100, 432, 0x0000400401020304ull),
         {"# verdict: fits. ", "None of the 11 frames is in the program's table"}, 100},
        {"a remote of a 400 us unit: no lengthening puts both halves of its leader in the windows", HeldKey(100, 400),
         {"# verdict: no lengthening fits this remote. ", "with a unit of about 400 us", "whatever the lengthening"},
         100},
        {"lamp flicker beside a held key", NoiseRecording(NoiseKind::MainsFlicker, 5) + HeldKey(100),
         {"# verdict: fits. "}, 100},
        {"a key pressed once, after silence", silence + oneFrame + "pulse 500\n",
         {"# verdict: the remote was seen, but only its first frame"}, NAN},
        {"one frame, its leader burst timed from the start", "space 3000\n" + Frame(CodeTable[2], 556, 1628) + "pulse 500\n",
         {"# verdict: fits: 1 frame decoded, but its leader was the first pair, "}, NAN},
        {"a second press not yet ended", silence + oneFrame + silence + oneFrame,
         {"# verdict: fits, but no frame was completed. "}, 100},
        {"a dead line", "space 5000000\n", {"# verdict: the line never changed", "supply from RTS", "3.3 V", "the wiring",
                                            "74HC14's pin 1"}, NAN, " 5 V"},
        {"the module powering up", "pulse 30000\nspace 1000\n", {"# verdict: wired and powered, but no infrared seen",
                                                                  "twice, the second 30 ms after the start"}, NAN},
        {"lamp flicker", NoiseRecording(NoiseKind::MainsFlicker, 10), {"# verdict: lamp flicker: "}, NAN},
        {"100 Hz flicker of 1.5 ms bursts", Train(200, 1500, 8500) + "pulse 500\n", {"# verdict: lamp flicker: 199 of 199 bursts came 10 ms apart (100 Hz"}, NAN},
        {"an NEC-like remote", NoiseRecording(NoiseKind::NecRemote, 10),
         {"# verdict: another kind of remote: ", "leader bursts of about 90"}, NAN},
        {"a SIRC-like remote", NoiseRecording(NoiseKind::SircRemote, 10),
         {"# verdict: another kind of remote: ", "leader bursts of about 24"}, NAN},
        {"an RC5-like remote", NoiseRecording(NoiseKind::Rc5Remote, 10),
         {"# verdict: no leader seen: ", "Most bursts lasted 950-999 us"}, NAN},
        /* Evidence of this remote is a leader followed by its data; noise brushes the windows now
           and then with nothing of the kind after it. */
        {"random bursts with chance pairs near the windows", NoiseRecording(NoiseKind::RandomDense, 20),
         {"# verdict: no leader seen: "}, NAN},
        {"random wide bursts with a chance frame", NoiseRecording(NoiseKind::RandomWide, 20),
         {"# verdict: no leader seen: "}, NAN},
        {"a ballast's bursts with near misses", NoiseRecording(NoiseKind::BallastBursts, 15), {"# verdict: "}, NAN,
         "lengthening"},
        {"lamp flicker with one stray leader-like pair",
         Train(100, 1500, 8500) + "pulse 3000\nspace 1400\n" + Train(100, 1500, 8500) + "pulse 500\n",
         {"# verdict: lamp flicker: "}, NAN},
        {"a press held for a frame and two repeats, 100 us", HeldKey(100, 432, CodeTable[2], 3),
         {"# verdict: fits. ", "The first frame was not counted"}, 100},
        {"a press held for a frame and two repeats, 20 us", HeldKey(20, 432, CodeTable[2], 3),
         {"# verdict: too little. ", "The first frame was not counted"}, 20},
        /* The first pair, its burst timed from the start, in 64 bits and in no figure. */
        {"a key pressed once after 300 s of silence", "space 300000000\n" + oneFrame + "pulse 500\n",
         {"# verdict: the remote was seen, but only its first frame"}, NAN},
        {"a key held after 300 s of silence", HeldKey(100, 432, CodeTable[2], 12, "space 300000000\n"),
         {"# verdict: fits. ", "The first frame was not counted"}, 100},
        {"a bi-phase remote whose first gap is a leader's", silence + "pulse 889\nspace 1778\n" + biPhase,
         {"# verdict: no leader seen: "}, NAN},
        {"a first pair timed into the window, then leaders 64 us short",
         WithFirstPair(HeldKey(0, 432, CodeTable[2], 6, "space 100\n"), "pulse 3440\nspace 1728\n"),
         {"# verdict: too little. "}, 0},
        {"a first burst timed from the start to the window's upper bound, excluded",
         ExactFrames(1, 36876, {35560, 16280}, 5320, 3320, 11960), {"# verdict: the remote was seen, but only its first frame"},
         NAN},
        {"a first pair in the burst window that misses the gap's", Frame(CodeTable[2], 3600, 1800) + "pulse 460\n",
         {"# verdict: "}, NAN, "only its first frame"},
        /* Leaders lost beside decoded frames. */
        {"at 1193182 Hz, 135 us", "frequency 1193182\n" + HeldKey(135),
         {"# verdict: fits, at the edge. ", "frames seen did not decode", "expect missed key presses"}, 135},
        {"at 100000 Hz, 65 us", "frequency 100000\n" + HeldKey(65),
         {"# verdict: fits, at the edge. ", "frames seen did not decode", "expect missed key presses"}, 65},
        {"leaders alternating either side of the gap's lower bound",
         silence + Frame(CodeTable[2], 3592, 1593) + Frame(CodeTable[2], 3593, 1592) + Frame(CodeTable[2], 3592, 1593) +
             Frame(CodeTable[2], 3593, 1592) + Frame(CodeTable[2], 3592, 1593) + Frame(CodeTable[2], 3593, 1592) +
             Frame(CodeTable[2], 3592, 1593) + Frame(CodeTable[2], 3593, 1592) + Frame(CodeTable[2], 3592, 1593) +
             Frame(CodeTable[2], 3593, 1592) + Frame(CodeTable[2], 3592, 1593) + "pulse 460\n",
         {"# verdict: fits, at the edge. ", "5 of the 10 frames seen did not decode", "expect missed key presses"}, 135},
        {"a stray leader-like pair that keeps the decoder from the next frame",
         HeldKey(100, 432, CodeTable[2], 2) + "space 30000\npulse 3600\nspace 1700\npulse 460\nspace 400\npulse 460\nspace 400\n" +
             HeldKey(100, 432, CodeTable[2], 4, ""),
         {"# verdict: fits, at the edge. ", "1 of the 5 frames seen did not decode"}, 100},
        {"leaders on the band's lower bound, excluded", ExactFrames(6, 35200, {35200, 16500}, 5042, 3575, 12192),
         {"# verdict: too little. "}, 73},
        /* What the line showed, where that is something. */
        {"one burst, no gap after it", "space 3000000\npulse 1000\n",
         {"# verdict: no leader seen: the line changed once, "}, NAN, "Most"},
        {"the line falling and staying off", "space 100000\npulse 5000000\n", {"# verdict: no leader seen: "}, NAN},
        {"the module powering up 1.9 s after the start", "pulse 1900000\nspace 1000\n",
         {"# verdict: wired and powered, but no infrared seen", "the second 1900 ms after the start"}, NAN},
        {"four changes soon after the start", "pulse 30000\nspace 1000\npulse 1000\nspace 1000\n",
         {"# verdict: no leader seen: the line changed 4 times"}, NAN},
        {"120 Hz flicker 8% long", Train(200, 1500, 7400) + "pulse 500\n",
         {"# verdict: lamp flicker: ", "8.3 ms apart (120 Hz"}, NAN},
        {"a few flicker pairs among many others", Train(15, 1500, 8500) + Train(100, 1000, 1000) + "pulse 500\n",
         {"# verdict: no leader seen: "}, NAN},
    };
    for (const auto &c : cases) {
        std::string output = Monitor(c.recording);
        std::string verdict = Verdict(output);
        size_t at = 0;
        for (const std::string &part : c.says) {
            at = verdict.find(part, at);
            EXPECT_NE(at, std::string::npos) << c.what << ": no '" << part << "' in order in\n" << verdict;
            if (at == std::string::npos)
                break;
        }
        EXPECT_TRUE(c.never == nullptr || verdict.find(c.never) == std::string::npos) << c.what << ": " << verdict;
        EXPECT_EQ(Count(output, "# verdict: "), 1u) << c.what;
        std::istringstream after(output.substr(std::min(output.find("# verdict: "), output.size())));
        std::string line;
        for (std::getline(after, line); std::getline(after, line);)
            EXPECT_EQ(line.rfind("#   ", 0), 0u) << c.what << ": the verdict ends the summary, not " << line;
        std::smatch estimate;
        bool estimated = std::regex_search(verdict, estimate, std::regex("lengthens bursts by about (-?[0-9]+) us"));
        EXPECT_EQ(estimated, !std::isnan(c.lengtheningUs)) << c.what << ": " << verdict;
        if (estimated && !std::isnan(c.lengtheningUs)) {
            EXPECT_NEAR(std::stod(estimate[1]), c.lengtheningUs, 10) << c.what << ": " << verdict;
        }
    }
}

TEST(IrMonitor, TheManualListsEveryVerdictByItsOpeningWords)
{
    std::ifstream file(PACKAGE_README);
    std::stringstream read;
    read << file.rdbuf();
    /* Its lines joined, as a reader reads them. */
    std::string manual = std::regex_replace(read.str(), std::regex("\\s+"), " ");
    ASSERT_GT(manual.size(), 1000u) << PACKAGE_README;
    /* Each as printed: "# verdict: too little. ..." */
    for (const char *opening : VERDICT_OPENINGS)
        EXPECT_NE(manual.find(std::string("verdict: ") + opening), std::string::npos)
            << "package/README.txt does not quote \"# verdict: " << opening << "\"";
}

TEST(IrMonitor, AReadingPastTheDecodersRangeIsNotedWhereALineRestsOnIt)
{
    /* Entry 2, a silence, entry 4.  At 10 MHz the decoder reads 214.7 s at most: 240 s reads
       negative (short), 500 s as 500 s less 2^32 ticks (long again); a leader gap 2^32 ticks too
       long reads as a near miss's 1730 us. */
    const std::string two = Frame(CodeTable[2], 3570, 1654, 1), four = Frame(CodeTable[4], 3570, 1654) + "pulse 460\n";
    const struct { const char *what; std::string recording; const char *frame, *note; } cases[] = {
        {"240 s at 10 MHz", two + "space 240000000\n" + four, "0x0000800802001012 -\n",
         "# the closing pause lasted 240.0 s, longer than the decoder can measure\n"
         "#   (up to 214.7 s), so it read as short: bit 0 is 0\n# leader"},
        {"500 s at 10 MHz", two + "space 500000000\n" + four, "0x0000800802001013 2\n",
         "# the closing pause lasted 500.0 s, longer than the decoder can measure\n"
         "#   (up to 214.7 s), so it read as 70503271 us: bit 0 is 1\n"},
        {"240 s at 3579545 Hz", "frequency 3579545\n" + two + "space 240000000\n" + four, "0x0000800802001013 2\n",
         NULL},
        {"700 s at 3579545 Hz", "frequency 3579545\n" + two + "space 700000000\n" + four, "0x0000800802001012 -\n",
         "#   (up to 599.9 s), so it read as short: bit 0 is 0\n"},
        {"a near miss", "units ticks\npulse 35000\nspace 4294967295\nspace 17301\npulse 4600\n",
         "# near leader 3500/1730 us: burst 20 us below 3520 us,\n#   its burst timed from the start\n",
         "# the gap lasted 429.5 s, longer than the decoder can measure (up to 214.7 s),\n"
         "#   so it read as 1730 us\n"},
    };
    for (const auto &c : cases) {
        std::string output = Monitor(c.recording);
        size_t line = output.find(c.frame);
        ASSERT_NE(line, std::string::npos) << c.what << ":\n" << output;
        EXPECT_EQ(Count(output, "longer than the decoder can measure"), c.note ? 1u : 0u) << c.what << ":\n" << output;
        if (c.note) {
            EXPECT_NE(output.find(c.note, line), std::string::npos) << c.what << ": the note after the line\n" << output;
        }
    }
}

TEST(IrMonitor, EveryLineFitsAnEightyColumnConsoleAndGoesOnOnHashLines)
{
    const std::string sample = ToRecording(EncodeFrames({CodeTable[1], CodeTable[9]}, IrTiming(), 2), "");
    const std::string onBothBounds = Frame(CodeTable[2], 3520, 1760, 200000) + "pulse 460\n";
    const struct { std::string recording; bool raw; } runs[] = {
        {sample, false},
        {"frequency 3579545\n" + sample, false},
        {"frequency 3579545\n" + sample, true},
        {"frequency 3579545\n" + onBothBounds, false},
        {"frequency 3579545\nunits ticks\n" + Frame(CodeTable[3], 12700, 5900, 1) + "space 4294967295\nspace 4294967295\n" +
             Frame(CodeTable[3], 12700, 5900) + "pulse 4000000000\nspace 1\n",
         true},
    };
    for (const auto &run : runs) {
        std::string output = Monitor(run.recording, run.raw);
        EXPECT_NE(output.find("# summary: "), std::string::npos) << output;
        std::istringstream lines(output);
        std::string previous;
        for (std::string line; std::getline(lines, line); previous = line) {
            EXPECT_LE(line.size(), 79u) << line;
            if (line.rfind("#   ", 0) == 0) {
                EXPECT_EQ(previous[0], '#') << "a frame line goes on: " << line;
            }
        }
    }
}

TEST(IrMonitor, RawCaptureReplaysToTheSameFrames)
{
    IrTiming receiver;
    receiver.markStretchUs = 100;
    receiver.jitterUs = 20;
    const std::string keys = ToRecording(EncodeFrames({CodeTable[1], CodeTable[9], CodeTable[15]}, receiver, 3), "");
    /* The long pause reads short (2^32 - 10 us wraps), so that frame matches nothing, after a
       capture as before it. */
    const struct { const char *name; std::string recording; const char *mustHold; } cases[] = {
        {"microseconds at 10 MHz", keys, "counter 10000000 Hz, in microseconds\nfrequency 10000000\n"},
        {"microseconds at 3579545 Hz", "frequency 3579545\n" + keys, "counter 3579545 Hz, in microseconds\nfrequency 3579545\n"},
        {"ticks at 1193182 Hz", "frequency 1193182\nunits ticks\n" + Frame(CodeTable[6], 4300, 2000) + "pulse 460\n",
         "frequency 1193182\n"},
        /* A session begins with silence: the first leader, measured from the start, is too long
           live, and must be so in the capture's replay too. */
        {"100 ms of silence first, at 10 MHz", "space 100000\n" + keys, "100 ms after the start\nspace 100000\npulse"},
        {"100 ms of silence first, at 3579545 Hz", "frequency 3579545\nspace 100000\n" + keys,
         "100 ms after the start\nspace 100000\npulse"},
        {"silence first, in ticks at 1193182 Hz",
         "frequency 1193182\nunits ticks\nspace 119318\n" + Frame(CodeTable[6], 4300, 2000) +
             Frame(CodeTable[7], 4300, 2000) + "pulse 460\n",
         "100 ms after the start\nspace 100000\npulse"},
        {"a pause longer than an item can hold",
         Frame(CodeTable[3], 3570, 1654, 1) + "space 4294967295\nspace 4294967295\n" + Frame(CodeTable[4], 3570, 1654) +
             "pulse 460\n",
         "space 4294967295\nspace 4294967295\nspace 1\n"},
    };
    for (const auto &c : cases) {
        std::string capture = Monitor(c.recording, true);
        EXPECT_EQ(capture.rfind("# ir-monitor --raw: the receiver line, counter ", 0), 0u) << c.name;
        EXPECT_NE(capture.find(c.mustHold), std::string::npos) << c.name << ":\n" << capture;
        std::vector<std::string> original = FrameLines(Monitor(c.recording));
        EXPECT_FALSE(original.empty()) << c.name;
        EXPECT_EQ(FrameLines(Monitor(capture)), original) << c.name;
    }
}

/* Starts monitoring a recording, then stops it as Ctrl+C would, with standard output on stderr. */
void StopWithCtrlC()
{
    dup2(STDERR_FILENO, STDOUT_FILENO);
    fake::Reset();
    LoadRecordingText("pulse 500\nspace 500\n");
    StartMonitor(&ReplayReceiverLine, FALSE, GetStdHandle(STD_OUTPUT_HANDLE));
    reinterpret_cast<PHANDLER_ROUTINE>(fake::Named("SetConsoleCtrlHandler").at(0).Arg("routine"))(CTRL_C_EVENT);
}

/* The replay line behind a Ctrl+C pressed at its `ctrlCAtWait`-th wait, or while it opens (0). */
int ctrlCAtWait;
int waitsSoFar;
void PressCtrlC() { reinterpret_cast<PHANDLER_ROUTINE>(fake::Named("SetConsoleCtrlHandler").at(0).Arg("routine"))(CTRL_C_EVENT); }
void OpenThenCtrlC()
{
    if (ctrlCAtWait == 0)
        PressCtrlC();
}
BOOL WaitThenCtrlC()
{
    if (++waitsSoFar == ctrlCAtWait)
        PressCtrlC();
    return ReplayReceiverLine.waitLineChange();
}
const ReceiverLine ctrlCLine = {.openLine = OpenThenCtrlC,
                                .waitLineChange = WaitThenCtrlC,
                                .readCounter = ReplayReceiverLine.readCounter,
                                .readFrequency = ReplayReceiverLine.readFrequency};

TEST(IrMonitor, CtrlCAtAnyMomentPrintsTheWholeSummaryOnceAndLast)
{
    const std::string frames = Frame(CodeTable[2], 3570, 1654) + Frame(CodeTable[3], 3570, 1654) + "pulse 460\n";
    const struct { const char *moment; int atWait; BOOL raw; const char *changes; } cases[] = {
        {"before the port opens", 0, FALSE, "# summary: 0 line changes"},
        {"inside the first frame", 40, FALSE, "# summary: 39 line changes"},
        {"between two frames", 103, FALSE, "# summary: 102 line changes"},
        {"inside a capture", 150, TRUE, "# summary: 149 line changes"},
    };
    for (const auto &c : cases) {
        fake::Reset();
        ASSERT_EQ(LoadRecordingText(frames), "");
        ctrlCAtWait = c.atWait;
        waitsSoFar = 0;
        FILE *out = std::tmpfile();
        EXPECT_EXIT((StartMonitor(&ctrlCLine, c.raw, fake::FileHandle(fileno(out))), MonitorFrames()),
                    ::testing::ExitedWithCode(0), "")
            << c.moment;
        std::string output = ReadFromStart(out);
        std::fclose(out);
        CloseReplayRecording();
        EXPECT_EQ(Count(output, "# summary: "), 1u) << c.moment << ":\n" << output;
        size_t summary = output.find(c.changes);
        ASSERT_NE(summary, std::string::npos) << c.moment << ":\n" << output;
        std::string after = output.substr(summary);
        EXPECT_EQ(after.find("\n0x"), std::string::npos) << c.moment << ": a frame after the summary";
        EXPECT_NE(after.find("# gap lengths (line on), 50 us bins"), std::string::npos) << c.moment;
        EXPECT_EQ(after.find("\npulse"), std::string::npos) << c.moment << ": capture after the summary";
        if (c.raw) {
            EXPECT_EQ(LoadRecordingText(output), "") << c.moment << ": the capture is a recording";
        }
    }
}

/* The replay line, with what the tool had written when the line was waited on the second time,
   that is, just after the first change was reported. */
FILE *outputSoFar;
std::string writtenAtSecondWait;
BOOL WaitAndLook()
{
    if (++waitsSoFar == 2)
        writtenAtSecondWait = ReadFromStart(outputSoFar);
    return ReplayReceiverLine.waitLineChange();
}
const ReceiverLine lookingLine = {.openLine = ReplayReceiverLine.openLine,
                                  .waitLineChange = WaitAndLook,
                                  .readCounter = ReplayReceiverLine.readCounter,
                                  .readFrequency = ReplayReceiverLine.readFrequency};

TEST(IrMonitor, HeaderAndFirstSignOfLifeAreWrittenAtTheFirstChange)
{
    fake::Reset();
    ASSERT_EQ(LoadRecordingText("space 2500000\n" + Frame(CodeTable[2], 3570, 1654) + "pulse 460\n"), "");
    outputSoFar = std::tmpfile();
    waitsSoFar = 0;
    writtenAtSecondWait.clear();
    MonitorToTheEnd(&lookingLine, FALSE, fake::FileHandle(fileno(outputSoFar)));
    std::fclose(outputSoFar);
    CloseReplayRecording();
    EXPECT_EQ(writtenAtSecondWait.rfind("# counter 10000000 Hz: ", 0), 0u) << writtenAtSecondWait;
    EXPECT_NE(writtenAtSecondWait.find("\n# the receiver line is alive: its first change came 2500 ms after the start\n"),
              std::string::npos)
        << writtenAtSecondWait;
}

TEST(IrMonitor, FailingCom1ExitsWithTheSystemTextAndCtrlCPrintsTheSummary)
{
    const struct { const char *failing; intptr_t failure; DWORD error; const char *message, *systemText; } cases[] = {
        {"CreateFileA", -1, 2, "^ir-monitor: COM1: cannot open the receiver port: System text of error 2\\. \\(error 2\\)\n$", nullptr},
        {"CreateFileA", -1, 5, "\\(error 5\\)\nir-monitor: is remote-control.exe running\\? It holds COM1; close it first", nullptr},
        /* A system's text of two lines reads as one sentence, wrapped with the rest. */
        {"CreateFileA", -1, 5,
         "^ir-monitor: COM1: cannot open the receiver port: The port is in use by another program, which holds "
         "it open. Close that program first. \\(error 5\\)\n",
         "The port is in use by another program, which holds it open.\r\nClose that program first.\r\n"},
        {"SetCommState", FALSE, 87, "^ir-monitor: COM1: cannot configure the receiver port: System text of error 87\\.", nullptr},
        {"SetCommMask", FALSE, 1, "cannot watch carrier-detect: System text of error 1\\. \\(error 1\\)", nullptr},
        /* After one change: the summary of it, then the reason. */
        {"WaitCommEvent", FALSE, 50,
         "listening on COM1[^]*# summary: 1 line changes[^]*# gap lengths[^]*waiting on the receiver port failed: "
         "[^]*\\(error 50\\)", nullptr},
    };
    for (const auto &c : cases) {
        fake::Reset();
        if (std::string(c.failing) == "WaitCommEvent")
            fake::Script(c.failing, {TRUE, c.failure});
        else
            fake::Script(c.failing, {c.failure});
        fake::lastError = c.error;
        fake::systemText = c.systemText != nullptr ? c.systemText : "";
        EndedRun run = RunToItsEnd([] { ListenOnCom1(FALSE); });
        EXPECT_EQ(run.code, 3) << c.failing << ":\n" << run.text;
        EXPECT_TRUE(std::regex_search(run.text, std::regex(Wrapped(c.message)))) << c.message << "\n" << run.text;
        EXPECT_EQ(OffTheColumns(run.text), "") << c.failing;
    }

    EXPECT_EXIT(StopWithCtrlC(), ::testing::ExitedWithCode(0), "^# counter 10000000 Hz.*# summary: 0 line changes");
}

/* Where a run's standard output goes (and what else it meets), set up in the run's own process. */
void OutputToStandardError() { dup2(STDERR_FILENO, STDOUT_FILENO); }
void OutputToFullDisk() { dup2(open("/dev/full", O_WRONLY), STDOUT_FILENO); }
void OutputToClosedPipe()
{
    int ends[2];
    pipe(ends);
    close(ends[0]);
    dup2(ends[1], STDOUT_FILENO);
    std::signal(SIGPIPE, SIG_IGN);  /* as the host tool does */
}
void OutputToSmallConsole()
{
    OutputToStandardError();
    fake::consoles.insert(GetStdHandle(STD_OUTPUT_HANDLE));
    fake::consoleWriteMax = 400;  /* the usage goes in halves, and that is no failure */
}
void FailFirstRead()
{
    OutputToStandardError();
    fake::beforeRead = [] { return (fake::lastError = 23) == 0; };
}
void CtrlCAtFirstRead()
{
    OutputToStandardError();
    fake::beforeRead = [] { return PressCtrlC(), true; };
}

TEST(IrMonitor, LostOutputAndUnreadableRecordingsEndTheToolWithTheirCodeAndReason)
{
    std::string path = WriteRecording(Frame(CodeTable[2], 3570, 1654) + "pulse 460\n");
    std::string bigEndian = WriteRecording(std::string("\xFE\xFF\0p\0u\0l\0s\0e\0 \0" "5\0\n", 18));
    std::string unmarked = WriteRecording(std::string("p\0u\0l\0s\0e\0 \0" "5\0\n\0", 16));
    std::string tooLong = WriteRecording("pulse 5\nspace 5" + std::string(200, ' ') + "\n");
    const struct { const char *name; void (*setUp)(); std::string argument; int exitCode; std::string stderrText; } cases[] = {
        {"a full disk", OutputToFullDisk, path, MONITOR_EXIT_OUTPUT_LOST,
         "^ir-monitor: cannot write the output: " + std::string(strerror(ENOSPC)) + " \\(error 112\\)\n$"},
        {"a pipe whose reader has gone", OutputToClosedPipe, path, MONITOR_EXIT_OUTPUT_LOST, "^$"},
        {"Ctrl+C during the check", CtrlCAtFirstRead, path, 0,
         "^# stopped while the recording was checked: nothing was played\n$"},
        {"a directory", OutputToStandardError, "/tmp", MONITOR_EXIT_BAD_INPUT,
         "^ir-monitor: /tmp: is a folder, not a recording\n$"},
        {"a missing file", OutputToStandardError, path + ".missing", MONITOR_EXIT_BAD_INPUT,
         "\\.missing: cannot open the recording: " + std::string(strerror(ENOENT)) + " \\(error 2\\)\n$"},
        {"a read that fails", FailFirstRead, path, MONITOR_EXIT_BAD_INPUT,
         "^ir-monitor: [^:]*: cannot read the recording: System text of error 23\\. \\(error 23\\)\n$"},
        {"UTF-16 big-endian", OutputToStandardError, bigEndian, MONITOR_EXIT_BAD_INPUT,
         "^ir-monitor: [^:]*: the recording is in UTF-16 big-endian; save it as UTF-8, or as UTF-16 LE with its "
         "byte-order mark\n$"},
        {"UTF-16 without its mark", OutputToStandardError, unmarked, MONITOR_EXIT_BAD_INPUT,
         ": the recording is in UTF-16 without a byte-order mark; save it as UTF-8, or as UTF-16 LE with"},
        {"a line too long", OutputToStandardError, tooLong, MONITOR_EXIT_BAD_INPUT,
         "^ir-monitor: [^:]*:2: the line is longer than 200 characters, the most a line other than a comment holds\n$"},
        {"bad arguments", OutputToStandardError, "-x", MONITOR_EXIT_BAD_INPUT, "^usage: ir-monitor \\[--raw\\] "},
        {"a usage to a console that takes 400 bytes a write", OutputToSmallConsole, "/?", 0,
         "^usage: ir-monitor \\[--raw\\] [\\s\\S]*4 output lost\r\n$"},
        {"a usage that cannot be written", OutputToFullDisk, "/?", MONITOR_EXIT_OUTPUT_LOST,
         "^ir-monitor: cannot write the output: " + std::string(strerror(ENOSPC)) + " \\(error 112\\)\n$"},
    };
    for (const auto &c : cases) {
        EndedRun run = RunToItsEnd([&c] {
            fake::Reset();
            fake::realThreads = true;
            c.setUp();
            ExitProcess((UINT)RunIrMonitor(("ir-monitor --raw " + c.argument).c_str()));
        });
        EXPECT_EQ(run.code, c.exitCode) << c.name << ":\n" << run.text;
        EXPECT_TRUE(std::regex_search(run.text, std::regex(Wrapped(c.stderrText)))) << c.name << ":\n" << run.text;
        EXPECT_EQ(OffTheColumns(run.text), "") << c.name;
    }
    for (const std::string &file : {path, bigEndian, unmarked, tooLong})
        unlink(file.c_str());
}

/* Whether process `pid` holds `path` open. */
bool HoldsOpen(pid_t pid, const std::string &path)
{
    std::string folder = "/proc/" + std::to_string(pid) + "/fd/";
    DIR *descriptors = opendir(folder.c_str());
    bool found = false;
    for (dirent *entry; descriptors != nullptr && (entry = readdir(descriptors)) != nullptr;) {
        char target[4096];
        ssize_t length = readlink((folder + entry->d_name).c_str(), target, sizeof target);
        found = found || (length > 0 && std::string(target, static_cast<size_t>(length)) == path);
    }
    if (descriptors != nullptr)
        closedir(descriptors);
    return found;
}

std::string WithCrLf(const std::string &text);

/* The stand-in's COM1 delivering the pulses and spaces of `recording` (in microseconds) at
   10 MHz, a change per wait stamped at its time; then, the sign that every change was read,
   `held` is closed, and Ctrl+C pressed. */
void DriveCom1(const std::string &recording, int held)
{
    auto items = std::make_shared<std::istringstream>(recording);
    fake::duringCommWait = [items, held, at = LONGLONG(0)]() mutable {
        std::string kind;
        LONGLONG us = 0;
        if (!(*items >> kind >> us)) {
            close(held);
            PressCtrlC();
        }
        fake::modemStatus = kind == "space" ? MS_RLSD_ON : 0;
        fake::counter = at;
        at += 10 * us;
    };
}

TEST(IrMonitor, AStalledOutputHoldsUpARecordingButCostsCom1WholeLinesAndSaysSo)
{
    /* 1,000 frames: well over the 1 MiB buffer and a pipe's 64 KiB of --raw output. */
    std::string recording;
    for (int i = 0; i < 1000; i++)
        recording += Frame(CodeTable[i % CODE_TABLE_SIZE], 3570, 1654);
    recording += "pulse 460\n";
    const std::string unstalled = Monitor(recording, true);
    std::string path = WriteRecording(recording);
    /* Consoles (the stand-in's, as NT 4.0 to Windows 7) refuse a write over 16 KiB, or less when
       short of their heap; after a stall the buffer holds a megabyte. */
    const struct { const char *name; bool com1, console; unsigned consoleWriteMax; } runs[] = {
        {"a recording into a pipe", false, false, 0},
        {"a recording into a console", false, true, 16 * 1024},
        {"a recording into a console short of its heap", false, true, 3000},
        {"COM1 into a pipe", true, false, 0},
        {"COM1 into a console", true, true, 16 * 1024},
    };
    for (const auto &run : runs) {
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        FILE *errors = std::tmpfile();
        pid_t tool = fork();
        if (tool == 0) {
            fake::Reset();
            fake::realThreads = true;
            dup2(ends[1], STDOUT_FILENO);
            dup2(fileno(errors), STDERR_FILENO);
            if (run.console)
                fake::consoles.insert(GetStdHandle(STD_OUTPUT_HANDLE));
            fake::consoleWriteMax = run.consoleWriteMax;
            fake::writeSizeBound = 16 * 1024;  /* no write over 16 KiB, whatever the handle */
            if (run.com1) {
                DriveCom1(recording, open(path.c_str(), O_RDONLY));
                ListenOnCom1(TRUE);
            } else {
                RunIrMonitor(("ir-monitor --raw " + path).c_str());
            }
            _exit(99);
        }
        close(ends[1]);
        /* The pipe is read only once the header has come (a recording's check is over) and the
           tool has let the recording go (played) or, on COM1, the descriptor held till the last
           change; or after 1.5 s, for a recording that waits for the reader as it should.  The
           bound on COM1 only keeps a fault from hanging. */
        const int bound = run.com1 ? 60000 : 1500;
        int waiting = 0, polls = 0;
        for (; ioctl(ends[0], FIONREAD, &waiting) == 0 && waiting == 0 && polls < 60000; polls++)
            usleep(1000);
        for (polls = 0; HoldsOpen(tool, path) && polls < bound; polls++)
            usleep(1000);
        EXPECT_EQ(polls == bound, !run.com1) << run.name << (run.com1 ? ": never read every change"
                                                                      : ": played on, not waiting for the reader");
        std::string output = ReadAll(ends[0]);
        close(ends[0]);
        int status = 0;
        waitpid(tool, &status, 0);
        std::string errorText = ReadFromStart(errors);
        std::fclose(errors);
        const std::string expected = run.console ? WithCrLf(unstalled) : unstalled;
        if (!run.com1) {
            EXPECT_EQ(WEXITSTATUS(status), 0) << run.name << ": " << errorText;
            EXPECT_EQ(errorText, "") << run.name;
            EXPECT_TRUE(output == expected) << run.name << ": " << output.size() << " bytes, not the unstalled "
                                            << expected.size();
            continue;
        }
        EXPECT_EQ(WEXITSTATUS(status), MONITOR_EXIT_OUTPUT_LOST) << run.name;
        EXPECT_EQ(errorText, "ir-monitor: listening on COM1; press keys on the remote, Ctrl+C to stop\n") << run.name;
        /* A gap closes whenever the writer makes room, so a stall may leave more than one: each
           has its note, and the totals after the summary add them up. */
        const std::regex note("# output fell behind: ([0-9]+) lines \\(([0-9]+) bytes\\) dropped here\r?\n");
        unsigned long long lines = 0, bytes = 0;
        int gaps = 0;
        for (std::sregex_iterator gap(output.begin(), output.end(), note), end; gap != end; ++gap, ++gaps) {
            lines += std::stoull((*gap)[1].str());
            bytes += std::stoull((*gap)[2].str());
        }
        ASSERT_GT(gaps, 0) << run.name << ": " << output.substr(output.size() > 2000 ? output.size() - 2000 : 0);
        std::string loss = "# output fell behind: " + std::to_string(lines) + " lines (" + std::to_string(bytes) +
                           " bytes) dropped in all\n# so this capture is incomplete: it lacks those lines\n";
        loss = run.console ? WithCrLf(loss) : loss;
        EXPECT_EQ(output.substr(output.size() - std::min(output.size(), loss.size())), loss)
            << run.name << ": the summary says it again, last";
        /* What came and what was dropped make up the whole output of an unstalled run, its
           summary of every change included. */
        std::string kept = std::regex_replace(output.substr(0, output.size() - std::min(output.size(), loss.size())), note, "");
        EXPECT_EQ(kept.size() + bytes, expected.size()) << run.name << ": " << gaps << " gap(s)";
        EXPECT_EQ(kept.substr(kept.find("# summary: ")), expected.substr(expected.find("# summary: "))) << run.name;
    }
    unlink(path.c_str());
}

std::string Utf16(const std::string &text)
{
    std::string units;
    for (char c : text)
        units += std::string(1, c) + '\0';
    return units;
}

TEST(IrMonitor, ACaptureStillBeingWrittenPlaysTheCompleteLinesItHadWhenChecked)
{
    const std::string frames = Frame(CodeTable[2], 3570, 1654) + Frame(CodeTable[3], 3570, 1654);
    const std::vector<uint64_t> both = {CodeTable[2], CodeTable[3]}, first = {CodeTable[2]};
    /* What the file holds when it is loaded, and what its writer adds while the check waits to
       see whether it grows (nothing: it is finished).  Frame 3 ends where a burst follows it. */
    const struct { const char *name; std::string checked, duringWait; bool waits; std::vector<uint64_t> frames; } cases[] = {
        {"a line end last", frames + "pulse 460\nspace 40000\n", "", false, both},
        {"cut inside a number", frames + "pulse 46", "0\nspace 40000\n", true, first},
        {"finished without a line end, as Notepad saves", frames + "pulse 460", "", true, both},
        {"UTF-16 cut inside its line end", "\xFF\xFE" + Utf16(frames + "pulse 460") + "\n",
         std::string(1, '\0') + Utf16("space 40000\n"), true, first},
    };
    for (const auto &c : cases) {
        std::string path = WriteRecording("");
        fake::Reset();
        /* Held as a console's redirection holds it: for writing, sharing reading and writing. */
        HANDLE capture = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, NULL);
        ASSERT_NE(capture, INVALID_HANDLE_VALUE);
        DWORD written;
        auto add = [capture, &written](const std::string &text) { WriteFile(capture, text.data(), (DWORD)text.size(), &written, NULL); };
        add(c.checked);
        bool grown = false;
        fake::beforeRead = [&] {
            if (!grown && !fake::Named("Sleep").empty())
                grown = (add(c.duringWait), true);
            return true;
        };
        char error[REPLAY_ERROR_SIZE] = "";
        EXPECT_TRUE(LoadReplayRecording(path.c_str(), FALSE, [] { throw RecordingEnded(); }, error, sizeof error))
            << c.name << ": " << error;
        EXPECT_EQ(fake::Named("Sleep").size(), c.waits ? 1u : 0u) << c.name << ": the wait for the file to grow";
        add(Frame(CodeTable[4], 3570, 1654) + "pulse 460\n");
        std::vector<uint64_t> frames = ReadFramesToTheEnd(&ReplayReceiverLine);
        CloseReplayRecording();
        CloseHandle(capture);
        unlink(path.c_str());
        EXPECT_EQ(frames, c.frames) << c.name;
    }
}

TEST(IrMonitorText, SixtyFourBitNumbersInDecimalAndHexadecimal)
{
    const struct { ULONGLONG value; const char *decimal, *hex; } cases[] = {
        {0, "0", "0000000000000000"},
        {1, "1", "0000000000000001"},
        {0xFFFFFFFFull, "4294967295", "00000000FFFFFFFF"},
        {0x100000000ull, "4294967296", "0000000100000000"},
        {0x8000000000000000ull, "9223372036854775808", "8000000000000000"},
        {~0ull, "18446744073709551615", "FFFFFFFFFFFFFFFF"},
        {CodeTable[1], "140771881744763", "000080080201797B"},
        {CodeTable[15], "140772166915527", "000080081300D5C7"},
    };
    for (const auto &c : cases) {
        char text[NUMBER_TEXT_SIZE];
        EXPECT_STREQ(FormatUnsigned64(c.value, 10, 1, text), c.decimal) << c.hex;
        EXPECT_STREQ(FormatUnsigned64(c.value, 16, 16, text), c.hex) << c.decimal;
    }
}

TEST(IrMonitorText, TheCommandLineChoosesTheRunAndItsExitCode)
{
    std::string path = WriteRecording(Frame(CodeTable[2], 3570, 1654) + "pulse 460\n");
    std::string spaced = path + " with a blank";
    ASSERT_EQ(rename(path.c_str(), spaced.c_str()), 0);
    fake::Reset();
    EXPECT_EXIT(RunIrMonitor(("ir-monitor \"" + spaced + "\"").c_str()), ::testing::ExitedWithCode(0), "")
        << "a quoted path with a blank plays to its end";
    EXPECT_EXIT((dup2(STDERR_FILENO, STDOUT_FILENO), RunIrMonitor(("ir-monitor --raw \"" + spaced + "\"").c_str())),
                ::testing::ExitedWithCode(0), "frequency 10000000\n.*# frame 0x0000800802001013 2\n");
    unlink(spaced.c_str());
    const char *refused[] = {"ir-monitor -x", "ir-monitor a.ir b.ir", "ir-monitor --raw a.ir b.ir", "ir-monitor",
                             "ir-monitor \"/no such/recording.ir\""};
    for (const char *line : refused)
        EXPECT_EQ(RunIrMonitor(line), MONITOR_EXIT_BAD_INPUT) << line;

    /* Recordings the replay line plays but the report cannot show; a long comment is fine. */
    const std::string frame = Frame(CodeTable[2], 3570, 1654) + "pulse 460\n";
    const struct { std::string recording; int code; const char *says; } recordings[] = {
        {"frequency 99999\n" + frame, MONITOR_EXIT_BAD_INPUT, "a counter of 99999 Hz is too slow; ir-monitor needs 100000"},
        {"frequency 100000\n" + frame, 0, ""},
        {"", MONITOR_EXIT_BAD_INPUT, "the recording holds no pulse or space"},
        {"# ir-monitor --raw: nothing came\nfrequency 10000000\n", MONITOR_EXIT_BAD_INPUT, "holds no pulse or space"},
        {" # " + std::string(5000, 'x') + "\n" + frame, 0, ""},
    };
    /* Each in a process of its own, which a recording that plays ends (ExitProcess). */
    for (const auto &c : recordings) {
        std::string path = WriteRecording(c.recording);
        EndedRun run = RunToItsEnd([&path] {
            fake::Reset();
            std::exit(RunIrMonitor(("ir-monitor " + path).c_str()));
        });
        EXPECT_EQ(run.code, c.code) << c.recording.substr(0, 40) << "\n" << run.text;
        EXPECT_TRUE(std::regex_search(run.text, std::regex(Wrapped(c.says)))) << c.says << "\n" << run.text;
        EXPECT_EQ(OffTheColumns(run.text), "") << c.recording.substr(0, 40);
        unlink(path.c_str());
    }
    fake::Reset();
    fake::frequency = 99999;
    fake::Script("CreateFileA", {-1});  /* a port that is tried fails (exit 3), and nothing waits */
    EndedRun slow = RunToItsEnd([] { std::exit(ListenOnCom1(FALSE)); });
    EXPECT_EQ(slow.code, MONITOR_EXIT_BAD_INPUT) << "a machine whose counter is that slow:\n" << slow.text;
    EXPECT_TRUE(std::regex_search(slow.text, std::regex(Wrapped("^ir-monitor: COM1: a counter of 99999 Hz is too slow"))))
        << slow.text;
    EXPECT_EQ(OffTheColumns(slow.text), "");

    /* Asked for, the usage goes to standard output, with exit 0. */
    for (const char *line : {"ir-monitor /?", "ir-monitor -h", "ir-monitor --help", "ir-monitor --raw /?"}) {
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(RunIrMonitor(line), 0) << line;
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << line;
        std::string usage = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(usage.rfind("usage: ir-monitor [--raw] ", 0), 0u) << line;
        EXPECT_NE(usage.find("--raw      also write the receiver line itself as a recording"), std::string::npos) << usage;
        EXPECT_EQ(OffTheColumns(usage), "") << line;
    }
}

/* Runs `work` with the process's standard output and error in temporary files; their bytes. */
std::pair<std::string, std::string> CaptureStandardOutputs(const std::function<void()> &work)
{
    FILE *files[2] = {std::tmpfile(), std::tmpfile()};
    int saved[2] = {dup(STDOUT_FILENO), dup(STDERR_FILENO)};
    dup2(fileno(files[0]), STDOUT_FILENO);
    dup2(fileno(files[1]), STDERR_FILENO);
    work();
    std::string texts[2];
    for (int i = 0; i < 2; i++) {
        dup2(saved[i], i == 0 ? STDOUT_FILENO : STDERR_FILENO);
        close(saved[i]);
        texts[i] = ReadFromStart(files[i]);
        std::fclose(files[i]);
    }
    return {texts[0], texts[1]};
}

std::string WithCrLf(const std::string &text) { return std::regex_replace(text, std::regex("\n"), "\r\n"); }

TEST(IrMonitorText, AConsoleGetsCrLfAndItsCodePageWhileFilesAndPipesKeepTheBytes)
{
    const std::string recording = Frame(CodeTable[2], 3570, 1654) + "pulse 460\n";
    const std::string plain = Monitor(recording);
    const std::string ansi = "ir-monitor: Zugriff verweigert: \xE9\xE4\xF6\xFC\n";
    const std::string oem = "ir-monitor: Zugriff verweigert: \x82\x84\x94\x81\n";
    const struct { bool outputConsole, errorConsole; std::string output, error; } cases[] = {
        {false, false, plain, ansi},
        {true, false, WithCrLf(plain), ansi},
        {false, true, plain, WithCrLf(oem)},
        {true, true, WithCrLf(plain), WithCrLf(oem)},
    };
    for (const auto &c : cases) {
        auto outputs = CaptureStandardOutputs([&c, &recording] {
            fake::Reset();
            if (c.outputConsole)
                fake::consoles.insert(GetStdHandle(STD_OUTPUT_HANDLE));
            if (c.errorConsole)
                fake::consoles.insert(GetStdHandle(STD_ERROR_HANDLE));
            fake::systemText = "Zugriff verweigert: \xE9\xE4\xF6\xFC\r\n";
            char text[SYSTEM_TEXT_SIZE];
            PutError("ir-monitor: %s\n", DescribeSystemError(ERROR_ACCESS_DENIED, text));
            ASSERT_EQ(LoadRecordingText(recording), "");
            MonitorToTheEnd(&ReplayReceiverLine, FALSE, GetStdHandle(STD_OUTPUT_HANDLE));
            WritePendingOutput();
            CloseReplayRecording();
        });
        const char *name = c.outputConsole ? (c.errorConsole ? "both consoles" : "output a console")
                                           : (c.errorConsole ? "error a console" : "no console");
        EXPECT_EQ(outputs.first, c.output) << name;
        EXPECT_EQ(outputs.second, c.error) << name;
    }
}

TEST(IrMonitorText, MessagesBreakBetweenWordsAndGoOnAfterTheToolsName)
{
    const std::string name = "ir-monitor: ", indent(12, ' '), a64(64, 'a'), path = "/" + std::string(150, 'p');
    const struct { const char *what; bool console; std::string text, shown; } cases[] = {
        {"79 columns stay whole", false, name + a64 + " bb\n", name + a64 + " bb\n"},
        {"80 break at the last blank", false, name + a64 + "a bb\n", name + a64 + "a\n" + indent + "bb\n"},
        {"a blank in the 80th column", false, name + a64 + "aaa bb\n", name + a64 + "aaa\n" + indent + "bb\n"},
        /* Never the tool's name alone on a line: a word too long for the rest is cut at the limit. */
        {"a path longer than a line", false, name + path + " end\n",
         name + path.substr(0, 67) + "\n" + indent + path.substr(67, 67) + "\n" + indent + path.substr(134) + " end\n"},
        {"each line of a message on its own", false, name + a64 + "a bb\n" + name + "short\n",
         name + a64 + "a\n" + indent + "bb\n" + name + "short\n"},
        {"a line without the tool's name goes on at the margin", false, std::string(70, 'c') + " dd " + a64 + "\n",
         std::string(70, 'c') + " dd\n" + a64 + "\n"},
        {"a console gets CR LF at every break", true, name + a64 + "a bb\n", name + a64 + "a\r\n" + indent + "bb\r\n"},
    };
    for (const auto &c : cases) {
        auto outputs = CaptureStandardOutputs([&c] {
            fake::Reset();
            if (c.console)
                fake::consoles.insert(GetStdHandle(STD_ERROR_HANDLE));
            PutError("%s", c.text.c_str());
        });
        EXPECT_EQ(outputs.second, c.shown) << c.what;
    }
}

/* A line that reports the changes of a train at 10 MHz, plus the same state again 500 us into
   each gap of over 1 ms (two changes made between two waits).  Its first counter read after a report
   gives that report's time; every further read is 200 us later, as for a thread busy printing. */
struct ScriptedReport {
    BOOL on;
    LONGLONG at;
};
std::vector<ScriptedReport> scriptedReports;
size_t reportsGiven;
int readsSinceReport;

BOOL WaitScriptedChange()
{
    if (reportsGiven == scriptedReports.size())
        throw RecordingEnded();
    readsSinceReport = 0;
    return scriptedReports[reportsGiven++].on;
}

void ReadScriptedCounter(LARGE_INTEGER *count)
{
    count->QuadPart = (reportsGiven > 0 ? scriptedReports[reportsGiven - 1].at : 0) + 2000 * readsSinceReport++;
}

void ReadScriptedFrequency(LARGE_INTEGER *frequency) { frequency->QuadPart = 10000000; }
void OpenScriptedLine() {}
const ReceiverLine scriptedLine = {.openLine = OpenScriptedLine,
                                   .waitLineChange = WaitScriptedChange,
                                   .readCounter = ReadScriptedCounter,
                                   .readFrequency = ReadScriptedFrequency};

std::vector<uint64_t> DecodeScripted(const ReceiverLine *line, const std::vector<IrInterval> &train)
{
    scriptedReports.clear();
    reportsGiven = 0;
    readsSinceReport = 0;
    LONGLONG at = 0;
    for (const IrInterval &interval : train) {
        scriptedReports.push_back({!interval.pulse, at});
        if (!interval.pulse && interval.us > 1000)
            scriptedReports.push_back({TRUE, at + 5000});
        at += 10 * static_cast<LONGLONG>(interval.us);
    }
    return ReadFramesToTheEnd(line);
}

TEST(IrMonitor, PowerUpIsTheLineComingOnAndStayingOn)
{
    /* A live line may start off, before the module has its supply: then one rise is the power-up,
       and a rise, a fall and a rise are not. */
    const struct { std::vector<ScriptedReport> changes; bool powerUp; } cases[] = {
        {{{TRUE, 300000}}, true},
        {{{TRUE, 300000}, {FALSE, 400000}, {TRUE, 500000}}, false},
    };
    for (const auto &c : cases) {
        fake::Reset();
        scriptedReports = c.changes;
        reportsGiven = 0;
        FILE *out = std::tmpfile();
        MonitorToTheEnd(&scriptedLine, FALSE, fake::FileHandle(fileno(out)));
        std::string verdict = Verdict(ReadFromStart(out));
        std::fclose(out);
        EXPECT_EQ(verdict.find("# verdict: wired and powered") == 0, c.powerUp) << c.changes.size() << ": " << verdict;
    }
}

TEST(LineTap, DecoderReadsEachChangeAtItsStampHoweverLateTheToolIsBetweenFrames)
{
    IrTiming receiver;
    receiver.markStretchUs = 100;  /* leader 3556/1628 us as received: 36 us inside the burst window */
    const std::vector<uint64_t> codes = {CodeTable[5], CodeTable[6], CodeTable[7]};
    std::vector<IrInterval> train = EncodeFrames(codes, receiver, 1);
    EXPECT_EQ(DecodeScripted(&scriptedLine, train), (std::vector<uint64_t>{CodeTable[5], CodeTable[7]}))
        << "straight on the line, 200 us taken off the leader of a frame right after a returned one loses it";

    const ReceiverLine *tap = TapLine(&scriptedLine, NULL, NULL);
    EXPECT_EQ(DecodeScripted(tap, train), codes);
    EXPECT_EQ(TappedChangeCount(), train.size()) << "a repeated state is no change";
    EXPECT_EQ(RecentChange(2 * FRAME_DATA_PAIRS + 1)->decoderTicks, 35560) << "the last frame's leader burst";
    EXPECT_EQ(RecentChange(2 * FRAME_DATA_PAIRS)->decoderTicks, 16280) << "and its gap";
}

}  // namespace
