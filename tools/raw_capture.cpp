/*
 * The --raw capture; see raw_capture.h.
 */
#include "raw_capture.h"

#include "../receiver/recording_format.h"
#include "tick_time.h"

/* All written by the thread that reads the line. */
static LONGLONG captureFrequency;
static BOOL captureStarted;
static BOOL lineOff;              /* the state after the last change written */
static LONGLONG startStamp;       /* counter where the decoder began measuring */
static ULONGLONG writtenUs;       /* microseconds from the start to the last change written */

void StartCapture(LONGLONG frequency)
{
    char rate[NUMBER_TEXT_SIZE];
    captureFrequency = frequency;
    captureStarted = FALSE;
    FormatUnsigned64((ULONGLONG)frequency, 10, 1, rate);
    PutFormatted("# ir-monitor --raw: the receiver line, counter %s Hz, in microseconds\n", rate);
    PutFormatted("frequency %s\n", rate);
}

/* Writes the interval from the last change written up to `stamp`, a burst when the line was off. */
static void WriteIntervalUpTo(LONGLONG stamp)
{
    ULONGLONG sinceStart = (ULONGLONG)ScaleTime(stamp - startStamp, captureFrequency, MICROSECONDS_PER_SECOND);
    WriteRecordingItems(lineOff ? LINE_PULSE : LINE_SPACE, sinceStart - writtenUs, PutText);
    writtenUs = sinceStart;
}

void CaptureChange(const TappedChange *change)
{
    if (!captureStarted) {
        captureStarted = TRUE;
        startStamp = TapStartStamp();
        writtenUs = 0;
        lineOff = change->on;  /* before its first change the line was in the other state */
    }
    WriteIntervalUpTo(change->stamp);
    lineOff = !change->on;
}

void EndCapture(LONGLONG counterNow)
{
    if (!captureStarted || !lineOff)
        return;
    ULONGLONG sinceStart = (ULONGLONG)ScaleTime(counterNow - startStamp, captureFrequency, MICROSECONDS_PER_SECOND);
    WriteRecordingItems(LINE_PULSE, sinceStart > writtenUs ? sinceStart - writtenUs : 1, PutText);
}

