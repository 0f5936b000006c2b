/*
 * Names every part of the program shares: the title by which other processes find the hidden
 * window, the two private window messages, and the two number types that travel between the
 * receiver, the window and the dispatcher.  Everything else stays private to its own folder.
 *
 * Built against the real <windows.h> for Windows and against the test stand-in of the same
 * name on the host; nothing here may depend on which.
 */
#ifndef REMOTE_SHARED_H
#define REMOTE_SHARED_H

#include <windows.h>

/* Window class name, window title, tray tip and caption of the exit question. */
#define PROGRAM_TITLE "Pelkorn Remote Control v2.1"

/* wParam = command number; lParam = 0 when the receiver posts it.  Other processes post it too. */
#define WM_REMOTE_COMMAND (WM_USER)

/* Callback message of the tray icon; lParam = the mouse message that happened over the icon. */
#define WM_TRAY_NOTIFY (WM_USER + 1)

/* 0..15 are code table indexes; every other value may arrive from another process. */
typedef unsigned int CommandNumber;

/* A decoded infrared frame: 49 significant bits (48..0), the rest always zero. */
typedef unsigned long long FrameCode;

/* The first instruction of each shipped program, which links no C runtime: it gathers what the
   program needs from the system, runs it and hands its exit code to ExitProcess. */
extern "C" void ProgramEntry(void);

#endif
