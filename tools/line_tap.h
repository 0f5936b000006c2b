/*
 * The line tap: a receiver line that forwards to another one (the serial or the replay line)
 * and keeps every change it passes on, stamped with the counter value the decoder reads for it.
 * ir-monitor runs the program's own decoder on the tap, so every figure it prints comes from the
 * very numbers that decoder worked from, and the decoder itself stays as the program runs it.
 *
 * Each wait that reports a new state is stamped at once with the tapped line's counter, and the
 * decoder's next counter read returns that stamp: the decoder stamps a change straight after its
 * wait, so both are the same moment.  A report of the state the line already had (it changed
 * twice between two waits) is no change: the decoder waits on past it, and so does the tap.  The
 * first report always counts, whatever it says, since the state before it is unknown; the
 * decoder, waiting for the end of a burst, may let it pass, but the capture needs it when it is
 * the start of the first burst.
 *
 * The counter read at the start of each ReadFrame is not a change.  Before any change it reads
 * the tapped counter, as in the program; after one it returns the last change's stamp instead of
 * the time of the read.  ReadFrame returns at the first edge of the next frame's leader, so the
 * time ir-monitor spends printing between two frames would otherwise be taken off that leader's
 * burst (a slow console can take more than the 40 us or so of margin a real receiver leaves);
 * the program, which only scans its table there, loses a few microseconds at most.
 *
 * One thread only: the one that reads the line writes every field here.
 */
#ifndef LINE_TAP_H
#define LINE_TAP_H

#include "../receiver/frame_decoder.h"

typedef struct TappedChange {
    BOOL on;             /* the line's new state: on ends a burst, off ends a gap */
    LONGLONG stamp;      /* the tapped line's counter when the wait returned */
    LONGLONG ticks;      /* since the previous change (the burst or gap that ended); 0 for the first */
    LONG decoderTicks;   /* what the decoder takes for that interval: signed 32-bit ticks since
                            its previous counter read */
} TappedChange;

/* Runs for every change, after its stamp and before the wait returns to the decoder. */
typedef void (*TapChangeHandler)(const TappedChange *change);

/* One frame's changes: the leader's two and two for each data pair. */
enum { TAP_HISTORY = 2 + 2 * FRAME_DATA_PAIRS };

/* Makes the tap forward to `line` and forget every earlier change; returns the tap as a line. */
const ReceiverLine *TapLine(const ReceiverLine *line, TapChangeHandler onChange);

/* The change `back` changes before the latest (0: the latest); NULL if not kept or none. */
const TappedChange *RecentChange(int back);

/* How many changes the tap has passed on. */
DWORD TappedChangeCount(void);

/* Where the decoder began measuring: its last counter read before the first change (the first
   change's own stamp if it read none).  Its first burst is measured from here. */
LONGLONG TapStartStamp(void);

/* The tapped line's counter now, and its rate. */
LONGLONG ReadTappedCounter(void);
LONGLONG ReadTappedFrequency(void);

#endif
