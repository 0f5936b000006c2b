/*
 * What ir-monitor says about the receiver line, beside the frame lines it has always printed:
 * where each decoded frame lies against the decoder's limits, pairs that just miss the leader
 * windows, and at the end a summary with histograms of burst and gap lengths.  Every line but
 * the frame line itself begins with '#', so `grep -v '^#'` gives the frames alone.  With --raw
 * it also writes the capture, the line as a recording.
 *
 * The limits are the decoder's own at the line's counter rate (its units converted to ticks as
 * it converts them), shown in microseconds.  Figures about pairs use the ticks the decoder took
 * for them (line_tap.cpp); the histograms and the capture use the time between changes.
 *
 * The first change of the line gets a line of its own at once, so the wiring can be confirmed
 * before any frame decodes.  Output is flushed after the header, after a frame, after a near
 * miss and where a burst begins after at least 20 ms of quiet line; the writer thread
 * (text_output.h) does the writing, and writes whatever is left at least every 250 ms, so no line
 * waits longer than that.  Where there is no writer thread the flushes happen on the reading
 * thread, at moments when writing cannot fall between two close edges (after a frame, the next
 * frame's leader burst has just begun).
 *
 * Lines are built whole in a local buffer and written with one call, so a summary printed on
 * Ctrl+C by another thread cannot split one.  No line is wider than an 80-column console can
 * show (Windows 9x consoles, and cmd's default window): a line that would be is broken between
 * two of its phrases and goes on on a '#' line, never inside a figure.
 *
 * The decoder reads every interval as a signed 32-bit count of ticks, so one of 2^31 ticks or
 * more (about 215 s at 10 MHz) reads as something else: up to 2^32 ticks as a negative length,
 * that is a short one, and beyond as what is left over a multiple of 2^32.  The program does the
 * same and stays so; the report, which has each interval's 64-bit length, says where a figure or
 * a frame rests on such a reading, so that the last key before a long silence does not pass for
 * another remote.
 */
#include "ir_monitor.h"

#include "../../common/format_text.h"
#include "../../receiver/code_table.h"
#include "../../receiver/recording_format.h"

#include <string.h>

enum {
    NEAR_MISS_PERCENT = 20,        /* how far outside a window a near miss may lie */
    NEAR_MISS_INTERVAL_MS = 100,   /* at most one near miss shown per this much line time */
    QUIET_BEFORE_FLUSH_MS = 20,    /* a burst after this long a gap is a safe moment to write */
    /* An 80-column console moves to a new line by itself after the 80th column, so a line of 80
       and its line end would show an empty line after it. */
    OUTPUT_COLUMNS_MAX = 79,
    REPORT_LINE_SIZE = 1024,       /* one report line, with its continuations (the verdict's too) */
    MILLISECONDS_PER_SECOND = 1000,
    TENTHS_PER_SECOND = 10,
    TIME_TEXT_SIZE = NUMBER_TEXT_SIZE + 2,
    /* The histograms' bins (see histogramScales), and the last one from HISTOGRAM_TOP_US up. */
    FINE_BIN_US = 50,
    MEDIUM_BINS_FROM_US = 5000,
    MEDIUM_BIN_US = 1000,
    COARSE_BINS_FROM_US = 20000,
    COARSE_BIN_US = 10000,
    HISTOGRAM_TOP_US = 100000,
    HISTOGRAM_BINS = MEDIUM_BINS_FROM_US / FINE_BIN_US + (COARSE_BINS_FROM_US - MEDIUM_BINS_FROM_US) / MEDIUM_BIN_US +
                     (HISTOGRAM_TOP_US - COARSE_BINS_FROM_US) / COARSE_BIN_US + 1,
    HISTOGRAM_BAR_WIDTH = 40,
    /* The verdict's rules (see "The verdict" below). */
    POWER_UP_MS = 2000,                 /* changes this soon after the start may be the power-up */
    FLICKER_HALF_CYCLE_100_HZ_US = 10000,
    FLICKER_HALF_CYCLE_120_HZ_US = 8333,
    FLICKER_TOLERANCE_PERCENT = 8,      /* the two windows stay apart, and a lamp's jitter fits */
    FLICKER_PAIRS_MIN = 10,
    FOREIGN_BURST_MIN_US = 2000,        /* longer than any data burst, shorter than a pause */
    FOREIGN_BURST_MAX_US = 12000,
    FOREIGN_GAP_MAX_US = 12000,
    FOREIGN_BIN_US = 500,
    FOREIGN_BINS = (FOREIGN_BURST_MAX_US - FOREIGN_BURST_MIN_US) / FOREIGN_BIN_US,
    FOREIGN_LEADERS_MIN = 2,
    /* The remote's leader in its own units: a burst of 8, a gap of 4; a 1-gap is 3 units. */
    LEADER_BURST_UNITS = 8,
    LEADER_GAP_UNITS = 4,
    LEADER_UNITS = LEADER_BURST_UNITS + LEADER_GAP_UNITS,
    ONE_GAP_UNITS = 3,
    TENTHS_PER_US = 10
};

/* How a report line that is broken goes on. */
static const char CONTINUATION[] = "#   ";

/* The decoder's limits in ticks at the line's rate; each is excluded from its window. */
typedef struct DecoderLimits {
    LONGLONG leaderBurstMin, leaderBurstMax;
    LONGLONG leaderGapMin, leaderGapMax;
    LONGLONG bitThreshold;  /* a longer gap is a 1 */
} DecoderLimits;

typedef struct Histogram {
    DWORD bins[HISTOGRAM_BINS];
} Histogram;

/* Everything the report keeps.  The thread that reads the line writes all of it; the thread
   that stops the tool on Ctrl+C may print the summary, which reads the counts and histograms and
   ends the capture, but only once it holds the session's lock. */
static struct Report {
    LONGLONG frequency;          /* the line's counter rate */
    BOOL raw;                    /* a capture too, and frame lines as '#' lines */
    DecoderLimits limits;
    DWORD leaderLikePairs, nearMisses, nearMissesShown, framesDecoded, framesMatching;
    LONGLONG lastNearMissShown;  /* its stamp; valid once nearMissesShown > 0 */
    /* What the verdict rests on: the pairs after the first, which the decoder measured from the
       start, and whether that first one looked like a frame's leader cut short. */
    BOOL firstPairChecked, firstFrameDropped;
    DWORD pairsChecked;          /* after the first */
    DWORD estimatePairs;         /* leader-like pairs and near misses after the first */
    LONGLONG estimateBurstTicks, estimateGapTicks;  /* their sums */
    BOOL closestLeaderSeen;      /* the leader-like pair nearest a bound, and how near */
    LONGLONG closestMargin, closestBound;
    DWORD flicker100Hz, flicker120Hz;  /* pairs a half-cycle of the mains long */
    struct ForeignLeaders {      /* long bursts before a gap, by FOREIGN_BIN_US of burst */
        DWORD count;
        LONGLONG burstUs, gapMinUs, gapMaxUs;  /* the bursts' sum, the gaps' range */
    } foreign[FOREIGN_BINS];
    DWORD foreignLeaders;
    Histogram burstLengths, gapLengths;
    /* The capture, once its first change is written. */
    BOOL captureStarted;
    BOOL captureLineOff;         /* the state after the last change written */
    LONGLONG captureStart;       /* counter where the decoder began measuring */
    ULONGLONG capturedUs;        /* microseconds from the start to the last change written */
} report;

typedef struct ReportLine {
    char text[REPORT_LINE_SIZE];
    int length;
    int lineStart;  /* where the last of its output lines begins */
} ReportLine;

static void AddText(ReportLine *line, const char *text, int length)
{
    for (int i = 0; i < length && line->length < REPORT_LINE_SIZE - 1; i++)
        line->text[line->length++] = text[i];
    line->text[line->length] = '\0';
}

/* Adds formatted text to `line` as it is, cut where the line is full. */
static void Append(ReportLine *line, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    line->length += FormatTextV(line->text + line->length, REPORT_LINE_SIZE - line->length, format, arguments);
    va_end(arguments);
}

/* Ends the output line and begins the next after CONTINUATION. */
static void BreakLine(ReportLine *line)
{
    AddText(line, "\n", 1);
    line->lineStart = line->length;
    AddText(line, CONTINUATION, sizeof CONTINUATION - 1);
}

/*
 * Adds a phrase: formatted text that begins with a blank, or with one mark and a blank (", gap
 * 30 us above 1760 us").  Where the phrase would take the output line past OUTPUT_COLUMNS_MAX,
 * less one column for the mark of a phrase after it, the line ends with the mark and the phrase
 * goes on after CONTINUATION on a line of its own.
 */
static void AppendPhrase(ReportLine *line, const char *format, ...)
{
    char phrase[FORMATTED_TEXT_LIMIT];
    va_list arguments;
    va_start(arguments, format);
    int length = FormatTextV(phrase, sizeof phrase, format, arguments);
    va_end(arguments);
    int blank = phrase[0] == ' ' ? 0 : phrase[0] != '\0' && phrase[1] == ' ' ? 1 : -1;
    if (blank < 0 || line->length - line->lineStart + length < OUTPUT_COLUMNS_MAX) {
        AddText(line, phrase, length);
        return;
    }
    AddText(line, phrase, blank);
    BreakLine(line);
    AddText(line, phrase + blank + 1, length - blank - 1);
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
    return ScaleTime(ticks, report.frequency, tenths ? TENTHS_OF_US_PER_SECOND : MICROSECONDS_PER_SECOND);
}

/* "628.6": tenths of a microsecond written as a decimal. */
static const char *FormatTenths(LONGLONG tenths, char text[TIME_TEXT_SIZE])
{
    const char *sign = tenths < 0 ? "-" : "";
    ULONGLONG size = tenths < 0 ? 0 - (ULONGLONG)tenths : (ULONGLONG)tenths;
    char whole[NUMBER_TEXT_SIZE];
    wsprintfA(text, "%s%s.%u", sign, FormatUnsigned64(size / 10, 10, 1, whole), (unsigned)(size % 10));
    return text;
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

/*
 * Text histograms of interval lengths for the summary: only the bins that hold anything
 * printed, each with a bar scaled to the fullest bin.  Bins are 50 us wide below 5 ms, where the
 * decoder's limits lie and where the bursts of other remotes (2.4 ms, 900 us) fall; 1 ms wide up
 * to 20 ms, which shows a 9 ms leader of another kind of remote and the 10 or 8.3 ms steps of
 * lamp flicker (100 or 120 Hz); 10 ms wide up to 100 ms, the pauses between repeated frames;
 * everything longer (seconds between key presses) shares one last bin.  So a long run prints at
 * most 124 lines per histogram.  Marker lines name the decoder's limits (bit threshold, leader
 * windows) where they fall among the bins, so a cluster is seen at a glance on the right or the
 * wrong side of a limit.  A marker is printed before the first bin that starts at or above it,
 * so a bin that holds the limit itself comes just before its marker.
 */

/* Where each width of bin begins; the last entry is the one bin from there up. */
static const struct HistogramScale {
    LONG fromUs, binUs;
} histogramScales[] = {
    {0, FINE_BIN_US},
    {MEDIUM_BINS_FROM_US, MEDIUM_BIN_US},
    {COARSE_BINS_FROM_US, COARSE_BIN_US},
    {HISTOGRAM_TOP_US, 0},
};
enum { HISTOGRAM_SCALES = sizeof histogramScales / sizeof histogramScales[0] };

static int BinOf(LONGLONG microseconds)
{
    int firstBin = 0;
    for (int i = 0; i + 1 < HISTOGRAM_SCALES; i++) {
        const struct HistogramScale *scale = &histogramScales[i];
        LONG nextFromUs = histogramScales[i + 1].fromUs;
        if (microseconds < nextFromUs)
            return firstBin + (int)((microseconds < 0 ? 0 : microseconds - scale->fromUs) / scale->binUs);
        firstBin += (int)((nextFromUs - scale->fromUs) / scale->binUs);
    }
    return HISTOGRAM_BINS - 1;
}

static LONG BinStartUs(int bin)
{
    for (int i = 0; i + 1 < HISTOGRAM_SCALES; i++) {
        const struct HistogramScale *scale = &histogramScales[i];
        int bins = (int)((histogramScales[i + 1].fromUs - scale->fromUs) / scale->binUs);
        if (bin < bins)
            return scale->fromUs + bin * scale->binUs;
        bin -= bins;
    }
    return HISTOGRAM_TOP_US;
}

/* A limit to show among the bins: where it lies, in tenths of a microsecond, and what it is. */
typedef struct HistogramMarker {
    LONGLONG tenthsOfUs;
    const char *meaning;
} HistogramMarker;

static void AddToHistogram(Histogram *histogram, LONGLONG microseconds)
{
    histogram->bins[BinOf(microseconds)]++;
}

static DWORD FullestBin(const Histogram *histogram)
{
    DWORD fullest = 0;
    for (int i = 0; i < HISTOGRAM_BINS; i++)
        if (histogram->bins[i] > fullest)
            fullest = histogram->bins[i];
    return fullest;
}

static void PrintBin(int bin, DWORD count, DWORD fullest)
{
    char range[TIME_TEXT_SIZE];
    char bar[HISTOGRAM_BAR_WIDTH + 1];
    if (bin == HISTOGRAM_BINS - 1)
        wsprintfA(range, "%d+", HISTOGRAM_TOP_US);
    else
        wsprintfA(range, "%ld-%ld", (long)BinStartUs(bin), (long)BinStartUs(bin + 1) - 1);
    /* Rounded up, so a bin that holds anything shows at least one mark. */
    int width = (int)(((ULONGLONG)count * HISTOGRAM_BAR_WIDTH + fullest - 1) / fullest);
    memset(bar, '*', (size_t)width);
    bar[width] = '\0';
    PutFormatted("#   %11s us %8lu %s\n", range, (unsigned long)count, bar);
}

static void PrintMarker(const HistogramMarker *marker)
{
    char tenths[TIME_TEXT_SIZE];
    PutFormatted("#   ---- %s us: %s\n", FormatTenths(marker->tenthsOfUs, tenths), marker->meaning);
}

/* `title`, then the bins and, in their places, the markers (ascending). */
static void PrintHistogram(const Histogram *histogram, const char *title, const HistogramMarker *markers,
                           int markerCount)
{
    DWORD fullest = FullestBin(histogram);
    PutFormatted("# %s, %d us bins (%d ms from %d ms, %d ms from %d ms):\n", title, FINE_BIN_US,
                 MEDIUM_BIN_US / 1000, MEDIUM_BINS_FROM_US / 1000, COARSE_BIN_US / 1000, COARSE_BINS_FROM_US / 1000);
    if (fullest == 0) {
        PutText("#   none\n");
        return;
    }
    int marker = 0;
    for (int bin = 0; bin < HISTOGRAM_BINS; bin++) {
        LONGLONG binStartTenths = (LONGLONG)BinStartUs(bin) * 10;
        for (; marker < markerCount && markers[marker].tenthsOfUs <= binStartTenths; marker++)
            PrintMarker(&markers[marker]);
        if (histogram->bins[bin] > 0)
            PrintBin(bin, histogram->bins[bin], fullest);
    }
    for (; marker < markerCount; marker++)
        PrintMarker(&markers[marker]);
}

/*
 * The capture that `ir-monitor --raw` writes: the line's changes as a pulse/space recording, in
 * whole microseconds, which the replay line, ir-monitor and the tests read back.
 *
 * It begins where the decoder began measuring (line_tap.cpp), after a '#' line naming the
 * counter rate and a `frequency` line giving it to the replay, so that its replay decodes
 * exactly the frames the tool decoded: the time before the first change is kept as a leading
 * space (or as a pulse, if the line was in a burst when the tool started), and a first leader
 * that came too late after the start to be taken live is not taken from the capture either.
 * Each interval is written when it ends.  Times are converted from the start as a whole and
 * written as differences, so rounding to microseconds never accumulates, however long the
 * capture.  An interval that rounds to nothing is left out (the replay joins its neighbours,
 * which is what a glitch shorter than the format can say becomes); one longer than a recording's
 * largest number is written as several items of its kind, which the replay joins again.  A burst
 * still going at the end is written up to then, at least 1 us, so the replay sees it begin, as
 * the decoder did: that edge ends the last frame.
 */

static void StartCapture(void)
{
    char rate[NUMBER_TEXT_SIZE];
    FormatUnsigned64((ULONGLONG)report.frequency, 10, 1, rate);
    PutFormatted("# ir-monitor --raw: the receiver line, counter %s Hz, in microseconds\n", rate);
    PutFormatted("frequency %s\n", rate);
}

static ULONGLONG CapturedUsUpTo(LONGLONG stamp)
{
    return (ULONGLONG)ScaleTime(stamp - report.captureStart, report.frequency, MICROSECONDS_PER_SECOND);
}

/* Writes the interval `change` ends. */
static void CaptureChange(const TappedChange *change)
{
    if (!report.captureStarted) {
        report.captureStarted = TRUE;
        report.captureStart = TapStartStamp();
        report.capturedUs = 0;
        report.captureLineOff = change->on;  /* before its first change the line was in the other state */
    }
    ULONGLONG sinceStart = CapturedUsUpTo(change->stamp);
    WriteRecordingItems(report.captureLineOff ? LINE_PULSE : LINE_SPACE, sinceStart - report.capturedUs, PutText);
    report.capturedUs = sinceStart;
    report.captureLineOff = !change->on;
}

/* Writes the burst in progress, if any, as ending at `counterNow`. */
static void EndCapture(LONGLONG counterNow)
{
    if (!report.captureStarted || !report.captureLineOff)
        return;
    ULONGLONG sinceStart = CapturedUsUpTo(counterNow);
    WriteRecordingItems(LINE_PULSE, sinceStart > report.capturedUs ? sinceStart - report.capturedUs : 1, PutText);
}

/* Within NEAR_MISS_PERCENT of the window: no further below `min` or above `max` than that. */
static BOOL IsNear(LONGLONG ticks, LONGLONG min, LONGLONG max)
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

/*
 * What the verdict rests on (see "The verdict" below), gathered pair by pair: the leader-like
 * pairs and near misses for the estimate, the leader nearest a bound, pairs a half-cycle of the
 * mains long, and long bursts that may be another remote's leaders.  The session's first pair is
 * left out of all of it: the decoder measures its burst from the start, not from the burst's own
 * beginning.  It only tells whether a first frame was lost that way: its gap is a leader's, or
 * near one, and its burst is too long.
 */

static BOOL IsWithinPercent(LONGLONG us, LONGLONG nominalUs, int percent)
{
    return us * 100 >= nominalUs * (100 - percent) && us * 100 <= nominalUs * (100 + percent);
}

static void NoteFirstPair(LONGLONG burst, LONGLONG gap, BOOL leader)
{
    const DecoderLimits *limits = &report.limits;
    report.firstPairChecked = TRUE;
    report.firstFrameDropped = !leader && burst >= limits->leaderBurstMax && IsNear(gap, limits->leaderGapMin, limits->leaderGapMax);
}

/* Keeps `margin`, a leader's distance to `bound`, if no leader came nearer a bound. */
static void TakeLeaderMargin(LONGLONG margin, LONGLONG bound)
{
    if (report.closestLeaderSeen && margin >= report.closestMargin)
        return;
    report.closestLeaderSeen = TRUE;
    report.closestMargin = margin;
    report.closestBound = bound;
}

/* How near a leader the decoder took lies to the nearest of its four bounds. */
static void NoteLeaderMargin(LONGLONG burst, LONGLONG gap)
{
    const DecoderLimits *limits = &report.limits;
    TakeLeaderMargin(burst - limits->leaderBurstMin, limits->leaderBurstMin);
    TakeLeaderMargin(limits->leaderBurstMax - burst, limits->leaderBurstMax);
    TakeLeaderMargin(gap - limits->leaderGapMin, limits->leaderGapMin);
    TakeLeaderMargin(limits->leaderGapMax - gap, limits->leaderGapMax);
}

/* A pair that is neither a leader nor near one: a half-cycle of mains flicker, or a burst long
   enough to be another kind of remote's leader. */
static void NoteOtherPair(const TappedChange *burstEnd, const TappedChange *gapEnd)
{
    LONGLONG burstUs = InUnit(burstEnd->ticks, FALSE);
    LONGLONG gapUs = InUnit(gapEnd->ticks, FALSE);
    if (IsWithinPercent(burstUs + gapUs, FLICKER_HALF_CYCLE_100_HZ_US, FLICKER_TOLERANCE_PERCENT))
        report.flicker100Hz++;
    else if (IsWithinPercent(burstUs + gapUs, FLICKER_HALF_CYCLE_120_HZ_US, FLICKER_TOLERANCE_PERCENT))
        report.flicker120Hz++;
    if (burstUs < FOREIGN_BURST_MIN_US || burstUs >= FOREIGN_BURST_MAX_US || gapUs >= FOREIGN_GAP_MAX_US)
        return;
    struct Report::ForeignLeaders *bin = &report.foreign[(burstUs - FOREIGN_BURST_MIN_US) / FOREIGN_BIN_US];
    if (bin->count == 0 || gapUs < bin->gapMinUs)
        bin->gapMinUs = gapUs;
    if (bin->count == 0 || gapUs > bin->gapMaxUs)
        bin->gapMaxUs = gapUs;
    bin->count++;
    bin->burstUs += burstUs;
    report.foreignLeaders++;
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
    BOOL leader = IsLeader(&pair, report.frequency);
    BOOL nearMiss = !leader && IsNearLeader(burst, gap);
    if (!report.firstPairChecked) {
        NoteFirstPair(burst, gap, leader);
    } else {
        report.pairsChecked++;
        if (leader || nearMiss) {
            report.estimatePairs++;
            report.estimateBurstTicks += burst;
            report.estimateGapTicks += gap;
        } else {
            NoteOtherPair(burstEnd, gapEnd);
        }
    }
    if (leader)
        NoteLeaderMargin(burst, gap);
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
        AddToHistogram(change->on ? &report.burstLengths : &report.gapLengths, InUnit(change->ticks, FALSE));
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
    LONGLONG gap = RecentChange(2 * FRAME_DATA_PAIRS)->decoderTicks;
    ReportLine line = {"", 0, 0};
    Append(&line, "# leader %s/%s us", Us(burst).text, Us(gap).text);
    AppendNearestBound(&line, ":", "burst", burst, limits->leaderBurstMin, limits->leaderBurstMax);
    AppendNearestBound(&line, ",", "gap", gap, limits->leaderGapMin, limits->leaderGapMax);
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
        StartCapture();
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
}

static void SetMarker(HistogramMarker *marker, LONGLONG ticks, const char *meaning)
{
    marker->tenthsOfUs = InUnit(ticks, TRUE);
    marker->meaning = meaning;
}

/*
 * The verdict: the summary's last line, which says in plain words whether the receiver fits
 * the decoder's windows, and if it does not, what the line showed instead.  One verdict is
 * given, the first of these that holds, so a remote seen at all outweighs anything else the
 * session held:
 *   1. leader-like pairs or near misses (after the first pair): the receiver's lengthening, the
 *      band the decoder accepts for this remote, and `fits`, `too little` or `too much`; `fits`
 *      whenever a frame decoded, with how close the closest leader came to a bound;
 *   2. only the first pair looked like a leader, which the decoder measured from the start;
 *   3. no change at all: the likely causes in order (the pull-up, the wiring, the supply);
 *   4. one or two changes within POWER_UP_MS of the start: the module powering up, no infrared;
 *   5. most pairs a half-cycle of the mains (10 ms at 100 Hz, 8.3 ms at 120 Hz): lamp flicker;
 *   6. long bursts of about one length (within two neighbouring 500 us bins), far from the leader
 *      windows: another kind of remote's leaders;
 *   7. otherwise, where most bursts and gaps lay.
 *
 * The estimate.  A receiver lengthens every burst by the same L and shortens the gap after it by
 * as much, so a leader keeps the remote's own sum of 12 units (8 of burst, 4 of gap): from a
 * pair's burst B and gap G, the unit is (B + G) / 12, and L = B - 8 units = (B - 2G) / 3.  The
 * estimate takes the mean B and G of all those pairs, shown or not, so a remote whose resonator
 * runs slow or fast is measured by its own unit, and the jitter of single edges averages out.
 * The band is every L for which a remote of that unit has its leader burst and gap inside both
 * windows and its data gaps on the right side of the bit threshold, worked out from the limits in
 * use at the line's counter rate; it is shown in whole microseconds strictly inside its bounds.
 * Everything is in tenths of a microsecond, the means scaled from the sums of ticks, so the host
 * tool and the .exe give the same figures.
 */

/* The mean of `sumTicks` over `count` pairs, in tenths of a microsecond: the mean in tenths of a
   tick first, so neither step's product can overflow. */
static LONGLONG MeanInTenths(LONGLONG sumTicks, DWORD count)
{
    LONGLONG tenthsOfTicks = ScaleTime(sumTicks, count, TENTHS_PER_US);
    return ScaleTime(tenthsOfTicks, report.frequency, MICROSECONDS_PER_SECOND);
}

/* The receiver's lengthening and the band the windows leave it, all 12 times their size in
   tenths of a microsecond, so that no division rounds before the comparison.  Leaders and near
   misses are a few milliseconds long, so 32 bits hold all of it. */
typedef struct LengtheningEstimate {
    LONG unit12;         /* the remote's unit */
    LONG lengthening12;  /* L */
    LONG lowest12, highest12;  /* L must lie above the one and below the other */
} LengtheningEstimate;

static LONG Larger(LONG a, LONG b) { return a > b ? a : b; }
static LONG Smaller(LONG a, LONG b) { return a < b ? a : b; }

/* A limit, 12 times its size in tenths of a microsecond. */
static LONG Limit12(LONGLONG ticks) { return LEADER_UNITS * (LONG)InUnit(ticks, TRUE); }

static LengtheningEstimate EstimateLengthening(void)
{
    const DecoderLimits *limits = &report.limits;
    LONG burst = (LONG)MeanInTenths(report.estimateBurstTicks, report.estimatePairs);
    LONG gap = (LONG)MeanInTenths(report.estimateGapTicks, report.estimatePairs);
    LONG units12 = burst + gap;  /* 12 x the unit */
    LONG threshold = Limit12(limits->bitThreshold);
    LengtheningEstimate estimate;
    estimate.unit12 = units12;
    estimate.lengthening12 = LEADER_GAP_UNITS * (burst - 2 * gap);  /* 12 x (B - 2G) / 3 */
    /* The leader burst 8u + L above its lower bound, the leader gap 4u - L below its upper one,
       a 0-gap u - L at most the threshold. */
    estimate.lowest12 = Larger(Larger(Limit12(limits->leaderBurstMin) - LEADER_BURST_UNITS * units12,
                                      LEADER_GAP_UNITS * units12 - Limit12(limits->leaderGapMax)),
                               units12 - threshold);
    /* The burst below its upper bound, the gap above its lower one, a 1-gap 3u - L over the
       threshold. */
    estimate.highest12 = Smaller(Smaller(Limit12(limits->leaderBurstMax) - LEADER_BURST_UNITS * units12,
                                         LEADER_GAP_UNITS * units12 - Limit12(limits->leaderGapMin)),
                                 ONE_GAP_UNITS * units12 - threshold);
    return estimate;
}

/* 12 x tenths of a microsecond as whole microseconds: rounded, or the first whole number above
   (`side` 1) or below (-1) it. */
static LONG Whole12(LONG value12, int side)
{
    const LONG per = LEADER_UNITS * TENTHS_PER_US;
    LONG floor = value12 >= 0 ? value12 / per : -((-value12 + per - 1) / per);
    if (side > 0)
        return floor + 1;
    if (side < 0)
        return value12 % per == 0 ? floor - 1 : floor;
    return value12 >= 0 ? (value12 + per / 2) / per : -((-value12 + per / 2) / per);
}

static Figure Number(LONGLONG value) { return UnitText(value, FALSE); }

static const char TIE = '~';

/* Adds formatted prose word by word: the output line breaks between two words where the next
   would take it past OUTPUT_COLUMNS_MAX, and goes on after CONTINUATION.  A TIE in the text is a
   blank where no break may fall, between a figure and its unit. */
static void AppendWords(ReportLine *line, const char *format, ...)
{
    char text[FORMATTED_TEXT_LIMIT];
    va_list arguments;
    va_start(arguments, format);
    int length = FormatTextV(text, sizeof text, format, arguments);
    va_end(arguments);
    for (int at = 0; at < length;) {
        int end = at + 1;
        while (end < length && text[end] != ' ')
            end++;
        const char *word = text + at;
        int size = end - at;
        if (word[0] == ' ' && line->length - line->lineStart + size > OUTPUT_COLUMNS_MAX) {
            BreakLine(line);
            word++;
            size--;
        }
        for (int i = 0; i < size; i++)
            AddText(line, word[i] == TIE ? " " : word + i, 1);
        at = end;
    }
}

static void SayFirstFrameDropped(ReportLine *line)
{
    if (report.firstFrameDropped)
        AppendWords(line, " The first frame was not counted: the decoder times the first burst from the start,"
                          " so press the first key twice.");
}

static void SayClosestLeader(ReportLine *line)
{
    if (!report.closestLeaderSeen)
        return;
    LONGLONG bound = InUnit(report.closestBound, FALSE);
    AppendWords(line, " The closest leader came %s~us from a bound (%s~us).",
                Number(Larger(0, InUnit(report.closestMargin, FALSE))).text, Number(bound).text);
}

static void SayTiming(ReportLine *line)
{
    LengtheningEstimate estimate = EstimateLengthening();
    LONG first = Whole12(estimate.lowest12, 1), last = Whole12(estimate.highest12, -1);
    BOOL inBand = estimate.lengthening12 > estimate.lowest12 && estimate.lengthening12 < estimate.highest12;
    BOOL decoded = report.framesDecoded > 0;
    char rate[NUMBER_TEXT_SIZE];
    FormatUnsigned64((ULONGLONG)report.frequency, 10, 1, rate);
    if (decoded)
        AppendWords(line, inBand ? " fits." : " fits, at the edge.");
    else if (first > last)
        AppendWords(line, " no lengthening fits this remote.");
    else if (inBand)
        AppendWords(line, " fits, but no frame was completed.");
    else
        AppendWords(line, estimate.lengthening12 <= estimate.lowest12 ? " too little." : " too much.");
    AppendWords(line, " The receiver lengthens bursts by about %s~us", Number(Whole12(estimate.lengthening12, 0)).text);
    if (estimate.lengthening12 < 0)
        AppendWords(line, " (it shortens them)");
    if (first > last) {
        AppendWords(line, "; but with a unit of about %s~us, this remote's leader cannot have both its burst"
                          " and its gap inside the windows at %s~Hz, whatever the lengthening: it belongs to"
                          " another device.",
                    Number(Whole12(estimate.unit12, 0)).text, rate);
        SayFirstFrameDropped(line);
        return;
    }
    AppendWords(line, "; for this remote (a unit of about %s~us) the program accepts %s-%s~us at %s~Hz.",
                Number(Whole12(estimate.unit12, 0)).text, Number(first).text, Number(last).text, rate);
    if (decoded) {
        SayClosestLeader(line);
        if (!inBand)
            AppendWords(line, " Leaders that far out are lost now and then: expect missed key presses.");
        if (report.framesMatching == 0)
            AppendWords(line, " None of the %lu frames is in the program's table: the remote belongs to another device.",
                        (unsigned long)report.framesDecoded);
    } else if (inBand) {
        AppendWords(line, " A frame ends only when the next burst begins: hold a key a moment, or press another.");
    } else {
        AppendWords(line, " So no leader fits the windows: choose a receiver module that lengthens bursts %s"
                          " (README: choosing a receiver module).",
                    estimate.lengthening12 <= estimate.lowest12 ? "more" : "less");
    }
    SayFirstFrameDropped(line);
}

/* Frames decoded, but only from the session's first pair, which the estimate leaves out. */
static void SayTooFewLeaders(ReportLine *line)
{
    AppendWords(line, " fits: %lu frame decoded, but its leader was the first pair, which the decoder times from"
                      " the start, so it tells nothing of the lengthening. Press keys again, holding each a"
                      " moment, for the estimate.",
                (unsigned long)report.framesDecoded);
}

static void SayOnlyTheFirstFrame(ReportLine *line)
{
    AppendWords(line, " the remote was seen, but only its first frame, which never counts: the decoder times"
                      " the first burst from the start. Press keys again, holding each a moment.");
}

static void SayDeadLine(ReportLine *line)
{
    AppendWords(line, " the line never changed: nothing reaches carrier detect (DCD). Likely causes, most"
                      " likely first: the pull-up (the module's own, about 30~kOhm, is too weak for an RS-232"
                      " input, which then always reads off: add one from the output to the module's supply, at"
                      " most 1.1~kOhm at 3.3~V or 3.2~kOhm at 5~V); the wiring (output to DCD, ground to signal ground); the"
                      " module's supply from RTS (measure it while ir-monitor runs). See README: wiring the"
                      " receiver.");
}

/* The stamp of the latest change, from where the decoder began. */
static LONGLONG MillisecondsToLatestChange(void)
{
    return ScaleTime(RecentChange(0)->stamp - TapStartStamp(), report.frequency, MILLISECONDS_PER_SECOND);
}

static BOOL IsPowerUpOnly(void)
{
    return TappedChangeCount() <= 2 && MillisecondsToLatestChange() <= POWER_UP_MS;
}

static void SayPowerUp(ReportLine *line)
{
    AppendWords(line, " wired and powered, but no infrared seen: the line changed %s %s~ms after the start (the"
                      " module's output rising as RTS came on), then never again. Point the remote at the"
                      " receiver and press a key.",
                TappedChangeCount() == 1 ? "once," : "twice, the second", Number(MillisecondsToLatestChange()).text);
}

static BOOL IsLampFlicker(void)
{
    DWORD flicker = report.flicker100Hz + report.flicker120Hz;
    return flicker >= FLICKER_PAIRS_MIN && flicker * 2 >= report.pairsChecked;
}

static void SayLampFlicker(ReportLine *line)
{
    BOOL at100Hz = report.flicker100Hz >= report.flicker120Hz;
    AppendWords(line, " lamp flicker: %lu of %lu bursts came %s~ms apart (%s~Hz, a lamp on %s~Hz mains): a lamp's"
                      " light reaches the receiver, and no remote was seen. Shade the receiver from it, or"
                      " switch it off, and try again.",
                (unsigned long)(at100Hz ? report.flicker100Hz : report.flicker120Hz), (unsigned long)report.pairsChecked,
                at100Hz ? "10" : "8.3", at100Hz ? "100" : "120", at100Hz ? "50" : "60");
}

/* Long bursts of one length: the two neighbouring bins that hold most of them (a remote's
   leaders, jittering, may straddle a bin's edge), if those hold enough to be a remote's leaders
   (a ballast's bursts of any length spread over the bins). */
typedef struct ForeignCluster {
    DWORD count;
    LONGLONG burstUs, gapMinUs, gapMaxUs;
} ForeignCluster;

static void AddToCluster(ForeignCluster *cluster, const struct Report::ForeignLeaders *bin)
{
    if (bin->count == 0)
        return;
    if (cluster->count == 0 || bin->gapMinUs < cluster->gapMinUs)
        cluster->gapMinUs = bin->gapMinUs;
    if (cluster->count == 0 || bin->gapMaxUs > cluster->gapMaxUs)
        cluster->gapMaxUs = bin->gapMaxUs;
    cluster->count += bin->count;
    cluster->burstUs += bin->burstUs;
}

static BOOL FindForeignLeaders(ForeignCluster *found)
{
    int fullest = 0;
    for (int bin = 1; bin + 1 < FOREIGN_BINS; bin++)
        if (report.foreign[bin].count + report.foreign[bin + 1].count >
            report.foreign[fullest].count + report.foreign[fullest + 1].count)
            fullest = bin;
    ForeignCluster cluster = {0, 0, 0, 0};
    AddToCluster(&cluster, &report.foreign[fullest]);
    AddToCluster(&cluster, &report.foreign[fullest + 1]);
    *found = cluster;
    return cluster.count >= FOREIGN_LEADERS_MIN && cluster.count * 2 >= report.foreignLeaders;
}

static void SayAnotherRemote(ReportLine *line, const ForeignCluster *leaders)
{
    AppendWords(line, " another kind of remote: %lu leader bursts of about %s~us (gaps of %s-%s~us) came, far from"
                      " the %s-%s~us bursts and %s-%s~us gaps of this program's remotes. The receiver works, but"
                      " the program cannot read this remote.",
                (unsigned long)leaders->count, Number(leaders->burstUs / leaders->count).text,
                Number(leaders->gapMinUs).text, Number(leaders->gapMaxUs).text, Us(report.limits.leaderBurstMin).text,
                Us(report.limits.leaderBurstMax).text, Us(report.limits.leaderGapMin).text,
                Us(report.limits.leaderGapMax).text);
}

/* "850-899 us": the histogram's fullest bin, tied for the verdict. */
static const char *FullestBinText(const Histogram *histogram, char text[2 * TIME_TEXT_SIZE])
{
    int fullest = 0;
    for (int bin = 1; bin < HISTOGRAM_BINS; bin++)
        if (histogram->bins[bin] > histogram->bins[fullest])
            fullest = bin;
    if (fullest == HISTOGRAM_BINS - 1)
        wsprintfA(text, "%d~us or more", HISTOGRAM_TOP_US);
    else
        wsprintfA(text, "%ld-%ld~us", (long)BinStartUs(fullest), (long)BinStartUs(fullest + 1) - 1);
    return text;
}

static void SayWhatWasSeen(ReportLine *line)
{
    char bursts[2 * TIME_TEXT_SIZE], gaps[2 * TIME_TEXT_SIZE];
    AppendWords(line, " no leader seen: the line changed %lu times, but nothing in it looked like a leader of"
                      " this program's remotes or of another kind, nor like lamp flicker. Most bursts lasted %s,"
                      " most gaps %s (see the histograms).",
                (unsigned long)TappedChangeCount(), FullestBinText(&report.burstLengths, bursts),
                FullestBinText(&report.gapLengths, gaps));
}

static void WriteVerdict(void)
{
    ReportLine line = {"", 0, 0};
    Append(&line, "# verdict:");
    ForeignCluster foreign;
    if (report.estimatePairs > 0)
        SayTiming(&line);
    else if (report.framesDecoded > 0)
        SayTooFewLeaders(&line);
    else if (report.firstFrameDropped)
        SayOnlyTheFirstFrame(&line);
    else if (TappedChangeCount() == 0)
        SayDeadLine(&line);
    else if (IsPowerUpOnly())
        SayPowerUp(&line);
    else if (IsLampFlicker())
        SayLampFlicker(&line);
    else if (FindForeignLeaders(&foreign))
        SayAnotherRemote(&line, &foreign);
    else
        SayWhatWasSeen(&line);
    WriteLine(&line);
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

    const DecoderLimits *limits = &report.limits;
    HistogramMarker burstMarkers[2], gapMarkers[3];
    SetMarker(&burstMarkers[0], limits->leaderBurstMin, "leader bursts start above this");
    SetMarker(&burstMarkers[1], limits->leaderBurstMax, "leader bursts end below this");
    SetMarker(&gapMarkers[0], limits->bitThreshold, "bit threshold: longer gaps read 1");
    SetMarker(&gapMarkers[1], limits->leaderGapMin, "leader gaps start above this");
    SetMarker(&gapMarkers[2], limits->leaderGapMax, "leader gaps end below this");
    PrintHistogram(&report.burstLengths, "burst lengths (line off)", burstMarkers, 2);
    PrintHistogram(&report.gapLengths, "gap lengths (line on)", gapMarkers, 3);
    WriteVerdict();
    FlushOutput();
}
