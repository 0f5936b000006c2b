/*
 * The host's way into a tool's ProgramEntry: the host hands main its arguments already split, so
 * they are joined again into a Windows command line, quoted as a Windows shell would, and the
 * tool reads and splits that itself, as the .exe does from GetCommandLineA.  The tool runs as on
 * Windows: its threads run, and a pipe whose reader has gone fails the write (SIGPIPE ignored),
 * so the tool sees that failure itself instead of being killed.
 */
#include "fake_win32.h"

#include <csignal>

#include "../../common/shared.h"

/* `argument` quoted for a Windows command line: as it is when it holds no blank or quote, else
   in quotes, with the backslashes before each quote (and before the closing one) doubled. */
static std::string Quote(const std::string &argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos)
        return argument;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            backslashes++;
            continue;
        }
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    return quoted + "\"";
}

int main(int argc, char **argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    fake::realThreads = true;
    fake::commandLine = Quote(argv[0]);
    for (int i = 1; i < argc; i++)
        fake::commandLine += " " + Quote(argv[i]);
    ProgramEntry();
    return 0;
}
