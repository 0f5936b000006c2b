/*
 * The capture that `ir-monitor --raw` writes: the line's changes as a pulse/space recording, in
 * whole microseconds, which the replay line, ir-monitor and the tests read back.
 *
 * It begins where the decoder began measuring (line_tap.h), after a '#' line naming the counter
 * rate and a `frequency` line giving it to the replay, so that its replay decodes exactly the
 * frames the tool decoded: the time before the first change is kept as a leading space (or as a
 * pulse, if the line was in a burst when the tool started), and a first leader that came too
 * late after the start to be taken live is not taken from the capture either.  Each interval is
 * written when it ends.  Times are converted from the start as a whole and written as
 * differences, so rounding to microseconds never accumulates, however long the capture.  An interval that rounds to nothing is left out
 * (the replay joins its neighbours, which is what a glitch shorter than the format can say
 * becomes); one longer than a recording's largest number is written as several items of its
 * kind, which the replay joins again.  A burst still going at the end is written up to then, at
 * least 1 us, so the replay sees it begin, as the decoder did: that edge ends the last frame.
 *
 * One thread: the one reading the line writes the capture (and at the end, the one that stops it).
 */
#ifndef RAW_CAPTURE_H
#define RAW_CAPTURE_H

#include "line_tap.h"

/* Starts a capture on the tool's output (text_output.h), for a line counting `frequency` ticks
   per second. */
void StartCapture(LONGLONG frequency);

/* Writes the interval `change` ends. */
void CaptureChange(const TappedChange *change);

/* Writes the burst in progress, if any, as ending at `counterNow`. */
void EndCapture(LONGLONG counterNow);

#endif
