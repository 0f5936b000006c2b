/*
 * The tools' text output; see text_output.h.
 */
#include "text_output.h"

enum {
    BUFFER_MASK = OUTPUT_BUFFER_SIZE - 1,
    GAP_NOTE_SIZE = 2 * NUMBER_TEXT_SIZE + 64,
    /* The most one WriteFile is given.  A console of NT 4.0 to Windows 7 passes each write
       through a 64 KB heap it shares with all its other work, and refuses a write that does not
       fit with ERROR_NOT_ENOUGH_MEMORY, well below 64 KB when a selection has held it; after a
       stall the ring holds up to a megabyte. */
    WRITE_SIZE_MAX = 16 * 1024,
    /* Where a console refuses even that, pieces are halved down to this. */
    WRITE_SIZE_MIN = 256,
    /* Any usual message with its CR LF, indents and breaks, in one write; a longer one goes in
       more.  With the formatted text it keeps a message's stack under 4 KiB, where a larger frame
       would need the compiler's stack probe from libgcc, and its unwind tables. */
    MESSAGE_BUFFER_SIZE = 2 * FORMATTED_TEXT_LIMIT
};

/* The ring: bytes from `written` up to `produced` (counted from StartOutput, wrapping) wait for
   the writer.  The producer moves `produced`, whoever writes moves `written`; both, the drop
   counts and `failed` change under bufferLock, which nobody holds across a call that may wait. */
static char ring[OUTPUT_BUFFER_SIZE];
static DWORD produced;
static DWORD written;
static CRITICAL_SECTION bufferLock;
/* Lines and bytes dropped in the gap still open (no bytes: none), and since StartOutput. */
static ULONGLONG gapLines, gapBytes;
static ULONGLONG droppedLines, droppedBytes;
/* Set by FinishOutput, or from the start by OutputNeverDrops: the producer may wait. */
static BOOL producerMayWait;
/* Set when a write has failed: nothing more is kept or written; with the system's error. */
static BOOL failed;
static DWORD failure;
/* Held while bytes go to the handle, so they go in the order they were produced. */
static CRITICAL_SECTION writeLock;
/* Set by StartOutput, under both locks. */
static HANDLE outputHandle;
static BOOL outputIsConsole;  /* every LF goes out as CR LF */
static OutputFailureHandler failureHandler;
/* Set by the StartOutput that starts the writer thread, which it wakes; NULL while there is none. */
static HANDLE writerWake;
static BOOL outputReady;

/* The value is divided by `base` as four 16-bit pieces, each step a 32-bit division, rather than
   by libgcc's 64-bit division helper: remote-send links this file, and that helper's unwind
   tables alone would cost it a 512-byte section of its 8 KiB. */
const char *FormatUnsigned64(ULONGLONG value, unsigned base, int minDigits, char text[NUMBER_TEXT_SIZE])
{
    char digits[NUMBER_TEXT_SIZE];
    int count = 0;
    WORD pieces[4] = {(WORD)(value >> 48), (WORD)(value >> 32), (WORD)(value >> 16), (WORD)value};
    BOOL left;
    do {
        DWORD remainder = 0;
        left = FALSE;
        for (int i = 0; i < 4; i++) {
            DWORD part = remainder << 16 | pieces[i];
            pieces[i] = (WORD)(part / base);
            remainder = part % base;
            left = left || pieces[i] != 0;
        }
        digits[count++] = "0123456789ABCDEF"[remainder];
    } while (left);
    while (count < minDigits && count < NUMBER_TEXT_SIZE - 1)
        digits[count++] = '0';
    for (int i = 0; i < count; i++)
        text[i] = digits[count - 1 - i];
    text[count] = '\0';
    return text;
}

/* FALSE, with the system's error, when a write fails or takes nothing.  In pieces of at most
   WRITE_SIZE_MAX, and smaller ones while a console short of its heap refuses them. */
static BOOL WriteAll(HANDLE handle, const char *text, DWORD length, DWORD *error)
{
    DWORD done;
    DWORD pieceMax = WRITE_SIZE_MAX;
    while (length > 0) {
        DWORD piece = length < pieceMax ? length : pieceMax;
        if (!WriteFile(handle, text, piece, &done, NULL) || done == 0) {
            *error = GetLastError();
            if (*error == ERROR_NOT_ENOUGH_MEMORY && piece > (DWORD)WRITE_SIZE_MIN) {
                pieceMax = piece / 2;
                continue;
            }
            if (*error == 0)
                *error = ERROR_GEN_FAILURE;
            return FALSE;
        }
        text += done;
        length -= done;
    }
    return TRUE;
}

/* Writes what the ring holds; after a failed write, on every call, tells the failure handler. */
void WritePendingOutput(void)
{
    DWORD error = 0;
    EnterCriticalSection(&writeLock);
    for (;;) {
        EnterCriticalSection(&bufferLock);
        DWORD from = written;
        DWORD length = failed ? 0 : produced - written;
        LeaveCriticalSection(&bufferLock);
        if (length == 0)
            break;
        DWORD start = from & BUFFER_MASK;
        if (length > OUTPUT_BUFFER_SIZE - start)
            length = OUTPUT_BUFFER_SIZE - start;  /* up to the ring's end; the rest next time */
        BOOL ok = WriteAll(outputHandle, ring + start, length, &error);
        EnterCriticalSection(&bufferLock);
        written = from + length;
        if (!ok) {
            failed = TRUE;
            failure = error;
        }
        LeaveCriticalSection(&bufferLock);
        if (!ok)
            break;
    }
    EnterCriticalSection(&bufferLock);
    BOOL broken = failed;
    LeaveCriticalSection(&bufferLock);
    LeaveCriticalSection(&writeLock);
    /* Every caller hears of it, so that no thread ends the tool as if all had been written. */
    if (broken && failureHandler != NULL)
        failureHandler(failure);
}

static DWORD WINAPI WriteOutputForEver(LPVOID unused)
{
    (void)unused;
    for (;;) {
        WaitForSingleObject(writerWake, OUTPUT_WRITE_MS);
        WritePendingOutput();
    }
}

static void StartWriter(void)
{
    writerWake = CreateEventA(NULL, FALSE, FALSE, NULL);
    if (writerWake == NULL)
        return;
    DWORD id;
    HANDLE writer = CreateThread(NULL, 0, WriteOutputForEver, NULL, 0, &id);
    if (writer == NULL) {
        CloseHandle(writerWake);
        writerWake = NULL;
        return;
    }
    CloseHandle(writer);
}

void StartOutput(HANDLE handle, OutputFailureHandler onFailure)
{
    if (!outputReady) {
        InitializeCriticalSection(&bufferLock);
        InitializeCriticalSection(&writeLock);
        outputReady = TRUE;
    }
    if (writerWake == NULL)
        StartWriter();
    DWORD mode;
    BOOL console = GetConsoleMode(handle, &mode);
    EnterCriticalSection(&writeLock);
    EnterCriticalSection(&bufferLock);
    outputHandle = handle;
    outputIsConsole = console;
    failureHandler = onFailure;
    produced = written = 0;
    gapLines = gapBytes = droppedLines = droppedBytes = 0;
    producerMayWait = FALSE;
    failed = FALSE;
    failure = 0;
    LeaveCriticalSection(&bufferLock);
    LeaveCriticalSection(&writeLock);
}

void FlushOutput(void)
{
    if (writerWake != NULL)
        SetEvent(writerWake);
    else
        WritePendingOutput();
}

/* A text about to be buffered: its length and how many lines it ends. */
typedef struct OutputText {
    const char *text;
    DWORD length, lines;
} OutputText;

static OutputText MeasureText(const char *text)
{
    OutputText measured = {text, 0, 0};
    for (; text[measured.length] != '\0'; measured.length++)
        if (text[measured.length] == '\n')
            measured.lines++;
    return measured;
}

/* The bytes `text` takes in the ring, a CR before each LF included for a console. */
static DWORD SizeInRing(const OutputText *text) { return text->length + (outputIsConsole ? text->lines : 0); }

/* Copies `text` into the ring, which has room for it; under bufferLock. */
static void Append(const OutputText *text)
{
    for (DWORD i = 0; i < text->length; i++) {
        if (text->text[i] == '\n' && outputIsConsole)
            ring[produced++ & BUFFER_MASK] = '\r';
        ring[produced++ & BUFFER_MASK] = text->text[i];
    }
}

/* The '#' line at a gap; under bufferLock. */
static void FormatGapNote(char note[GAP_NOTE_SIZE])
{
    char lines[NUMBER_TEXT_SIZE], bytes[NUMBER_TEXT_SIZE];
    wsprintfA(note, "# output fell behind: %s lines (%s bytes) dropped here\n", FormatUnsigned64(gapLines, 10, 1, lines),
              FormatUnsigned64(gapBytes, 10, 1, bytes));
}

/* Buffers `text`, after the note of an open gap, or drops it while the producer may not wait;
   FALSE when it must wait for room.  Under bufferLock. */
static BOOL TakeText(const OutputText *text, BOOL mayWait)
{
    if (failed)
        return TRUE;  /* the output has ended: nothing more reaches it */
    DWORD room = OUTPUT_BUFFER_SIZE - (produced - written);
    DWORD size = SizeInRing(text);
    if (gapBytes == 0 && room >= size) {
        Append(text);
        return TRUE;
    }
    if (gapBytes > 0) {
        char noteText[GAP_NOTE_SIZE];
        FormatGapNote(noteText);
        OutputText note = MeasureText(noteText);
        if (room >= SizeInRing(&note) + size) {
            Append(&note);
            Append(text);
            gapLines = gapBytes = 0;
            return TRUE;
        }
    }
    if (mayWait)
        return FALSE;
    gapLines += text->lines;
    gapBytes += size;
    droppedLines += text->lines;
    droppedBytes += size;
    return TRUE;
}

void PutText(const char *text)
{
    OutputText measured = MeasureText(text);
    for (;;) {
        EnterCriticalSection(&bufferLock);
        BOOL taken = TakeText(&measured, producerMayWait || writerWake == NULL);
        LeaveCriticalSection(&bufferLock);
        if (taken)
            return;
        WritePendingOutput();  /* this thread may wait: room made here, still in order */
    }
}

void PutFormatted(const char *format, ...)
{
    char text[FORMATTED_TEXT_LIMIT];
    va_list arguments;
    va_start(arguments, format);
    wvsprintfA(text, format, arguments);
    va_end(arguments);
    PutText(text);
}

void OutputNeverDrops(void)
{
    EnterCriticalSection(&bufferLock);
    producerMayWait = TRUE;
    LeaveCriticalSection(&bufferLock);
}

void FinishOutput(void)
{
    OutputNeverDrops();
    PutText("");  /* the note of a gap still open */
}

ULONGLONG OutputLinesDropped(void) { return droppedLines; }
ULONGLONG OutputBytesDropped(void) { return droppedBytes; }

/* A message on its way to a standard handle: its lines broken to fit a console, with CR LF there. */
typedef struct MessageText {
    char bytes[MESSAGE_BUFFER_SIZE];
    DWORD length;
    HANDLE handle;
    BOOL console;
    DWORD error;  /* the first failed write's; 0 while all went */
} MessageText;

/* Writes what the message holds so far, unless a write has already failed. */
static void WriteMessage(MessageText *message)
{
    if (message->error == 0)
        WriteAll(message->handle, message->bytes, message->length, &message->error);
    message->length = 0;
}

static void AddBytes(MessageText *message, const char *bytes, DWORD count)
{
    for (DWORD i = 0; i < count; i++) {
        if (message->length == MESSAGE_BUFFER_SIZE)
            WriteMessage(message);
        message->bytes[message->length++] = bytes[i];
    }
}

static void AddBlanks(MessageText *message, DWORD count)
{
    for (DWORD i = 0; i < count; i++)
        AddBytes(message, " ", 1);
}

static void EndLine(MessageText *message)
{
    if (message->console)
        AddBytes(message, "\r", 1);
    AddBytes(message, "\n", 1);
}

/* The width of a line's leading tool name and ": " ("ir-monitor: "), by which its continuation
   lines are indented; 0 when it begins otherwise. */
static DWORD PrefixWidth(const char *line, DWORD length)
{
    for (DWORD i = 0; i + 1 < length && i < MESSAGE_PREFIX_LIMIT; i++) {
        if (line[i] == ' ')
            return 0;
        if (line[i] == ':' && line[i + 1] == ' ')
            return i + 2;
    }
    return 0;
}

/* One line of a message, without its line end, in pieces of MESSAGE_COLUMNS at most: each
   broken at the last blank that leaves more than the prefix on it, or, for a word longer than
   the room left (a path), at the column limit; each further piece after the prefix's width of
   blanks.  The blanks at a break are dropped. */
static void AddWrappedLine(MessageText *message, const char *line, DWORD length)
{
    DWORD indent = PrefixWidth(line, length);
    DWORD lead = 0;   /* the blanks this piece comes after: none on the line's first */
    DWORD least = indent > 0 ? indent : 1;  /* the first blank a break may take */
    while (lead + length > MESSAGE_COLUMNS) {
        DWORD room = MESSAGE_COLUMNS - lead;
        DWORD blank = room;  /* a blank just past the room still lets the piece before it fit */
        while (blank >= least && line[blank] != ' ')
            blank--;
        DWORD cut = blank >= least ? blank : room;
        DWORD piece = cut;
        while (piece > 0 && line[piece - 1] == ' ')
            piece--;
        AddBlanks(message, lead);
        AddBytes(message, line, piece);
        EndLine(message);
        while (cut < length && line[cut] == ' ')
            cut++;
        line += cut;
        length -= cut;
        lead = indent;
        least = 1;
        if (length == 0)
            return;
    }
    AddBlanks(message, lead);
    AddBytes(message, line, length);
}

/* Formats and writes at once to the standard handle `which`, each line wrapped to fit a console
   (AddWrappedLine) and ending in CR LF where it is one.  Returns 0 when written, else the
   system's error. */
static DWORD WriteFormattedNow(DWORD which, const char *format, va_list arguments)
{
    char text[FORMATTED_TEXT_LIMIT];
    MessageText message;
    wvsprintfA(text, format, arguments);
    message.handle = GetStdHandle(which);
    DWORD mode;
    message.console = GetConsoleMode(message.handle, &mode);
    message.length = 0;
    message.error = 0;
    for (const char *line = text; *line != '\0';) {
        DWORD length = 0;
        while (line[length] != '\0' && line[length] != '\n')
            length++;
        AddWrappedLine(&message, line, length);
        line += length;
        if (*line == '\n') {
            EndLine(&message);
            line++;
        }
    }
    WriteMessage(&message);
    return message.error;
}

/* A message that cannot be written is lost: the caller is already saying something went wrong. */
void PutError(const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    WriteFormattedNow(STD_ERROR_HANDLE, format, arguments);
    va_end(arguments);
}

DWORD PutOutputNow(const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    DWORD error = WriteFormattedNow(STD_OUTPUT_HANDLE, format, arguments);
    va_end(arguments);
    return error;
}

const char *DescribeSystemError(DWORD error, char text[SYSTEM_TEXT_SIZE])
{
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, error, 0, text,
                                  SYSTEM_TEXT_SIZE, NULL);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == ' '))
        length--;
    text[length] = '\0';
    if (length == 0)
        return "no text for this error";
    /* A text of several lines becomes one, so that the message around it wraps as a whole. */
    DWORD kept = 0;
    for (DWORD i = 0; i < length; i++) {
        BOOL lineEnd = text[i] == '\r' || text[i] == '\n';
        if (!lineEnd)
            text[kept++] = text[i];
        else if (kept > 0 && text[kept - 1] != ' ')
            text[kept++] = ' ';
    }
    text[kept] = '\0';
    DWORD mode;
    if (GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode))
        CharToOemA(text, text);
    return text;
}
