/*
 * ir-encode: writes a pulse/space recording of frames to standard output, for samples, demos
 * and experiments.  Each argument is a code table index (0-15) or a frame code in hex (0x...).
 *
 *   ir-encode [--stretch US] [--jitter US] [--pause US] [--seed N] CODE...
 *
 * The frames are the remote's nominal timing (ir_encoder.h), each burst lengthened by
 * --stretch (default 100 us, inside the band the decoder accepts), every edge moved by up to
 * --jitter (default 0).  The header says which timing was used, so a recording can be checked
 * against the band.
 */
#include "ir_encoder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../../receiver/code_table.h"

int main(int argc, char **argv)
{
    IrTiming timing;
    uint32_t seed = 1;
    std::vector<uint64_t> codes;
    std::string described;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--stretch" && hasValue) {
            timing.markStretchUs = std::atof(argv[++i]);
        } else if (arg == "--jitter" && hasValue) {
            timing.jitterUs = std::atof(argv[++i]);
        } else if (arg == "--pause" && hasValue) {
            timing.pauseUs = std::atof(argv[++i]);
        } else if (arg == "--seed" && hasValue) {
            seed = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (arg.rfind("0x", 0) == 0) {
            codes.push_back(std::strtoull(arg.c_str(), nullptr, 16));
            described += " " + arg;
        } else {
            char *end = nullptr;
            unsigned long index = std::strtoul(arg.c_str(), &end, 10);
            if (arg.empty() || *end != '\0' || index >= CODE_TABLE_SIZE) {
                std::fprintf(stderr, "ir-encode: '%s' is neither a table index (0-15) nor a 0x code\n", argv[i]);
                return 2;
            }
            codes.push_back(CodeTable[index]);
            described += " " + arg;
        }
    }
    if (codes.empty()) {
        std::fprintf(stderr, "usage: ir-encode [--stretch US] [--jitter US] [--pause US] [--seed N] CODE...\n");
        return 2;
    }
    /* The list of frames may be long (thousands of arguments): only the figures go through a buffer. */
    char figures[200];
    std::snprintf(figures, sizeof figures,
                  "# as sent: leader %.0f/%.0f us, bursts %.0f us, gaps %.0f/%.0f us\n"
                  "# burst stretch %.0f us, jitter %.0f us, pause %.0f us, seed %u\n",
                  timing.leaderMarkUs, timing.leaderSpaceUs, timing.markUs, timing.zeroSpaceUs, timing.oneSpaceUs,
                  timing.markStretchUs, timing.jitterUs, timing.pauseUs, seed);
    const std::string header = "# frames:" + described + "\n" + figures;
    std::fputs(ToRecording(EncodeFrames(codes, timing, seed), header).c_str(), stdout);
    return 0;
}
