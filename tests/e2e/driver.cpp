/*
 * e2e-driver: the Windows half of the end-to-end tests.  Each Wine start costs hundreds of
 * milliseconds, so one run of the driver performs a whole scenario: its arguments are a list of
 * steps, done in order, stopping at the first failure.
 *
 *   find MS                     wait up to MS for the program's window (class and title are the
 *                               program title); print its window, process id and priority class,
 *                               and keep the process open so that its exit code can be read later
 *   priority HEX                the priority class that the program's process reports is HEX
 *   post MSG WPARAM LPARAM      post a message to the program's window (numbers as in C)
 *   post-commands COUNT N...    post COUNT commands (WM_REMOTE_COMMAND) to the program's window
 *                               as fast as it takes them, their numbers cycling through N...
 *                               (every number argument that follows)
 *   question yes|no MS          within MS the exit question appears (a #32770 box captioned with
 *                               the title, its text, Yes and No only); press the button and see
 *                               the box go
 *   no-question MS              no exit question appears within MS
 *   icon present|absent MS      within MS the program's tray icon is there / gone
 *   blink COUNT GAP_MS          post COUNT commands (number 0) GAP_MS apart and watch the centre of
 *                               the tray icon: it must change once to the active picture and once
 *                               back, 30 to 400 ms after the last command
 *   latency COUNT LOG           post COUNT commands 2 to the program and COUNT WM_COMMAND 40045
 *                               straight to the player's main window, alternately, each once the
 *                               previous one has reached the player (a new line in the stand-in
 *                               player's LOG); print p50, p99 and max of the time from the post
 *                               to the player's retrieval, both by the performance counter
 *   wait-exit MS CODE           the program's process ends within MS with exit code CODE (the
 *                               note gives the tick count when the end was seen)
 *   wait-exit-icon MS CODE      the same, and the tray icon is seen gone while the process still
 *                               runs (removed by the program, not dropped by Wine afterwards)
 *   wait-exit-unasked MS CODE   the same as wait-exit, and no exit question is seen meanwhile
 *                               (looked for every millisecond: a question asked while the program
 *                               ends shows only for a moment)
 *   player-quit MS              tell the stand-in player to end and wait for it
 *   sleep MS
 *
 * Every check prints "ok: ..." or "FAIL: <step>: expected ..., got ...".  Exit code 0 when every
 * step passed, 1 at the first failed check, 2 for a usage error.
 *
 * The tray icon is found the way Wine shows icons when the X display has no tray: a top-level
 * window of class __winex11_standalone_tray holding one __winex11_tray_icon child per icon.
 */
#include <windows.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "../../common/shared.h"

#define EXIT_QUESTION_TEXT "Do you really want to exit?"
#define PLAYER_MAIN_CLASS "Winamp v1.x"
#define STAND_IN_QUIT WM_APP
#define TRAY_CLASS "__winex11_standalone_tray"
#define TRAY_ICON_CLASS "__winex11_tray_icon"

static HWND programWindow;
static HANDLE programProcess;
static DWORD programPid;

static int failures;

/* One check, in the manner of Wine's conformance tests: silent when it holds; otherwise prints
   "FAIL: <step>: expected ..., got ..." and counts the failure.  Returns the condition. */
static bool ok(bool condition, const char *step, const char *format, ...)
{
    if (!condition) {
        char text[512];
        va_list args;
        va_start(args, format);
        vsnprintf(text, sizeof text, format, args);
        va_end(args);
        printf("FAIL: %s: %s\n", step, text);
        fflush(stdout);
        ++failures;
    }
    return condition;
}

/* What a step saw, for the log of the test run. */
static void Note(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    printf("\n");
    fflush(stdout);
}

static double NowMs(void)
{
    static LARGE_INTEGER frequency;
    LARGE_INTEGER now;
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return (double)now.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

static bool ParseNumber(const char *text, unsigned long *value)
{
    char *end;
    if (!text || !*text)
        return false;
    *value = strtoul(text, &end, 0);
    return *end == '\0';
}

static bool NeedWindow(const char *step)
{
    return ok(programWindow != NULL, step, "expected the program's window from an earlier 'find', got none");
}

/* ---- find, priority, post ---- */

static bool StepFind(unsigned long timeoutMs)
{
    double end = NowMs() + timeoutMs;
    HWND window;
    while (!(window = FindWindowA(PROGRAM_TITLE, PROGRAM_TITLE)) && NowMs() < end)
        Sleep(20);
    if (!ok(window != NULL, "find", "expected a window of class and title \"%s\" within %lu ms, got none",
            PROGRAM_TITLE, timeoutMs))
        return false;
    programWindow = window;
    GetWindowThreadProcessId(window, &programPid);
    programProcess = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, programPid);
    DWORD priority = programProcess ? GetPriorityClass(programProcess) : 0;
    Note("find: window %p pid %lu priority 0x%lx", (void *)window, (unsigned long)programPid,
         (unsigned long)priority);
    ok(!IsWindowVisible(window), "find", "expected the window hidden, got it visible");
    return ok(programProcess != NULL, "find", "expected to open process %lu, got error %lu",
              (unsigned long)programPid, (unsigned long)GetLastError());
}

static bool StepPriority(unsigned long expected)
{
    if (!ok(programProcess != NULL, "priority", "expected the program's process from 'find', got none"))
        return false;
    DWORD priority = GetPriorityClass(programProcess);
    Note("priority: 0x%lx", (unsigned long)priority);
    return ok(priority == expected, "priority", "expected priority class 0x%lx, got 0x%lx", expected,
              (unsigned long)priority);
}

static bool StepPost(unsigned long message, unsigned long wParam, unsigned long lParam)
{
    if (!NeedWindow("post"))
        return false;
    BOOL posted = PostMessageA(programWindow, (UINT)message, (WPARAM)wParam, (LPARAM)lParam);
    return ok(posted, "post", "expected message 0x%lx (%lu, 0x%lx) posted, got error %lu", message,
              wParam, lParam, (unsigned long)GetLastError());
}

/* Posts `count` commands, numbers taken in turn from `numbers`.  Windows refuses a post to a
   queue that already holds 10,000 messages (ERROR_NOT_ENOUGH_QUOTA); such a post is tried again
   a moment later, the way a well-behaved sender would, so nothing is dropped on either system. */
static bool StepPostCommands(unsigned long count, const unsigned long *numbers, int numberCount)
{
    const char *step = "post-commands";
    if (!NeedWindow(step))
        return false;
    unsigned long waits = 0;
    double start = NowMs(), giveUpAt = start + 30000;
    for (unsigned long i = 0; i < count; ++i) {
        unsigned long number = numbers[i % numberCount];
        while (!PostMessageA(programWindow, WM_REMOTE_COMMAND, (WPARAM)number, 0)) {
            DWORD error = GetLastError();
            if (!ok(error == ERROR_NOT_ENOUGH_QUOTA && NowMs() < giveUpAt, step,
                    "expected command %lu (post %lu of %lu) posted, got error %lu", number, i + 1,
                    count, (unsigned long)error))
                return false;
            ++waits;
            Sleep(1);
        }
    }
    Note("post-commands: %lu posted in %.0f ms, %lu wait(s) for a full queue", count, NowMs() - start, waits);
    return true;
}

/* Follows the stand-in player's log as it grows. */
struct LogTail {
    HANDLE file;
    char text[4096];
    int length;
};

static bool OpenLogTail(LogTail *tail, const char *path)
{
    tail->length = 0;
    tail->file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    return tail->file != INVALID_HANDLE_VALUE && SetFilePointer(tail->file, 0, NULL, FILE_END) != INVALID_SET_FILE_POINTER;
}

/* The next whole line written since the last call, without its line end; false when the player
   has written none yet. */
static bool NextLogLine(LogTail *tail, char *line, int size)
{
    for (;;) {
        char *end = (char *)memchr(tail->text, '\n', tail->length);
        if (end) {
            int lineLength = (int)(end - tail->text);
            int copied = lineLength < size - 1 ? lineLength : size - 1;
            memcpy(line, tail->text, copied);
            line[copied] = '\0';
            if (copied > 0 && line[copied - 1] == '\r')
                line[copied - 1] = '\0';
            tail->length -= lineLength + 1;
            memmove(tail->text, end + 1, tail->length);
            return true;
        }
        DWORD got = 0;
        if (tail->length == (int)sizeof tail->text ||
            !ReadFile(tail->file, tail->text + tail->length, sizeof tail->text - tail->length, &got, NULL) || got == 0)
            return false;
        tail->length += (int)got;
    }
}

/* Field `index` (from 0) of a tab-separated log line; NULL when the line is shorter. */
static const char *LogField(const char *line, int index)
{
    for (; line && index > 0; --index) {
        line = strchr(line, '\t');
        if (line)
            ++line;
    }
    return line;
}

static int CompareDoubles(const void *a, const void *b)
{
    double x = *(const double *)a, y = *(const double *)b;
    return x < y ? -1 : x > y;
}

/* p50, p99 (nearest rank) and max of `count` latencies, sorting them. */
static void PrintLatencies(const char *what, double *us, unsigned long count)
{
    qsort(us, count, sizeof us[0], CompareDoubles);
    unsigned long p50 = (count * 50 + 99) / 100, p99 = (count * 99 + 99) / 100;
    Note("latency: %s: %lu: p50 %.1f us, p99 %.1f us, max %.1f us", what, count, us[p50 - 1], us[p99 - 1],
         us[count - 1]);
}

static bool StepLatency(unsigned long count, const char *logPath)
{
    const char *step = "latency";
    if (!NeedWindow(step))
        return false;
    HWND player = FindWindowA(PLAYER_MAIN_CLASS, NULL);
    if (!ok(player != NULL, step, "expected a \"%s\" window, got none", PLAYER_MAIN_CLASS))
        return false;
    LogTail tail;
    if (!ok(OpenLogTail(&tail, logPath), step, "expected to open the player's log %s, got error %lu", logPath,
            (unsigned long)GetLastError()))
        return false;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    double *viaProgram = (double *)malloc(count * sizeof(double));
    double *direct = (double *)malloc(count * sizeof(double));
    bool good = ok(viaProgram && direct, step, "expected memory for %lu figures, got none", count);

    /* What the player logs for either post: WM_COMMAND 40045 to its main window. */
    const char *arrival = "\t" PLAYER_MAIN_CLASS "\t0x0111\t40045\t0x00000000\t";
    for (unsigned long i = 0; good && i < 2 * count; ++i) {
        bool throughProgram = i % 2 == 0;
        LARGE_INTEGER sentAt;
        QueryPerformanceCounter(&sentAt);
        BOOL posted = throughProgram ? PostMessageA(programWindow, WM_REMOTE_COMMAND, 2, 0)
                                     : PostMessageA(player, WM_COMMAND, 40045, 0);
        good = ok(posted, step, "expected post %lu posted, got error %lu", i + 1, (unsigned long)GetLastError());
        char line[256];
        double end = NowMs() + 5000;
        bool arrived;
        while (!(arrived = NextLogLine(&tail, line, sizeof line)) && good && NowMs() < end)
            Sleep(1);
        good = good && ok(arrived, step, "expected post %lu (%s) in the player's log within 5 s, got nothing", i + 1,
                          throughProgram ? "through the program" : "straight") &&
               ok(strstr(line, arrival) != NULL, step, "expected the player to log WM_COMMAND 40045, got \"%s\"", line);
        const char *counter = good ? LogField(line, 6) : NULL; /* the counter at the retrieval */
        good = good && ok(counter != NULL, step, "expected the counter in the player's line, got \"%s\"", line);
        if (good) {
            double us = (double)(_strtoi64(counter, NULL, 10) - sentAt.QuadPart) * 1e6 / (double)frequency.QuadPart;
            (throughProgram ? viaProgram : direct)[i / 2] = us;
        }
    }
    if (good) {
        PrintLatencies("through the program", viaProgram, count);
        PrintLatencies("straight to the player", direct, count);
    }
    free(viaProgram);
    free(direct);
    CloseHandle(tail.file);
    return good;
}

/* ---- the exit question ---- */

static HWND FindQuestion(void)
{
    return FindWindowA("#32770", PROGRAM_TITLE);
}

struct TextSearch {
    const char *text;
    bool found;
};

static BOOL CALLBACK FindChildText(HWND child, LPARAM data)
{
    TextSearch *search = (TextSearch *)data;
    char text[128];
    GetWindowTextA(child, text, sizeof text);
    if (strcmp(text, search->text) == 0)
        search->found = true;
    return !search->found;
}

static bool ButtonShown(HWND box, int id)
{
    HWND button = GetDlgItem(box, id);
    return button && IsWindowVisible(button);
}

static bool StepQuestion(bool answerYes, unsigned long timeoutMs)
{
    const char *step = answerYes ? "question yes" : "question no";
    double end = NowMs() + timeoutMs;
    HWND box;
    while (!((box = FindQuestion()) && IsWindowVisible(box)) && NowMs() < end)
        Sleep(10);
    if (!ok(box != NULL, step, "expected a #32770 box captioned \"%s\" within %lu ms, got none",
            PROGRAM_TITLE, timeoutMs))
        return false;
    ok(IsWindowVisible(box), step, "expected the box shown within %lu ms, got it hidden", timeoutMs);

    char caption[128] = "";
    GetWindowTextA(box, caption, sizeof caption);
    ok(strcmp(caption, PROGRAM_TITLE) == 0, step, "expected caption \"%s\", got \"%s\"", PROGRAM_TITLE, caption);
    TextSearch search = { EXIT_QUESTION_TEXT, false };
    EnumChildWindows(box, FindChildText, (LPARAM)&search);
    ok(search.found, step, "expected the text \"%s\" in the box, got it missing", EXIT_QUESTION_TEXT);
    ok(ButtonShown(box, IDYES) && ButtonShown(box, IDNO), step,
       "expected Yes and No buttons, got Yes %d, No %d", ButtonShown(box, IDYES), ButtonShown(box, IDNO));
    ok(!ButtonShown(box, IDOK) && !ButtonShown(box, IDCANCEL), step,
       "expected no OK or Cancel button, got OK %d, Cancel %d", ButtonShown(box, IDOK),
       ButtonShown(box, IDCANCEL));
    HWND owner = GetWindow(box, GW_OWNER);
    ok(owner == NULL, step, "expected a box without owner window, got owner %p", (void *)owner);
    DWORD boxPid = 0;
    GetWindowThreadProcessId(box, &boxPid);
    ok(boxPid == programPid, step, "expected the box to belong to process %lu, got %lu",
       (unsigned long)programPid, (unsigned long)boxPid);
    Note("%s: box %p with the question, Yes and No; foreground %s", step, (void *)box,
         GetForegroundWindow() == box ? "yes" : "no");

    /* The click is posted, as a real click's mouse messages are queued.  A click sent from
       another process would be handled inside the box's message retrieval, and Wine's dialog
       loop then drops the posted message retrieved by that same call: a command arriving at
       that moment would be lost by the test's own doing. */
    HWND button = GetDlgItem(box, answerYes ? IDYES : IDNO);
    PostMessageA(button, BM_CLICK, 0, 0);
    end = NowMs() + 3000;
    while (IsWindow(box) && NowMs() < end)
        Sleep(10);
    return ok(!IsWindow(box), step, "expected the box gone after pressing %s, got it still there",
              answerYes ? "Yes" : "No");
}

static bool StepNoQuestion(unsigned long waitMs)
{
    double end = NowMs() + waitMs;
    HWND box;
    while (!(box = FindQuestion()) && NowMs() < end)
        Sleep(10);
    if (box) {
        /* Answer it No so that the program stays as it was for the steps after this one. */
        HWND no = GetDlgItem(box, IDNO);
        DWORD_PTR result;
        if (no)
            SendMessageTimeoutA(no, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 3000, &result);
    }
    if (!box)
        Note("no-question: none within %lu ms", waitMs);
    return ok(box == NULL, "no-question", "expected no question within %lu ms, got box %p", waitMs,
              (void *)box);
}

/* ---- tray icon ---- */

static int CountTrayIcons(HWND *first)
{
    int count = 0;
    *first = NULL;
    HWND tray = NULL;
    while ((tray = FindWindowExA(NULL, tray, TRAY_CLASS, NULL)) != NULL) {
        HWND icon = NULL;
        while ((icon = FindWindowExA(tray, icon, TRAY_ICON_CLASS, NULL)) != NULL) {
            if (!*first)
                *first = icon;
            ++count;
        }
    }
    return count;
}

static bool StepIcon(bool wantPresent, unsigned long timeoutMs)
{
    double start = NowMs(), end = start + timeoutMs;
    HWND icon;
    int count;
    while ((count = CountTrayIcons(&icon)) != (wantPresent ? 1 : 0) && NowMs() < end)
        Sleep(5);
    Note("icon: %d tray icon(s) after %.0f ms", count, NowMs() - start);
    return ok(count == (wantPresent ? 1 : 0), wantPresent ? "icon present" : "icon absent",
              "expected %d tray icon within %lu ms, got %d", wantPresent ? 1 : 0, timeoutMs, count);
}

static int ColourDistance(COLORREF a, COLORREF b)
{
    return abs(GetRValue(a) - GetRValue(b)) + abs(GetGValue(a) - GetGValue(b)) +
           abs(GetBValue(a) - GetBValue(b));
}

/* A change of picture: at least this far (sum over the three channels) from the colour that
   was showing, for CHANGE_SAMPLES samples in a row, so that a sample taken in the middle of a
   redraw does not count. */
#define CHANGE_DISTANCE 60
#define CHANGE_SAMPLES 3
#define MAX_CHANGES 16

static bool StepBlink(unsigned long count, unsigned long gapMs)
{
    const char *step = "blink";
    if (!NeedWindow(step))
        return false;
    HWND icon;
    int icons = CountTrayIcons(&icon);
    if (!ok(icons == 1, step, "expected one tray icon, got %d", icons))
        return false;
    RECT rect;
    GetWindowRect(icon, &rect);
    int x = (rect.left + rect.right) / 2, y = (rect.top + rect.bottom) / 2;
    HDC screen = GetDC(NULL);

    /* The idle picture must be steady for 100 ms before the first command.  The tray may still
       be repainting (after a question box closed over it, say), so it is given up to 2 s. */
    COLORREF idle = GetPixel(screen, x, y), again = idle;
    double steadyUntil = NowMs() + 2000;
    for (int steady = 0; steady < 20;) {
        Sleep(5);
        again = GetPixel(screen, x, y);
        steady++;
        if (ColourDistance(again, idle) > CHANGE_DISTANCE / 2) {
            if (NowMs() > steadyUntil) {
                ReleaseDC(NULL, screen);
                return ok(false, step, "expected a steady idle picture at (%d,%d) within 2 s, got #%06lx then #%06lx",
                          x, y, (unsigned long)idle, (unsigned long)again);
            }
            idle = again;
            steady = 0;
        }
    }

    double changeAt[MAX_CHANGES];
    COLORREF changeTo[MAX_CHANGES];
    int changes = 0;
    COLORREF showing = idle, candidate = 0;
    int candidateRun = 0;
    double candidateAt = 0;
    unsigned long posted = 0, samples = 0;
    double firstPost = NowMs(), lastPost = firstPost;
    double stopAt = firstPost + (count - 1) * gapMs + 1000;

    for (double now = NowMs(); now < stopAt; now = NowMs()) {
        if (posted < count && now >= firstPost + posted * gapMs) {
            PostMessageA(programWindow, WM_REMOTE_COMMAND, 0, 0);
            lastPost = NowMs();
            ++posted;
        }
        COLORREF sample = GetPixel(screen, x, y);
        ++samples;
        if (ColourDistance(sample, showing) > CHANGE_DISTANCE) {
            if (candidateRun == 0 || ColourDistance(sample, candidate) > CHANGE_DISTANCE) {
                candidate = sample;
                candidateAt = now;
                candidateRun = 0;
            }
            if (++candidateRun == CHANGE_SAMPLES) {
                if (changes < MAX_CHANGES) {
                    changeAt[changes] = candidateAt;
                    changeTo[changes] = candidate;
                }
                ++changes;
                showing = candidate;
                candidateRun = 0;
            }
        } else {
            candidateRun = 0;
        }
        Sleep(1);
    }
    ReleaseDC(NULL, screen);

    printf("blink: %lu command(s) %lu ms apart, %lu samples at (%d,%d), idle #%06lx, %d change(s):",
           count, gapMs, samples, x, y, (unsigned long)idle, changes);
    for (int i = 0; i < changes && i < MAX_CHANGES; ++i)
        printf(" %+.1f ms after first / %+.1f ms after last -> #%06lx;", changeAt[i] - firstPost,
               changeAt[i] - lastPost, (unsigned long)changeTo[i]);
    printf("\n");

    bool good = ok(changes == 2, step, "expected exactly 2 changes (to active, back to idle) for %lu command(s) %lu ms apart, got %d",
                   count, gapMs, changes);
    if (changes >= 1) {
        double on = changeAt[0] - firstPost;
        good &= ok(on >= 0 && on <= 250, step, "expected the active picture within 250 ms of the first command, got %.1f ms", on);
    }
    if (changes >= 2) {
        double off = changeAt[1] - lastPost;
        good &= ok(off >= 30 && off <= 400, step,
                   "expected the idle picture back 30..400 ms after the last command, got %.1f ms", off);
        good &= ok(ColourDistance(changeTo[1], idle) < ColourDistance(changeTo[1], changeTo[0]), step,
                   "expected the final picture to be the idle one (#%06lx), got #%06lx (active #%06lx)",
                   (unsigned long)idle, (unsigned long)changeTo[1], (unsigned long)changeTo[0]);
    }
    return good;
}

/* ---- ending ---- */

enum ExitWatch { WATCH_NOTHING, WATCH_ICON, WATCH_QUESTION };

/* Waits for the program's process.  WATCH_ICON watches the tray meanwhile: the program removes
   its icon itself before it ends, so the icon must vanish while the program's window still
   exists.  (Wine also drops the icon of a window that has died, but only once the window is
   gone, which is what an exit that forgets the icon looks like.)  WATCH_QUESTION looks for the
   exit question every millisecond: none may appear once the exit has begun. */
static bool StepWaitExit(unsigned long timeoutMs, unsigned long expectedCode, ExitWatch watch)
{
    static const char *const steps[] = {"wait-exit", "wait-exit-icon", "wait-exit-unasked"};
    const char *step = steps[watch];
    bool iconFirst = watch == WATCH_ICON;
    HWND question = NULL;
    if (!ok(programProcess != NULL, step, "expected the program's process from 'find', got none"))
        return false;
    double start = NowMs(), end = start + timeoutMs, iconGoneAt = -1;
    bool windowThen = false;
    DWORD waited;
    HWND icon;
    while ((waited = WaitForSingleObject(programProcess, 0)) == WAIT_TIMEOUT && NowMs() < end) {
        if (iconFirst && iconGoneAt < 0 && CountTrayIcons(&icon) == 0) {
            iconGoneAt = NowMs();
            windowThen = IsWindow(programWindow) != FALSE; /* looked at after the icon */
        }
        if (watch == WATCH_QUESTION) {
            if (!question)
                question = FindQuestion();
            WaitForSingleObject(programProcess, 1);
        } else if (!iconFirst || iconGoneAt >= 0) {
            WaitForSingleObject(programProcess, 5);
        }
    }
    DWORD seenAtTick = GetTickCount();
    double exitedAt = NowMs();
    if (!ok(waited == WAIT_OBJECT_0, step, "expected the program to end within %lu ms, got it running",
            timeoutMs))
        return false;
    DWORD code = 0xDEADBEEF;
    GetExitCodeProcess(programProcess, &code);
    if (iconFirst && iconGoneAt < 0 && CountTrayIcons(&icon) == 0)
        iconGoneAt = exitedAt; /* seen gone only once the process had ended */
    Note("%s: ended with code %lu after %.0f ms, seen at tick %lu", step, (unsigned long)code,
         exitedAt - start, (unsigned long)seenAtTick);
    if (iconFirst && iconGoneAt < 0)
        Note("%s: icon still there when the process had ended", step);
    else if (iconFirst)
        Note("%s: icon gone after %.0f ms, %s", step, iconGoneAt - start,
             windowThen ? "while the window still existed" : "with the window already gone");
    bool good = ok(code == expectedCode, step, "expected exit code %lu, got %lu", expectedCode,
                   (unsigned long)code);
    if (watch == WATCH_QUESTION)
        good &= ok(question == NULL, step, "expected no exit question while the program ended, got box %p",
                   (void *)question);
    if (iconFirst)
        good &= ok(iconGoneAt >= 0 && windowThen, step,
                   "expected the program to remove its tray icon while its window still existed, got %s",
                   iconGoneAt < 0 ? "the icon still there" : "the icon gone only with the window");
    return good;
}

static bool StepPlayerQuit(unsigned long timeoutMs)
{
    HWND player = FindWindowA(PLAYER_MAIN_CLASS, NULL);
    if (!ok(player != NULL, "player-quit", "expected a \"%s\" window, got none", PLAYER_MAIN_CLASS))
        return false;
    DWORD pid = 0;
    GetWindowThreadProcessId(player, &pid);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    PostMessageA(player, STAND_IN_QUIT, 0, 0);
    DWORD waited = process ? WaitForSingleObject(process, timeoutMs) : WAIT_FAILED;
    if (process)
        CloseHandle(process);
    return ok(waited == WAIT_OBJECT_0, "player-quit", "expected the stand-in (pid %lu) to end within %lu ms, got %s",
              (unsigned long)pid, timeoutMs, waited == WAIT_TIMEOUT ? "it running" : "no process");
}

static int Usage(const char *why)
{
    fprintf(stderr, "e2e-driver: %s\n", why);
    return 2;
}

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const char *step = argv[i];
        unsigned long a = 0, b = 0, c = 0;
        bool passed;
        bool hasA = i + 1 < argc && ParseNumber(argv[i + 1], &a);
        bool hasB = i + 2 < argc && ParseNumber(argv[i + 2], &b);

        if (strcmp(step, "find") == 0 && hasA) {
            passed = StepFind(a);
            i += 1;
        } else if (strcmp(step, "priority") == 0 && hasA) {
            passed = StepPriority(a);
            i += 1;
        } else if (strcmp(step, "post") == 0 && hasA && hasB && i + 3 < argc && ParseNumber(argv[i + 3], &c)) {
            passed = StepPost(a, b, c);
            i += 3;
        } else if (strcmp(step, "post-commands") == 0 && hasA && hasB) {
            int numberCount = 0;
            unsigned long *numbers = (unsigned long *)malloc(argc * sizeof(unsigned long));
            while (numbers && i + 2 + numberCount < argc && ParseNumber(argv[i + 2 + numberCount], &numbers[numberCount]))
                ++numberCount;
            passed = numbers && StepPostCommands(a, numbers, numberCount);
            free(numbers);
            i += 1 + numberCount;
        } else if (strcmp(step, "latency") == 0 && hasA && a >= 1 && i + 2 < argc) {
            passed = StepLatency(a, argv[i + 2]);
            i += 2;
        } else if (strcmp(step, "question") == 0 && i + 2 < argc && hasB &&
                   (strcmp(argv[i + 1], "yes") == 0 || strcmp(argv[i + 1], "no") == 0)) {
            passed = StepQuestion(strcmp(argv[i + 1], "yes") == 0, b);
            i += 2;
        } else if (strcmp(step, "no-question") == 0 && hasA) {
            passed = StepNoQuestion(a);
            i += 1;
        } else if (strcmp(step, "icon") == 0 && i + 2 < argc && hasB &&
                   (strcmp(argv[i + 1], "present") == 0 || strcmp(argv[i + 1], "absent") == 0)) {
            passed = StepIcon(strcmp(argv[i + 1], "present") == 0, b);
            i += 2;
        } else if (strcmp(step, "blink") == 0 && hasA && hasB && a >= 1) {
            passed = StepBlink(a, b);
            i += 2;
        } else if (strcmp(step, "wait-exit") == 0 && hasA && hasB) {
            passed = StepWaitExit(a, b, WATCH_NOTHING);
            i += 2;
        } else if (strcmp(step, "wait-exit-icon") == 0 && hasA && hasB) {
            passed = StepWaitExit(a, b, WATCH_ICON);
            i += 2;
        } else if (strcmp(step, "wait-exit-unasked") == 0 && hasA && hasB) {
            passed = StepWaitExit(a, b, WATCH_QUESTION);
            i += 2;
        } else if (strcmp(step, "player-quit") == 0 && hasA) {
            passed = StepPlayerQuit(a);
            i += 1;
        } else if (strcmp(step, "sleep") == 0 && hasA) {
            Sleep(a);
            passed = true;
            i += 1;
        } else {
            return Usage("unknown step or missing arguments (see the head of tests/e2e/driver.cpp)");
        }
        if (!passed || failures)
            return 1;
    }
    return 0;
}
