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
 * This is the tool's first instruction: it links no C runtime, so it reads its own command line
 * and hands its exit code to ExitProcess.  Output goes through Win32 handles (text_output.h).
 */
#include "monitor.h"

#include "../common/shared.h"

extern "C" void ProgramEntry(void) { ExitProcess((UINT)RunIrMonitor(GetCommandLineA())); }
