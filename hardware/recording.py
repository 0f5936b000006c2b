"""
The project's own tools around a simulated receiver: build/host/ir-encode for the module's output
timing of a held key, a recording (receiver/recording_format.h) of the carrier-detect line the
simulation gives, and build/host/ir-monitor's reading of it.
"""
import os
import re
import subprocess
import sys

from bench import HARDWARE_DIR

REPO_DIR = os.path.dirname(HARDWARE_DIR)
IR_ENCODE = os.path.join(REPO_DIR, "build", "host", "ir-encode")
IR_MONITOR = os.path.join(REPO_DIR, "build", "host", "ir-monitor")
TICKS_PER_US = 10          # the recording's counter: 10 MHz, so edges keep 0.1 us


def ensure_tools():
    """Builds the host preset's ir-encode and ir-monitor when either is missing."""
    if os.path.exists(IR_ENCODE) and os.path.exists(IR_MONITOR):
        return
    print("# building build/host/ir-encode and ir-monitor (cmake --preset host)", file=sys.stderr)
    for cmd in (["cmake", "--preset", "host"],
                ["cmake", "--build", "--preset", "host", "--target", "ir-encode", "ir-monitor"]):
        if subprocess.run(cmd, cwd=REPO_DIR, stdout=subprocess.DEVNULL).returncode != 0:
            raise RuntimeError(" ".join(cmd) + " failed")


def encode(module_us, keys):
    """The module's output for `keys` (table indexes), each burst lengthened by module_us, as
    [(is_pulse, us)] from ir-encode."""
    out = subprocess.run([IR_ENCODE, "--stretch", str(module_us)] + [str(k) for k in keys],
                         check=True, capture_output=True, text=True).stdout
    items = []
    for line in out.splitlines():
        words = line.split()
        if len(words) == 2 and words[0] in ("pulse", "space"):
            items.append((words[0] == "pulse", int(words[1])))
    return items


def recording_text(spans, header_lines):
    """A recording of the line from its off spans [(fall_us, rise_us)]: pulses and spaces in
    ticks of a 10 MHz counter, from the first burst on (the decoder times the first burst from
    the start, as the remote's own recordings do)."""
    lines = ["# " + h for h in header_lines]
    lines += [f"frequency {TICKS_PER_US * 1000000}", "units ticks"]
    ticks = [(round(fall * TICKS_PER_US), round(rise * TICKS_PER_US)) for fall, rise in spans]
    for i, (fall, rise) in enumerate(ticks):
        lines.append(f"pulse {rise - fall}")
        if i + 1 < len(ticks):
            lines.append(f"space {ticks[i + 1][0] - rise}")
    return "\n".join(lines) + "\n"


class MonitorReading:
    """What ir-monitor printed for a recording: the verdict (continuation lines joined), the
    lengthening it estimated, and the command numbers of each frame line."""
    def __init__(self, text):
        self.text = text
        verdict, self.frames = [], []
        for line in text.splitlines():
            m = re.match(r"^0x[0-9A-F]{16} (.*)$", line)
            if m:
                self.frames.append(m.group(1).strip())
            if line.startswith("# verdict:"):
                verdict = [line[2:]]
            elif verdict and line.startswith("#   "):
                verdict.append(line[4:])
            elif verdict:
                break
        self.verdict = " ".join(verdict)
        m = re.search(r"lengthens bursts by about (-?\d+) us", self.verdict)
        self.lengthening_us = int(m.group(1)) if m else None


def monitor(path):
    out = subprocess.run([IR_MONITOR, path], capture_output=True, text=True)
    return MonitorReading(out.stdout)
