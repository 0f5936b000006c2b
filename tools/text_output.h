/*
 * How the tools write text: through Win32 handles, since they link no C runtime.
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
 * No WriteFile is given more than 16 KiB, however much waits: older consoles refuse large writes
 * (ERROR_NOT_ENOUGH_MEMORY), and one that refuses even that is given halves, down to 256 bytes.
 *
 * Lines end in LF alone in files and pipes, so a capture and the host tool's output are the
 * same bytes everywhere; to a console (a handle GetConsoleMode accepts) every LF is written as CR
 * LF, the Windows line end, on standard output and in error messages alike.  Error messages go
 * to standard error at once.  Text is formatted by wvsprintfA, which every Windows has but which
 * knows no 64-bit conversions: 64-bit numbers are first made into text by FormatUnsigned64.
 *
 * Messages (PutError, PutOutputNow) fit an 80-column console, every Windows 9x console and cmd's
 * default window: a line wider than MESSAGE_COLUMNS is broken at the last blank that fits, and
 * goes on on lines indented by the width of its leading tool name and ": " (12 blanks after
 * "ir-monitor: ", 13 after "remote-send: "), so the tool's name stands alone at the left.  A word
 * longer than the room left, a path most often, is broken at the column limit.  A system's text
 * of several lines is made one line first, so it wraps with the rest.
 *
 * A system's error text is in the ANSI code page; written to a console it is converted to the
 * console's own (OEM) code page, so accented letters of a non-English Windows read right there,
 * while a redirected file keeps the bytes Windows gave.
 *
 * One thread produces at a time: ir-monitor's reading thread, or the one that stops it, which
 * first takes the report's lock (ir-monitor/ir_monitor.cpp).  The bytes reach the handle in the
 * order produced.
 */
#ifndef TEXT_OUTPUT_H
#define TEXT_OUTPUT_H

#include "../common/format_text.h"

enum {
    NUMBER_TEXT_SIZE = 24,   /* any 64-bit number in decimal or hexadecimal, with its NUL */
    SYSTEM_TEXT_SIZE = 200,
    OUTPUT_WRITE_MS = 250,          /* the longest a flushed or unflushed line waits for the writer */
    OUTPUT_BUFFER_SIZE = 1 << 20,   /* a power of two: the ring's positions wrap with a DWORD */
    MESSAGE_COLUMNS = 79,           /* a message line's widest: an 80th character would wrap */
    MESSAGE_PREFIX_LIMIT = 16       /* the widest tool name and ": " that continuation lines match */
};

/* `value` in decimal (base 10) or upper-case hexadecimal (base 16), with leading zeros up to
   `minDigits`; returns `text`. */
const char *FormatUnsigned64(ULONGLONG value, unsigned base, int minDigits, char text[NUMBER_TEXT_SIZE]);

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

/* A message on standard error, written at once; lost if it cannot be. */
void PutError(const char *format, ...);

/* A message on standard output, written at once: a tool's usage when it is asked for.  Returns
   0 when it was written, else the system's error.  The report's lines go through PutText. */
DWORD PutOutputNow(const char *format, ...);

/* The system's text for `error`, without the line end it comes with, converted for the console
   when standard error is one. */
const char *DescribeSystemError(DWORD error, char text[SYSTEM_TEXT_SIZE]);

#endif
