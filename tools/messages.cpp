/*
 * The tools' messages, written at once; see messages.h.
 */
#include "messages.h"

enum {
    /* The most one WriteFile is given.  A console of NT 4.0 to Windows 7 passes each write
       through a 64 KB heap it shares with all its other work, and refuses a write that does not
       fit with ERROR_NOT_ENOUGH_MEMORY, well below 64 KB when a selection has held it; after a
       stall ir-monitor's report buffer holds up to a megabyte. */
    WRITE_SIZE_MAX = 16 * 1024,
    /* Where a console refuses even that, pieces are halved down to this. */
    WRITE_SIZE_MIN = 256,
    /* Any usual message with its CR LF, indents and breaks, in one write; a longer one goes in
       more.  With the formatted text it keeps a message's stack under 4 KiB, where a larger frame
       would need the compiler's stack probe from libgcc, and its unwind tables. */
    MESSAGE_BUFFER_SIZE = 2 * FORMATTED_TEXT_LIMIT
};

int FitWords(const char *text, int length, int room, int least)
{
    if (length <= room)
        return length;
    for (int blank = room; blank >= least; blank--)
        if (text[blank] == ' ')
            return blank;
    return room;
}

/* A piece refused and then written in halves is no failure: `error` is set only when the
   write fails for good. */
BOOL WriteAll(HANDLE handle, const char *text, DWORD length, DWORD *error)
{
    DWORD done;
    DWORD pieceMax = WRITE_SIZE_MAX;
    while (length > 0) {
        DWORD piece = length < pieceMax ? length : pieceMax;
        if (!WriteFile(handle, text, piece, &done, NULL) || done == 0) {
            DWORD refused = GetLastError();
            if (refused == ERROR_NOT_ENOUGH_MEMORY && piece > (DWORD)WRITE_SIZE_MIN) {
                pieceMax = piece / 2;
                continue;
            }
            *error = refused != 0 ? refused : (DWORD)ERROR_GEN_FAILURE;
            return FALSE;
        }
        text += done;
        length -= done;
    }
    return TRUE;
}

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

/* One line of a message, without its line end, in pieces of TEXT_COLUMNS at most, each broken
   by FitWords (never at a blank inside the prefix); each further piece after the prefix's width
   of blanks.  The blanks at a break are dropped. */
static void AddWrappedLine(MessageText *message, const char *line, DWORD length)
{
    DWORD indent = PrefixWidth(line, length);
    DWORD lead = 0;   /* the blanks this piece comes after: none on the line's first */
    DWORD least = indent > 0 ? indent : 1;  /* the first blank a break may take */
    for (;;) {
        DWORD cut = (DWORD)FitWords(line, (int)length, (int)(TEXT_COLUMNS - lead), (int)least);
        DWORD piece = cut;
        while (cut < length && piece > 0 && line[piece - 1] == ' ')
            piece--;
        AddBlanks(message, lead);
        AddBytes(message, line, piece);
        if (cut == length)
            return;
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
