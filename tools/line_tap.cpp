/*
 * The line tap; see line_tap.h.  The changes are kept in a ring of one frame's length, so the
 * tap needs fixed memory however long it runs.
 */
#include "line_tap.h"

/* All written by the thread that reads the line. */
static const ReceiverLine *tappedLine;
static TapChangeHandler changeHandler;
static TappedChange history[TAP_HISTORY];
static DWORD changeCount;
static LONGLONG lastCounterRead;  /* what the decoder's previous counter read returned */
static LONGLONG startStamp;       /* see TapStartStamp */
static BOOL startRead;

static const TappedChange *LatestChange(void) { return RecentChange(0); }

const TappedChange *RecentChange(int back)
{
    if (back < 0 || back >= TAP_HISTORY || (DWORD)back >= changeCount)
        return NULL;
    return &history[(changeCount - 1 - (DWORD)back) % TAP_HISTORY];
}

DWORD TappedChangeCount(void) { return changeCount; }

LONGLONG TapStartStamp(void) { return startStamp; }

LONGLONG ReadTappedCounter(void)
{
    LARGE_INTEGER now;
    tappedLine->readCounter(&now);
    return now.QuadPart;
}

LONGLONG ReadTappedFrequency(void)
{
    LARGE_INTEGER frequency;
    tappedLine->readFrequency(&frequency);
    return frequency.QuadPart;
}

static void KeepChange(BOOL on, LONGLONG stamp)
{
    if (changeCount == 0 && !startRead)
        startStamp = stamp;
    const TappedChange *previous = LatestChange();
    TappedChange *change = &history[changeCount % TAP_HISTORY];
    change->on = on;
    change->ticks = previous != NULL ? stamp - previous->stamp : 0;
    /* The decoder's own arithmetic: low halves, wrapping, read as signed. */
    change->decoderTicks = (LONG)((DWORD)stamp - (DWORD)lastCounterRead);
    change->stamp = stamp;
    changeCount++;
    if (changeHandler != NULL)
        changeHandler(change);
}

static void OpenTap(void) { tappedLine->openLine(); }

static BOOL WaitTappedChange(void)
{
    BOOL on = tappedLine->waitLineChange();
    LONGLONG stamp = ReadTappedCounter();
    const TappedChange *latest = LatestChange();
    if (latest == NULL || latest->on != on)
        KeepChange(on, stamp);
    return on;
}

static void ReadTapCounter(LARGE_INTEGER *count)
{
    const TappedChange *latest = LatestChange();
    count->QuadPart = latest != NULL ? latest->stamp : ReadTappedCounter();
    lastCounterRead = count->QuadPart;
    if (latest == NULL) {
        startStamp = count->QuadPart;
        startRead = TRUE;
    }
}

static void ReadTapFrequency(LARGE_INTEGER *frequency) { tappedLine->readFrequency(frequency); }

static const ReceiverLine tap = {
    OpenTap,
    WaitTappedChange,
    ReadTapCounter,
    ReadTapFrequency,
};

const ReceiverLine *TapLine(const ReceiverLine *line, TapChangeHandler onChange)
{
    tappedLine = line;
    changeHandler = onChange;
    changeCount = 0;
    lastCounterRead = 0;
    startStamp = 0;
    startRead = FALSE;
    return &tap;
}
