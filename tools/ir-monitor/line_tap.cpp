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
 * The changes are kept in a ring of one frame's length, so the tap needs fixed memory however
 * long it runs.  The thread that reads the line writes every field here, holding the lock it was
 * given from the counter read that stamps a change until the change has been reported, so the
 * thread that stops the tool on Ctrl+C, which takes that lock, never sees a change counted but
 * not reported, or a stamp half written (a 64-bit store is two on the 386).
 */
#include "ir_monitor.h"

/* All written by the thread that reads the line. */
static const ReceiverLine *tappedLine;
static TapChangeHandler changeHandler;
static CRITICAL_SECTION *changeLock;
static TappedChange history[TAP_HISTORY];
static DWORD changeCount;
static LONGLONG lastCounterRead;  /* what the decoder's previous counter read returned */
static LONGLONG startStamp;       /* see TapStartStamp */
static BOOL startRead;
static LONGLONG latestCounter;    /* see TapLatestCounter */

static void Lock(void)
{
    if (changeLock != NULL)
        EnterCriticalSection(changeLock);
}

static void Unlock(void)
{
    if (changeLock != NULL)
        LeaveCriticalSection(changeLock);
}

static const TappedChange *LatestChange(void) { return RecentChange(0); }

const TappedChange *RecentChange(int back)
{
    if (back < 0 || back >= TAP_HISTORY || (DWORD)back >= changeCount)
        return NULL;
    return &history[(changeCount - 1 - (DWORD)back) % TAP_HISTORY];
}

DWORD TappedChangeCount(void) { return changeCount; }

LONGLONG TapLatestCounter(void) { return latestCounter; }

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
    change->decoderSpan = stamp - lastCounterRead;
    change->stamp = stamp;
    latestCounter = stamp;
    changeCount++;
    if (changeHandler != NULL)
        changeHandler(change);
}

static void OpenTap(void) { tappedLine->openLine(); }

static BOOL WaitTappedChange(void)
{
    BOOL on = tappedLine->waitLineChange();
    Lock();
    LONGLONG stamp = ReadTappedCounter();
    const TappedChange *latest = LatestChange();
    if (latest == NULL || latest->on != on)
        KeepChange(on, stamp);
    Unlock();
    return on;
}

static void ReadTapCounter(LARGE_INTEGER *count)
{
    Lock();
    const TappedChange *latest = LatestChange();
    count->QuadPart = latest != NULL ? latest->stamp : ReadTappedCounter();
    lastCounterRead = count->QuadPart;
    latestCounter = count->QuadPart;
    if (latest == NULL) {
        startStamp = count->QuadPart;
        startRead = TRUE;
    }
    Unlock();
}

static void ReadTapFrequency(LARGE_INTEGER *frequency) { tappedLine->readFrequency(frequency); }

static const ReceiverLine tap = {
    .openLine = OpenTap,
    .waitLineChange = WaitTappedChange,
    .readCounter = ReadTapCounter,
    .readFrequency = ReadTapFrequency,
};

const ReceiverLine *TapLine(const ReceiverLine *line, TapChangeHandler onChange, CRITICAL_SECTION *lock)
{
    tappedLine = line;
    changeHandler = onChange;
    changeLock = lock;
    changeCount = 0;
    lastCounterRead = 0;
    latestCounter = 0;
    startStamp = 0;
    startRead = FALSE;
    return &tap;
}
