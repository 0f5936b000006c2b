/*
 * Noise immunity: a few simulated minutes of every kind of noise the receiver meets (random
 * bursts, lamps, other remotes, other makers' codes in our format) never turn into a log-off, a
 * suspend or any real command, and our frames sent among that noise still come through.  Fixed
 * seeds; the long runs and the figures are in scripts/bench-host.
 */
#include <gtest/gtest.h>

#include "noise.h"
#include "replay_support.h"

#include "../../receiver/code_table.h"

namespace {

const int64_t MODERN_HZ = 10000000;
const int64_t ACPI_TIMER_HZ = 3579545;

bool FormsNoLeader(NoiseKind kind)
{
    return kind == NoiseKind::MainsFlicker || kind == NoiseKind::NecRemote || kind == NoiseKind::SircRemote ||
           kind == NoiseKind::Rc5Remote;
}

TEST(NoiseImmunity, NoKindOfNoiseGivesARealCommand)
{
    for (NoiseKind kind : AllNoiseKinds()) {
        auto source = LimitTo(MakeNoise(kind, 11), 3 * 60);
        CommandTally tally;
        DecodeSource(*source, MODERN_HZ, [&](uint64_t code) { tally.Add(code); });
        SCOPED_TRACE(NoiseKindName(kind));
        EXPECT_EQ(tally.perCommand[14], 0u) << "log-off from noise";
        EXPECT_EQ(tally.perCommand[15], 0u) << "suspend from noise";
        /* Command 0 is what 48 short data gaps give; it does nothing.  Anything else is a key. */
        EXPECT_EQ(tally.Commands(), tally.perCommand[0]) << "commands: " << tally.Listed();
        if (FormsNoLeader(kind)) {
            EXPECT_EQ(tally.frames, 0u) << "nothing in this noise has our leader's shape";
        }
        if (kind == NoiseKind::RandomDense || kind == NoiseKind::ForeignCodes) {
            EXPECT_GT(tally.frames, 5u) << "this noise must reach the frame decoder, or the check above proves nothing";
        }
    }
}

TEST(NoiseImmunity, TableFramesAmongNoiseComeThroughAndNothingElseDoes)
{
    const int frames = 4 * CODE_TABLE_SIZE;
    for (NoiseKind kind : AllNoiseKinds()) {
        std::vector<SentFrame> sent;
        auto mix = MixFramesInto(MakeNoise(kind, 5), frames, 6, sent);
        Recovery recovery = MatchFrames(sent, DecodeWithTimes(*mix, MODERN_HZ));
        SCOPED_TRACE(NoiseKindName(kind));
        ASSERT_EQ(sent.size(), static_cast<size_t>(frames));
        EXPECT_EQ(recovery.strayCommands, 0u) << "a command that no frame sent";
        if (FormsNoLeader(kind)) {
            EXPECT_EQ(recovery.recovered, static_cast<uint64_t>(frames));
        } else if (kind == NoiseKind::ForeignCodes) {
            /* Ours cut into a foreign frame of our own format is lost with it; most are not. */
            EXPECT_GE(recovery.recovered, static_cast<uint64_t>(frames * 3 / 4));
        } else {
            /* A leader-like pair among the last 49 before ours takes our leader as data. */
            EXPECT_GE(recovery.recovered, static_cast<uint64_t>(frames - 3));
        }
    }
}

/* The bench's hours of noise run on the in-memory line; it must decode exactly as the replay
   line does from the same train written out as a recording. */
TEST(NoiseImmunity, MemoryLineDecodesAsTheReplayLineDoes)
{
    for (int64_t rate : {MODERN_HZ, ACPI_TIMER_HZ}) {
        std::vector<SentFrame> sentA, sentB;
        auto forMemory = MixFramesInto(MakeNoise(NoiseKind::RandomDense, 21), 24, 22, sentA);
        auto forReplay = MixFramesInto(MakeNoise(NoiseKind::RandomDense, 21), 24, 22, sentB);
        std::vector<uint64_t> fromMemory;
        DecodeSource(*forMemory, rate, [&](uint64_t code) { fromMemory.push_back(code); });
        std::vector<uint64_t> fromReplay =
            DecodeRecording(SourceToRecording(*forReplay, "frequency " + std::to_string(rate) + "\n"));
        EXPECT_EQ(fromMemory, fromReplay) << "at " << rate << " Hz";
        EXPECT_GT(fromMemory.size(), 24u) << "noise frames as well as ours, at " << rate << " Hz";
    }
}

}  // namespace
