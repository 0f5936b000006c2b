/*
 * Entry of the program: the receiver reads COM1.  The command line is ignored.
 *
 * The program links no C runtime, so ProgramEntry is its first instruction: it calls WinMain with
 * what the C runtime's start-up used to pass and ends the process with WinMain's result.
 */
#include "shell.h"

#include "../common/command_line.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand)
{
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)showCommand;
    return RunProgram();
}

extern "C" void ProgramEntry(void)
{
    LPSTR arguments = (LPSTR)SkipProgramName(GetCommandLineA());
    ExitProcess((UINT)WinMain(GetModuleHandleA(NULL), NULL, arguments, SW_SHOWDEFAULT));
}
