/*
 * Ticks as time; see tick_time.h.
 */
#include "tick_time.h"

static const ULONGLONG MICROSECONDS_PER_SECOND = 1000000;
static const ULONGLONG TENTHS_PER_SECOND = 10000000;

/* ticks x perSecond / frequency, rounded half away from zero. */
static LONGLONG ScaleTicks(LONGLONG ticks, LONGLONG frequency, ULONGLONG perSecond)
{
    BOOL negative = ticks < 0;
    ULONGLONG size = negative ? 0 - (ULONGLONG)ticks : (ULONGLONG)ticks;
    ULONGLONG rate = (ULONGLONG)frequency;
    ULONGLONG scaled = size / rate * perSecond + (size % rate * perSecond + rate / 2) / rate;
    return negative ? -(LONGLONG)scaled : (LONGLONG)scaled;
}

LONGLONG TicksToMicroseconds(LONGLONG ticks, LONGLONG frequency)
{
    return ScaleTicks(ticks, frequency, MICROSECONDS_PER_SECOND);
}

LONGLONG TicksToTenthsOfMicroseconds(LONGLONG ticks, LONGLONG frequency)
{
    return ScaleTicks(ticks, frequency, TENTHS_PER_SECOND);
}

const char *FormatTenths(LONGLONG tenths, char text[TIME_TEXT_SIZE])
{
    const char *sign = tenths < 0 ? "-" : "";
    ULONGLONG size = tenths < 0 ? 0 - (ULONGLONG)tenths : (ULONGLONG)tenths;
    char whole[NUMBER_TEXT_SIZE];
    wsprintfA(text, "%s%s.%u", sign, FormatUnsigned64(size / 10, 10, 1, whole), (unsigned)(size % 10));
    return text;
}
