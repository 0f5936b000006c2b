/*
 * The replay line: what a recording turns into (changes and counter values), and every kind of
 * bad recording refused with its file, line and reason before anything is played.
 */
#include <gtest/gtest.h>

#include "replay_support.h"

#include "../../receiver/replay_line.h"

namespace {

struct Change {
    bool on;
    long long counter;
    bool operator==(const Change &o) const { return on == o.on && counter == o.counter; }
};

std::ostream &operator<<(std::ostream &out, const Change &c) { return out << (c.on ? "on@" : "off@") << c.counter; }

/* `text` as Windows PowerShell 5.1 saves a redirected output: UTF-16LE after the mark FF FE. */
std::string Utf16(const std::u16string &text)
{
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text)
        bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    return bytes;
}
std::string Utf16(const std::string &ascii) { return Utf16(std::u16string(ascii.begin(), ascii.end())); }

const char MERGED_RUNS[] = "frequency 1000000\nspace 500\npulse 100\npulse 200\nspace 50\nspace 50\npulse 10\n";
const char REPEATING[] = "frequency 1000000\nrepeat\npulse 10\nspace 20\n";

std::vector<Change> ChangesOf(const std::string &text)
{
    std::vector<Change> changes;
    std::string error = LoadRecordingText(text);
    EXPECT_EQ(error, "") << "recording should load";
    try {
        for (int i = 0; i < 100; i++) {
            BOOL on = ReplayReceiverLine.waitLineChange();
            LARGE_INTEGER counter;
            ReplayReceiverLine.readCounter(&counter);
            changes.push_back({on != FALSE, counter.QuadPart});
        }
    } catch (const RecordingEnded &) {
    }
    CloseReplayRecording();
    return changes;
}

TEST(ReplayLine, ItemsBecomeChangesOnTheVirtualCounter)
{
    const struct { const char *name; std::string text; std::vector<Change> expected; } cases[] = {
        {"leading gap lengthens the idle line; runs of one kind merge; the end is silent", MERGED_RUNS,
         {{false, 500}, {true, 800}, {false, 900}}},
        {"a UTF-16LE capture plays as its UTF-8 twin", Utf16(MERGED_RUNS), {{false, 500}, {true, 800}, {false, 900}}},
        {"a UTF-8 byte-order mark is skipped", "\xEF\xBB\xBF" + std::string(MERGED_RUNS),
         {{false, 500}, {true, 800}, {false, 900}}},
        {"microseconds at the default 10 MHz", "pulse 1\nspace 2\npulse 3\n", {{false, 0}, {true, 10}, {false, 30}}},
        {"ticks taken as they stand", "frequency 3579545\nunits ticks\npulse 7\nspace 9\npulse 1\n",
         {{false, 0}, {true, 7}, {false, 16}}},
        {"comments, blank lines, CRLF and trailing comments",
         "# recorded by hand\r\n\r\n  pulse 5   # burst\r\nspace 5\r\n\tpulse 5\r\n", {{false, 0}, {true, 50}, {false, 100}}},
        {"UTF-16 comments beyond ASCII, one unit ending in 0A", Utf16(u"# gr\u00fcn \u2713\U0001F4FA\u010Aspace 9\r\n"
         u"pulse 5 # Sto\u00df\r\nspace 5\r\npulse 5\r\n"), {{false, 0}, {true, 50}, {false, 100}}},
        {"rounding does not accumulate over many items", "frequency 3\nspace 1000000\npulse 333333\nspace 333333\npulse 333334\n",
         {{false, 3}, {true, 4}, {false, 5}}},
        {"an empty recording never changes", "# nothing\n", {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ChangesOf(c.text), c.expected) << c.name;
}

TEST(ReplayLine, RepeatingRecordingPlaysForEverWithTimeRunningOn)
{
    /* Each rewind starts past the byte-order mark, in the file's encoding. */
    const struct { const char *name; std::string text; } cases[] = {
        {"ASCII", REPEATING},
        {"UTF-16LE", Utf16(REPEATING)},
        {"UTF-8 with its mark", "\xEF\xBB\xBF" + std::string(REPEATING)},
    };
    for (const auto &c : cases) {
        std::vector<Change> changes = ChangesOf(c.text);
        ASSERT_EQ(changes.size(), 100u) << "still changing after 100 waits: " << c.name;
        const std::vector<Change> start(changes.begin(), changes.begin() + 4);
        const std::vector<Change> expected = {{false, 0}, {true, 10}, {false, 30}, {true, 40}};
        EXPECT_EQ(start, expected) << c.name;
        EXPECT_EQ(changes[99].counter, 49 * 30 + 10) << c.name;
    }
}

TEST(ReplayLine, BadRecordingsAreRefusedWithFileLineAndReason)
{
    const struct { std::string text; const char *where; const char *reason; } cases[] = {
        {"pulse 100\nspce 200\n", ":2:", "unknown word"},
        {"pulse\n", ":1:", "a number is missing"},
        {"space 12 13\n", ":1:", "unexpected text after the number"},
        {"pulse 0\n", ":1:", "must be positive"},
        {"pulse -5\n", ":1:", "must be positive"},
        {"space 4294967296\n", ":1:", "too large"},
        {"pulse 99999999999999999999999\n", ":1:", "too large"},
        {"pulse 12abc\n", ":1:", "unexpected text"},
        {"pulse 100\nfrequency 1000\n", ":2:", "directives must come before"},
        {"space 5\nunits ticks\n", ":2:", "directives must come before"},
        {"frequency\n", ":1:", "a number is missing"},
        {"units seconds\n", ":1:", "the only units are 'ticks'"},
        {"pulse 1\nrepeat\n", ":2:", "directives must come before"},
        {"repeat 3\n", ":1:", "unexpected text after 'repeat'"},
        {"pulsed 5\n", ":1:", "unknown word"},
        {"# fine\n\npulse 1\n\x7f\x45LF\x01\x02\n", ":4:", "unknown word"},
        {Utf16("# fine\r\n\r\npulse 100\r\nspce 200\r\n"), ":4:", "unknown word"},
        {Utf16(u"pulse 5\u0130\n"), ":1:", "unexpected text after the number"},  /* U+0130 is not '0' */
        {Utf16("pulse 5\n") + "\n", ":2:", "the file ends in half a UTF-16 character"},
        {"\xEF\xBB\xBFpulse 1\nrepeat\n", ":2:", "directives must come before"},
    };
    for (const auto &c : cases) {
        std::string error = LoadRecordingText(c.text);
        EXPECT_NE(error.find(c.where), std::string::npos) << "for " << c.text << " got: " << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << "for " << c.text << " got: " << error;
        EXPECT_EQ(error.find("/tmp/recording-"), 0u) << "the message names the file: " << error;
    }
}

TEST(ReplayLine, LongLinesNulBytesAndMissingFilesAreRefused)
{
    EXPECT_NE(LoadRecordingText("pulse 5\n" + std::string(500, ' ') + "pulse 5\n").find(":2: the line is longer than 200 characters"),
              std::string::npos);
    EXPECT_NE(LoadRecordingText("pulse 5 # " + std::string(300, 'x') + "\n").find(":1: the line is longer than 200 characters"),
              std::string::npos)
        << "an item line keeps its limit, comment and all";
    /* A comment line of any length, in UTF-8 or UTF-16, is skipped beyond the buffer. */
    const std::string annotation = "# " + std::string(150, 'x') + std::string(100, '\xE9') + "\n";
    EXPECT_EQ(LoadRecordingText(annotation + "\t" + annotation + "pulse 5\n"), "");
    EXPECT_EQ(LoadRecordingText(Utf16(std::string(150, ' ') + "# " + std::string(5000, 'y') + "\npulse 5\n")), "");
    EXPECT_NE(LoadRecordingText(std::string("pulse 5\0 junk\n", 14)).find(":1: the line holds a NUL byte"),
              std::string::npos);

    /* Played for ever, one kind alone would be a single endless interval. */
    for (const char *endless : {"repeat\npulse 838\n", "repeat\nspace 5\nspace 6\n", "repeat\n# nothing\n"})
        EXPECT_NE(LoadRecordingText(endless).find(": a repeating recording needs both pulses and spaces"), std::string::npos)
            << endless;

    char error[REPLAY_ERROR_SIZE] = "";
    EXPECT_FALSE(LoadReplayRecording("/nonexistent/keys.ir", FALSE, NULL, error, sizeof error));
    EXPECT_STREQ(error, "/nonexistent/keys.ir: cannot open the recording");
}

TEST(ReplayLine, ARefusedRecordingLeavesNothingToPlay)
{
    /* A good recording loaded and partly played, then a bad one refused: neither the bad one's
       first lines nor the rest of the good one are played. */
    EXPECT_EQ(LoadRecordingText("pulse 5\nspace 5\npulse 5\nspace 5\n"), "");
    EXPECT_FALSE(ReplayReceiverLine.waitLineChange());
    EXPECT_NE(LoadRecordingText("pulse 9\nspace 9\nbogus\n"), "");
    EXPECT_THROW(ReplayReceiverLine.waitLineChange(), RecordingEnded);
}

}  // namespace
