/*
 * 64-bit numbers as text; see number_text.h.
 */
#include "number_text.h"

/* The value is divided by `base` as four 16-bit pieces, each step a 32-bit division, rather than
   by libgcc's 64-bit division helper, whose unwind tables alone would cost a 512-byte section. */
const char *FormatUnsigned64(ULONGLONG value, unsigned base, int minDigits, char text[NUMBER_TEXT_SIZE])
{
    char digits[NUMBER_TEXT_SIZE];
    int count = 0;
    WORD pieces[4] = {(WORD)(value >> 48), (WORD)(value >> 32), (WORD)(value >> 16), (WORD)value};
    BOOL left;
    do {
        DWORD remainder = 0;
        left = FALSE;
        for (int i = 0; i < 4; i++) {
            DWORD part = remainder << 16 | pieces[i];
            pieces[i] = (WORD)(part / base);
            remainder = part % base;
            left = left || pieces[i] != 0;
        }
        digits[count++] = "0123456789ABCDEF"[remainder];
    } while (left);
    while (count < minDigits && count < NUMBER_TEXT_SIZE - 1)
        digits[count++] = '0';
    for (int i = 0; i < count; i++)
        text[i] = digits[count - 1 - i];
    text[count] = '\0';
    return text;
}
