/*
 * Fuzz target: the frame decoder on a receiver line made of the fuzz bytes, which run out by
 * throwing out of ReadFrame.
 *
 * Input layout:
 *   byte 0       counter rate: 0 1193182, 1 3579545, 2 10 MHz, 3 24 MHz, 4 2.3 MHz, 5 no
 *                counter (0), 6 one tick per second; any other value: the next 5 bytes, little
 *                endian, are the rate (up to 2^40, far beyond any real counter)
 *   4 bytes      the counter's low half at the start (so it wraps anywhere)
 *   then items of 2 bytes, little endian, v:
 *     v >> 1     a duration in 1/1193182 s, turned into ticks at the rate; 0x7FFF instead
 *                takes the next 4 bytes as a duration in raw ticks (to 2^32 - 1)
 *     v & 1      0: the line changes state; 1: it reports the state it already had, as after
 *                two changes made between two waits
 *
 * Checked besides the sanitizers: no frame has a bit above 48; a frame takes at least 100
 * waits (a leader and 49 data pairs, two changes each); the lookup finds only equal entries.
 */
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "../../receiver/code_table.h"
#include "../../receiver/frame_decoder.h"

namespace {

struct OutOfBytes {};

const uint8_t *bytes;
size_t left;
bool lineOn;
uint64_t counter;
int64_t rate;
long waits;

[[noreturn]] void Fail(const char *what)
{
    std::fprintf(stderr, "decoder_edges: %s\n", what);
    std::abort();
}

uint64_t Take(int count)
{
    if (left < static_cast<size_t>(count))
        throw OutOfBytes();
    uint64_t value = 0;
    for (int i = 0; i < count; i++)
        value |= static_cast<uint64_t>(bytes[i]) << (8 * i);
    bytes += count;
    left -= count;
    return value;
}

void OpenLine() {}

BOOL WaitChange()
{
    uint64_t item = Take(2);
    uint64_t units = item >> 1;
    uint64_t ticks = units == 0x7FFF ? Take(4) : static_cast<uint64_t>(UnitsToTicks(units, rate));
    counter += ticks;
    if ((item & 1) == 0)
        lineOn = !lineOn;
    waits++;
    return lineOn;
}

void ReadCounter(LARGE_INTEGER *count) { count->QuadPart = static_cast<LONGLONG>(counter); }

void ReadFrequency(LARGE_INTEGER *frequency) { frequency->QuadPart = rate; }

const ReceiverLine byteLine = {
    .openLine = OpenLine, .waitLineChange = WaitChange, .readCounter = ReadCounter, .readFrequency = ReadFrequency};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const int64_t rates[] = {1193182, 3579545, 10000000, 24000000, 2300000, 0, 1};
    bytes = data;
    left = size;
    lineOn = true;
    waits = 0;
    try {
        uint64_t choice = Take(1);
        rate = choice < sizeof rates / sizeof rates[0] ? rates[choice] : static_cast<int64_t>(Take(5));
        counter = 0x5A5A00000000ull | Take(4);
        byteLine.openLine();
        for (;;) {
            long before = waits;
            FrameCode code = ReadFrame(&byteLine);
            if (code >> 49 != 0)
                Fail("a frame code with bits above 48");
            if (waits - before < 2 * (1 + FRAME_DATA_PAIRS))
                Fail("a frame returned after fewer than 100 waits");
            CommandNumber commands[CODE_TABLE_SIZE];
            int found = FindCommands(code, commands);
            for (int i = 0; i < found; i++)
                if (commands[i] >= CODE_TABLE_SIZE || CodeTable[commands[i]] != code)
                    Fail("the lookup found an entry that differs from the frame");
        }
    } catch (const OutOfBytes &) {
    }
    return 0;
}
