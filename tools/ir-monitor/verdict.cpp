/*
 * ir-monitor's verdict: the summary's last line, which says in plain words whether the receiver
 * fits the decoder's windows, and if it does not, what the line showed instead.  Here are the
 * estimate of the receiver's lengthening, the rules in the order they win, their thresholds and
 * their words; the evidence they rest on is gathered pair by pair in evidence.cpp.  The
 * verdicts' openings (VERDICT_OPENINGS) are quoted word for word in package/README.txt, which a
 * unit test checks, and in the verdict table of tests/unit/ir_monitor_test.cpp
 * (TheVerdictSaysInWordsWhetherTheReceiverFitsAndWhatTheLineShowed): change them together.
 *
 * One verdict is given, the first of these that holds, so a remote seen at all outweighs
 * anything else the session held:
 *   1. leader-like pairs or near misses of this remote (after the first pair): the receiver's
 *      lengthening, the band the decoder accepts for this remote, and `fits`, `too little` or
 *      `too much`; `fits` whenever one of their frames decoded, with how close the closest leader
 *      came to a bound, and a warning whenever some of their frames were lost;
 *   2. only the first pair was this remote's leader, which the decoder measured from the start:
 *      its frame decoded all the same, or its burst was too long for the window;
 *   3. no change at all: the likely causes in order (the supply from RTS, the wiring, the module);
 *   4. one or two changes within POWER_UP_MS of the start, the last a rise: the module's output
 *      coming up with its supply, and no infrared;
 *   5. most pairs a half-cycle of the mains (10 ms at 100 Hz, 8.3 ms at 120 Hz): lamp flicker;
 *   6. long bursts of about one length (within two neighbouring 500 us bins), far from the leader
 *      windows: another kind of remote's leaders;
 *   7. otherwise, where most bursts and gaps lay.
 */
#include "evidence.h"

enum {
    POWER_UP_MS = 2000,                 /* changes this soon after the start may be the power-up */
    FLICKER_PAIRS_MIN = 10,
    FOREIGN_LEADERS_MIN = 2,
    TRIM_WORTH_US = 10                  /* nearer the band's middle than this, trimming gains nothing */
};

/*
 * The estimate.  A receiver lengthens every burst by the same L and shortens the gap after it by
 * as much, so a leader keeps the remote's own sum of 12 units (8 of burst, 4 of gap): from a
 * pair's burst B and gap G, the unit is (B + G) / 12, and L = B - 8 units = (B - 2G) / 3.  The
 * estimate takes the mean B and G of all those pairs, shown or not, so a remote whose resonator
 * runs slow or fast is measured by its own unit, and the jitter of single edges averages out.
 * The band is every L for which a remote of that unit has its leader burst and gap inside both
 * windows and its data gaps on the right side of the bit threshold, worked out from the limits in
 * use at the line's counter rate; it is shown in whole microseconds strictly inside its bounds.
 * Everything is in tenths of a microsecond, the means scaled from the sums of ticks, so the host
 * tool and the .exe give the same figures.
 */

/* The mean of `sumTicks` over `count` pairs, in tenths of a microsecond: the mean in tenths of a
   tick first, so neither step's product can overflow. */
static LONGLONG MeanInTenths(LONGLONG sumTicks, DWORD count)
{
    LONGLONG tenthsOfTicks = ScaleTime(sumTicks, count, TENTHS_PER_US);
    return ScaleTime(tenthsOfTicks, evidence.frequency, MICROSECONDS_PER_SECOND);
}

/* The receiver's lengthening and the band the windows leave it, all 12 times their size in
   tenths of a microsecond, so that no division rounds before the comparison.  Leaders and near
   misses are a few milliseconds long, so 32 bits hold all of it. */
typedef struct LengtheningEstimate {
    LONG unit12;         /* the remote's unit */
    LONG lengthening12;  /* L */
    LONG lowest12, highest12;  /* L must lie above the one and below the other */
} LengtheningEstimate;

static LONG Larger(LONG a, LONG b) { return a > b ? a : b; }
static LONG Smaller(LONG a, LONG b) { return a < b ? a : b; }

/* A limit, 12 times its size in tenths of a microsecond. */
static LONG Limit12(LONGLONG ticks) { return LEADER_UNITS * (LONG)InUnit(ticks, TRUE); }

static LengtheningEstimate EstimateLengthening(void)
{
    const DecoderLimits *limits = &evidence.limits;
    LONG burst = (LONG)MeanInTenths(evidence.estimateBurstTicks, evidence.estimatePairs);
    LONG gap = (LONG)MeanInTenths(evidence.estimateGapTicks, evidence.estimatePairs);
    LONG units12 = burst + gap;  /* 12 x the unit */
    LONG threshold = Limit12(limits->bitThreshold);
    LengtheningEstimate estimate;
    estimate.unit12 = units12;
    estimate.lengthening12 = LEADER_GAP_UNITS * (burst - 2 * gap);  /* 12 x (B - 2G) / 3 */
    /* The leader burst 8u + L above its lower bound, the leader gap 4u - L below its upper one,
       a 0-gap u - L at most the threshold. */
    estimate.lowest12 = Larger(Larger(Limit12(limits->leaderBurstMin) - LEADER_BURST_UNITS * units12,
                                      LEADER_GAP_UNITS * units12 - Limit12(limits->leaderGapMax)),
                               units12 - threshold);
    /* The burst below its upper bound, the gap above its lower one, a 1-gap 3u - L over the
       threshold. */
    estimate.highest12 = Smaller(Smaller(Limit12(limits->leaderBurstMax) - LEADER_BURST_UNITS * units12,
                                         LEADER_GAP_UNITS * units12 - Limit12(limits->leaderGapMin)),
                                 ONE_GAP_UNITS * units12 - threshold);
    return estimate;
}

/* 12 x tenths of a microsecond as whole microseconds: rounded, or the first whole number above
   (`side` 1) or below (-1) it. */
static LONG Whole12(LONG value12, int side)
{
    const LONG per = LEADER_UNITS * TENTHS_PER_US;
    LONG floor = value12 >= 0 ? value12 / per : -((-value12 + per - 1) / per);
    if (side > 0)
        return floor + 1;
    if (side < 0)
        return value12 % per == 0 ? floor - 1 : floor;
    return value12 >= 0 ? (value12 + per / 2) / per : -((-value12 + per / 2) / per);
}

static Figure Number(LONGLONG value) { return UnitText(value, FALSE); }

const char *const VERDICT_OPENINGS[VERDICT_KINDS] = {
    "fits.",
    "fits, at the edge.",
    "fits, but no frame was completed.",
    "no lengthening fits this remote.",
    "too little.",
    "too much.",
    "fits: 1 frame decoded, but its leader was the first pair",
    "the remote was seen, but only its first frame",
    "the line never changed",
    "wired and powered, but no infrared seen",
    "lamp flicker",
    "another kind of remote",
    "no leader seen",
};

/* The verdict's first words, after "# verdict:". */
static void Open(ReportLine *line, VerdictKind kind)
{
    AppendWords(line, " %s", VERDICT_OPENINGS[kind]);
}

LONG PairLengtheningUs(LONGLONG burstTicks, LONGLONG gapTicks)
{
    return Whole12(LEADER_GAP_UNITS * (LONG)(InUnit(burstTicks, TRUE) - 2 * InUnit(gapTicks, TRUE)), 0);
}

static void SayFirstFrameDropped(ReportLine *line)
{
    if (evidence.firstFrameDropped)
        AppendWords(line, " The first frame was not counted: the decoder times the first burst from the start,"
                          " so press the first key twice.");
}

static void SayClosestLeader(ReportLine *line)
{
    if (!evidence.closestLeaderSeen)
        return;
    LONGLONG bound = InUnit(evidence.closestBound, FALSE);
    AppendWords(line, " The closest leader came %s~us from a bound (%s~us).",
                Number(Larger(0, InUnit(evidence.closestMargin, FALSE))).text, Number(bound).text);
}

/* How far the trimmer of the receiver's lengthening stage should move the lengthening: to the
   middle of the band, where the leaders stand furthest from every bound. */
static void SayTrim(ReportLine *line, const LengtheningEstimate *estimate)
{
    LONG toMiddle12 = (estimate->lowest12 + estimate->highest12) / 2 - estimate->lengthening12;
    LONG us = Whole12(toMiddle12 < 0 ? -toMiddle12 : toMiddle12, 0);
    if (us < TRIM_WORTH_US)
        return;
    if (toMiddle12 > 0)
        AppendWords(line, " To the band's middle: add about %s~us with the trimmer RV1 (README: trimming RV1).",
                    Number(us).text);
    else
        AppendWords(line, " That is about %s~us too much: turn RV1 down, or at its lowest end turn D2 round, or"
                          " choose a module that lengthens bursts less (README: trimming RV1).",
                    Number(us).text);
}

static void SayTiming(ReportLine *line)
{
    LengtheningEstimate estimate = EstimateLengthening();
    LONG first = Whole12(estimate.lowest12, 1), last = Whole12(estimate.highest12, -1);
    BOOL inBand = estimate.lengthening12 > estimate.lowest12 && estimate.lengthening12 < estimate.highest12;
    BOOL decoded = evidence.framesDecoded > 0;
    DWORD lost = evidence.nearMisses + evidence.framesLost;
    char rate[NUMBER_TEXT_SIZE];
    FormatUnsigned64((ULONGLONG)evidence.frequency, 10, 1, rate);
    if (decoded)
        Open(line, inBand && lost == 0 ? VERDICT_FITS : VERDICT_AT_THE_EDGE);
    else if (first > last)
        Open(line, VERDICT_NO_LENGTHENING_FITS);
    else if (inBand && lost > 0)
        Open(line, VERDICT_AT_THE_EDGE);
    else if (inBand)
        Open(line, VERDICT_NO_FRAME_COMPLETED);
    else
        Open(line, estimate.lengthening12 <= estimate.lowest12 ? VERDICT_TOO_LITTLE : VERDICT_TOO_MUCH);
    AppendWords(line, " The receiver lengthens bursts by about %s~us", Number(Whole12(estimate.lengthening12, 0)).text);
    if (estimate.lengthening12 < 0)
        AppendWords(line, " (it shortens them)");
    if (first > last) {
        AppendWords(line, "; but with a unit of about %s~us, this remote's leader cannot have both its burst"
                          " and its gap inside the windows at %s~Hz, whatever the lengthening: it belongs to"
                          " another device.",
                    Number(Whole12(estimate.unit12, 0)).text, rate);
        SayFirstFrameDropped(line);
        return;
    }
    AppendWords(line, "; for this remote (a unit of about %s~us) the program accepts %s-%s~us at %s~Hz.",
                Number(Whole12(estimate.unit12, 0)).text, Number(first).text, Number(last).text, rate);
    if (decoded || (inBand && lost > 0)) {
        SayClosestLeader(line);
        if (lost > 0)
            AppendWords(line, " %lu of the %lu frames seen did not decode: expect missed key presses.",
                        (unsigned long)lost, (unsigned long)(lost + evidence.framesDecoded));
        else if (!inBand)
            AppendWords(line, " Leaders that far out are lost now and then: expect missed key presses.");
        if (decoded && evidence.framesMatching == 0)
            AppendWords(line, " None of the %lu frames is in the program's table: the remote belongs to another device.",
                        (unsigned long)evidence.framesDecoded);
    } else if (inBand) {
        AppendWords(line, " A frame ends only when the next burst begins: hold a key a moment, or press another.");
    } else {
        AppendWords(line, " So no leader fits the windows.");
    }
    if (!inBand || lost > 0)
        SayTrim(line, &estimate);
    SayFirstFrameDropped(line);
}

/* Frames decoded, but only from the session's first pair, which the estimate leaves out. */
static void SayTooFewLeaders(ReportLine *line)
{
    Open(line, VERDICT_FIRST_PAIR_DECODED);
    AppendWords(line, ", which the decoder times from the start, so it tells nothing of the lengthening. Press keys"
                      " again, holding each a moment, for the estimate.");
}

static void SayOnlyTheFirstFrame(ReportLine *line)
{
    Open(line, VERDICT_ONLY_THE_FIRST_FRAME);
    AppendWords(line, ", which never counts: the decoder times the first burst from the start. Press keys again,"
                      " holding each a moment.");
}

static void SayDeadLine(ReportLine *line)
{
    Open(line, VERDICT_DEAD_LINE);
    AppendWords(line, ": nothing reaches carrier detect (DCD), not even a key press."
                      " Likely causes, most likely first: the supply from RTS (with ir-monitor running, RTS"
                      " reads +5 to +12~V and the rail 3.3~V; RTS at about 0~V is a port that cannot power the"
                      " receiver); the wiring (the 74HC14's pin 4 through R3 to DCD, ground to signal ground);"
                      " the module's output to the 74HC14's pin 1. See README: wiring the receiver.");
}

/* The stamp of the latest change, from where the decoder began. */
static LONGLONG MillisecondsToLatestChange(void)
{
    return ScaleTime(RecentChange(0)->stamp - TapStartStamp(), evidence.frequency, MILLISECONDS_PER_SECOND);
}

/* One or two changes soon after the start, the last of them the line coming on: the module's
   output rising with its supply (a replay starts with the line on, so it shows a fall first). */
static BOOL IsPowerUpOnly(void)
{
    return TappedChangeCount() <= 2 && RecentChange(0)->on && MillisecondsToLatestChange() <= POWER_UP_MS;
}

static void SayPowerUp(ReportLine *line)
{
    Open(line, VERDICT_POWER_UP);
    AppendWords(line, ": the line changed %s %s~ms after the start (the"
                      " module's output rising as RTS came on), then never again. Point the remote at the"
                      " receiver and press a key.",
                TappedChangeCount() == 1 ? "once," : "twice, the second", Number(MillisecondsToLatestChange()).text);
}

static BOOL IsLampFlicker(void)
{
    DWORD flicker = evidence.flicker100Hz + evidence.flicker120Hz;
    return flicker >= FLICKER_PAIRS_MIN && flicker * 2 >= evidence.pairsChecked;
}

static void SayLampFlicker(ReportLine *line)
{
    BOOL at100Hz = evidence.flicker100Hz >= evidence.flicker120Hz;
    Open(line, VERDICT_LAMP_FLICKER);
    AppendWords(line, ": %lu of %lu bursts came %s~ms apart (%s~Hz, a lamp on %s~Hz mains): a lamp's"
                      " light reaches the receiver, and no remote was seen. Shade the receiver from it, or"
                      " switch it off, and try again.",
                (unsigned long)(at100Hz ? evidence.flicker100Hz : evidence.flicker120Hz), (unsigned long)evidence.pairsChecked,
                at100Hz ? "10" : "8.3", at100Hz ? "100" : "120", at100Hz ? "50" : "60");
}

/* Long bursts of one length: the two neighbouring bins that hold most of them (a remote's
   leaders, jittering, may straddle a bin's edge), if those hold enough to be a remote's leaders
   (a ballast's bursts of any length spread over the bins). */
typedef struct ForeignCluster {
    DWORD count;
    LONGLONG burstUs, gapMinUs, gapMaxUs;
} ForeignCluster;

static void AddToCluster(ForeignCluster *cluster, const ForeignLeaders *bin)
{
    if (bin->count == 0)
        return;
    if (cluster->count == 0 || bin->gapMinUs < cluster->gapMinUs)
        cluster->gapMinUs = bin->gapMinUs;
    if (cluster->count == 0 || bin->gapMaxUs > cluster->gapMaxUs)
        cluster->gapMaxUs = bin->gapMaxUs;
    cluster->count += bin->count;
    cluster->burstUs += bin->burstUs;
}

static BOOL FindForeignLeaders(ForeignCluster *found)
{
    int fullest = 0;
    for (int bin = 1; bin + 1 < FOREIGN_BINS; bin++)
        if (evidence.foreign[bin].count + evidence.foreign[bin + 1].count >
            evidence.foreign[fullest].count + evidence.foreign[fullest + 1].count)
            fullest = bin;
    ForeignCluster cluster = {0, 0, 0, 0};
    AddToCluster(&cluster, &evidence.foreign[fullest]);
    AddToCluster(&cluster, &evidence.foreign[fullest + 1]);
    *found = cluster;
    return cluster.count >= FOREIGN_LEADERS_MIN && cluster.count * 2 >= evidence.foreignLeaders;
}

static void SayAnotherRemote(ReportLine *line, const ForeignCluster *leaders)
{
    Open(line, VERDICT_ANOTHER_REMOTE);
    AppendWords(line, ": %lu leader bursts of about %s~us (gaps of %s-%s~us) came, far from"
                      " the %s-%s~us bursts and %s-%s~us gaps of this program's remotes. The receiver works, but"
                      " the program cannot read this remote.",
                (unsigned long)leaders->count, Number(leaders->burstUs / leaders->count).text,
                Number(leaders->gapMinUs).text, Number(leaders->gapMaxUs).text, Us(evidence.limits.leaderBurstMin).text,
                Us(evidence.limits.leaderBurstMax).text, Us(evidence.limits.leaderGapMin).text,
                Us(evidence.limits.leaderGapMax).text);
}

static void SayWhatWasSeen(ReportLine *line)
{
    char bursts[2 * TIME_TEXT_SIZE], gaps[2 * TIME_TEXT_SIZE];
    BOOL anyBurst = DescribeFullestBin(TRUE, bursts);
    BOOL anyGap = DescribeFullestBin(FALSE, gaps);
    char times[NUMBER_TEXT_SIZE + 8];
    if (TappedChangeCount() == 1)
        lstrcpyA(times, "once");
    else
        wsprintfA(times, "%lu times", (unsigned long)TappedChangeCount());
    Open(line, VERDICT_NO_LEADER);
    AppendWords(line, ": the line changed %s, but nothing in it looked like a leader of"
                      " this program's remotes or of another kind, nor like lamp flicker.", times);
    /* A histogram that holds nothing has no fullest bin to quote. */
    if (anyBurst && anyGap)
        AppendWords(line, " Most bursts lasted %s, most gaps %s (see the histograms).", bursts, gaps);
    else if (anyBurst || anyGap)
        AppendWords(line, " Most %s lasted %s (see the histograms).", anyBurst ? "bursts" : "gaps", anyBurst ? bursts : gaps);
}

void WriteVerdict(void)
{
    ReportLine line = {"", 0, 0};
    Append(&line, "# verdict:");
    ForeignCluster foreign;
    if (evidence.estimatePairs > 0)
        SayTiming(&line);
    else if (evidence.firstFrameDecoded)
        SayTooFewLeaders(&line);
    else if (evidence.firstFrameDropped)
        SayOnlyTheFirstFrame(&line);
    else if (TappedChangeCount() == 0)
        SayDeadLine(&line);
    else if (IsPowerUpOnly())
        SayPowerUp(&line);
    else if (IsLampFlicker())
        SayLampFlicker(&line);
    else if (FindForeignLeaders(&foreign))
        SayAnotherRemote(&line, &foreign);
    else
        SayWhatWasSeen(&line);
    WriteLine(&line);
}
