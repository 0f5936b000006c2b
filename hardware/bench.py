"""
The simulation bench for hardware/receiver.sch: the schematic netlisted by lepton-netlist
(spice-sdb), the PC's side around it (an RS-232 driver on RTS, a receiver's input on DCD), the
module's output timing as the global node "ir", one ngspice run in batch mode, and the line the
PC sees read back from its waveform.

Everything that is a datasheet figure or a corner lives in hardware/simulate; here are only the
mechanics.  A run is described by a Corner (the parameters the models in hardware/models/ read,
the PC's side, the timing parts' tolerances), a trimmer setting and a burst train.
"""
import os
import re
import subprocess
import tempfile
from dataclasses import dataclass

HARDWARE_DIR = os.path.dirname(os.path.abspath(__file__))
SCHEMATIC = os.path.join(HARDWARE_DIR, "receiver.sch")

# The remote's nominal timing (receiver/frame_decoder.h's windows are built around it).
UNIT_US = 432.0
LEADER_BURST_US = 8 * UNIT_US
LEADER_GAP_US = 4 * UNIT_US
ZERO_GAP_US = UNIT_US
ONE_GAP_US = 3 * UNIT_US

# Where the PC's RS-232 receiver switches, for reading the line as the PC does: on above VIT+,
# off below VIT- (TI MAX232, SLLS047L, typical figures at 5 V and 25 C).
RECEIVER_ON_V = 1.7
RECEIVER_OFF_V = 1.2

IR_EDGE_US = 0.1          # rise and fall of the "ir" node that switches the module's output
SETTLE_US = 10.0          # after a DCD edge, before its level is taken
TRAIN_START_US = 200.0    # the circuit idles (powered, no infrared) before the first burst
RTS_OFF_AFTER_US = 500.0  # RTS swings off this long after the last burst, for D1's reverse voltage
RTS_OFF_HOLD_US = 1000.0
TAIL_US = 500.0           # a run without RTS's swing ends this long after the last burst
RTS_SWING_US = 2.0


@dataclass(frozen=True)
class Corner:
    """One set of conditions: model parameters, the PC's side, the timing parts' tolerances."""
    name: str
    vtp: float                 # 74HC14 positive-going threshold, V
    vtn: float                 # 74HC14 negative-going threshold, V
    ron_p: float               # 74HC14 output resistance driving high, Ohm
    ron_n: float               # ... driving low, Ohm
    icc_gate: float            # a sixth of the 74HC14's quiescent current, A
    mod_isup: float            # module supply current, A
    mod_rpu: float             # module internal pull-up, Ohm
    ldo_vout: float            # regulator output, V
    ldo_drop: float            # regulator dropout, V
    ldo_iq: float              # regulator quiescent current, A
    d_n: float                 # 1N4148 emission coefficient (1.752 typical, 2.55 datasheet limit)
    rts_on_v: float            # RTS while on, V
    rts_off_v: float           # RTS while off, V
    rts_limit_a: float         # the driver's current limit, A
    pc_ohms: float             # the PC's input resistance, Ohm
    pc_farads: float           # the PC's input and cable capacitance, F
    c5_scale: float = 1.0      # C5's tolerance, as a factor
    r2_scale: float = 1.0      # R2's tolerance
    rv1_scale: float = 1.0     # RV1's end-to-end tolerance
    dcd_wired_to_v: float = None   # a fault: DCD held by a driver at this voltage


@dataclass
class Train:
    """Bursts of the module's output as (start_us, end_us), and the lengths the remote sent."""
    bursts: list
    sent_us: list

    @property
    def end_us(self):
        return self.bursts[-1][1]


def frame_train(module_us, bits):
    """A leader, data bursts whose gaps carry `bits`, and a closing burst, each burst lengthened
    (and the gap after it shortened) by module_us, as a module would deliver them."""
    bursts, sent = [], []
    t = TRAIN_START_US
    pairs = [(LEADER_BURST_US, LEADER_GAP_US)] + [(UNIT_US, ONE_GAP_US if b else ZERO_GAP_US) for b in bits]
    pairs.append((UNIT_US, ZERO_GAP_US))
    for burst, gap in pairs:
        bursts.append((t, t + burst + module_us))
        sent.append(burst)
        t += burst + gap
    return Train(bursts, sent)


def recording_train(items):
    """A train from a recording's items [(is_pulse, us)], first burst at TRAIN_START_US."""
    bursts, t = [], TRAIN_START_US
    for is_pulse, us in items:
        if is_pulse:
            bursts.append((t, t + us))
        t += us
    return Train(bursts, [b - a for a, b in bursts])


@dataclass
class Netlist:
    body: str            # the circuit as spice-sdb writes it, without .end
    values: dict         # refdes -> value as written on the schematic (ohms, farads)


_SUFFIX = {"f": 1e-15, "p": 1e-12, "n": 1e-9, "u": 1e-6, "m": 1e-3, "k": 1e3, "meg": 1e6, "g": 1e9}


def spice_number(text):
    """A SPICE value such as 3.3k, 100nF or 10uF as a float (units after the suffix ignored)."""
    m = re.fullmatch(r"([0-9.]+(?:e[-+]?[0-9]+)?)(meg|[fpnumkg])?[a-z]*", text.lower())
    if not m:
        raise ValueError(f"not a SPICE value: {text}")
    return float(m.group(1)) * _SUFFIX.get(m.group(2), 1.0)


def netlist_schematic():
    """Netlists receiver.sch with lepton-netlist."""
    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "receiver.cir")
        env = dict(os.environ, GUILE_AUTO_COMPILE="0")
        run = subprocess.run(["lepton-netlist", "-g", "spice-sdb", "-o", out, "receiver.sch"],
                             cwd=HARDWARE_DIR, env=env, capture_output=True, text=True)
        if run.returncode != 0 or not os.path.exists(out):
            raise RuntimeError("lepton-netlist failed:\n" + run.stdout + run.stderr)
        text = open(out).read()
    lines, values, in_subckt = [], {}, False
    for line in text.splitlines():
        if line.strip().lower() == ".end":
            continue
        words = line.split()
        keyword = words[0].lower() if words else ""
        in_subckt = (in_subckt or keyword == ".subckt") and keyword != ".ends"
        if not in_subckt and keyword[:1] in ("r", "c") and len(words) >= 4:
            values[words[0]] = spice_number(words[3])
        lines.append(line)
    # spice-sdb names the gates of the one 74HC14 U2.1 ... U2.6; ngspice reads the dot as a
    # level of the hierarchy, so it becomes an underscore.
    body = re.sub(r"^XU2\.(\d)", r"XU2_\1", "\n".join(lines), flags=re.M)
    return Netlist(body + "\n", values)


def shortening_variant(netlist):
    """The circuit with D2 turned round (its two nodes swapped): the stage then delays the start
    of each burst instead of its end, and takes lengthening away."""
    body = re.sub(r"^(D2) (\S+) (\S+) ", r"\1 \3 \2 ", netlist.body, flags=re.M)
    if body == netlist.body:
        raise RuntimeError("no D2 in the netlist")
    return Netlist(body, netlist.values)


def _pwl(points):
    return "PWL(" + " ".join(f"{t:.9g}u {v:.6g}" for t, v in points) + ")"


def _ir_source(train):
    points = [(0.0, 0.0)]
    for start, end in train.bursts:
        points += [(start, 0.0), (start + IR_EDGE_US, 1.0), (end, 1.0), (end + IR_EDGE_US, 0.0)]
    # A PWL source takes its points on continuation lines, a few to a line.
    text = _pwl(points)
    words, out, line = text.split(" "), [], "Vir ir 0"
    for w in words:
        if len(line) > 100:
            out.append(line)
            line = "+"
        line += " " + w
    out.append(line)
    return "\n".join(out)


def deck(netlist, corner, trim_fraction, train, vectors, tmax_us, data_file, rts_off):
    """The ngspice input for one run; with rts_off, RTS swings off after the last burst."""
    c = corner
    stop_us = train.end_us + (RTS_OFF_AFTER_US + RTS_OFF_HOLD_US if rts_off else TAIL_US)
    off_at = train.end_us + RTS_OFF_AFTER_US
    drv = _pwl([(0, c.rts_on_v), (off_at, c.rts_on_v), (off_at + RTS_SWING_US, c.rts_off_v)])
    rv1 = max(trim_fraction * netlist.values["RV1"] * c.rv1_scale, 1.0)
    lines = [
        f"* receiver.sch at corner {c.name}, RV1 at {trim_fraction:.4f} of its travel",
        f".param vtp={c.vtp} vtn={c.vtn} ron_p={c.ron_p} ron_n={c.ron_n} icc_gate={c.icc_gate}",
        f".param mod_isup={c.mod_isup} mod_rpu={c.mod_rpu} d_n={c.d_n}",
        f".param ldo_vout={c.ldo_vout} ldo_drop={c.ldo_drop} ldo_iq={c.ldo_iq}",
        ".global ir",
        netlist.body,
        "* The RS-232 driver on RTS: its voltage, up to its current limit (a current source beyond).",
        f"Vdrv drv 0 {drv}",
        f"Bdrv 0 rts_in I = {c.rts_limit_a}*tanh((V(drv)-V(rts_in))/0.02)",
        "Vrts rts_in RTS 0",
        "* The PC's receiver on DCD: its input resistance and the cable's capacitance.",
        f"Rpc DCD 0 {c.pc_ohms}",
        f"Cpc DCD 0 {c.pc_farads}",
    ]
    if c.dcd_wired_to_v is not None:
        lines += ["* A fault: DCD wired to a driver's output.",
                  f"Vfault fault 0 {c.dcd_wired_to_v}", "Rfault fault DCD 1"]
    lines += [
        _ir_source(train),
        ".options reltol=3e-4 rshunt=1e9",
        ".nodeset V(rts_in)={0} V(RTS)={0} V(VIN)={1} V(V33)={2} V(VS)={2} V(MOD)={2}".format(
            c.rts_on_v, c.rts_on_v - 0.6, c.ldo_vout),
        ".control",
        "set wr_singlescale",
        "set wr_vecnames",
        "option numdgt=7",
        f"alter RV1 = {rv1:.6g}",
        f"alter R2 = {netlist.values['R2'] * c.r2_scale:.6g}",
        f"alter C5 = {netlist.values['C5'] * c.c5_scale:.6g}",
        f"tran 0.1u {stop_us:.6g}u 0 {tmax_us}u",
        f"wrdata {data_file} " + " ".join(vectors),
        "quit",
        ".endc",
        ".end",
    ]
    return "\n".join(lines) + "\n"


ALL_VECTORS = ["v(RTS)", "v(VIN)", "v(V33)", "v(VS)", "v(MOD)", "v(AOUT)", "v(TIM)", "v(BOUT)",
               "v(DCD)", "i(Vrts)"]


@dataclass
class Waveform:
    time_us: list
    v: dict              # vector name (lower case, as ngspice writes it) -> samples


def run(netlist, corner, trim_fraction, train, vectors=ALL_VECTORS, tmax_us=0.5, rts_off=False):
    """One ngspice run; returns its waveform."""
    with tempfile.TemporaryDirectory() as work:
        data = os.path.join(work, "wave.txt")
        cir = os.path.join(work, "bench.cir")
        with open(cir, "w") as f:
            f.write(deck(netlist, corner, trim_fraction, train, vectors, tmax_us, data, rts_off))
        proc = subprocess.run(["ngspice", "-b", cir], capture_output=True, text=True, cwd=work)
        if not os.path.exists(data):
            raise RuntimeError(f"ngspice failed at corner {corner.name}:\n" + proc.stdout[-2000:] + proc.stderr[-2000:])
        with open(data) as f:
            names = f.readline().split()
            columns = [[] for _ in names]
            for line in f:
                for col, word in zip(columns, line.split()):
                    col.append(float(word))
    wave = Waveform([t * 1e6 for t in columns[0]], {})
    for name, col in zip(names[1:], columns[1:]):
        wave.v[name.lower()] = col
    return wave


def between(wave, name, start_us, end_us):
    """The samples of one vector from start_us to end_us."""
    t, v = wave.time_us, wave.v[name]
    return [x for s, x in zip(t, v) if start_us <= s <= end_us]


def line_edges(wave, name="v(dcd)"):
    """The DCD line as the PC's receiver reads it: (fall_us, rise_us) for each span it reads
    off, switching off below RECEIVER_OFF_V and on again above RECEIVER_ON_V."""
    t, v = wave.time_us, wave.v[name]
    spans, on, fall = [], v[0] > RECEIVER_OFF_V, None
    for i in range(1, len(t)):
        if on and v[i] < RECEIVER_OFF_V:
            fall = _cross(t[i - 1], v[i - 1], t[i], v[i], RECEIVER_OFF_V)
            on = False
        elif not on and v[i] > RECEIVER_ON_V:
            rise = _cross(t[i - 1], v[i - 1], t[i], v[i], RECEIVER_ON_V)
            if fall is not None:
                spans.append((fall, rise))
            on = True
    return spans


def _cross(t0, v0, t1, v1, level):
    return t0 if v1 == v0 else t0 + (level - v0) * (t1 - t0) / (v1 - v0)


def moving_average_max(wave, name, window_us, start_us, end_us):
    """The largest mean of a vector over any window_us between start_us and end_us (trapezoids;
    the windows start at the samples)."""
    t, v = wave.time_us, wave.v[name]
    idx = [i for i in range(len(t)) if start_us <= t[i] <= end_us]
    if not idx:
        return 0.0
    lo, hi = idx[0], idx[-1]
    area = [0.0]
    for i in range(lo + 1, hi + 1):
        area.append(area[-1] + 0.5 * (v[i] + v[i - 1]) * (t[i] - t[i - 1]))
    best, j = 0.0, 0
    for i in range(len(area)):
        while j < len(area) - 1 and t[lo + j] - t[lo + i] < window_us:
            j += 1
        if t[lo + j] - t[lo + i] >= window_us:
            best = max(best, (area[j] - area[i]) / (t[lo + j] - t[lo + i]))
    return best

