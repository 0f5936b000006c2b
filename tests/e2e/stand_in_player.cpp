/*
 * The stand-in player of the end-to-end tests and of the demo: it takes the media player's place
 * by owning two hidden top-level windows of the player's classes, "Winamp v1.x" (main window) and
 * "Winamp PE" (playlist window), and writes down what reaches them.
 *
 * One line per message, written and flushed at once:
 *     <elapsed ms> TAB <window class> TAB 0x<message, 4 hex digits> TAB <wParam, decimal> TAB
 *     0x<lParam, 8 hex digits> TAB <message name> TAB <performance counter> TAB <posted at>
 * The counter is QueryPerformanceCounter read as the message was retrieved (or the sent message
 * arrived); it is system-wide, so other processes can time their posts by it.  "Posted at" is
 * the message's own time (GetMessageTime: the system tick count when it was put in the queue;
 * for a sent message, the tick count when it arrived), so a sender's deeds can be dated apart
 * from how late the stand-in got round to them.
 * Every message retrieved by the message loop for one of the two windows (that is, every posted
 * message) is logged, and so are the sent WM_QUERYENDSESSION and WM_ENDSESSION of a log-off.
 * A first line "<ms> TAB stand-in TAB started TAB <pid>" tells that it runs.
 *
 * Usage: stand-in-player [options] [LOG]
 *   LOG                     log file, appended to; without it the PLAYER_LOG environment
 *                           variable names it (the program under test starts the player with
 *                           no arguments)
 *   --stdout                also print each message, readably, on standard output
 *   --refuse-end-session    answer WM_QUERYENDSESSION with FALSE, so a log-off spares it
 *   --never-read            a hung player: create the windows, write the started line, then
 *                           sleep for ever without ever reading the message queue
 * WM_CLOSE is only logged, so a test can see it and keep going.  The stand-in ends when its main
 * window is sent or posted STAND_IN_QUIT (WM_APP), or when killed.
 */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "../support/command_table.h"

static HANDLE logFile = INVALID_HANDLE_VALUE;
static bool echoToStdout;
static bool refuseEndSession;
static bool neverRead;
static DWORD startTicks;

static void WriteLine(HANDLE out, const char *line, int length)
{
    DWORD written;
    if (out != INVALID_HANDLE_VALUE && out != NULL)
        WriteFile(out, line, (DWORD)length, &written, NULL);
}

static void LogMessage(const char *windowClass, UINT message, WPARAM wParam, LPARAM lParam,
                       const char *note, LONGLONG counter, DWORD postedAt)
{
    char line[256];
    unsigned long elapsed = GetTickCount() - startTicks;
    int length = snprintf(line, sizeof line, "%lu\t%s\t0x%04X\t%lu\t0x%08lX\t%s%s\t%llu\t%lu\r\n", elapsed,
                          windowClass, message, (unsigned long)wParam,
                          (unsigned long)(DWORD)lParam, PlayerMessageName(message), note,
                          (unsigned long long)counter, (unsigned long)postedAt);
    WriteLine(logFile, line, length);
    if (logFile != INVALID_HANDLE_VALUE)
        FlushFileBuffers(logFile);
    if (echoToStdout) {
        length = snprintf(line, sizeof line, "player %6lu ms  %-12s %-18s (0x%04X)  wParam %-6lu lParam 0x%08lX%s\n",
                          elapsed, windowClass, PlayerMessageName(message), message,
                          (unsigned long)wParam, (unsigned long)(DWORD)lParam, note);
        WriteLine(GetStdHandle(STD_OUTPUT_HANDLE), line, length);
    }
}

static LONGLONG CounterNow(void)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

static const char *ClassOf(HWND window)
{
    static char name[64];
    if (!GetClassNameA(window, name, sizeof name))
        lstrcpyA(name, "?");
    return name;
}

static LRESULT CALLBACK PlayerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_QUERYENDSESSION:
        LogMessage(ClassOf(window), message, wParam, lParam,
                   refuseEndSession ? " refused" : " agreed", CounterNow(), GetTickCount());
        return refuseEndSession ? FALSE : TRUE;
    case WM_ENDSESSION:
        LogMessage(ClassOf(window), message, wParam, lParam, "", CounterNow(), GetTickCount());
        return 0;
    case WM_CLOSE:
        return 0; /* never destroyed by a close: the test decides when the player goes */
    case STAND_IN_QUIT:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static bool OpenLog(const char *path)
{
    if (!path || !*path)
        return false;
    logFile = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    return logFile != INVALID_HANDLE_VALUE;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    startTicks = GetTickCount();
    const char *logPath = NULL;
    for (int i = 1; i < __argc; ++i) {
        const char *arg = __argv[i];
        if (strcmp(arg, "--stdout") == 0)
            echoToStdout = true;
        else if (strcmp(arg, "--refuse-end-session") == 0)
            refuseEndSession = true;
        else if (strcmp(arg, "--never-read") == 0)
            neverRead = true;
        else if (arg[0] == '-' && arg[1] == '-')
            return 2;
        else
            logPath = arg;
    }
    if (!logPath)
        logPath = getenv("PLAYER_LOG");
    if (!OpenLog(logPath) && !echoToStdout)
        return 2; /* nowhere to write: a silent stand-in would make every test pass vacuously */

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = PlayerWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = PLAYER_MAIN_CLASS;
    RegisterClassA(&windowClass);
    windowClass.lpszClassName = PLAYER_PLAYLIST_CLASS;
    RegisterClassA(&windowClass);

    HWND mainWindow = CreateWindowExA(0, PLAYER_MAIN_CLASS, "Stand-in player", WS_POPUP, 0, 0, 275, 116,
                                      NULL, NULL, instance, NULL);
    HWND playlistWindow = CreateWindowExA(0, PLAYER_PLAYLIST_CLASS, "Stand-in playlist", WS_POPUP, 0, 116,
                                          275, 232, NULL, NULL, instance, NULL);
    if (!mainWindow || !playlistWindow)
        return 3;

    char started[64];
    snprintf(started, sizeof started, "%lu", (unsigned long)GetCurrentProcessId());
    {
        char line[128];
        int length = snprintf(line, sizeof line, "%lu\tstand-in\tstarted\t%s\r\n",
                              GetTickCount() - startTicks, started);
        WriteLine(logFile, line, length);
        if (echoToStdout) {
            length = snprintf(line, sizeof line, "player started (pid %s)\n", started);
            WriteLine(GetStdHandle(STD_OUTPUT_HANDLE), line, length);
        }
    }

    if (neverRead)
        for (;;)
            Sleep(INFINITE);

    MSG msg;
    int got;
    while ((got = GetMessageA(&msg, NULL, 0, 0)) != 0) {
        LONGLONG retrievedAt = CounterNow();
        if (got == -1)
            return 4;
        if (msg.hwnd == mainWindow || msg.hwnd == playlistWindow)
            LogMessage(ClassOf(msg.hwnd), msg.message, msg.wParam, msg.lParam, "", retrievedAt, msg.time);
        DispatchMessageA(&msg);
    }
    return 0;
}
