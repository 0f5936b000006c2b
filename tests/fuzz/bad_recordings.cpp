/*
 * bad-recordings: a fixed list of broken and extreme recordings, run in the sanitized fuzz
 * build.  Each is refused with "file:line: reason" (the line and reason it must name), or
 * accepted and played to its end through the decoder.  Prints ok/FAIL per case and a last line
 * "N passed, N failed"; exits non-zero on any failure.
 */
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "../../receiver/frame_decoder.h"
#include "../../receiver/replay_line.h"

namespace {

struct RecordingEnded {};
struct TooManyChanges {};

void ThrowAtEnd() { throw RecordingEnded(); }

const long MAX_CHANGES = 200000;
long changesLeft;
ReceiverLine countedLine;

BOOL CountedWait()
{
    if (changesLeft-- <= 0)
        throw TooManyChanges();
    return ReplayReceiverLine.waitLineChange();
}

std::string directory;
int passed, failed;

void Report(const std::string &name, const std::string &problem)
{
    if (problem.empty()) {
        passed++;
        std::printf("ok   %s\n", name.c_str());
    } else {
        failed++;
        std::printf("FAIL %s: %s\n", name.c_str(), problem.c_str());
    }
}

std::string FileOf(const std::string &text)
{
    std::string path = directory + "/case.ir";
    FILE *file = std::fopen(path.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    return path;
}

/* Plays the loaded recording to its end; "" or what went wrong.  `frames` gets the count. */
std::string PlayToTheEnd(int &frames)
{
    frames = 0;
    changesLeft = MAX_CHANGES;
    try {
        for (;;) {
            if (ReadFrame(&countedLine) >> 49 != 0)
                return "a frame code with bits above 48";
            frames++;
        }
    } catch (const RecordingEnded &) {
    } catch (const TooManyChanges &) {
        return "still playing after " + std::to_string(MAX_CHANGES) + " changes";
    }
    CloseReplayRecording();
    return "";
}

/* Loads `path`; refusedAt < 0 means it must be accepted (and then plays to its end),
   0 a refusal without a line number, N a refusal at line N with `reason` in the message. */
std::string Check(const std::string &path, long refusedAt, const std::string &reason, int wantFrames = -1,
                  int errorSize = REPLAY_ERROR_SIZE)
{
    char error[REPLAY_ERROR_SIZE + 1];
    std::memset(error, 'x', sizeof error);
    BOOL loaded = LoadReplayRecording(path.c_str(), FALSE, ThrowAtEnd, error, errorSize);
    if (refusedAt < 0) {
        if (!loaded)
            return std::string("refused: ") + error;
        int frames;
        std::string problem = PlayToTheEnd(frames);
        if (problem.empty() && wantFrames >= 0 && frames != wantFrames)
            problem = std::to_string(frames) + " frames instead of " + std::to_string(wantFrames);
        return problem;
    }
    if (loaded) {
        CloseReplayRecording();
        return "accepted";
    }
    if (std::memchr(error, '\0', errorSize) == nullptr)
        return "the message is not terminated";
    if (errorSize < REPLAY_ERROR_SIZE)
        return std::strlen(error) == static_cast<size_t>(errorSize - 1) ? "" : "the message was not cut to size";
    std::string where = refusedAt > 0 ? path + ":" + std::to_string(refusedAt) + ": " : path + ": ";
    if (std::string(error).rfind(where, 0) != 0 || std::string(error).find(reason) == std::string::npos)
        return "wanted '" + where + "..." + reason + "', got '" + error + "'";
    try {
        ReplayReceiverLine.waitLineChange();
        return "a refused recording played a change";
    } catch (const RecordingEnded &) {
    }
    return "";
}

std::string CheckText(const std::string &text, long refusedAt, const std::string &reason, int wantFrames = -1)
{
    return Check(FileOf(text), refusedAt, reason, wantFrames);
}

std::string ReadSample()
{
    std::string text;
    FILE *file = std::fopen(SAMPLES_DIR "/remote-keys.ir", "rb");
    if (file == nullptr)
        return text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    std::fclose(file);
    return text;
}

/* Runs `check` in a child process that must be done within `seconds`: a recording on which
   the replay line spins would otherwise stop the whole list. */
std::string WithinSeconds(int seconds, const std::function<std::string()> &check)
{
    int channel[2];
    if (pipe(channel) != 0)
        return "cannot make a pipe";
    std::fflush(stdout);
    pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        std::string problem = check();
        ssize_t written = write(channel[1], problem.data(), problem.size());
        _exit(written == static_cast<ssize_t>(problem.size()) ? 0 : 1);
    }
    close(channel[1]);
    for (int waited = 0; waited < seconds * 100; waited++) {
        int status;
        if (waitpid(child, &status, WNOHANG) == child) {
            char text[REPLAY_ERROR_SIZE + 100];
            ssize_t n = read(channel[0], text, sizeof text);
            close(channel[0]);
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
                return "the check itself crashed";
            return std::string(text, n > 0 ? static_cast<size_t>(n) : 0);
        }
        usleep(10000);
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(channel[0]);
    return "still busy after " + std::to_string(seconds) + " s: the line neither changes nor ends";
}

/* A recording that can never change the line again must end (or be refused), not spin. */
std::string EndsOrIsRefused(const std::string &text)
{
    return WithinSeconds(3, [&] {
        std::string problem = CheckText(text, -1, "", 0);
        return problem.rfind("refused: ", 0) == 0 ? std::string() : problem;
    });
}

/* ASCII `text` as Windows PowerShell 5.1 saves it: UTF-16LE after the mark FF FE. */
std::string Utf16(const std::string &text)
{
    std::string bytes = "\xFF\xFE";
    for (char c : text)
        bytes += {c, '\0'};
    return bytes;
}

/* ASCII `text` as UTF-16BE, without a mark. */
std::string Utf16BigEndian(const std::string &text)
{
    std::string bytes;
    for (char c : text)
        bytes += {'\0', c};
    return bytes;
}

long LinesIn(const std::string &text)
{
    long lines = 0;
    for (char c : text)
        lines += c == '\n';
    return lines + (!text.empty() && text.back() != '\n');
}

}  // namespace

int main()
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    char scratch[] = "/dev/shm/bad-recordings-XXXXXX";
    if (access("/dev/shm", W_OK) != 0)
        std::memcpy(scratch, "/tmp/bad-recordings-XXXXXX", sizeof "/tmp/bad-recordings-XXXXXX");
    if (mkdtemp(scratch) == nullptr) {
        std::perror("bad-recordings: mkdtemp");
        return 2;
    }
    directory = scratch;
    countedLine = ReplayReceiverLine;
    countedLine.waitLineChange = CountedWait;

    Report("a missing file", Check(directory + "/missing.ir", 0, "cannot open the recording"));
    Report("a directory", Check(directory, 0, "is a folder, not a recording"));  /* refused on opening, as on Windows */
    Report("an empty file plays nothing", CheckText("", -1, "", 0));
    Report("a last line without its newline", CheckText("pulse 3500\nspace 17", -1, "", 0));
    Report("a word cut short", CheckText("pulse 3500\nspa", 2, "unknown word"));
    Report("a number cut off", CheckText("pulse 3500\nspace", 2, "a number is missing"));
    Report("the largest number", CheckText("units ticks\npulse 4294967295\nspace 4294967295\npulse 1\n", -1, "", 0));
    Report("one more than the largest", CheckText("space 4294967296\n", 1, "too large"));
    Report("190 digits", CheckText("pulse " + std::string(190, '9') + "\n", 1, "too large"));
    Report("10000 digits", CheckText("pulse 5\nspace " + std::string(10000, '7') + "\n", 2, "the line is longer than 200 characters"));
    Report("200 characters are a line", CheckText("pulse 5" + std::string(193, ' ') + "\n", -1, "", 0));
    Report("201 are too many", CheckText("pulse 5" + std::string(194, ' ') + "\n", 1, "the line is longer than 200 characters"));
    Report("a leading zero run", CheckText("pulse 00000000000000000000000000005\n", -1, "", 0));
    Report("minus zero", CheckText("pulse -0\n", 1, "must be positive"));
    Report("a plus sign", CheckText("pulse +5\n", 1, "a number is missing"));
    Report("frequency 0", CheckText("frequency 0\npulse 5\n", 1, "must be positive"));
    Report("a NUL after a good line", CheckText(std::string("pulse 5\n\0", 9), 2, "NUL byte"));
    Report("bare carriage returns", CheckText("pulse 5\rspace 5\rpulse 5\r", 1, "unexpected text after the number"));
    Report("a UTF-8 byte order mark is skipped", CheckText("\xEF\xBB\xBFpulse 5\n", -1, "", 0));
    Report("a UTF-8 byte order mark alone", CheckText("\xEF\xBB\xBF", -1, "", 0));
    Report("a UTF-16 byte order mark alone", CheckText("\xFF\xFE", -1, "", 0));
    Report("half a UTF-16 byte order mark", CheckText("\xFF", 1, "unknown word"));
    Report("UTF-16 of odd length", CheckText(Utf16("pulse 5\nspace 5\n") + "p", 3, "half a UTF-16 character"));
    Report("UTF-16 cut in a character", CheckText(Utf16("pulse 5\nspace 5").substr(0, 31), 2, "half a UTF-16"));
    /* Encodings other than the readable ones are named, with what to save the file as. */
    const std::string bigEndian = Utf16BigEndian("pulse 5\nspace 5\n");
    const std::string saveAs = "; save it as UTF-8, or as UTF-16 LE with its byte-order mark";
    Report("UTF-16 big-endian", CheckText("\xFE\xFF" + bigEndian, 0, "the recording is in UTF-16 big-endian" + saveAs));
    Report("UTF-16 big-endian without its mark",
           CheckText(bigEndian, 0, "the recording is in UTF-16 without a byte-order mark" + saveAs));
    Report("UTF-16 little-endian without its mark",
           CheckText(Utf16("pulse 5\nspace 5\n").substr(2), 0, "the recording is in UTF-16 without a byte-order mark"));
    Report("UTF-16 with a NUL unit",
           CheckText(Utf16("pulse 5\nspace 5" + std::string(1, '\0') + "\npulse 5\n"), 2, "NUL byte"));
    std::string everyByte;
    for (int c = 0; c < 256; c++)
        everyByte += static_cast<char>(c);
    Report("every byte value", CheckText(everyByte, 1, "NUL byte"));
    std::mt19937 random(1);
    std::string junk;
    for (int i = 0; i < 4096; i++)
        junk += static_cast<char>(random() % 256 | 0x80);  /* no newline, so one bad line */
    Report("4 KiB of binary junk", CheckText(junk, 1, "the line is longer than 200 characters"));
    Report("a cut-short error buffer", Check(FileOf("nonsense\n"), 1, "", -1, 8));

    /* Extremes that load: the slowest and fastest counters, the longest items, forever. */
    Report("one tick per second", CheckText("frequency 1\npulse 4294967295\nspace 4294967295\npulse 1\n", -1, "", 0));
    Report("the fastest counter, the longest items",
           CheckText("frequency 4294967295\npulse 4294967295\nspace 4294967295\npulse 4294967295\n", -1, "", 0));
    Report("a repeating recording of pulses only", EndsOrIsRefused("repeat\npulse 838\n"));
    Report("a repeating recording of spaces only", EndsOrIsRefused("repeat\nspace 5\n"));
    Report("a repeating recording is stopped by the bound",
           Check(FileOf("repeat\npulse 1\nspace 1\n"), -1, "") == "still playing after 200000 changes"
               ? ""
               : "the bound did not stop it");

    /* The bundled sample, whole (its six frames) and cut after every byte of its first lines. */
    std::string sample = ReadSample();
    Report("the bundled sample", sample.empty() ? "cannot read it" : CheckText(sample, -1, "", 6));
    Report("the bundled sample in UTF-16", sample.empty() ? "cannot read it" : CheckText(Utf16(sample), -1, "", 6));
    std::string cutProblems;
    for (size_t cut = 1; cut <= 600 && cut < sample.size(); cut++) {
        std::string prefix = sample.substr(0, cut);
        std::string problem = CheckText(prefix, -1, "");
        if (!problem.empty() && problem.rfind("refused: ", 0) == 0)
            problem = CheckText(prefix, LinesIn(prefix), "");
        if (!problem.empty() && cutProblems.empty())
            cutProblems = "cut after " + std::to_string(cut) + " bytes: " + problem;
    }
    Report("the sample cut after each of its first 600 bytes", cutProblems);

    unlink((directory + "/case.ir").c_str());
    rmdir(scratch);
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
