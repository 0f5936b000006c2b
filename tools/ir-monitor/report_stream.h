/*
 * How ir-monitor's report reaches standard output without ever holding up the line it times.
 *
 * Standard output goes through a ring buffer of OUTPUT_BUFFER_SIZE bytes, in static storage: the
 * producing thread copies each text into it, and a writer thread of its own writes it out with
 * WriteFile when the producer flushes and at least every OUTPUT_WRITE_MS.  The producer never
 * writes and never waits for the writer, however long a write takes (a console whose window has
 * a selection stops every write, a pipe's reader may pause, a disk may be slow): ir-monitor's
 * producer is the thread that times the receiver line.  The buffer holds more than a minute of
 * `ir-monitor --raw` on a held key; if it fills all the same, each text that does not fit is
 * dropped whole (the producer passes whole lines), and the first text that fits again is
 * preceded by a '#' line saying how many lines and bytes were dropped there.  The totals stay
 * for the tool's summary and its exit code.  Once the tool is ending (FinishOutput), nothing is
 * dropped any more: the ending thread waits for room instead.  A producer with no live line to
 * keep pace with (ir-monitor playing a recording) waits so from the start (OutputNeverDrops):
 * losing lines would buy it nothing.  Where the writer cannot be started (and on the host
 * unless its stand-in runs threads) the producer writes when it flushes or when the buffer is
 * full, and nothing is dropped.
 *
 * A write that fails stops the output for good: nothing more is written, and the failure
 * handler given to StartOutput is called with the system's error, on whichever thread wrote.
 * Writes go through WriteAll (messages.h), in pieces a console accepts.
 *
 * Lines end in LF alone in files and pipes, so a capture and the host tool's output are the
 * same bytes everywhere; to a console (a handle GetConsoleMode accepts) every LF is written as CR
 * LF, the Windows line end.  Text is formatted by wvsprintfA, which every Windows has but which
 * knows no 64-bit conversions: 64-bit numbers are first made into text by FormatUnsigned64.
 *
 * One thread produces at a time: ir-monitor's reading thread, or the one that stops it, which
 * first takes the report's lock (ir_monitor.cpp).  The bytes reach the handle in the order
 * produced.
 */
#ifndef REPORT_STREAM_H
#define REPORT_STREAM_H

#include "../messages.h"
#include "../number_text.h"

enum {
    OUTPUT_WRITE_MS = 250,          /* the longest a flushed or unflushed line waits for the writer */
    OUTPUT_BUFFER_SIZE = 1 << 20    /* a power of two: the ring's positions wrap with a DWORD */
};

/* Called once when a write to standard output fails, with the system's error. */
typedef void (*OutputFailureHandler)(DWORD error);

/* Sends the buffered output to `handle` from now on, written by the writer thread, which is
   started if there is none yet; forgets what was buffered, dropped or failed before. */
void StartOutput(HANDLE handle, OutputFailureHandler onFailure);
/* Buffers whole lines; see above for what happens when the buffer is full. */
void PutText(const char *text);
void PutFormatted(const char *format, ...);
/* Has what the buffer holds written soon: by the writer, or here when there is none. */
void FlushOutput(void);
/* From now on the producer may wait: a full buffer is written on its own thread, and nothing is
   dropped.  For a producer that reads no live line; StartOutput undoes it. */
void OutputNeverDrops(void);
/* The same for the tool's end, and places the note of a gap still open. */
void FinishOutput(void);
/* Writes what the buffer holds on this thread, after any write under way; for the end. */
void WritePendingOutput(void);

/* What was dropped since StartOutput because the buffer was full. */
ULONGLONG OutputLinesDropped(void);
ULONGLONG OutputBytesDropped(void);

#endif
