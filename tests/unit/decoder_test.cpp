/*
 * Frame decoder: leader windows and bit threshold at the old timer rates and at today's 10 MHz
 * counters, round trips through the encoder, and the decoder's timing quirks (wrap-around, the
 * reference point of each call, resynchronisation, the deferred return).
 */
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "replay_support.h"

#include "../../receiver/code_table.h"
#include "../../receiver/frame_decoder.h"

namespace {

const uint64_t OLD_TIMER_HZ = 1193182;
const uint64_t ACPI_TIMER_HZ = 3579545;
const uint64_t MODERN_HZ = 10000000;

/* One frame in ticks: the given leader, 48 data pairs carrying `code`'s bits 48..1 and a
   closing pause long enough to read 1 (or short when bit 0 is 0). */
std::vector<TickPair> FrameInTicks(uint64_t frequency, TickPair leader, uint64_t code)
{
    uint32_t scale = static_cast<uint32_t>((frequency + OLD_TIMER_HZ / 2) / OLD_TIMER_HZ);  // ticks per unit, roughly
    uint32_t mark = 500 * scale, zero = 500 * scale, one = 1500 * scale, pause = 40000 * scale;
    std::vector<TickPair> pairs{leader};
    for (int bit = 48; bit >= 1; bit--)
        pairs.push_back({mark, ((code >> bit) & 1) ? one : zero});
    pairs.push_back({mark, (code & 1) ? pause : zero});
    return pairs;
}

uint64_t MicrosecondsToTicks(double us, uint64_t frequency) { return static_cast<uint64_t>(us * frequency / 1e6 + 0.5); }

struct LeaderCase {
    uint64_t frequency;
    uint32_t offTicks;
    uint32_t onTicks;
    bool accepted;
};

TEST(LeaderWindow, BoundsAreExclusiveAndFollowTheCounterRate)
{
    const LeaderCase cases[] = {
        {OLD_TIMER_HZ, 4300, 2000, true},   {OLD_TIMER_HZ, 4200, 2000, false},
        {OLD_TIMER_HZ, 4201, 2000, true},   {OLD_TIMER_HZ, 4399, 2000, true},
        {OLD_TIMER_HZ, 4400, 2000, false},  {OLD_TIMER_HZ, 4300, 1900, false},
        {OLD_TIMER_HZ, 4300, 1901, true},   {OLD_TIMER_HZ, 4300, 2099, true},
        {OLD_TIMER_HZ, 4300, 2100, false},
        {ACPI_TIMER_HZ, 12900, 6000, true}, {ACPI_TIMER_HZ, 12600, 6000, false},
        {ACPI_TIMER_HZ, 12601, 6000, true}, {ACPI_TIMER_HZ, 13199, 6000, true},
        {ACPI_TIMER_HZ, 13200, 6000, false}, {ACPI_TIMER_HZ, 12900, 5700, false},
        {ACPI_TIMER_HZ, 12900, 5701, true}, {ACPI_TIMER_HZ, 12900, 6299, true},
        {ACPI_TIMER_HZ, 12900, 6300, false},
    };
    const uint64_t code = CodeTable[4];
    for (const LeaderCase &c : cases) {
        auto frames = DecodeRecording(TickRecording(c.frequency, FrameInTicks(c.frequency, {c.offTicks, c.onTicks}, code)));
        std::vector<uint64_t> expected;
        if (c.accepted)
            expected.push_back(code);
        EXPECT_EQ(frames, expected) << "leader " << c.offTicks << "/" << c.onTicks << " ticks at " << c.frequency
                                    << " Hz should be " << (c.accepted ? "accepted" : "rejected");
    }
}

/* At 10 MHz the windows stay at 3520.0-3687.6 us off and 1592.4-1760.0 us on. */
TEST(LeaderWindow, StaysInTimeAtTenMegahertz)
{
    struct { double offUs, onUs; bool accepted; } cases[] = {
        {3556, 1628, true},  /* the remote's 3456/1728 us, through a receiver that lengthens by 100 us */
        {3525, 1680, true},  {3515, 1680, false}, {3682, 1680, true}, {3693, 1680, false},
        {3600, 1597, true},  {3600, 1587, false}, {3600, 1755, true}, {3600, 1765, false},
    };
    const uint64_t code = CodeTable[15];
    for (const auto &c : cases) {
        TickPair leader{static_cast<uint32_t>(MicrosecondsToTicks(c.offUs, MODERN_HZ)),
                        static_cast<uint32_t>(MicrosecondsToTicks(c.onUs, MODERN_HZ))};
        auto frames = DecodeRecording(TickRecording(MODERN_HZ, FrameInTicks(MODERN_HZ, leader, code)));
        EXPECT_EQ(frames.size(), c.accepted ? 1u : 0u)
            << "leader " << c.offUs << "/" << c.onUs << " us at 10 MHz should be " << (c.accepted ? "accepted" : "rejected");
    }
}

TEST(LeaderWindow, ConvertsUnitsToTicksByRounding)
{
    EXPECT_EQ(UnitsToTicks(4200, OLD_TIMER_HZ), 4200);
    EXPECT_EQ(UnitsToTicks(4400, ACPI_TIMER_HZ), 13200);
    EXPECT_EQ(UnitsToTicks(750, ACPI_TIMER_HZ), 2250);
    EXPECT_EQ(UnitsToTicks(4200, MODERN_HZ), 35200);  /* 3520.0 us */
    EXPECT_EQ(UnitsToTicks(2100, MODERN_HZ), 17600);  /* 1760.0 us */
    EXPECT_EQ(UnitsToTicks(750, 2300000), 1446);      /* 1445.7: not halved by an integer scale */
    EXPECT_GT(UnitsToTicks(4200, 1000000), 0);        /* slow counters still get windows */
}

/* The one conversion every count goes through (tick_time.h): halves away from zero, and no
   overflow where value x rate would not fit in 64 bits. */
TEST(TickTime, RoundsHalfAwayFromZeroWithWholeSecondsApart)
{
    EXPECT_EQ(ScaleTime(15, 10, 1), 2);
    EXPECT_EQ(ScaleTime(14, 10, 1), 1);
    EXPECT_EQ(ScaleTime(-15, 10, 1), -2);
    EXPECT_EQ(ScaleTime(-14, 10, 1), -1);
    EXPECT_EQ(ScaleTime(2, 3, 1), 1);  /* 0.67 */
    EXPECT_EQ(ScaleTime(1, 3, 1), 0);  /* 0.33 */
    EXPECT_EQ(ScaleTime(9223372036854775807, 10000000, 1000000), 922337203685477581);
    EXPECT_EQ(ScaleTime(4294967295, 1000000, 4294967295), 18446744065120);  /* 4294.967295 s at 4294967295 Hz */
}

TEST(BitThreshold, ExactlyThresholdIsZeroOneTickMoreIsOne)
{
    struct { uint64_t frequency; uint32_t onTicks; uint64_t code; } cases[] = {
        {OLD_TIMER_HZ, 750, 0x1},  {OLD_TIMER_HZ, 751, 0x1FFFFFFFFFFFFull},
        {ACPI_TIMER_HZ, 2250, 0x1}, {ACPI_TIMER_HZ, 2251, 0x1FFFFFFFFFFFFull},
    };
    for (const auto &c : cases) {
        uint32_t scale = c.frequency == OLD_TIMER_HZ ? 1 : 3;
        std::vector<TickPair> pairs{{4300 * scale, 2000 * scale}};
        for (int i = 0; i < 48; i++)
            pairs.push_back({500 * scale, c.onTicks});
        pairs.push_back({500 * scale, 40000 * scale});
        auto frames = DecodeRecording(TickRecording(c.frequency, pairs));
        ASSERT_EQ(frames.size(), 1u) << c.onTicks << " ticks at " << c.frequency;
        EXPECT_EQ(frames[0], c.code) << "data gaps of " << c.onTicks << " ticks at " << c.frequency << " Hz";
    }
}

TEST(FrameLayout, AlternatingLongAndShortGapsGiveTheAlternatingCode)
{
    std::vector<TickPair> pairs{{4300, 2000}};
    for (int i = 0; i < 48; i++)
        pairs.push_back({500, i % 2 == 0 ? 1500u : 500u});
    pairs.push_back({500, 40000});
    EXPECT_EQ(DecodeRecording(TickRecording(OLD_TIMER_HZ, pairs)), std::vector<uint64_t>{0x0001555555555555ull});
}

TEST(FrameLayout, ClosingPauseOfTwoToTheThirtyOneTicksReadsShort)
{
    auto frame = FrameInTicks(OLD_TIMER_HZ, {4300, 2000}, CodeTable[2]);
    frame.back().on = 2147483648u;
    EXPECT_EQ(DecodeRecording(TickRecording(OLD_TIMER_HZ, frame)), std::vector<uint64_t>{CodeTable[2] & ~1ull});
    frame.back().on = 2147483647u;
    EXPECT_EQ(DecodeRecording(TickRecording(OLD_TIMER_HZ, frame)), std::vector<uint64_t>{CodeTable[2]});
}

TEST(FrameLayout, FrameFollowedBySilenceIsNotReturned)
{
    auto frame = FrameInTicks(OLD_TIMER_HZ, {4300, 2000}, CodeTable[3]);
    EXPECT_TRUE(DecodeRecording(TickRecording(OLD_TIMER_HZ, frame, 0)).empty())
        << "the closing pause ends only at the next burst";
}

TEST(FrameLayout, TruncatedFrameTakesTheNextOneWithItThenResynchronises)
{
    auto first = FrameInTicks(OLD_TIMER_HZ, {4300, 2000}, CodeTable[5]);
    first.resize(1 + 20);  /* leader and 20 data pairs, then the sender stops */
    first.back().on = 40000;
    auto second = FrameInTicks(OLD_TIMER_HZ, {4300, 2000}, CodeTable[6]);
    auto third = FrameInTicks(OLD_TIMER_HZ, {4300, 2000}, CodeTable[7]);
    std::vector<TickPair> all = first;
    all.insert(all.end(), second.begin(), second.end());
    all.insert(all.end(), third.begin(), third.end());
    auto frames = DecodeRecording(TickRecording(OLD_TIMER_HZ, all));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_NE(frames[0], CodeTable[6]) << "the cut frame swallows the next one";
    EXPECT_EQ(frames[1], CodeTable[7]) << "the leader search finds the frame after";
}

/* The first burst is measured from the moment of the first call, so idle time before the first
   leader counts towards it. */
TEST(FrameLayout, FirstCallMeasuresFromTheCall)
{
    auto frames = EncodeFrames({CodeTable[8], CodeTable[10]}, IrTiming{}, 1);
    std::string body = ToRecording(frames, "");
    EXPECT_EQ(DecodeRecording("space 1000\n" + body), std::vector<uint64_t>{CodeTable[10]})
        << "a 1 ms idle line before the first leader makes it too long";
    EXPECT_EQ(DecodeRecording("space 60\n" + body), (std::vector<uint64_t>{CodeTable[8], CodeTable[10]}))
        << "60 us of idle still leaves the first leader inside its window";
}

TEST(RoundTrip, EveryTableCodeSurvivesReceiverStretchAndJitterAtSeveralRates)
{
    std::vector<uint64_t> codes(CodeTable, CodeTable + CODE_TABLE_SIZE);
    /* The bundled sample's receiver, both ends of the accepted band (65-135 us of lengthening),
       and jitter eating most of the 36 us left either side of the band's middle. */
    const struct { double stretchUs, jitterUs; } timings[] = {{100, 15}, {70, 0}, {130, 0}, {110, 20}, {100, 30}};
    const uint64_t rates[] = {OLD_TIMER_HZ, ACPI_TIMER_HZ, MODERN_HZ, 2300000, 24000000};
    for (const auto &t : timings) {
        IrTiming timing;
        timing.markStretchUs = t.stretchUs;
        timing.jitterUs = t.jitterUs;
        std::string body = ToRecording(EncodeFrames(codes, timing, 42), "");
        for (uint64_t rate : rates) {
            auto frames = DecodeRecording("frequency " + std::to_string(rate) + "\n" + body);
            EXPECT_EQ(frames, codes) << "stretch " << t.stretchUs << " us, jitter " << t.jitterUs << " us at "
                                     << rate << " Hz";
        }
    }
}

/* The bundled sample (README's example, the demo's input) is the remote's nominal timing as one
   receiver inside the accepted band delivers it: leader bursts and data bursts lengthened alike,
   by an amount the leader windows accept, and the six keys the demo expects. */
TEST(BundledSample, HoldsTheDemosKeysWithLeadersAndDataBurstsLengthenedAlike)
{
    std::ifstream file(SAMPLES_DIR "/remote-keys.ir", std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    ASSERT_FALSE(text.str().empty()) << "cannot read " SAMPLES_DIR "/remote-keys.ir";
    const std::vector<uint64_t> keys = {CodeTable[2], CodeTable[2], CodeTable[4], CodeTable[6], CodeTable[12], CodeTable[11]};
    EXPECT_EQ(DecodeRecording(text.str()), keys);

    const double unitUs = 432;  /* the remote's: leader bursts of 8 units, data bursts of 1 */
    double leaderUs = 0, dataUs = 0;
    int leaders = 0, bursts = 0;
    std::string line;
    for (long us; std::getline(text, line);) {
        if (std::sscanf(line.c_str(), "pulse %ld", &us) != 1)
            continue;
        bool leader = us > 4 * unitUs;
        (leader ? leaderUs : dataUs) += us;
        (leader ? leaders : bursts)++;
    }
    ASSERT_EQ(leaders, 6);
    ASSERT_GT(bursts, 6 * 49);
    const double leaderLengtheningUs = leaderUs / leaders - 8 * unitUs, dataLengtheningUs = dataUs / bursts - unitUs;
    EXPECT_NEAR(leaderLengtheningUs, dataLengtheningUs, 10) << "leader bursts and data bursts lengthened differently";
    /* The band: the leader burst must pass the window's lower bound, its gap (shortened by as
       much) the gap window's lower bound. */
    const double perUnit = 1e6 / TIMER_UNITS_PER_SECOND;
    EXPECT_GT(dataLengtheningUs, LEADER_OFF_MIN_UNITS * perUnit - 8 * unitUs);
    EXPECT_LT(dataLengtheningUs, 4 * unitUs - LEADER_ON_MIN_UNITS * perUnit);
}

}  // namespace
