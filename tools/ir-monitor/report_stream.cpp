/*
 * ir-monitor's report stream; see report_stream.h.
 */
#include "report_stream.h"

enum {
    BUFFER_MASK = OUTPUT_BUFFER_SIZE - 1,
    GAP_NOTE_SIZE = 2 * NUMBER_TEXT_SIZE + 64
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
