/*
 * The command dispatcher: what each command number does.  Most numbers become a window message
 * posted to the media player, found afresh by its window class on every command; 1 closes or
 * starts the player, 14 logs the user off, 15 suspends the machine; numbers outside the table
 * do nothing.  Messages are only ever posted, never sent, so a busy or hung player can never
 * block the program.  Window thread only.
 */
#ifndef DISPATCHER_H
#define DISPATCHER_H

#include "../common/shared.h"

#define PLAYER_MAIN_CLASS "Winamp v1.x"
#define PLAYER_PLAYLIST_CLASS "Winamp PE"
#define PLAYER_EXECUTABLE "C:\\PROGRA~1\\WINAMP\\winamp.exe"

/* Performs the command's row of the table. */
void DispatchCommand(CommandNumber number);

/* Posts WM_COMMAND(id, 0) to `window`.  0 when posted; 1 when the window is null or the post
   failed. */
int PostPlayerCommand(HWND window, unsigned id);

/* Posts `message` to `window`.  0 when posted; 1 when the window is null or the post failed. */
int PostPlayerMessage(HWND window, unsigned message, WPARAM wParam, LPARAM lParam);

#endif
