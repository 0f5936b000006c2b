/*
 * Whether a tool's text fits an 80-column console: no line wider than 79 columns (the cursor
 * takes the 80th), and every line that goes on a message the tool broke begins with exactly as
 * many blanks as the tool's prefix ("ir-monitor: ", "remote-send: ") is wide.  One check for the
 * unit tests (host, GoogleTest) and the end-to-end driver (MinGW), so plain C in a header.
 */
#ifndef TESTS_CONSOLE_COLUMNS_H
#define TESTS_CONSOLE_COLUMNS_H

#include <string.h>

#define CONSOLE_COLUMNS_MAX 79

/* The first line of `text` wider than CONSOLE_COLUMNS_MAX, or going on a message that begins with
   `prefix` after other than strlen(prefix) blanks; NULL when there is none.  A line's CR, if any,
   counts as a column. */
static inline const char *LineOffTheColumns(const char *text, const char *prefix)
{
    size_t indent = strlen(prefix);
    int inMessage = 0;
    for (const char *line = text; *line != '\0';) {
        size_t length = strcspn(line, "\n");
        int goesOn = line[0] == ' ';
        if (length > CONSOLE_COLUMNS_MAX || (inMessage && goesOn && strspn(line, " ") != indent))
            return line;
        inMessage = strncmp(line, prefix, indent) == 0 || (inMessage && goesOn);
        line += length + (line[length] == '\n');
    }
    return NULL;
}

#endif
