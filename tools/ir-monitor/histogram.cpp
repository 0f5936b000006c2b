/*
 * The summary's text histograms of burst and gap lengths: only the bins that hold anything
 * printed, each with a bar scaled to the fullest bin.  Bins are 50 us wide below 5 ms, where the
 * decoder's limits lie and where the bursts of other remotes (2.4 ms, 900 us) fall; 1 ms wide up
 * to 20 ms, which shows a 9 ms leader of another kind of remote and the 10 or 8.3 ms steps of
 * lamp flicker (100 or 120 Hz); 10 ms wide up to 100 ms, the pauses between repeated frames;
 * everything longer (seconds between key presses) shares one last bin.  So a long run prints at
 * most 124 lines per histogram.  Marker lines name the decoder's limits (bit threshold, leader
 * windows) where they fall among the bins, so a cluster is seen at a glance on the right or the
 * wrong side of a limit.  A marker is printed before the first bin that starts at or above it,
 * so a bin that holds the limit itself comes just before its marker.
 *
 * The verdict quotes the fullest bins (DescribeFullestBin) in the histograms' own ranges.
 */
#include "report.h"

#include <string.h>

enum {
    FINE_BIN_US = 50,
    MEDIUM_BINS_FROM_US = 5000,
    MEDIUM_BIN_US = 1000,
    COARSE_BINS_FROM_US = 20000,
    COARSE_BIN_US = 10000,
    HISTOGRAM_TOP_US = 100000,  /* the last bin holds everything from here up */
    HISTOGRAM_BINS = MEDIUM_BINS_FROM_US / FINE_BIN_US + (COARSE_BINS_FROM_US - MEDIUM_BINS_FROM_US) / MEDIUM_BIN_US +
                     (HISTOGRAM_TOP_US - COARSE_BINS_FROM_US) / COARSE_BIN_US + 1,
    HISTOGRAM_BAR_WIDTH = 40
};

typedef struct Histogram {
    DWORD bins[HISTOGRAM_BINS];
} Histogram;

static Histogram burstLengths, gapLengths;

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

/* A limit to show among the bins: where it lies, in tenths of a microsecond, and what it is. */
typedef struct HistogramMarker {
    LONGLONG tenthsOfUs;
    const char *meaning;
} HistogramMarker;

void StartHistograms(void)
{
    memset(&burstLengths, 0, sizeof burstLengths);
    memset(&gapLengths, 0, sizeof gapLengths);
}

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

/* "850-899", or with `tie` "850-899~us"; the last bin "100000+", or "100000~us or more". */
static const char *BinRangeText(int bin, BOOL tie, char text[2 * TIME_TEXT_SIZE])
{
    if (bin == HISTOGRAM_BINS - 1)
        wsprintfA(text, tie ? "%d~us or more" : "%d+", HISTOGRAM_TOP_US);
    else
        wsprintfA(text, tie ? "%ld-%ld~us" : "%ld-%ld", (long)BinStartUs(bin), (long)BinStartUs(bin + 1) - 1);
    return text;
}

/* The bin that holds the most; the first of those tied. */
static int FullestBin(const Histogram *histogram)
{
    int fullest = 0;
    for (int bin = 1; bin < HISTOGRAM_BINS; bin++)
        if (histogram->bins[bin] > histogram->bins[fullest])
            fullest = bin;
    return fullest;
}

void AddToHistograms(BOOL burst, LONGLONG microseconds)
{
    (burst ? &burstLengths : &gapLengths)->bins[BinOf(microseconds)]++;
}

BOOL DescribeFullestBin(BOOL burst, char text[2 * TIME_TEXT_SIZE])
{
    const Histogram *histogram = burst ? &burstLengths : &gapLengths;
    int fullest = FullestBin(histogram);
    BinRangeText(fullest, TRUE, text);
    return histogram->bins[fullest] > 0;
}

static void PrintBin(int bin, DWORD count, DWORD fullest)
{
    char range[2 * TIME_TEXT_SIZE];
    char bar[HISTOGRAM_BAR_WIDTH + 1];
    /* Rounded up, so a bin that holds anything shows at least one mark. */
    int width = (int)(((ULONGLONG)count * HISTOGRAM_BAR_WIDTH + fullest - 1) / fullest);
    memset(bar, '*', (size_t)width);
    bar[width] = '\0';
    PutFormatted("#   %11s us %8lu %s\n", BinRangeText(bin, FALSE, range), (unsigned long)count, bar);
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
    DWORD fullest = histogram->bins[FullestBin(histogram)];
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

static void SetMarker(HistogramMarker *marker, LONGLONG ticks, const char *meaning)
{
    marker->tenthsOfUs = InUnit(ticks, TRUE);
    marker->meaning = meaning;
}

void PrintHistograms(const DecoderLimits *limits)
{
    HistogramMarker burstMarkers[2], gapMarkers[3];
    SetMarker(&burstMarkers[0], limits->leaderBurstMin, "leader bursts start above this");
    SetMarker(&burstMarkers[1], limits->leaderBurstMax, "leader bursts end below this");
    SetMarker(&gapMarkers[0], limits->bitThreshold, "bit threshold: longer gaps read 1");
    SetMarker(&gapMarkers[1], limits->leaderGapMin, "leader gaps start above this");
    SetMarker(&gapMarkers[2], limits->leaderGapMax, "leader gaps end below this");
    PrintHistogram(&burstLengths, "burst lengths (line off)", burstMarkers, 2);
    PrintHistogram(&gapLengths, "gap lengths (line on)", gapMarkers, 3);
}
