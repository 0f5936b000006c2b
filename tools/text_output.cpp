/*
 * The tools' text output; see text_output.h.
 */
#include "text_output.h"

enum { OUTPUT_BUFFER_SIZE = 16384 };

/* The buffer being filled and how much of it is; the producer and whoever swaps the buffers
   (under writeLock) change them under bufferLock. */
static char buffers[2][OUTPUT_BUFFER_SIZE];
static int filling;
static DWORD filled;
static CRITICAL_SECTION bufferLock;
/* Held while bytes go to the handle, so they go in the order they were produced. */
static CRITICAL_SECTION writeLock;
static HANDLE outputHandle;
/* Set once by StartOutput: wakes the writer thread; NULL when there is none. */
static HANDLE writerWake;
static BOOL outputReady;

const char *FormatUnsigned64(ULONGLONG value, unsigned base, int minDigits, char text[NUMBER_TEXT_SIZE])
{
    char digits[NUMBER_TEXT_SIZE];
    int count = 0;
    do {
        digits[count++] = "0123456789ABCDEF"[value % base];
        value /= base;
    } while (value != 0);
    while (count < minDigits && count < NUMBER_TEXT_SIZE - 1)
        digits[count++] = '0';
    for (int i = 0; i < count; i++)
        text[i] = digits[count - 1 - i];
    text[count] = '\0';
    return text;
}

static void WriteAll(HANDLE handle, const char *text, DWORD length)
{
    DWORD written;
    while (length > 0 && WriteFile(handle, text, length, &written, NULL) && written > 0) {
        text += written;
        length -= written;
    }
}

void WritePendingOutput(void)
{
    EnterCriticalSection(&writeLock);
    EnterCriticalSection(&bufferLock);
    int full = filling;
    DWORD length = filled;
    filling = 1 - filling;
    filled = 0;
    LeaveCriticalSection(&bufferLock);
    WriteAll(outputHandle, buffers[full], length);
    LeaveCriticalSection(&writeLock);
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

void StartOutput(HANDLE handle)
{
    if (!outputReady) {
        InitializeCriticalSection(&bufferLock);
        InitializeCriticalSection(&writeLock);
        outputReady = TRUE;
        StartWriter();
    }
    EnterCriticalSection(&writeLock);
    EnterCriticalSection(&bufferLock);
    outputHandle = handle;
    filled = 0;
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

void PutText(const char *text)
{
    while (*text != '\0') {
        EnterCriticalSection(&bufferLock);
        for (; *text != '\0' && filled < OUTPUT_BUFFER_SIZE; text++)
            buffers[filling][filled++] = *text;
        LeaveCriticalSection(&bufferLock);
        if (*text != '\0')
            WritePendingOutput();  /* full before the writer came: written here, still in order */
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

void PutError(const char *format, ...)
{
    char text[FORMATTED_TEXT_LIMIT];
    va_list arguments;
    va_start(arguments, format);
    int length = wvsprintfA(text, format, arguments);
    va_end(arguments);
    WriteAll(GetStdHandle(STD_ERROR_HANDLE), text, length > 0 ? (DWORD)length : 0);
}

void PutOutputNow(const char *format, ...)
{
    char text[FORMATTED_TEXT_LIMIT];
    va_list arguments;
    va_start(arguments, format);
    int length = wvsprintfA(text, format, arguments);
    va_end(arguments);
    WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), text, length > 0 ? (DWORD)length : 0);
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
    DWORD mode;
    if (GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode))
        CharToOemA(text, text);
    return text;
}
