/*
 * The receiver thread and its table: which frames become which posts, and the thread's start
 * and stop through the Win32 stand-in.
 */
#include <gtest/gtest.h>

#include "fake_win32.h"
#include "replay_support.h"

#include "../../receiver/code_table.h"
#include "../../receiver/replay_line.h"

namespace {

struct Post {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Post &o) const
    {
        return window == o.window && message == o.message && wParam == o.wParam && lParam == o.lParam;
    }
};

std::ostream &operator<<(std::ostream &out, const Post &p)
{
    return out << "(" << p.window << ", 0x" << std::hex << p.message << std::dec << ", " << p.wParam << ", " << p.lParam << ")";
}

std::vector<Post> Posts()
{
    std::vector<Post> posts;
    for (const fake::Call &c : fake::Named("PostMessageA"))
        posts.push_back({reinterpret_cast<HWND>(c.Arg("window")), static_cast<UINT>(c.Arg("message")), c.Arg("wParam"),
                         static_cast<LPARAM>(c.Arg("lParam"))});
    return posts;
}

/* Runs the receiver thread's body on this thread over a recording, until the recording ends. */
void RunReceiverOver(const std::string &recording, HWND window)
{
    ASSERT_EQ(LoadRecordingText(recording), "");
    SelectReceiverLine(&ReplayReceiverLine);
    EXPECT_THROW(ReceiverThread(window), RecordingEnded);
    SelectReceiverLine(&SerialReceiverLine);
    CloseReplayRecording();
}

TEST(ReceiverThread, PostsEveryMatchingEntryForEachFrameAndNothingElse)
{
    fake::Reset();
    const HWND window = fake::Window(1);
    IrTiming timing;
    timing.markStretchUs = 100;
    timing.jitterUs = 15;
    const std::vector<uint64_t> frames = {
        CodeTable[3], CodeTable[3],   /* a held key repeats */
        CodeTable[12],                /* the code of entries 9 and 12 */
        0x0000800899999999ull,        /* a code in no entry */
        CodeTable[14],                /* all 49 gaps short: noise, never a log-off */
        CodeTable[0],                 /* 48 zero bits and a normal pause */
        CodeTable[15],
    };
    RunReceiverOver(ToRecording(EncodeFrames(frames, timing, 3), ""), window);

    const UINT C = WM_REMOTE_COMMAND;
    const std::vector<Post> expected = {
        {window, C, 3, 0}, {window, C, 3, 0}, {window, C, 9, 0}, {window, C, 12, 0}, {window, C, 0, 0}, {window, C, 15, 0},
    };
    EXPECT_EQ(Posts(), expected);
}

TEST(ReceiverThread, TableMatchesOnlyWholeCodes)
{
    CommandNumber commands[CODE_TABLE_SIZE];
    const struct { uint64_t code; std::vector<CommandNumber> expected; } cases[] = {
        {CodeTable[9], {9, 12}},
        {CodeTable[1], {1}},
        {1, {0}},
        {0, {}},
        {CodeTable[1] | (1ull << 49), {}},  /* bits above 48 must match too */
        {CodeTable[1] ^ 1, {}},             /* a short closing pause */
    };
    for (const auto &c : cases) {
        int found = FindCommands(c.code, commands);
        EXPECT_EQ(std::vector<CommandNumber>(commands, commands + found), c.expected) << "code 0x" << std::hex << c.code;
    }
}

TEST(ReceiverStartStop, OneThreadAtTimeCriticalPriorityStoppedAndWaitedFor)
{
    fake::Reset();
    const HWND window = fake::Window(1);
    StartReceiver(window);
    StartReceiver(window);
    ASSERT_EQ(fake::Names(), "CreateThread SetThreadPriority") << "a second start does nothing";
    const fake::Call &create = fake::calls[0];
    EXPECT_EQ(create.Arg("parameter"), reinterpret_cast<uintptr_t>(window)) << "the thread is given the window";
    EXPECT_EQ(create.Arg("flags"), 0u) << "started at once";
    EXPECT_NE(create.Arg("id"), 0u) << "a place for the thread id: Windows 95, 98 and Me refuse none";
    EXPECT_EQ(fake::calls[1].Arg("thread"), 0x200u) << "priority set on the new thread, which the stand-in created";
    EXPECT_EQ(fake::calls[1].Arg("priority"), (uintptr_t)THREAD_PRIORITY_TIME_CRITICAL);
    StopReceiver();
}

/* The stop waits a bounded time; a thread stuck in a driver's wait is left to the end of the
   process, its handle unclosed, and the next start still finds no thread stored. */
TEST(ReceiverStartStop, StopWaitsABoundedTimeAndClosesOnlyAnEndedThread)
{
    const struct { const char *name; DWORD waitAnswer; const char *calls; } cases[] = {
        {"thread ends", WAIT_OBJECT_0, "TerminateThread WaitForSingleObject CloseHandle"},
        {"thread never ends", WAIT_TIMEOUT, "TerminateThread WaitForSingleObject"},
    };
    for (const auto &c : cases) {
        fake::Reset();
        StartReceiver(fake::Window(1));
        fake::calls.clear();
        fake::Script("WaitForSingleObject", {(intptr_t)c.waitAnswer});
        StopReceiver();
        EXPECT_EQ(fake::Names(), c.calls) << c.name;
        for (const fake::Call &call : fake::calls) {
            const char *handle = call.name == "TerminateThread" ? "thread" : "object";
            EXPECT_EQ(call.Arg(handle), 0x200u) << c.name << ": " << call.name;
        }
        std::vector<fake::Call> waits = fake::Named("WaitForSingleObject");
        ASSERT_EQ(waits.size(), 1u) << c.name;
        EXPECT_EQ(waits[0].Arg("milliseconds"), 2000u) << c.name << ": about 2 s, not INFINITE";

        fake::calls.clear();
        StopReceiver();
        EXPECT_EQ(fake::Names(), "") << c.name << ": with no thread, a stop touches nothing";
        StartReceiver(fake::Window(1));
        EXPECT_EQ(fake::Names(), "CreateThread SetThreadPriority") << c.name << ": the handle was cleared";
        StopReceiver();
    }
}

}  // namespace
