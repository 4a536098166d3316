#include "input/Dust.h"

#include <algorithm>
#include <cstring>

// The scan takes each letter in turn as the last letter e of an interval and
// sweeps the first letter s leftwards from e - 2 as far as kDustWindow letters
// back, adding the triplet that starts at s to a count per triplet, so that
// r(s..e) grows by the count that triplet had before.
//
// Whether s..e is perfect needs only the perfect intervals inside it: if some
// sub-interval scored higher than an interval that exceeds the level, the
// best-scoring sub-interval would exceed the level too and, having no better
// sub-interval of its own, be perfect. The perfect intervals inside s..e are
// those that start at s or later and end before e (found at earlier ends), and
// those that end at e and start after s (found earlier in this sweep). Since
// ends only grow, what the first kind needs is, per start, the best score of a
// perfect interval from that start seen so far; the sweep folds these into a
// running maximum as it passes each start, along with the perfect intervals it
// finds itself.
//
// Of the perfect intervals ending at e only the longest matters to the mask
// (the others lie inside it), and it is at most kDustWindow letters, so
// marking it touches at most two words.
//
// Where letters vary, the sweep stops early: r of the whole window ending at e,
// kept as the window slides, bounds r of every interval inside it and so how
// many triplets one can have and still exceed the level.

namespace {

const int kWindow = kDustWindow;
// A power of two with room for the kWindow - 2 starts of a window and the one
// that has just left it.
const size_t kRing = 64;
static_assert(kRing >= static_cast<size_t>(kWindow), "the ring holds a window's starts and one more");

// A score r / d, d = triplets - 1 >= 1; r < 0 stands for none. Compared by
// cross multiplication: r is at most 1891 and d at most 61, so products stay
// far inside 32 bits.
struct Score {
    int32_t r = -1;
    int32_t d = 1;
};

// Sets bits from..to (inclusive), fewer than 64 letters apart.
void SetRange(std::vector<uint64_t>& bits, size_t from, size_t to) {
    const size_t w0 = from >> 6, w1 = to >> 6;
    const uint64_t low = ~uint64_t{0} << (from & 63);
    const uint64_t high = ~uint64_t{0} >> (63 - (to & 63));
    if (w0 == w1) {
        bits[w0] |= low & high;
    } else {
        bits[w0] |= low;
        bits[w1] |= high;
    }
}

}  // namespace

void DustMask(const uint8_t* codes, size_t n, double level, std::vector<uint64_t>& bits) {
    bits.assign((n + 63) / 64 + 1, 0);

    // An interval of l triplets exceeds the level when 10 r > level (l - 1),
    // that is when r >= least[l] (most[l] + 1 when no r up to the largest
    // possible, most[l] = l (l - 1) / 2, does): the comparison is made here, a
    // step or two from r = level (l - 1) / 10, rather than in the scan.
    int32_t least[kWindow - 1] = {};
    for (int32_t l = 2; l <= kWindow - 2; ++l) {
        const int32_t most = l * (l - 1) / 2;
        const double q = level * (l - 1) / 10;
        int32_t r = 0;
        if (q != q) {
            r = most + 1;  // NaN: nothing exceeds it
        } else if (q > 1) {
            r = (q < most ? static_cast<int32_t>(q) : most) - 1;
        }
        while (r <= most && !(10.0 * r > level * (l - 1))) ++r;
        least[l] = r;
    }
    // r of an interval is at most that of any interval around it, so when the
    // whole window ending at e has r = R, no interval ending at e with more
    // than reach[R] triplets exceeds the level, and the sweep stops there.
    const int32_t kMostR = (kWindow - 2) * (kWindow - 3) / 2;
    uint8_t reach[kMostR + 1] = {};
    for (int32_t l = 2; l <= kWindow - 2; ++l)
        if (least[l] <= kMostR) reach[least[l]] = static_cast<uint8_t>(l);
    for (int32_t R = 1; R <= kMostR; ++R) reach[R] = std::max(reach[R], reach[R - 1]);

    // Ring buffers indexed by start % kRing: the triplet starting there, and
    // the best perfect interval from there found at an earlier end.
    uint8_t triplet[kRing] = {};
    Score best[kRing];
    uint8_t count[64];   // the sweep's triplet counts
    uint8_t window[64];  // triplet counts of the whole window ending at e
    int32_t windowR = 0;  // its r

    size_t pieceStart = 0;  // first letter of the current piece
    for (size_t e = 0; e < n; ++e) {
        if (codes[e] > 3) {
            pieceStart = e + 1;
            continue;
        }
        if (e < pieceStart + 2) {
            if (e == pieceStart) {
                std::memset(window, 0, sizeof window);
                windowR = 0;
            }
            continue;
        }
        const size_t newest = e - 2;  // the triplet ending at e starts here
        const uint8_t t = static_cast<uint8_t>(codes[newest] * 16 + codes[newest + 1] * 4 + codes[e]);
        triplet[newest & (kRing - 1)] = t;
        best[newest & (kRing - 1)] = Score();
        windowR += window[t]++;
        // The triplet that left the window (its slot is rewritten only at e + 2).
        if (e >= pieceStart + kWindow) windowR -= --window[triplet[(e - kWindow) & (kRing - 1)]];
        if (e < pieceStart + 3) continue;  // a single triplet has no score

        size_t lowest = e + 1 >= pieceStart + kWindow ? e + 1 - kWindow : pieceStart;
        const size_t longestReach = reach[windowR];
        if (longestReach < 2) continue;
        if (e - lowest - 1 > longestReach) lowest = e - 1 - longestReach;

        std::memset(count, 0, sizeof count);
        int32_t r = 0;
        Score top;                // best perfect interval inside s..e seen so far
        size_t longest = e + 1;  // start of the longest perfect interval ending at e
        for (size_t s = newest;; --s) {
            const size_t slot = s & (kRing - 1);
            r += count[triplet[slot]]++;
            const Score& earlier = best[slot];
            if (earlier.r * top.d > top.r * earlier.d) top = earlier;
            const int32_t l = static_cast<int32_t>(e - s - 1);
            if (r >= least[l] && l >= 2 && top.r * (l - 1) <= r * top.d) {
                // Perfect, and at least as good as anything inside it.
                top.r = r;
                top.d = l - 1;
                best[slot] = top;
                longest = s;
            }
            if (s == lowest) break;
        }
        if (longest <= e) SetRange(bits, longest, e);
    }
}
