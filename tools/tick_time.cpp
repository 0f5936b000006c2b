/*
 * Ticks as time; see tick_time.h.
 */
#include "tick_time.h"

const char *FormatTenths(LONGLONG tenths, char text[TIME_TEXT_SIZE])
{
    const char *sign = tenths < 0 ? "-" : "";
    ULONGLONG size = tenths < 0 ? 0 - (ULONGLONG)tenths : (ULONGLONG)tenths;
    char whole[NUMBER_TEXT_SIZE];
    wsprintfA(text, "%s%s.%u", sign, FormatUnsigned64(size / 10, 10, 1, whole), (unsigned)(size % 10));
    return text;
}
