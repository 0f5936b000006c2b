/*
 * The serial line through the Win32 stand-in: the open sequence and the DCB it leaves, the
 * carrier-detect read, and the rule that a failing port parks the thread instead of spinning.
 */
#include <gtest/gtest.h>

#include <cstring>

#include "fake_win32.h"

#include "../../receiver/receiver_line.h"

namespace {

DWORD FlagsWord(const DCB &dcb)
{
    DWORD word;
    std::memcpy(&word, reinterpret_cast<const char *>(&dcb) + 8, sizeof word);
    return word;
}

void SetFlagsWord(DCB &dcb, DWORD word) { std::memcpy(reinterpret_cast<char *>(&dcb) + 8, &word, sizeof word); }

class SerialLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake::Reset();
        SetFlagsWord(fake::commState, 0xFFFFFFFFu);  /* every flag set before we start */
        fake::commState.BaudRate = 115200;
        fake::commState.ByteSize = 7;
        fake::commState.Parity = 2;
        fake::commState.StopBits = 2;
        fake::commState.XonLim = 1234;
    }
};

TEST_F(SerialLine, OpensCom1ExclusivelyThenConfiguresThenRaisesRts)
{
    SerialReceiverLine.openLine();

    ASSERT_EQ(fake::Names(), "CreateFileA GetCommState SetCommState SetCommMask GetCommState SetCommState");
    const fake::Call &open = fake::calls[0];
    EXPECT_EQ(open.text, "\\\\.\\COM1");
    EXPECT_EQ(open.Arg("access"), GENERIC_READ | GENERIC_WRITE);
    EXPECT_EQ(open.Arg("share"), 0u) << "no sharing";
    EXPECT_EQ(open.Arg("security"), 0u) << "no security attributes";
    EXPECT_EQ(open.Arg("disposition"), (uintptr_t)OPEN_EXISTING);
    EXPECT_EQ(open.Arg("flags"), (uintptr_t)FILE_ATTRIBUTE_NORMAL) << "synchronous, not overlapped";
    EXPECT_EQ(open.Arg("templateFile"), 0u) << "no template";
    EXPECT_EQ(fake::Named("SetCommMask")[0].Arg("mask"), (uintptr_t)EV_RLSD) << "carrier-detect changes only";
    for (const fake::Call &c : fake::calls) {
        if (c.name != "CreateFileA") {
            EXPECT_EQ(c.Arg("file"), 0x100u) << c.name << " uses the port handle";
        }
    }

    EXPECT_EQ(fake::commState.BaudRate, 2400u);
    EXPECT_EQ(fake::commState.ByteSize, 8);
    EXPECT_EQ(fake::commState.Parity, NOPARITY);
    EXPECT_EQ(fake::commState.StopBits, ONESTOPBIT);
    EXPECT_EQ(fake::commState.XonLim, 1234) << "other fields stay as they were";
    EXPECT_EQ(FlagsWord(fake::commState), 0xFFFFDFCFu) << "DTR off (bits 4-5 clear), RTS on (bit 12 set, 13 clear)";
}

TEST_F(SerialLine, FirstStepLeavesBothOutputsOff)
{
    OpenReceiverPort(1);
    EXPECT_EQ(FlagsWord(fake::commState), 0xFFFFCFCFu);
    RaiseRts();
    EXPECT_EQ(FlagsWord(fake::commState), 0xFFFFDFCFu);
}

TEST_F(SerialLine, PortNumberSelectsTheDevice)
{
    const struct { int number; const char *name; } cases[] = {{0, "\\\\.\\COM0"}, {1, "\\\\.\\COM1"}, {9, "\\\\.\\COM9"}};
    for (const auto &c : cases) {
        fake::Reset();
        OpenReceiverPort(c.number);
        ASSERT_FALSE(fake::calls.empty()) << "port " << c.number;
        EXPECT_EQ(fake::calls[0].text, c.name) << "port " << c.number;
    }
}

TEST_F(SerialLine, ReportsTheLineAsReadAfterTheWait)
{
    OpenReceiverPort(1);
    fake::calls.clear();
    fake::modemStatus = MS_RLSD_ON | 0x10;
    EXPECT_TRUE(WaitLineChange());
    fake::modemStatus = 0x10 | 0x20 | 0x40;
    EXPECT_FALSE(WaitLineChange());
    ASSERT_EQ(fake::Names(), "WaitCommEvent GetCommModemStatus WaitCommEvent GetCommModemStatus");
    EXPECT_EQ(fake::calls[0].Arg("overlapped"), 0u) << "the wait is synchronous";
}

/* Every failure parks the thread (Sleep(INFINITE), which the stand-in turns into an exception)
   after saying why, and nothing is called after it. */
TEST_F(SerialLine, AFailingPortParksTheThreadInsteadOfSpinning)
{
    const struct { const char *failing; intptr_t failure; const char *callsBeforePark; } cases[] = {
        {"CreateFileA", -1, "CreateFileA"},
        {"GetCommState", FALSE, "CreateFileA GetCommState"},
        {"SetCommState", FALSE, "CreateFileA GetCommState SetCommState"},
        {"SetCommMask", FALSE, "CreateFileA GetCommState SetCommState SetCommMask"},
    };
    for (const auto &c : cases) {
        fake::Reset();
        fake::Script(c.failing, {c.failure});
        EXPECT_THROW(SerialReceiverLine.openLine(), fake::Parked) << c.failing << " failing";
        EXPECT_EQ(fake::NamesExcept({"OutputDebugStringA", "Sleep"}), c.callsBeforePark) << c.failing << " failing";
        ASSERT_EQ(fake::Named("OutputDebugStringA").size(), 1u) << c.failing << " failing is reported once";
        ASSERT_EQ(fake::Named("Sleep").size(), 1u) << c.failing << " failing";
        EXPECT_EQ(fake::Named("Sleep")[0].Arg("milliseconds"), INFINITE);
    }

    const struct { const char *failing; const char *callsBeforePark; } waits[] = {
        {"WaitCommEvent", "WaitCommEvent"},
        {"GetCommModemStatus", "WaitCommEvent GetCommModemStatus"},
    };
    for (const auto &c : waits) {
        fake::Reset();
        OpenReceiverPort(1);
        fake::calls.clear();
        fake::Script(c.failing, {FALSE});
        EXPECT_THROW(WaitLineChange(), fake::Parked) << c.failing << " failing";
        EXPECT_EQ(fake::NamesExcept({"OutputDebugStringA", "Sleep"}), c.callsBeforePark) << c.failing << " failing";
        EXPECT_NE(fake::Named("OutputDebugStringA").at(0).text.find("receiver stopped"), std::string::npos);
    }
}

TEST_F(SerialLine, CounterIsThePerformanceCounter)
{
    fake::counter = 5000;
    fake::frequency = 3579545;
    LARGE_INTEGER value;
    SerialReceiverLine.readCounter(&value);
    EXPECT_EQ(value.QuadPart, 5000);
    SerialReceiverLine.readFrequency(&value);
    EXPECT_EQ(value.QuadPart, 3579545);
}

}  // namespace
