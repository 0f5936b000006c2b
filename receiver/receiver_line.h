/*
 * The receiver line: the one place where the program meets the infrared hardware.  A line
 * delivers the changes of the receiver's output (carrier-detect: off during an infrared burst,
 * on in the gap after it) and the counter that times them.  Keeping the counter with the line
 * lets a recorded line supply its own clock, so the decoder, the whole program and the tools run
 * the same code on a real port and on a recording.
 *
 * Two lines exist: the serial line (COM1 and the performance counter) and the replay line (a
 * pulse/space recording with a virtual counter; see replay_line.h).  A line that cannot deliver
 * changes (no port, a port that fails) parks its thread for good instead of reporting anything,
 * unless a tool has installed a failure handler for the serial line (SetPortFailureHandler).
 */
#ifndef RECEIVER_LINE_H
#define RECEIVER_LINE_H

#include <windows.h>

typedef struct ReceiverLine {
    /* Prepares the line; for the serial line, opens COM1 and then switches RTS on. */
    void (*openLine)(void);
    /* Blocks until the line changes; TRUE when it is now on.  A change made while nobody
       waits is kept, so the next wait returns at once. */
    BOOL (*waitLineChange)(void);
    /* The counter that times the changes, and its rate in ticks per second. */
    void (*readCounter)(LARGE_INTEGER *count);
    void (*readFrequency)(LARGE_INTEGER *frequency);
} ReceiverLine;

/* COM1 on the carrier-detect input, timed by the performance counter. */
extern const ReceiverLine SerialReceiverLine;

/* The serial line's steps, in the order the receiver thread takes them. */
void OpenReceiverPort(int portNumber);
void RaiseRts(void);
BOOL WaitLineChange(void);

/* Called when a serial step fails, with what failed ("cannot open the receiver port") and the
   system's error still in GetLastError.  A handler that returns leaves the thread parked. */
typedef void (*PortFailureHandler)(const char *failedStep);

/* Replaces the park on a port failure (NULL restores it); before the line is opened. */
void SetPortFailureHandler(PortFailureHandler handler);

#endif
