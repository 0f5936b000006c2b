/*
 * Formatted text cut to fit a buffer, for the parts that link no C runtime and so have no
 * vsnprintf: wvsprintfA, which every Windows has, writes into a buffer of its own longest result
 * (1,024 characters), and what fits of that is copied out.
 */
#ifndef FORMAT_TEXT_H
#define FORMAT_TEXT_H

#include <windows.h>

enum { FORMATTED_TEXT_LIMIT = 1025 };  /* wvsprintfA's longest result and its NUL */

/* Formats into `out` (`size` bytes, at least 1), cut where it is full; returns the length. */
static inline int FormatTextV(char *out, int size, const char *format, va_list arguments)
{
    char text[FORMATTED_TEXT_LIMIT];
    wvsprintfA(text, format, arguments);
    int n = 0;
    for (; text[n] != '\0' && n < size - 1; n++)
        out[n] = text[n];
    out[n] = '\0';
    return n;
}

#endif
