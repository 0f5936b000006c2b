/*
 * The recording format: pulse/space text as Linux IR tools print it, which the replay line
 * plays, `ir-monitor --raw` writes and the tests make.
 *
 *   pulse N     an infrared burst of N microseconds (the line is off)
 *   space N     a gap of N microseconds (the line is on)
 *   # ...       a comment; blank lines are ignored
 * Before the first pulse or space:
 *   frequency HZ   counter rate to simulate (default 10000000)
 *   units ticks    N are counter ticks instead of microseconds
 *   repeat         play the items again and again, for ever
 * Every N is a whole number from 1 to RECORDING_LARGEST_NUMBER.  The line idles on, and two
 * items of the same kind in a row are one longer interval (a run): so a leading space only
 * lengthens the idle line, and an interval longer than the largest number is written as several
 * items of its kind.
 *
 * Here is everything about the format itself: one line read, an interval written as items, and
 * items played as the line's changes.  Files, their encodings and the checks made on a whole
 * recording belong to the replay line (replay_line.h).
 */
#ifndef RECORDING_FORMAT_H
#define RECORDING_FORMAT_H

#include <windows.h>

static const ULONGLONG RECORDING_LARGEST_NUMBER = 4294967295ull;

enum RecordingLineKind { LINE_EMPTY, LINE_PULSE, LINE_SPACE, LINE_FREQUENCY, LINE_UNITS_TICKS, LINE_REPEAT, LINE_BAD };

typedef struct RecordingLine {
    RecordingLineKind kind;
    ULONGLONG number;     /* a pulse's or a space's length, or the frequency */
    const char *problem;  /* why a LINE_BAD line is bad */
} RecordingLine;

/* Reads one line of text, without its line end. */
void ParseRecordingLine(const char *text, RecordingLine *out);

/* Writes `length` of `kind` (LINE_PULSE or LINE_SPACE) as "pulse N\n" lines through `putLine`:
   items of the largest number while more is left than that, then the rest; nothing for 0. */
void WriteRecordingItems(RecordingLineKind kind, ULONGLONG length, void (*putLine)(const char *line));

/* Gives the next pulse or space of a recording; FALSE when none is left. */
typedef BOOL (*RecordingItemSource)(RecordingLine *item);

/* Items played as a receiver line: the changes they make and when, in the recording's unit. */
typedef struct RecordingPlayer {
    RecordingItemSource nextItem;
    RecordingLine held;        /* read past the last run; LINE_EMPTY when none */
    BOOL lineOn;
    ULONGLONG lastChange;      /* from the start of the recording */
    ULONGLONG nextRunStart;
} RecordingPlayer;

/* Starts playing from `nextItem`'s first item, with the line on. */
void StartPlaying(RecordingPlayer *player, RecordingItemSource nextItem);

/* Plays up to the next change: FALSE when the items have run out, else TRUE with lineOn and
   lastChange saying what the line became and when. */
BOOL PlayNextChange(RecordingPlayer *player);

#endif
