/*
 * The command line as the shipped programs read it for themselves: they link no C runtime, so
 * nothing splits GetCommandLineA's text into arguments for them.  The rules are those of
 * msvcrt.dll, the C runtime of Windows that the tools were built on before, so that a user
 * quotes a path with blanks as for any program built on it:
 *
 *   - arguments are separated by blanks or tabs; a double quote begins or ends a quoted part,
 *     in which blanks belong to the argument ("C:\My Captures\keys.ir");
 *   - two double quotes in a quoted part give one, and end the part: "a""b" gives a"b, and
 *     "a""b c" gives a"b and c (the C runtimes of Visual C++ 2008 and later, and Wine's
 *     msvcrt.dll, stay in the part and give a"b c);
 *   - 2n backslashes before a double quote give n backslashes, and the quote acts as above;
 *     2n + 1 give n backslashes and a literal quote; other backslashes are literal;
 *   - the program's own name, the first item, ends at its closing quote or the first blank, and
 *     its backslashes are literal (a path).
 */
#ifndef COMMAND_LINE_H
#define COMMAND_LINE_H

/* The longest command line Windows passes on, with its terminating NUL. */
enum { COMMAND_LINE_SIZE = 32768 };

/* Where the arguments begin: past the program's name and the blanks after it. */
const char *SkipProgramName(const char *commandLine);

/* Splits the arguments after the program's name into `buffer` (`bufferSize` bytes, enough for the
   whole line: text that does not fit is cut), pointing `arguments[0..]` at them.  Stores at most
   `maxArguments` but returns how many there were, so a caller sees when there are too many. */
int SplitArguments(const char *commandLine, char *buffer, int bufferSize, char **arguments, int maxArguments);

/* Whether `argument` is exactly `word`, byte for byte (no locale, no case folding). */
int ArgumentIs(const char *argument, const char *word);

/* Whether `argument` is `word` in any case of the ASCII letters ("CLOSE" for "close"); other
   bytes must match exactly, whatever the locale. */
int ArgumentIsInAnyCase(const char *argument, const char *word);

/* Whether `argument` asks for the usage: "/?", as Windows programs take it, "-h" or "--help". */
int ArgumentAsksForHelp(const char *argument);

#endif
