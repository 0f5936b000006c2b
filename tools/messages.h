/*
 * The tools' messages: errors on standard error and a usage on standard output, each written
 * at once through Win32 handles, since the tools link no C runtime.  ir-monitor's report goes
 * another way, through a buffer that never holds up the line it times (ir-monitor/report_stream.h).
 *
 * Messages fit an 80-column console, every Windows 9x console and cmd's default window: a line
 * wider than TEXT_COLUMNS is broken at the last blank that fits (FitWords, which ir-monitor's
 * report lines break by too), and goes on on lines indented by the width of its leading tool
 * name and ": " (12 blanks after "ir-monitor: ", 13 after "remote-send: "), so the tool's name
 * stands alone at the left.  A word longer than the room left, a path most often, is broken at
 * the column limit.  A system's text of several lines is made one line first, so it wraps with
 * the rest.  To a console (a handle GetConsoleMode accepts) every LF is written as CR LF.
 *
 * A system's error text is in the ANSI code page; written to a console it is converted to the
 * console's own (OEM) code page, so accented letters of a non-English Windows read right there,
 * while a redirected file keeps the bytes Windows gave.
 *
 * No WriteFile is given more than 16 KiB: older consoles refuse large writes
 * (ERROR_NOT_ENOUGH_MEMORY), and one that refuses even that is given halves, down to 256 bytes.
 */
#ifndef MESSAGES_H
#define MESSAGES_H

#include "../common/format_text.h"

enum {
    /* A line's widest, messages and report alike: an 80-column console moves to a new line by
       itself after the 80th column, so a line of 80 and its line end would show an empty line. */
    TEXT_COLUMNS = 79,
    MESSAGE_PREFIX_LIMIT = 16,  /* the widest tool name and ": " that continuation lines match */
    SYSTEM_TEXT_SIZE = 200
};

/* How much of `text` (`length` characters) goes on a line with `room` columns left: all of it
   if it fits, else up to the last blank from `least` to `room`, else `room` (a word longer than
   the room).  The one place where the tools' text is broken between words. */
int FitWords(const char *text, int length, int room, int least);

/* Writes `length` bytes of `text` to `handle`, in pieces of at most 16 KiB, and smaller ones
   while a console short of its heap refuses them.  FALSE, with the system's error, when a write
   fails or takes nothing. */
BOOL WriteAll(HANDLE handle, const char *text, DWORD length, DWORD *error);

/* A message on standard error, written at once; lost if it cannot be. */
void PutError(const char *format, ...);

/* A message on standard output, written at once: a tool's usage when it is asked for.  Returns
   0 when it was written, else the system's error. */
DWORD PutOutputNow(const char *format, ...);

/* The system's text for `error`, without the line end it comes with, converted for the console
   when standard error is one. */
const char *DescribeSystemError(DWORD error, char text[SYSTEM_TEXT_SIZE]);

#endif
