/*
 * Counter ticks as time, for everything ir-monitor prints.  Integer arithmetic only, rounded to
 * the nearest unit, so the host tool and the Windows one print the same bytes whatever their C
 * runtimes do with floating point; whole seconds are taken apart first, so no product
 * overflows for any interval a line can hold.
 */
#ifndef TICK_TIME_H
#define TICK_TIME_H

#include "text_output.h"

enum { TIME_TEXT_SIZE = NUMBER_TEXT_SIZE + 2 };

/* `ticks` at `frequency` ticks per second in whole microseconds, or in tenths of one;
   negative ticks give the negative of the same figure. */
LONGLONG TicksToMicroseconds(LONGLONG ticks, LONGLONG frequency);
LONGLONG TicksToTenthsOfMicroseconds(LONGLONG ticks, LONGLONG frequency);

/* "628.6": tenths of a microsecond written as a decimal. */
const char *FormatTenths(LONGLONG tenths, char text[TIME_TEXT_SIZE]);

#endif
