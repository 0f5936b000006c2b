#include "replay_support.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

#include "../../receiver/frame_decoder.h"
#include "../../receiver/replay_line.h"

std::string WriteRecording(const std::string &text)
{
    char path[] = "/tmp/recording-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0)
        throw std::runtime_error("cannot create a temporary recording");
    FILE *file = fdopen(fd, "wb");
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    /* scripts/compare-monitor-output collects the tests' recordings through this. */
    if (const char *keep = std::getenv("KEEP_RECORDINGS_IN")) {
        static int kept;
        std::string copy = std::string(keep) + "/test-" + std::to_string(++kept) + ".ir";
        if (FILE *out = std::fopen(copy.c_str(), "wb")) {
            std::fwrite(text.data(), 1, text.size(), out);
            std::fclose(out);
        }
    }
    return path;
}

static void ThrowAtEnd() { throw RecordingEnded(); }

std::string LoadRecordingText(const std::string &text)
{
    std::string path = WriteRecording(text);
    char error[REPLAY_ERROR_SIZE] = "";
    BOOL loaded = LoadReplayRecording(path.c_str(), FALSE, ThrowAtEnd, error, sizeof error);
    unlink(path.c_str());  // the open file stays readable
    return loaded ? "" : error;
}

std::vector<uint64_t> DecodeRecording(const std::string &text)
{
    std::vector<uint64_t> frames;
    std::string error = LoadRecordingText(text);
    if (!error.empty())
        throw std::runtime_error("recording refused: " + error);
    try {
        ReplayReceiverLine.openLine();
        for (;;)
            frames.push_back(ReadFrame(&ReplayReceiverLine));
    } catch (const RecordingEnded &) {
    }
    CloseReplayRecording();
    return frames;
}

std::string TickRecording(uint64_t frequency, const std::vector<TickPair> &pairs, uint32_t finalBurst)
{
    std::string text = "frequency " + std::to_string(frequency) + "\nunits ticks\n";
    for (const TickPair &p : pairs)
        text += "pulse " + std::to_string(p.off) + "\nspace " + std::to_string(p.on) + "\n";
    if (finalBurst > 0)
        text += "pulse " + std::to_string(finalBurst) + "\n";
    return text;
}
