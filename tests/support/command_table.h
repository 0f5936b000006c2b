/*
 * The command table as the tests see it: for each command number, what the program posts to the
 * player's windows (with the player running) and what else it does.  One table for the unit
 * tests of the dispatcher (tests/unit/dispatcher_test.cpp) and the end-to-end driver
 * (tests/e2e/driver.cpp); the program's own table is commands/dispatcher.cpp, and these rows
 * are what it must do, written down independently of it.
 *
 * Numbers around the acting ones, and ones that equal an acting one in their low 16 bits, are
 * rows too (they do nothing): they catch a widened or truncated match.
 *
 * Plain data, so that it builds against the real <windows.h> and the host stand-in alike.
 */
#ifndef TESTS_COMMAND_TABLE_H
#define TESTS_COMMAND_TABLE_H

#include <windows.h>

/* The player's two windows, by class; the stand-in player (tests/e2e/stand_in_player.cpp) owns
   one of each, and ends when its main window gets STAND_IN_QUIT. */
#define PLAYER_MAIN_CLASS "Winamp v1.x"
#define PLAYER_PLAYLIST_CLASS "Winamp PE"
#define STAND_IN_QUIT WM_APP

enum PlayerWindow { PLAYER_MAIN = 1, PLAYER_PLAYLIST = 2 };

/* One post to a player window; a list of them ends with {}, whose window is 0. */
struct PlayerPost {
    int window; /* PlayerWindow; 0 ends a list */
    unsigned message;
    unsigned long wParam;
    unsigned long lParam;
};

/* What a command does besides its posts. */
enum CommandAction {
    ACTION_POSTS,          /* only the posts (none for a number that does nothing) */
    ACTION_CLOSE_OR_START, /* closes the running player (its post), or starts the player */
    ACTION_LOG_OFF,        /* ExitWindowsEx(EWX_LOGOFF) */
    ACTION_SUSPEND         /* SetSystemPowerState, looked up at run time */
};

#define PLAYER_START_PATH "C:\\PROGRA~1\\WINAMP\\winamp.exe"

/* The double click 21594 posts: the left button at (32, 4). */
#define PLAYER_CLICK_LPARAM 0x00040020ul

struct CommandRow {
    unsigned number;
    enum CommandAction action;
    struct PlayerPost posts[4]; /* in order, ending with a zero window */
};

static const struct CommandRow COMMAND_TABLE[] = {
    {0, ACTION_POSTS, {}},
    {1, ACTION_CLOSE_OR_START, {{PLAYER_MAIN, WM_CLOSE, 0, 0}, {}}},
    {2, ACTION_POSTS, {{PLAYER_MAIN, WM_COMMAND, 40045, 0}, {}}},
    {3, ACTION_POSTS, {{PLAYER_MAIN, WM_COMMAND, 40047, 0}, {}}},
    {4, ACTION_POSTS, {{PLAYER_MAIN, WM_COMMAND, 40046, 0}, {}}},
    {5, ACTION_POSTS, {{PLAYER_MAIN, WM_COMMAND, 40044, 0}, {}}},
    {6, ACTION_POSTS, {{PLAYER_MAIN, WM_COMMAND, 40048, 0}, {}}},
    {7, ACTION_POSTS, {{PLAYER_MAIN, WM_COMMAND, 40059, 0}, {}}},
    {8, ACTION_POSTS, {{PLAYER_MAIN, WM_COMMAND, 40058, 0}, {}}},
    {9, ACTION_POSTS, {}},
    {10, ACTION_POSTS, {{PLAYER_MAIN, WM_COMMAND, 40060, 0}, {}}},
    {11, ACTION_POSTS, {{PLAYER_MAIN, WM_COMMAND, 40061, 0}, {}}},
    {12, ACTION_POSTS, {{PLAYER_MAIN, WM_COMMAND, 40023, 0}, {}}},
    {13, ACTION_POSTS, {}},
    {14, ACTION_LOG_OFF, {}},
    {15, ACTION_SUSPEND, {}},
    {16, ACTION_POSTS, {}},
    {21580, ACTION_POSTS, {}},
    {21581, ACTION_POSTS, {{PLAYER_MAIN, WM_COMMAND, 40022, 0}, {}}},
    {21582, ACTION_POSTS, {}},
    {21594, ACTION_POSTS,
     {{PLAYER_MAIN, WM_COMMAND, 40036, 0},
      {PLAYER_MAIN, WM_LBUTTONDBLCLK, 0, PLAYER_CLICK_LPARAM},
      {PLAYER_PLAYLIST, WM_LBUTTONDBLCLK, 0, PLAYER_CLICK_LPARAM},
      {}}},
    {21614, ACTION_POSTS, {{PLAYER_MAIN, WM_COMMAND, 40147, 0}, {}}},
    {21618, ACTION_POSTS, {{PLAYER_MAIN, WM_USER, 127, 122}, {}}},
    {21619, ACTION_POSTS, {}},
    {40036, ACTION_POSTS, {}},
    {0x10002, ACTION_POSTS, {}},
    {0x1545A, ACTION_POSTS, {}},
    {0xFFFFFFFF, ACTION_POSTS, {}},
};

#define COMMAND_TABLE_ROWS (sizeof COMMAND_TABLE / sizeof COMMAND_TABLE[0])

/* The name of a message the player's windows get, as the stand-in player logs it and the
   driver reports it; "-" for any other. */
static inline const char *PlayerMessageName(unsigned message)
{
    switch (message) {
    case WM_CLOSE: return "WM_CLOSE";
    case WM_COMMAND: return "WM_COMMAND";
    case WM_LBUTTONDBLCLK: return "WM_LBUTTONDBLCLK";
    case WM_USER: return "WM_USER";
    case WM_QUERYENDSESSION: return "WM_QUERYENDSESSION";
    case WM_ENDSESSION: return "WM_ENDSESSION";
    case STAND_IN_QUIT: return "STAND_IN_QUIT";
    default: return "-";
    }
}

/* The frame each key of the remote sends, by the table entry it stands for, in the decoder's
   49-bit form (48 data bits and the closing pause's bit, 1 for a normal pause): what a test
   encodes when it presses that key.  Entries 9 and 12 share a code, so that key gives both
   numbers; entry 14 has no key (its code, 0, is what an all-short frame of noise gives, and the
   receiver never acts on it). */
#define KEY_COUNT 16
static const unsigned long long KEY_CODES[KEY_COUNT] = {
    0x0000000000000001ull, 0x000080080201797Bull, 0x0000800802001013ull, 0x0000800802011113ull,
    0x000080081200C0D3ull, 0x000080080200585Bull, 0x000080080201595Bull, 0x000080080201090Bull,
    0x000080080200080Bull, 0x0000800813017261ull, 0x0000800812018193ull, 0x0000800812008093ull,
    0x0000800813017261ull, 0x0000800812002033ull, 0x0000000000000000ull, 0x000080081300D5C7ull,
};

/* The command numbers a decoded frame gives, in the order they are posted (every entry equal
   to it, in ascending order; none for 0); returns how many. */
static inline int KeyCommands(unsigned long long code, unsigned commands[KEY_COUNT])
{
    int count = 0;
    for (unsigned i = 0; code != 0 && i < KEY_COUNT; ++i)
        if (KEY_CODES[i] == code)
            commands[count++] = i;
    return count;
}

/* The row of a number; NULL when the table has none (such a number does nothing). */
static inline const struct CommandRow *FindCommandRow(unsigned number)
{
    for (unsigned i = 0; i < COMMAND_TABLE_ROWS; ++i)
        if (COMMAND_TABLE[i].number == number)
            return &COMMAND_TABLE[i];
    return 0;
}

#endif
