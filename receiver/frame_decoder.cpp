/*
 * Pulse timing and frame decoder; see frame_decoder.h for the frame format.
 *
 * Each timestamp is taken straight after the wait reports the change, with no other work in
 * between, because the finest distinction made (the bit threshold, about 630 us) is only a few
 * scheduler ticks wide.  Nothing here allocates: the 50 pairs of a frame live on the stack.
 */
#include "frame_decoder.h"

/* The counter value at the previous change; receiver thread only.  Only the low half is used. */
static LARGE_INTEGER lastTimestamp;

LONG TakeTimestamp(const ReceiverLine *line)
{
    LARGE_INTEGER now;
    line->readCounter(&now);
    DWORD elapsed = (DWORD)now.QuadPart - (DWORD)lastTimestamp.QuadPart;
    lastTimestamp = now;
    return (LONG)elapsed;
}

void MeasurePulse(const ReceiverLine *line, PulsePair *pair)
{
    while (!line->waitLineChange()) {
    }
    pair->offTicks = TakeTimestamp(line);
    while (line->waitLineChange()) {
    }
    pair->onTicks = TakeTimestamp(line);
}

FrameCode ReadFrame(const ReceiverLine *line)
{
    FrameCode code = 0;
    PulsePair leader;
    PulsePair data[FRAME_DATA_PAIRS];
    LARGE_INTEGER frequency;

    /* The first pair's burst is measured from here, on every call. */
    TakeTimestamp(line);
    line->readFrequency(&frequency);

    do {
        MeasurePulse(line, &leader);
    } while (!IsLeader(&leader, frequency.QuadPart));

    for (int i = 0; i < FRAME_DATA_PAIRS; i++)
        MeasurePulse(line, &data[i]);

    LONGLONG threshold = UnitsToTicks(BIT_ONE_MIN_UNITS, frequency.QuadPart);
    for (int i = 0; i < FRAME_DATA_PAIRS; i++)
        code = (code << 1) | ((LONGLONG)data[i].onTicks > threshold ? 1u : 0u);
    return code;
}
