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
 * the summary of what has been seen so far and exits 0, on COM1 or during a recording; during
 * the check of a recording, before anything is played, it says so in one '#' line instead.
 *
 * On COM1 the output never holds up the reading thread (report_stream.h), so what it cannot take
 * in time is dropped.  A recording has no live line to keep pace with, so its reading thread
 * waits for the output instead and loses nothing (`ir-monitor capture.ir | more` behind a
 * paused pager).  A failed write ends the tool.  Either way the output is not what it should
 * be, and the exit code says so: 4, after the summary has repeated what was dropped, or at once
 * on a failed write, with the system's reason on standard error.  A pipe whose reader has gone
 * (`ir-monitor capture.ir | more`, then quitting) ends the tool with 4 too, but quietly, as a
 * pipe's writer usually ends.  A usage asked for that cannot be written ends it with 4 as well.
 * So: 0 all seen and written, 2 bad arguments or a bad recording, 3 COM1 failed, 4 output lost.
 *
 * The main thread runs the monitor; the console's stop event arrives on a thread of its own
 * (see StopOnConsoleEvent), and is handled from before the recording is checked.  The reading
 * thread reports each change and each frame holding the report's lock (the tap stamps and counts
 * each change under it too); whatever ends the tool takes that lock for good before it prints
 * the summary, so the summary is whole and nothing is written after it.
 *
 * ProgramEntry is the tool's first instruction: it links no C runtime, so it reads its own
 * command line and hands its exit code to ExitProcess.  Output goes through Win32 handles
 * (report_stream.h for the report, ../messages.h for messages).
 */
#include "ir_monitor.h"

#include "../../common/command_line.h"
#include "../../receiver/replay_line.h"

/* Written by the main thread before the line is read (lineOpen and reportStarted under the
   report's lock). */
static const ReceiverLine *tappedLine;
static BOOL lineOpen;
static BOOL reportStarted;   /* the summary can be printed */
static BOOL captureRaw;      /* --raw: the output is a capture */
static BOOL lineTimeIsReal;  /* the line's counter runs by itself (COM1), so the end reads it */
static BOOL prepared;        /* PrepareMonitor has run for the coming StartMonitor */
/* Held by the reading thread while it reports; taken for good by whatever ends the tool. */
static CRITICAL_SECTION reportLock;
static BOOL lockReady;

static BOOL WINAPI StopOnConsoleEvent(DWORD event);

/* Whether a write failed because the pipe's reader has gone: Windows says ERROR_NO_DATA or
   ERROR_BROKEN_PIPE, Wine ERROR_PIPE_NOT_CONNECTED. */
static BOOL IsClosedPipe(DWORD error)
{
    return error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED;
}

/* Says why standard output cannot be written, unless the reader of a pipe has gone.  Windows 95
   may report a closed pipe under another error; it then reads as a failed write, with its reason. */
static void SayOutputLost(DWORD error)
{
    if (IsClosedPipe(error))
        return;
    char text[SYSTEM_TEXT_SIZE];
    PutError("ir-monitor: cannot write the output: %s (error %lu)\n", DescribeSystemError(error, text),
             (unsigned long)error);
}

/* The output's failure handler, on whichever thread wrote: ends the tool with 4, saying why. */
static void StopOnOutputFailure(DWORD error)
{
    EnterCriticalSection(&reportLock);
    SayOutputLost(error);
    ExitProcess(MONITOR_EXIT_OUTPUT_LOST);
}

void PrepareMonitor(HANDLE out)
{
    if (!lockReady) {
        InitializeCriticalSection(&reportLock);
        lockReady = TRUE;
    }
    EnterCriticalSection(&reportLock);
    reportStarted = FALSE;
    lineOpen = FALSE;
    LeaveCriticalSection(&reportLock);
    lineTimeIsReal = FALSE;
    StartOutput(out, StopOnOutputFailure);
    SetConsoleCtrlHandler(StopOnConsoleEvent, TRUE);
    prepared = TRUE;
}

void StartMonitor(const ReceiverLine *line, BOOL raw, HANDLE out)
{
    if (!prepared)
        PrepareMonitor(out);
    prepared = FALSE;
    EnterCriticalSection(&reportLock);
    tappedLine = TapLine(line, ReportChange, &reportLock);
    StartReport(ReadTappedFrequency(), raw);
    captureRaw = raw;
    reportStarted = TRUE;
    LeaveCriticalSection(&reportLock);
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

/* After the summary: what the output dropped, if anything. */
static void ReportOutputLoss(void)
{
    if (OutputBytesDropped() == 0)
        return;
    char lines[NUMBER_TEXT_SIZE], bytes[NUMBER_TEXT_SIZE];
    PutFormatted("# output fell behind: %s lines (%s bytes) dropped in all\n",
                 FormatUnsigned64(OutputLinesDropped(), 10, 1, lines), FormatUnsigned64(OutputBytesDropped(), 10, 1, bytes));
    if (captureRaw)
        PutText("# so this capture is incomplete: it lacks those lines\n");
    FlushOutput();
}

void FinishMonitor(void)
{
    FinishOutput();
    ReportSummary(lineTimeIsReal ? ReadTappedCounter() : TapLatestCounter());
    ReportOutputLoss();
}

void EndMonitor(UINT exitCode)
{
    EnterCriticalSection(&reportLock);
    FinishOutput();
    if (reportStarted)
        FinishMonitor();
    else
        PutText("# stopped while the recording was checked: nothing was played\n");
    WritePendingOutput();
    ExitProcess(exitCode == 0 && OutputBytesDropped() > 0 ? (UINT)MONITOR_EXIT_OUTPUT_LOST : exitCode);
}

/* The recording is released first: whatever waits for the summary, the file is free. */
static void FinishAtEndOfRecording(void)
{
    CloseReplayRecording();
    EndMonitor(0);
}

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
    PrepareMonitor(GetStdHandle(STD_OUTPUT_HANDLE));
    OutputNeverDrops();
    if (!LoadReplayRecording(path, FALSE, FinishAtEndOfRecording, error, sizeof error)) {
        DWORD why = ReplayRecordingSystemError();
        char text[SYSTEM_TEXT_SIZE];
        if (why != 0)
            PutError("ir-monitor: %s: %s (error %lu)\n", error, DescribeSystemError(why, text), (unsigned long)why);
        else
            PutError("ir-monitor: %s\n", error);
        prepared = FALSE;
        return MONITOR_EXIT_BAD_INPUT;
    }
    if (!RecordingIsMonitorable(path)) {
        CloseReplayRecording();
        prepared = FALSE;
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
    else
        FinishOutput();
    WritePendingOutput();
    PutError("ir-monitor: COM1: %s: %s (error %lu)\n", failedStep, DescribeSystemError(error, text),
             (unsigned long)error);
    if (error == ERROR_ACCESS_DENIED)
        PutError("ir-monitor: is remote-control.exe running? It holds COM1; close it first.\n");
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
    PrepareMonitor(GetStdHandle(STD_OUTPUT_HANDLE));
    lineTimeIsReal = TRUE;
    StartMonitor(&SerialReceiverLine, raw, GetStdHandle(STD_OUTPUT_HANDLE));
    EnterCriticalSection(&reportLock);
    PutError("ir-monitor: listening on COM1; press keys on the remote, Ctrl+C to stop\n");
    LeaveCriticalSection(&reportLock);
    MonitorFrames();
    return 0;
}

/* The usage: on standard output with exit 0 when `asked` (/?, -h, --help), or 4 when it cannot
   be written there; else on standard error with MONITOR_EXIT_BAD_INPUT, for arguments the tool
   cannot take.  Each line fits an 80-column console. */
static int PrintUsage(BOOL asked)
{
#ifdef _WIN32
    static const char usage[] = "usage: ir-monitor [--raw] [RECORDING]\n"
#else
    static const char usage[] = "usage: ir-monitor [--raw] RECORDING   (listening on COM1 is for Windows)\n"
#endif
        "Prints each frame the receiver decodes, with the command numbers it gives, and\n"
        "how its timing lies against the program's limits; a summary at the end.\n"
        "  RECORDING  a pulse/space recording to play to its end; without one,\n"
        "             listen on COM1 until Ctrl+C\n"
        "  --raw      also write the receiver line itself as a recording, so that\n"
        "             ir-monitor --raw > capture.ir captures what the receiver gives\n"
        "Exit codes: 0 done, 2 bad arguments or recording, 3 COM1 failed, 4 output lost\n";
    if (asked) {
        DWORD error = PutOutputNow("%s", usage);
        if (error == 0)
            return 0;
        SayOutputLost(error);
        return MONITOR_EXIT_OUTPUT_LOST;
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
