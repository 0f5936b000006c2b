/*
 * Text histograms of interval lengths for ir-monitor's summary: 50 us bins, only the bins that
 * hold anything printed, each with a bar scaled to the fullest bin.  Marker lines name the
 * decoder's limits (bit threshold, leader windows) where they fall among the bins, so a cluster
 * is seen at a glance on the right or the wrong side of a limit.  Everything from 5 ms up (pauses
 * between frames, seconds between key presses) shares one last bin, so a long run prints at
 * most about a hundred lines per histogram.
 *
 * One thread writes a histogram (the one reading the line); the summary only reads it.
 */
#ifndef HISTOGRAM_H
#define HISTOGRAM_H

#include <windows.h>

enum {
    HISTOGRAM_BIN_US = 50,
    HISTOGRAM_TOP_US = 5000,  /* this and longer: the last bin */
    HISTOGRAM_BINS = HISTOGRAM_TOP_US / HISTOGRAM_BIN_US + 1,
    HISTOGRAM_BAR_WIDTH = 40
};

typedef struct Histogram {
    DWORD bins[HISTOGRAM_BINS];
} Histogram;

/* A limit to show among the bins: where it lies, in tenths of a microsecond, and what it is. */
typedef struct HistogramMarker {
    LONGLONG tenthsOfUs;
    const char *meaning;
} HistogramMarker;

void ClearHistogram(Histogram *histogram);
void AddToHistogram(Histogram *histogram, LONGLONG microseconds);

/* `title`, then the bins and, in their places, the markers (ascending), as '#' lines on the
   tool's output (text_output.h). */
void PrintHistogram(const Histogram *histogram, const char *title, const HistogramMarker *markers,
                    int markerCount);

#endif
