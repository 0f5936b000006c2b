/*
 * Running ir-monitor over a recording or COM1; see monitor.h.
 */
#include "monitor.h"

#include "../common/command_line.h"
#include "../receiver/replay_line.h"
#include "line_report.h"
#include "line_tap.h"
#include "raw_capture.h"
#include "text_output.h"

/* Written by the main thread before the line is read. */
static const ReceiverLine *tappedLine;
static BOOL rawMode;
static BOOL lineOpen;
static BOOL reportStarted;  /* the summary can be printed */
/* Held by the reading thread while it reports; taken for good by whatever ends the tool. */
static CRITICAL_SECTION reportLock;
static BOOL lockReady;

static BOOL WINAPI StopOnConsoleEvent(DWORD event);

static void ReportChangeLocked(const TappedChange *change)
{
    EnterCriticalSection(&reportLock);
    ReportChange(change);
    LeaveCriticalSection(&reportLock);
}

void StartMonitor(const ReceiverLine *line, BOOL raw, HANDLE out)
{
    if (!lockReady) {
        InitializeCriticalSection(&reportLock);
        lockReady = TRUE;
    }
    StartOutput(out);
    rawMode = raw;
    lineOpen = FALSE;
    tappedLine = TapLine(line, ReportChangeLocked);
    StartReport(ReadTappedFrequency(), raw);
    reportStarted = TRUE;
    SetConsoleCtrlHandler(StopOnConsoleEvent, TRUE);
    tappedLine->openLine();
    EnterCriticalSection(&reportLock);
    lineOpen = TRUE;
    WriteReportHeader();
    LeaveCriticalSection(&reportLock);
}

void MonitorFrames(void)
{
    for (;;) {
        FrameCode code = ReadFrame(tappedLine);
        EnterCriticalSection(&reportLock);
        ReportFrame(code);
        LeaveCriticalSection(&reportLock);
    }
}

void FinishMonitor(void)
{
    if (rawMode)
        EndCapture(ReadTappedCounter());
    ReportSummary();
}

/* Takes the report for good, prints the summary if the report has begun, and ends the tool. */
static void EndMonitor(UINT exitCode)
{
    EnterCriticalSection(&reportLock);
    if (reportStarted)
        FinishMonitor();
    WritePendingOutput();
    ExitProcess(exitCode);
}

static void FinishAtEndOfRecording(void) { EndMonitor(0); }

int MonitorRecording(const char *path, BOOL raw)
{
    char error[REPLAY_ERROR_SIZE];
    if (!LoadReplayRecording(path, FALSE, FinishAtEndOfRecording, error, sizeof error)) {
        PutError("ir-monitor: %s\n", error);
        return MONITOR_EXIT_BAD_INPUT;
    }
    StartMonitor(&ReplayReceiverLine, raw, GetStdHandle(STD_OUTPUT_HANDLE));
    MonitorFrames();
    return 0;
}

/* The serial line's failure handler: the summary of what was seen, if the line ever opened,
   then why it stopped. */
static void StopOnPortFailure(const char *failedStep)
{
    DWORD error = GetLastError();
    char text[SYSTEM_TEXT_SIZE];
    EnterCriticalSection(&reportLock);
    if (lineOpen)
        FinishMonitor();
    WritePendingOutput();
    PutError("ir-monitor: COM1: %s: %s (error %lu)\n", failedStep, DescribeSystemError(error, text),
             (unsigned long)error);
    if (error == ERROR_ACCESS_DENIED)
        PutError("ir-monitor: is the remote control program running? It holds COM1; close it first.\n");
    ExitProcess(MONITOR_EXIT_PORT_FAILED);
}

/* Ctrl+C, Ctrl+Break or the console closing, on COM1 or during a long recording; runs on a
   thread the system starts for it.  A second event waits on the lock the first one holds. */
static BOOL WINAPI StopOnConsoleEvent(DWORD event)
{
    (void)event;
    EndMonitor(0);
    return TRUE;
}

void ListenOnCom1(BOOL raw)
{
    SetPortFailureHandler(StopOnPortFailure);
    StartMonitor(&SerialReceiverLine, raw, GetStdHandle(STD_OUTPUT_HANDLE));
    EnterCriticalSection(&reportLock);
    PutError("ir-monitor: listening on COM1; press keys on the remote, Ctrl+C to stop\n");
    LeaveCriticalSection(&reportLock);
    MonitorFrames();
}

static int PrintUsage(void)
{
#ifdef _WIN32
    PutError("usage: ir-monitor [--raw] [RECORDING]   (no recording: listen on COM1)\n");
#else
    PutError("usage: ir-monitor [--raw] RECORDING   (listening on COM1 is for Windows)\n");
#endif
    return MONITOR_EXIT_BAD_INPUT;
}

int RunIrMonitor(const char *commandLine)
{
    static char argumentText[COMMAND_LINE_SIZE];
    char *arguments[2];
    int count = SplitArguments(commandLine, argumentText, sizeof argumentText, arguments, 2);
    BOOL raw = count > 0 && ArgumentIs(arguments[0], "--raw");
    int first = raw ? 1 : 0;
    if (count - first > 1 || (count - first == 1 && arguments[first][0] == '-'))
        return PrintUsage();
    if (count - first == 1)
        return MonitorRecording(arguments[first], raw);
#ifdef _WIN32
    ListenOnCom1(raw);
#endif
    return PrintUsage();
}
