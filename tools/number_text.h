/*
 * 64-bit numbers as text, for the tools, which link no C runtime: wvsprintfA, which every
 * Windows has, knows no 64-bit conversions.
 */
#ifndef NUMBER_TEXT_H
#define NUMBER_TEXT_H

#include <windows.h>

enum { NUMBER_TEXT_SIZE = 24 };  /* any 64-bit number in decimal or hexadecimal, with its NUL */

/* `value` in decimal (base 10) or upper-case hexadecimal (base 16), with leading zeros up to
   `minDigits`; returns `text`. */
const char *FormatUnsigned64(ULONGLONG value, unsigned base, int minDigits, char text[NUMBER_TEXT_SIZE]);

#endif
