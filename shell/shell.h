/*
 * The application shell: the window thread.  WinMain raises the process to the real-time
 * priority class, creates one hidden window whose class and title are the program title, and
 * runs the message loop.  The window exists only to receive messages: commands from the
 * receiver thread and from other processes, the tray icon's mouse messages and the blink timer.
 *
 * The tray icon shows the idle picture, switches to the active one on each command and back 50
 * ms after the last; releasing the right button over it asks whether to exit.
 *
 * Everything here runs on the window thread.
 */
#ifndef SHELL_H
#define SHELL_H

#include "../common/shared.h"

#include <stddef.h>

enum {
    ICON_PROGRAM = 101,
    ICON_IDLE = 102,
    ICON_ACTIVE = 103,
    BLINK_TIMER_ID = 0,
    BLINK_MS = 50
};

/* The tray record in its original, smallest form: the fields up to the 64-character tip.  That
   is 88 bytes in the 32-bit program (a 64-bit build has wider handles). */
#define TRAY_RECORD_SIZE (offsetof(NOTIFYICONDATAA, szTip) + 64)

#define EXIT_QUESTION "Do you really want to exit?"
#define EXIT_QUESTION_STYLE (MB_YESNO | MB_ICONEXCLAMATION | MB_SETFOREGROUND | MB_TOPMOST)

/* Start-up and the loop: priorities, window, loop; returns the exit code. */
int RunProgram(void);
HWND CreateMainWindow(void);  /* NULL when the window cannot be created */
int RunMessageLoop(void);
LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

/* Message handlers. */
void OnCreate(HWND hwnd);
void OnRemoteCommand(HWND hwnd, CommandNumber number);
void OnBlinkTimer(HWND hwnd, UINT_PTR timerId);
void OnTrayNotify(UINT mouseMessage);
void ExitProgram(void);

#endif
