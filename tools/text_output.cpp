/*
 * The tools' text output; see text_output.h.
 */
#include "text_output.h"

enum { OUTPUT_BUFFER_SIZE = 16384 };

/* Written by the one thread that writes at a time (see text_output.h). */
static HANDLE outputHandle;
static char outputBuffer[OUTPUT_BUFFER_SIZE];
static DWORD outputUsed;

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

void StartOutput(HANDLE handle)
{
    outputHandle = handle;
    outputUsed = 0;
}

void FlushOutput(void)
{
    WriteAll(outputHandle, outputBuffer, outputUsed);
    outputUsed = 0;
}

void PutText(const char *text)
{
    for (; *text != '\0'; text++) {
        if (outputUsed == OUTPUT_BUFFER_SIZE)
            FlushOutput();
        outputBuffer[outputUsed++] = *text;
    }
}

void PutFormatted(const char *format, ...)
{
    char text[FORMATTED_TEXT_SIZE];
    va_list arguments;
    va_start(arguments, format);
    wvsprintfA(text, format, arguments);
    va_end(arguments);
    PutText(text);
}

void PutError(const char *format, ...)
{
    char text[FORMATTED_TEXT_SIZE];
    va_list arguments;
    va_start(arguments, format);
    int length = wvsprintfA(text, format, arguments);
    va_end(arguments);
    WriteAll(GetStdHandle(STD_ERROR_HANDLE), text, length > 0 ? (DWORD)length : 0);
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
