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
 * change and costs nothing until the exit sequence ends it.
 *
 * Everything here runs on the receiver thread only.
 */
#include "receiver_line.h"

/* Written by OpenReceiverPort, read by the later steps; receiver thread only. */
static HANDLE portHandle = INVALID_HANDLE_VALUE;

static void ParkReceiverThread(const char *why)
{
    OutputDebugStringA(why);
    for (;;)
        Sleep(INFINITE);
}

void OpenReceiverPort(int portNumber)
{
    char name[] = "\\\\.\\COM0";
    name[7] = (char)(name[7] + portNumber);

    portHandle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, NULL);
    if (portHandle == INVALID_HANDLE_VALUE)
        ParkReceiverThread("remote control: cannot open the receiver port; receiver stopped\n");

    DCB dcb;
    if (!GetCommState(portHandle, &dcb))
        ParkReceiverThread("remote control: cannot read the receiver port settings; receiver stopped\n");
    dcb.BaudRate = 2400;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fDtrControl = DTR_CONTROL_DISABLE; /* flag bits 4-5 cleared */
    dcb.fRtsControl = RTS_CONTROL_DISABLE; /* flag bits 12-13 cleared */
    if (!SetCommState(portHandle, &dcb))
        ParkReceiverThread("remote control: cannot configure the receiver port; receiver stopped\n");

    if (!SetCommMask(portHandle, EV_RLSD))
        ParkReceiverThread("remote control: cannot watch carrier-detect; receiver stopped\n");
}

void RaiseRts(void)
{
    DCB dcb;
    if (!GetCommState(portHandle, &dcb))
        ParkReceiverThread("remote control: cannot read the receiver port settings; receiver stopped\n");
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (!SetCommState(portHandle, &dcb))
        ParkReceiverThread("remote control: cannot switch RTS on; receiver stopped\n");
}

BOOL WaitLineChange(void)
{
    DWORD word;
    if (!WaitCommEvent(portHandle, &word, NULL))
        ParkReceiverThread("remote control: waiting on the receiver port failed; receiver stopped\n");
    if (!GetCommModemStatus(portHandle, &word))
        ParkReceiverThread("remote control: cannot read carrier-detect; receiver stopped\n");
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
    OpenCom1,
    WaitLineChange,
    ReadPerformanceCounter,
    ReadPerformanceFrequency,
};
