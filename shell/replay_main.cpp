/*
 * Entry of the replay build: the same program with a recorded pulse/space file played in real
 * time in place of COM1, for demonstrations and end-to-end tests without a receiver.  Its first
 * argument names the recording.  A recording that cannot be played is reported on the error
 * output (with the system's reason when the file cannot be opened or read) and through
 * OutputDebugStringA, and the program does not start.
 */
#include "shell.h"

#include "../common/command_line.h"
#include "../receiver/code_table.h"
#include "../receiver/replay_line.h"

#include <stdio.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand)
{
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)showCommand;
    static char argumentText[COMMAND_LINE_SIZE];
    char *path;
    char error[REPLAY_ERROR_SIZE];
    if (SplitArguments(GetCommandLineA(), argumentText, sizeof argumentText, &path, 1) < 1) {
        fputs("remote-control-replay: usage: remote-control-replay RECORDING\n", stderr);
        return 2;
    }
    if (!LoadReplayRecording(path, TRUE, NULL, error, sizeof error)) {
        OutputDebugStringA(error);
        DWORD why = ReplayRecordingSystemError();
        char reason[200] = "";
        DWORD length = why == 0 ? 0
                                : FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, why,
                                                 0, reason, sizeof reason, NULL);
        while (length > 0 && (reason[length - 1] == '\n' || reason[length - 1] == '\r'))
            reason[--length] = '\0';
        fprintf(stderr, "remote-control-replay: %s%s%s\n", error, why != 0 ? ": " : "", reason);
        return 2;
    }
    SelectReceiverLine(&ReplayReceiverLine);
    return RunProgram();
}
