/*
 * The recording format on its own: items played as the line's changes (runs of one kind are one
 * interval, a leading space only lengthens the idle line), and an interval written as items that
 * read back as that one interval.
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

TEST(RecordingFormat, RunsOfOneKindAreOneIntervalOnALineThatIdlesOn)
{
    EXPECT_EQ(Played({{LINE_SPACE, 500, NULL}, {LINE_PULSE, 100, NULL}, {LINE_PULSE, 200, NULL}, {LINE_SPACE, 50, NULL},
                      {LINE_SPACE, 50, NULL}, {LINE_PULSE, 10, NULL}}),
              "off@500 on@800 off@900 ");
    EXPECT_EQ(Played({{LINE_SPACE, 7, NULL}, {LINE_SPACE, 8, NULL}}), "") << "gaps alone never change the idle line";
}

std::string written;
void Collect(const char *line) { written += line; }

TEST(RecordingFormat, AnIntervalBeyondTheLargestNumberIsWrittenAsItemsThatReadBackAsOne)
{
    const struct { RecordingLineKind kind; ULONGLONG length; const char *lines; } cases[] = {
        {LINE_PULSE, 1, "pulse 1\n"},
        {LINE_SPACE, 0, ""},
        {LINE_SPACE, RECORDING_LARGEST_NUMBER, "space 4294967295\n"},
        {LINE_PULSE, 2 * RECORDING_LARGEST_NUMBER + 1, "pulse 4294967295\npulse 4294967295\npulse 1\n"},
    };
    for (const auto &c : cases) {
        written.clear();
        WriteRecordingItems(c.kind, c.length, Collect);
        EXPECT_EQ(written, c.lines) << c.length;
    }

    std::vector<RecordingLine> items;
    std::istringstream lines(written + "space 5\npulse 1\n");
    for (std::string line; std::getline(lines, line);) {
        items.push_back({});
        ParseRecordingLine(line.c_str(), &items.back());
    }
    EXPECT_EQ(Played(items), "off@0 on@8589934591 off@8589934596 ");
}

}  // namespace
