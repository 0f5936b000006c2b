/*
 * What ir-monitor says about the receiver line, beside the frame lines it has always printed:
 * where each decoded frame lies against the decoder's limits, pairs that just miss the leader
 * windows, and at the end a summary with histograms of burst and gap lengths.  Every line but
 * the frame line itself begins with '#', so `grep -v '^#'` gives the frames alone.
 *
 * The limits are the decoder's own at the line's counter rate (its units converted to ticks as
 * it converts them), shown in microseconds.  Figures about pairs use the ticks the decoder took
 * for them (line_tap.h); the histograms and the capture use the time between changes.
 *
 * Output is buffered and flushed at moments when writing cannot fall between two close edges:
 * after a frame (the next frame's leader burst, if any, has just begun), and where a burst
 * begins after at least 20 ms of quiet line.  A near miss is flushed at once, since it is what a
 * user waits to see; at worst that delays the stamp of one data edge of a frame that was not
 * going to decode anyway.
 *
 * One thread writes all of this (the one reading the line); the summary may also be printed by
 * the thread that stops the tool on Ctrl+C, which only reads the counts.
 */
#ifndef LINE_REPORT_H
#define LINE_REPORT_H

#include "line_tap.h"

enum {
    NEAR_MISS_PERCENT = 20,        /* how far outside a window a near miss may lie */
    NEAR_MISS_INTERVAL_MS = 100,   /* at most one near miss shown per this much line time */
    QUIET_BEFORE_FLUSH_MS = 20     /* a burst after this long a gap is a safe moment to write */
};

/* Starts a report on the tool's output (text_output.h) for a line counting `frequency` ticks per
   second: its header, then with `raw` the capture's header too (raw_capture.h), and frame lines
   become '#' lines. */
void StartReport(LONGLONG frequency, BOOL raw);

/* Takes one change into the counts, the histograms, the near misses and the capture. */
void ReportChange(const TappedChange *change);

/* The frame line and the leader and data lines of a frame ReadFrame has just returned. */
void ReportFrame(FrameCode code);

/* The counts and both histograms, as '#' lines, and flushes. */
void ReportSummary(void);

#endif
