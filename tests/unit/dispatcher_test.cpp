/*
 * The dispatcher against the Win32 stand-in: for every command number, what is posted to which
 * player window and in what order, with and without the player; the close-or-start, log-off and
 * suspend actions (with the shutdown-privilege retry); the results of the two post
 * operations; and the numbers command_numbers.h gives remote-send as the acting ones.
 */
#include "../../commands/dispatcher.h"
#include "../../commands/command_numbers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "fake_win32.h"
#include "../support/command_table.h"

namespace {

const HWND kMain = fake::Window(1);
const HWND kPlaylist = fake::Window(2);
const uintptr_t kKernel32 = 0x400000;  // stand-in answers of GetModuleHandleA / LoadLibraryA
const uintptr_t kAdvapi32 = 0x500000;

struct Post {
    HWND window;
    unsigned message;
    WPARAM wParam;
    LPARAM lParam;
};

std::string Describe(const std::vector<Post> &posts)
{
    std::string all;
    for (const Post &p : posts) {
        char one[96];
        const char *w = p.window == kMain ? "main" : p.window == kPlaylist ? "PE" : "other";
        std::snprintf(one, sizeof one, "(%s 0x%X %lu 0x%lX)", w, p.message, (unsigned long)p.wParam,
                      (unsigned long)p.lParam);
        all += one;
    }
    return all.empty() ? "no posts" : all;
}

std::string RecordedPosts()
{
    std::vector<Post> posts;
    for (const fake::Call &c : fake::Named("PostMessageA"))
        posts.push_back({(HWND)c.Arg("window"), (unsigned)c.Arg("message"), c.Arg("wParam"), (LPARAM)c.Arg("lParam")});
    return Describe(posts);
}

Post Command(unsigned id) { return {kMain, WM_COMMAND, id, 0}; }
const Post kMainClick = {kMain, WM_LBUTTONDBLCLK, 0, PLAYER_CLICK_LPARAM};
const Post kPlaylistClick = {kPlaylist, WM_LBUTTONDBLCLK, 0, PLAYER_CLICK_LPARAM};

class Dispatcher : public ::testing::Test {
  protected:
    void SetUp() override { fake::Reset(); }
};

/* The posts of a row of tests/support/command_table.h, as the stand-in records them. */
std::vector<Post> TablePosts(const CommandRow &row)
{
    std::vector<Post> posts;
    for (const PlayerPost *p = row.posts; p->window; ++p)
        posts.push_back({p->window == PLAYER_MAIN ? kMain : kPlaylist, p->message, (WPARAM)p->wParam,
                         (LPARAM)p->lParam});
    return posts;
}

/* Every call but PostMessageA that a row's command makes, with and without the player: one
   lookup of the main window, one more of the playlist window for a command that posts to it,
   and what its action calls. */
std::string TableCalls(const CommandRow &row, bool withPlayer)
{
    switch (row.action) {
    case ACTION_SUSPEND:
        return "FindWindowA GetModuleHandleA GetProcAddress";
    case ACTION_LOG_OFF:
        return "FindWindowA ExitWindowsEx";
    case ACTION_CLOSE_OR_START:
        return withPlayer ? "FindWindowA" : "FindWindowA WinExec";
    case ACTION_POSTS:
        break;
    }
    for (const PlayerPost *p = row.posts; p->window; ++p)
        if (p->window == PLAYER_PLAYLIST)
            return "FindWindowA FindWindowA";
    return "FindWindowA";
}

/* Every number of the command table: the posts with both player windows present, and the other
   calls made with and without them (nothing may be posted without them). */
TEST_F(Dispatcher, EveryNumberPostsItsRowOfTheTable)
{
    for (const CommandRow &table : COMMAND_TABLE) {
        const struct {
            CommandNumber number;
            std::vector<Post> posts;
            std::string callsWithPlayer, callsWithoutPlayer;
        } row = {table.number, TablePosts(table), TableCalls(table, true), TableCalls(table, false)};
        fake::Reset();
        fake::Script("FindWindowA", {(intptr_t)kMain, (intptr_t)kPlaylist});
        DispatchCommand(row.number);
        EXPECT_EQ(Describe(row.posts), RecordedPosts()) << "command " << row.number << " with the player";
        EXPECT_EQ(row.callsWithPlayer, fake::NamesExcept({"PostMessageA"}))
            << "command " << row.number << " with the player";
        std::vector<fake::Call> lookups = fake::Named("FindWindowA");
        ASSERT_FALSE(lookups.empty()) << "command " << row.number;
        EXPECT_EQ("Winamp v1.x", lookups[0].text) << "command " << row.number << ": main window class";
        EXPECT_EQ(0u, lookups[0].Arg("title")) << "command " << row.number << ": the lookup names no title";

        fake::Reset();
        DispatchCommand(row.number);
        EXPECT_EQ(row.callsWithoutPlayer, fake::Names()) << "command " << row.number << " without the player";
        EXPECT_EQ(bool(ProgramActsOn(row.number)), table.action != ACTION_POSTS || table.posts[0].window != 0)
            << "command " << row.number << ": what command_numbers.h, which remote-send reads, says of it";
    }
    for (unsigned i = 0; i < ACTING_COMMAND_COUNT; i++) {
        const CommandRow *row = FindCommandRow(ActingCommand(i));
        EXPECT_TRUE(row != nullptr && (row->action != ACTION_POSTS || row->posts[0].window != 0))
            << "command_numbers.h has " << ActingCommand(i) << ", which the table has do nothing";
    }
}

/* 21594: command id, click on the main window, then the PE window looked up on its own just
   before its click; each missing window skips only its own posts, a failed post stops nothing. */
TEST_F(Dispatcher, CommandIdThenDoubleClicksInOrder)
{
    const struct {
        HWND main, playlist;
        BOOL postAnswer;
        std::vector<Post> posts;
        const char *order;
    } cases[] = {
        {kMain, kPlaylist, TRUE, {Command(40036), kMainClick, kPlaylistClick},
         "FindWindowA PostMessageA PostMessageA FindWindowA PostMessageA"},
        {kMain, kPlaylist, FALSE, {Command(40036), kMainClick, kPlaylistClick},
         "FindWindowA PostMessageA PostMessageA FindWindowA PostMessageA"},
        {kMain, NULL, TRUE, {Command(40036), kMainClick}, "FindWindowA PostMessageA PostMessageA FindWindowA"},
        {NULL, kPlaylist, TRUE, {kPlaylistClick}, "FindWindowA FindWindowA PostMessageA"},
        {NULL, NULL, TRUE, {}, "FindWindowA FindWindowA"},
    };
    for (const auto &c : cases) {
        fake::Reset();
        fake::Script("FindWindowA", {(intptr_t)c.main, (intptr_t)c.playlist});
        fake::Script("PostMessageA", {c.postAnswer, c.postAnswer, c.postAnswer});
        DispatchCommand(21594);
        std::string which = std::string("command 21594, main ") + (c.main ? "present" : "missing") +
                            ", PE " + (c.playlist ? "present" : "missing") +
                            (c.postAnswer ? "" : ", posts failing");
        EXPECT_EQ(Describe(c.posts), RecordedPosts()) << which;
        EXPECT_EQ(c.order, fake::Names()) << which;
        ASSERT_EQ(2u, fake::Named("FindWindowA").size()) << which;
        EXPECT_EQ("Winamp PE", fake::Named("FindWindowA")[1].text) << which;
        EXPECT_EQ(0u, fake::Named("FindWindowA")[1].Arg("title")) << which << ": the PE lookup names no title";
    }
}

TEST_F(Dispatcher, CommandOneStartsThePlayerOnlyWhenItIsNotRunning)
{
    DispatchCommand(1);
    std::vector<fake::Call> starts = fake::Named("WinExec");
    ASSERT_EQ(1u, starts.size()) << "command 1 without the player: " << fake::Names();
    EXPECT_EQ("C:\\PROGRA~1\\WINAMP\\winamp.exe", starts[0].text);
    EXPECT_EQ(1u, starts[0].Arg("show")) << "command 1: show command";

    fake::Reset();
    fake::Script("FindWindowA", {(intptr_t)kMain});
    fake::Script("PostMessageA", {FALSE});
    DispatchCommand(1);
    EXPECT_EQ("FindWindowA PostMessageA", fake::Names()) << "command 1 with the player, failed close";
}

TEST_F(Dispatcher, CommandFourteenLogsOff)
{
    DispatchCommand(14);
    std::vector<fake::Call> exits = fake::Named("ExitWindowsEx");
    ASSERT_EQ(1u, exits.size());
    EXPECT_EQ(0u, exits[0].Arg("flags")) << "command 14: flags must be log-off, not shutdown";
    EXPECT_EQ(0xFFFFFFFFu, exits[0].Arg("reason")) << "command 14: reserved word";
}

/* Test-side SetSystemPowerState and ADVAPI32 token calls, handed out through GetProcAddress. */
std::deque<BOOL> powerAnswers;  // one per call; a FALSE sets the stand-in's last error
DWORD powerError;
BOOL openAnswer, lookupAnswer, adjustAnswer;
DWORD adjustError;  // the last error a successful AdjustTokenPrivileges leaves
const uintptr_t kToken = 0x7700;
TOKEN_PRIVILEGES adjusted;

void Note(const char *name, std::initializer_list<fake::Argument> args, const char *text = "")
{
    fake::calls.push_back({name, args, text});
}

BOOL TestSetSystemPowerState(BOOL suspend, BOOL force)
{
    Note("SetSystemPowerState", {{"suspend", (uintptr_t)suspend}, {"force", (uintptr_t)force}});
    BOOL answer = powerAnswers.empty() ? TRUE : powerAnswers.front();
    if (!powerAnswers.empty())
        powerAnswers.pop_front();
    if (!answer)
        fake::lastError = powerError;
    return answer;
}

BOOL TestOpenProcessToken(HANDLE process, DWORD access, HANDLE *token)
{
    Note("OpenProcessToken", {{"process", (uintptr_t)process}, {"access", access}});
    if (openAnswer)
        *token = (HANDLE)kToken;
    return openAnswer;
}

BOOL TestLookupPrivilegeValueA(LPCSTR system, LPCSTR name, LUID *luid)
{
    Note("LookupPrivilegeValueA", {{"system", (uintptr_t)system}}, name);
    *luid = {19, 0};
    return lookupAnswer;
}

BOOL TestAdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES *newState, DWORD length,
                               TOKEN_PRIVILEGES *previous, DWORD *returned)
{
    Note("AdjustTokenPrivileges", {{"token", (uintptr_t)token}, {"disableAll", (uintptr_t)disableAll},
                                   {"length", length}, {"previous", (uintptr_t)previous},
                                   {"returned", (uintptr_t)returned}});
    adjusted = *newState;
    if (adjustAnswer)
        fake::lastError = adjustError;
    return adjustAnswer;
}

template <typename F>
FARPROC Export(F function)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)(void)>(function));
}

TEST_F(Dispatcher, SuspendAsksOnceMoreAfterEnablingTheShutdownPrivilege)
{
    const std::string enable =
        "LoadLibraryA OpenProcessToken LookupPrivilegeValueA AdjustTokenPrivileges CloseHandle FreeLibrary";
    const struct {
        const char *name;
        const char *missing;  // an export left out, or ""
        bool advapiLoads;
        std::deque<BOOL> powerAnswers;
        DWORD powerError;
        BOOL open, lookup, adjust;
        DWORD adjustError;
        std::string calls;  // every call but the window and export lookups
    } cases[] = {
        {"no SetSystemPowerState", "SetSystemPowerState", true, {FALSE}, 1314, 1, 1, 1, 0, ""},
        {"granted at once", "", true, {TRUE}, 0, 1, 1, 1, 0, "SetSystemPowerState"},
        {"refused otherwise", "", true, {FALSE}, 50, 1, 1, 1, 0, "SetSystemPowerState"},
        {"privilege retry", "", true, {FALSE, TRUE}, 1314, 1, 1, 1, 0,
         "SetSystemPowerState " + enable + " SetSystemPowerState"},
        {"retry refused too", "", true, {FALSE, FALSE}, 1314, 1, 1, 1, 0,
         "SetSystemPowerState " + enable + " SetSystemPowerState"},
        {"privilege not held by the token", "", true, {FALSE, TRUE}, 1314, 1, 1, 1, ERROR_NOT_ALL_ASSIGNED,
         "SetSystemPowerState " + enable},
        {"no advapi32", "", false, {FALSE}, 1314, 1, 1, 1, 0, "SetSystemPowerState LoadLibraryA"},
        {"no OpenProcessToken", "OpenProcessToken", true, {FALSE}, 1314, 1, 1, 1, 0,
         "SetSystemPowerState LoadLibraryA FreeLibrary"},
        {"no LookupPrivilegeValueA", "LookupPrivilegeValueA", true, {FALSE}, 1314, 1, 1, 1, 0,
         "SetSystemPowerState LoadLibraryA FreeLibrary"},
        {"no AdjustTokenPrivileges", "AdjustTokenPrivileges", true, {FALSE}, 1314, 1, 1, 1, 0,
         "SetSystemPowerState LoadLibraryA FreeLibrary"},
        {"token refused", "", true, {FALSE}, 1314, 0, 1, 1, 0,
         "SetSystemPowerState LoadLibraryA OpenProcessToken FreeLibrary"},
        {"lookup failed", "", true, {FALSE}, 1314, 1, 0, 1, 0,
         "SetSystemPowerState LoadLibraryA OpenProcessToken LookupPrivilegeValueA CloseHandle FreeLibrary"},
        {"adjust failed", "", true, {FALSE}, 1314, 1, 1, 0, 0, "SetSystemPowerState " + enable},
    };
    for (const auto &c : cases) {
        fake::Reset();
        const std::pair<const char *, FARPROC> exports[] = {
            {"SetSystemPowerState", Export(TestSetSystemPowerState)},
            {"OpenProcessToken", Export(TestOpenProcessToken)},
            {"LookupPrivilegeValueA", Export(TestLookupPrivilegeValueA)},
            {"AdjustTokenPrivileges", Export(TestAdjustTokenPrivileges)},
        };
        for (const auto &e : exports)
            if (std::string(e.first) != c.missing)
                fake::exports[e.first] = e.second;
        if (!c.advapiLoads)
            fake::Script("LoadLibraryA", {0});
        powerAnswers = c.powerAnswers;
        powerError = c.powerError;
        openAnswer = c.open;
        lookupAnswer = c.lookup;
        adjustAnswer = c.adjust;
        adjustError = c.adjustError;
        adjusted = {};

        DispatchCommand(15);
        std::string which = std::string("command 15, ") + c.name;
        EXPECT_EQ(c.calls, fake::NamesExcept({"FindWindowA", "GetModuleHandleA", "GetProcAddress"})) << which;
        for (const fake::Call &call : fake::calls) {
            const std::string &n = call.name;
            if (n == "SetSystemPowerState") {
                EXPECT_TRUE(call.Arg("suspend") == TRUE && call.Arg("force") == FALSE)
                    << which << ": suspend, not forced";
            } else if (n == "GetModuleHandleA") {
                EXPECT_EQ("kernel32.dll", call.text) << which;
            } else if (n == "LoadLibraryA") {
                EXPECT_EQ("advapi32.dll", call.text) << which;
            } else if (n == "GetProcAddress") {
                EXPECT_EQ(call.text == "SetSystemPowerState" ? kKernel32 : kAdvapi32, call.Arg("module"))
                    << which << ": module of " << call.text;
            } else if (n == "OpenProcessToken") {
                EXPECT_TRUE(call.Arg("process") == (uintptr_t)GetCurrentProcess() &&
                            call.Arg("access") == (TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY))
                    << which << ": own process token, adjust and query access";
            } else if (n == "LookupPrivilegeValueA") {
                EXPECT_TRUE(call.Arg("system") == 0 && call.text == "SeShutdownPrivilege") << which;
            } else if (n == "AdjustTokenPrivileges") {
                EXPECT_TRUE(call.Arg("token") == kToken && call.Arg("disableAll") == FALSE &&
                            call.Arg("length") == 0 && call.Arg("previous") == 0 && call.Arg("returned") == 0)
                    << which << ": adjusts the opened token, no previous state";
                EXPECT_TRUE(adjusted.PrivilegeCount == 1 && adjusted.Privileges[0].Luid.LowPart == 19 &&
                            adjusted.Privileges[0].Attributes == SE_PRIVILEGE_ENABLED)
                    << which << ": enables the looked-up privilege";
            } else if (n == "CloseHandle") {
                EXPECT_EQ(kToken, call.Arg("object")) << which << ": closes the token";
            } else if (n == "FreeLibrary") {
                EXPECT_EQ(kAdvapi32, call.Arg("module")) << which << ": frees the advapi32 it loaded";
            }
        }
    }
}

/* Both post operations: 0 only when the post was made; a null window posts nothing. */
TEST_F(Dispatcher, PostOperationsReportWhetherThePostWasMade)
{
    const struct {
        bool command;  // PostPlayerCommand, else PostPlayerMessage
        HWND window;
        BOOL postAnswer;
        int result;
        std::vector<Post> posts;
    } cases[] = {
        {true, kMain, TRUE, 0, {Command(40045)}},
        {true, kMain, FALSE, 1, {Command(40045)}},
        {true, NULL, TRUE, 1, {}},
        {false, kPlaylist, TRUE, 0, {{kPlaylist, WM_USER, 127, 122}}},
        {false, kPlaylist, FALSE, 1, {{kPlaylist, WM_USER, 127, 122}}},
        {false, NULL, TRUE, 1, {}},
    };
    for (const auto &c : cases) {
        fake::Reset();
        fake::Script("PostMessageA", {c.postAnswer});
        int result = c.command ? PostPlayerCommand(c.window, 40045) : PostPlayerMessage(c.window, WM_USER, 127, 122);
        std::string which = std::string(c.command ? "PostPlayerCommand" : "PostPlayerMessage") +
                            (c.window ? "" : " to no window") + (c.postAnswer ? "" : ", post failing");
        EXPECT_EQ(c.result, result) << which;
        EXPECT_EQ(Describe(c.posts), RecordedPosts()) << which;
    }
}

}  // namespace
