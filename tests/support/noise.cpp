/*
 * Noise sources and the in-memory receiver line; see noise.h.
 */
#include "noise.h"

#include <algorithm>
#include <cmath>
#include <deque>

#include "replay_support.h"

#include "../../receiver/code_table.h"
#include "../../receiver/frame_decoder.h"
#include "../../receiver/recording_format.h"

namespace {

uint32_t Us(double us) { return static_cast<uint32_t>(std::max(1.0, std::round(us))); }

double LogUniform(std::mt19937 &random, double low, double high)
{
    return std::exp(std::uniform_real_distribution<double>(std::log(low), std::log(high))(random));
}

double Uniform(std::mt19937 &random, double low, double high)
{
    return std::uniform_real_distribution<double>(low, high)(random);
}

/* Bursts and gaps in turn, each log-uniform over [low, high]. */
class RandomBursts : public IntervalSource {
public:
    RandomBursts(uint32_t seed, double low, double high) : random_(seed), low_(low), high_(high) {}
    bool Next(IrInterval &interval) override
    {
        burst_ = !burst_;
        interval = {burst_, Us(LogUniform(random_, low_, high_))};
        return true;
    }

private:
    std::mt19937 random_;
    double low_, high_;
    bool burst_ = false;
};

/* One burst per half-cycle of the mains; a new lamp (rate, burst width, jitter) every 30 s. */
class MainsFlicker : public IntervalSource {
public:
    explicit MainsFlicker(uint32_t seed) : random_(seed) {}
    bool Next(IrInterval &interval) override
    {
        if (elapsedUs_ >= lampEndUs_)
            NewLamp();
        if (!burstDue_) {
            interval = {false, gapUs_};
        } else {
            /* Each burst's start and width move by up to the lamp's jitter; the gap after it
               fills the half-cycle up to the next burst's (moved) start. */
            double nextShift = Uniform(random_, -jitterUs_, jitterUs_);
            uint32_t width = Us(widthUs_ + Uniform(random_, -jitterUs_, jitterUs_));
            interval = {true, width};
            gapUs_ = Us(halfCycleUs_ - width + nextShift - shift_);
            shift_ = nextShift;
        }
        burstDue_ = !burstDue_;
        elapsedUs_ += interval.us;
        return true;
    }

private:
    void NewLamp()
    {
        halfCycleUs_ = 1e6 / (random_() % 2 ? 100.0 : 120.0);
        widthUs_ = Uniform(random_, 150, 4000);
        jitterUs_ = Uniform(random_, 20, 600);
        lampEndUs_ = elapsedUs_ + 30e6;
    }

    std::mt19937 random_;
    double halfCycleUs_ = 0, widthUs_ = 0, jitterUs_ = 0, shift_ = 0, elapsedUs_ = 0, lampEndUs_ = 0;
    uint32_t gapUs_ = 0;
    bool burstDue_ = true;
};

/* While the lamp strikes (0.05 to 1.5 s at a time, 0.1 to 3 s apart): bursts log-uniform over
   80 us .. 4 ms, gaps of 80 to 600 us, one gap in twenty log-uniform over 600 us .. 3 ms. */
class BallastBursts : public IntervalSource {
public:
    explicit BallastBursts(uint32_t seed) : random_(seed) {}
    bool Next(IrInterval &interval) override
    {
        if (burstDue_ && episodeLeftUs_ <= 0) {
            episodeLeftUs_ = Uniform(random_, 0.05e6, 1.5e6);
            interval = {false, Us(Uniform(random_, 0.1e6, 3e6))};
            return true;
        }
        double us;
        if (burstDue_)
            us = LogUniform(random_, 80, 4000);
        else
            us = random_() % 20 == 0 ? LogUniform(random_, 600, 3000) : Uniform(random_, 80, 600);
        interval = {burstDue_, Us(us)};
        burstDue_ = !burstDue_;
        episodeLeftUs_ -= us;
        return true;
    }

private:
    std::mt19937 random_;
    double episodeLeftUs_ = 0;
    bool burstDue_ = true;
};

/* Key presses of some remote, one after another with 0.15 to 1.5 s between them; each press
   is queued whole, then handed out with a receiver's stretch and jitter. */
class KeyPresses : public IntervalSource {
public:
    explicit KeyPresses(uint32_t seed) : random_(seed) {}
    bool Next(IrInterval &interval) override
    {
        if (queue_.empty()) {
            Press();
            Gap(Uniform(random_, 0.15e6, 1.5e6));
        }
        interval = queue_.front();
        queue_.pop_front();
        return true;
    }

protected:
    virtual void Press() = 0;

    /* As the receiver delivers them: bursts lengthened, the gap after each shortened. */
    void Burst(double us) { Add(true, us + STRETCH_US); }
    void Gap(double us) { Add(false, us - STRETCH_US); }
    /* Fills the rest of a frame period that began `usedUs` ago. */
    void GapUntil(double periodUs, double usedUs) { Gap(std::max(periodUs - usedUs, 5000.0)); }

    static constexpr double STRETCH_US = 100;  /* one receiver inside the band the decoder accepts */
    static constexpr double JITTER_US = 15;
    std::mt19937 random_;
    std::deque<IrInterval> queue_;

private:
    void Add(bool burst, double us) { queue_.push_back({burst, Us(us + Uniform(random_, -JITTER_US, JITTER_US))}); }
};

/* 9 ms + 4.5 ms leader, 32 bits LSB first (address, its inverse, command, its inverse) as
   562 us bursts with 562/1687 us gaps, a stop burst, every 108 ms; then repeat codes
   (9 ms + 2.25 ms + 562 us) every 108 ms while the key is held. */
class NecRemote : public KeyPresses {
public:
    using KeyPresses::KeyPresses;

private:
    void Press() override
    {
        uint32_t address = random_() & 0xFF, command = random_() & 0xFF;
        uint32_t bits = address | (~address & 0xFF) << 8 | command << 16 | (~command & 0xFFu) << 24;
        double used = 9000 + 4500 + 562;
        Burst(9000);
        Gap(4500);
        for (int i = 0; i < 32; i++) {
            double gap = (bits >> i) & 1 ? 1687 : 562;
            Burst(562);
            Gap(gap);
            used += 562 + gap;
        }
        Burst(562);
        GapUntil(108000, used);
        for (int repeats = random_() % 5; repeats > 0; repeats--) {
            Burst(9000);
            Gap(2250);
            Burst(562);
            GapUntil(108000, 9000 + 2250 + 562);
        }
    }
};

/* 2.4 ms leader burst, then 12 bits LSB first (7 command, 5 address), each a 600 us gap and
   a 600 us (0) or 1200 us (1) burst; sent 3 to 5 times, one every 45 ms. */
class SircRemote : public KeyPresses {
public:
    using KeyPresses::KeyPresses;

private:
    void Press() override
    {
        uint32_t bits = random_() & 0xFFF;
        for (int frames = 3 + random_() % 3; frames > 0; frames--) {
            double used = 2400;
            Burst(2400);
            for (int i = 0; i < 12; i++) {
                double burst = (bits >> i) & 1 ? 1200 : 600;
                Gap(600);
                Burst(burst);
                used += 600 + burst;
            }
            GapUntil(45000, used);
        }
    }
};

/* 14 Manchester bits of 2 x 889 us (two start bits, toggle, 5 address, 6 command): a 1 is a
   gap then a burst, a 0 a burst then a gap; sent 1 to 4 times, one every 113.8 ms. */
class Rc5Remote : public KeyPresses {
public:
    using KeyPresses::KeyPresses;

private:
    void Press() override
    {
        toggle_ = !toggle_;
        uint32_t bits = 0x3000 | (toggle_ ? 0x800u : 0u) | (random_() & 0x7FF);
        for (int frames = 1 + random_() % 4; frames > 0; frames--) {
            std::vector<bool> halves;  /* true: burst */
            for (int i = 13; i >= 0; i--) {
                bool one = (bits >> i) & 1;
                halves.push_back(!one);
                halves.push_back(one);
            }
            double used = 0;
            for (size_t i = 0; i < halves.size();) {
                size_t run = 1;
                while (i + run < halves.size() && halves[i + run] == halves[i])
                    run++;
                double us = 889.0 * run;
                if (halves[i])
                    Burst(us);
                else
                    Gap(us);
                used += us;
                i += run;
            }
            GapUntil(113778, used);
        }
    }

    bool toggle_ = false;
};

/* Our own frame format with codes in no table entry, held for 1 to 3 frames. */
class ForeignCodes : public KeyPresses {
public:
    using KeyPresses::KeyPresses;

private:
    void Press() override
    {
        uint64_t code;
        do {
            uint64_t high = random_();
            code = ((high << 17 ^ random_()) & 0x1FFFFFFFFFFFEull) | 1;
        } while (std::find(CodeTable, CodeTable + CODE_TABLE_SIZE, code) != CodeTable + CODE_TABLE_SIZE);
        IrTiming timing;
        timing.markStretchUs = STRETCH_US;
        timing.jitterUs = JITTER_US;
        std::vector<IrInterval> train;
        for (int frames = 1 + random_() % 3; frames > 0; frames--)
            EncodeFrame(code, timing, random_, train);
        queue_.insert(queue_.end(), train.begin(), train.end());
    }
};

class Limited : public IntervalSource {
public:
    Limited(std::unique_ptr<IntervalSource> source, double seconds) : source_(std::move(source)), leftUs_(seconds * 1e6) {}
    bool Next(IrInterval &interval) override
    {
        if (leftUs_ <= 0 || !source_->Next(interval))
            return false;
        leftUs_ -= interval.us;
        return true;
    }

private:
    std::unique_ptr<IntervalSource> source_;
    double leftUs_;
};

/* A table frame, then noise up to a gap, again and again; a short closing pause (entry 14) is
   ended by a burst of its own, as the next frame's leader would end it. */
class Mix : public IntervalSource {
public:
    Mix(std::unique_ptr<IntervalSource> noise, int frames, uint32_t seed, std::vector<SentFrame> &sent)
        : noise_(std::move(noise)), random_(seed), framesLeft_(frames), sent_(sent)
    {
        timing_.markStretchUs = 100;
        timing_.jitterUs = 15;
    }
    bool Next(IrInterval &interval) override
    {
        if (!NextUntimed(interval))
            return false;
        elapsedUs_ += interval.us;
        return true;
    }

private:
    bool NextUntimed(IrInterval &interval)
    {
        if (frame_.empty()) {
            if (inNoise_ && (noiseLeftUs_ > 0 || lastWasBurst_)) {
                if (!noise_->Next(interval))
                    return false;
                noiseLeftUs_ -= interval.us;
                lastWasBurst_ = interval.pulse;
                return true;
            }
            if (framesLeft_ == 0) {
                if (finished_)
                    return false;
                finished_ = true;
                interval = {true, Us(timing_.markUs)};
                return true;
            }
            QueueFrame();
        }
        interval = frame_.front();
        frame_.pop_front();
        return true;
    }

    void QueueFrame()
    {
        uint64_t code = CodeTable[sent_.size() % CODE_TABLE_SIZE];
        sent_.push_back({code, elapsedUs_});
        std::vector<IrInterval> train;
        EncodeFrame(code, timing_, random_, train);
        if ((code & 1) == 0)
            train.push_back({true, Us(timing_.markUs)});
        frame_.assign(train.begin(), train.end());
        framesLeft_--;
        inNoise_ = true;
        noiseLeftUs_ = Uniform(random_, 0.2e6, 2e6);
    }

    std::unique_ptr<IntervalSource> noise_;
    std::mt19937 random_;
    IrTiming timing_;
    int framesLeft_;
    std::vector<SentFrame> &sent_;
    std::deque<IrInterval> frame_;
    uint64_t elapsedUs_ = 0;
    bool inNoise_ = false, lastWasBurst_ = false, finished_ = false;
    double noiseLeftUs_ = 0;
};

/* The memory line's state: receiver thread only, like the replay line's.  It plays the source
   as the replay line plays a recording, in microseconds. */
IntervalSource *lineSource;
int64_t lineFrequency;
RecordingPlayer player;
uint64_t changes;

BOOL NextInterval(RecordingLine *item)
{
    IrInterval interval;
    if (!lineSource->Next(interval))
        return FALSE;
    *item = {interval.pulse ? LINE_PULSE : LINE_SPACE, interval.us, nullptr};
    return TRUE;
}

void OpenMemoryLine() {}

BOOL WaitMemoryLineChange()
{
    if (!PlayNextChange(&player))
        throw RecordingEnded();
    changes++;
    return player.lineOn;
}

void ReadMemoryLineCounter(LARGE_INTEGER *count)
{
    count->QuadPart = ScaleTime(static_cast<LONGLONG>(player.lastChange), MICROSECONDS_PER_SECOND, lineFrequency);
}

void ReadMemoryLineFrequency(LARGE_INTEGER *frequency) { frequency->QuadPart = lineFrequency; }

const ReceiverLine memoryLine = {.openLine = OpenMemoryLine,
                                 .waitLineChange = WaitMemoryLineChange,
                                 .readCounter = ReadMemoryLineCounter,
                                 .readFrequency = ReadMemoryLineFrequency};

}  // namespace

const std::vector<NoiseKind> &AllNoiseKinds()
{
    static const std::vector<NoiseKind> kinds = {
        NoiseKind::RandomWide, NoiseKind::RandomDense, NoiseKind::MainsFlicker, NoiseKind::BallastBursts,
        NoiseKind::NecRemote,  NoiseKind::SircRemote,  NoiseKind::Rc5Remote,    NoiseKind::ForeignCodes,
    };
    return kinds;
}

const char *NoiseKindName(NoiseKind kind)
{
    switch (kind) {
    case NoiseKind::RandomWide: return "random bursts 50 us-50 ms";
    case NoiseKind::RandomDense: return "random bursts 100 us-6 ms";
    case NoiseKind::MainsFlicker: return "mains flicker 100/120 Hz";
    case NoiseKind::BallastBursts: return "ballast bursts";
    case NoiseKind::NecRemote: return "NEC-like remote";
    case NoiseKind::SircRemote: return "SIRC-like remote";
    case NoiseKind::Rc5Remote: return "RC5-like remote";
    case NoiseKind::ForeignCodes: return "our format, foreign codes";
    }
    return "?";
}

std::unique_ptr<IntervalSource> MakeNoise(NoiseKind kind, uint32_t seed)
{
    switch (kind) {
    case NoiseKind::RandomWide: return std::make_unique<RandomBursts>(seed, 50, 50000);
    case NoiseKind::RandomDense: return std::make_unique<RandomBursts>(seed, 100, 6000);
    case NoiseKind::MainsFlicker: return std::make_unique<MainsFlicker>(seed);
    case NoiseKind::BallastBursts: return std::make_unique<BallastBursts>(seed);
    case NoiseKind::NecRemote: return std::make_unique<NecRemote>(seed);
    case NoiseKind::SircRemote: return std::make_unique<SircRemote>(seed);
    case NoiseKind::Rc5Remote: return std::make_unique<Rc5Remote>(seed);
    case NoiseKind::ForeignCodes: return std::make_unique<ForeignCodes>(seed);
    }
    return nullptr;
}

std::unique_ptr<IntervalSource> LimitTo(std::unique_ptr<IntervalSource> source, double seconds)
{
    return std::make_unique<Limited>(std::move(source), seconds);
}

std::unique_ptr<IntervalSource> MixFramesInto(std::unique_ptr<IntervalSource> noise, int frames, uint32_t seed,
                                              std::vector<SentFrame> &sent)
{
    return std::make_unique<Mix>(std::move(noise), frames, seed, sent);
}

const ReceiverLine *MemoryLine(IntervalSource &source, int64_t frequency)
{
    lineSource = &source;
    lineFrequency = frequency;
    StartPlaying(&player, NextInterval);
    changes = 0;
    return &memoryLine;
}

uint64_t MemoryLineChanges() { return changes; }
uint64_t MemoryLineMicroseconds() { return player.lastChange; }

void DecodeSource(IntervalSource &source, int64_t frequency, const std::function<void(uint64_t)> &onFrame)
{
    const ReceiverLine *line = MemoryLine(source, frequency);
    line->openLine();
    try {
        for (;;)
            onFrame(ReadFrame(line));
    } catch (const RecordingEnded &) {
    }
}

std::string SourceToRecording(IntervalSource &source, const std::string &header)
{
    std::string text = header;
    IrInterval interval;
    while (source.Next(interval))
        text += (interval.pulse ? "pulse " : "space ") + std::to_string(interval.us) + "\n";
    return text;
}

void CommandTally::Add(uint64_t code)
{
    CommandNumber commands[CODE_TABLE_SIZE];
    frames++;
    zeroCodes += code == 0;
    int found = FindCommands(code, commands);
    for (int i = 0; i < found; i++)
        perCommand[commands[i]]++;
}

uint64_t CommandTally::Commands() const
{
    uint64_t total = 0;
    for (uint64_t n : perCommand)
        total += n;
    return total;
}

std::string CommandTally::Listed() const
{
    std::string text;
    for (int i = 0; i < 16; i++)
        if (perCommand[i] > 0)
            text += (text.empty() ? "" : " ") + std::to_string(i) + ":" + std::to_string(perCommand[i]);
    return text.empty() ? "none" : text;
}

std::vector<DecodedFrame> DecodeWithTimes(IntervalSource &source, int64_t frequency)
{
    std::vector<DecodedFrame> decoded;
    DecodeSource(source, frequency, [&](uint64_t code) { decoded.push_back({code, MemoryLineMicroseconds()}); });
    return decoded;
}

Recovery MatchFrames(const std::vector<SentFrame> &sent, const std::vector<DecodedFrame> &decoded)
{
    Recovery result;
    std::vector<bool> recovered(sent.size(), false);
    size_t frame = 0;
    for (const DecodedFrame &d : decoded) {
        while (frame + 1 < sent.size() && sent[frame + 1].startUs < d.atUs)
            frame++;
        bool inside = frame < sent.size() && sent[frame].startUs < d.atUs;
        if (inside && d.code == sent[frame].code && !recovered[frame]) {
            recovered[frame] = true;
            result.recovered++;
            continue;
        }
        CommandNumber commands[CODE_TABLE_SIZE];
        result.strayCommands += FindCommands(d.code, commands);
    }
    return result;
}
