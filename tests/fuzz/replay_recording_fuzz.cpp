/*
 * Fuzz target: any bytes as a recording file.  The replay line must refuse it with
 * "file:line: reason" and then play nothing, or accept it and play it: its changes then go
 * through the frame decoder and the table lookup, up to a fixed number of changes (a repeating
 * recording never ends by itself).
 *
 * Checked on every input, besides the sanitizers: the message's form; a refused recording
 * plays nothing; an accepted one alternates off and on, its counter never runs backwards, and
 * every frame has no bit above 48 and finds only equal table entries.
 */
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "../../receiver/code_table.h"
#include "../../receiver/frame_decoder.h"
#include "../../receiver/replay_line.h"

namespace {

const long MAX_CHANGES = 5000;

struct Stop {};

char path[128];
ReceiverLine countedLine;
long changesLeft;
bool lastState;
LONGLONG lastCounter;

[[noreturn]] void Fail(const char *what)
{
    std::fprintf(stderr, "replay_recording: %s\n", what);
    std::abort();
}

void StopAtEnd() { throw Stop(); }

BOOL CountedWait()
{
    if (changesLeft-- <= 0)
        throw Stop();
    BOOL on = ReplayReceiverLine.waitLineChange();
    if ((on != FALSE) == lastState)
        Fail("the replay line reported the state it already had");
    lastState = on != FALSE;
    LARGE_INTEGER counter;
    ReplayReceiverLine.readCounter(&counter);
    if (counter.QuadPart < lastCounter)
        Fail("the counter ran backwards");
    lastCounter = counter.QuadPart;
    return on;
}

void CheckRefusal(const char *error)
{
    size_t length = std::strlen(path);
    if (std::strncmp(error, path, length) != 0 || error[length] != ':')
        Fail("the message does not start with the file name");
    const char *p = error + length + 1;
    if (*p >= '0' && *p <= '9') {
        while (*p >= '0' && *p <= '9')
            p++;
        if (*p++ != ':')
            Fail("no colon after the line number");
    }
    if (*p++ != ' ' || std::strlen(p) < 5)
        Fail("the message gives no reason");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    /* A file per input: in memory where there is such a file system, as on disk it is slow. */
    const char *dir = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::snprintf(path, sizeof path, "%s/fuzz-recording-%d.ir", dir, static_cast<int>(getpid()));
    countedLine = ReplayReceiverLine;
    countedLine.waitLineChange = CountedWait;
    std::atexit([] { unlink(path); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *file = std::fopen(path, "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0)
        Fail("cannot write the recording file");

    char error[REPLAY_ERROR_SIZE] = "";
    changesLeft = MAX_CHANGES;
    lastState = true;  /* the line idles on */
    lastCounter = 0;
    if (!LoadReplayRecording(path, FALSE, StopAtEnd, error, sizeof error)) {
        CheckRefusal(error);
        try {
            ReplayReceiverLine.waitLineChange();
            Fail("a refused recording played a change");
        } catch (const Stop &) {
        }
        return 0;
    }
    try {
        countedLine.openLine();
        for (;;) {
            FrameCode code = ReadFrame(&countedLine);
            if (code >> 49 != 0)
                Fail("a frame code with bits above 48");
            CommandNumber commands[CODE_TABLE_SIZE];
            int found = FindCommands(code, commands);
            for (int i = 0; i < found; i++)
                if (commands[i] >= CODE_TABLE_SIZE || CodeTable[commands[i]] != code)
                    Fail("the lookup found an entry that differs from the frame");
        }
    } catch (const Stop &) {
    }
    CloseReplayRecording();
    return 0;
}
