/*
 * ir-monitor: shows what a remote sends.  For every frame the receiver decodes it prints the
 * code as 16 hex digits and the command numbers the program would act on, or '-' for none:
 *
 *     0x0000800813017261 9 12
 *
 * With a file argument it plays that pulse/space recording as fast as it can and exits 0 at its
 * end; on Windows, with no argument, it listens on COM1 as the program does, until stopped.
 */
#include "../common/shared.h"
#include "../receiver/code_table.h"
#include "../receiver/frame_decoder.h"
#include "../receiver/replay_line.h"

#include <stdio.h>
#include <stdlib.h>

static void PrintFrame(FrameCode code)
{
    CommandNumber commands[CODE_TABLE_SIZE];
    int found = FindCommands(code, commands);
    printf("0x%08lX%08lX", (unsigned long)(code >> 32), (unsigned long)(code & 0xFFFFFFFFu));
    if (found == 0)
        printf(" -");
    for (int i = 0; i < found; i++)
        printf(" %u", commands[i]);
    printf("\n");
    fflush(stdout);
}

static void EndOfRecording(void)
{
    fflush(stdout);
    exit(0);
}

int main(int argc, char **argv)
{
    const ReceiverLine *line;
    if (argc == 2) {
        char error[REPLAY_ERROR_SIZE];
        if (!LoadReplayRecording(argv[1], FALSE, EndOfRecording, error, sizeof error)) {
            fprintf(stderr, "ir-monitor: %s\n", error);
            return 2;
        }
        line = &ReplayReceiverLine;
    } else if (argc == 1) {
#ifdef _WIN32
        line = &SerialReceiverLine;
        fprintf(stderr, "ir-monitor: listening on COM1; press Ctrl+C to stop\n");
#else
        fprintf(stderr, "usage: ir-monitor RECORDING\n");
        return 2;
#endif
    } else {
        fprintf(stderr, "usage: ir-monitor [RECORDING]\n");
        return 2;
    }
    line->openLine();
    for (;;)
        PrintFrame(ReadFrame(line));
}
