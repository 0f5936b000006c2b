/*
 * Code table and receiver thread; see code_table.h.
 *
 * The table holds each key's frame in the decoder's 49-bit form: 48 data bits and a closing
 * pause bit that is 1 for a normal pause.  Entry 14 is 0, the value an all-short frame gives;
 * no key sends that (every real frame carries its maker's code), only noise does, such as lamp
 * flicker after a leader-like pair.  Since entry 14 logs the user off, the thread never looks up
 * a code of 0; command 14 stays reachable by a message posted from another process.
 *
 * Stopping: TerminateThread only queues the end of the thread, so StopReceiver waits on the
 * handle before closing it.  A thread blocked in the port's wait ends only once the port driver
 * has cancelled that wait, and a faulty driver may never do so; the wait is therefore bounded,
 * and the exit goes on without the thread, whose handle is then left open for the end of the
 * process to take with the thread.  A thread killed inside the wait never returns to post, and
 * the window drops any command that arrives once the exit has begun.
 */
#include "code_table.h"

#include "frame_decoder.h"

const FrameCode CodeTable[CODE_TABLE_SIZE] = {
    0x0000000000000001ull,  /*  0 */
    0x000080080201797Bull,  /*  1 */
    0x0000800802001013ull,  /*  2 */
    0x0000800802011113ull,  /*  3 */
    0x000080081200C0D3ull,  /*  4 */
    0x000080080200585Bull,  /*  5 */
    0x000080080201595Bull,  /*  6 */
    0x000080080201090Bull,  /*  7 */
    0x000080080200080Bull,  /*  8 */
    0x0000800813017261ull,  /*  9 */
    0x0000800812018193ull,  /* 10 */
    0x0000800812008093ull,  /* 11 */
    0x0000800813017261ull,  /* 12: the same code as 9 */
    0x0000800812002033ull,  /* 13 */
    0x0000000000000000ull,  /* 14: an all-short frame; never looked up */
    0x000080081300D5C7ull,  /* 15 */
};

/* How long the exit waits for the terminated thread to be gone. */
enum { RECEIVER_STOP_WAIT_MS = 2000 };

/* Window thread only. */
static HANDLE receiverThread;
static const ReceiverLine *receiverLine = &SerialReceiverLine;

void SelectReceiverLine(const ReceiverLine *line) { receiverLine = line; }

int FindCommands(FrameCode code, CommandNumber commands[CODE_TABLE_SIZE])
{
    int found = 0;
    if (code == 0)
        return 0;
    for (CommandNumber index = 0; index < CODE_TABLE_SIZE; index++)
        if (CodeTable[index] == code)
            commands[found++] = index;
    return found;
}

int PostMatchingCommands(HWND window, FrameCode code)
{
    CommandNumber commands[CODE_TABLE_SIZE];
    int found = FindCommands(code, commands);
    for (int i = 0; i < found; i++)
        PostMessageA(window, WM_REMOTE_COMMAND, commands[i], 0);
    return found;
}

DWORD WINAPI ReceiverThread(LPVOID window)
{
    receiverLine->openLine();
    for (;;)
        PostMatchingCommands((HWND)window, ReadFrame(receiverLine));
}

void StartReceiver(HWND window)
{
    DWORD threadId;  /* not used, but Windows 95, 98 and Me create no thread without it */
    if (receiverThread != NULL)
        return;
    receiverThread = CreateThread(NULL, 0, ReceiverThread, window, 0, &threadId);
    SetThreadPriority(receiverThread, THREAD_PRIORITY_TIME_CRITICAL);
}

void StopReceiver(void)
{
    if (receiverThread == NULL)
        return;
    TerminateThread(receiverThread, 1);
    if (WaitForSingleObject(receiverThread, RECEIVER_STOP_WAIT_MS) == WAIT_OBJECT_0)
        CloseHandle(receiverThread);
    receiverThread = NULL;
}
