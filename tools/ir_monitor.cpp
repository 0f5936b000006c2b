/*
 * ir-monitor: shows what a remote sends and how far the receiver's timing is from what the
 * program accepts.  For every frame the receiver decodes it prints the code as 16 hex digits and
 * the command numbers the program would act on, or '-' for none:
 *
 *     0x0000800813017261 9 12
 *
 * and around it '#' lines: the frame's leader and data timing against the decoder's limits,
 * pairs that just miss the leader windows, and at the end a summary with histograms of burst
 * and gap lengths (line_report.h).  `--raw` also writes the line as a pulse/space recording, to
 * capture what a receiver delivers (raw_capture.h).
 *
 * With a file argument it plays that recording as fast as it can and exits 0 at its end; on
 * Windows, with none, it listens on COM1 as the program does, until Ctrl+C (monitor.h).
 *
 * Standard output is binary and fully buffered: lines end in LF on Windows too, so the .exe
 * prints the same bytes as the host tool, and the report chooses when to write (line_report.h).
 */
#include "monitor.h"

#include <string.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

enum { OUTPUT_BUFFER_SIZE = 16384 };

static char outputBuffer[OUTPUT_BUFFER_SIZE];

static void PrepareStandardOutput(void)
{
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);
}

static int PrintUsage(void)
{
#ifdef _WIN32
    fprintf(stderr, "usage: ir-monitor [--raw] [RECORDING]   (no recording: listen on COM1)\n");
#else
    fprintf(stderr, "usage: ir-monitor [--raw] RECORDING   (listening on COM1 is for Windows)\n");
#endif
    return MONITOR_EXIT_BAD_INPUT;
}

int main(int argc, char **argv)
{
    BOOL raw = argc > 1 && strcmp(argv[1], "--raw") == 0;
    int first = raw ? 2 : 1;
    if (argc - first > 1 || (argc - first == 1 && argv[first][0] == '-'))
        return PrintUsage();
    PrepareStandardOutput();
    if (argc - first == 1)
        return MonitorRecording(argv[first], raw);
#ifdef _WIN32
    ListenOnCom1(raw);
#endif
    return PrintUsage();
}
