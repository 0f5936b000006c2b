/*
 * The names ir-monitor's parts share, and the tests reach: the line tap (line_tap.cpp), the
 * report (line_report.cpp, whose rooms share report.h) and the session that runs them
 * (ir_monitor.cpp).  Each file says at its top what it is for and why it is built so.
 *
 * One thread reads the line, and it writes every field the tap and the report keep, holding the
 * session's lock.  Whatever ends the tool (the end of a recording, a failing port, a failed write
 * on the output's writer thread, Ctrl+C on a thread the system starts) takes that lock first, so
 * it reads those fields only while the reading thread is not inside the tap or the report.
 */
#ifndef IR_MONITOR_H
#define IR_MONITOR_H

#include "../../receiver/frame_decoder.h"
#include "report_stream.h"

/* The line tap: a receiver line that keeps every change it passes on (line_tap.cpp). */

typedef struct TappedChange {
    BOOL on;             /* the line's new state: on ends a burst, off ends a gap */
    LONGLONG stamp;      /* the tapped line's counter when the wait returned */
    LONGLONG ticks;      /* since the previous change (the burst or gap that ended); 0 for the first */
    LONG decoderTicks;   /* what the decoder takes for that interval: signed 32-bit ticks since
                            its previous counter read */
    LONGLONG decoderSpan;  /* the same interval in 64 bits: where it differs from decoderTicks,
                              the decoder's reading wrapped */
} TappedChange;

/* Runs for every change, after its stamp and before the wait returns to the decoder. */
typedef void (*TapChangeHandler)(const TappedChange *change);

/* One frame's changes: the leader's two and two for each data pair. */
enum { TAP_HISTORY = 2 + 2 * FRAME_DATA_PAIRS };

/* Makes the tap forward to `line` and forget every earlier change; returns the tap as a line.
   Each change is stamped, counted and handed to `onChange` holding `lock` (none if NULL), and so
   are the decoder's counter reads. */
const ReceiverLine *TapLine(const ReceiverLine *line, TapChangeHandler onChange, CRITICAL_SECTION *lock);

/* The change `back` changes before the latest (0: the latest); NULL if not kept or none. */
const TappedChange *RecentChange(int back);

/* How many changes the tap has passed on. */
DWORD TappedChangeCount(void);

/* The tapped line's time as the reading thread last saw it: the latest change's stamp or the
   decoder's latest counter read.  Read under the lock, unlike the line's own counter, which a
   replay moves while it plays. */
LONGLONG TapLatestCounter(void);

/* Where the decoder began measuring: its last counter read before the first change (the first
   change's own stamp if it read none).  Its first burst is measured from here. */
LONGLONG TapStartStamp(void);

/* The tapped line's counter now, and its rate. */
LONGLONG ReadTappedCounter(void);
LONGLONG ReadTappedFrequency(void);

/* The report: the '#' lines around the frame lines, and the capture (line_report.cpp and its rooms). */

/* Starts a report for a line counting `frequency` ticks per second; with `raw` a capture too,
   and frame lines become '#' lines.  Nothing is written yet, so a summary can be printed from
   here on, even before the line is open. */
void StartReport(LONGLONG frequency, BOOL raw);

/* The capture's header with `raw`, then the decoder's limits; written at once. */
void WriteReportHeader(void);

/* Takes one change into the counts, the histograms, the near misses and the capture. */
void ReportChange(const TappedChange *change);

/* The frame line and the leader and data lines of a frame ReadFrame has just returned. */
void ReportFrame(FrameCode code);

/* Ends the capture with the burst in progress, if any, as ending at `counterNow`; then the
   counts and both histograms, as '#' lines, and flushes. */
void ReportSummary(LONGLONG counterNow);

/* The verdicts the summary ends in, by their first words (tools/ir-monitor/verdict.cpp), which
   package/README.txt lists word for word: the 6 "fits"-like ones where this remote was seen, in
   the order the rules put them, then the others in the order they win. */
typedef enum VerdictKind {
    VERDICT_FITS,
    VERDICT_AT_THE_EDGE,
    VERDICT_NO_FRAME_COMPLETED,
    VERDICT_NO_LENGTHENING_FITS,
    VERDICT_TOO_LITTLE,
    VERDICT_TOO_MUCH,
    VERDICT_FIRST_PAIR_DECODED,
    VERDICT_ONLY_THE_FIRST_FRAME,
    VERDICT_DEAD_LINE,
    VERDICT_POWER_UP,
    VERDICT_LAMP_FLICKER,
    VERDICT_ANOTHER_REMOTE,
    VERDICT_NO_LEADER,
    VERDICT_KINDS
} VerdictKind;
extern const char *const VERDICT_OPENINGS[VERDICT_KINDS];

/* The session (ir_monitor.cpp). */

enum {
    MONITOR_EXIT_BAD_INPUT = 2,     /* bad arguments, a bad recording or too slow a counter */
    MONITOR_EXIT_PORT_FAILED = 3,
    MONITOR_EXIT_OUTPUT_LOST = 4,   /* a write failed (the usage's too), or lines were dropped */
    /* The slowest counter the report can show figures for: each leader window still holds 16
       ticks here, and real counters run at 1,193,182 Hz and faster.  Below it the windows
       collapse to a few ticks, or to none, and every figure is rounding. */
    MONITOR_MIN_COUNTER_HZ = 100000
};

/* The report's lock, the output on `out` and the Ctrl+C handler, before anything that takes
   time (the check of a recording); StartMonitor does it when nothing has. */
void PrepareMonitor(HANDLE out);

/* Opens `line` behind the tap and starts the report on `out` (see StartReport). */
void StartMonitor(const ReceiverLine *line, BOOL raw, HANDLE out);

/* Reads and reports frames for ever; the line's end or failure ends the process. */
void MonitorFrames(void);

/* Ends the capture, prints the summary, with what the output dropped, and flushes the output;
   from here on the calling thread may wait for the output. */
void FinishMonitor(void);

/* Takes the report for good, prints the summary (or, when nothing was played yet, a line that
   says so), writes everything and exits with `exitCode`, or with MONITOR_EXIT_OUTPUT_LOST
   instead of 0 when lines were dropped. */
void EndMonitor(UINT exitCode);

/* Monitors COM1 to standard output until stopped; exits MONITOR_EXIT_PORT_FAILED when the port
   fails.  Returns MONITOR_EXIT_BAD_INPUT, after saying why, when the machine's counter is slower
   than MONITOR_MIN_COUNTER_HZ. */
int ListenOnCom1(BOOL raw);

/* The tool: `--raw` and a recording, or none, from the command line; returns the exit code
   when it ends by itself (the usage asked for, bad arguments, a bad recording, too slow a
   counter). */
int RunIrMonitor(const char *commandLine);

#endif
