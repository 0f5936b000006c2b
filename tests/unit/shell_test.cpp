/*
 * The window thread's handlers through the Win32 stand-in: start-up order, the tray record,
 * the blink over a burst of commands, the exit question and the exit sequence, and the loop's
 * ending on an error.
 */
#include <gtest/gtest.h>

#include "fake_win32.h"

#include "../../shell/shell.h"

namespace {

const HWND WINDOW = fake::Window(0);
const uintptr_t IDLE_ICON = 0x600 + ICON_IDLE;      /* the stand-in's LoadIconA answer */
const uintptr_t ACTIVE_ICON = 0x600 + ICON_ACTIVE;
const uintptr_t RECEIVER_THREAD = 0x200;

/* Only the calls of the window side; the dispatcher's lookups are tested on their own. */
std::string ShellCalls() { return fake::NamesExcept({"FindWindowA", "GetModuleHandleA"}); }

std::vector<uintptr_t> TrayPictures()
{
    std::vector<uintptr_t> pictures;
    for (const fake::Call &c : fake::Named("Shell_NotifyIconA"))
        if (c.Arg("message") == NIM_MODIFY)
            pictures.push_back(c.Arg("icon"));
    return pictures;
}

class Shell : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake::Reset();
        OnCreate(WINDOW);
    }
    void TearDown() override
    {
        OnBlinkTimer(WINDOW, BLINK_TIMER_ID);  /* idle again for the next test */
        ExitProgram();                         /* and no receiver left behind */
    }
};

TEST_F(Shell, CreationLoadsIconsStartsReceiverThenAddsTheIcon)
{
    ASSERT_EQ(ShellCalls(), "LoadIconA LoadIconA CreateThread SetThreadPriority lstrcpyA Shell_NotifyIconA");
    auto icons = fake::Named("LoadIconA");
    EXPECT_EQ(icons[0].Arg("instance"), 0x400000u) << "from the program's own module";
    EXPECT_EQ(icons[0].Arg("name"), (uintptr_t)ICON_IDLE);
    EXPECT_EQ(icons[1].Arg("name"), (uintptr_t)ICON_ACTIVE);
    EXPECT_EQ(fake::Named("CreateThread")[0].Arg("parameter"), reinterpret_cast<uintptr_t>(WINDOW));

    const fake::Call add = fake::Named("Shell_NotifyIconA")[0];
    EXPECT_EQ(add.Arg("message"), (uintptr_t)NIM_ADD);
    EXPECT_EQ(add.Arg("window"), reinterpret_cast<uintptr_t>(WINDOW));
    EXPECT_EQ(add.Arg("id"), 0u) << "icon id";
    EXPECT_EQ(add.Arg("flags"), 7u) << "message, icon and tip";
    EXPECT_EQ(add.Arg("callbackMessage"), (uintptr_t)WM_TRAY_NOTIFY);
    EXPECT_EQ(add.Arg("icon"), IDLE_ICON);
    EXPECT_EQ(add.Arg("size"), sizeof(void *) == 4 ? 88u : 104u) << "the original, smallest record";
    EXPECT_EQ(add.text, PROGRAM_TITLE);
}

TEST_F(Shell, ABurstLightsTheIconOnceAndEachCommandRestartsTheTimer)
{
    fake::calls.clear();
    for (CommandNumber n : {2u, 3u, 21618u})
        OnRemoteCommand(WINDOW, n);
    EXPECT_EQ(TrayPictures(), std::vector<uintptr_t>{ACTIVE_ICON}) << "one change to active for the burst";
    auto timers = fake::Named("SetTimer");
    ASSERT_EQ(timers.size(), 3u) << "each command restarts the blink timer";
    for (const fake::Call &t : timers) {
        EXPECT_EQ(t.Arg("window"), reinterpret_cast<uintptr_t>(WINDOW));
        EXPECT_EQ(t.Arg("id"), (uintptr_t)BLINK_TIMER_ID);
        EXPECT_EQ(t.Arg("milliseconds"), 50u);
    }
    ASSERT_FALSE(fake::Named("Shell_NotifyIconA").empty()) << "the picture changed";
    EXPECT_EQ(fake::Named("Shell_NotifyIconA")[0].Arg("flags"), (uintptr_t)NIF_ICON) << "after the add only the picture changes";
    EXPECT_EQ(fake::Named("FindWindowA").size(), 3u) << "every command reaches the dispatcher";

    OnBlinkTimer(WINDOW, BLINK_TIMER_ID);
    EXPECT_EQ(TrayPictures(), (std::vector<uintptr_t>{ACTIVE_ICON, IDLE_ICON})) << "one change back when the timer fires";
    auto kills = fake::Named("KillTimer");
    ASSERT_EQ(kills.size(), 1u);
    EXPECT_EQ(kills[0].Arg("id"), (uintptr_t)BLINK_TIMER_ID);

    OnRemoteCommand(WINDOW, 4);
    EXPECT_EQ(TrayPictures(), (std::vector<uintptr_t>{ACTIVE_ICON, IDLE_ICON, ACTIVE_ICON})) << "the next command lights it again";
}

TEST_F(Shell, OnlyReleasingTheRightButtonAsks)
{
    fake::calls.clear();
    for (UINT mouse : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_RBUTTONDBLCLK, 0x200})
        OnTrayNotify(mouse);
    EXPECT_EQ(fake::Names(), "") << "left clicks, double clicks and moves ask nothing";

    OnTrayNotify(WM_RBUTTONUP);  /* the stand-in answers No */
    ASSERT_EQ(fake::Names(), "MessageBoxA") << "No changes nothing";
    const fake::Call &box = fake::calls[0];
    EXPECT_EQ(box.Arg("owner"), 0u) << "no owner window";
    EXPECT_EQ(box.Arg("style"), 0x00050034u) << "Yes/No, exclamation, foreground, topmost";
    EXPECT_EQ(box.text, std::string("Do you really want to exit?|") + PROGRAM_TITLE);
}

TEST_F(Shell, YesStopsTheReceiverRemovesTheIconAndQuits)
{
    fake::calls.clear();
    fake::Script("MessageBoxA", {IDYES});
    OnTrayNotify(WM_RBUTTONUP);
    ASSERT_EQ(fake::Names(),
              "MessageBoxA TerminateThread WaitForSingleObject CloseHandle Shell_NotifyIconA PostQuitMessage");
    EXPECT_EQ(fake::Named("TerminateThread")[0].Arg("thread"), RECEIVER_THREAD);
    EXPECT_EQ(fake::Named("Shell_NotifyIconA")[0].Arg("message"), (uintptr_t)NIM_DELETE);
    EXPECT_EQ(fake::Named("PostQuitMessage")[0].Arg("exitCode"), 0u) << "exit code 0";
}

/* The exit finishes in order even when the receiver thread never ends. */
TEST_F(Shell, ExitGoesOnWhenTheReceiverThreadNeverEnds)
{
    fake::calls.clear();
    fake::Script("WaitForSingleObject", {WAIT_TIMEOUT});
    MainWindowProc(WINDOW, WM_CLOSE, 0, 0);
    EXPECT_EQ(fake::Names(), "TerminateThread WaitForSingleObject Shell_NotifyIconA PostQuitMessage");
}

/* Whatever is queued behind WM_CLOSE (or behind a Yes) finds the exit begun: no blink, no
   dispatch, no question, no change to the removed icon, no second exit. */
TEST(ShellExit, NothingQueuedBehindTheExitActs)
{
    const struct { const char *name; UINT message; WPARAM wParam; LPARAM lParam; const char *calls; } queued[] = {
        {"a command", WM_REMOTE_COMMAND, 2, 0, ""},
        {"a right-button release on the icon", WM_TRAY_NOTIFY, 0, WM_RBUTTONUP, ""},
        {"the blink timer", WM_TIMER, BLINK_TIMER_ID, 0, "KillTimer"},
        {"a second WM_CLOSE", WM_CLOSE, 0, 0, ""},
    };
    for (const auto &q : queued) {
        fake::Reset();
        OnCreate(WINDOW);
        OnRemoteCommand(WINDOW, 0);  /* the icon is lit, the blink timer running */
        MainWindowProc(WINDOW, WM_CLOSE, 0, 0);
        fake::calls.clear();
        EXPECT_EQ(MainWindowProc(WINDOW, q.message, q.wParam, q.lParam), 0) << q.name;
        EXPECT_EQ(fake::Names(), q.calls) << q.name << " after WM_CLOSE";
    }
}

TEST_F(Shell, WindowProcedureRoutesTheFiveMessages)
{
    fake::calls.clear();
    EXPECT_EQ(MainWindowProc(WINDOW, WM_REMOTE_COMMAND, 0xFFFFFFFFu, 0), 0);
    EXPECT_EQ(fake::Named("SetTimer").size(), 1u) << "any number is a command";
    EXPECT_EQ(MainWindowProc(WINDOW, WM_TIMER, BLINK_TIMER_ID, 0), 0);
    EXPECT_EQ(fake::Named("KillTimer").size(), 1u);
    EXPECT_EQ(MainWindowProc(WINDOW, WM_TRAY_NOTIFY, 0, WM_RBUTTONUP), 0);
    EXPECT_EQ(fake::Named("MessageBoxA").size(), 1u) << "the mouse message travels in lParam";

    fake::calls.clear();
    EXPECT_EQ(MainWindowProc(WINDOW, 0x0402, 7, 9), 0x77) << "others get the default handler's result";
    ASSERT_EQ(fake::Names(), "DefWindowProcA");
    EXPECT_EQ(fake::calls[0].Arg("message"), 0x402u);
    EXPECT_EQ(fake::calls[0].Arg("wParam"), 7u);
    EXPECT_EQ(fake::calls[0].Arg("lParam"), 9u);

    fake::calls.clear();
    EXPECT_EQ(MainWindowProc(WINDOW, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(fake::Names(), "TerminateThread WaitForSingleObject CloseHandle Shell_NotifyIconA PostQuitMessage")
        << "WM_CLOSE exits without asking and without destroying the window";
}

TEST(StartUp, PrioritiesThenClassThenWindowThenLoop)
{
    fake::Reset();
    MSG command = {};
    command.message = WM_REMOTE_COMMAND;
    MSG quit = {};
    quit.message = WM_QUIT;
    fake::messageQueue = {command, command, quit};
    EXPECT_EQ(RunProgram(), 0);
    ASSERT_EQ(fake::NamesExcept({"GetModuleHandleA", "LoadIconA", "LoadCursorA", "GetStockObject"}),
              "SetPriorityClass SetThreadPriority RegisterClassA CreateWindowExA GetMessageA DispatchMessageA "
              "GetMessageA DispatchMessageA GetMessageA");
    EXPECT_EQ(fake::Named("SetPriorityClass")[0].Arg("priorityClass"), (uintptr_t)REALTIME_PRIORITY_CLASS);
    EXPECT_EQ(fake::Named("SetThreadPriority")[0].Arg("priority"), (uintptr_t)THREAD_PRIORITY_NORMAL);
    const fake::Call registered = fake::Named("RegisterClassA")[0];
    EXPECT_EQ(registered.text, PROGRAM_TITLE);
    EXPECT_EQ(registered.Arg("style"), 0u) << "class style";
    EXPECT_EQ(registered.Arg("windowProc"), reinterpret_cast<uintptr_t>(&MainWindowProc));
    const fake::Call created = fake::Named("CreateWindowExA")[0];
    EXPECT_EQ(created.text, std::string(PROGRAM_TITLE) + "|" + PROGRAM_TITLE);
    EXPECT_EQ(created.Arg("style"), (uintptr_t)WS_POPUPWINDOW) << "hidden: no WS_VISIBLE";
    EXPECT_EQ(created.Arg("width"), 10u);
    EXPECT_EQ(created.Arg("height"), 10u);
}

TEST(StartUp, LoopEndsOnAnErrorInsteadOfSpinning)
{
    fake::Reset();
    OnCreate(WINDOW);  /* the loop runs only once the window exists */
    fake::Script("GetMessageA", {-1, -1, -1});
    EXPECT_EQ(RunMessageLoop(), 1);
    EXPECT_EQ(fake::Named("GetMessageA").size(), 1u);
    EXPECT_EQ(fake::Named("PostQuitMessage").size(), 1u) << "the exit sequence ran";
    EXPECT_EQ(fake::Named("DispatchMessageA").size(), 0u);
}

TEST(StartUp, NoWindowMeansNoLoop)
{
    fake::Reset();
    fake::Script("CreateWindowExA", {0});
    EXPECT_EQ(RunProgram(), 1);
    EXPECT_EQ(fake::Named("GetMessageA").size(), 0u);
}

TEST(StartUp, TheProgramsExitCodeReachesExitProcess)
{
    const struct { const char *name; intptr_t window; WPARAM quitCode; int exitCode; } cases[] = {
        {"quit with 0", 1, 0, 0},
        {"quit with 7", 1, 7, 7},
        {"no window", 0, 0, 1},
    };
    for (const auto &c : cases) {
        fake::Reset();
        fake::commandLine = "\"C:\\Program Files\\remote-control.exe\"";
        if (c.window == 0)
            fake::Script("CreateWindowExA", {0});
        MSG quit = {};
        quit.message = WM_QUIT;
        quit.wParam = c.quitCode;
        fake::messageQueue = {quit};
        EXPECT_EXIT(ProgramEntry(), ::testing::ExitedWithCode(c.exitCode), "") << c.name;
    }
}

}  // namespace
