/*
 * Test-only encoder: turns frame codes into pulse/space trains as a receiver module would
 * deliver them, for round-trip tests, the bundled sample and noise experiments.
 *
 * A frame is a leader burst and gap, 48 data bursts each followed by a short (0) or long (1)
 * gap, then a closing burst and the pause after it: long when bit 0 is 1, short when it is 0.
 * Real receivers stretch each burst and shorten the gap after it by about the same amount, and
 * every edge jitters; both can be set.
 */
#ifndef IR_ENCODER_H
#define IR_ENCODER_H

#include <cstdint>
#include <random>
#include <string>
#include <vector>

/* Nominal lengths as sent; a receiver's output adds markStretchUs (40-80 us is typical). */
struct IrTiming {
    double leaderMarkUs = 3530;
    double leaderSpaceUs = 1700;
    double markUs = 420;
    double zeroSpaceUs = 440;
    double oneSpaceUs = 1300;
    double pauseUs = 40000;     /* after the closing burst, when bit 0 is 1 */
    double markStretchUs = 0;   /* added to each burst, taken from the gap after it */
    double jitterUs = 0;        /* each interval moves by up to this much either way */
};

struct IrInterval {
    bool pulse;       /* true: burst (line off); false: gap (line on) */
    uint32_t us;
};

/* Appends one frame; the closing pause is the last interval appended. */
void EncodeFrame(uint64_t code, const IrTiming &timing, std::mt19937 &random,
                 std::vector<IrInterval> &train);

/* Appends the frames of `codes` and a final short burst, which ends the last frame's pause. */
std::vector<IrInterval> EncodeFrames(const std::vector<uint64_t> &codes, const IrTiming &timing,
                                     uint32_t seed);

/* The train as recording text ("pulse N" / "space N" lines), after `header` lines. */
std::string ToRecording(const std::vector<IrInterval> &train, const std::string &header);

#endif
