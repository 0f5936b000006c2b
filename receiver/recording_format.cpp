/*
 * The recording format; see recording_format.h.  Nothing here allocates or reads a file, so the
 * replay line, ir-monitor's capture and the tests' in-memory line share it as they are.
 */
#include "recording_format.h"

static const char *SkipBlanks(const char *p)
{
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')
        p++;
    return p;
}

static BOOL IsEndOfLine(const char *p)
{
    p = SkipBlanks(p);
    return *p == '\0' || *p == '#';
}

static BOOL StartsWithWord(const char *p, const char *word, const char **after)
{
    size_t n = 0;
    for (; word[n] != '\0'; n++)
        if (p[n] != word[n])
            return FALSE;
    char next = p[n];
    if (next != '\0' && next != ' ' && next != '\t' && next != '\r' && next != '\n' && next != '#')
        return FALSE;
    *after = p + n;
    return TRUE;
}

/* Reads a positive number no larger than the largest, followed only by blanks or a comment. */
static void ParseNumber(const char *p, RecordingLine *out)
{
    p = SkipBlanks(p);
    if (*p == '-') {
        out->kind = LINE_BAD;
        out->problem = "the number must be positive";
        return;
    }
    if (*p < '0' || *p > '9') {
        out->kind = LINE_BAD;
        out->problem = "a number is missing";
        return;
    }
    ULONGLONG value = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        value = value * 10 + (ULONGLONG)(*p - '0');
        if (value > RECORDING_LARGEST_NUMBER) {
            out->kind = LINE_BAD;
            out->problem = "the number is too large (at most 4294967295)";
            return;
        }
    }
    if (!IsEndOfLine(p)) {
        out->kind = LINE_BAD;
        out->problem = "unexpected text after the number";
        return;
    }
    if (value == 0) {
        out->kind = LINE_BAD;
        out->problem = "the number must be positive";
        return;
    }
    out->number = value;
}

void ParseRecordingLine(const char *text, RecordingLine *out)
{
    const char *p = SkipBlanks(text);
    const char *rest;
    out->number = 0;
    out->problem = NULL;
    if (IsEndOfLine(p)) {
        out->kind = LINE_EMPTY;
    } else if (StartsWithWord(p, "pulse", &rest)) {
        out->kind = LINE_PULSE;
        ParseNumber(rest, out);
    } else if (StartsWithWord(p, "space", &rest)) {
        out->kind = LINE_SPACE;
        ParseNumber(rest, out);
    } else if (StartsWithWord(p, "frequency", &rest)) {
        out->kind = LINE_FREQUENCY;
        ParseNumber(rest, out);
    } else if (StartsWithWord(p, "repeat", &rest)) {
        out->kind = IsEndOfLine(rest) ? LINE_REPEAT : LINE_BAD;
        out->problem = IsEndOfLine(rest) ? NULL : "unexpected text after 'repeat'";
    } else if (StartsWithWord(p, "units", &rest)) {
        const char *end;
        rest = SkipBlanks(rest);
        if (StartsWithWord(rest, "ticks", &end) && IsEndOfLine(end)) {
            out->kind = LINE_UNITS_TICKS;
        } else {
            out->kind = LINE_BAD;
            out->problem = "the only units are 'ticks'";
        }
    } else {
        out->kind = LINE_BAD;
        out->problem = "unknown word (expected pulse, space, frequency, units or repeat)";
    }
}

void WriteRecordingItems(RecordingLineKind kind, ULONGLONG length, void (*putLine)(const char *line))
{
    char line[32];
    while (length > 0) {
        ULONGLONG item = length < RECORDING_LARGEST_NUMBER ? length : RECORDING_LARGEST_NUMBER;
        wsprintfA(line, "%s %lu\n", kind == LINE_PULSE ? "pulse" : "space", (unsigned long)item);
        putLine(line);
        length -= item;
    }
}

void StartPlaying(RecordingPlayer *player, RecordingItemSource nextItem)
{
    player->nextItem = nextItem;
    player->held.kind = LINE_EMPTY;
    player->lineOn = TRUE;
    player->lastChange = 0;
    player->nextRunStart = 0;
}

/* The next run: consecutive items of one kind added together. */
static BOOL NextRun(RecordingPlayer *player, RecordingLine *run)
{
    if (player->held.kind != LINE_EMPTY)
        *run = player->held;
    else if (!player->nextItem(run))
        return FALSE;
    player->held.kind = LINE_EMPTY;
    RecordingLine item;
    while (player->nextItem(&item)) {
        if (item.kind != run->kind) {
            player->held = item;
            break;
        }
        run->number += item.number;
    }
    return TRUE;
}

BOOL PlayNextChange(RecordingPlayer *player)
{
    RecordingLine run;
    for (;;) {
        if (!NextRun(player, &run))
            return FALSE;
        BOOL runIsOn = run.kind == LINE_SPACE;
        ULONGLONG start = player->nextRunStart;
        player->nextRunStart += run.number;
        if (runIsOn == player->lineOn)
            continue;  /* a leading gap only lengthens the idle line */
        player->lastChange = start;
        player->lineOn = runIsOn;
        return TRUE;
    }
}
