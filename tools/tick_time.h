/*
 * Counter ticks as time, for everything ir-monitor prints: the conversion is the receiver's
 * (../receiver/tick_time.h), rounded to the nearest unit, so the host tool and the Windows one
 * print the same bytes.
 */
#ifndef TOOLS_TICK_TIME_H
#define TOOLS_TICK_TIME_H

#include "../receiver/tick_time.h"
#include "text_output.h"

enum { TIME_TEXT_SIZE = NUMBER_TEXT_SIZE + 2 };

/* "628.6": tenths of a microsecond written as a decimal. */
const char *FormatTenths(LONGLONG tenths, char text[TIME_TEXT_SIZE]);

#endif
