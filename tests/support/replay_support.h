/*
 * Host-test helpers around the replay line: write a recording to a temporary file, load it so
 * that its end throws RecordingEnded, and decode every frame in it.
 */
#ifndef REPLAY_SUPPORT_H
#define REPLAY_SUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

#include "ir_encoder.h"

struct RecordingEnded {};

/* Writes `text` to a fresh temporary file and returns its path. */
std::string WriteRecording(const std::string &text);

/* Loads `text` into the replay line, unpaced, ending with RecordingEnded; "" or the error. */
std::string LoadRecordingText(const std::string &text);

/* Every frame ReadFrame returns from the recording, in order. */
std::vector<uint64_t> DecodeRecording(const std::string &text);

/* Recording text with `directives` first, then the pairs in counter ticks ("units ticks"). */
struct TickPair {
    uint32_t off;
    uint32_t on;
};
std::string TickRecording(uint64_t frequency, const std::vector<TickPair> &pairs, uint32_t finalBurst = 500);

#endif
