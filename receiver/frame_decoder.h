/*
 * Pulse timing and frame decoding.  Each change of the receiver line is stamped with the line's
 * counter; an off interval (an infrared burst) and the on interval after it form a PulsePair.
 * ReadFrame waits for a leader pair of about 3.6 ms off and 1.7 ms on, reads 49 more pairs and
 * builds a 49-bit FrameCode from their on intervals: the 48 data bits, then the closing pause,
 * which reads long (bit 0 = 1) when it ends at the next burst.  So a frame is returned when the
 * next infrared burst begins.
 *
 * The bits are not interpreted; the code table compares the whole number.
 *
 * Timing limits are written in units of 1/1193182 s and converted to counter ticks by rounding
 * (tick_time.h), which keeps the windows at the same time on every counter rate (at 1193182 and
 * 3579545 ticks/s the limits are 1x and 3x the units).
 * Durations are 32-bit signed differences of the counter's low halves, so an interval of 2^31
 * to 2^32 - 1 ticks reads negative, that is, short, and a longer one reads as what is left of it
 * modulo 2^32.
 *
 * Receiver thread only: the last timestamp is its private state.
 */
#ifndef FRAME_DECODER_H
#define FRAME_DECODER_H

#include "../common/shared.h"
#include "receiver_line.h"
#include "tick_time.h"

typedef struct PulsePair {
    LONG offTicks;  /* the burst: line off, ending when it was seen on */
    LONG onTicks;   /* the gap: line on, ending when it was seen off again */
} PulsePair;

/* Limits in timer units (1/1193182 s); bounds are exclusive. */
enum {
    TIMER_UNITS_PER_SECOND = 1193182,
    LEADER_OFF_MIN_UNITS = 4200,  /* 3520.0 us */
    LEADER_OFF_MAX_UNITS = 4400,  /* 3687.6 us */
    LEADER_ON_MIN_UNITS = 1900,   /* 1592.4 us */
    LEADER_ON_MAX_UNITS = 2100,   /* 1760.0 us */
    BIT_ONE_MIN_UNITS = 750,      /* 628.6 us: a longer gap is a 1 */
    FRAME_DATA_PAIRS = 49         /* 48 data bits and the closing pause */
};

/* units x frequency / 1193182, rounded to the nearest tick (tick_time.h). */
static inline LONGLONG UnitsToTicks(LONGLONG units, LONGLONG frequency)
{
    return ScaleTime(units, TIMER_UNITS_PER_SECOND, frequency);
}

/* Ticks since the previous timestamp (signed 32-bit, wrapping), and remembers this one. */
LONG TakeTimestamp(const ReceiverLine *line);

/* Waits for the line to go on, then off again; fills the pair ending at that off edge. */
void MeasurePulse(const ReceiverLine *line, PulsePair *pair);

/* Whether a pair lies inside both leader windows at a counter of `frequency` ticks per second.
   Here, not in the decoder's file, so that ir-monitor counts leaders by the very same test while
   the program keeps it inlined in ReadFrame. */
static inline BOOL IsLeader(const PulsePair *pair, LONGLONG frequency)
{
    LONGLONG off = pair->offTicks;
    LONGLONG on = pair->onTicks;
    return off > UnitsToTicks(LEADER_OFF_MIN_UNITS, frequency) &&
           off < UnitsToTicks(LEADER_OFF_MAX_UNITS, frequency) &&
           on > UnitsToTicks(LEADER_ON_MIN_UNITS, frequency) &&
           on < UnitsToTicks(LEADER_ON_MAX_UNITS, frequency);
}

/* Blocks until one whole frame has been read; never gives up. */
FrameCode ReadFrame(const ReceiverLine *line);

#endif
