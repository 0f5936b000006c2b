/*
 * How the tools write text: through Win32 handles, since they link no C runtime.
 *
 * Standard output is buffered here, in two buffers: the producing thread fills one while a
 * writer thread of its own writes the other with WriteFile, when the producer flushes and at
 * least every OUTPUT_WRITE_MS.  So the thread that reads the receiver line never waits for a
 * console (a slow one, or one whose window has a selection, which stops every write), and no
 * line waits long in a buffer.  Only when a whole buffer fills before the writer has emptied the
 * other does the producer write it itself.  Where the writer cannot be started (and on the host,
 * whose stand-in runs no threads) the producer writes when it flushes.  Lines end in LF alone,
 * so the Windows tool prints the same bytes as the host one.  Error messages go to standard error
 * at once.  Text is formatted by wvsprintfA, which every Windows has but which knows no
 * 64-bit conversions: 64-bit numbers are first made into text by FormatUnsigned64.
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
    OUTPUT_WRITE_MS = 250        /* the longest a flushed or unflushed line waits for the writer */
};

/* `value` in decimal (base 10) or upper-case hexadecimal (base 16), with leading zeros up to
   `minDigits`; returns `text`. */
const char *FormatUnsigned64(ULONGLONG value, unsigned base, int minDigits, char text[NUMBER_TEXT_SIZE]);

/* Sends the buffered output to `handle` from now on, written by the writer thread, which is
   started the first time. */
void StartOutput(HANDLE handle);
void PutText(const char *text);
void PutFormatted(const char *format, ...);
/* Has what the buffer holds written now: by the writer, or here when there is none. */
void FlushOutput(void);
/* Writes what the buffer holds on this thread, after any write under way; for the end. */
void WritePendingOutput(void);

/* A message on standard error, written at once. */
void PutError(const char *format, ...);

/* A message on standard output, written at once: a tool's usage when it is asked for.  The
   report's lines go through PutText. */
void PutOutputNow(const char *format, ...);

/* The system's text for `error`, without the line end it comes with, converted for the console
   when standard error is one. */
const char *DescribeSystemError(DWORD error, char text[SYSTEM_TEXT_SIZE]);

#endif
