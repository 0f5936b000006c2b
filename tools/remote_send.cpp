/*
 * remote-send: hands one command to the running Pelkorn Remote Control, exactly as if a key of
 * the remote had been pressed, or asks the program to close.  Meant for scripts, keyboard
 * hotkeys and launchers that want to drive the media player through the same command numbers
 * as the remote (and through the four large numbers that only other programs can send), and
 * for the end-to-end tests.
 *
 *   remote-send N        posts WM_REMOTE_COMMAND with wParam N (decimal, or hexadecimal
 *                        with 0x; any unsigned 32-bit value) to the program's hidden window
 *   remote-send close    posts WM_CLOSE: the program exits without asking ("close" in any
 *                        case, as Windows users type commands)
 *   remote-send /?       prints the usage (so do -h and --help) and exits 0
 *
 * The window is found by its class and title, both the program title.  Nothing is printed on
 * success, but for a number the program does nothing for: that is posted all the same (any
 * process may post any number, and remote-send is not the judge of what the program does), with
 * exit code 0, and a line on standard error says the program does nothing for it.  The numbers
 * it acts on come from commands/command_numbers.h, the dispatcher's own, and the usage lists
 * them.  Exit codes: 0 posted (or the usage shown as asked); 1 the program is not running;
 * 2 bad argument or usage; 3 the post itself failed; 4 the usage asked for could not be written
 * (a full disk, say), which is no success either.
 *
 * It links no C runtime: ProgramEntry reads the command line and hands the exit code to
 * ExitProcess, and messages go to standard error through messages.h.
 */
#include "../commands/command_numbers.h"
#include "../common/command_line.h"
#include "../common/shared.h"
#include "messages.h"

enum { EXIT_POSTED = 0, EXIT_NOT_RUNNING = 1, EXIT_USAGE = 2, EXIT_POST_FAILED = 3, EXIT_OUTPUT_LOST = 4 };

/* Room for every acting number in decimal, each after a blank. */
enum { ACTING_LIST_SIZE = ACTING_COMMAND_COUNT * 11 + 1 };

/* Reads a whole argument as an unsigned 32-bit number: decimal digits, or 0x/0X followed by
   hexadecimal digits.  No sign, no blanks, no trailing text, nothing above 0xFFFFFFFF. */
static bool ParseCommandNumber(const char *text, unsigned *number)
{
    unsigned base = 10;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text += 2;
    }
    if (*text == '\0')
        return false;

    unsigned long long value = 0;
    for (; *text; ++text) {
        unsigned digit;
        char c = *text;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        value = value * base + digit;
        if (value > 0xFFFFFFFFull)
            return false;
    }
    *number = (unsigned)value;
    return true;
}

/* The numbers the program acts on, in ascending order, each after a blank. */
static void ListActingNumbers(char list[ACTING_LIST_SIZE])
{
    CommandNumber last = 0;  /* 0 is no acting number */
    for (;;) {
        CommandNumber next = 0;
        for (unsigned i = 0; i < ACTING_COMMAND_COUNT; i++)
            if (ActingCommand(i) > last && (next == 0 || ActingCommand(i) < next))
                next = ActingCommand(i);
        if (next == 0)
            break;
        list += wsprintfA(list, " %u", next);
        last = next;
    }
}

/* The usage: on standard output with exit 0 when `asked` (/?, -h, --help), or EXIT_OUTPUT_LOST
   when it cannot be written there; else on standard error with EXIT_USAGE.  Each line fits an
   80-column console. */
static int Usage(bool asked)
{
    static const char usage[] = "usage: remote-send N       post command N to " PROGRAM_TITLE "\n"
                                "       remote-send close   ask it to exit\n"
                                "N: 0 to 4294967295, or 0x0 to 0xFFFFFFFF; close in any case (CLOSE)\n"
                                "The program acts on N =%s;\n"
                                "any other N is posted all the same, with a note that it does nothing there.\n";
    char numbers[ACTING_LIST_SIZE] = "";
    ListActingNumbers(numbers);
    if (!asked) {
        PutError(usage, numbers);
        return EXIT_USAGE;
    }
    DWORD error = PutOutputNow(usage, numbers);
    if (error == 0)
        return EXIT_POSTED;
    PutError("remote-send: cannot write the usage (error %lu)\n", (unsigned long)error);
    return EXIT_OUTPUT_LOST;
}

/* Posts what the command line asks for, or prints the usage; returns the exit code. */
int RunRemoteSend(const char *commandLine)
{
    static char argumentText[COMMAND_LINE_SIZE];
    char *argument;
    if (SplitArguments(commandLine, argumentText, sizeof argumentText, &argument, 1) != 1)
        return Usage(false);
    if (ArgumentAsksForHelp(argument))
        return Usage(true);

    UINT message;
    unsigned number = 0;
    if (ArgumentIsInAnyCase(argument, "close")) {
        message = WM_CLOSE;
    } else if (ParseCommandNumber(argument, &number)) {
        message = WM_REMOTE_COMMAND;
    } else {
        PutError("remote-send: \"%.100s\" is not a command number (0..4294967295 or 0x0..0xFFFFFFFF)\n", argument);
        return Usage(false);
    }

    HWND window = FindWindowA(PROGRAM_TITLE, PROGRAM_TITLE);
    if (!window) {
        PutError("remote-send: %s is not running\n", PROGRAM_TITLE);
        return EXIT_NOT_RUNNING;
    }
    if (!PostMessageA(window, message, (WPARAM)number, 0)) {
        PutError("remote-send: posting to %s failed (error %lu)\n", PROGRAM_TITLE, (unsigned long)GetLastError());
        return EXIT_POST_FAILED;
    }
    if (message == WM_REMOTE_COMMAND && !ProgramActsOn(number))
        PutError("remote-send: posted %u, but the program does nothing for it (remote-send /? lists the numbers it "
                 "acts on)\n",
                 number);
    return EXIT_POSTED;
}

extern "C" void ProgramEntry(void) { ExitProcess((UINT)RunRemoteSend(GetCommandLineA())); }
