/*
 * The replay line: plays a recorded pulse/space text (recording_format.h) in place of the serial
 * port, with a virtual counter, so the decoder, the whole program and the tools run without a
 * receiver.  After the last item the line keeps its state and never changes again, as a silent
 * port would.
 *
 * The text is ASCII or UTF-8, with or without a UTF-8 byte-order mark (as Notepad may save it),
 * or UTF-16LE with its byte-order mark (as Windows PowerShell 5.1 saves `ir-monitor --raw >
 * file`); each reads as the same recording.  Characters beyond ASCII belong in comments.
 *
 * A recording is checked whole before it is played; bad input is refused with a message that
 * names the file and line, or the file alone for a folder and for a UTF-16 the line does not
 * read.  Playing reads the file again item by item, so a recording of any length plays in fixed
 * memory, and reads only as far as the check did, so a file that another program is still
 * writing plays as it was checked, without a last line it has not finished.
 */
#ifndef REPLAY_LINE_H
#define REPLAY_LINE_H

#include "receiver_line.h"

enum {
    REPLAY_DEFAULT_FREQUENCY = 10000000,
    REPLAY_ERROR_SIZE = 300
};

/* Called when the recording has no change left.  With none, the replaying thread parks for good. */
typedef void (*ReplayEndHandler)(void);

/*
 * Checks `path` and makes it the replay line's source, replacing any earlier one.  `paced` plays
 * gaps of 10 ms or more in real time, each capped at 2 s, for a running program; a tool passes
 * FALSE and never waits.  On failure returns FALSE with "file:line: reason" in `error`.
 */
BOOL LoadReplayRecording(const char *path, BOOL paced, ReplayEndHandler atEnd, char *error, int errorSize);

/* Whether the recording loaded last holds a pulse or a space at least: one that holds neither
   loads, and plays no change. */
BOOL ReplayRecordingHoldsItems(void);

/* After a refused recording, the system's error when the file could not be opened or read;
   0 when its content was refused. */
DWORD ReplayRecordingSystemError(void);

/* Ends the current replay, closing its file. */
void CloseReplayRecording(void);

extern const ReceiverLine ReplayReceiverLine;

#endif
