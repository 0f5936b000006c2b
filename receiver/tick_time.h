/*
 * Time at one rate made time at another: the one conversion between microseconds, tenths of a
 * microsecond, the decoder's timer units (1/1193182 s) and the ticks of whatever counter times
 * the line.  The decoder turns its limits into ticks with it, the replay line and the tests'
 * in-memory line turn a recording's microseconds into counter values, and ir-monitor turns ticks
 * back into the microseconds it prints.
 *
 * The rule, for every conversion: value x toRate / fromRate, rounded to the nearest whole
 * count, a half away from zero (a negative value gives the negative of the same figure).  Whole
 * seconds (value / fromRate) are scaled apart from the rest, so no product overflows for any
 * interval a line can hold.  Integer arithmetic only, so the program, the tools on Windows and
 * on the host, and the tests get the same numbers whatever a C runtime does with floating point.
 */
#ifndef TICK_TIME_H
#define TICK_TIME_H

#include <windows.h>

enum { MICROSECONDS_PER_SECOND = 1000000, TENTHS_OF_US_PER_SECOND = 10000000 };

/* `value`, counted at `fromRate` per second, counted at `toRate` per second.  Inline, so that in
   the program the decoder's limits, constants all, fold to one division each. */
static inline LONGLONG ScaleTime(LONGLONG value, LONGLONG fromRate, LONGLONG toRate)
{
    ULONGLONG size = value < 0 ? 0 - (ULONGLONG)value : (ULONGLONG)value;
    ULONGLONG from = (ULONGLONG)fromRate;
    ULONGLONG to = (ULONGLONG)toRate;
    ULONGLONG scaled = size / from * to + (size % from * to + from / 2) / from;
    return value < 0 ? -(LONGLONG)scaled : (LONGLONG)scaled;
}

#endif
