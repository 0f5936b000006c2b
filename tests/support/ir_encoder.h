/*
 * Test-only encoder: turns frame codes into pulse/space trains as a receiver module would
 * deliver them, for round-trip tests, the bundled sample and noise experiments.
 *
 * A frame is a leader burst and gap, 48 data bursts each followed by a short (0) or long (1)
 * gap, then a closing burst and the pause after it: long when bit 0 is 1, short when it is 0.
 * The remote sends them in its unit of 432 us: leader 8 + 4 units, bursts of 1 unit, gaps of
 * 1 (a 0) or 3 (a 1).  A receiver module lengthens each burst and shortens the gap after it by
 * the same amount, and every edge jitters; both can be set.
 *
 * The defaults are that nominal timing as one receiver inside the band the decoder accepts
 * (65-135 us of lengthening, scripts/bench) delivers it, 100 us, with no jitter: IrTiming{}
 * decodes.  A test about a particular receiver sets markStretchUs itself.
 */
#ifndef IR_ENCODER_H
#define IR_ENCODER_H

#include <cstdint>
#include <random>
#include <string>
#include <vector>

/* Lengths as the remote sends them; the receiver's output adds markStretchUs to each burst. */
struct IrTiming {
    double leaderMarkUs = 3456;
    double leaderSpaceUs = 1728;
    double markUs = 432;
    double zeroSpaceUs = 432;
    double oneSpaceUs = 1296;
    double pauseUs = 40000;     /* after the closing burst, when bit 0 is 1 */
    double markStretchUs = 100; /* added to each burst, taken from the gap after it */
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
