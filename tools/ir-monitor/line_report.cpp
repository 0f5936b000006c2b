/*
 * What ir-monitor says about the receiver line, beside the frame lines it has always printed:
 * where each decoded frame lies against the decoder's limits, pairs that just miss the leader
 * windows, and at the end a summary with histograms of burst and gap lengths.  Every line but
 * the frame line itself begins with '#', so `grep -v '^#'` gives the frames alone.  With --raw
 * it also writes the capture, the line as a recording.  Here are the entry points the session
 * calls and the lines about frames and near misses; a '#' line is built in report_line.cpp, the
 * histograms, the capture and the verdict are rooms of their own (report.h).
 *
 * The limits are the decoder's own at the line's counter rate (its units converted to ticks as
 * it converts them), shown in microseconds.  Figures about pairs use the ticks the decoder took
 * for them (line_tap.cpp); the histograms and the capture use the time between changes.
 *
 * The first change of the line gets a line of its own at once, so the wiring can be confirmed
 * before any frame decodes.  Output is flushed after the header, after a frame, after a near
 * miss and where a burst begins after at least 20 ms of quiet line; the writer thread
 * (report_stream.h) does the writing, and writes whatever is left at least every 250 ms, so no line
 * waits longer than that.  Where there is no writer thread the flushes happen on the reading
 * thread, at moments when writing cannot fall between two close edges (after a frame, the next
 * frame's leader burst has just begun).
 *
 * The decoder reads every interval as a signed 32-bit count of ticks, so one of 2^31 ticks or
 * more (about 215 s at 10 MHz) reads as something else: up to 2^32 ticks as a negative length,
 * that is a short one, and beyond as what is left over a multiple of 2^32.  The program does the
 * same and stays so; the report, which has each interval's 64-bit length, says where a figure or
 * a frame rests on such a reading, so that the last key before a long silence does not pass for
 * another remote.
 */
#include "report.h"

#include "../../receiver/code_table.h"

#include <string.h>

enum {
    NEAR_MISS_PERCENT = 20,        /* how far outside a window a near miss may lie */
    NEAR_MISS_INTERVAL_MS = 100,   /* at most one near miss shown per this much line time */
    QUIET_BEFORE_FLUSH_MS = 20,    /* a burst after this long a gap is a safe moment to write */
    TENTHS_PER_SECOND = 10
};

/* What the entry points keep.  The thread that reads the line writes all of it; the thread that
   stops the tool on Ctrl+C may print the summary, but only once it holds the session's lock. */
static struct Report {
    LONGLONG frequency;          /* the line's counter rate */
    BOOL raw;                    /* a capture too, and frame lines as '#' lines */
    DecoderLimits limits;
    DWORD leaderLikePairs, nearMisses, nearMissesShown, framesDecoded, framesMatching;
    LONGLONG lastNearMissShown;  /* its stamp; valid once nearMissesShown > 0 */
    BOOL firstPairSeen;
    LONGLONG firstPairGapEnd;    /* its stamp: that pair's burst was timed from the start */
} report;

BOOL IsNear(LONGLONG ticks, LONGLONG min, LONGLONG max)
{
    return ticks * 100 >= min * (100 - NEAR_MISS_PERCENT) && ticks * 100 <= max * (100 + NEAR_MISS_PERCENT);
}

static BOOL IsNearLeader(LONGLONG burst, LONGLONG gap)
{
    return IsNear(burst, report.limits.leaderBurstMin, report.limits.leaderBurstMax) &&
           IsNear(gap, report.limits.leaderGapMin, report.limits.leaderGapMax);
}

/* Whether whole microseconds show `ticks` on the side of the bound it misses: rounding puts a
   figure that misses by less than half a microsecond on the bound itself, so such a figure is
   shown in tenths. */
static BOOL WholeShowsMiss(LONGLONG ticks, LONGLONG min, LONGLONG max)
{
    if (ticks <= min)
        return InUnit(ticks, FALSE) < InUnit(min, FALSE);
    if (ticks >= max)
        return InUnit(ticks, FALSE) > InUnit(max, FALSE);
    return TRUE;
}

/* "burst 30 us below 3520 us" when `ticks` misses its window, after a ':' or a ", ".  The miss is
   the difference of the figures shown, so the words always agree with them; "on the bound" is a
   figure that is the excluded bound itself at the precision shown. */
static void AppendMiss(ReportLine *line, const char *what, LONGLONG ticks, LONGLONG min, LONGLONG max, BOOL tenths)
{
    const char *separator = line->text[line->length - 1] == ':' ? " " : ", ";
    LONGLONG shown = InUnit(ticks, tenths);
    if (ticks > min && ticks < max)
        return;
    LONGLONG bound = InUnit(ticks <= min ? min : max, tenths);
    LONGLONG miss = ticks <= min ? bound - shown : shown - bound;
    if (miss > 0)
        AppendPhrase(line, "%s%s %s us %s %s us", separator, what, UnitText(miss, tenths).text,
               ticks <= min ? "below" : "above", UnitText(bound, tenths).text);
    else
        AppendPhrase(line, "%s%s on the bound %s us, which is excluded", separator, what,
                     UnitText(bound, tenths).text);
}

/* " burst 50 us above 3520 us", after `separator`: the distance to the nearer bound of a window
   it lies in, as the difference of the figures shown. */
static void AppendNearestBound(ReportLine *line, const char *separator, const char *what, LONGLONG ticks,
                               LONGLONG min, LONGLONG max)
{
    LONGLONG shown = InUnit(ticks, FALSE);
    if (ticks - min <= max - ticks)
        AppendPhrase(line, "%s %s %s us above %s us", separator, what, UnitText(shown - InUnit(min, FALSE), FALSE).text,
                     Us(min).text);
    else
        AppendPhrase(line, "%s %s %s us below %s us", separator, what, UnitText(InUnit(max, FALSE) - shown, FALSE).text,
                     Us(max).text);
}

/* Whether the decoder read `change` as something other than its length: it lasted 2^31 ticks
   or more, and the decoder's signed 32-bit difference wrapped. */
static BOOL ReadingWrapped(const TappedChange *change)
{
    return (LONGLONG)change->decoderTicks != change->decoderSpan;
}

/* Seconds in tenths, as "240.0". */
static Figure Seconds(LONGLONG ticks)
{
    return UnitText(ScaleTime(ticks, report.frequency, TENTHS_PER_SECOND), TRUE);
}

/* "# the closing pause lasted 240.0 s, longer than the decoder can measure (up to 214.7 s), so
   it read as short: bit 0 is 0", if the decoder's reading of `change` wrapped.  `role` names the
   interval; `bit` is the frame bit it gives, or -1 for none. */
static void WriteWrapNote(const TappedChange *change, const char *role, int bit)
{
    if (change == NULL || !ReadingWrapped(change))
        return;
    ReportLine line = {"", 0, 0};
    Append(&line, "# the %s lasted %s s", role, Seconds(change->decoderSpan).text);
    AppendPhrase(&line, ", longer than the decoder can measure");
    AppendPhrase(&line, " (up to %s s)", Seconds(0x7FFFFFFF).text);
    if (change->decoderTicks < 0)
        AppendPhrase(&line, ", so it read as short");
    else
        AppendPhrase(&line, ", so it read as %s us", Us(change->decoderTicks).text);
    if (bit >= 0)
        AppendPhrase(&line, ": bit %d is %d", bit, change->decoderTicks > report.limits.bitThreshold ? 1 : 0);
    WriteLine(&line);
}

/* ", lengthens by about 100 us": what a leader-like pair says of the receiver, so that a key
   held while the stage is trimmed shows the figure frame by frame; nothing for the first pair,
   whose burst the decoder timed from the start. */
static void AppendLengthening(ReportLine *line, LONGLONG burst, const TappedChange *gapEnd)
{
    if (gapEnd->stamp == report.firstPairGapEnd)
        AppendPhrase(line, ", its burst timed from the start");
    else
        AppendPhrase(line, ", lengthens by about %s us", UnitText(PairLengtheningUs(burst, gapEnd->decoderTicks), FALSE).text);
}

static void ShowNearMiss(const TappedChange *burstEnd, const TappedChange *gapEnd)
{
    LONGLONG burst = burstEnd->decoderTicks;
    LONGLONG gap = gapEnd->decoderTicks;
    const DecoderLimits *limits = &report.limits;
    BOOL burstInTenths = !WholeShowsMiss(burst, limits->leaderBurstMin, limits->leaderBurstMax);
    BOOL gapInTenths = !WholeShowsMiss(gap, limits->leaderGapMin, limits->leaderGapMax);
    ReportLine line = {"", 0, 0};
    Append(&line, "# near leader %s/%s us:", UnitText(InUnit(burst, burstInTenths), burstInTenths).text,
           UnitText(InUnit(gap, gapInTenths), gapInTenths).text);
    AppendMiss(&line, "burst", burst, limits->leaderBurstMin, limits->leaderBurstMax, burstInTenths);
    AppendMiss(&line, "gap", gap, limits->leaderGapMin, limits->leaderGapMax, gapInTenths);
    AppendLengthening(&line, burst, gapEnd);
    WriteLine(&line);
    WriteWrapNote(burstEnd, "burst", -1);
    WriteWrapNote(gapEnd, "gap", -1);
    FlushOutput();
}

static BOOL IsNearMissDue(LONGLONG stamp)
{
    LONGLONG spacing = report.frequency * NEAR_MISS_INTERVAL_MS / MILLISECONDS_PER_SECOND;
    return report.nearMissesShown == 0 || stamp - report.lastNearMissShown >= spacing;
}

/* A gap has ended: the burst before it and the gap, as the decoder measured them. */
static void CheckPair(const TappedChange *gapEnd)
{
    const TappedChange *burstEnd = RecentChange(1);
    if (burstEnd == NULL)
        return;
    PulsePair pair = {burstEnd->decoderTicks, gapEnd->decoderTicks};
    if (!report.firstPairSeen) {
        report.firstPairSeen = TRUE;
        report.firstPairGapEnd = gapEnd->stamp;
    }
    BOOL leader = IsLeader(&pair, report.frequency);
    BOOL nearMiss = !leader && IsNearLeader(pair.offTicks, pair.onTicks);
    NoteVerdictPair(burstEnd, gapEnd, leader, nearMiss);
    if (leader) {
        report.leaderLikePairs++;
    } else if (nearMiss) {
        report.nearMisses++;
        if (IsNearMissDue(gapEnd->stamp)) {
            report.nearMissesShown++;
            report.lastNearMissShown = gapEnd->stamp;
            ShowNearMiss(burstEnd, gapEnd);
        }
    }
}

/* The first change: the receiver is wired and powered, whatever it goes on to send. */
static void SayLineIsAlive(const TappedChange *change)
{
    char ms[NUMBER_TEXT_SIZE];
    LONGLONG us = InUnit(change->stamp - TapStartStamp(), FALSE);
    ReportLine line = {"", 0, 0};
    Append(&line, "# the receiver line is alive:");
    AppendPhrase(&line, " its first change came %s ms after the start",
                 FormatUnsigned64(us > 0 ? (ULONGLONG)us / 1000 : 0, 10, 1, ms));
    WriteLine(&line);
    FlushOutput();
}

void ReportChange(const TappedChange *change)
{
    if (TappedChangeCount() == 1)
        SayLineIsAlive(change);
    if (report.raw)
        CaptureChange(change);
    /* The first change ends an interval whose start was not seen. */
    if (TappedChangeCount() > 1)
        AddToHistograms(change->on, InUnit(change->ticks, FALSE));
    if (change->on)
        return;
    CheckPair(change);
    if (change->ticks >= report.frequency * QUIET_BEFORE_FLUSH_MS / MILLISECONDS_PER_SECOND)
        FlushOutput();
}

static void WriteFrameLine(FrameCode code, const CommandNumber *commands, int found)
{
    char hex[NUMBER_TEXT_SIZE];
    ReportLine line = {"", 0, 0};
    if (report.raw)
        Append(&line, "# frame ");
    Append(&line, "0x%s", FormatUnsigned64(code, 16, 16, hex));
    if (found == 0)
        Append(&line, " -");
    for (int i = 0; i < found; i++)
        Append(&line, " %u", commands[i]);
    WriteLine(&line);
}

/* A note for each interval of the frame just read whose reading wrapped, in the frame's order:
   the leader's two, then each data pair's burst and gap (the gap gives the pair's bit). */
static void WriteFrameWrapNotes(void)
{
    char role[32];
    WriteWrapNote(RecentChange(2 * FRAME_DATA_PAIRS + 1), "leader burst", -1);
    WriteWrapNote(RecentChange(2 * FRAME_DATA_PAIRS), "leader gap", -1);
    for (int pair = 0; pair < FRAME_DATA_PAIRS; pair++) {
        int back = 2 * (FRAME_DATA_PAIRS - 1 - pair);
        BOOL closing = pair == FRAME_DATA_PAIRS - 1;
        wsprintfA(role, closing ? "closing burst" : "data burst %d", pair + 1);
        WriteWrapNote(RecentChange(back + 1), role, -1);
        wsprintfA(role, closing ? "closing pause" : "data gap %d", pair + 1);
        WriteWrapNote(RecentChange(back), role, FRAME_DATA_PAIRS - 1 - pair);
    }
}

static void WriteLeaderLine(void)
{
    const DecoderLimits *limits = &report.limits;
    LONGLONG burst = RecentChange(2 * FRAME_DATA_PAIRS + 1)->decoderTicks;
    const TappedChange *gapEnd = RecentChange(2 * FRAME_DATA_PAIRS);
    LONGLONG gap = gapEnd->decoderTicks;
    ReportLine line = {"", 0, 0};
    Append(&line, "# leader %s/%s us", Us(burst).text, Us(gap).text);
    AppendNearestBound(&line, ":", "burst", burst, limits->leaderBurstMin, limits->leaderBurstMax);
    AppendNearestBound(&line, ",", "gap", gap, limits->leaderGapMin, limits->leaderGapMax);
    AppendLengthening(&line, burst, gapEnd);
    WriteLine(&line);
}

/* The 48 data gaps against the threshold (the closing pause is not one of them), and the range
   of the 49 data bursts. */
static void WriteBitsLine(void)
{
    LONGLONG threshold = report.limits.bitThreshold;
    LONGLONG longestZero = -1, shortestOne = -1, shortestBurst = -1, longestBurst = -1;
    for (int pair = 0; pair < FRAME_DATA_PAIRS; pair++) {
        int back = 2 * (FRAME_DATA_PAIRS - 1 - pair);
        LONGLONG gap = RecentChange(back)->decoderTicks;
        LONGLONG burst = RecentChange(back + 1)->decoderTicks;
        if (shortestBurst < 0 || burst < shortestBurst)
            shortestBurst = burst;
        if (burst > longestBurst)
            longestBurst = burst;
        if (pair == FRAME_DATA_PAIRS - 1)
            break;
        if (gap > threshold && (shortestOne < 0 || gap < shortestOne))
            shortestOne = gap;
        if (gap <= threshold && gap > longestZero)
            longestZero = gap;
    }
    ReportLine line = {"", 0, 0};
    Append(&line, "# bits:");
    if (longestZero >= 0)
        AppendPhrase(&line, " longest 0-gap %s us", Us(longestZero).text);
    else
        AppendPhrase(&line, " no 0-gap");
    if (shortestOne >= 0)
        AppendPhrase(&line, ", shortest 1-gap %s us", Us(shortestOne).text);
    else
        AppendPhrase(&line, ", no 1-gap");
    AppendPhrase(&line, ", threshold %s us;", Tenths(threshold).text);
    AppendPhrase(&line, " data bursts %s-%s us", Us(shortestBurst).text, Us(longestBurst).text);
    WriteLine(&line);
}

void ReportFrame(FrameCode code)
{
    CommandNumber commands[CODE_TABLE_SIZE];
    int found = FindCommands(code, commands);
    report.framesDecoded++;
    if (found > 0)
        report.framesMatching++;
    NoteVerdictFrame(RecentChange(2 * FRAME_DATA_PAIRS), found > 0);
    WriteFrameLine(code, commands, found);
    WriteFrameWrapNotes();
    WriteLeaderLine();
    WriteBitsLine();
    FlushOutput();
}

static void WriteLimitsLine(void)
{
    const DecoderLimits *limits = &report.limits;
    char rate[NUMBER_TEXT_SIZE];
    ReportLine line = {"", 0, 0};
    Append(&line, "# counter %s Hz:", FormatUnsigned64((ULONGLONG)report.frequency, 10, 1, rate));
    AppendPhrase(&line, " a leader is a burst of %s-%s us", Tenths(limits->leaderBurstMin).text,
                 Tenths(limits->leaderBurstMax).text);
    AppendPhrase(&line, " and a gap");
    AppendPhrase(&line, " of %s-%s us", Tenths(limits->leaderGapMin).text, Tenths(limits->leaderGapMax).text);
    AppendPhrase(&line, " (bounds excluded);");
    AppendPhrase(&line, " a data gap over %s us reads 1", Tenths(limits->bitThreshold).text);
    WriteLine(&line);
}

void WriteReportHeader(void)
{
    if (report.raw)
        WriteCaptureHeader();
    WriteLimitsLine();
    FlushOutput();
}

void StartReport(LONGLONG frequency, BOOL raw)
{
    memset(&report, 0, sizeof report);
    report.frequency = frequency;
    report.raw = raw;
    report.limits.leaderBurstMin = UnitsToTicks(LEADER_OFF_MIN_UNITS, frequency);
    report.limits.leaderBurstMax = UnitsToTicks(LEADER_OFF_MAX_UNITS, frequency);
    report.limits.leaderGapMin = UnitsToTicks(LEADER_ON_MIN_UNITS, frequency);
    report.limits.leaderGapMax = UnitsToTicks(LEADER_ON_MAX_UNITS, frequency);
    report.limits.bitThreshold = UnitsToTicks(BIT_ONE_MIN_UNITS, frequency);
    StartFigures(frequency);
    StartHistograms();
    StartCapture(frequency);
    StartVerdict(frequency, &report.limits);
}

void ReportSummary(LONGLONG counterNow)
{
    EndCapture(counterNow);
    ReportLine line = {"", 0, 0};
    Append(&line, "# summary:");
    AppendPhrase(&line, " %lu line changes", (unsigned long)TappedChangeCount());
    AppendPhrase(&line, ", %lu leader-like pairs", (unsigned long)report.leaderLikePairs);
    AppendPhrase(&line, ", %lu near misses (%lu shown)", (unsigned long)report.nearMisses,
                 (unsigned long)report.nearMissesShown);
    AppendPhrase(&line, ", %lu frames decoded", (unsigned long)report.framesDecoded);
    AppendPhrase(&line, ", %lu matching the table", (unsigned long)report.framesMatching);
    WriteLine(&line);

    PrintHistograms(&report.limits);
    WriteVerdict();
    FlushOutput();
}
