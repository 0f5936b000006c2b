/*
 * e2e-driver: the Windows half of the end-to-end tests.  Each Wine start costs hundreds of
 * milliseconds, so the cases run inside this one process:
 *
 *   e2e-driver run BUILD_DIR TMP_DIR RECORDING
 *
 * calls the test functions (test_*) in order, the way Wine's conformance tests do: each starts
 * what it needs itself (the program with PLAYER_LOG in its environment, the stand-in player,
 * remote-send), reads exit codes with GetExitCodeProcess and the stand-in player's log for the
 * posts, which it compares with {0}-terminated tables of expected posts (the command table is
 * tests/support/command_table.h).  A failed check prints "FAIL: file:line: ..." and the test
 * goes on; the last line is "N passed, N failed", counting every check.
 *
 * run-e2e unpacks the release zip and writes the endless recording (TMP_DIR\stream.ir) first.
 * The cases that need the Unix side stay with tests/e2e/run-e2e (the COM1 mappings with the CPU
 * time read from /proc, the log-off), as do scripts/demo and scripts/bench-wine; they use these
 * steps, given as arguments, done in order, stopping at the first failure:
 *
 *   find MS                     wait up to MS for the program's window (class and title are the
 *                               program title); print its window, process id and priority class
 *   command N LOG MS            remote-send N (the one beside this driver); within MS the
 *                               stand-in player's LOG gets N's row of the command table
 *                               (tests/support/command_table.h) after what it held, and only that
 *   latency COUNT LOG           post COUNT commands 2 to the program and COUNT WM_COMMAND 40045
 *                               straight to the player's main window, alternately, each once the
 *                               previous one has reached the player (a new line in the stand-in
 *                               player's LOG); print p50, p99 and max of the time from the post
 *                               to the player's retrieval, both by the performance counter
 *   replay-wait MS LOG          within MS the player's LOG holds the posts that the bundled
 *                               recording must give (replayExpected), and only those
 *   player-quit MS              tell the stand-in player to end and wait for it
 *   sleep MS
 *
 * A failed check prints "FAIL: file:line: <step>: expected ..., got ...".  Exit code 0 when
 * every step passed, 1 at the first failed check, 2 for a usage error.
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
#include "../../shell/shell.h"
#include "../support/command_table.h"

#define EXIT_QUESTION_TEXT EXIT_QUESTION
#define STAND_IN_QUIT WM_APP
#define TRAY_CLASS "__winex11_standalone_tray"
#define TRAY_ICON_CLASS "__winex11_tray_icon"

static HWND programWindow;
static HANDLE programProcess;
static DWORD programPid;

static int failures;

static int passes;

/* One check, in the manner of Wine's conformance tests: counted when it holds; otherwise prints
   "FAIL: file:line: <what>: expected ..., got ..." and counts the failure, and the test goes on.
   Returns the condition. */
static bool ok_at(const char *file, int line, bool condition, const char *what, const char *format, ...)
{
    if (condition) {
        ++passes;
        return true;
    }
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    const char *base = strrchr(file, '/');
    printf("FAIL: %s:%d: %s: %s\n", base ? base + 1 : file, line, what, text);
    fflush(stdout);
    ++failures;
    return false;
}
#define ok(condition, what, ...) ok_at(__FILE__, __LINE__, (condition), what, __VA_ARGS__)

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

/* The tick count when the last wait-exit saw the program's process ended. */
static DWORD exitSeenAtTick;

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
    DWORD seenAtTick = exitSeenAtTick = GetTickCount();
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

/* ==== The cases: one test function each, run in order by main ("run"). ==== */

static char buildDir[MAX_PATH], tmpDir[MAX_PATH], recordingPath[MAX_PATH];

/* Windows path of a file in a folder; good until eight more calls. */
static const char *PathIn(const char *folder, const char *name)
{
    static char paths[8][MAX_PATH];
    static int next;
    char *path = paths[next++ % 8];
    snprintf(path, MAX_PATH, "%s\\%s", folder, name);
    return path;
}

static void ToWindowsPath(char *path)
{
    for (; *path; ++path)
        if (*path == '/')
            *path = '\\';
}

/* The environment block of this process with PLAYER_LOG set to `playerLog`. */
static char *EnvironmentWithPlayerLog(const char *playerLog)
{
    char *current = GetEnvironmentStringsA();
    size_t size = 0;
    for (const char *entry = current; *entry; entry += strlen(entry) + 1)
        size += strlen(entry) + 1;
    char *block = (char *)malloc(size + strlen(playerLog) + 32);
    char *out = block;
    for (const char *entry = current; *entry; entry += strlen(entry) + 1) {
        if (_strnicmp(entry, "PLAYER_LOG=", 11) == 0)
            continue;
        strcpy(out, entry);
        out += strlen(entry) + 1;
    }
    out += sprintf(out, "PLAYER_LOG=%s", playerLog) + 1;
    *out = '\0';
    FreeEnvironmentStringsA(current);
    return block;
}

/* Starts `exe` with `arguments` (already quoted as needed); standard error goes to `errorPath`
   when given.  With `playerLog`, PLAYER_LOG in its environment names that file (for the player
   the program itself starts).  Returns the process handle, NULL when it could not start. */
static HANDLE Start(const char *exe, const char *arguments, const char *playerLog, const char *errorPath)
{
    char commandLine[2048];
    snprintf(commandLine, sizeof commandLine, "\"%s\"%s%s", exe, *arguments ? " " : "", arguments);
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    HANDLE errorFile = INVALID_HANDLE_VALUE;
    if (errorPath) {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
        errorFile = CreateFileA(errorPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = errorFile;
        startup.hStdError = errorFile;
    }
    char *environment = playerLog ? EnvironmentWithPlayerLog(playerLog) : NULL;
    PROCESS_INFORMATION info;
    BOOL started = CreateProcessA(exe, commandLine, NULL, NULL, errorPath != NULL, 0, environment, NULL,
                                  &startup, &info);
    DWORD error = GetLastError();
    free(environment);
    if (errorFile != INVALID_HANDLE_VALUE)
        CloseHandle(errorFile);
    if (!ok(started, "start", "expected %s to start, got error %lu", commandLine, (unsigned long)error))
        return NULL;
    CloseHandle(info.hThread);
    return info.hProcess;
}

/* The exit code of a process that ends within `timeoutMs`, or STILL_ACTIVE; closes the handle. */
static DWORD Finish(HANDLE process, DWORD timeoutMs)
{
    DWORD code = STILL_ACTIVE;
    if (!process)
        return 0xDEADBEEF;
    if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return code;
}

static char remoteSendErrors[1024];

/* Runs remote-send (the build's, or `exe`) with `arguments` and returns its exit code; what it
   printed is in remoteSendErrors. */
static DWORD RemoteSendFrom(const char *exe, const char *arguments)
{
    const char *errorPath = PathIn(tmpDir, "remote-send.err");
    DWORD code = Finish(Start(exe, arguments, NULL, errorPath), 10000);
    remoteSendErrors[0] = '\0';
    HANDLE file = CreateFileA(errorPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    DWORD got = 0;
    if (file != INVALID_HANDLE_VALUE) {
        ReadFile(file, remoteSendErrors, sizeof remoteSendErrors - 1, &got, NULL);
        CloseHandle(file);
    }
    remoteSendErrors[got] = '\0';
    return code;
}
static DWORD RemoteSend(const char *arguments)
{
    return RemoteSendFrom(PathIn(buildDir, "remote-send.exe"), arguments);
}

/* ---- the stand-in player's log ---- */

/* One post as the stand-in logged it. */
struct LoggedPost {
    char windowClass[16];
    unsigned message;
    unsigned long wParam, lParam;
    unsigned long postedAt; /* message time: the tick count when it was queued */
};

#define MAX_LOGGED 24000
static LoggedPost logged[MAX_LOGGED];

/* The whole of a file as text (a fresh buffer for the caller to free); NULL when missing. */
static char *ReadWholeFile(const char *path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return NULL;
    DWORD size = GetFileSize(file, NULL), got = 0;
    char *text = (char *)malloc(size + 1);
    if (text && !ReadFile(file, text, size, &got, NULL))
        got = 0;
    CloseHandle(file);
    if (text)
        text[got] = '\0';
    return text;
}

static bool FileExists(const char *path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

static bool LogHas(const char *path, const char *text)
{
    char *all = ReadWholeFile(path);
    bool found = all && strstr(all, text);
    free(all);
    return found;
}

/* Reads the posts of a player's log into `logged`; returns how many (whole lines only). */
static int ReadPosts(const char *path)
{
    char *all = ReadWholeFile(path);
    int count = 0;
    for (char *line = all; line && *line && count < MAX_LOGGED;) {
        char *end = strchr(line, '\n');
        if (!end)
            break; /* a line still being written */
        *end = '\0';
        const char *cls = LogField(line, 1), *message = LogField(line, 2), *wParam = LogField(line, 3),
                   *lParam = LogField(line, 4), *postedAt = LogField(line, 7);
        if (cls && message && wParam && lParam && strncmp(cls, "stand-in\t", 9) != 0) {
            LoggedPost *p = &logged[count++];
            int length = (int)(strchr(cls, '\t') - cls);
            snprintf(p->windowClass, sizeof p->windowClass, "%.*s", length, cls);
            p->message = (unsigned)strtoul(message, NULL, 16);
            p->wParam = strtoul(wParam, NULL, 10);
            p->lParam = strtoul(lParam, NULL, 16);
            p->postedAt = postedAt ? strtoul(postedAt, NULL, 10) : 0;
        }
        line = end + 1;
    }
    free(all);
    return count;
}

/* Waits up to `timeoutMs` until the log holds at least `count` posts; returns how many it holds. */
static int WaitForPosts(const char *path, int count, DWORD timeoutMs)
{
    double end = NowMs() + timeoutMs;
    int now;
    while ((now = ReadPosts(path)) < count && NowMs() < end)
        Sleep(50);
    return now;
}

/* Waits until the log has not grown for a second (at most `timeoutMs`); returns its posts. */
static int WaitQuiet(const char *path, DWORD timeoutMs)
{
    double end = NowMs() + timeoutMs;
    int last = -1, now;
    while ((now = ReadPosts(path)) != last && NowMs() < end) {
        last = now;
        Sleep(1000);
    }
    return now;
}

static bool WaitForStarted(const char *path, DWORD timeoutMs)
{
    double end = NowMs() + timeoutMs;
    while (!LogHas(path, "\tstarted\t")) {
        if (NowMs() > end)
            return false;
        Sleep(50);
    }
    return true;
}

static const char *MessageName(unsigned message)
{
    switch (message) {
    case WM_CLOSE: return "WM_CLOSE";
    case WM_COMMAND: return "WM_COMMAND";
    case WM_LBUTTONDBLCLK: return "WM_LBUTTONDBLCLK";
    case WM_USER: return "WM_USER";
    default: return "?";
    }
}

static const char *WindowClass(int window)
{
    return window == PLAYER_PLAYLIST ? PLAYER_PLAYLIST_CLASS : PLAYER_MAIN_CLASS;
}

static int CountPosts(const PlayerPost *posts)
{
    int count = 0;
    while (posts[count].window)
        ++count;
    return count;
}

/* Compares the logged posts from `first` on with `expected` (ending with a zero window): the
   same posts in the same order and nothing more.  Reports the first difference. */
static bool ok_posts_at(const char *file, int line, const char *what, int first, int gotCount,
                        const PlayerPost *expected)
{
    int want = CountPosts(expected), got = gotCount - first;
    for (int i = 0; i < want && i < got; ++i) {
        const PlayerPost *e = &expected[i];
        const LoggedPost *g = &logged[first + i];
        if (strcmp(g->windowClass, WindowClass(e->window)) != 0 || g->message != e->message ||
            g->wParam != e->wParam || g->lParam != e->lParam)
            return ok_at(file, line, false, what,
                         "expected post %d of %d: %s %s(0x%04x) %lu 0x%08lx, got %s %s(0x%04x) %lu 0x%08lx", i + 1,
                         want, WindowClass(e->window), MessageName(e->message), e->message, e->wParam,
                         e->lParam, g->windowClass, MessageName(g->message), g->message, g->wParam, g->lParam);
    }
    if (got > want) {
        const LoggedPost *extra = &logged[first + want];
        return ok_at(file, line, false, what, "expected %d post(s), got %d; the first extra: %s %s(0x%04x) %lu 0x%08lx",
                     want, got, extra->windowClass, MessageName(extra->message), extra->message, extra->wParam,
                     extra->lParam);
    }
    if (got < want)
        return ok_at(file, line, false, what, "expected %d post(s), got %d", want, got);
    return ok_at(file, line, true, what, "");
}
#define ok_posts(what, first, gotCount, expected) ok_posts_at(__FILE__, __LINE__, what, first, gotCount, expected)

/* The posts that `count` command numbers must cause with the player running, in order (a fresh
   array ending with a zero window, for the caller to free). */
static PlayerPost *ExpectedPosts(const unsigned *numbers, int count)
{
    int total = 0;
    for (int i = 0; i < count; ++i) {
        const CommandRow *row = FindCommandRow(numbers[i]);
        total += row ? CountPosts(row->posts) : 0;
    }
    PlayerPost *posts = (PlayerPost *)calloc(total + 1, sizeof *posts), *out = posts;
    for (int i = 0; posts && i < count; ++i) {
        const CommandRow *row = FindCommandRow(numbers[i]);
        for (const PlayerPost *p = row ? row->posts : NULL; p && p->window; ++p)
            *out++ = *p;
    }
    return posts;
}

/* ---- the program ---- */

/* Starts the program (or `exe`) with PLAYER_LOG naming started-player.log, for the player it may
   start itself, and finds its window. */
static HANDLE programHandle;
static bool StartProgram(const char *exe, const char *arguments)
{
    programHandle = Start(exe, arguments, PathIn(tmpDir, "started-player.log"), NULL);
    if (!programHandle)
        return false;
    if (programProcess)
        CloseHandle(programProcess);
    programProcess = NULL;
    programWindow = NULL;
    return StepFind(15000);
}

/* The program's exit code once it ends within `timeoutMs`, STILL_ACTIVE when it runs on. */
static DWORD ProgramExitCode(DWORD timeoutMs)
{
    DWORD code = Finish(programHandle, timeoutMs);
    programHandle = NULL;
    return code;
}

static bool ProgramRunning(void)
{
    return programHandle && WaitForSingleObject(programHandle, 0) == WAIT_TIMEOUT;
}

static HANDLE StartPlayer(const char *log, const char *options)
{
    char arguments[MAX_PATH + 64];
    snprintf(arguments, sizeof arguments, "%s%s\"%s\"", options, *options ? " " : "", log);
    HANDLE player = Start(PathIn(buildDir, "stand-in-player.exe"), arguments, NULL, NULL);
    ok(player && WaitForStarted(log, 15000), "stand-in player", "expected its started line in %s, got none", log);
    return player;
}

static void QuitPlayer(HANDLE player)
{
    StepPlayerQuit(5000);
    if (player)
        CloseHandle(player);
}

static HANDLE player;   /* the stand-in player of the current case */
static const char *playerLog; /* its log */

/* Names the log of the current case's player (a file in the temporary folder). */
static const char *UsePlayerLog(const char *name)
{
    static char path[MAX_PATH];
    snprintf(path, sizeof path, "%s\\%s", tmpDir, name);
    return playerLog = path;
}

static void test_start_up(void)
{
    UsePlayerLog("player.log");
    player = StartPlayer(playerLog, "");
    if (StartProgram(PathIn(buildDir, "remote-control.exe"), ""))
        StepPriority(REALTIME_PRIORITY_CLASS);
}

/* Each row of the command table (but 14, the log-off, the last case of all), posted with
   remote-send; command 1, which closes the player, comes last.  Then a few rows again, spelled
   in hexadecimal. */
static void test_command_table(void)
{
    static const struct { const char *spelling; unsigned number; } hexadecimal[] = {
        {"0x544D", 21581}, {"0x545a", 21594}, {"0xFFFFFFFF", 0xFFFFFFFF}, {NULL, 0}};
    PlayerPost *all = (PlayerPost *)calloc(COMMAND_TABLE_ROWS * 8 + 1, sizeof *all);
    int allCount = 0;
    int rows = (int)COMMAND_TABLE_ROWS, hexRows = 3;
    for (int pass = 0; pass < 3; ++pass) {
        for (int i = 0; i < (pass == 1 ? hexRows : rows); ++i) {
            const CommandRow *row = pass == 1 ? FindCommandRow(hexadecimal[i].number) : &COMMAND_TABLE[i];
            if (row->action == ACTION_LOG_OFF || (pass == 2) != (row->action == ACTION_CLOSE_OR_START))
                continue;
            char argument[32], what[64];
            if (pass == 1)
                snprintf(argument, sizeof argument, "%s", hexadecimal[i].spelling);
            else
                snprintf(argument, sizeof argument, "%u", row->number);
            snprintf(what, sizeof what, "command %s", argument);
            int before = ReadPosts(playerLog), want = CountPosts(row->posts);
            DWORD code = RemoteSend(argument);
            if (!ok(code == 0, what, "expected remote-send to post it (exit code 0), got %lu: %s", (unsigned long)code,
                    remoteSendErrors))
                continue;
            int now = WaitForPosts(playerLog, before + want, 5000);
            ok_posts(what, before, now, row->posts);
            for (int k = 0; k < want; ++k)
                all[allCount++] = row->posts[k];
        }
    }
    Sleep(300);
    ok_posts("whole sequence", 0, ReadPosts(playerLog), all);
    free(all);
}

static void test_remote_send_arguments(void)
{
    static const char *const bad[] = {"\"\"", "abc", "-1", "+5", "12x", "\" 7\"", "0x", "0x1g", "4294967296",
                                      "0x100000000", "99999999999999999999", "CLOSE", "", "2 3", NULL};
    int before = ReadPosts(playerLog);
    for (int i = 0; bad[i]; ++i) {
        DWORD code = RemoteSend(bad[i]);
        ok(code == 2 && remoteSendErrors[0], "remote-send arguments",
           "expected exit code 2 and a message for [%s], got %lu and \"%s\"", bad[i], (unsigned long)code,
           remoteSendErrors);
    }
    Sleep(200);
    int now = ReadPosts(playerLog);
    ok(now == before, "remote-send arguments", "expected no post for malformed arguments, got %d -> %d", before, now);
    /* Checked only now, seconds after command 1, so that a second copy would have had time to start. */
    ok(!FileExists(PathIn(tmpDir, "started-player.log")), "command 1 with the player running",
       "expected no second player, got %s", PathIn(tmpDir, "started-player.log"));
}

static void PostTray(UINT mouseMessage)
{
    StepPost(WM_TRAY_NOTIFY, 0, mouseMessage);
}

static void test_tray_clicks_and_answer_no(void)
{
    StepIcon(true, 5000);
    PostTray(WM_LBUTTONUP);
    StepNoQuestion(600);
    PostTray(WM_LBUTTONDBLCLK);
    StepNoQuestion(600);
    PostTray(WM_RBUTTONDOWN);
    StepNoQuestion(600);
    PostTray(WM_LBUTTONDOWN);
    StepNoQuestion(300);
    PostTray(WM_RBUTTONUP);
    StepQuestion(false, 5000);

    static const PlayerPost play[] = {{PLAYER_MAIN, WM_COMMAND, 40045, 0}, {0, 0, 0, 0}};
    int before = ReadPosts(playerLog);
    DWORD code = RemoteSend("2");
    ok(code == 0, "answer No", "expected remote-send 2 to post (0), got %lu", (unsigned long)code);
    ok_posts("answer No: command 2", before, WaitForPosts(playerLog, before + 1, 5000), play);
    ok(ProgramRunning(), "answer No", "expected the program running, got it gone");
}

static void test_blink(void)
{
    StepBlink(1, 0);
    StepBlink(5, 20);
}

static void test_no_player(void)
{
    static const unsigned playerCommands[] = {2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 21581, 21594, 21614, 21618};
    StepPlayerQuit(5000);
    if (player)
        CloseHandle(player);
    player = NULL;
    for (unsigned i = 0; i < sizeof playerCommands / sizeof playerCommands[0]; ++i)
        StepPost(WM_REMOTE_COMMAND, playerCommands[i], 0);
    Sleep(500);
    ok(FindWindowA(PROGRAM_TITLE, PROGRAM_TITLE) == programWindow && ProgramRunning(), "no player",
       "expected the program running with its window, got it %s", ProgramRunning() ? "without its window" : "gone");
    ok(!FileExists(PathIn(tmpDir, "started-player.log")), "no player", "expected no player started, got %s",
       PathIn(tmpDir, "started-player.log"));
}

static void test_command_one_starts_the_player(void)
{
    static const PlayerPost play[] = {{PLAYER_MAIN, WM_COMMAND, 40045, 0}, {0, 0, 0, 0}};
    char startedLog[MAX_PATH];
    snprintf(startedLog, sizeof startedLog, "%s", PathIn(tmpDir, "started-player.log"));
    ok(RemoteSend("1") == 0, "command 1 with no player", "expected remote-send 1 to post, got: %s", remoteSendErrors);
    if (!ok(WaitForStarted(startedLog, 15000), "command 1 with no player",
            "expected " PLAYER_START_PATH " started within 15 s, got no started line"))
        return;
    ok(RemoteSend("2") == 0, "command 1 with no player", "expected remote-send 2 to post, got: %s", remoteSendErrors);
    ok_posts("command 1 with no player: the started player gets command 2", 0, WaitForPosts(startedLog, 1, 5000), play);
    StepPlayerQuit(5000);
}

static void test_answer_yes(void)
{
    PostTray(WM_RBUTTONUP);
    StepQuestion(true, 5000);
    StepWaitExit(10000, 0, WATCH_ICON);
    DWORD code = ProgramExitCode(1000);
    ok(code == 0, "answer Yes", "expected exit code 0, got %lu", (unsigned long)code);
}

static void test_remote_send_without_program(void)
{
    DWORD code = RemoteSend("2");
    ok(code == 1 && strstr(remoteSendErrors, "not running"), "remote-send 2 without the program",
       "expected exit code 1 and 'not running', got %lu: %s", (unsigned long)code, remoteSendErrors);
    code = RemoteSend("close");
    ok(code == 1 && strstr(remoteSendErrors, "not running"), "remote-send close without the program",
       "expected exit code 1 and 'not running', got %lu: %s", (unsigned long)code, remoteSendErrors);
}

/* remote-send close: the program ends on its own, asks nothing, and removes its icon first. */
static void test_close(void)
{
    if (!StartProgram(PathIn(buildDir, "remote-control.exe"), ""))
        return;
    StepIcon(true, 5000);
    Sleep(300);
    HANDLE sender = Start(PathIn(buildDir, "remote-send.exe"), "close", NULL, NULL);
    StepWaitExit(10000, 0, WATCH_ICON);
    DWORD sent = Finish(sender, 10000);
    ok(sent == 0, "remote-send close", "expected exit code 0, got %lu", (unsigned long)sent);
    DWORD code = ProgramExitCode(1000);
    ok(code == 0, "WM_CLOSE", "expected exit code 0, got %lu", (unsigned long)code);
}

/* WM_CLOSE with a right-button release on the icon queued behind it: no question while ending. */
static void test_close_then_right_click(void)
{
    if (!StartProgram(PathIn(buildDir, "remote-control.exe"), ""))
        return;
    StepIcon(true, 5000);
    StepPost(WM_CLOSE, 0, 0);
    PostTray(WM_RBUTTONUP);
    StepWaitExit(10000, 0, WATCH_QUESTION);
    DWORD code = ProgramExitCode(1000);
    ok(code == 0, "WM_CLOSE then a right-click", "expected exit code 0, got %lu", (unsigned long)code);
}

/* The bundled recording holds the frames of table entries 2, 2, 4, 6, 12 (whose code is also
   entry 9's, and 9 does nothing) and 11. */
static const PlayerPost replayExpected[] = {
    {PLAYER_MAIN, WM_COMMAND, 40045, 0}, {PLAYER_MAIN, WM_COMMAND, 40045, 0}, {PLAYER_MAIN, WM_COMMAND, 40046, 0},
    {PLAYER_MAIN, WM_COMMAND, 40048, 0}, {PLAYER_MAIN, WM_COMMAND, 40023, 0}, {PLAYER_MAIN, WM_COMMAND, 40061, 0},
    {0, 0, 0, 0}};

static void test_replay(void)
{
    UsePlayerLog("replay-player.log");
    player = StartPlayer(playerLog, "");
    char arguments[MAX_PATH + 2];
    snprintf(arguments, sizeof arguments, "\"%s\"", recordingPath);
    if (StartProgram(PathIn(buildDir, "remote-control-replay.exe"), arguments)) {
        WaitForPosts(playerLog, CountPosts(replayExpected), 60000);
        Sleep(500);
        ok_posts("replay", 0, ReadPosts(playerLog), replayExpected);
        RemoteSend("close");
        DWORD code = ProgramExitCode(10000);
        ok(code == 0, "replay", "expected the replay build to close with exit code 0, got %lu", (unsigned long)code);
    }
    QuitPlayer(player);
}

/* The program and remote-send as a user gets them: the release zip, unpacked by run-e2e into a
   folder of its own, with a space in its name.  No program may be running before the start. */
static void test_release_zip(void)
{
    static const PlayerPost play[] = {{PLAYER_MAIN, WM_COMMAND, 40044, 0}, {0, 0, 0, 0}};
    char folder[MAX_PATH], sender[MAX_PATH];
    snprintf(folder, sizeof folder, "%s\\Pelkorn Remote Control", tmpDir);
    snprintf(sender, sizeof sender, "%s", PathIn(folder, "remote-send.exe"));
    if (!ok(FileExists(PathIn(folder, "remote-control.exe")) && FileExists(sender), "release zip",
            "expected remote-control.exe and remote-send.exe unpacked in %s, got none", folder))
        return;
    UsePlayerLog("zip-player.log");
    player = StartPlayer(playerLog, "");
    DWORD code = RemoteSendFrom(sender, "2");
    ok(code == 1, "release zip", "expected remote-send 2 before the start to say not running (1), got %lu",
       (unsigned long)code);
    if (StartProgram(PathIn(folder, "remote-control.exe"), "")) {
        code = RemoteSendFrom(sender, "5");
        ok(code == 0, "release zip", "expected remote-send 5 to post (0), got %lu", (unsigned long)code);
        ok_posts("release zip: remote-send 5", 0, WaitForPosts(playerLog, 1, 5000), play);
        code = RemoteSendFrom(sender, "close");
        ok(code == 0, "release zip", "expected remote-send close to post (0), got %lu", (unsigned long)code);
        code = ProgramExitCode(10000);
        ok(code == 0, "release zip", "expected the unpacked program to end with exit code 0, got %lu", (unsigned long)code);
    }
    QuitPlayer(player);
}

/* Command numbers of every class, each posted once: 0 to 16; for every number that acts, its
   neighbours and the same low 16 bits under a high half or the sign bit (what a dispatcher that
   truncates or sign-extends would act on); the command ids and WM_USER parameters themselves;
   the ends of the signed and unsigned ranges; 300 pseudo-random values (xorshift32, fixed seed).
   14 is left out: it logs off, which is the last case. */
static int NumberClasses(unsigned *numbers)
{
    static const unsigned acting[] = {1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 15, 21581, 21594, 21614, 21618};
    static const unsigned fixed[] = {40022, 40023, 40036, 40044, 40045, 40046, 40047, 40048, 40058, 40059, 40060,
                                     40061, 40147, 127, 122, 1024, 1025, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFE,
                                     0xFFFFFFFF};
    int count = 0;
    for (unsigned n = 0; n <= 16; ++n)
        numbers[count++] = n;
    for (unsigned i = 0; i < sizeof acting / sizeof acting[0]; ++i) {
        unsigned n = acting[i];
        unsigned around[] = {n - 1, n + 1, n + 0x10000, n + 0xFFFF0000u, n + 0x80000000u};
        for (unsigned k = 0; k < 5; ++k)
            numbers[count++] = around[k];
    }
    for (unsigned i = 0; i < sizeof fixed / sizeof fixed[0]; ++i)
        numbers[count++] = fixed[i];
    unsigned x = 2463534242u;
    for (int i = 0; i < 300; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        numbers[count++] = x;
    }
    int kept = 0;
    for (int i = 0; i < count; ++i)
        if (numbers[i] != 14)
            numbers[kept++] = numbers[i];
    return kept;
}

static void PostCommandsAndCompare(const char *what, const unsigned *numbers, int count, DWORD timeoutMs)
{
    int before = ReadPosts(playerLog);
    unsigned long *asLong = (unsigned long *)malloc(count * sizeof *asLong);
    for (int i = 0; i < count; ++i)
        asLong[i] = numbers[i];
    StepPostCommands(count, asLong, count);
    free(asLong);
    PlayerPost *want = ExpectedPosts(numbers, count);
    WaitForPosts(playerLog, before + CountPosts(want), timeoutMs);
    ok_posts(what, before, WaitQuiet(playerLog, 10000), want);
    free(want);
}

/* Every class of number, then a flood of 10,000 posted as fast as they are taken, then the exit
   question still comes and Yes ends the program. */
static void test_every_number_then_a_flood(void)
{
    static unsigned numbers[10000];
    UsePlayerLog("many-player.log");
    player = StartPlayer(playerLog, "");
    if (StartProgram(PathIn(buildDir, "remote-control.exe"), "")) {
        int count = NumberClasses(numbers);
        PostCommandsAndCompare("every class of number", numbers, count, 20000);

        /* Windows refuses a post to a queue that already holds 10,000 messages (Wine does not);
           the posting then retries a moment later, so the same run is one a real system accepts. */
        static const unsigned flood[] = {2, 3, 4, 5, 6, 21618};
        for (int i = 0; i < 10000; ++i)
            numbers[i] = flood[i % 6];
        PostCommandsAndCompare("flood of 10,000", numbers, 10000, 60000);

        PostTray(WM_RBUTTONUP);
        StepQuestion(true, 5000);
        StepWaitExit(10000, 0, WATCH_NOTHING);
        DWORD code = ProgramExitCode(1000);
        ok(code == 0, "exit after the flood", "expected exit code 0, got %lu", (unsigned long)code);
    }
    QuitPlayer(player);
}

/* For run-e2e's COM1 cases: remote-send NUMBER (the one beside this driver), and within MS the
   player's LOG gets that number's row of the command table after what it held. */
static bool StepCommand(unsigned long number, const char *log, unsigned long timeoutMs)
{
    char logPath[MAX_PATH], what[48];
    snprintf(logPath, sizeof logPath, "%s", log);
    ToWindowsPath(logPath);
    snprintf(tmpDir, sizeof tmpDir, "%s", logPath);
    if (char *slash = strrchr(tmpDir, '\\'))
        *slash = '\0';
    GetModuleFileNameA(NULL, buildDir, sizeof buildDir);
    if (char *slash = strrchr(buildDir, '\\'))
        *slash = '\0';
    snprintf(what, sizeof what, "command %lu", number);
    const CommandRow *row = FindCommandRow((unsigned)number);
    if (!ok(row != NULL, what, "expected a row of the command table, got none"))
        return false;
    int before = ReadPosts(logPath);
    char argument[16];
    snprintf(argument, sizeof argument, "%lu", number);
    DWORD code = RemoteSend(argument);
    bool good = ok(code == 0, what, "expected remote-send to post it (exit code 0), got %lu: %s", (unsigned long)code,
                   remoteSendErrors);
    int want = CountPosts(row->posts);
    return ok_posts(what, before, WaitForPosts(logPath, before + want, timeoutMs), row->posts) && good;
}

/* For scripts/demo: waits up to `timeoutMs` for the replay's posts in the player's log and
   compares them with replayExpected. */
static bool StepReplayWait(unsigned long timeoutMs, const char *log)
{
    int count = CountPosts(replayExpected);
    WaitForPosts(log, count, timeoutMs);
    Sleep(300);
    char ids[128] = "";
    for (int i = 0; i < count; ++i)
        snprintf(ids + strlen(ids), sizeof ids - strlen(ids), "%s%lu", i ? " " : "", replayExpected[i].wParam);
    Note("replay-wait: expected %d WM_COMMAND posts to the main window: %s", count, ids);
    return ok_posts("replay-wait", 0, ReadPosts(log), replayExpected);
}

/* Calls one test function, its name first in the output (what follows is its notes and failures). */
#define RUN(test) (printf("%s\n", #test), fflush(stdout), test())

/* A player that never reads its queue: about 10,000 posts to it (6,000 commands, a third of
   them 21594, three posts each), and the program still answers the next command (the icon
   blinks) and ends on WM_CLOSE.  The blink needs the icon idle at its start; the icon stays
   active while commands are queued (the blink timer's message comes only once the queue is
   empty), so the program has worked through them once the idle picture is back for 300 ms. */
static void test_hung_player(void)
{
    UsePlayerLog("hung-player.log");
    player = StartPlayer(playerLog, "--never-read");
    if (StartProgram(PathIn(buildDir, "remote-control.exe"), "") && StepIcon(true, 5000)) {
        HWND icon;
        Sleep(300); /* the tray may still be painting the new icon */
        CountTrayIcons(&icon);
        RECT rect;
        GetWindowRect(icon, &rect);
        int x = (rect.left + rect.right) / 2, y = (rect.top + rect.bottom) / 2;
        HDC screen = GetDC(NULL);
        COLORREF idle = GetPixel(screen, x, y);

        static const unsigned long numbers[] = {2, 21594, 21618};
        StepPostCommands(6000, numbers, 3);
        double posted = NowMs(), end = posted + 30000, idleSince = -1;
        while (NowMs() < end) {
            bool isIdle = ColourDistance(GetPixel(screen, x, y), idle) <= CHANGE_DISTANCE / 2;
            if (!isIdle)
                idleSince = -1;
            else if (idleSince < 0)
                idleSince = NowMs();
            else if (NowMs() - idleSince >= 300)
                break;
            Sleep(5);
        }
        ReleaseDC(NULL, screen);
        Note("hung player: the idle picture was back %.0f ms after the last post (300 ms of it included)%s",
             NowMs() - posted, idleSince < 0 ? ", or never within 30 s" : "");
        StepBlink(1, 0);

        StepPost(WM_CLOSE, 0, 0);
        StepWaitExit(5000, 0, WATCH_NOTHING);
        DWORD code = ProgramExitCode(1000);
        ok(code == 0, "WM_CLOSE with the player hung", "expected exit code 0 within 5 s, got %lu", (unsigned long)code);
    }
    if (player) {
        TerminateProcess(player, 0);
        WaitForSingleObject(player, 5000);
        CloseHandle(player);
    }
    player = NULL;
}

/* Yes while frames keep arriving: the replay build plays stream.ir (commands 2 and 4 for ever,
   written by run-e2e with the host encoder); the question is asked and left open for a second
   (its box has a loop of its own, which must keep handling commands), then answered Yes.  Every
   post is dated by its message time, not by when the stand-in got round to it: the program
   drops the commands still queued at the exit, but the stand-in may retrieve the last post made
   before the exit a few ms after the end has been seen. */
static void test_exit_while_frames_arrive(void)
{
    char stream[MAX_PATH];
    snprintf(stream, sizeof stream, "\"%s\"", PathIn(tmpDir, "stream.ir"));
    if (!ok(FileExists(PathIn(tmpDir, "stream.ir")), "exit while frames keep arriving",
            "expected the endless recording %s (run-e2e writes it with build/host/ir-encode), got none", stream))
        return;
    UsePlayerLog("stream-player.log");
    player = StartPlayer(playerLog, "");
    if (StartProgram(PathIn(buildDir, "remote-control-replay.exe"), stream)) {
        WaitForPosts(playerLog, 10, 20000);
        PostTray(WM_RBUTTONUP);
        Sleep(300);
        int asked = ReadPosts(playerLog);
        Sleep(1000);
        int during = ReadPosts(playerLog);
        StepQuestion(true, 5000);
        bool ended = StepWaitExit(10000, 0, WATCH_NOTHING);
        DWORD code = ProgramExitCode(1000);
        Sleep(1000);
        int count = ReadPosts(playerLog), outOfTurn = 0, late = 0;
        for (int i = 0; i < count; ++i) {
            const LoggedPost *p = &logged[i];
            bool alternating = strcmp(p->windowClass, PLAYER_MAIN_CLASS) == 0 && p->message == WM_COMMAND &&
                               p->lParam == 0 && (p->wParam == 40045 || p->wParam == 40046) &&
                               (i == 0 || p->wParam != logged[i - 1].wParam);
            outOfTurn += !alternating;
            late += ended && (LONG)(p->postedAt - exitSeenAtTick) > 0;
        }
        ok(code == 0, "exit while frames keep arriving", "expected exit code 0, got %lu", (unsigned long)code);
        ok(during > asked, "exit while frames keep arriving",
           "expected commands handled while the question was open, got %d -> %d posts", asked, during);
        ok(count >= 10 && outOfTurn == 0, "exit while frames keep arriving",
           "expected WM_COMMAND 40045 and 40046 alternating, got %d of %d posts out of turn", outOfTurn, count);
        ok(ended && late == 0, "exit while frames keep arriving",
           "expected every post made before the end was seen (tick %lu), got %d after", (unsigned long)exitSeenAtTick,
           late);
        Note("exit while frames keep arriving: %d commands, %d of them in the second the question was open, the last "
             "posted %ld ms before the end was seen",
             count, during - asked, count ? (long)(exitSeenAtTick - logged[count - 1].postedAt) : -1L);
    }
    QuitPlayer(player);
}

static int RunTests(const char *build, const char *tmp, const char *recording)
{
    snprintf(buildDir, sizeof buildDir, "%s", build);
    snprintf(tmpDir, sizeof tmpDir, "%s", tmp);
    snprintf(recordingPath, sizeof recordingPath, "%s", recording);
    ToWindowsPath(buildDir);
    ToWindowsPath(tmpDir);
    ToWindowsPath(recordingPath);

    RUN(test_start_up);
    RUN(test_command_table);
    RUN(test_remote_send_arguments);
    RUN(test_tray_clicks_and_answer_no);
    RUN(test_blink);
    RUN(test_no_player);
    RUN(test_command_one_starts_the_player);
    RUN(test_answer_yes);
    RUN(test_remote_send_without_program);
    RUN(test_close);
    RUN(test_close_then_right_click);
    RUN(test_replay);
    RUN(test_release_zip);
    RUN(test_every_number_then_a_flood);
    RUN(test_hung_player);
    RUN(test_exit_while_frames_arrive);

    if (ProgramRunning())
        TerminateProcess(programHandle, 1);
    printf("%d passed, %d failed\n", passes, failures);
    return failures ? 1 : 0;
}

static int Usage(const char *why)
{
    fprintf(stderr, "e2e-driver: %s\n", why);
    return 2;
}

int main(int argc, char **argv)
{
    if (argc == 5 && strcmp(argv[1], "run") == 0)
        return RunTests(argv[2], argv[3], argv[4]);
    for (int i = 1; i < argc; ++i) {
        const char *step = argv[i];
        unsigned long a = 0, c = 0;
        bool passed;
        bool hasA = i + 1 < argc && ParseNumber(argv[i + 1], &a);

        if (strcmp(step, "find") == 0 && hasA) {
            passed = StepFind(a);
            i += 1;
        } else if (strcmp(step, "latency") == 0 && hasA && a >= 1 && i + 2 < argc) {
            passed = StepLatency(a, argv[i + 2]);
            i += 2;
        } else if (strcmp(step, "command") == 0 && hasA && i + 3 < argc && ParseNumber(argv[i + 3], &c)) {
            passed = StepCommand(a, argv[i + 2], c);
            i += 3;
        } else if (strcmp(step, "replay-wait") == 0 && hasA && i + 2 < argc) {
            passed = StepReplayWait(a, argv[i + 2]);
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
