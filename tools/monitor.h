/*
 * ir-monitor's two ways of running: over a recording, played as fast as it can be read, and
 * listening on COM1 as the program does.  Both put the line tap (line_tap.h) between the line
 * and the program's own decoder, and report every change and every frame (line_report.h).
 *
 * A recording ends the tool through the replay line's end handler: the summary, then exit 0.
 * On COM1, the serial line's failure handler turns a port that cannot be opened, configured or
 * waited on into a message with the system's error text and exit 3 (the program parks its
 * receiver instead: it must not stop, the tool should).  Ctrl+C or closing the console prints
 * the summary of what has been seen so far and exits 0, on COM1 or during a recording.
 *
 * The main thread runs the monitor; the console's stop event arrives on a thread of its own
 * (see StopOnConsoleEvent).  The reading thread reports each change and each frame holding the
 * report's lock; whatever ends the tool takes that lock for good before it prints the summary,
 * so the summary is whole and nothing is written after it.
 */
#ifndef MONITOR_H
#define MONITOR_H

#include "../receiver/receiver_line.h"

enum {
    MONITOR_EXIT_BAD_INPUT = 2,     /* bad arguments or a bad recording */
    MONITOR_EXIT_PORT_FAILED = 3
};

/* Opens `line` behind the tap and starts the report on `out` (see StartReport). */
void StartMonitor(const ReceiverLine *line, BOOL raw, HANDLE out);

/* Reads and reports frames for ever; the line's end or failure ends the process. */
void MonitorFrames(void);

/* Ends the capture, prints the summary and flushes the output. */
void FinishMonitor(void);

/* Monitors a recording to standard output and exits 0 at its end; returns
   MONITOR_EXIT_BAD_INPUT, after saying why, when the recording is refused. */
int MonitorRecording(const char *path, BOOL raw);

/* Monitors COM1 to standard output until stopped; exits MONITOR_EXIT_PORT_FAILED when the port fails. */
void ListenOnCom1(BOOL raw);

/* The tool: `--raw` and a recording, or none, from the command line; returns the exit code
   when it ends by itself (bad arguments or a bad recording). */
int RunIrMonitor(const char *commandLine);

#endif
