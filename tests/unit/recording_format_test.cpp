/*
 * The recording format on its own: items played as the line's changes (runs of one kind are one
 * interval, a leading space only lengthens the idle line), and an interval beyond the largest
 * number written as items that read back as that one interval.
 */
#include <gtest/gtest.h>

#include <sstream>

#include "../../receiver/recording_format.h"

namespace {

std::vector<RecordingLine> listedItems;
size_t itemsGiven;

BOOL NextListedItem(RecordingLine *item)
{
    if (itemsGiven == listedItems.size())
        return FALSE;
    *item = listedItems[itemsGiven++];
    return TRUE;
}

/* Every change the items make, as "off@500 on@800 ...". */
std::string Played(const std::vector<RecordingLine> &items)
{
    listedItems = items;
    itemsGiven = 0;
    RecordingPlayer player;
    StartPlaying(&player, NextListedItem);
    std::string changes;
    while (PlayNextChange(&player))
        changes += (player.lineOn ? "on@" : "off@") + std::to_string(player.lastChange) + " ";
    return changes;
}

/* Recording text, line by line, as the parser reads it. */
std::vector<RecordingLine> Parsed(const std::string &text)
{
    std::vector<RecordingLine> items;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        items.push_back({});
        ParseRecordingLine(line.c_str(), &items.back());
    }
    return items;
}

TEST(RecordingFormat, RunsOfOneKindAreOneIntervalOnALineThatIdlesOn)
{
    EXPECT_EQ(Played(Parsed("space 500\npulse 100\npulse 200\nspace 50\nspace 50\npulse 10\n")), "off@500 on@800 off@900 ");
    EXPECT_EQ(Played(Parsed("space 7\nspace 8\n")), "") << "gaps alone never change the idle line";
}

std::string written;
void Collect(const char *line) { written += line; }

TEST(RecordingFormat, AnIntervalBeyondTheLargestNumberIsWrittenAsItemsThatReadBackAsOne)
{
    written.clear();
    WriteRecordingItems(LINE_SPACE, 0, Collect);
    WriteRecordingItems(LINE_PULSE, 2 * RECORDING_LARGEST_NUMBER + 1, Collect);
    WriteRecordingItems(LINE_SPACE, 5, Collect);
    EXPECT_EQ(written, "pulse 4294967295\npulse 4294967295\npulse 1\nspace 5\n");
    EXPECT_EQ(Played(Parsed(written + "pulse 1\n")), "off@0 on@8589934591 off@8589934596 ");
}

}  // namespace
