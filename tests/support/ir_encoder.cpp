/*
 * The test-only frame encoder; see ir_encoder.h.
 */
#include "ir_encoder.h"

#include <algorithm>
#include <cmath>

static uint32_t Jittered(double us, const IrTiming &timing, std::mt19937 &random)
{
    if (timing.jitterUs > 0) {
        std::uniform_real_distribution<double> shift(-timing.jitterUs, timing.jitterUs);
        us += shift(random);
    }
    return static_cast<uint32_t>(std::max(1.0, std::lround(us) * 1.0));
}

static void AppendPair(double markUs, double spaceUs, const IrTiming &timing, std::mt19937 &random,
                       std::vector<IrInterval> &train)
{
    train.push_back({true, Jittered(markUs + timing.markStretchUs, timing, random)});
    train.push_back({false, Jittered(spaceUs - timing.markStretchUs, timing, random)});
}

void EncodeFrame(uint64_t code, const IrTiming &timing, std::mt19937 &random, std::vector<IrInterval> &train)
{
    AppendPair(timing.leaderMarkUs, timing.leaderSpaceUs, timing, random, train);
    for (int bit = 48; bit >= 1; bit--) {
        bool one = (code >> bit) & 1;
        AppendPair(timing.markUs, one ? timing.oneSpaceUs : timing.zeroSpaceUs, timing, random, train);
    }
    AppendPair(timing.markUs, (code & 1) ? timing.pauseUs : timing.zeroSpaceUs, timing, random, train);
}

std::vector<IrInterval> EncodeFrames(const std::vector<uint64_t> &codes, const IrTiming &timing, uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<IrInterval> train;
    for (uint64_t code : codes)
        EncodeFrame(code, timing, random, train);
    train.push_back({true, Jittered(timing.markUs + timing.markStretchUs, timing, random)});
    return train;
}

std::string ToRecording(const std::vector<IrInterval> &train, const std::string &header)
{
    std::string text = header;
    for (const IrInterval &interval : train)
        text += (interval.pulse ? "pulse " : "space ") + std::to_string(interval.us) + "\n";
    return text;
}
