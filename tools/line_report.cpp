/*
 * ir-monitor's report; see line_report.h.  Lines are built whole in a local buffer and written
 * with one call, so a summary printed on Ctrl+C by another thread cannot split one.
 */
#include "line_report.h"

#include "../receiver/code_table.h"
#include "histogram.h"
#include "raw_capture.h"
#include "tick_time.h"

enum { REPORT_LINE_SIZE = 240, MILLISECONDS_PER_SECOND = 1000 };

/* The decoder's limits in ticks at the line's rate; each is excluded from its window. */
typedef struct DecoderLimits {
    LONGLONG leaderBurstMin, leaderBurstMax;
    LONGLONG leaderGapMin, leaderGapMax;
    LONGLONG bitThreshold;  /* a longer gap is a 1 */
} DecoderLimits;

typedef struct ReportLine {
    char text[REPORT_LINE_SIZE];
    int length;
} ReportLine;

/* All written by the thread that reads the line. */
static LONGLONG lineFrequency;
static BOOL rawCapture;
static DecoderLimits limits;
static DWORD leaderLikePairs;
static DWORD nearMisses;
static DWORD nearMissesShown;
static DWORD framesDecoded;
static DWORD framesMatching;
static LONGLONG lastNearMissShown;  /* its stamp; valid once nearMissesShown > 0 */
static Histogram burstLengths;
static Histogram gapLengths;

/* Adds formatted text to `line`, cut where the line is full. */
static void Append(ReportLine *line, const char *format, ...)
{
    char text[FORMATTED_TEXT_SIZE];
    va_list arguments;
    va_start(arguments, format);
    wvsprintfA(text, format, arguments);
    va_end(arguments);
    for (const char *p = text; *p != '\0' && line->length < REPORT_LINE_SIZE - 1; p++)
        line->text[line->length++] = *p;
    line->text[line->length] = '\0';
}

static void WriteLine(ReportLine *line)
{
    Append(line, "\n");
    PutText(line->text);
}

/* A figure as text: a 64-bit number, signed, in whole microseconds or in tenths of one. */
typedef struct Figure {
    char text[TIME_TEXT_SIZE];
} Figure;

/* `ticks` in the unit a line shows: whole microseconds, or with `tenths` tenths of one. */
static LONGLONG InUnit(LONGLONG ticks, BOOL tenths)
{
    return ScaleTime(ticks, lineFrequency, tenths ? TENTHS_OF_US_PER_SECOND : MICROSECONDS_PER_SECOND);
}

static Figure UnitText(LONGLONG value, BOOL tenths)
{
    Figure figure;
    if (tenths) {
        FormatTenths(value, figure.text);
    } else {
        figure.text[0] = '-';
        FormatUnsigned64(value < 0 ? 0 - (ULONGLONG)value : (ULONGLONG)value, 10, 1, figure.text + (value < 0));
    }
    return figure;
}

static Figure Us(LONGLONG ticks) { return UnitText(InUnit(ticks, FALSE), FALSE); }
static Figure Tenths(LONGLONG ticks) { return UnitText(InUnit(ticks, TRUE), TRUE); }

/* Within NEAR_MISS_PERCENT of the window: no further below `min` or above `max` than that. */
static BOOL IsNear(LONGLONG ticks, LONGLONG min, LONGLONG max)
{
    return ticks * 100 >= min * (100 - NEAR_MISS_PERCENT) && ticks * 100 <= max * (100 + NEAR_MISS_PERCENT);
}

static BOOL IsNearLeader(LONGLONG burst, LONGLONG gap)
{
    return IsNear(burst, limits.leaderBurstMin, limits.leaderBurstMax) &&
           IsNear(gap, limits.leaderGapMin, limits.leaderGapMax);
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
        Append(line, "%s%s %s us %s %s us", separator, what, UnitText(miss, tenths).text,
               ticks <= min ? "below" : "above", UnitText(bound, tenths).text);
    else
        Append(line, "%s%s on the bound %s us, which is excluded", separator, what, UnitText(bound, tenths).text);
}

/* "burst 50 us above 3520 us": the distance to the nearer bound of a window it lies in, as the
   difference of the figures shown. */
static void AppendNearestBound(ReportLine *line, const char *what, LONGLONG ticks, LONGLONG min, LONGLONG max)
{
    LONGLONG shown = InUnit(ticks, FALSE);
    if (ticks - min <= max - ticks)
        Append(line, "%s %s us above %s us", what, UnitText(shown - InUnit(min, FALSE), FALSE).text, Us(min).text);
    else
        Append(line, "%s %s us below %s us", what, UnitText(InUnit(max, FALSE) - shown, FALSE).text, Us(max).text);
}

static void ShowNearMiss(LONGLONG burst, LONGLONG gap)
{
    BOOL burstInTenths = !WholeShowsMiss(burst, limits.leaderBurstMin, limits.leaderBurstMax);
    BOOL gapInTenths = !WholeShowsMiss(gap, limits.leaderGapMin, limits.leaderGapMax);
    ReportLine line = {"", 0};
    Append(&line, "# near leader %s/%s us:", UnitText(InUnit(burst, burstInTenths), burstInTenths).text,
           UnitText(InUnit(gap, gapInTenths), gapInTenths).text);
    AppendMiss(&line, "burst", burst, limits.leaderBurstMin, limits.leaderBurstMax, burstInTenths);
    AppendMiss(&line, "gap", gap, limits.leaderGapMin, limits.leaderGapMax, gapInTenths);
    WriteLine(&line);
    FlushOutput();
}

static BOOL IsNearMissDue(LONGLONG stamp)
{
    LONGLONG spacing = lineFrequency * NEAR_MISS_INTERVAL_MS / MILLISECONDS_PER_SECOND;
    return nearMissesShown == 0 || stamp - lastNearMissShown >= spacing;
}

/* A gap has ended: the burst before it and the gap, as the decoder measured them. */
static void CheckPair(const TappedChange *gapEnd)
{
    const TappedChange *burstEnd = RecentChange(1);
    if (burstEnd == NULL)
        return;
    PulsePair pair = {burstEnd->decoderTicks, gapEnd->decoderTicks};
    LONGLONG burst = pair.offTicks;
    LONGLONG gap = pair.onTicks;
    if (IsLeader(&pair, lineFrequency)) {
        leaderLikePairs++;
    } else if (IsNearLeader(burst, gap)) {
        nearMisses++;
        if (IsNearMissDue(gapEnd->stamp)) {
            nearMissesShown++;
            lastNearMissShown = gapEnd->stamp;
            ShowNearMiss(burst, gap);
        }
    }
}

/* The first change: the receiver is wired and powered, whatever it goes on to send. */
static void SayLineIsAlive(const TappedChange *change)
{
    char ms[NUMBER_TEXT_SIZE];
    LONGLONG us = InUnit(change->stamp - TapStartStamp(), FALSE);
    PutFormatted("# the receiver line is alive: its first change came %s ms after the start\n",
                 FormatUnsigned64(us > 0 ? (ULONGLONG)us / 1000 : 0, 10, 1, ms));
    FlushOutput();
}

void ReportChange(const TappedChange *change)
{
    if (TappedChangeCount() == 1)
        SayLineIsAlive(change);
    if (rawCapture)
        CaptureChange(change);
    /* The first change ends an interval whose start was not seen. */
    if (TappedChangeCount() > 1)
        AddToHistogram(change->on ? &burstLengths : &gapLengths, InUnit(change->ticks, FALSE));
    if (change->on)
        return;
    CheckPair(change);
    if (change->ticks >= lineFrequency * QUIET_BEFORE_FLUSH_MS / MILLISECONDS_PER_SECOND)
        FlushOutput();
}

static void WriteFrameLine(FrameCode code, const CommandNumber *commands, int found)
{
    char hex[NUMBER_TEXT_SIZE];
    ReportLine line = {"", 0};
    if (rawCapture)
        Append(&line, "# frame ");
    Append(&line, "0x%s", FormatUnsigned64(code, 16, 16, hex));
    if (found == 0)
        Append(&line, " -");
    for (int i = 0; i < found; i++)
        Append(&line, " %u", commands[i]);
    WriteLine(&line);
}

static void WriteLeaderLine(void)
{
    LONGLONG burst = RecentChange(2 * FRAME_DATA_PAIRS + 1)->decoderTicks;
    LONGLONG gap = RecentChange(2 * FRAME_DATA_PAIRS)->decoderTicks;
    ReportLine line = {"", 0};
    Append(&line, "# leader %s/%s us: ", Us(burst).text, Us(gap).text);
    AppendNearestBound(&line, "burst", burst, limits.leaderBurstMin, limits.leaderBurstMax);
    Append(&line, ", ");
    AppendNearestBound(&line, "gap", gap, limits.leaderGapMin, limits.leaderGapMax);
    WriteLine(&line);
}

/* The 48 data gaps against the threshold (the closing pause is not one of them), and the range
   of the 49 data bursts. */
static void WriteBitsLine(void)
{
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
        if (gap > limits.bitThreshold && (shortestOne < 0 || gap < shortestOne))
            shortestOne = gap;
        if (gap <= limits.bitThreshold && gap > longestZero)
            longestZero = gap;
    }
    ReportLine line = {"", 0};
    if (longestZero >= 0)
        Append(&line, "# bits: longest 0-gap %s us", Us(longestZero).text);
    else
        Append(&line, "# bits: no 0-gap");
    if (shortestOne >= 0)
        Append(&line, ", shortest 1-gap %s us", Us(shortestOne).text);
    else
        Append(&line, ", no 1-gap");
    Append(&line, ", threshold %s us; data bursts %s-%s us", Tenths(limits.bitThreshold).text, Us(shortestBurst).text,
           Us(longestBurst).text);
    WriteLine(&line);
}

void ReportFrame(FrameCode code)
{
    CommandNumber commands[CODE_TABLE_SIZE];
    int found = FindCommands(code, commands);
    framesDecoded++;
    if (found > 0)
        framesMatching++;
    WriteFrameLine(code, commands, found);
    WriteLeaderLine();
    WriteBitsLine();
    FlushOutput();
}

static void WriteLimitsLine(void)
{
    char rate[NUMBER_TEXT_SIZE];
    ReportLine line = {"", 0};
    Append(&line, "# counter %s Hz: a leader is a burst of %s-%s us and a gap of %s-%s us (bounds excluded);"
                  " a data gap over %s us reads 1",
           FormatUnsigned64((ULONGLONG)lineFrequency, 10, 1, rate), Tenths(limits.leaderBurstMin).text,
           Tenths(limits.leaderBurstMax).text, Tenths(limits.leaderGapMin).text, Tenths(limits.leaderGapMax).text,
           Tenths(limits.bitThreshold).text);
    WriteLine(&line);
}

void WriteReportHeader(void)
{
    if (rawCapture)
        StartCapture(lineFrequency);
    WriteLimitsLine();
    FlushOutput();
}

void StartReport(LONGLONG frequency, BOOL raw)
{
    lineFrequency = frequency;
    rawCapture = raw;
    limits.leaderBurstMin = UnitsToTicks(LEADER_OFF_MIN_UNITS, frequency);
    limits.leaderBurstMax = UnitsToTicks(LEADER_OFF_MAX_UNITS, frequency);
    limits.leaderGapMin = UnitsToTicks(LEADER_ON_MIN_UNITS, frequency);
    limits.leaderGapMax = UnitsToTicks(LEADER_ON_MAX_UNITS, frequency);
    limits.bitThreshold = UnitsToTicks(BIT_ONE_MIN_UNITS, frequency);
    leaderLikePairs = nearMisses = nearMissesShown = framesDecoded = framesMatching = 0;
    ClearHistogram(&burstLengths);
    ClearHistogram(&gapLengths);
}

static void SetMarker(HistogramMarker *marker, LONGLONG ticks, const char *meaning)
{
    marker->tenthsOfUs = InUnit(ticks, TRUE);
    marker->meaning = meaning;
}

void ReportSummary(void)
{
    ReportLine line = {"", 0};
    Append(&line, "# summary: %lu line changes, %lu leader-like pairs, %lu near misses (%lu shown), %lu frames decoded,"
                  " %lu matching the table",
           (unsigned long)TappedChangeCount(), (unsigned long)leaderLikePairs, (unsigned long)nearMisses,
           (unsigned long)nearMissesShown, (unsigned long)framesDecoded, (unsigned long)framesMatching);
    WriteLine(&line);

    HistogramMarker burstMarkers[2], gapMarkers[3];
    SetMarker(&burstMarkers[0], limits.leaderBurstMin, "leader bursts start above this");
    SetMarker(&burstMarkers[1], limits.leaderBurstMax, "leader bursts end below this");
    SetMarker(&gapMarkers[0], limits.bitThreshold, "bit threshold: longer gaps read 1");
    SetMarker(&gapMarkers[1], limits.leaderGapMin, "leader gaps start above this");
    SetMarker(&gapMarkers[2], limits.leaderGapMax, "leader gaps end below this");
    PrintHistogram(&burstLengths, "burst lengths (line off)", burstMarkers, 2);
    PrintHistogram(&gapLengths, "gap lengths (line on)", gapMarkers, 3);
    FlushOutput();
}
