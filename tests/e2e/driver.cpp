/*
 * e2e-driver: the Windows half of the end-to-end tests, written the way Wine's conformance tests
 * are.  Each case is a test function that starts what it needs itself (the program with
 * PLAYER_LOG in its environment, the stand-in player, remote-send), reads exit codes with
 * GetExitCodeProcess and the stand-in player's log for the posts, and compares those with
 * {}-terminated tables of expected posts (the command table is tests/support/command_table.h).
 *
 *   e2e-driver BUILD_DIR TMP_DIR RECORDING [TEST...]
 *
 * runs the suite (SUITE, in order) or only the named tests.  run-e2e runs the suite in one
 * process, since each Wine start costs hundreds of milliseconds, and the named tests that sit
 * between its Unix-side steps (COM1 remapped, CPU time read from /proc, the log-off, which may
 * end every process); scripts/demo, scripts/bench-wine and smoke-32bit run named tests too
 * (EXTRAS).  E2E_TIME_SCALE=N in the environment lets every wait take N times as long.
 * A failed check prints "FAIL: driver.cpp:LINE: what: expected ..., got ..." and the test goes
 * on; the last line is "N passed, N failed", counting every check.
 *
 * The com1_* tests run the shipped programs on COM1 as the test device plays it
 * (tests/e2e/com1-device): run-e2e maps the port and preloads the device, the tests write the
 * sessions and read the device's log.
 *
 * The tray icon is found the way Wine shows icons when the X display has no tray: a top-level
 * window of class __winex11_standalone_tray holding one __winex11_tray_icon child per icon.
 */
#include <windows.h>
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "../../common/shared.h"
#include "../../shell/shell.h"
#include "../support/command_table.h"
#include "../support/console_columns.h"
#include "../support/ir_encoder.h"

#define TRAY_CLASS "__winex11_standalone_tray"
#define TRAY_ICON_CLASS "__winex11_tray_icon"

static int passes, failures;

/* One check: counted when it holds; otherwise prints where and what, counts the failure, and the
   test goes on.  Returns the condition. */
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

/* What a test saw, for the log of the run. */
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

/* How many times longer than usual a wait may take: E2E_TIME_SCALE from the environment, for a
   run under emulation, where each process takes a minute to start; 1 by default. */
static double timeScale = 1;

static DWORD Scaled(DWORD ms)
{
    return (DWORD)(ms * timeScale);
}

/* The NowMs() at which a wait of `ms` gives up. */
static double Deadline(DWORD ms)
{
    return NowMs() + Scaled(ms);
}

/* ---- processes ---- */

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

static bool FileExists(const char *path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

/* Starts `exe` with `arguments` (quoted as needed), PLAYER_LOG set to `playerLog` (or unset) in
   its environment, and standard output and error going to `output` when given (an inheritable
   handle).  Returns the process handle, NULL when it could not start. */
static HANDLE Start(const char *exe, const char *arguments, const char *playerLog, HANDLE output)
{
    char commandLine[2048];
    snprintf(commandLine, sizeof commandLine, "\"%s\"%s%s", exe, *arguments ? " " : "", arguments);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (output) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = startup.hStdError = output;
    }
    SetEnvironmentVariableA("PLAYER_LOG", playerLog);
    PROCESS_INFORMATION info;
    BOOL started = CreateProcessA(exe, commandLine, NULL, NULL, output != NULL, 0, NULL, NULL, &startup, &info);
    if (!ok(started, "start", "expected %s to start, got error %lu", commandLine, (unsigned long)GetLastError()))
        return NULL;
    CloseHandle(info.hThread);
    return info.hProcess;
}

/* The exit code of a process that ends within `timeoutMs`, else STILL_ACTIVE; closes the handle. */
static DWORD Finish(HANDLE process, DWORD timeoutMs)
{
    DWORD code = STILL_ACTIVE;
    if (!process)
        return 0xDEADBEEF;
    if (WaitForSingleObject(process, Scaled(timeoutMs)) == WAIT_OBJECT_0)
        GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return code;
}

static char remoteSendErrors[1024];

/* Runs remote-send (`exe`, or the build's) with `arguments` and returns its exit code; what it
   printed is in remoteSendErrors, and checked to fit an 80-column console. */
static DWORD RemoteSendFrom(const char *exe, const char *arguments)
{
    const char *errorPath = PathIn(tmpDir, "remote-send.err");
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE file = CreateFileA(errorPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD code = Finish(Start(exe, arguments, NULL, file), 10000), got = 0;
    SetFilePointer(file, 0, NULL, FILE_BEGIN);
    if (!ReadFile(file, remoteSendErrors, sizeof remoteSendErrors - 1, &got, NULL))
        got = 0;
    remoteSendErrors[got] = '\0';
    CloseHandle(file);
    const char *wide = LineOffTheColumns(remoteSendErrors, "remote-send: ");
    ok(wide == NULL, "remote-send's messages", "expected [%s]'s lines within 79 columns, going on after 13 blanks, got: %.90s",
       arguments, wide);
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
    LONGLONG retrievedAt;   /* the performance counter when the player took it */
};

#define MAX_LOGGED 24000
static LoggedPost logged[MAX_LOGGED];

/* Field `index` (from 0) of a tab-separated log line; NULL when the line is shorter. */
static const char *LogField(const char *line, int index)
{
    for (; line && index > 0; --index)
        if ((line = strchr(line, '\t')) != NULL)
            ++line;
    return line;
}

static void ParsePost(const char *line, LoggedPost *post)
{
    const char *cls = LogField(line, 1), *postedAt = LogField(line, 7), *retrievedAt = LogField(line, 6);
    snprintf(post->windowClass, sizeof post->windowClass, "%.*s", (int)(strchr(cls, '\t') - cls), cls);
    post->message = (unsigned)strtoul(LogField(line, 2), NULL, 16);
    post->wParam = strtoul(LogField(line, 3), NULL, 10);
    post->lParam = strtoul(LogField(line, 4), NULL, 16);
    post->postedAt = postedAt ? strtoul(postedAt, NULL, 10) : 0;
    post->retrievedAt = retrievedAt ? _strtoi64(retrievedAt, NULL, 10) : 0;
}

/* Reads the posts of a player's log into `logged` and returns how many it holds.  A log is only
   ever appended to, so a second call for the same log reads only what was added since, whole
   lines only (a line may still be being written). */
static int ReadPosts(const char *path)
{
    static char readPath[MAX_PATH], text[65536];
    static HANDLE file = INVALID_HANDLE_VALUE;
    static DWORD readTo;
    static int count;
    if (strcmp(path, readPath) != 0) {
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
        snprintf(readPath, sizeof readPath, "%s", path);
        readTo = 0;
        count = 0;
    }
    if (file == INVALID_HANDLE_VALUE)
        file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD got = sizeof text - 1;
    while (file != INVALID_HANDLE_VALUE && got == sizeof text - 1) {
        SetFilePointer(file, (LONG)readTo, NULL, FILE_BEGIN);
        if (!ReadFile(file, text, sizeof text - 1, &got, NULL))
            got = 0;
        text[got] = '\0';
        char *line = text;
        for (char *end; (end = strchr(line, '\n')) != NULL && count < MAX_LOGGED; line = end + 1) {
            *end = '\0';
            if (LogField(line, 4) && strncmp(LogField(line, 1), "stand-in\t", 9) != 0)
                ParsePost(line, &logged[count++]);
        }
        readTo += (DWORD)(line - text);
        if (line == text)
            break;
    }
    return count;
}

/* Waits up to `timeoutMs` until the log holds at least `count` posts; returns how many it holds. */
static int WaitForPosts(const char *path, int count, DWORD timeoutMs)
{
    double end = Deadline(timeoutMs);
    int now;
    while ((now = ReadPosts(path)) < count && NowMs() < end)
        Sleep(1);
    return now;
}

/* Waits until the log has not grown for a second (at most `timeoutMs`); returns its posts. */
static int WaitQuiet(const char *path, DWORD timeoutMs)
{
    double end = Deadline(timeoutMs);
    int last = -1, now;
    while ((now = ReadPosts(path)) != last && NowMs() < end) {
        last = now;
        Sleep(1000);
    }
    return now;
}

/* Whether the log holds `text` anywhere, within `timeoutMs`. */
static bool WaitForLogText(const char *path, const char *text, DWORD timeoutMs)
{
    static char all[65536];
    double end = Deadline(timeoutMs);
    for (;;) {
        HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        DWORD got = 0;
        if (file != INVALID_HANDLE_VALUE) {
            if (!ReadFile(file, all, sizeof all - 1, &got, NULL))
                got = 0;
            CloseHandle(file);
        }
        all[got] = '\0';
        if (strstr(all, text))
            return true;
        if (NowMs() > end)
            return false;
        Sleep(50);
    }
}

static int CountPosts(const PlayerPost *posts)
{
    int count = 0;
    while (posts[count].window)
        ++count;
    return count;
}

/* ---- the command table's rows (tests/support/command_table.h) ---- */

/* Which rows: those that do anything (an action of their own, or posts); that only post to the
   player (they need it and nothing else); that post once; that act, but the log-off, which
   run-e2e does last. */
static bool Acts(const CommandRow &row) { return row.action != ACTION_POSTS || row.posts[0].window; }
static bool OnlyPosts(const CommandRow &row) { return row.action == ACTION_POSTS && row.posts[0].window; }
static bool PostsOnce(const CommandRow &row) { return OnlyPosts(row) && !row.posts[1].window; }
static bool ActsButLogsOff(const CommandRow &row) { return Acts(row) && row.action != ACTION_LOG_OFF; }

/* The numbers of the rows `picked` holds for, in the table's order; returns how many. */
static int PickRows(unsigned *numbers, bool (*picked)(const CommandRow &row))
{
    int count = 0;
    for (const CommandRow &row : COMMAND_TABLE)
        if (picked(row))
            numbers[count++] = row.number;
    return count;
}

/* The row that posts the most messages. */
static const CommandRow *LongestRow(void)
{
    const CommandRow *longest = &COMMAND_TABLE[0];
    for (const CommandRow &row : COMMAND_TABLE)
        longest = CountPosts(row.posts) > CountPosts(longest->posts) ? &row : longest;
    return longest;
}

/* Appends the posts of `number`'s row (none for a number the table lacks) to a {}-terminated list. */
static void AppendPosts(PlayerPost *list, int *count, unsigned number)
{
    const CommandRow *row = FindCommandRow(number);
    for (const PlayerPost *p = row ? row->posts : NULL; p && p->window; ++p)
        list[(*count)++] = *p;
    list[*count] = PlayerPost();
}

/* The posts of `numbers`' rows, in turn, as a {}-terminated list; returns how many. */
static int PostsOf(const unsigned *numbers, int count, PlayerPost *posts)
{
    int posted = 0;
    posts[0] = PlayerPost();
    for (int i = 0; i < count; ++i)
        AppendPosts(posts, &posted, numbers[i]);
    return posted;
}

static const char *DescribePost(char *text, const char *windowClass, unsigned message, unsigned long wParam,
                                unsigned long lParam)
{
    snprintf(text, 96, "%s %s(0x%04x) %lu 0x%08lx", windowClass, PlayerMessageName(message), message, wParam, lParam);
    return text;
}

/* Compares the logged posts from `first` to `gotCount` with `expected`: the same posts in the same
   order and nothing more.  Reports the first difference. */
static bool ok_posts_at(const char *file, int line, const char *what, int first, int gotCount,
                        const PlayerPost *expected)
{
    int want = CountPosts(expected), got = gotCount - first;
    char wanted[96], seen[96];
    for (int i = 0; i < want && i < got; ++i) {
        const PlayerPost *e = &expected[i];
        const LoggedPost *g = &logged[first + i];
        const char *cls = e->window == PLAYER_PLAYLIST ? PLAYER_PLAYLIST_CLASS : PLAYER_MAIN_CLASS;
        if (strcmp(g->windowClass, cls) != 0 || g->message != e->message || g->wParam != e->wParam ||
            g->lParam != e->lParam)
            return ok_at(file, line, false, what, "expected post %d of %d: %s, got %s", i + 1, want,
                         DescribePost(wanted, cls, e->message, e->wParam, e->lParam),
                         DescribePost(seen, g->windowClass, g->message, g->wParam, g->lParam));
    }
    if (got > want) {
        const LoggedPost *extra = &logged[first + want];
        return ok_at(file, line, false, what, "expected %d post(s), got %d; the first extra: %s", want, got,
                     DescribePost(seen, extra->windowClass, extra->message, extra->wParam, extra->lParam));
    }
    return ok_at(file, line, got == want, what, "expected %d post(s), got %d", want, got);
}
#define ok_posts(what, first, gotCount, expected) ok_posts_at(__FILE__, __LINE__, what, first, gotCount, expected)

/* ---- the program and the stand-in player ---- */

static HANDLE program; /* the program under test: started here, or opened once its window is found */
static HWND programWindow;
static DWORD programPid;

/* Waits up to `timeoutMs` for the program's window (class and title are the program title) and
   opens its process if this driver did not start it. */
static bool FindProgram(DWORD timeoutMs)
{
    double end = Deadline(timeoutMs);
    while (!(programWindow = FindWindowA(PROGRAM_TITLE, PROGRAM_TITLE)) && NowMs() < end)
        Sleep(20);
    if (!ok(programWindow != NULL, "find", "expected a window of class and title \"%s\" within %lu ms, got none",
            PROGRAM_TITLE, (unsigned long)timeoutMs))
        return false;
    GetWindowThreadProcessId(programWindow, &programPid);
    if (!program)
        program = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, programPid);
    ok(!IsWindowVisible(programWindow), "find", "expected the window hidden, got it visible");
    return ok(program != NULL, "find", "expected to open process %lu, got error %lu", (unsigned long)programPid,
              (unsigned long)GetLastError());
}

/* Starts the program (`exe` in the build, or a path) with PLAYER_LOG naming started-player.log,
   for the player it may start itself, and finds its window. */
static bool StartProgram(const char *exe, const char *arguments)
{
    if (program)
        CloseHandle(program);
    program = Start(strchr(exe, '\\') ? exe : PathIn(buildDir, exe), arguments, PathIn(tmpDir, "started-player.log"),
                    NULL);
    return program && FindProgram(15000) &&
           ok(GetProcessId(program) == programPid, "find", "expected the window of process %lu, started here, got %lu's",
              (unsigned long)GetProcessId(program), (unsigned long)programPid);
}

static bool ProgramRunning(void)
{
    return program && WaitForSingleObject(program, 0) == WAIT_TIMEOUT;
}

static void Post(UINT message, WPARAM wParam, LPARAM lParam)
{
    ok(PostMessageA(programWindow, message, wParam, lParam), "post",
       "expected message 0x%x (%lu, 0x%lx) posted, got error %lu", message, (unsigned long)wParam,
       (unsigned long)lParam, (unsigned long)GetLastError());
}

static void PostTray(UINT mouseMessage)
{
    Post(WM_TRAY_NOTIFY, 0, mouseMessage);
}

/* Posts `count` commands, numbers taken in turn from `numbers`.  Windows refuses a post to a
   queue that already holds 10,000 messages (ERROR_NOT_ENOUGH_QUOTA); such a post is tried again
   a moment later, the way a well-behaved sender would, so nothing is dropped on either system. */
static void PostCommands(int count, const unsigned *numbers, int numberCount)
{
    unsigned long waits = 0;
    double start = NowMs(), giveUpAt = start + 30000;
    for (int i = 0; i < count; ++i) {
        while (!PostMessageA(programWindow, WM_REMOTE_COMMAND, numbers[i % numberCount], 0)) {
            DWORD error = GetLastError();
            if (!ok(error == ERROR_NOT_ENOUGH_QUOTA && NowMs() < giveUpAt, "post commands",
                    "expected command %u (post %d of %d) posted, got error %lu", numbers[i % numberCount], i + 1,
                    count, (unsigned long)error))
                return;
            ++waits;
            Sleep(1);
        }
    }
    Note("posted %d commands in %.0f ms, %lu wait(s) for a full queue", count, NowMs() - start, waits);
}

static HANDLE player;                /* the stand-in player this driver started last */
static char playerLog[MAX_PATH];     /* the log of the current test's player */

/* Starts a stand-in player writing `logName` (in the temporary folder), its output going to
   `output` when given, and waits for its started line. */
static void StartPlayerWith(const char *logName, const char *options, HANDLE output)
{
    snprintf(playerLog, sizeof playerLog, "%s", PathIn(tmpDir, logName));
    char arguments[MAX_PATH + 64];
    snprintf(arguments, sizeof arguments, "%s%s\"%s\"", options, *options ? " " : "", playerLog);
    player = Start(PathIn(buildDir, "stand-in-player.exe"), arguments, NULL, output);
    ok(player && WaitForLogText(playerLog, "\tstarted\t", 15000), "stand-in player",
       "expected its started line in %s, got none", playerLog);
}
static void StartPlayer(const char *logName, const char *options)
{
    StartPlayerWith(logName, options, NULL);
}

/* Tells the stand-in player (whichever runs) to end, and waits for it. */
static bool QuitPlayer(void)
{
    HWND window = FindWindowA(PLAYER_MAIN_CLASS, NULL);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HANDLE process = window ? OpenProcess(SYNCHRONIZE, FALSE, pid) : NULL;
    PostMessageA(window, STAND_IN_QUIT, 0, 0);
    DWORD waited = process ? WaitForSingleObject(process, Scaled(5000)) : WAIT_FAILED;
    if (process)
        CloseHandle(process);
    if (player)
        CloseHandle(player);
    player = NULL;
    return ok(waited == WAIT_OBJECT_0, "player quit", "expected the stand-in (pid %lu) to end within 5 s, got %s",
              (unsigned long)pid, waited == WAIT_TIMEOUT ? "it running" : "no player");
}

/* remote-send (`sender`, or the build's) with the spelling of `number`, and the player's log gets
   that number's row of the command table after what it held, and nothing else. */
static void CheckCommandFrom(const char *sender, const char *spelling, unsigned number)
{
    char what[48];
    snprintf(what, sizeof what, "command %s", spelling);
    const CommandRow *row = FindCommandRow(number);
    if (!ok(row != NULL, what, "expected a row of the command table, got none"))
        return;
    int before = ReadPosts(playerLog);
    DWORD code = sender ? RemoteSendFrom(sender, spelling) : RemoteSend(spelling);
    if (!ok(code == 0, what, "expected remote-send to post it (exit code 0), got %lu: %s", (unsigned long)code,
            remoteSendErrors))
        return;
    bool acts = Acts(*row);
    ok(acts ? !remoteSendErrors[0] : strstr(remoteSendErrors, "the program does nothing for it") != NULL, what,
       "expected %s, got: %s", acts ? "nothing printed" : "a note that the program does nothing for it", remoteSendErrors);
    ok_posts(what, before, WaitForPosts(playerLog, before + CountPosts(row->posts), 5000), row->posts);
}
static void CheckCommand(const char *spelling, unsigned number)
{
    CheckCommandFrom(NULL, spelling, number);
}

/* ---- the exit question ---- */

static HWND FindQuestion(void)
{
    return FindWindowA("#32770", PROGRAM_TITLE);
}

static BOOL CALLBACK FindChildText(HWND child, LPARAM found)
{
    char text[128];
    GetWindowTextA(child, text, sizeof text);
    if (strcmp(text, EXIT_QUESTION) == 0)
        *(bool *)found = true;
    return !*(bool *)found;
}

static bool ButtonShown(HWND box, int id)
{
    HWND button = GetDlgItem(box, id);
    return button && IsWindowVisible(button);
}

/* Within `timeoutMs` the exit question shows (a box captioned with the title, owned by nobody,
   the program's, holding the question, Yes and No only); its answer is clicked and it goes. */
static bool AnswerQuestion(bool yes, DWORD timeoutMs)
{
    const char *what = yes ? "question yes" : "question no";
    double end = Deadline(timeoutMs);
    HWND box;
    while (!((box = FindQuestion()) && IsWindowVisible(box)) && NowMs() < end)
        Sleep(10);
    if (!ok(box != NULL && IsWindowVisible(box), what, "expected a #32770 box captioned \"%s\" shown within %lu ms, got %s",
            PROGRAM_TITLE, (unsigned long)timeoutMs, box ? "it hidden" : "none"))
        return false;
    bool found = false;
    EnumChildWindows(box, FindChildText, (LPARAM)&found);
    ok(found, what, "expected the text \"%s\" in the box, got it missing", EXIT_QUESTION);
    ok(ButtonShown(box, IDYES) && ButtonShown(box, IDNO), what, "expected Yes and No buttons, got Yes %d, No %d",
       ButtonShown(box, IDYES), ButtonShown(box, IDNO));
    ok(!ButtonShown(box, IDOK) && !ButtonShown(box, IDCANCEL), what,
       "expected no OK or Cancel button, got OK %d, Cancel %d", ButtonShown(box, IDOK), ButtonShown(box, IDCANCEL));
    HWND owner = GetWindow(box, GW_OWNER);
    ok(owner == NULL, what, "expected a box without owner window, got owner %p", (void *)owner);
    DWORD boxPid = 0;
    GetWindowThreadProcessId(box, &boxPid);
    ok(boxPid == programPid, what, "expected the box to belong to process %lu, got %lu", (unsigned long)programPid,
       (unsigned long)boxPid);
    Note("%s: box %p; foreground %s", what, (void *)box, GetForegroundWindow() == box ? "yes" : "no");

    /* The click is posted, as a real click's mouse messages are queued.  A click sent from
       another process would be handled inside the box's message retrieval, and Wine's dialog
       loop then drops the posted message retrieved by that same call: a command arriving at
       that moment would be lost by the test's own doing. */
    PostMessageA(GetDlgItem(box, yes ? IDYES : IDNO), BM_CLICK, 0, 0);
    end = Deadline(3000);
    while (IsWindow(box) && NowMs() < end)
        Sleep(10);
    return ok(!IsWindow(box), what, "expected the box gone after pressing %s, got it still there", yes ? "Yes" : "No");
}

/* No exit question within `waitMs`; one that comes anyway is answered No, so that the program
   stays as it was for the checks after this one. */
static void CheckNoQuestion(DWORD waitMs)
{
    double end = Deadline(waitMs);
    HWND box;
    while (!(box = FindQuestion()) && NowMs() < end)
        Sleep(10);
    DWORD_PTR result;
    if (box)
        SendMessageTimeoutA(GetDlgItem(box, IDNO), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 3000, &result);
    ok(box == NULL, "no question", "expected no question within %lu ms, got box %p", (unsigned long)waitMs,
       (void *)box);
}

/* ---- the tray icon ---- */

static int CountTrayIcons(HWND *first)
{
    int count = 0;
    *first = NULL;
    for (HWND tray = NULL; (tray = FindWindowExA(NULL, tray, TRAY_CLASS, NULL)) != NULL;)
        for (HWND icon = NULL; (icon = FindWindowExA(tray, icon, TRAY_ICON_CLASS, NULL)) != NULL; ++count)
            if (!*first)
                *first = icon;
    return count;
}

static bool CheckIcon(bool present, DWORD timeoutMs)
{
    double start = NowMs(), end = Deadline(timeoutMs);
    HWND icon;
    int count, want = present ? 1 : 0;
    while ((count = CountTrayIcons(&icon)) != want && NowMs() < end)
        Sleep(5);
    Note("icon: %d tray icon(s) after %.0f ms", count, NowMs() - start);
    return ok(count == want, "icon", "expected %d tray icon within %lu ms, got %d", want, (unsigned long)timeoutMs,
              count);
}

static int ColourDistance(COLORREF a, COLORREF b)
{
    return abs(GetRValue(a) - GetRValue(b)) + abs(GetGValue(a) - GetGValue(b)) + abs(GetBValue(a) - GetBValue(b));
}

/* A change of picture: at least this far (sum over the three channels) from the colour that
   was showing, for CHANGE_SAMPLES samples in a row, so that a sample taken in the middle of a
   redraw does not count. */
#define CHANGE_DISTANCE 60
#define CHANGE_SAMPLES 3
#define MAX_CHANGES 16

/* The centre of the tray icon, where its picture is sampled. */
static bool FindIconCentre(POINT *centre)
{
    HWND icon;
    int icons = CountTrayIcons(&icon);
    RECT rect;
    GetWindowRect(icon, &rect);
    centre->x = (rect.left + rect.right) / 2;
    centre->y = (rect.top + rect.bottom) / 2;
    return ok(icons == 1, "tray icon", "expected one tray icon, got %d", icons);
}

/* Waits up to `timeoutMs` until the icon has shown one picture for `steadyMs` (`want`, or any
   with CLR_INVALID; a picture is one while it stays within half a change); returns that
   picture, or CLR_INVALID when none held so long. */
static COLORREF WaitForPicture(HDC screen, POINT at, COLORREF want, DWORD steadyMs, DWORD timeoutMs)
{
    COLORREF picture = want != CLR_INVALID ? want : GetPixel(screen, at.x, at.y);
    double end = Deadline(timeoutMs), since = NowMs();
    for (;;) {
        COLORREF now = GetPixel(screen, at.x, at.y);
        if (ColourDistance(now, picture) > CHANGE_DISTANCE / 2) {
            picture = want != CLR_INVALID ? want : now;
            since = -1;
        } else if (since < 0) {
            since = NowMs();
        } else if (NowMs() - since >= steadyMs) {
            return picture;
        }
        if (NowMs() > end)
            return CLR_INVALID;
        Sleep(5);
    }
}

/* Posts `count` commands (number 0) `gapMs` apart and watches the centre of the tray icon: it
   must change once to the active picture, within 250 ms of the first command, and once back,
   30 to 400 ms after the last. */
static void CheckBlink(int count, DWORD gapMs)
{
    POINT at;
    if (!FindIconCentre(&at))
        return;
    HDC screen = GetDC(NULL);
    /* The tray may still be repainting (after a question box closed over it, say). */
    COLORREF idle = WaitForPicture(screen, at, CLR_INVALID, 100, 2000);
    double changeAt[MAX_CHANGES];
    COLORREF changeTo[MAX_CHANGES], showing = idle, candidate = 0;
    int changes = 0, candidateRun = 0, posted = 0;
    double candidateAt = 0, firstPost = NowMs(), lastPost = firstPost;
    double stopAt = firstPost + (count - 1) * gapMs + 1000;
    for (double now = NowMs(); idle != CLR_INVALID && now < stopAt; now = NowMs()) {
        if (posted < count && now >= firstPost + posted * gapMs) {
            PostMessageA(programWindow, WM_REMOTE_COMMAND, 0, 0);
            lastPost = NowMs();
            ++posted;
        }
        COLORREF sample = GetPixel(screen, at.x, at.y);
        if (ColourDistance(sample, showing) <= CHANGE_DISTANCE) {
            candidateRun = 0;
        } else {
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
        }
        Sleep(1);
    }
    ReleaseDC(NULL, screen);
    if (!ok(idle != CLR_INVALID, "blink", "expected a steady idle picture at (%ld,%ld) within 2 s, got none", at.x, at.y))
        return;

    printf("blink: %d command(s) %lu ms apart, idle #%06lx, %d change(s):", count, (unsigned long)gapMs,
           (unsigned long)idle, changes);
    for (int i = 0; i < changes && i < MAX_CHANGES; ++i)
        printf(" %+.1f ms after first / %+.1f ms after last -> #%06lx;", changeAt[i] - firstPost,
               changeAt[i] - lastPost, (unsigned long)changeTo[i]);
    printf("\n");
    ok(changes == 2, "blink", "expected exactly 2 changes (to active, back to idle) for %d command(s) %lu ms apart, got %d",
       count, (unsigned long)gapMs, changes);
    if (changes >= 1)
        ok(changeAt[0] - firstPost >= 0 && changeAt[0] - firstPost <= 250, "blink",
           "expected the active picture within 250 ms of the first command, got %.1f ms", changeAt[0] - firstPost);
    if (changes >= 2) {
        double off = changeAt[1] - lastPost;
        ok(off >= 30 && off <= 400, "blink", "expected the idle picture back 30..400 ms after the last command, got %.1f ms",
           off);
        ok(ColourDistance(changeTo[1], idle) < ColourDistance(changeTo[1], changeTo[0]), "blink",
           "expected the final picture to be the idle one (#%06lx), got #%06lx (active #%06lx)", (unsigned long)idle,
           (unsigned long)changeTo[1], (unsigned long)changeTo[0]);
    }
}

/* ---- ending ---- */

/* The tick count when the last WaitForExit saw the program's process ended. */
static DWORD exitSeenAtTick;

enum ExitWatch { WATCH_NOTHING, WATCH_ICON, WATCH_QUESTION };

/* Waits for the program's process to end with exit code 0.  WATCH_ICON watches the
   tray meanwhile: the program removes its icon itself before it ends, so the icon must vanish
   while the program's window still exists.  (Wine also drops the icon of a window that has died,
   but only once the window is gone, which is what an exit that forgets the icon looks like.)
   WATCH_QUESTION looks for the exit question every millisecond: none may appear once the exit
   has begun. */
static bool WaitForExit(const char *what, DWORD timeoutMs, ExitWatch watch)
{
    if (!ok(program != NULL, what, "expected the program's process, got none"))
        return false;
    double start = NowMs(), end = Deadline(timeoutMs), iconGoneAt = -1;
    bool windowThen = false;
    HWND question = NULL, icon;
    DWORD waited;
    while ((waited = WaitForSingleObject(program, 0)) == WAIT_TIMEOUT && NowMs() < end) {
        if (watch == WATCH_ICON && iconGoneAt < 0 && CountTrayIcons(&icon) == 0) {
            iconGoneAt = NowMs();
            windowThen = IsWindow(programWindow) != FALSE; /* looked at after the icon */
        }
        if (watch == WATCH_QUESTION && !question)
            question = FindQuestion();
        if (watch == WATCH_QUESTION || watch == WATCH_NOTHING || iconGoneAt >= 0)
            WaitForSingleObject(program, watch == WATCH_QUESTION ? 1 : 5);
    }
    exitSeenAtTick = GetTickCount();
    if (!ok(waited == WAIT_OBJECT_0, what, "expected the program to end within %lu ms, got it running",
            (unsigned long)timeoutMs))
        return false;
    DWORD code = 0xDEADBEEF;
    GetExitCodeProcess(program, &code);
    Note("%s: ended with code %lu after %.0f ms", what, (unsigned long)code, NowMs() - start);
    bool good = ok(code == 0, what, "expected exit code 0, got %lu", (unsigned long)code);
    if (watch == WATCH_QUESTION)
        good &= ok(question == NULL, what, "expected no exit question while the program ended, got box %p",
                   (void *)question);
    if (watch == WATCH_ICON)
        good &= ok(iconGoneAt >= 0 && windowThen, what,
                   "expected the program to remove its tray icon while its window still existed, got %s",
                   iconGoneAt < 0 ? "the icon still there" : "the icon gone only with the window");
    return good;
}

/* ==== The suite's tests, in the order they run ==== */

static void test_start_up(void)
{
    StartPlayer("player.log", "");
    if (!StartProgram("remote-control.exe", ""))
        return;
    DWORD priority = GetPriorityClass(program);
    ok(priority == REALTIME_PRIORITY_CLASS, "priority", "expected priority class 0x%lx, got 0x%lx",
       (unsigned long)REALTIME_PRIORITY_CLASS, (unsigned long)priority);
}

/* remote-send with the spelling of a number, and the posts of its row appended to `all`. */
static void SendRow(const char *spelling, unsigned number, PlayerPost *all, int *allCount)
{
    CheckCommand(spelling, number);
    AppendPosts(all, allCount, number);
}

/* Each row of the command table but 14 (the log-off, which run-e2e does last), by remote-send,
   then some rows spelled in hexadecimal, and last command 1, which closes the player.  Then the
   whole log is those posts in that order. */
static void test_command_table(void)
{
    static const struct { const char *spelling; unsigned number; } hexadecimal[] = {
        {"0x544D", 21581}, {"0x545a", 21594}, {"0xFFFFFFFF", 0xFFFFFFFF}};
    static PlayerPost all[COMMAND_TABLE_ROWS * 4 + 1];
    int allCount = 0;
    char spelling[16];
    for (const CommandRow &row : COMMAND_TABLE)
        if (row.action != ACTION_LOG_OFF && row.action != ACTION_CLOSE_OR_START) {
            snprintf(spelling, sizeof spelling, "%u", row.number);
            SendRow(spelling, row.number, all, &allCount);
        }
    for (const auto &row : hexadecimal)
        SendRow(row.spelling, row.number, all, &allCount);
    SendRow("1", 1, all, &allCount);
    Sleep(300);
    ok_posts("whole sequence", 0, ReadPosts(playerLog), all);
}

static void test_remote_send_arguments(void)
{
    static const char *const bad[] = {"\"\"", "abc", "-1", "+5", "12x", "\" 7\"", "0x", "0x1g", "4294967296",
                                      "0x100000000", "99999999999999999999", "", "2 3", "closed", "clos"};
    int before = ReadPosts(playerLog);
    for (unsigned i = 0; i < sizeof bad / sizeof bad[0]; ++i) {
        DWORD code = RemoteSend(bad[i]);
        ok(code == 2 && remoteSendErrors[0], "remote-send arguments",
           "expected exit code 2 and a message for [%s], got %lu and \"%s\"", bad[i], (unsigned long)code,
           remoteSendErrors);
    }
    /* The usage lists the numbers the program acts on: the command table's rows that do something. */
    char acting[256] = "The program acts on N =";
    for (const CommandRow &row : COMMAND_TABLE)
        if (Acts(row))
            snprintf(acting + strlen(acting), sizeof acting - strlen(acting), " %u", row.number);
    strcat(acting, ";\n");
    DWORD code = RemoteSend("/?");
    ok(code == 0 && strstr(remoteSendErrors, acting), "remote-send /?", "expected exit code 0 and [%s], got %lu: %s",
       acting, (unsigned long)code, remoteSendErrors);
    Sleep(200);
    int now = ReadPosts(playerLog);
    ok(now == before, "remote-send arguments", "expected no post for malformed arguments, got %d -> %d", before, now);
    /* Checked only now, seconds after command 1, so that a second copy would have had time to start. */
    ok(!FileExists(PathIn(tmpDir, "started-player.log")), "command 1 with the player running",
       "expected no second player, got %s", PathIn(tmpDir, "started-player.log"));
}

/* Left-button releases, double clicks and presses of either button on the icon ask nothing; the
   right-button release asks, and No keeps the program running and answering. */
static void test_tray_clicks_and_answer_no(void)
{
    static const struct { UINT mouse; DWORD waitMs; } silent[] = {
        {WM_LBUTTONUP, 600}, {WM_LBUTTONDBLCLK, 600}, {WM_RBUTTONDOWN, 600}, {WM_LBUTTONDOWN, 300}};
    CheckIcon(true, 5000);
    for (unsigned i = 0; i < sizeof silent / sizeof silent[0]; ++i) {
        PostTray(silent[i].mouse);
        CheckNoQuestion(silent[i].waitMs);
    }
    PostTray(WM_RBUTTONUP);
    AnswerQuestion(false, 5000);
    CheckCommand("2", 2);
    ok(ProgramRunning(), "answer No", "expected the program running, got it gone");
}

static void test_blink(void)
{
    CheckBlink(1, 0);
    CheckBlink(5, 20);
}

static void test_no_player(void)
{
    unsigned playerCommands[COMMAND_TABLE_ROWS];
    int count = PickRows(playerCommands, OnlyPosts);
    QuitPlayer();
    PostCommands(count, playerCommands, count);
    Sleep(500);
    ok(FindWindowA(PROGRAM_TITLE, PROGRAM_TITLE) == programWindow && ProgramRunning(), "no player",
       "expected the program running with its window, got it %s", ProgramRunning() ? "without its window" : "gone");
    ok(!FileExists(PathIn(tmpDir, "started-player.log")), "no player", "expected no player started, got %s",
       PathIn(tmpDir, "started-player.log"));
}

static void test_command_one_starts_the_player(void)
{
    ok(RemoteSend("1") == 0, "command 1 with no player", "expected remote-send 1 to post, got: %s", remoteSendErrors);
    snprintf(playerLog, sizeof playerLog, "%s", PathIn(tmpDir, "started-player.log"));
    if (ok(WaitForLogText(playerLog, "\tstarted\t", 15000), "command 1 with no player",
           "expected " PLAYER_START_PATH " started within 15 s, got no started line")) {
        CheckCommand("2", 2);
        ok_posts("command 1 with no player: the started player's posts", 0, ReadPosts(playerLog), FindCommandRow(2)->posts);
    }
    QuitPlayer();
}

static void test_answer_yes(void)
{
    PostTray(WM_RBUTTONUP);
    AnswerQuestion(true, 5000);
    WaitForExit("answer Yes", 10000, WATCH_ICON);
}

static void test_remote_send_without_program(void)
{
    static const char *const arguments[] = {"2", "close"};
    for (int i = 0; i < 2; ++i) {
        DWORD code = RemoteSend(arguments[i]);
        ok(code == 1 && strstr(remoteSendErrors, "not running"), "remote-send without the program",
           "expected remote-send %s to exit 1 saying 'not running', got %lu: %s", arguments[i], (unsigned long)code,
           remoteSendErrors);
    }
}

/* remote-send close, in any case: the program ends on its own, asks nothing, and removes its
   icon first. */
static void test_close(void)
{
    static const char *const spellings[] = {"close", "CLOSE"};
    for (const char *spelling : spellings) {
        char what[32];
        snprintf(what, sizeof what, "remote-send %s", spelling);
        if (!StartProgram("remote-control.exe", "") || !CheckIcon(true, 5000))
            return;
        Sleep(300);
        HANDLE sender = Start(PathIn(buildDir, "remote-send.exe"), spelling, NULL, NULL);
        WaitForExit(what, 10000, WATCH_ICON);
        DWORD sent = Finish(sender, 10000);
        ok(sent == 0, what, "expected exit code 0, got %lu", (unsigned long)sent);
    }
}

/* WM_CLOSE with a right-button release on the icon queued behind it: no question while ending. */
static void test_close_then_right_click(void)
{
    if (!StartProgram("remote-control.exe", "") || !CheckIcon(true, 5000))
        return;
    Post(WM_CLOSE, 0, 0);
    PostTray(WM_RBUTTONUP);
    WaitForExit("WM_CLOSE then a right-click", 10000, WATCH_QUESTION);
}

/* The replay build plays the bundled recording to a player started with `playerOutput` (its
   echo of each message), then closes on remote-send close.  The recording holds the frames of
   table entries 2, 2, 4, 6, 12 (whose code is also entry 9's, and 9 does nothing) and 11. */
static void PlayRecording(HANDLE playerOutput)
{
    static const unsigned replayed[] = {2, 2, 4, 6, 12, 11};
    PlayerPost replayExpected[4 * (sizeof replayed / sizeof replayed[0]) + 1];
    PostsOf(replayed, sizeof replayed / sizeof replayed[0], replayExpected);
    StartPlayerWith("replay-player.log", playerOutput ? "--stdout" : "", playerOutput);
    char arguments[MAX_PATH + 2];
    snprintf(arguments, sizeof arguments, "\"%s\"", recordingPath);
    if (StartProgram("remote-control-replay.exe", arguments)) {
        WaitForPosts(playerLog, CountPosts(replayExpected), 60000);
        Sleep(500);
        ok_posts("replay", 0, ReadPosts(playerLog), replayExpected);
        ok(RemoteSend("close") == 0, "replay", "expected remote-send close to post, got: %s", remoteSendErrors);
        WaitForExit("replay", 10000, WATCH_NOTHING);
    }
    QuitPlayer();
}

static void test_replay(void)
{
    PlayRecording(NULL);
}

/* The program and remote-send as a user gets them: the release zip, unpacked by run-e2e into a
   folder of its own, with a space in its name.  No program may be running before the start. */
static void test_release_zip(void)
{
    char folder[MAX_PATH], sender[MAX_PATH];
    snprintf(folder, sizeof folder, "%s\\Pelkorn Remote Control", tmpDir);
    snprintf(sender, sizeof sender, "%s", PathIn(folder, "remote-send.exe"));
    if (!ok(FileExists(PathIn(folder, "remote-control.exe")) && FileExists(sender), "release zip",
            "expected remote-control.exe and remote-send.exe unpacked in %s, got none", folder))
        return;
    StartPlayer("zip-player.log", "");
    DWORD code = RemoteSendFrom(sender, "2");
    ok(code == 1, "release zip", "expected remote-send 2 before the start to say not running (1), got %lu",
       (unsigned long)code);
    if (StartProgram(PathIn(folder, "remote-control.exe"), "")) {
        CheckCommandFrom(sender, "5", 5);
        code = RemoteSendFrom(sender, "close");
        ok(code == 0, "release zip", "expected remote-send close to post (0), got %lu", (unsigned long)code);
        WaitForExit("release zip", 10000, WATCH_NOTHING);
    }
    QuitPlayer();
}

/* Command numbers of every class, each posted once: 0 to 16; for every number that acts, its
   neighbours and the same low 16 bits under a high half or the sign bit (what a dispatcher that
   truncates or sign-extends would act on); the command ids and WM_USER parameters the rows post;
   WM_USER and the next message; the ends of the signed and unsigned ranges; 300 pseudo-random
   values (xorshift32, fixed seed).  14 is left out: it logs off, which run-e2e does last. */
static int NumberClasses(unsigned *numbers)
{
    static const unsigned fixed[] = {WM_USER, WM_USER + 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFE, 0xFFFFFFFF};
    unsigned acting[COMMAND_TABLE_ROWS];
    int count = 0, actingCount = PickRows(acting, ActsButLogsOff);
    for (unsigned n = 0; n <= 16; ++n)
        numbers[count++] = n;
    for (int i = 0; i < actingCount; ++i) {
        unsigned n = acting[i];
        const unsigned around[] = {n - 1, n + 1, n + 0x10000, n + 0xFFFF0000u, n + 0x80000000u};
        for (unsigned neighbour : around)
            numbers[count++] = neighbour;
    }
    for (const CommandRow &row : COMMAND_TABLE)
        for (const PlayerPost *p = row.posts; p->window; ++p) {
            if (p->message == WM_COMMAND || p->message == WM_USER)
                numbers[count++] = p->wParam;
            if (p->message == WM_USER)
                numbers[count++] = p->lParam;
        }
    for (unsigned n : fixed)
        numbers[count++] = n;
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

/* Posts the commands and compares what the player got with their rows, once the log is quiet. */
static void PostCommandsAndCompare(const char *what, const unsigned *numbers, int count, DWORD timeoutMs)
{
    static PlayerPost want[3 * 10000 + 1];
    int before = ReadPosts(playerLog);
    PostCommands(count, numbers, count);
    int wanted = PostsOf(numbers, count, want);
    WaitForPosts(playerLog, before + wanted, timeoutMs);
    ok_posts(what, before, WaitQuiet(playerLog, 10000), want);
}

/* Every class of number, then a flood of 10,000 commands that post once each, posted as fast as
   they are taken, then the exit question still comes and Yes ends the program. */
static void test_every_number_then_a_flood(void)
{
    static unsigned numbers[10000];
    unsigned flood[COMMAND_TABLE_ROWS];
    int floodCount = PickRows(flood, PostsOnce);
    StartPlayer("many-player.log", "");
    if (StartProgram("remote-control.exe", "")) {
        PostCommandsAndCompare("every class of number", numbers, NumberClasses(numbers), 20000);
        for (int i = 0; i < 10000; ++i)
            numbers[i] = flood[i % floodCount];
        PostCommandsAndCompare("flood of 10,000", numbers, 10000, 60000);
        PostTray(WM_RBUTTONUP);
        AnswerQuestion(true, 5000);
        WaitForExit("exit after the flood", 10000, WATCH_NOTHING);
    }
    QuitPlayer();
}

/* A player that never reads its queue: about 10,000 posts to it (6,000 commands, a third of
   them the row that posts the most, 21594's three posts, between the first and the last row that
   post once), and the program still answers the next command (the icon blinks) and ends on
   WM_CLOSE.  The icon stays active while commands are queued (the blink timer's message comes
   only once the queue is empty), so the program has worked through them once the idle picture
   is back for 300 ms. */
static void test_hung_player(void)
{
    unsigned once[COMMAND_TABLE_ROWS];
    int onceCount = PickRows(once, PostsOnce);
    const unsigned numbers[] = {once[0], LongestRow()->number, once[onceCount - 1]};
    StartPlayer("hung-player.log", "--never-read");
    POINT at;
    if (StartProgram("remote-control.exe", "") && CheckIcon(true, 5000)) {
        Sleep(300); /* the tray may still be painting the new icon */
        FindIconCentre(&at);
        HDC screen = GetDC(NULL);
        COLORREF idle = GetPixel(screen, at.x, at.y);
        PostCommands(6000, numbers, 3);
        double posted = NowMs();
        bool back = WaitForPicture(screen, at, idle, 300, 30000) != CLR_INVALID;
        ReleaseDC(NULL, screen);
        Note("hung player: the idle picture was back %.0f ms after the last post (300 ms of it included)%s",
             NowMs() - posted, back ? "" : ", or never within 30 s");
        CheckBlink(1, 0);
        Post(WM_CLOSE, 0, 0);
        WaitForExit("WM_CLOSE with the player hung", 5000, WATCH_NOTHING);
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
    const char *what = "exit while frames keep arriving";
    char stream[MAX_PATH];
    snprintf(stream, sizeof stream, "\"%s\"", PathIn(tmpDir, "stream.ir"));
    if (!ok(FileExists(PathIn(tmpDir, "stream.ir")), what,
            "expected the endless recording %s (run-e2e writes it with build/host/ir-encode), got none", stream))
        return;
    StartPlayer("stream-player.log", "");
    if (StartProgram("remote-control-replay.exe", stream)) {
        WaitForPosts(playerLog, 10, 20000);
        PostTray(WM_RBUTTONUP);
        Sleep(300);
        int asked = ReadPosts(playerLog);
        Sleep(1000);
        int during = ReadPosts(playerLog);
        AnswerQuestion(true, 5000);
        bool ended = WaitForExit(what, 10000, WATCH_NOTHING);
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
        ok(during > asked, what, "expected commands handled while the question was open, got %d -> %d posts", asked,
           during);
        ok(count >= 10 && outOfTurn == 0, what,
           "expected WM_COMMAND 40045 and 40046 alternating, got %d of %d posts out of turn", outOfTurn, count);
        ok(ended && late == 0, what, "expected every post made before the end was seen (tick %lu), got %d after",
           (unsigned long)exitSeenAtTick, late);
        Note("%s: %d commands, %d of them in the second the question was open, the last posted %ld ms before the "
             "end was seen",
             what, count, during - asked, count ? (long)(exitSeenAtTick - logged[count - 1].postedAt) : -1L);
    }
    QuitPlayer();
}

/* ==== Named tests run between run-e2e's Unix-side steps, and for the demo and the bench ==== */

/* With COM1 missing (the prefix's mapping), the program run-e2e started answers a command. */
static void test_com1_missing(void)
{
    StartPlayer("cpu-player.log", "");
    if (FindProgram(15000))
        CheckCommand("4", 4);
}

/* With COM1 mapped to a path that does not exist, likewise.  The player refuses to end the
   session, and starts after the program, so that the log-off (which asks processes in order of
   their ids and stops at the first refusal) asks the program first. */
static void test_com1_broken(void)
{
    if (!FindProgram(15000))
        return;
    StartPlayer("broken-player.log", "--refuse-end-session");
    CheckCommand("6", 6);
}

/* After command 14's log-off: the player that refused was asked, told the session goes on, and
   lives on. */
static void test_log_off_refused(void)
{
    snprintf(playerLog, sizeof playerLog, "%s", PathIn(tmpDir, "broken-player.log"));
    ok(WaitForLogText(playerLog, "WM_QUERYENDSESSION refused", 10000), "log-off",
       "expected the refusing player asked (WM_QUERYENDSESSION refused in its log), got no such line");
    ok(WaitForLogText(playerLog, "\tWM_ENDSESSION\t", 5000), "log-off",
       "expected the refusing player told the session goes on (WM_ENDSESSION), got no such line");
    ok(FindWindowA(PLAYER_MAIN_CLASS, NULL) != NULL, "log-off", "expected the refusing player alive, got it gone");
    QuitPlayer();
}

/* smoke-32bit: the program it started (the real 32-bit one, perhaps under emulation) answers
   remote-send 5, and the player gets that one post and no other. */
static void test_smoke(void)
{
    StartPlayer("smoke-player.log", "");
    if (!FindProgram(15000)) {
        QuitPlayer();
        return;
    }
    CheckCommand("5", 5);
    Sleep(Scaled(500)); /* time for a second, wrong post to arrive too */
    ok_posts("smoke", 0, ReadPosts(playerLog), FindCommandRow(5)->posts);
    QuitPlayer();
}

/* scripts/demo: the replay, with the player echoing each message on this driver's output. */
static void test_demo(void)
{
    HANDLE output;
    DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_OUTPUT_HANDLE), GetCurrentProcess(), &output, 0, TRUE,
                    DUPLICATE_SAME_ACCESS);
    PlayRecording(output);
}

/* scripts/bench-wine: the window of the program it started appears. */
static void test_find_program(void)
{
    FindProgram(15000);
}

/* scripts/bench-wine: the baseline, a process that creates nothing and only sleeps. */
static void test_sleep(void)
{
    Sleep(INFINITE);
}

static int CompareDoubles(const void *a, const void *b)
{
    double x = *(const double *)a, y = *(const double *)b;
    return x < y ? -1 : x > y;
}

/* p50, p99 (nearest rank) and max of `count` latencies, sorting them. */
static void PrintLatencies(const char *what, double *us, int count)
{
    qsort(us, count, sizeof us[0], CompareDoubles);
    int p50 = (count * 50 + 99) / 100, p99 = (count * 99 + 99) / 100;
    Note("latency: %s: %d: p50 %.1f us, p99 %.1f us, max %.1f us", what, count, us[p50 - 1], us[p99 - 1],
         us[count - 1]);
}

/* scripts/bench-wine: 1,000 commands 2 posted to the program and 1,000 WM_COMMAND 40045 posted
   straight to the player's main window, alternately, each once the previous one has reached
   the player; the time from each post to the player's retrieval, both by the performance
   counter. */
static void test_latency(void)
{
    enum { COUNT = 1000 };
    static double us[2][COUNT];
    LARGE_INTEGER frequency, sentAt;
    QueryPerformanceFrequency(&frequency);
    StartPlayer("latency-player.log", "");
    HWND playerWindow = FindWindowA(PLAYER_MAIN_CLASS, NULL);
    if (StartProgram("remote-control.exe", "")) {
        int i, before = ReadPosts(playerLog);
        for (i = 0; i < 2 * COUNT; ++i, ++before) {
            QueryPerformanceCounter(&sentAt);
            if (i % 2 == 0)
                PostMessageA(programWindow, WM_REMOTE_COMMAND, 2, 0);
            else
                PostMessageA(playerWindow, WM_COMMAND, 40045, 0);
            int now = WaitForPosts(playerLog, before + 1, 5000);
            if (!ok(now > before && logged[before].message == WM_COMMAND && logged[before].wParam == 40045, "latency",
                    "expected post %d to reach the player as WM_COMMAND 40045 within 5 s, got %s", i + 1,
                    now > before ? "another message" : "none"))
                break;
            us[i % 2][i / 2] = (double)(logged[before].retrievedAt - sentAt.QuadPart) * 1e6 / (double)frequency.QuadPart;
        }
        if (i == 2 * COUNT) {
            PrintLatencies("through the program", us[0], COUNT);
            PrintLatencies("straight to the player", us[1], COUNT);
        }
        RemoteSend("close");
        WaitForExit("latency", 10000, WATCH_NOTHING);
    }
    QuitPlayer();
}

/* ==== COM1 on the test device (tests/e2e/com1-device), named tests run by run-e2e ====

   run-e2e maps COM1 to a pseudo-terminal and preloads the device into every Wine process; each
   test here writes a session (keys encoded as the remote and a receiver module send them),
   tells the device through the environment of the program it starts what to play, and then
   compares what the player got, or what ir-monitor printed, with what the keys must give: the
   command numbers from the keys' codes (KEY_CODES) and the posts from the command table.  The
   device's log must show every scheduled edge seen by exactly one wait and read within
   MAX_STAMP_ERROR_TICKS of its time. */

/* The stamp the program reads after an edge: its scheduled time, plus a tick per counter read
   in between (the device's counter moves one tick per read). */
#define MAX_STAMP_ERROR_TICKS 2
/* Ticks of the performance counter under Wine, per microsecond of a recording. */
#define TICKS_PER_US 10
/* A closing pause this long or longer comes out negative in the decoder's 32-bit arithmetic and
   reads as a short one: that frame's last bit is 0, and it matches no key. */
static const ULONGLONG NEGATIVE_PAUSE_TICKS = 0x80000000ull;

/* How a session begins: the line idles on, one stray burst (as a lamp switched on would give)
   and a settling gap, so that the decoder's first pair is not a key's leader and the first key's
   frame counts. */
#define LEAD_IN_US 800000
#define STRAY_BURST_US 520
#define SETTLE_GAP_US 250000
/* A held key repeats its frame after this pause. */
#define REPEAT_PAUSE_US 40000.0
/* The longest silence of the sessions: 300 s, between 2^31 and 2^32 ticks. */
#define LONG_SILENCE_US 300e6

/* A key as pressed: which table entry's code it sends, how often (a held key repeats its
   frame), how the receiver module shapes it, and the silence after its last frame. */
struct SessionKey {
    unsigned entry;
    int frames;
    double stretchUs, jitterUs, silenceUs;
};

/* The keys of the sessions: lengthening across the accepted band (65-135 us), each key's
   jitter kept at least 5 us inside it, a held key, silences from 40 ms to 10 s, and one of
   300 s whose frame reads short. */
static const SessionKey SESSION_KEYS[] = {
    {2, 1, 80, 10, 2e6},  {6, 3, 95, 15, 700e3},         {12, 1, 105, 20, 10e6}, {4, 1, 120, 8, LONG_SILENCE_US},
    {5, 2, 100, 15, 1e6}, {10, 1, 85, 12, REPEAT_PAUSE_US}, {3, 1, 115, 10, 500e3},
};

#define MAX_SESSION_FRAMES 32

struct SessionFrame {
    ULONGLONG code;   /* as sent */
    bool readsShort;  /* its closing pause is NEGATIVE_PAUSE_TICKS or longer */
    int endEdge;      /* the edge that ends its closing pause: the frame is read there */
};

struct Session {
    SessionFrame frames[MAX_SESSION_FRAMES];
    int frameCount, edgeCount;
    char recording[MAX_PATH], deviceLog[MAX_PATH]; /* Windows paths */
};

/* The Unix path of a file on drive Z: (the root), for the device, which runs on the Unix side. */
static const char *UnixPath(const char *windowsPath)
{
    static char paths[4][MAX_PATH];
    static int next;
    char *path = paths[next++ % 4];
    snprintf(path, MAX_PATH, "%s", windowsPath + (windowsPath[1] == ':' ? 2 : 0));
    for (char *c = path; *c; ++c)
        if (*c == '\\')
            *c = '/';
    return path;
}

/* Writes the session `name` of `keys` as a recording in the temporary folder, with what each
   frame must give.  Edge i is the start of interval i of the train (interval 0, the idle line,
   changes nothing). */
static bool WriteSession(const char *name, const SessionKey *keys, int keyCount, unsigned seed, Session *session)
{
    std::mt19937 random(seed);
    std::vector<IrInterval> train = {{false, LEAD_IN_US}, {true, STRAY_BURST_US}, {false, SETTLE_GAP_US}};
    session->frameCount = 0;
    for (int k = 0; k < keyCount; ++k) {
        IrTiming timing;
        timing.markStretchUs = keys[k].stretchUs;
        timing.jitterUs = keys[k].jitterUs;
        for (int f = 0; f < keys[k].frames && session->frameCount < MAX_SESSION_FRAMES; ++f) {
            timing.pauseUs = f + 1 < keys[k].frames ? REPEAT_PAUSE_US : keys[k].silenceUs;
            EncodeFrame(KEY_CODES[keys[k].entry], timing, random, train);
            SessionFrame *frame = &session->frames[session->frameCount++];
            frame->code = KEY_CODES[keys[k].entry];
            frame->readsShort = (ULONGLONG)train.back().us * TICKS_PER_US >= NEGATIVE_PAUSE_TICKS;
            frame->endEdge = (int)train.size();
        }
    }
    train.push_back({true, (uint32_t)(IrTiming().markUs + keys[keyCount - 1].stretchUs)});
    session->edgeCount = (int)train.size() - 1;

    snprintf(session->recording, MAX_PATH, "%s", PathIn(tmpDir, name));
    strcat(session->recording, ".ir");
    snprintf(session->deviceLog, MAX_PATH, "%s", PathIn(tmpDir, name));
    strcat(session->deviceLog, "-device.log");
    char header[160];
    snprintf(header, sizeof header, "# COM1 session %s: %d frames, %d edges (written by e2e-driver)\n", name,
             session->frameCount, session->edgeCount);
    std::string text = ToRecording(train, header);
    FILE *file = fopen(session->recording, "wb");
    bool written = file && fwrite(text.data(), 1, text.size(), file) == text.size();
    if (file)
        fclose(file);
    return ok(written, "COM1 session", "expected %s written, got error %d", session->recording, errno);
}

/* The device settings for the next process started here (see com1_device.c); NULL or 0 for
   none. */
struct DeviceSettings {
    int failAfter;
    int holdEdge;
    const char *holdFile, *holdText;
    bool interruptAtEnd;
};

/* Writes the session file the device reads when the next process uses the port (its path is
   COM1_DEVICE_SESSION, from run-e2e); with no session, removes it: the line then stays on. */
static void SetDeviceSession(const Session *session, const char *deviceLog, const DeviceSettings &settings)
{
    char path[MAX_PATH];
    const char *unixPath = getenv("COM1_DEVICE_SESSION");
    if (!ok(unixPath != NULL, "COM1 session", "expected COM1_DEVICE_SESSION from run-e2e, got none"))
        return;
    snprintf(path, sizeof path, "Z:%s", unixPath);
    DeleteFileA(path);
    if (!session)
        return;
    if (deviceLog)
        DeleteFileA(deviceLog);
    FILE *file = fopen(path, "wb");
    if (!ok(file != NULL, "COM1 session", "expected %s written, got error %d", path, errno))
        return;
    fprintf(file, "COM1_DEVICE_RECORDING=%s\n", UnixPath(session->recording));
    if (deviceLog)
        fprintf(file, "COM1_DEVICE_LOG=%s\n", UnixPath(deviceLog));
    if (settings.failAfter)
        fprintf(file, "COM1_DEVICE_FAIL_AFTER=%d\n", settings.failAfter);
    if (settings.holdEdge)
        fprintf(file, "COM1_DEVICE_HOLD_EDGE=%d\nCOM1_DEVICE_HOLD_FILE=%s\nCOM1_DEVICE_HOLD_TEXT=%s\n", settings.holdEdge,
                UnixPath(settings.holdFile), settings.holdText);
    if (settings.interruptAtEnd)
        fprintf(file, "COM1_DEVICE_AT_END=interrupt\n");
    fclose(file);
}

/* The posts of the first `frames` frames of the session: each frame's command numbers, from its
   code (none for one that reads short), and each number's row. */
static void SessionPosts(const Session *session, int frames, PlayerPost *posts)
{
    int count = 0;
    posts[0] = PlayerPost();
    for (int f = 0; f < frames; ++f) {
        unsigned commands[KEY_COUNT];
        int found = KeyCommands(session->frames[f].readsShort ? session->frames[f].code & ~1ull : session->frames[f].code,
                                commands);
        for (int i = 0; i < found; ++i)
            AppendPosts(posts, &count, commands[i]);
    }
}

/* How many frames end at or before edge `edge`. */
static int FramesReadBy(const Session *session, int edge)
{
    int frames = 0;
    while (frames < session->frameCount && session->frames[frames].endEdge <= edge)
        ++frames;
    return frames;
}

/* ir-monitor's frame line for frame `f`: its code as the decoder reads it and the numbers it
   gives, or '-'. */
static const char *MonitorFrameLine(const Session *session, int f, char *line, size_t size)
{
    ULONGLONG code = session->frames[f].readsShort ? session->frames[f].code & ~1ull : session->frames[f].code;
    unsigned commands[KEY_COUNT];
    int found = KeyCommands(code, commands);
    int length = snprintf(line, size, "0x%016llX%s", code, found ? "" : " -");
    for (int i = 0; i < found && length < (int)size; ++i)
        length += snprintf(line + length, size - length, " %u", commands[i]);
    return line;
}

/* The whole of a text file, in a buffer that stays until the next call; "" when it is missing. */
static char *ReadWholeFile(const char *path)
{
    static char *text;
    free(text);
    text = NULL;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD size = file != INVALID_HANDLE_VALUE ? GetFileSize(file, NULL) : 0, got = 0;
    text = (char *)malloc(size + 1);
    if (file != INVALID_HANDLE_VALUE) {
        if (!ReadFile(file, text, size, &got, NULL))
            got = 0;
        CloseHandle(file);
    }
    text[got] = '\0';
    return text;
}

/* The next line of `text` at `*at` (ending there, without its line end), or NULL at the end. */
static char *NextLine(char **at)
{
    char *line = *at;
    if (!*line)
        return NULL;
    char *end = line + strcspn(line, "\r\n");
    *at = end + (*end == '\r') + (*end == '\r' && end[1] == '\n') + (*end == '\n');
    if (*end == '\r' && end[1] == '\n')
        end[1] = '\0';
    *end = '\0';
    return line;
}

/* What the device's log says about one process's use of the port. */
struct DeviceRecord {
    int sessions, scheduled, played, seen, largestErrorTicks;
    bool held, holdGaveUp, failed, ended, interrupted;
    /* the line: its last settings and outputs before the first edge, and how RTS came on */
    bool settledBeforeFirstEdge, dtrEverOn, rtsRaisedAfterConfiguring;
    char lineAtFirstEdge[160]; /* the last settings and outputs written before it */
    char firstProblem[160];
};

/* Reads a device log and checks that edges 1 to `played` were each seen by one wait and read
   within MAX_STAMP_ERROR_TICKS of their time (but a first edge that turns the line off, which
   the decoder waits past), and no other edge was played. */
static void ReadDeviceLog(const char *what, const char *path, int played, DeviceRecord *record)
{
    static long long due[200000];
    memset(record, 0, sizeof *record);
    char *text = ReadWholeFile(path), *at = text, *line;
    bool settingsRight = false, rtsOn = false, dtrOn = false, due1On = false;
    char lastSettings[96] = "no termios written", lastOutputs[48] = "no modem lines written";
    int step = 0; /* 1: configured with RTS off; 2: the settings written again since; 3: then RTS on */
    while ((line = NextLine(&at)) != NULL) {
        int number, waits, baud, bits, stop;
        long long when;
        char state[8], parity[16], dtr[8], rts[8];
        if (sscanf(line, "session: %d edges", &number) == 1) {
            ++record->sessions;
            record->scheduled = number;
        } else if (sscanf(line, "termios: %d baud, %d bits, parity %15[^,], %d stop", &baud, &bits, parity, &stop) == 4) {
            settingsRight = baud == 2400 && bits == 8 && strcmp(parity, "none") == 0 && stop == 1;
            snprintf(lastSettings, sizeof lastSettings, "%s", line);
            if (step == 1 && settingsRight)
                step = 2;
        } else if (sscanf(line, "modem: DTR %7[^,], RTS %7s", dtr, rts) == 2) {
            snprintf(lastOutputs, sizeof lastOutputs, "DTR %s, RTS %s", dtr, rts);
            dtrOn = strcmp(dtr, "on") == 0;
            rtsOn = strcmp(rts, "on") == 0;
            record->dtrEverOn |= dtrOn;
            if (!rtsOn && settingsRight && step == 0)
                step = 1;
            if (rtsOn && step == 2)
                step = 3;
            if (rtsOn && step != 3)
                step = -1;
        } else if (sscanf(line, "edge %d %7s due %lld", &number, state, &when) == 3) {
            if (number == 1) {
                record->settledBeforeFirstEdge = settingsRight && !dtrOn && rtsOn;
                snprintf(record->lineAtFirstEdge, sizeof record->lineAtFirstEdge, "%s; %s", lastSettings, lastOutputs);
                due1On = strcmp(state, "on") == 0;
            }
            if (number == record->played + 1 && number < (int)(sizeof due / sizeof due[0]))
                due[number] = when;
            else if (!record->firstProblem[0])
                snprintf(record->firstProblem, sizeof record->firstProblem, "edge %d played after edge %d", number,
                         record->played);
            record->played = number;
        } else if (sscanf(line, "read %d at %lld waits %d", &number, &when, &waits) == 3) {
            long long error = when - due[number];
            bool good = number == record->played && waits == 1 && error >= 0 && error <= MAX_STAMP_ERROR_TICKS;
            record->seen += good;
            if (error > record->largestErrorTicks)
                record->largestErrorTicks = (int)error;
            if (!good && !record->firstProblem[0])
                snprintf(record->firstProblem, sizeof record->firstProblem,
                         "edge %d: read %lld ticks after its time, by %d wait(s)", number, error, waits);
        } else if (sscanf(line, "unread %d waits %d", &number, &waits) == 2) {
            /* The decoder begins by waiting for the line to come on, so the first edge (off) is
               seen by a wait but needs no stamp; any other must be read. */
            bool good = number == 1 && !due1On && waits == 1;
            record->seen += good;
            if (!good && !record->firstProblem[0])
                snprintf(record->firstProblem, sizeof record->firstProblem,
                         "edge %d: seen by %d wait(s), not read before the next edge", number, waits);
        }
        record->held |= strncmp(line, "hold: ", 6) == 0 && strstr(line, " released ") != NULL;
        record->holdGaveUp |= strncmp(line, "hold: ", 6) == 0 && strstr(line, " gave up ") != NULL;
        record->failed |= strncmp(line, "fail: ", 6) == 0;
        record->ended |= strncmp(line, "end: ", 5) == 0;
        record->interrupted |= strncmp(line, "interrupt: ", 11) == 0;
    }
    record->rtsRaisedAfterConfiguring = step == 3;
    ok(record->sessions == 1, what, "expected the device's log %s to show one process on the port, got %d", path,
       record->sessions);
    ok(record->played == played && record->seen == played, what,
       "expected edges 1 to %d each seen by one wait and read within %d ticks of its time, got %d played, %d so (%s)",
       played,
       MAX_STAMP_ERROR_TICKS, record->played, record->seen, record->firstProblem[0] ? record->firstProblem : "-");
    Note("%s: %d of %d scheduled edges played, %d seen once in time, largest stamp error %d ticks", what,
         record->played, record->scheduled, record->seen, record->largestErrorTicks);
}

/* The line as the receiver must set it: 2400 baud 8N1 before the first change, DTR off all
   along, and RTS switched on only after the port had been configured with it off. */
static void CheckLineSettings(const char *what, const DeviceRecord *record)
{
    ok(record->settledBeforeFirstEdge && !record->dtrEverOn, what,
       "expected 2400 baud 8N1, DTR off and RTS on at the first change and DTR never on, got \"%s\"%s",
       record->lineAtFirstEdge, record->dtrEverOn ? " and DTR on at some point" : "");
    ok(record->rtsRaisedAfterConfiguring, what,
       "expected RTS switched on in a step of its own after the port was configured with it off, got it %s",
       record->settledBeforeFirstEdge ? "on in the same step" : "never on");
}

/* Waits until a device log holds a line beginning with `start`. */
static bool WaitForDeviceLine(const char *path, const char *start, DWORD timeoutMs)
{
    char line[32];
    snprintf(line, sizeof line, "\n%s", start);
    for (double end = Deadline(timeoutMs);; Sleep(20)) {
        const char *text = ReadWholeFile(path);
        if (strncmp(text, start, strlen(start)) == 0 || strstr(text, line))
            return true;
        if (NowMs() > end)
            return false;
    }
}

static const char *MonitorPath(void) { return PathIn(buildDir, "ir-monitor.exe"); }

/* An inheritable file for a child's output. */
static HANDLE CreateOutputFile(const char *path)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
}

/* Starts ir-monitor on COM1 (`arguments`: "" or "--raw"), its output and errors going to
   `name`.out and `name`.err in the temporary folder. */
static HANDLE StartMonitor(const char *arguments, const char *name, char *outPath, char *errPath)
{
    snprintf(outPath, MAX_PATH, "%s.out", PathIn(tmpDir, name));
    snprintf(errPath, MAX_PATH, "%s.err", PathIn(tmpDir, name));
    HANDLE out = CreateOutputFile(outPath), err = CreateOutputFile(errPath);
    char commandLine[2 * MAX_PATH];
    snprintf(commandLine, sizeof commandLine, "\"%s\"%s%s", MonitorPath(), *arguments ? " " : "", arguments);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION info;
    BOOL started = CreateProcessA(MonitorPath(), commandLine, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &info);
    CloseHandle(out);
    CloseHandle(err);
    if (!ok(started, "start", "expected %s to start, got error %lu", commandLine, (unsigned long)GetLastError()))
        return NULL;
    CloseHandle(info.hThread);
    return info.hProcess;
}

/* The exit code of an ir-monitor that ends within `timeoutMs`; one that does not is ended, and
   STILL_ACTIVE returned. */
static DWORD FinishMonitor(HANDLE monitor, DWORD timeoutMs)
{
    if (monitor && WaitForSingleObject(monitor, Scaled(timeoutMs)) == WAIT_TIMEOUT)
        TerminateProcess(monitor, 1);
    return Finish(monitor, timeoutMs);
}

/* What ir-monitor printed: its frame lines (those not beginning with '#') against the first
   `frames` frames of the session, and where its stable '#' lines stand. */
static void CheckMonitorOutput(const char *what, const char *outPath, const Session *session, int frames,
                               bool wantSignOfLife)
{
    char *text = ReadWholeFile(outPath), *at = text, *line, expected[64];
    int lineNumber = 0, frameLines = 0, headers = 0, headerLine = 0, alive = 0, aliveLine = 0, firstFrameLine = 0;
    int summaries = 0, summaryLine = 0, afterSummary = 0;
    bool framesRight = true;
    while ((line = NextLine(&at)) != NULL) {
        ++lineNumber;
        if (!*line)
            continue;
        if (strncmp(line, "# counter ", 10) == 0 && !headers++)
            headerLine = lineNumber;
        if (strncmp(line, "# the receiver line is alive", 28) == 0 && !alive++)
            aliveLine = lineNumber;
        if (strncmp(line, "# summary: ", 11) == 0 && !summaries++)
            summaryLine = lineNumber;
        if (line[0] == '#')
            continue;
        afterSummary += summaries > 0;
        if (!firstFrameLine)
            firstFrameLine = lineNumber;
        if (frameLines < frames && framesRight && strcmp(line, MonitorFrameLine(session, frameLines, expected, sizeof expected)))
            framesRight = ok(false, what, "expected frame line %d of %d to be \"%s\", got \"%s\"", frameLines + 1,
                             frames, expected, line);
        ++frameLines;
    }
    ok(frameLines == frames, what, "expected %d frame lines, got %d", frames, frameLines);
    ok(headers == 1 && (!firstFrameLine || headerLine < firstFrameLine), what,
       "expected the '# counter ' header once, before the frames (line %d), got %d at line %d", firstFrameLine, headers,
       headerLine);
    if (wantSignOfLife)
        ok(alive == 1 && aliveLine > headerLine && (!firstFrameLine || aliveLine < firstFrameLine), what,
           "expected one sign of life after the header and before the first frame (line %d), got %d at line %d",
           firstFrameLine, alive, aliveLine);
    ok(summaries == 1 && afterSummary == 0, what,
       "expected one '# summary: ' (got %d, at line %d) and no frame line after it (got %d)", summaries, summaryLine,
       afterSummary);
}

/* remote-control.exe on COM1: a session of several keys gives exactly their posts, in order;
   the line is set as the receiver needs it. */
static void test_com1_session(void)
{
    const char *what = "COM1 session";
    Session session;
    static PlayerPost want[4 * MAX_SESSION_FRAMES + 1];
    if (!WriteSession("com1-session", SESSION_KEYS, sizeof SESSION_KEYS / sizeof SESSION_KEYS[0], 11, &session))
        return;
    SessionPosts(&session, session.frameCount, want);
    StartPlayer("com1-session-player.log", "");
    SetDeviceSession(&session, session.deviceLog, DeviceSettings());
    double start = NowMs();
    if (StartProgram("remote-control.exe", "")) {
        ok(WaitForDeviceLine(session.deviceLog, "end: ", 60000), what, "expected the whole session played within 60 s, got %s",
           FileExists(session.deviceLog) ? "it unfinished" : "no device log");
        Note("%s: %d frames over %d edges played in %.0f ms", what, session.frameCount, session.edgeCount,
             NowMs() - start);
        ok_posts(what, 0, WaitForPosts(playerLog, CountPosts(want), 5000), want);
        DeviceRecord record;
        ReadDeviceLog(what, session.deviceLog, session.edgeCount, &record);
        CheckLineSettings(what, &record);
        RemoteSend("close");
        WaitForExit(what, 10000, WATCH_NOTHING);
    }
    SetDeviceSession(NULL, NULL, DeviceSettings());
    QuitPlayer();
}

/* The port dies in the middle of the fourth frame: the session's first three frames are posted,
   then nothing.  The program stays for com1_port_dies_answers, after run-e2e has measured its
   CPU time. */
static Session diesSession;
static void test_com1_port_dies(void)
{
    const char *what = "COM1 dies";
    static PlayerPost want[4 * MAX_SESSION_FRAMES + 1];
    if (!WriteSession("com1-dies", SESSION_KEYS, sizeof SESSION_KEYS / sizeof SESSION_KEYS[0], 12, &diesSession))
        return;
    DeviceSettings settings = {};
    settings.failAfter = diesSession.frames[2].endEdge + 40;
    SessionPosts(&diesSession, FramesReadBy(&diesSession, settings.failAfter), want);
    StartPlayer("com1-dies-player.log", "");
    SetDeviceSession(&diesSession, diesSession.deviceLog, settings);
    if (StartProgram("remote-control.exe", "")) {
        ok(WaitForDeviceLine(diesSession.deviceLog, "fail: ", 60000), what, "expected the port to fail within 60 s, got %s",
           FileExists(diesSession.deviceLog) ? "it working" : "no device log");
        Sleep(500);
        ok_posts(what, 0, ReadPosts(playerLog), want);
        DeviceRecord record;
        ReadDeviceLog(what, diesSession.deviceLog, settings.failAfter, &record);
    }
    SetDeviceSession(NULL, NULL, DeviceSettings());
}

/* After the CPU time was measured: no post came since the failure, and the program still answers
   remote-send 5 and remote-send close. */
static void test_com1_port_dies_answers(void)
{
    snprintf(playerLog, sizeof playerLog, "%s", PathIn(tmpDir, "com1-dies-player.log"));
    static PlayerPost want[4 * MAX_SESSION_FRAMES + 1];
    WriteSession("com1-dies", SESSION_KEYS, sizeof SESSION_KEYS / sizeof SESSION_KEYS[0], 12, &diesSession);
    SessionPosts(&diesSession, FramesReadBy(&diesSession, diesSession.frames[2].endEdge + 40), want);
    if (!FindProgram(15000))
        return;
    ok_posts("COM1 dead: nothing posted since", 0, ReadPosts(playerLog), want);
    CheckCommand("5", 5);
    ok(RemoteSend("close") == 0, "COM1 dead", "expected remote-send close to post, got: %s", remoteSendErrors);
    WaitForExit("COM1 dead: remote-send close", 10000, WATCH_NOTHING);
    QuitPlayer();
}

/* ir-monitor.exe on COM1 until Ctrl+C: its header at once (the device holds the first change
   until the header is out), the sign of life, a line for every frame, one summary and exit 0;
   then with --raw, whose capture run-e2e replays with the host tool (com1-monitor-raw.out
   against com1-monitor.frames). */
static void test_com1_monitor_live(void)
{
    Session session;
    char outPath[MAX_PATH], errPath[MAX_PATH], line[64];
    if (!WriteSession("com1-monitor", SESSION_KEYS, sizeof SESSION_KEYS / sizeof SESSION_KEYS[0], 13, &session))
        return;
    FILE *frames = fopen(PathIn(tmpDir, "com1-monitor.frames"), "wb");
    for (int f = 0; frames && f < session.frameCount; ++f)
        fprintf(frames, "%s\n", MonitorFrameLine(&session, f, line, sizeof line));
    if (frames)
        fclose(frames);
    static const struct { const char *arguments, *name, *what; } runs[] = {
        {"", "com1-monitor", "ir-monitor live"}, {"--raw", "com1-monitor-raw", "ir-monitor --raw live"}};
    for (const auto &run : runs) {
        char deviceLog[MAX_PATH];
        snprintf(deviceLog, sizeof deviceLog, "%s-device.log", PathIn(tmpDir, run.name));
        DeleteFileA(deviceLog);
        snprintf(outPath, MAX_PATH, "%s.out", PathIn(tmpDir, run.name));
        DeviceSettings settings = {};
        settings.holdEdge = 1;
        settings.holdFile = outPath;
        settings.holdText = "# counter ";
        settings.interruptAtEnd = true;
        SetDeviceSession(&session, deviceLog, settings);
        double start = NowMs();
        DWORD code = FinishMonitor(StartMonitor(run.arguments, run.name, outPath, errPath), 60000);
        Note("%s: exit code %lu after %.0f ms", run.what, (unsigned long)code, NowMs() - start);
        ok(code == 0, run.what, "expected exit code 0 after Ctrl+C, got %lu: %s", (unsigned long)code,
           ReadWholeFile(errPath));
        DeviceRecord record;
        ReadDeviceLog(run.what, deviceLog, session.edgeCount, &record);
        ok(record.held && !record.holdGaveUp && record.interrupted, run.what,
           "expected the first change held until the header was out and Ctrl+C at the end, got held %d, gave up %d, "
           "Ctrl+C %d", record.held, record.holdGaveUp, record.interrupted);
        if (!*run.arguments) {
            CheckMonitorOutput(run.what, outPath, &session, session.frameCount, true);
            CheckLineSettings(run.what, &record);
        }
    }
    SetDeviceSession(NULL, NULL, DeviceSettings());
}

/* ir-monitor.exe on a port that dies in the middle of the third frame: the first two frames,
   the summary, the reason and exit code 3. */
static void test_com1_monitor_port_dies(void)
{
    const char *what = "ir-monitor, COM1 dies";
    Session session;
    char outPath[MAX_PATH], errPath[MAX_PATH];
    if (!WriteSession("com1-monitor-dies", SESSION_KEYS, sizeof SESSION_KEYS / sizeof SESSION_KEYS[0], 14, &session))
        return;
    DeviceSettings settings = {};
    settings.failAfter = session.frames[1].endEdge + 30;
    SetDeviceSession(&session, session.deviceLog, settings);
    DWORD code = FinishMonitor(StartMonitor("", "com1-monitor-dies", outPath, errPath), 60000);
    const char *errors = ReadWholeFile(errPath);
    ok(code == 3 && strstr(errors, "ir-monitor: COM1: ") != NULL, what,
       "expected exit code 3 and the reason ('ir-monitor: COM1: ...'), got %lu and: %s", (unsigned long)code, errors);
    Note("%s: exit code %lu: %s", what, (unsigned long)code, errors);
    CheckMonitorOutput(what, outPath, &session, FramesReadBy(&session, settings.failAfter), true);
    DeviceRecord record;
    ReadDeviceLog(what, session.deviceLog, settings.failAfter, &record);
    SetDeviceSession(NULL, NULL, DeviceSettings());
}

/* The program holds COM1, its session held after the second frame: ir-monitor then says the port
   is in use with the system's reason and exits 3, and once the session goes on its later frames
   are posted as well. */
static void test_com1_monitor_while_program_holds(void)
{
    const char *what = "COM1 held by the program";
    Session session;
    char outPath[MAX_PATH], errPath[MAX_PATH], go[MAX_PATH];
    static PlayerPost before[4 * MAX_SESSION_FRAMES + 1], all[4 * MAX_SESSION_FRAMES + 1];
    if (!WriteSession("com1-held", SESSION_KEYS, sizeof SESSION_KEYS / sizeof SESSION_KEYS[0], 15, &session))
        return;
    snprintf(go, sizeof go, "%s", PathIn(tmpDir, "com1-held.go"));
    DeleteFileA(go);
    DeviceSettings settings = {};
    settings.holdEdge = session.frames[1].endEdge + 1;
    settings.holdFile = go;
    settings.holdText = "go";
    SessionPosts(&session, 2, before);
    SessionPosts(&session, session.frameCount, all);
    StartPlayer("com1-held-player.log", "");
    SetDeviceSession(&session, session.deviceLog, settings);
    if (StartProgram("remote-control.exe", "")) {
        ok_posts("COM1 held by the program: before ir-monitor", 0,
                 WaitForPosts(playerLog, CountPosts(before), 30000), before);
        char monitorLog[MAX_PATH];
        snprintf(monitorLog, sizeof monitorLog, "%s", PathIn(tmpDir, "com1-held-monitor-device.log"));
        SetDeviceSession(&session, monitorLog, DeviceSettings());
        DWORD code = FinishMonitor(StartMonitor("", "com1-held-monitor", outPath, errPath), 30000);
        const char *errors = ReadWholeFile(errPath);
        ok(code == 3 && strstr(errors, "COM1: cannot open the receiver port: ") && strstr(errors, "(error 5)"), what,
           "expected ir-monitor to exit 3 saying it cannot open the port (error 5), got %lu and: %s",
           (unsigned long)code, errors);
        Note("%s: ir-monitor: exit code %lu: %s", what, (unsigned long)code, errors);
        ok(!FileExists(monitorLog), what, "expected ir-monitor never to use the port, got its device log %s", monitorLog);
        FILE *file = fopen(go, "wb");
        if (file) {
            fputs("go\n", file);
            fclose(file);
        }
        ok(WaitForDeviceLine(session.deviceLog, "end: ", 60000), what, "expected the rest of the session played, got %s",
           "it unfinished");
        ok_posts(what, 0, WaitForPosts(playerLog, CountPosts(all), 5000), all);
        DeviceRecord record;
        ReadDeviceLog(what, session.deviceLog, session.edgeCount, &record);
        RemoteSend("close");
        WaitForExit(what, 10000, WATCH_NOTHING);
    }
    SetDeviceSession(NULL, NULL, DeviceSettings());
    QuitPlayer();
}

/* ir-monitor holds COM1 (its session held before the first change): the program started then
   gets no port, answers a command and stays, for run-e2e to measure its CPU time. */
static Session heldByMonitor;
static void test_com1_program_while_monitor_holds(void)
{
    const char *what = "COM1 held by ir-monitor";
    char outPath[MAX_PATH], errPath[MAX_PATH], go[MAX_PATH], programLog[MAX_PATH];
    if (!WriteSession("com1-monitor-holds", SESSION_KEYS, 3, 16, &heldByMonitor))
        return;
    snprintf(go, sizeof go, "%s", PathIn(tmpDir, "com1-monitor-holds.go"));
    snprintf(programLog, sizeof programLog, "%s", PathIn(tmpDir, "com1-monitor-holds-program-device.log"));
    DeleteFileA(go);
    DeleteFileA(programLog);
    DeviceSettings settings = {};
    settings.holdEdge = 1;
    settings.holdFile = go;
    settings.holdText = "go";
    settings.interruptAtEnd = true;
    SetDeviceSession(&heldByMonitor, heldByMonitor.deviceLog, settings);
    HANDLE monitor = StartMonitor("", "com1-monitor-holds", outPath, errPath);
    if (monitor)
        CloseHandle(monitor);
    if (!ok(WaitForDeviceLine(heldByMonitor.deviceLog, "session: ", 30000), what,
            "expected ir-monitor on the port within 30 s, got %s", ReadWholeFile(errPath)))
        return;
    StartPlayer("com1-monitor-holds-player.log", "");
    SetDeviceSession(&heldByMonitor, programLog, DeviceSettings());
    if (StartProgram("remote-control.exe", ""))
        CheckCommand("4", 4);
    SetDeviceSession(NULL, NULL, DeviceSettings());
}

/* After the CPU time was measured: the program answers again, never used the port, and ir-monitor,
   let go, plays its session to the end and exits 0 on Ctrl+C. */
static void test_com1_program_while_monitor_holds_answers(void)
{
    const char *what = "COM1 held by ir-monitor";
    char go[MAX_PATH], outPath[MAX_PATH];
    snprintf(playerLog, sizeof playerLog, "%s", PathIn(tmpDir, "com1-monitor-holds-player.log"));
    snprintf(go, sizeof go, "%s", PathIn(tmpDir, "com1-monitor-holds.go"));
    snprintf(outPath, sizeof outPath, "%s", PathIn(tmpDir, "com1-monitor-holds.out"));
    WriteSession("com1-monitor-holds", SESSION_KEYS, 3, 16, &heldByMonitor);
    if (!FindProgram(15000))
        return;
    CheckCommand("3", 3);
    static const unsigned commands[] = {4, 3};
    PlayerPost answered[4 * 2 + 1];
    PostsOf(commands, 2, answered);
    ok_posts(what, 0, ReadPosts(playerLog), answered);
    ok(!FileExists(PathIn(tmpDir, "com1-monitor-holds-program-device.log")), what,
       "expected the program never to use the port, got its device log");
    FILE *file = fopen(go, "wb");
    if (file) {
        fputs("go\n", file);
        fclose(file);
    }
    /* ir-monitor was started by the driver's previous run: its end shows in its output. */
    ok(WaitForDeviceLine(heldByMonitor.deviceLog, "interrupt: ", 60000) &&
           WaitForLogText(outPath, "\n# summary: ", 10000),
       what, "expected ir-monitor's session played to the end once let go, and its summary, got %s",
       ReadWholeFile(heldByMonitor.deviceLog));
    CheckMonitorOutput("ir-monitor, once let go", outPath, &heldByMonitor, heldByMonitor.frameCount, true);
    DeviceRecord record;
    ReadDeviceLog("ir-monitor, once let go", heldByMonitor.deviceLog, heldByMonitor.edgeCount, &record);
    RemoteSend("close");
    WaitForExit(what, 10000, WATCH_NOTHING);
    QuitPlayer();
}

struct Test {
    const char *name;
    void (*run)(void);
};
#define TEST(name) {#name, test_##name}

static const Test SUITE[] = {
    TEST(start_up), TEST(command_table), TEST(remote_send_arguments), TEST(tray_clicks_and_answer_no),
    TEST(blink), TEST(no_player), TEST(command_one_starts_the_player), TEST(answer_yes),
    TEST(remote_send_without_program), TEST(close), TEST(close_then_right_click), TEST(replay),
    TEST(release_zip), TEST(every_number_then_a_flood), TEST(hung_player), TEST(exit_while_frames_arrive),
};
static const Test EXTRAS[] = {
    TEST(com1_missing), TEST(com1_broken), TEST(log_off_refused), TEST(smoke), TEST(demo),
    TEST(find_program), TEST(sleep), TEST(latency), TEST(com1_session), TEST(com1_port_dies),
    TEST(com1_port_dies_answers), TEST(com1_monitor_live), TEST(com1_monitor_port_dies),
    TEST(com1_monitor_while_program_holds), TEST(com1_program_while_monitor_holds),
    TEST(com1_program_while_monitor_holds_answers),
};

/* Runs one test between a line with its name and one with its own counts and time, so that a
   run shows each test as it ends. */
static void Run(const Test *test)
{
    printf("test_%s\n", test->name);
    fflush(stdout);
    int passesBefore = passes, failuresBefore = failures;
    double started = NowMs();
    test->run();
    printf("test_%s: %d passed, %d failed (%.1f s)\n", test->name, passes - passesBefore, failures - failuresBefore,
           (NowMs() - started) / 1000);
    fflush(stdout);
}

static const Test *FindTest(const char *name)
{
    for (const Test &test : SUITE)
        if (strcmp(test.name, name) == 0)
            return &test;
    for (const Test &test : EXTRAS)
        if (strcmp(test.name, name) == 0)
            return &test;
    return NULL;
}

static void ToWindowsPath(char *path, const char *given)
{
    snprintf(path, MAX_PATH, "%s", given);
    for (; *path; ++path)
        if (*path == '/')
            *path = '\\';
}

int main(int argc, char **argv)
{
    if (argc < 4) {
        fprintf(stderr, "usage: e2e-driver BUILD_DIR TMP_DIR RECORDING [TEST...]\n");
        return 2;
    }
    ToWindowsPath(buildDir, argv[1]);
    ToWindowsPath(tmpDir, argv[2]);
    ToWindowsPath(recordingPath, argv[3]);
    if (getenv("E2E_TIME_SCALE") && atof(getenv("E2E_TIME_SCALE")) >= 1)
        timeScale = atof(getenv("E2E_TIME_SCALE"));
    for (int i = 4; i < argc; ++i)
        if (!FindTest(argv[i])) {
            fprintf(stderr, "e2e-driver: no test named %s\n", argv[i]);
            return 2;
        }
    if (argc == 4)
        for (const Test &test : SUITE)
            Run(&test);
    for (int i = 4; i < argc; ++i)
        Run(FindTest(argv[i]));
    if (program && ProgramRunning() && argc == 4)
        TerminateProcess(program, 1);
    printf("%d passed, %d failed\n", passes, failures);
    return failures ? 1 : 0;
}
