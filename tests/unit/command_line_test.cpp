/*
 * The command line as the shipped programs split it for themselves (common/command_line.cpp):
 * blanks and tabs between arguments, quoted parts, doubled quotes and backslashes before a
 * quote as msvcrt.dll reads them, the program's own name skipped.
 */
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../common/command_line.h"

namespace {

TEST(CommandLine, SplitsAsWindowsProgramsDo)
{
    const struct { const char *line; std::vector<std::string> arguments; } cases[] = {
        {"ir-monitor.exe", {}},
        {"\"C:\\Program Files\\ir-monitor.exe\" --raw  keys.ir", {"--raw", "keys.ir"}},
        {"ir-monitor \"C:\\My Captures\\keys.ir\"", {"C:\\My Captures\\keys.ir"}},
        {"ir-monitor C:\\dir\\ \"\"", {"C:\\dir\\", ""}},
        {"ir-monitor a\\\\\"b c\" d\\\"e", {"a\\b c", "d\"e"}},
        {"ir-monitor\t\"unclosed quote", {"unclosed quote"}},
        /* Two quotes in a quoted part give one and end the part, as msvcrt.dll has it. */
        {"ir-monitor \"a\"\"b\"", {"a\"b"}},
        {"ir-monitor \"a\"\"b c\"", {"a\"b", "c"}},
        {"ir-monitor a \"b\"\" c", {"a", "b\"", "c"}},
        {"ir-monitor a  \"b\\  \"\"\"  c\" d", {"a", "b\\  \"  c", "d"}},
        {"ir-monitor a  \"b\\  \"\"\"  \"c  \"\"\"\" d", {"a", "b\\  \"  c", "\" d"}},
    };
    for (const auto &c : cases) {
        char buffer[COMMAND_LINE_SIZE];
        char *arguments[4];
        int count = SplitArguments(c.line, buffer, sizeof buffer, arguments, 4);
        EXPECT_EQ(std::vector<std::string>(arguments, arguments + count), c.arguments) << c.line;
    }
}

}  // namespace
