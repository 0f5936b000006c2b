/*
 * What the rooms of ir-monitor's report share, and nothing else reaches: the entry points
 * (line_report.cpp) call on the building of one '#' line (report_line.cpp), the histograms
 * (histogram.cpp), the --raw capture (capture.cpp) and the verdict (verdict.cpp).  Each room
 * keeps its own state, started afresh by its Start function from StartReport.
 */
#ifndef REPORT_H
#define REPORT_H

#include "ir_monitor.h"

/* The decoder's limits in ticks at the line's rate; each is excluded from its window. */
typedef struct DecoderLimits {
    LONGLONG leaderBurstMin, leaderBurstMax;
    LONGLONG leaderGapMin, leaderGapMax;
    LONGLONG bitThreshold;  /* a longer gap is a 1 */
} DecoderLimits;

/* Within the near-miss margin of the window: no further below `min` or above `max` than that
   (line_report.cpp). */
BOOL IsNear(LONGLONG ticks, LONGLONG min, LONGLONG max);

/* One '#' line, and its figures (report_line.cpp). */

enum {
    REPORT_LINE_SIZE = 1024,       /* one report line, with its continuations (the verdict's too) */
    MILLISECONDS_PER_SECOND = 1000,
    TENTHS_PER_US = 10,
    TIME_TEXT_SIZE = NUMBER_TEXT_SIZE + 2
};

typedef struct ReportLine {
    char text[REPORT_LINE_SIZE];
    int length;
    int lineStart;  /* where the last of its output lines begins */
} ReportLine;

/* A blank in a text given to AppendWords where no break may fall: between a figure and its unit. */
static const char TIE = '~';

/* The counter rate the figures are converted from. */
void StartFigures(LONGLONG frequency);
/* Adds formatted text to `line` as it is, cut where the line is full. */
void Append(ReportLine *line, const char *format, ...);
/* Adds a phrase: formatted text that begins with a blank, or with one mark and a blank (", gap
   30 us above 1760 us"), which goes on a '#' line of its own where it would not fit. */
void AppendPhrase(ReportLine *line, const char *format, ...);
/* Adds formatted prose, broken between words where it would not fit; TIE keeps two words together. */
void AppendWords(ReportLine *line, const char *format, ...);
/* Ends the line and buffers it for the output. */
void WriteLine(ReportLine *line);

/* A figure as text: a 64-bit number, signed, in whole microseconds or in tenths of one. */
typedef struct Figure {
    char text[TIME_TEXT_SIZE];
} Figure;

/* `ticks` in the unit a line shows: whole microseconds, or with `tenths` tenths of one. */
LONGLONG InUnit(LONGLONG ticks, BOOL tenths);
/* "628.6": tenths of a microsecond written as a decimal. */
const char *FormatTenths(LONGLONG tenths, char text[TIME_TEXT_SIZE]);
/* `value` as it stands: whole, or with `tenths` in tenths. */
Figure UnitText(LONGLONG value, BOOL tenths);
/* `ticks` in whole microseconds, and in tenths of one. */
Figure Us(LONGLONG ticks);
Figure Tenths(LONGLONG ticks);

/* The summary's histograms of burst and gap lengths (histogram.cpp). */

void StartHistograms(void);
/* Counts a burst (line off) or a gap (line on) of `microseconds`. */
void AddToHistograms(BOOL burst, LONGLONG microseconds);
/* Both histograms, with the limits marked among their bins. */
void PrintHistograms(const DecoderLimits *limits);
/* "850-899~us": the fullest bin of the bursts' or the gaps' histogram, for the verdict; FALSE,
   and no text, when that histogram is empty. */
BOOL DescribeFullestBin(BOOL burst, char text[2 * TIME_TEXT_SIZE]);

/* The --raw capture (capture.cpp). */

void StartCapture(LONGLONG frequency);
/* The capture's header lines. */
void WriteCaptureHeader(void);
/* Writes the interval `change` ends. */
void CaptureChange(const TappedChange *change);
/* Writes the burst in progress, if any, as ending at `counterNow`. */
void EndCapture(LONGLONG counterNow);

/* The verdict (verdict.cpp). */

void StartVerdict(LONGLONG frequency, const DecoderLimits *limits);
/* The pair a gap's end has closed, as the decoder measured it: `leader` if the decoder takes it,
   `nearMiss` if it misses the windows by a little. */
void NoteVerdictPair(const TappedChange *burstEnd, const TappedChange *gapEnd, BOOL leader, BOOL nearMiss);
/* What one leader-like pair says of the receiver's lengthening, in whole microseconds. */
LONG PairLengtheningUs(LONGLONG burstTicks, LONGLONG gapTicks);
/* A frame ReadFrame has returned, led by the pair whose gap ended at `leaderGapEnd`. */
void NoteVerdictFrame(const TappedChange *leaderGapEnd, BOOL matching);
/* The summary's last line. */
void WriteVerdict(void);

#endif
