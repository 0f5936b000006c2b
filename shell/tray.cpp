/*
 * The tray icon, its activity blink, the exit question and the exit sequence.
 *
 * The tray record is kept in its original 88-byte form, which every shell accepts; after the
 * icon has been added only its picture is ever changed.  The blink is a one-shot 50 ms timer
 * restarted by each command, so a burst of commands lights the icon once and lets it go idle
 * once, 50 ms after the last.
 *
 * Window thread only; the receiver reaches these handlers only through posted messages.
 */
#include "shell.h"

#include "../commands/dispatcher.h"
#include "../receiver/code_table.h"

#if defined(_WIN32) && !defined(_WIN64)
static_assert(TRAY_RECORD_SIZE == 88, "the 32-bit tray record is 88 bytes");
#endif

static NOTIFYICONDATAA TrayIconData;
static HICON idleIcon;
static HICON activeIcon;
static int iconLit;
static int exiting;  /* set by ExitProgram: nothing queued behind it is acted on any more */

static void ShowTrayPicture(HICON picture)
{
    TrayIconData.hIcon = picture;
    Shell_NotifyIconA(NIM_MODIFY, &TrayIconData);
}

void OnCreate(HWND hwnd)
{
    HINSTANCE instance = GetModuleHandleA(NULL);
    idleIcon = LoadIconA(instance, MAKEINTRESOURCEA(ICON_IDLE));
    activeIcon = LoadIconA(instance, MAKEINTRESOURCEA(ICON_ACTIVE));

    StartReceiver(hwnd);
    exiting = 0;
    iconLit = 0;

    TrayIconData.cbSize = (DWORD)TRAY_RECORD_SIZE;
    TrayIconData.hWnd = hwnd;
    TrayIconData.uID = 0;
    TrayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    TrayIconData.uCallbackMessage = WM_TRAY_NOTIFY;
    TrayIconData.hIcon = idleIcon;
    lstrcpyA(TrayIconData.szTip, PROGRAM_TITLE);
    Shell_NotifyIconA(NIM_ADD, &TrayIconData);
    TrayIconData.uFlags = NIF_ICON;
}

void OnRemoteCommand(HWND hwnd, CommandNumber number)
{
    if (exiting)
        return;
    SetTimer(hwnd, BLINK_TIMER_ID, BLINK_MS, NULL);
    if (!iconLit) {
        ShowTrayPicture(activeIcon);
        iconLit = 1;
    }
    DispatchCommand(number);
}

void OnBlinkTimer(HWND hwnd, UINT_PTR timerId)
{
    KillTimer(hwnd, timerId);
    if (exiting)
        return;  /* the icon has been removed */
    ShowTrayPicture(idleIcon);
    iconLit = 0;
}

/* Only the release of the right button asks; the question box has no owner and its own loop,
   so commands keep being handled while it is open.  A click queued behind WM_CLOSE asks
   nothing: the program is already ending. */
void OnTrayNotify(UINT mouseMessage)
{
    if (exiting || mouseMessage != WM_RBUTTONUP)
        return;
    if (MessageBoxA(NULL, EXIT_QUESTION, PROGRAM_TITLE, EXIT_QUESTION_STYLE) == IDYES)
        ExitProgram();
}

/* The receiver goes first, so no command is posted once the exit has begun; commands already
   queued before the quit message are dropped, so nothing reaches the player after the user has
   said Yes.  It runs once: a second WM_CLOSE, or a Yes to a question that was open when
   WM_CLOSE came, finds the exit already done. */
void ExitProgram(void)
{
    if (exiting)
        return;
    exiting = 1;
    StopReceiver();
    Shell_NotifyIconA(NIM_DELETE, &TrayIconData);
    PostQuitMessage(0);
}
