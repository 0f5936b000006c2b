/*
 * The code table and the receiver thread.  The thread reads frames for ever and posts
 * WM_REMOTE_COMMAND, with the table index as the command number, to the window it was given,
 * once for every table entry equal to the frame (entries 9 and 12 share a code, so that frame
 * posts 9, then 12).  Posting is the thread's only way to reach the rest of the program.
 *
 * The thread handle belongs to the window thread: StartReceiver and StopReceiver run there.
 */
#ifndef CODE_TABLE_H
#define CODE_TABLE_H

#include "../common/shared.h"
#include "receiver_line.h"

enum { CODE_TABLE_SIZE = 16 };

extern const FrameCode CodeTable[CODE_TABLE_SIZE];

/* Chooses the line the receiver thread reads; the serial line unless told otherwise.
   Only before StartReceiver. */
void SelectReceiverLine(const ReceiverLine *line);

/* Starts the receiver thread at time-critical priority; does nothing if one is running. */
void StartReceiver(HWND window);

/* Ends the receiver thread and waits until it has gone, but no longer than about 2 s: a thread
   stuck in a port driver's wait must not hang the exit. */
void StopReceiver(void);

/* The thread body: never returns. */
DWORD WINAPI ReceiverThread(LPVOID window);

/* Fills `commands` with the index of every entry equal to `code`, ascending; returns how many.
   A code of 0 matches nothing: only noise produces it. */
int FindCommands(FrameCode code, CommandNumber commands[CODE_TABLE_SIZE]);

/* Posts one WM_REMOTE_COMMAND for every entry equal to `code`, in ascending order.
   Returns how many were posted. */
int PostMatchingCommands(HWND window, FrameCode code);

#endif
