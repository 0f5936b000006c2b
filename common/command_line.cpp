/*
 * Command line splitting; see command_line.h.
 */
#include "command_line.h"

static int IsBlank(char c) { return c == ' ' || c == '\t'; }

const char *SkipProgramName(const char *commandLine)
{
    const char *p = commandLine;
    if (*p == '"') {
        for (p++; *p != '\0' && *p != '"'; p++) {
        }
        if (*p == '"')
            p++;
    } else {
        while (*p != '\0' && !IsBlank(*p))
            p++;
    }
    while (IsBlank(*p))
        p++;
    return p;
}

/* Copies one argument from `p` into `out`, no further than `end`; returns where it stopped. */
static const char *CopyArgument(const char *p, char **out, const char *end)
{
    int quoted = 0;
    while (*p != '\0' && (quoted || !IsBlank(*p))) {
        int backslashes = 0;
        while (*p == '\\') {
            backslashes++;
            p++;
        }
        if (*p == '"') {
            for (int i = 0; i < backslashes / 2; i++)
                if (*out < end)
                    *(*out)++ = '\\';
            if (backslashes % 2 == 1) {
                if (*out < end)
                    *(*out)++ = '"';
            } else {
                if (quoted && p[1] == '"') {  /* "" in a quoted part: one quote, and the part ends */
                    p++;
                    if (*out < end)
                        *(*out)++ = '"';
                }
                quoted = !quoted;
            }
            p++;
            continue;
        }
        for (int i = 0; i < backslashes; i++)
            if (*out < end)
                *(*out)++ = '\\';
        if (*p != '\0' && (quoted || !IsBlank(*p))) {
            if (*out < end)
                *(*out)++ = *p;
            p++;
        }
    }
    return p;
}

int SplitArguments(const char *commandLine, char *buffer, int bufferSize, char **arguments, int maxArguments)
{
    const char *p = SkipProgramName(commandLine);
    char *out = buffer;
    char *end = buffer + bufferSize - 1;  /* room for each argument's NUL is kept below */
    int count = 0;
    while (*p != '\0' && out < end) {
        char *start = out;
        p = CopyArgument(p, &out, end - 1);
        *out++ = '\0';
        if (count < maxArguments)
            arguments[count] = start;
        count++;
        while (IsBlank(*p))
            p++;
    }
    return count;
}

static char InLowerCase(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c; }

int ArgumentIsInAnyCase(const char *argument, const char *word)
{
    while (*argument != '\0' && InLowerCase(*argument) == InLowerCase(*word)) {
        argument++;
        word++;
    }
    return InLowerCase(*argument) == InLowerCase(*word);
}

int ArgumentAsksForHelp(const char *argument)
{
    return ArgumentIs(argument, "/?") || ArgumentIs(argument, "-h") || ArgumentIs(argument, "--help");
}

int ArgumentIs(const char *argument, const char *word)
{
    while (*argument != '\0' && *argument == *word) {
        argument++;
        word++;
    }
    return *argument == *word;
}
