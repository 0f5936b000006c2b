/*
 * The command numbers the program acts on, in one place: the dispatcher (dispatcher.cpp) does
 * what each says, and remote-send lists them in its usage and tells whoever sends another number
 * that the program does nothing for it.  Constant data and two small inline look-ups only, so that
 * remote-send takes the numbers without linking the dispatcher and what it calls.
 */
#ifndef COMMAND_NUMBERS_H
#define COMMAND_NUMBERS_H

#include "../common/shared.h"

/* Numbers whose action is more than one command id, each a case of DispatchCommand's switch.
   21594 and 21618, like 21581 and 21614, come only from other processes, never from the receiver. */
enum {
    COMMAND_CLOSE_OR_START = 1,
    COMMAND_LOG_OFF = 14,
    COMMAND_SUSPEND = 15,
    COMMAND_ID_AND_DOUBLE_CLICKS = 21594,
    COMMAND_USER_MESSAGE = 21618
};
static const CommandNumber SPECIAL_COMMANDS[] = {COMMAND_CLOSE_OR_START, COMMAND_LOG_OFF, COMMAND_SUSPEND,
                                                 COMMAND_ID_AND_DOUBLE_CLICKS, COMMAND_USER_MESSAGE};

/* Numbers whose whole action is one WM_COMMAND(id, 0) posted to the player's main window.  The
   ids are the player's own command identifiers, passed through as they stand. */
typedef struct PlayerCommand {
    CommandNumber number;
    unsigned id;
} PlayerCommand;
static const PlayerCommand PLAYER_COMMANDS[] = {
    {2, 40045},  {3, 40047},  {4, 40046},  {5, 40044},  {6, 40048},     {7, 40059},
    {8, 40058},  {10, 40060}, {11, 40061}, {12, 40023}, {21581, 40022}, {21614, 40147},
};

enum {
    PLAYER_COMMAND_COUNT = sizeof PLAYER_COMMANDS / sizeof PLAYER_COMMANDS[0],
    ACTING_COMMAND_COUNT = PLAYER_COMMAND_COUNT + sizeof SPECIAL_COMMANDS / sizeof SPECIAL_COMMANDS[0]
};

/* The `index`-th number the program acts on (0 to ACTING_COMMAND_COUNT - 1), in no order. */
static inline CommandNumber ActingCommand(unsigned index)
{
    return index < PLAYER_COMMAND_COUNT ? PLAYER_COMMANDS[index].number : SPECIAL_COMMANDS[index - PLAYER_COMMAND_COUNT];
}

/* Whether the program does anything for `number`; for every other number it does nothing. */
static inline BOOL ProgramActsOn(CommandNumber number)
{
    for (unsigned i = 0; i < ACTING_COMMAND_COUNT; i++)
        if (ActingCommand(i) == number)
            return TRUE;
    return FALSE;
}

#endif
