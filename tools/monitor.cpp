/*
 * Running ir-monitor over a recording or COM1; see monitor.h.
 */
#include "monitor.h"

#include "../receiver/replay_line.h"
#include "line_report.h"
#include "line_tap.h"
#include "raw_capture.h"

#include <stdlib.h>

enum { SYSTEM_TEXT_SIZE = 200 };

/* Written by the main thread before the line is read. */
static const ReceiverLine *tappedLine;
static BOOL rawMode;
static BOOL lineOpen;
/* Set by the first console stop event, so a second one does not print the summary again. */
static volatile BOOL stopping;

static BOOL WINAPI StopOnConsoleEvent(DWORD event);

void StartMonitor(const ReceiverLine *line, BOOL raw, FILE *out)
{
    SetConsoleCtrlHandler(StopOnConsoleEvent, TRUE);
    rawMode = raw;
    lineOpen = FALSE;
    tappedLine = TapLine(line, ReportChange);
    tappedLine->openLine();
    lineOpen = TRUE;
    StartReport(out, ReadTappedFrequency(), raw);
}

void MonitorFrames(void)
{
    for (;;)
        ReportFrame(ReadFrame(tappedLine));
}

void FinishMonitor(void)
{
    if (rawMode)
        EndCapture(ReadTappedCounter());
    ReportSummary();
}

static void FinishAtEndOfRecording(void)
{
    FinishMonitor();
    exit(0);
}

int MonitorRecording(const char *path, BOOL raw)
{
    char error[REPLAY_ERROR_SIZE];
    if (!LoadReplayRecording(path, FALSE, FinishAtEndOfRecording, error, sizeof error)) {
        fprintf(stderr, "ir-monitor: %s\n", error);
        return MONITOR_EXIT_BAD_INPUT;
    }
    StartMonitor(&ReplayReceiverLine, raw, stdout);
    MonitorFrames();
    return 0;
}

/* The system's text for `error`, without the line end it comes with. */
static const char *DescribeSystemError(DWORD error, char text[SYSTEM_TEXT_SIZE])
{
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, error, 0, text,
                                  SYSTEM_TEXT_SIZE, NULL);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == ' '))
        length--;
    text[length] = '\0';
    return length > 0 ? text : "no text for this error";
}

/* The serial line's failure handler: the summary of what was seen, if the line ever opened,
   then why it stopped. */
static void StopOnPortFailure(const char *failedStep)
{
    DWORD error = GetLastError();
    char text[SYSTEM_TEXT_SIZE];
    if (lineOpen)
        FinishMonitor();
    fprintf(stderr, "ir-monitor: COM1: %s: %s (error %lu)\n", failedStep, DescribeSystemError(error, text),
            (unsigned long)error);
    if (error == ERROR_ACCESS_DENIED)
        fprintf(stderr, "ir-monitor: is the remote control program running? It holds COM1; close it first.\n");
    exit(MONITOR_EXIT_PORT_FAILED);
}

/* Ctrl+C, Ctrl+Break or the console closing, on COM1 or during a long recording; runs on a
   thread the system starts for it. */
static BOOL WINAPI StopOnConsoleEvent(DWORD event)
{
    (void)event;
    if (stopping)
        return TRUE;
    stopping = TRUE;
    FinishMonitor();
    exit(0);
}

void ListenOnCom1(BOOL raw)
{
    SetPortFailureHandler(StopOnPortFailure);
    StartMonitor(&SerialReceiverLine, raw, stdout);
    fprintf(stderr, "ir-monitor: listening on COM1; press keys on the remote, Ctrl+C to stop\n");
    MonitorFrames();
}
