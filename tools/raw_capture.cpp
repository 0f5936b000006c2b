/*
 * The --raw capture; see raw_capture.h.
 */
#include "raw_capture.h"

#include "tick_time.h"

/* All written by the thread that reads the line. */
static LONGLONG captureFrequency;
static BOOL captureStarted;
static BOOL lineOff;              /* the state after the last change written */
static LONGLONG firstBurstStamp;  /* counter at the first burst's start */
static ULONGLONG writtenUs;       /* microseconds from the first burst to the last change written */

static const ULONGLONG LARGEST_ITEM_US = 4294967295ull;

void StartCapture(LONGLONG frequency)
{
    char rate[NUMBER_TEXT_SIZE];
    captureFrequency = frequency;
    captureStarted = FALSE;
    FormatUnsigned64((ULONGLONG)frequency, 10, 1, rate);
    PutFormatted("# ir-monitor --raw: the receiver line, counter %s Hz, in microseconds\n", rate);
    PutFormatted("frequency %s\n", rate);
}

static void WriteItems(const char *kind, ULONGLONG microseconds)
{
    for (; microseconds > LARGEST_ITEM_US; microseconds -= LARGEST_ITEM_US)
        PutFormatted("%s %lu\n", kind, (unsigned long)LARGEST_ITEM_US);
    if (microseconds > 0)
        PutFormatted("%s %lu\n", kind, (unsigned long)microseconds);
}

/* Writes the interval from the last change written up to `stamp`, a burst when the line was off. */
static void WriteIntervalUpTo(LONGLONG stamp)
{
    ULONGLONG sinceFirstBurst = (ULONGLONG)TicksToMicroseconds(stamp - firstBurstStamp, captureFrequency);
    WriteItems(lineOff ? "pulse" : "space", sinceFirstBurst - writtenUs);
    writtenUs = sinceFirstBurst;
}

void CaptureChange(const TappedChange *change)
{
    if (!captureStarted) {
        if (change->on)
            return;
        captureStarted = TRUE;
        firstBurstStamp = change->stamp;
        writtenUs = 0;
    } else {
        WriteIntervalUpTo(change->stamp);
    }
    lineOff = !change->on;
}

void EndCapture(LONGLONG counterNow)
{
    if (!captureStarted || !lineOff)
        return;
    ULONGLONG sinceFirstBurst = (ULONGLONG)TicksToMicroseconds(counterNow - firstBurstStamp, captureFrequency);
    WriteItems("pulse", sinceFirstBurst > writtenUs ? sinceFirstBurst - writtenUs : 1);
}

