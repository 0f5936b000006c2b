/*
 * Interval histograms; see histogram.h.  A marker is printed before the first bin that starts at
 * or above it, so a bin that holds the limit itself comes just before its marker.
 */
#include "histogram.h"

#include "tick_time.h"

#include <string.h>

void ClearHistogram(Histogram *histogram) { memset(histogram, 0, sizeof *histogram); }

void AddToHistogram(Histogram *histogram, LONGLONG microseconds)
{
    LONGLONG bin = microseconds < 0 ? 0 : microseconds / HISTOGRAM_BIN_US;
    histogram->bins[bin < HISTOGRAM_BINS - 1 ? bin : HISTOGRAM_BINS - 1]++;
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
        wsprintfA(range, "%d-%d", bin * HISTOGRAM_BIN_US, bin * HISTOGRAM_BIN_US + HISTOGRAM_BIN_US - 1);
    /* Rounded up, so a bin that holds anything shows at least one mark. */
    int width = (int)(((ULONGLONG)count * HISTOGRAM_BAR_WIDTH + fullest - 1) / fullest);
    memset(bar, '*', (size_t)width);
    bar[width] = '\0';
    PutFormatted("#   %9s us %8lu %s\n", range, (unsigned long)count, bar);
}

static void PrintMarker(const HistogramMarker *marker)
{
    char tenths[TIME_TEXT_SIZE];
    PutFormatted("#   ---- %s us: %s\n", FormatTenths(marker->tenthsOfUs, tenths), marker->meaning);
}

void PrintHistogram(const Histogram *histogram, const char *title, const HistogramMarker *markers,
                    int markerCount)
{
    DWORD fullest = FullestBin(histogram);
    PutFormatted("# %s, %d us bins:\n", title, HISTOGRAM_BIN_US);
    if (fullest == 0) {
        PutText("#   none\n");
        return;
    }
    int marker = 0;
    for (int bin = 0; bin < HISTOGRAM_BINS; bin++) {
        LONGLONG binStartTenths = (LONGLONG)bin * HISTOGRAM_BIN_US * 10;
        for (; marker < markerCount && markers[marker].tenthsOfUs <= binStartTenths; marker++)
            PrintMarker(&markers[marker]);
        if (histogram->bins[bin] > 0)
            PrintBin(bin, histogram->bins[bin], fullest);
    }
    for (; marker < markerCount; marker++)
        PrintMarker(&markers[marker]);
}
