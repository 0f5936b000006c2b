/*
 * What the verdict rests on, shared by the verdict's two files: the evidence gathered pair by
 * pair (evidence.cpp) and the rules that weigh it and say so (verdict.cpp).  Nothing else reads it.
 */
#ifndef EVIDENCE_H
#define EVIDENCE_H

#include "report.h"

enum {
    FLICKER_HALF_CYCLE_100_HZ_US = 10000,
    FLICKER_HALF_CYCLE_120_HZ_US = 8333,
    FLICKER_TOLERANCE_PERCENT = 8,      /* the two windows stay apart, and a lamp's jitter fits */
    FOREIGN_BURST_MIN_US = 2000,        /* longer than any data burst, shorter than a pause */
    FOREIGN_BURST_MAX_US = 12000,
    FOREIGN_GAP_MAX_US = 12000,
    FOREIGN_BIN_US = 500,
    FOREIGN_BINS = (FOREIGN_BURST_MAX_US - FOREIGN_BURST_MIN_US) / FOREIGN_BIN_US,
    /* The remote's leader in its own units: a burst of 8, a gap of 4; a 1-gap is 3 units. */
    LEADER_BURST_UNITS = 8,
    LEADER_GAP_UNITS = 4,
    LEADER_UNITS = LEADER_BURST_UNITS + LEADER_GAP_UNITS,
    ONE_GAP_UNITS = 3
};

/* Long bursts before a gap, by FOREIGN_BIN_US of burst. */
typedef struct ForeignLeaders {
    DWORD count;
    LONGLONG burstUs, gapMinUs, gapMaxUs;  /* the bursts' sum, the gaps' range */
} ForeignLeaders;

/* A leader-like pair or near miss, waiting for the data that make it this remote's. */
typedef struct Candidate {
    BOOL active;
    BOOL first;              /* the session's first pair, whose burst the decoder timed from the start */
    BOOL leader;             /* the decoder takes it */
    LONGLONG burst, gap;     /* ticks, as the decoder took them (the first pair's burst in 64 bits) */
    LONGLONG gapEnd;         /* the stamp of its gap's end, which names the frame it leads */
    LONGLONG unit60;         /* 60 times the remote's unit in ticks; 0 until known */
    int dataPairs;           /* pairs since, all of them this remote's data */
} Candidate;

/* What the verdict rests on: the evidence of this remote after the first pair, which the decoder
   measured from the start, and what that first pair was.  The reading thread writes it; the
   thread that stops the tool reads it only once it holds the session's lock. */
typedef struct Evidence {
    LONGLONG frequency;          /* the line's counter rate */
    DecoderLimits limits;
    Candidate candidate;
    BOOL firstPairChecked;
    BOOL firstFrameDropped;      /* the first pair led this remote's frame, its burst too long */
    BOOL firstFrameDecoded;      /* the first pair led this remote's frame as a leader, and it decoded */
    DWORD pairsChecked;          /* after the first */
    DWORD estimatePairs;         /* leaders and near misses of this remote after the first */
    LONGLONG estimateBurstTicks, estimateGapTicks;  /* their sums */
    DWORD nearMisses;            /* of those, the decoder's misses: each a frame lost */
    LONGLONG frameDue;           /* the gap's end of a leader of this remote whose frame is due; 0 none */
    BOOL frameDueFirst;          /* that leader is the first pair */
    DWORD framesLost;            /* leaders of this remote whose frame never came */
    DWORD framesDecoded, framesMatching;  /* of this remote's leaders */
    BOOL closestLeaderSeen;      /* the leader of this remote nearest a bound, and how near */
    LONGLONG closestMargin, closestBound;
    DWORD flicker100Hz, flicker120Hz;  /* pairs a half-cycle of the mains long */
    ForeignLeaders foreign[FOREIGN_BINS];
    DWORD foreignLeaders;
} Evidence;

/* Written by the reading thread (evidence.cpp); read by the one that prints the summary, once it
   holds the session's lock. */
extern Evidence evidence;

#endif
