/*
 * The capture that `ir-monitor --raw` writes: the line's changes as a pulse/space recording, in
 * whole microseconds, which the replay line, ir-monitor and the tests read back.
 *
 * It begins where the decoder began measuring (line_tap.cpp), after a '#' line naming the
 * counter rate and a `frequency` line giving it to the replay, so that its replay decodes
 * exactly the frames the tool decoded: the time before the first change is kept as a leading
 * space (or as a pulse, if the line was in a burst when the tool started), and a first leader
 * that came too late after the start to be taken live is not taken from the capture either.
 * Each interval is written when it ends.  Times are converted from the start as a whole and
 * written as differences, so rounding to microseconds never accumulates, however long the
 * capture.  An interval that rounds to nothing is left out (the replay joins its neighbours,
 * which is what a glitch shorter than the format can say becomes); one longer than a recording's
 * largest number is written as several items of its kind, which the replay joins again.  A burst
 * still going at the end is written up to then, at least 1 us, so the replay sees it begin, as
 * the decoder did: that edge ends the last frame.
 */
#include "report.h"

#include "../../receiver/recording_format.h"

static LONGLONG captureFrequency;
/* Once its first change is written: */
static BOOL captureStarted;
static BOOL captureLineOff;    /* the state after the last change written */
static LONGLONG captureStart;  /* counter where the decoder began measuring */
static ULONGLONG capturedUs;   /* microseconds from the start to the last change written */

void StartCapture(LONGLONG frequency)
{
    captureFrequency = frequency;
    captureStarted = FALSE;
    captureLineOff = FALSE;
    captureStart = 0;
    capturedUs = 0;
}

void WriteCaptureHeader(void)
{
    char rate[NUMBER_TEXT_SIZE];
    FormatUnsigned64((ULONGLONG)captureFrequency, 10, 1, rate);
    PutFormatted("# ir-monitor --raw: the receiver line, counter %s Hz, in microseconds\n", rate);
    PutFormatted("frequency %s\n", rate);
}

static ULONGLONG CapturedUsUpTo(LONGLONG stamp)
{
    return (ULONGLONG)ScaleTime(stamp - captureStart, captureFrequency, MICROSECONDS_PER_SECOND);
}

void CaptureChange(const TappedChange *change)
{
    if (!captureStarted) {
        captureStarted = TRUE;
        captureStart = TapStartStamp();
        capturedUs = 0;
        captureLineOff = change->on;  /* before its first change the line was in the other state */
    }
    ULONGLONG sinceStart = CapturedUsUpTo(change->stamp);
    WriteRecordingItems(captureLineOff ? LINE_PULSE : LINE_SPACE, sinceStart - capturedUs, PutText);
    capturedUs = sinceStart;
    captureLineOff = !change->on;
}

void EndCapture(LONGLONG counterNow)
{
    if (!captureStarted || !captureLineOff)
        return;
    ULONGLONG sinceStart = CapturedUsUpTo(counterNow);
    WriteRecordingItems(LINE_PULSE, sinceStart > capturedUs ? sinceStart - capturedUs : 1, PutText);
}
