/*
 * Test-only sources of receiver output that is not one of our frames, and a receiver line that
 * plays any such source from memory, for the noise-immunity tests and the host bench.
 *
 * A source hands out bursts (line off) and gaps (line on) in microseconds, as the receiver module
 * would deliver them.  Every source is seeded, so a run is repeatable.  The kinds:
 *   - random bursts: burst and gap lengths drawn at random, log-uniform over a range;
 *   - mains flicker: one burst per half-cycle of 100 Hz or 120 Hz, of a lamp-dependent width,
 *     with jitter; the lamp changes every half minute;
 *   - ballast bursts: a fluorescent lamp's electronic ballast seen, while it strikes, as runs
 *     of bursts of any length up to 4 ms with mostly short gaps between them;
 *   - other remotes: NEC-like (9 ms + 4.5 ms leader, 562/1687 us bits), SIRC-like (2.4 ms
 *     leader, 600/1200 us pulse-width bits) and RC5-like (889 us Manchester half-bits) key
 *     presses, repeated while held, and key presses in our own format carrying other makers'
 *     codes;
 *   - a mix: our table's frames in turn, each followed by a stretch of another source.
 * Remote-like sources add a receiver's burst stretch (100 us, inside the band the decoder
 * accepts) and edge jitter (15 us).
 */
#ifndef NOISE_H
#define NOISE_H

#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "ir_encoder.h"

class IntervalSource {
public:
    virtual ~IntervalSource() = default;
    /* The next burst or gap; false when the source has run dry. */
    virtual bool Next(IrInterval &interval) = 0;
};

/* A train made beforehand (ir_encoder.h), handed out once. */
class TrainSource : public IntervalSource {
public:
    explicit TrainSource(std::vector<IrInterval> train) : train_(std::move(train)) {}
    bool Next(IrInterval &interval) override
    {
        if (next_ == train_.size())
            return false;
        interval = train_[next_++];
        return true;
    }

private:
    std::vector<IrInterval> train_;
    size_t next_ = 0;
};

enum class NoiseKind {
    RandomWide,      /* bursts and gaps log-uniform over 50 us .. 50 ms */
    RandomDense,     /* bursts and gaps log-uniform over 100 us .. 6 ms, where our timings lie */
    MainsFlicker,    /* 100/120 Hz bursts with jitter */
    BallastBursts,   /* runs of bursts up to 4 ms with mostly short gaps */
    NecRemote,
    SircRemote,
    Rc5Remote,
    ForeignCodes,    /* our frame format, other makers' codes */
};

const std::vector<NoiseKind> &AllNoiseKinds();
const char *NoiseKindName(NoiseKind kind);

/* An endless source of `kind`. */
std::unique_ptr<IntervalSource> MakeNoise(NoiseKind kind, uint32_t seed);

/* Ends a source after `seconds` of simulated time (at an interval's end). */
std::unique_ptr<IntervalSource> LimitTo(std::unique_ptr<IntervalSource> source, double seconds);

/* A frame put into a mix: its code and when its leader burst begins (microseconds from the
   start of the source, as the memory line counts them). */
struct SentFrame {
    uint64_t code;
    uint64_t startUs;
};

/* Our table's frames (entries 0..15 in turn, with a receiver's stretch and jitter), each
   followed by 0.2 to 2 s of `noise` cut after a gap; `frames` frames in all, then a closing
   burst.  `sent` receives every frame as it is handed out. */
std::unique_ptr<IntervalSource> MixFramesInto(std::unique_ptr<IntervalSource> noise, int frames, uint32_t seed,
                                              std::vector<SentFrame> &sent);

/* Plays `source` as the receiver line (see receiver_line.h), with a virtual counter of
   `frequency` ticks per second, as the replay line plays a recording (recording_format.h).  When
   the source runs dry the wait throws RecordingEnded (replay_support.h).  One source at a time;
   the caller keeps it alive. */
struct ReceiverLine;
const ReceiverLine *MemoryLine(IntervalSource &source, int64_t frequency);

/* The line's changes so far, and the simulated time of the last one in microseconds. */
uint64_t MemoryLineChanges();
uint64_t MemoryLineMicroseconds();

/* Every frame ReadFrame returns from `source`, until it runs dry, passed to `onFrame`. */
void DecodeSource(IntervalSource &source, int64_t frequency, const std::function<void(uint64_t)> &onFrame);

/* A finite source written out as recording text, after `header` lines. */
std::string SourceToRecording(IntervalSource &source, const std::string &header);

/* What the receiver thread makes of a stream of decoded frames. */
struct CommandTally {
    uint64_t frames = 0;         /* frames the decoder returned */
    uint64_t zeroCodes = 0;      /* frames whose 49 gaps all read short */
    uint64_t perCommand[16] = {};
    void Add(uint64_t code);
    uint64_t Commands() const;
    std::string Listed() const;  /* "none" or "0:3 9:1 12:1" */
};

/* A frame the decoder returned, and when (MemoryLineMicroseconds() at its return). */
struct DecodedFrame {
    uint64_t code;
    uint64_t atUs;
};

/* Every frame ReadFrame returns from `source`, with its time. */
std::vector<DecodedFrame> DecodeWithTimes(IntervalSource &source, int64_t frequency);

/* Which sent frames came out: a frame counts as recovered when its code is returned after its
   leader began and no later than the next frame's leader began (the moment the decoder would
   return it at the latest).  Codes that are table entries but recover no frame are stray; the
   commands they would post are counted. */
struct Recovery {
    uint64_t recovered = 0;
    uint64_t strayCommands = 0;
};
Recovery MatchFrames(const std::vector<SentFrame> &sent, const std::vector<DecodedFrame> &decoded);

#endif
