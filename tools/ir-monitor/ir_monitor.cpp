/*
 * ir-monitor: shows what a remote sends and how far the receiver's timing is from what the
 * program accepts.  For every frame the receiver decodes it prints the code as 16 hex digits and
 * the command numbers the program would act on, or '-' for none:
 *
 *     0x0000800813017261 9 12
 *
 * and around it '#' lines: the frame's leader and data timing against the decoder's limits,
 * pairs that just miss the leader windows, and at the end a summary with histograms of burst
 * and gap lengths.  `--raw` also writes the line as a pulse/space recording, to capture what a
 * receiver delivers (line_report.cpp).
 *
 * Two ways of running: over a recording, played as fast as it can be read, and exit 0 at its
 * end; and, on Windows with no file argument, listening on COM1 as the program does, until
 * Ctrl+C.  Both put the line tap (line_tap.cpp) between the line and the program's own decoder,
 * and report every change and every frame.
 *
 * A recording ends the tool through the replay line's end handler: the summary, then exit 0.
 * The tool refuses, with exit 2, a recording the replay line would play but the report cannot
 * show: one whose counter is slower than MONITOR_MIN_COUNTER_HZ, where the leader windows
 * collapse into rounding, and one with no pulse or space, which would read as a dead receiver.
 * It refuses a machine whose counter is that slow for COM1 too.
 * On COM1, the serial line's failure handler turns a port that cannot be opened, configured or
 * waited on into a message with the system's error text and exit 3 (the program parks its
 * receiver instead: it must not stop, the tool should).  Ctrl+C or closing the console prints
 * the summary of what has been seen so far and exits 0, on COM1 or during a recording.
 *
 * The main thread runs the monitor; the console's stop event arrives on a thread of its own
 * (see StopOnConsoleEvent).  The reading thread reports each change and each frame holding the
 * report's lock; whatever ends the tool takes that lock for good before it prints the summary,
 * so the summary is whole and nothing is written after it.
 *
 * ProgramEntry is the tool's first instruction: it links no C runtime, so it reads its own
 * command line and hands its exit code to ExitProcess.  Output goes through Win32 handles
 * (text_output.h).
 */
#include "ir_monitor.h"

#include "../../common/command_line.h"
#include "../../receiver/replay_line.h"

/* Written by the main thread before the line is read. */
static const ReceiverLine *tappedLine;
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

void FinishMonitor(void) { ReportSummary(ReadTappedCounter()); }

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

/* Whether `line`'s counter is fast enough for the report; if not, says so, after `source`. */
static BOOL CounterRateUsable(const ReceiverLine *line, const char *source)
{
    LARGE_INTEGER rate;
    line->readFrequency(&rate);
    if (rate.QuadPart >= MONITOR_MIN_COUNTER_HZ)
        return TRUE;
    char text[NUMBER_TEXT_SIZE];
    PutError("ir-monitor: %.260s: a counter of %s Hz is too slow; ir-monitor needs %lu Hz at least\n", source,
             FormatUnsigned64(rate.QuadPart > 0 ? (ULONGLONG)rate.QuadPart : 0, 10, 1, text),
             (unsigned long)MONITOR_MIN_COUNTER_HZ);
    return FALSE;
}

/* Checks a loaded recording for what the report needs beyond what the replay line plays: a
   counter rate it can show figures for, and something to play at all (an empty file would read
   as a receiver that never changed). */
static BOOL RecordingIsMonitorable(const char *path)
{
    if (!CounterRateUsable(&ReplayReceiverLine, path))
        return FALSE;
    if (!ReplayRecordingHoldsItems()) {
        PutError("ir-monitor: %.260s: the recording holds no pulse or space, so there is nothing to play\n", path);
        return FALSE;
    }
    return TRUE;
}

/* Monitors a recording to standard output and exits 0 at its end; returns
   MONITOR_EXIT_BAD_INPUT, after saying why, when the recording is refused. */
static int MonitorRecording(const char *path, BOOL raw)
{
    char error[REPLAY_ERROR_SIZE];
    if (!LoadReplayRecording(path, FALSE, FinishAtEndOfRecording, error, sizeof error)) {
        PutError("ir-monitor: %s\n", error);
        return MONITOR_EXIT_BAD_INPUT;
    }
    if (!RecordingIsMonitorable(path)) {
        CloseReplayRecording();
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

int ListenOnCom1(BOOL raw)
{
    if (!CounterRateUsable(&SerialReceiverLine, "COM1"))
        return MONITOR_EXIT_BAD_INPUT;
    SetPortFailureHandler(StopOnPortFailure);
    StartMonitor(&SerialReceiverLine, raw, GetStdHandle(STD_OUTPUT_HANDLE));
    EnterCriticalSection(&reportLock);
    PutError("ir-monitor: listening on COM1; press keys on the remote, Ctrl+C to stop\n");
    LeaveCriticalSection(&reportLock);
    MonitorFrames();
    return 0;
}

/* The usage: on standard output with exit 0 when `asked` (/?, -h, --help), else on standard
   error with MONITOR_EXIT_BAD_INPUT, for arguments the tool cannot take. */
static int PrintUsage(BOOL asked)
{
#ifdef _WIN32
    static const char usage[] = "usage: ir-monitor [--raw] [RECORDING]   (no recording: listen on COM1)\n";
#else
    static const char usage[] = "usage: ir-monitor [--raw] RECORDING   (listening on COM1 is for Windows)\n";
#endif
    if (asked) {
        PutOutputNow("%s", usage);
        return 0;
    }
    PutError("%s", usage);
    return MONITOR_EXIT_BAD_INPUT;
}

int RunIrMonitor(const char *commandLine)
{
    static char argumentText[COMMAND_LINE_SIZE];
    char *arguments[2];
    int count = SplitArguments(commandLine, argumentText, sizeof argumentText, arguments, 2);
    for (int i = 0; i < count && i < 2; i++)
        if (ArgumentAsksForHelp(arguments[i]))
            return PrintUsage(TRUE);
    BOOL raw = count > 0 && ArgumentIs(arguments[0], "--raw");
    int first = raw ? 1 : 0;
    if (count - first > 1 || (count - first == 1 && arguments[first][0] == '-'))
        return PrintUsage(FALSE);
    if (count - first == 1)
        return MonitorRecording(arguments[first], raw);
#ifdef _WIN32
    return ListenOnCom1(raw);
#else
    return PrintUsage(FALSE);
#endif
}

/* The unit tests link the session beside the program's own ProgramEntry, and build it without
   this one. */
#ifndef WITHOUT_PROGRAM_ENTRY
extern "C" void ProgramEntry(void) { ExitProcess((UINT)RunIrMonitor(GetCommandLineA())); }
#endif
