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
    char whole[TIME_TEXT_SIZE];
    snprintf(text, TIME_TEXT_SIZE, "%s%s.%u", sign, FormatWhole(size / 10, whole), (unsigned)(size % 10));
    return text;
}

const char *FormatWhole(ULONGLONG value, char text[TIME_TEXT_SIZE])
{
    const ULONGLONG billion = 1000000000;
    if (value < billion)
        snprintf(text, TIME_TEXT_SIZE, "%lu", (unsigned long)value);
    else if (value / billion < billion)
        snprintf(text, TIME_TEXT_SIZE, "%lu%09lu", (unsigned long)(value / billion), (unsigned long)(value % billion));
    else
        snprintf(text, TIME_TEXT_SIZE, "%lu%09lu%09lu", (unsigned long)(value / billion / billion),
                 (unsigned long)(value / billion % billion), (unsigned long)(value % billion));
    return text;
}
