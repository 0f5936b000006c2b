/*
 * Entry of the replay build: the same program with a recorded pulse/space file played in real
 * time in place of COM1, for demonstrations and end-to-end tests without a receiver.  Its first
 * argument names the recording.  A recording that cannot be played is reported on the error
 * output and through OutputDebugStringA, and the program does not start.
 */
#include "shell.h"

#include "../receiver/code_table.h"
#include "../receiver/replay_line.h"

#include <stdio.h>

/* Copies the first argument of the command line (quoted or not) into `path`. */
static void TakeFirstArgument(const char *commandLine, char *path, int size)
{
    const char *p = commandLine;
    char end = ' ';
    if (*p == '"') {
        p++;
        end = '"';
    }
    while (*p != '\0' && *p != end)
        p++;  /* the program's own name */
    if (*p == '"')
        p++;
    while (*p == ' ' || *p == '\t')
        p++;
    end = ' ';
    if (*p == '"') {
        p++;
        end = '"';
    }
    int n = 0;
    while (*p != '\0' && *p != end && n < size - 1)
        path[n++] = *p++;
    path[n] = '\0';
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand)
{
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)showCommand;
    char path[MAX_PATH];
    char error[REPLAY_ERROR_SIZE];
    TakeFirstArgument(GetCommandLineA(), path, sizeof path);
    if (path[0] == '\0') {
        fputs("remote-control-replay: usage: remote-control-replay RECORDING\n", stderr);
        return 2;
    }
    if (!LoadReplayRecording(path, TRUE, NULL, error, sizeof error)) {
        OutputDebugStringA(error);
        fprintf(stderr, "remote-control-replay: %s\n", error);
        return 2;
    }
    SelectReceiverLine(&ReplayReceiverLine);
    return RunProgram();
}
