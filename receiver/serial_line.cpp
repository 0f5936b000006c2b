/*
 * The serial receiver line: COM1's carrier-detect input, timed by the performance counter.
 *
 * The port is opened exclusively and synchronously, set to 2400 baud 8N1 with both outputs off,
 * armed to report carrier-detect changes only, and then RTS is switched on as a separate step
 * because the receiver module draws its power from RTS.  No byte is ever read or written.
 *
 * A port that cannot be opened or configured, or a wait that fails, would otherwise make the
 * time-critical receiver thread spin on calls that return at once with no meaning.  Instead the
 * line says why through OutputDebugStringA and parks the thread for good: it never reports a
 * change and costs nothing until the exit sequence ends it.  A tool that may stop where the
 * program must not (ir-monitor reports the failure and exits) installs its own failure handler,
 * which sees the failed step straight after the failing call, with its error still set.
 *
 * Everything here runs on the receiver thread only (for a tool, on the thread that reads the line).
 */
#include "receiver_line.h"

/* Written by OpenReceiverPort, read by the later steps; receiver thread only. */
static HANDLE portHandle = INVALID_HANDLE_VALUE;

/* Written by SetPortFailureHandler before the line is opened; NULL parks the thread. */
static PortFailureHandler portFailureHandler;

void SetPortFailureHandler(PortFailureHandler handler) { portFailureHandler = handler; }

/* Says "remote control: <step>; receiver stopped" to the debugger, then sleeps for good. */
static void ParkReceiverThread(const char *failedStep)
{
    char message[120];
    wsprintfA(message, "remote control: %s; receiver stopped\n", failedStep);
    OutputDebugStringA(message);
    for (;;)
        Sleep(INFINITE);
}

static void FailPort(const char *failedStep)
{
    if (portFailureHandler != NULL)
        portFailureHandler(failedStep);
    ParkReceiverThread(failedStep);
}

void OpenReceiverPort(int portNumber)
{
    char name[] = "\\\\.\\COM0";
    name[7] = (char)(name[7] + portNumber);

    portHandle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, NULL);
    if (portHandle == INVALID_HANDLE_VALUE)
        FailPort("cannot open the receiver port");

    DCB dcb;
    if (!GetCommState(portHandle, &dcb))
        FailPort("cannot read the receiver port settings");
    dcb.BaudRate = 2400;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fDtrControl = DTR_CONTROL_DISABLE; /* flag bits 4-5 cleared */
    dcb.fRtsControl = RTS_CONTROL_DISABLE; /* flag bits 12-13 cleared */
    if (!SetCommState(portHandle, &dcb))
        FailPort("cannot configure the receiver port");

    if (!SetCommMask(portHandle, EV_RLSD))
        FailPort("cannot watch carrier-detect");
}

void RaiseRts(void)
{
    DCB dcb;
    if (!GetCommState(portHandle, &dcb))
        FailPort("cannot read the receiver port settings");
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (!SetCommState(portHandle, &dcb))
        FailPort("cannot switch RTS on");
}

BOOL WaitLineChange(void)
{
    DWORD word;
    if (!WaitCommEvent(portHandle, &word, NULL))
        FailPort("waiting on the receiver port failed");
    if (!GetCommModemStatus(portHandle, &word))
        FailPort("cannot read carrier-detect");
    return (word & MS_RLSD_ON) != 0;
}

static void OpenCom1(void)
{
    OpenReceiverPort(1);
    RaiseRts();
}

static void ReadPerformanceCounter(LARGE_INTEGER *count) { QueryPerformanceCounter(count); }

static void ReadPerformanceFrequency(LARGE_INTEGER *frequency) { QueryPerformanceFrequency(frequency); }

const ReceiverLine SerialReceiverLine = {
    .openLine = OpenCom1,
    .waitLineChange = WaitLineChange,
    .readCounter = ReadPerformanceCounter,
    .readFrequency = ReadPerformanceFrequency,
};
