/*
 * One '#' line of ir-monitor's report, and the figures in it.
 *
 * Lines are built whole in a local buffer and written with one call, so a summary printed on
 * Ctrl+C by another thread cannot split one.  No line is wider than an 80-column console can
 * show (Windows 9x consoles, and cmd's default window): a line that would be is broken between
 * two of its phrases, or between two words of the verdict's prose, and goes on on a '#' line,
 * never inside a figure.  Where to break is FitWords' choice (../messages.h), as for messages.
 *
 * Figures are the line's counter ticks converted as the decoder converts its units, shown in
 * whole microseconds or in tenths of one.
 */
#include "report.h"

/* How a report line that is broken goes on. */
static const char CONTINUATION[] = "#   ";

static LONGLONG figureFrequency;  /* the line's counter rate */

void StartFigures(LONGLONG frequency) { figureFrequency = frequency; }

static void AddText(ReportLine *line, const char *text, int length)
{
    for (int i = 0; i < length && line->length < REPORT_LINE_SIZE - 1; i++)
        line->text[line->length++] = text[i];
    line->text[line->length] = '\0';
}

void Append(ReportLine *line, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    line->length += FormatTextV(line->text + line->length, REPORT_LINE_SIZE - line->length, format, arguments);
    va_end(arguments);
}

/* Ends the output line and begins the next after CONTINUATION. */
static void BreakLine(ReportLine *line)
{
    AddText(line, "\n", 1);
    line->lineStart = line->length;
    AddText(line, CONTINUATION, sizeof CONTINUATION - 1);
}

/* Adds `text`, broken by FitWords where it would take the output line past TEXT_COLUMNS less
   `spare` columns; each break drops its blank and goes on after CONTINUATION.  A TIE is written
   as a blank. */
static void AddWords(ReportLine *line, const char *text, int length, int spare)
{
    for (;;) {
        int room = TEXT_COLUMNS - spare - (line->length - line->lineStart);
        int cut = FitWords(text, length, room < 0 ? 0 : room, 0);
        for (int i = 0; i < cut; i++)
            AddText(line, text[i] == TIE ? " " : text + i, 1);
        if (cut == length)
            return;
        BreakLine(line);
        text += cut;
        length -= cut;
        if (text[0] == ' ') {
            text++;
            length--;
        }
    }
}

/*
 * A phrase is one unit: it breaks only at its leading blank, and a mark before that blank stays
 * on the line it ends.  A column is kept free for the mark of a phrase after it.
 */
void AppendPhrase(ReportLine *line, const char *format, ...)
{
    char phrase[FORMATTED_TEXT_LIMIT];
    va_list arguments;
    va_start(arguments, format);
    int length = FormatTextV(phrase, sizeof phrase, format, arguments);
    va_end(arguments);
    int blank = phrase[0] == ' ' ? 0 : phrase[0] != '\0' && phrase[1] == ' ' ? 1 : -1;
    if (blank < 0) {
        AddText(line, phrase, length);
        return;
    }
    for (int i = blank + 1; i < length; i++)
        if (phrase[i] == ' ')
            phrase[i] = TIE;
    AddText(line, phrase, blank);
    AddWords(line, phrase + blank, length - blank, 1);
}

void AppendWords(ReportLine *line, const char *format, ...)
{
    char text[FORMATTED_TEXT_LIMIT];
    va_list arguments;
    va_start(arguments, format);
    int length = FormatTextV(text, sizeof text, format, arguments);
    va_end(arguments);
    AddWords(line, text, length, 0);
}

void WriteLine(ReportLine *line)
{
    Append(line, "\n");
    PutText(line->text);
}

LONGLONG InUnit(LONGLONG ticks, BOOL tenths)
{
    return ScaleTime(ticks, figureFrequency, tenths ? TENTHS_OF_US_PER_SECOND : MICROSECONDS_PER_SECOND);
}

const char *FormatTenths(LONGLONG tenths, char text[TIME_TEXT_SIZE])
{
    const char *sign = tenths < 0 ? "-" : "";
    ULONGLONG size = tenths < 0 ? 0 - (ULONGLONG)tenths : (ULONGLONG)tenths;
    char whole[NUMBER_TEXT_SIZE];
    wsprintfA(text, "%s%s.%u", sign, FormatUnsigned64(size / TENTHS_PER_US, 10, 1, whole),
              (unsigned)(size % TENTHS_PER_US));
    return text;
}

Figure UnitText(LONGLONG value, BOOL tenths)
{
    Figure figure;
    if (tenths) {
        FormatTenths(value, figure.text);
    } else {
        figure.text[0] = '-';
        FormatUnsigned64(value < 0 ? 0 - (ULONGLONG)value : (ULONGLONG)value, 10, 1, figure.text + (value < 0));
    }
    return figure;
}

Figure Us(LONGLONG ticks) { return UnitText(InUnit(ticks, FALSE), FALSE); }
Figure Tenths(LONGLONG ticks) { return UnitText(InUnit(ticks, TRUE), TRUE); }
