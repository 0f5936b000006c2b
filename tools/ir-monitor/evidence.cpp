/*
 * The evidence ir-monitor's verdict rests on, gathered pair by pair as the line changes.
 *
 * A leader-like pair or a near miss is this remote's only when what follows it is this remote's
 * data: 48 pairs of a burst and a gap that add up to two units (a 0) or four (a 1), the unit
 * being the leader's (its burst and gap add up to 12), within a quarter of a unit.  Noise that
 * brushes the windows now and then is followed by nothing of the kind, and is no evidence.  Each
 * leader of this remote is then followed to its frame, so that frames that did not decode are
 * counted: a near miss, or a leader that came while the decoder was still reading another.
 */
#include "evidence.h"

#include <string.h>

enum {
    DATA_PAIRS = FRAME_DATA_PAIRS - 1,  /* the 48 that carry bits; the 49th is the closing pause */
    DATA_TOLERANCE_PERCENT = 25         /* of a unit, either way, for a data pair's sum */
};

Evidence evidence;

void StartVerdict(LONGLONG frequency, const DecoderLimits *limits)
{
    memset(&evidence, 0, sizeof evidence);
    evidence.frequency = frequency;
    evidence.limits = *limits;
}

/*
 * What the verdict rests on, gathered pair by pair: this remote's leaders and near misses for
 * the estimate, the leader nearest a bound, the frames lost, pairs a half-cycle of the mains
 * long, and long bursts that may be another remote's leaders.  The session's first pair is left
 * out of all of it: the decoder measures its burst from the start, not from the burst's own
 * beginning.  It only tells whether a first frame came that way: decoded, or lost because its
 * burst was too long.
 */

static BOOL IsWithinPercent(LONGLONG us, LONGLONG nominalUs, int percent)
{
    return us * 100 >= nominalUs * (100 - percent) && us * 100 <= nominalUs * (100 + percent);
}

/* Keeps `margin`, a leader's distance to `bound`, if no leader came nearer a bound. */
static void TakeLeaderMargin(LONGLONG margin, LONGLONG bound)
{
    if (evidence.closestLeaderSeen && margin >= evidence.closestMargin)
        return;
    evidence.closestLeaderSeen = TRUE;
    evidence.closestMargin = margin;
    evidence.closestBound = bound;
}

/* How near a leader the decoder took lies to the nearest of its four bounds. */
static void NoteLeaderMargin(LONGLONG burst, LONGLONG gap)
{
    const DecoderLimits *limits = &evidence.limits;
    TakeLeaderMargin(burst - limits->leaderBurstMin, limits->leaderBurstMin);
    TakeLeaderMargin(limits->leaderBurstMax - burst, limits->leaderBurstMax);
    TakeLeaderMargin(gap - limits->leaderGapMin, limits->leaderGapMin);
    TakeLeaderMargin(limits->leaderGapMax - gap, limits->leaderGapMax);
}

/* A pair that is neither a leader nor near one: a half-cycle of mains flicker, or a burst long
   enough to be another kind of remote's leader. */
static void NoteOtherPair(const TappedChange *burstEnd, const TappedChange *gapEnd)
{
    LONGLONG burstUs = InUnit(burstEnd->ticks, FALSE);
    LONGLONG gapUs = InUnit(gapEnd->ticks, FALSE);
    if (IsWithinPercent(burstUs + gapUs, FLICKER_HALF_CYCLE_100_HZ_US, FLICKER_TOLERANCE_PERCENT))
        evidence.flicker100Hz++;
    else if (IsWithinPercent(burstUs + gapUs, FLICKER_HALF_CYCLE_120_HZ_US, FLICKER_TOLERANCE_PERCENT))
        evidence.flicker120Hz++;
    if (burstUs < FOREIGN_BURST_MIN_US || burstUs >= FOREIGN_BURST_MAX_US || gapUs >= FOREIGN_GAP_MAX_US)
        return;
    ForeignLeaders *bin = &evidence.foreign[(burstUs - FOREIGN_BURST_MIN_US) / FOREIGN_BIN_US];
    if (bin->count == 0 || gapUs < bin->gapMinUs)
        bin->gapMinUs = gapUs;
    if (bin->count == 0 || gapUs > bin->gapMaxUs)
        bin->gapMaxUs = gapUs;
    bin->count++;
    bin->burstUs += burstUs;
    evidence.foreignLeaders++;
}

/* Whether a pair of `sum` ticks is a data pair of the candidate's remote: two units or four. */
static BOOL IsDataPair(const Candidate *candidate, LONGLONG sum)
{
    LONGLONG sum60 = 60 * sum, tolerance = candidate->unit60 * DATA_TOLERANCE_PERCENT / 100;
    return (sum60 >= 2 * candidate->unit60 - tolerance && sum60 <= 2 * candidate->unit60 + tolerance) ||
           (sum60 >= 4 * candidate->unit60 - tolerance && sum60 <= 4 * candidate->unit60 + tolerance);
}

/* The candidate has been followed by this remote's data: it is evidence. */
static void TakeCandidate(const Candidate *candidate)
{
    const DecoderLimits *limits = &evidence.limits;
    if (candidate->first) {
        evidence.firstFrameDropped = !candidate->leader && candidate->burst >= limits->leaderBurstMax;
        return;
    }
    evidence.estimatePairs++;
    evidence.estimateBurstTicks += candidate->burst;
    evidence.estimateGapTicks += candidate->gap;
    if (candidate->leader)
        NoteLeaderMargin(candidate->burst, candidate->gap);
    else
        evidence.nearMisses++;
}

/* Follows the candidate with the pair that has just ended; FALSE when the pair is not its data. */
static BOOL FollowCandidate(Candidate *candidate, LONGLONG burst, LONGLONG gap)
{
    if (candidate->dataPairs == DATA_PAIRS) {  /* the closing burst and the pause after it */
        candidate->active = FALSE;
        if (candidate->leader) {
            evidence.frameDue = candidate->gapEnd;
            evidence.frameDueFirst = candidate->first;
        }
        return TRUE;
    }
    if (candidate->unit60 == 0)  /* the first pair's burst tells nothing: the gap and a data burst make 5 units */
        candidate->unit60 = 12 * (candidate->gap + burst);
    if (!IsDataPair(candidate, burst + gap)) {
        candidate->active = FALSE;
        return FALSE;
    }
    if (++candidate->dataPairs == DATA_PAIRS)
        TakeCandidate(candidate);
    return TRUE;
}

void NoteVerdictPair(const TappedChange *burstEnd, const TappedChange *gapEnd, BOOL leader, BOOL nearMiss)
{
    const DecoderLimits *limits = &evidence.limits;
    LONGLONG burst = burstEnd->decoderTicks;
    LONGLONG gap = gapEnd->decoderTicks;
    BOOL first = !evidence.firstPairChecked;
    evidence.firstPairChecked = TRUE;
    /* The pair after a leader's frame: its frame was reported, or it never came. */
    if (evidence.frameDue != 0) {
        evidence.framesLost += !evidence.frameDueFirst;
        evidence.frameDue = 0;
    }
    if (!first)
        evidence.pairsChecked++;
    Candidate *candidate = &evidence.candidate;
    if (candidate->active && FollowCandidate(candidate, burst, gap))
        return;
    /* The first pair may be a leader whose burst began before the start: too long, not near. */
    if (first && !leader && !nearMiss && burstEnd->decoderSpan >= limits->leaderBurstMax &&
        IsNear(gap, limits->leaderGapMin, limits->leaderGapMax))
        nearMiss = TRUE;
    if (leader || nearMiss) {
        candidate->active = TRUE;
        candidate->first = first;
        candidate->leader = leader;
        candidate->burst = first ? burstEnd->decoderSpan : burst;
        candidate->gap = gap;
        candidate->gapEnd = gapEnd->stamp;
        candidate->unit60 = first ? 0 : 5 * (burst + gap);
        candidate->dataPairs = 0;
    } else if (!first) {
        NoteOtherPair(burstEnd, gapEnd);
    }
}

void NoteVerdictFrame(const TappedChange *leaderGapEnd, BOOL matching)
{
    if (leaderGapEnd == NULL || evidence.frameDue == 0 || leaderGapEnd->stamp != evidence.frameDue)
        return;
    evidence.frameDue = 0;
    if (evidence.frameDueFirst) {
        evidence.firstFrameDecoded = TRUE;
        return;
    }
    evidence.framesDecoded++;
    if (matching)
        evidence.framesMatching++;
}
