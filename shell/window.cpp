/*
 * Start-up, the hidden window and the message loop.
 *
 * The process runs in the real-time priority class so that the receiver thread's timing is not
 * disturbed by ordinary programs; the window thread itself stays at normal priority within that
 * class.  The window is never shown: other processes find it by its class name and post
 * commands or WM_CLOSE to it.
 */
#include "shell.h"

int RunProgram(void)
{
    SetPriorityClass(GetCurrentProcess(), REALTIME_PRIORITY_CLASS);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
    /* Without the window nothing could reach the program: no receiver, no icon, no exit. */
    if (CreateMainWindow() == NULL)
        return 1;
    return RunMessageLoop();
}

HWND CreateMainWindow(void)
{
    HINSTANCE instance = GetModuleHandleA(NULL);
    WNDCLASSA windowClass;
    windowClass.style = 0;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(NULL, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    windowClass.lpszMenuName = NULL;
    windowClass.lpszClassName = PROGRAM_TITLE;
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, PROGRAM_TITLE, PROGRAM_TITLE, WS_POPUPWINDOW, 0, 0, 10, 10, NULL, NULL,
                    instance, NULL);
}

/* GetMessageA answers -1 on an error; the loop then ends as on a quit, after the exit sequence,
   rather than spinning at real-time priority on a call that keeps failing. */
int RunMessageLoop(void)
{
    MSG msg;
    msg.wParam = 0;
    for (;;) {
        BOOL result = GetMessageA(&msg, NULL, 0, 0);
        if (result == 0)
            return (int)msg.wParam;
        if (result == -1) {
            ExitProgram();
            return 1;
        }
        DispatchMessageA(&msg);
    }
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate(hwnd);
        return 0;
    case WM_CLOSE:
        ExitProgram();  /* the window is left to go with the process */
        return 0;
    case WM_TIMER:
        OnBlinkTimer(hwnd, (UINT_PTR)wParam);
        return 0;
    case WM_REMOTE_COMMAND:
        OnRemoteCommand(hwnd, (CommandNumber)wParam);
        return 0;
    case WM_TRAY_NOTIFY:
        OnTrayNotify((UINT)lParam);
        return 0;
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}
