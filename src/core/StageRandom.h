// Random numbers for the stages that run beside the search (control shuffles,
// samples): each stage draws from its own generator seeded from the run's seed,
// so that the search draws exactly the same numbers with the stage or without.
#ifndef QIRO_STAGE_RANDOM_H
#define QIRO_STAGE_RANDOM_H

#include <cstdint>

// Stage numbers: one per stage that draws, fixed once given out, so that a
// stage's numbers never change when another stage is added.
const uint32_t kStageControls = 1;  // shuffled control sequences (Shuffle.h)
const uint32_t kStageHoldOut = 2;   // the split of input and controls into searched and held-back parts (Judge.h)
const uint32_t kStageSample = 4;      // the sample of sequences the searches run on (-searchsize, EvalueRun.h)
const uint32_t kStageWordSearch = 3;  // the searches from enriched words, stream = the search's number (EvalueRun.h)
const uint32_t kStageMatrixSites = 5;  // known sites drawn from a -pk matrix (KnownMatrix.h)
const uint32_t kStageGenomicControls = 6;  // control windows drawn from the genome (-peaks/-genome, GenomicControls.h)

// The classic portable generator of Random() (Constants.h),
//   state = state * 1103515245 + 12345 (unsigned 32-bit arithmetic),
//   value = (state / 65536) % 32768, 0..32767,
// with a state of its own: it never reads or moves the run's Random() state.
//
// Seeding. The starting state mixes the run seed, the stage number and a
// stream number (a stage that wants independent numbers per item, e.g. per
// sequence, passes the item's index; otherwise 0):
//   state = Mix(seed * 0x9E3779B1 ^ Mix(stage * 0x85EBCA77 ^ stream * 0xC2B2AE3D))
// all in unsigned 32-bit arithmetic, where Mix is the 32-bit finalizer of
// MurmurHash3 (x ^= x >> 16; x *= 0x85EBCA6B; x ^= x >> 13; x *= 0xC2B2AE35;
// x ^= x >> 16). Mix is one to one and so are the multiplications by odd
// constants, so changing any one of seed, stage or stream (the others fixed)
// always changes the starting state; the generator has full period 2^32, so
// different states are different places on one cycle, far apart in practice.
class StageRandom {
public:
    StageRandom(uint32_t seed, uint32_t stage, uint32_t stream = 0)
        : state_(Mix(seed * 0x9E3779B1u ^ Mix(stage * 0x85EBCA77u ^ stream * 0xC2B2AE3Du))) {}

    // A generator at a given state, as SeedRandom(state) sets the run's one.
    static StageRandom FromState(uint32_t state) {
        StageRandom r(0, 0);
        r.state_ = state;
        return r;
    }
    uint32_t State() const { return state_; }

    // The next value, 0..32767.
    int Next() {
        state_ = state_ * 1103515245u + 12345u;
        return static_cast<int>((state_ / 65536u) % 32768u);
    }

    // An index 0..n-1 for n from 1 to 32768, as the program draws its indexes
    // (Random() % n): one draw, reduced modulo n. Values below 32768 % n come
    // up once more in 32768 / n than the others (no bias when n divides 32768;
    // under 0.02% relative for n up to 6).
    int Below(int n) { return Next() % n; }

    // An index 0..n-1 for any n from 1: one draw as Below(n) when n <= 32768;
    // otherwise two draws a, b make the 30-bit value a * 32768 + b, reduced
    // modulo n (n up to 2^30); beyond 2^30 three draws make a 45-bit value.
    // The modulo bias is below n / 2^30 (resp. n / 2^45) relative.
    uint32_t Below32(uint32_t n) {
        if (n <= 32768u) return static_cast<uint32_t>(Next()) % n;
        uint64_t v = static_cast<uint64_t>(Next()) << 15 | static_cast<uint64_t>(Next());
        if (n > (1u << 30)) v = v << 15 | static_cast<uint64_t>(Next());
        return static_cast<uint32_t>(v % n);
    }

private:
    static uint32_t Mix(uint32_t x) {
        x ^= x >> 16;
        x *= 0x85EBCA6Bu;
        x ^= x >> 13;
        x *= 0xC2B2AE35u;
        x ^= x >> 16;
        return x;
    }

    uint32_t state_;
};

#endif  // QIRO_STAGE_RANDOM_H
