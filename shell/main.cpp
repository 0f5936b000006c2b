/*
 * Entry of the program: the receiver reads COM1.  The command line is ignored.
 */
#include "shell.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand)
{
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)showCommand;
    return RunProgram();
}
