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
 * The first change of the line gets a line of its own at once, so the wiring can be confirmed
 * before any frame decodes.  Output is flushed after the header, after a frame, after a near
 * miss and where a burst begins after at least 20 ms of quiet line; the writer thread
 * (text_output.h) does the writing, and writes whatever is left at least every 250 ms, so no line
 * waits longer than that.  Where there is no writer thread the flushes happen on the reading
 * thread, at moments when writing cannot fall between two close edges (after a frame, the next
 * frame's leader burst has just begun).
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

/* Starts a report for a line counting `frequency` ticks per second; with `raw` a capture too
   (raw_capture.h), and frame lines become '#' lines.  Nothing is written yet, so a summary can
   be printed from here on, even before the line is open. */
void StartReport(LONGLONG frequency, BOOL raw);

/* The report's header on the tool's output (text_output.h): the capture's header with `raw`,
   then the decoder's limits; written at once. */
void WriteReportHeader(void);

/* Takes one change into the counts, the histograms, the near misses and the capture. */
void ReportChange(const TappedChange *change);

/* The frame line and the leader and data lines of a frame ReadFrame has just returned. */
void ReportFrame(FrameCode code);

/* The counts and both histograms, as '#' lines, and flushes. */
void ReportSummary(void);

#endif
