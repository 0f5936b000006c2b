/*
 * The replay line; see replay_line.h, and recording_format.h for the format.
 *
 * The file is read twice: once to check every line (so nothing is decoded from a recording that
 * turns out to be bad), then item by item while playing.  It is opened sharing reading and
 * writing, so that a capture another ir-monitor is still writing can be played; such a file
 * grows between the two readings, so playing stops at the last byte the check read.  Time is kept as the total of the items
 * in the recording's own unit and turned into counter ticks at each change, so rounding never
 * accumulates over a long recording.
 *
 * A writer may have got only part of the way through a line when the check reaches the end of
 * the file (`pulse 46` of `pulse 460`, or half a UTF-16 unit).  So when the last line has no
 * line end, the check waits GROWTH_WAIT_MS and reads on: a file that has grown is still being
 * written, and its last line is held back, the check (and so playing) ending where it begins.
 * A file that has not grown is finished (Notepad saves the last line without a line end) and
 * its last line plays.  The wait is twice the longest ir-monitor's own writer waits between
 * two writes (250 ms), and costs nothing to a file whose last line ends.  Growth is seen
 * whoever writes, where share modes would not tell: a writer on another machine's share, a Unix
 * program beside Wine, another process beside the host's stand-in.
 *
 * The file is read through Win32 calls in blocks, since ir-monitor links no C runtime.
 *
 * Accepted encodings: ASCII or UTF-8, with or without a UTF-8 byte-order mark (EF BB BF, as
 * Notepad may save), and UTF-16LE with its mark (FF FE, as Windows PowerShell 5.1 redirects a
 * program's output).  The mark is looked for at every start of the file, a repeating
 * recording's rewinds included.  A UTF-16 unit is read as one byte: as it stands up to 0x7F
 * (0 stays a NUL, a bad line), otherwise '?', which no word or number holds, so other
 * characters are fine in comments only; an odd last byte is a bad line.  UTF-16 big-endian, and
 * UTF-16 without its mark, are refused by name, with what to save the file as instead.
 *
 * Only the thread that plays the line touches this state.
 */
#include "replay_line.h"

#include "../common/format_text.h"
#include "recording_format.h"
#include "tick_time.h"

enum {
    MAX_LINE_LENGTH = 200,
    READ_BLOCK_SIZE = 4096,
    GROWTH_WAIT_MS = 500,
    PACE_MIN_MS = 10,
    PACE_MAX_MS = 2000
};

/* The open recording and the block read ahead of the parser. */
static HANDLE recording = INVALID_HANDLE_VALUE;
static char readBlock[READ_BLOCK_SIZE];
static DWORD readBlockLength;
static DWORD readBlockPosition;
static ULONGLONG bytesRead;      /* from the start of the file, in this reading */
static ULONGLONG bytesChecked;   /* what the check read: playing reads no further */
static BOOL readFailed;
static DWORD systemError;        /* why the file could not be opened or read; 0 otherwise */
static ULONGLONG lineStart;      /* where the line read last begins, from the start of the file */
static BOOL lineEnded;           /* whether it ended in a line end */
static BOOL textIsUtf16;         /* UTF-16LE, its mark skipped; otherwise bytes */

/* The recording being played. */
static BOOL pacedInRealTime;
static ReplayEndHandler endHandler;
static LONGLONG frequency = REPLAY_DEFAULT_FREQUENCY;
static BOOL unitsAreTicks;
static BOOL repeatForever;
static BOOL holdsItems;          /* a pulse or a space at least */
static BOOL NextItem(RecordingLine *item);
/* Its times are in the recording's own unit. */
static RecordingPlayer player = {NextItem, {LINE_EMPTY, 0, NULL}, TRUE, 0, 0};

/* Reads the file's next block, up to what the check read; FALSE at the end or when reading fails. */
static BOOL ReadNextBlock(void)
{
    readBlockPosition = 0;
    readBlockLength = 0;
    DWORD wanted = sizeof readBlock;
    if (bytesChecked - bytesRead < wanted)
        wanted = (DWORD)(bytesChecked - bytesRead);
    if (wanted == 0)
        return FALSE;
    if (!ReadFile(recording, readBlock, wanted, &readBlockLength, NULL)) {
        systemError = GetLastError();
        readFailed = TRUE;
        readBlockLength = 0;
    }
    bytesRead += readBlockLength;
    return readBlockLength != 0;
}

/* Starts reading the recording from its first byte, past a byte-order mark.  The first block
   holds the whole mark: a file is read in full blocks up to its end. */
static void RewindRecording(void)
{
    SetFilePointer(recording, 0, NULL, FILE_BEGIN);
    readFailed = FALSE;
    bytesRead = 0;
    ReadNextBlock();
    const unsigned char *start = (const unsigned char *)readBlock;
    textIsUtf16 = readBlockLength >= 2 && start[0] == 0xFF && start[1] == 0xFE;
    if (textIsUtf16)
        readBlockPosition = 2;
    else if (readBlockLength >= 3 && start[0] == 0xEF && start[1] == 0xBB && start[2] == 0xBF)
        readBlockPosition = 3;
}

enum { END_OF_RECORDING = -1, HALF_A_UNIT = -2 };

/* The next byte of the file, or END_OF_RECORDING at its end or when reading fails. */
static int ReadRecordingByte(void)
{
    if (readBlockPosition == readBlockLength && !ReadNextBlock())
        return END_OF_RECORDING;
    return (unsigned char)readBlock[readBlockPosition++];
}

/* The next character: a byte, or a UTF-16 unit as one byte; HALF_A_UNIT for an odd last byte. */
static int ReadRecordingCharacter(void)
{
    int low = ReadRecordingByte();
    if (!textIsUtf16 || low == END_OF_RECORDING)
        return low;
    int high = ReadRecordingByte();
    if (high == END_OF_RECORDING)
        return readFailed ? END_OF_RECORDING : HALF_A_UNIT;
    return high == 0 && low <= 0x7F ? low : '?';
}

/* Whether the first `length` characters of a line begin a comment: blanks, then '#'. */
static BOOL BeginsComment(const char *text, size_t length)
{
    size_t i = 0;
    while (i < length && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r'))
        i++;
    return i < length && text[i] == '#';
}

/* Reads one line; FALSE at the end of the file.  Item lines longer than MAX_LINE_LENGTH, NULs
   and a half unit are bad lines; a comment line may be of any length (users annotate captures),
   and what of it is beyond MAX_LINE_LENGTH is skipped. */
static BOOL ReadRecordingLine(RecordingLine *out)
{
    char text[MAX_LINE_LENGTH + 1];
    size_t length = 0;
    BOOL tooLong = FALSE;
    BOOL longComment = FALSE;
    BOOL holdsNul = FALSE;
    int c;
    lineStart = bytesRead - readBlockLength + readBlockPosition;
    while ((c = ReadRecordingCharacter()) >= 0 && c != '\n') {
        holdsNul = holdsNul || c == '\0';
        if (length < MAX_LINE_LENGTH) {
            text[length++] = (char)c;
        } else if (!tooLong && !longComment) {  /* looked at once, where the buffer is full */
            longComment = BeginsComment(text, length);
            tooLong = !longComment;
        }
    }
    if (c == END_OF_RECORDING && length == 0)
        return FALSE;
    lineEnded = c == '\n';
    text[length] = '\0';
    if (tooLong || holdsNul || c == HALF_A_UNIT) {
        out->kind = LINE_BAD;
        out->number = 0;
        out->problem = tooLong ? "the line is longer than 200 characters, the most a line other than a comment holds"
                       : holdsNul ? "the line holds a NUL byte"
                                  : "the file ends in half a UTF-16 character";
        return TRUE;
    }
    ParseRecordingLine(text, out);
    return TRUE;
}

static_assert(MAX_LINE_LENGTH == 200, "the message about a long line gives the limit");

/* Why the file just rewound cannot be read, when its first block is in a UTF-16 the replay line
   does not read: big-endian (the mark FE FF, as Notepad's "UTF-16 BE"), or either order without
   a mark, where each of the first 32 characters is a byte beside a 0 on the same side, as the
   ASCII a recording is written in gives; NULL otherwise.  Read as bytes, such a file would only
   give "a NUL byte" on its first line. */
static const char *UnreadableEncoding(void)
{
    if (textIsUtf16 || readBlockPosition != 0)
        return NULL;
    const unsigned char *start = (const unsigned char *)readBlock;
    if (readBlockLength >= 2 && start[0] == 0xFE && start[1] == 0xFF)
        return "the recording is in UTF-16 big-endian; save it as UTF-8, or as UTF-16 LE with its byte-order mark";
    DWORD units = readBlockLength / 2 < 32 ? readBlockLength / 2 : 32;
    BOOL lowFirst = TRUE, highFirst = TRUE;
    for (DWORD i = 0; i < units; i++) {
        unsigned char first = start[2 * i], second = start[2 * i + 1];
        lowFirst = lowFirst && second == 0 && first != 0;
        highFirst = highFirst && first == 0 && second != 0;
    }
    if (units > 0 && (lowFirst || highFirst))
        return "the recording is in UTF-16 without a byte-order mark; save it as UTF-8, or as UTF-16 LE with its "
               "byte-order mark";
    return NULL;
}

/* Writes "path: ..." into `error`, cut to `errorSize`; callers cut the path at MAX_PATH characters. */
static void SayWhy(char *error, int errorSize, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    FormatTextV(error, errorSize, format, arguments);
    va_end(arguments);
}

/* Whether the file grows still: bytes after what has been read, once a writer has had time to
   add them. */
static BOOL RecordingStillGrows(void)
{
    Sleep(GROWTH_WAIT_MS);
    return ReadNextBlock();
}

/* The whole-file check; on success leaves the directives in effect and the file rewound. */
static BOOL CheckRecording(const char *path, char *error, int errorSize)
{
    RecordingLine line;
    BOOL pulseSeen = FALSE;
    BOOL spaceSeen = FALSE;
    long number = 0;
    holdsItems = FALSE;
    bytesChecked = ~(ULONGLONG)0;
    RewindRecording();
    frequency = REPLAY_DEFAULT_FREQUENCY;
    unitsAreTicks = FALSE;
    repeatForever = FALSE;
    if (const char *encoding = UnreadableEncoding()) {
        SayWhy(error, errorSize, "%.260s: %s", path, encoding);
        return FALSE;
    }
    BOOL lastLineRead = FALSE;
    BOOL lastLineHeldBack = FALSE;
    while (!lastLineRead && ReadRecordingLine(&line)) {
        lastLineRead = !lineEnded;  /* nothing after it is read, should the file grow now */
        lastLineHeldBack = lastLineRead && !readFailed && RecordingStillGrows();
        if (lastLineHeldBack)
            break;
        number++;
        const char *problem = line.problem;
        if (line.kind == LINE_FREQUENCY || line.kind == LINE_UNITS_TICKS || line.kind == LINE_REPEAT) {
            if (pulseSeen || spaceSeen)
                problem = "directives must come before the first pulse or space";
            else if (line.kind == LINE_FREQUENCY)
                frequency = (LONGLONG)line.number;
            else if (line.kind == LINE_UNITS_TICKS)
                unitsAreTicks = TRUE;
            else
                repeatForever = TRUE;
        }
        pulseSeen = pulseSeen || line.kind == LINE_PULSE;
        spaceSeen = spaceSeen || line.kind == LINE_SPACE;
        if (line.kind == LINE_BAD || problem != NULL) {
            SayWhy(error, errorSize, "%.260s:%ld: %s", path, number, problem);
            return FALSE;
        }
    }
    if (readFailed) {
        SayWhy(error, errorSize, "%.260s: cannot read the recording", path);
        return FALSE;
    }
    holdsItems = pulseSeen || spaceSeen;
    /* Played for ever, a recording of one kind only would be one endless interval. */
    if (repeatForever && !(pulseSeen && spaceSeen)) {
        SayWhy(error, errorSize, "%.260s: a repeating recording needs both pulses and spaces", path);
        return FALSE;
    }
    bytesChecked = lastLineHeldBack ? lineStart : bytesRead;
    RewindRecording();
    return TRUE;
}

/* The next pulse or space of the recording, from the start again when it repeats; FALSE when
   none is left. */
static BOOL NextItem(RecordingLine *item)
{
    while (recording != INVALID_HANDLE_VALUE) {
        while (ReadRecordingLine(item))
            if (item->kind == LINE_PULSE || item->kind == LINE_SPACE)
                return TRUE;
        if (!repeatForever)
            break;
        RewindRecording();  /* it holds both kinds, so the next pass ends this run */
    }
    return FALSE;
}

BOOL ReplayRecordingHoldsItems(void) { return holdsItems; }
DWORD ReplayRecordingSystemError(void) { return systemError; }

void CloseReplayRecording(void)
{
    if (recording != INVALID_HANDLE_VALUE)
        CloseHandle(recording);
    recording = INVALID_HANDLE_VALUE;
    player.held.kind = LINE_EMPTY;
}

BOOL LoadReplayRecording(const char *path, BOOL paced, ReplayEndHandler atEnd, char *error, int errorSize)
{
    CloseReplayRecording();
    pacedInRealTime = paced;
    endHandler = atEnd;
    systemError = 0;
    recording = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, NULL);
    if (recording == INVALID_HANDLE_VALUE) {
        systemError = GetLastError();
        /* Windows refuses a folder as "access denied", which would send a user looking for rights. */
        DWORD attributes = GetFileAttributesA(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            systemError = 0;
            SayWhy(error, errorSize, "%.260s: is a folder, not a recording", path);
        } else {
            SayWhy(error, errorSize, "%.260s: cannot open the recording", path);
        }
        return FALSE;
    }
    if (!CheckRecording(path, error, errorSize)) {
        CloseReplayRecording();
        return FALSE;
    }
    StartPlaying(&player, NextItem);
    return TRUE;
}

static LONGLONG RecordingUnitsToTicks(ULONGLONG units)
{
    return unitsAreTicks ? (LONGLONG)units : ScaleTime((LONGLONG)units, MICROSECONDS_PER_SECOND, frequency);
}

static void WaitInRealTime(ULONGLONG units)
{
    ULONGLONG ticks = (ULONGLONG)RecordingUnitsToTicks(units);
    ULONGLONG ms = ticks * 1000 / (ULONGLONG)frequency;
    if (ms < PACE_MIN_MS)
        return;
    Sleep(ms > PACE_MAX_MS ? (DWORD)PACE_MAX_MS : (DWORD)ms);
}

static void EndOfRecording(void)
{
    if (endHandler != NULL)
        endHandler();
    for (;;)
        Sleep(INFINITE);
}

static BOOL WaitReplayedChange(void)
{
    ULONGLONG previousChange = player.lastChange;
    if (!PlayNextChange(&player))
        EndOfRecording();
    if (pacedInRealTime)
        WaitInRealTime(player.lastChange - previousChange);
    return player.lineOn;
}

static void OpenReplay(void) {}

static void ReadReplayCounter(LARGE_INTEGER *count) { count->QuadPart = RecordingUnitsToTicks(player.lastChange); }

static void ReadReplayFrequency(LARGE_INTEGER *rate) { rate->QuadPart = frequency; }

const ReceiverLine ReplayReceiverLine = {
    .openLine = OpenReplay,
    .waitLineChange = WaitReplayedChange,
    .readCounter = ReadReplayCounter,
    .readFrequency = ReadReplayFrequency,
};
