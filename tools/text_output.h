/*
 * How the tools write text: through Win32 handles, since they link no C runtime.
 *
 * Standard output is buffered here and written with WriteFile when the buffer fills or the
 * caller flushes, so ir-monitor chooses the moments it writes (line_report.h); lines end in LF
 * alone, so the Windows tool prints the same bytes as the host one.  Error messages go to standard
 * error at once.  Text is formatted by wvsprintfA, which every Windows has but which knows no
 * 64-bit conversions: 64-bit numbers are first made into text by FormatUnsigned64.
 *
 * A system's error text is in the ANSI code page; written to a console it is converted to the
 * console's own (OEM) code page, so accented letters of a non-English Windows read right there,
 * while a redirected file keeps the bytes Windows gave.
 *
 * One thread writes at a time: ir-monitor's reading thread, or the one that stops it, which
 * first takes the report's lock (monitor.h).
 */
#ifndef TEXT_OUTPUT_H
#define TEXT_OUTPUT_H

#include <windows.h>

enum {
    NUMBER_TEXT_SIZE = 24,   /* any 64-bit number in decimal or hexadecimal, with its NUL */
    FORMATTED_TEXT_SIZE = 1025,  /* wvsprintfA's longest result and its NUL */
    SYSTEM_TEXT_SIZE = 200
};

/* `value` in decimal (base 10) or upper-case hexadecimal (base 16), with leading zeros up to
   `minDigits`; returns `text`. */
const char *FormatUnsigned64(ULONGLONG value, unsigned base, int minDigits, char text[NUMBER_TEXT_SIZE]);

/* Sends the buffered output to `handle` from now on. */
void StartOutput(HANDLE handle);
void PutText(const char *text);
void PutFormatted(const char *format, ...);
/* Writes what the buffer holds. */
void FlushOutput(void);

/* A message on standard error, written at once. */
void PutError(const char *format, ...);

/* The system's text for `error`, without the line end it comes with, converted for the console
   when standard error is one. */
const char *DescribeSystemError(DWORD error, char text[SYSTEM_TEXT_SIZE]);

#endif
