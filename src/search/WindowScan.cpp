#include "search/WindowScan.h"

#include <immintrin.h>

#include <cmath>

ProfileScorer::ProfileScorer(const double (&profile)[B][MAX_K], int k) : k_(k) {
    for (int p = 0; p < k; ++p) {
        for (int c = 0; c < 5; ++c) {
            double row = 0.0;
            for (int b = 0; b < B; ++b) {
                term_[p][c][b] = b == c ? std::fabs(profile[b][p] - 1) / 2 : std::fabs(profile[b][p]) / 2;
                row += term_[p][c][b];
            }
            row_[p][c] = row;
        }
    }
}

namespace {

// GCC 12's 512-bit intrinsics start some results from a deliberately undefined
// register and then warn about it; the values are always fully written.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// The first position in [from, to] of the window nearest to t, among packed
// windows, when it is nearer than best; eight windows per step. Differing
// letters are counted per 64-bit lane with a nibble table and byte sums.
__attribute__((target("avx512f,avx512bw"))) void NearestWide512(const uint64_t* bits, int from, int to, uint64_t t,
                                                                 int& best, int& bestPos) {
    const __m512i target = _mm512_set1_epi64(static_cast<long long>(t));
    const __m512i even = _mm512_set1_epi64(0x5555555555555555ll);
    const __m512i nibble = _mm512_set1_epi8(0x0F);
    const __m512i table = _mm512_broadcast_i32x4(_mm_setr_epi8(0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4));
    const __m512i zero = _mm512_setzero_si512();
    int p = from;
    for (; p + 8 <= to + 1; p += 8) {
        const __m512i x = _mm512_xor_si512(_mm512_loadu_si512(bits + p), target);
        const __m512i y = _mm512_and_si512(_mm512_or_si512(x, _mm512_srli_epi64(x, 1)), even);
        const __m512i lo = _mm512_shuffle_epi8(table, _mm512_and_si512(y, nibble));
        const __m512i hi = _mm512_shuffle_epi8(table, _mm512_and_si512(_mm512_srli_epi64(y, 4), nibble));
        const __m512i d = _mm512_sad_epu8(_mm512_add_epi8(lo, hi), zero);
        __mmask8 closer = _mm512_cmplt_epu64_mask(d, _mm512_set1_epi64(best));
        if (closer == 0) continue;
        alignas(64) uint64_t lanes[8];
        _mm512_store_si512(lanes, d);
        for (int i = 0; i < 8; ++i) {
            // In position order, strictly nearer: the first of equally near windows stays.
            if (static_cast<int>(lanes[i]) < best) {
                best = static_cast<int>(lanes[i]);
                bestPos = p + i;
                if (best == 0) return;
            }
        }
    }
    for (; p <= to; ++p) {
        const uint64_t x = bits[p] ^ t;
        const int d = __builtin_popcountll((x | (x >> 1)) & 0x5555555555555555ull);
        if (d < best) {
            best = d;
            bestPos = p;
            if (d == 0) return;
        }
    }
}

// The same for windows of at most 16 letters packed in 32 bits: sixteen
// windows per step, the differing letters counted by the processor's own
// population count of each 32-bit lane.
__attribute__((target("avx512f,avx512bw,avx512vpopcntdq"))) void NearestWide32(const uint32_t* bits, int from, int to,
                                                                               uint32_t t, int& best, int& bestPos) {
    const __m512i target = _mm512_set1_epi32(static_cast<int>(t));
    const __m512i even = _mm512_set1_epi32(0x55555555);
    int p = from;
    for (; p + 16 <= to + 1; p += 16) {
        const __m512i x = _mm512_xor_si512(_mm512_loadu_si512(bits + p), target);
        const __m512i d = _mm512_popcnt_epi32(_mm512_and_si512(_mm512_or_si512(x, _mm512_srli_epi32(x, 1)), even));
        const __mmask16 closer = _mm512_cmplt_epu32_mask(d, _mm512_set1_epi32(best));
        if (closer == 0) continue;
        alignas(64) uint32_t lanes[16];
        _mm512_store_si512(lanes, d);
        for (int i = 0; i < 16; ++i) {
            // In position order, strictly nearer: the first of equally near windows stays.
            if (static_cast<int>(lanes[i]) < best) {
                best = static_cast<int>(lanes[i]);
                bestPos = p + i;
                if (best == 0) return;
            }
        }
    }
    for (; p <= to; ++p) {
        const uint32_t x = bits[p] ^ t;
        const int d = __builtin_popcount((x | (x >> 1)) & 0x55555555u);
        if (d < best) {
            best = d;
            bestPos = p;
            if (d == 0) return;
        }
    }
}

#pragma GCC diagnostic pop

}  // namespace

bool WindowIndex::NarrowAvailable() {
    static const bool available = WideAvailable() && __builtin_cpu_supports("avx512vpopcntdq");
    return available;
}

bool WindowIndex::WideAvailable() {
    static const bool available = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
    return available;
}

void WindowIndex::Pack(const Midlayer* data, int k) {
    WindowBits.clear();
    WindowBits32.clear();
    data_ = nullptr;
    if (k > 32 || !WideAvailable()) return;
    const bool narrow = k <= 16 && NarrowAvailable();
    size_t total = 0;
    for (int g = 0; g < data->GetNumStrands(); ++g) total += data->Seqs[g].len;
    // Four or eight bytes a window: only while that stays modest.
    if (total > (size_t(1) << (narrow ? 27 : 26))) return;
    const int S = data->GetNumStrands();
    if (narrow) {
        WindowBits32.resize(S);
    } else {
        WindowBits.resize(S);
    }
    for (int g = 0; g < S; ++g) {
        const SeqRecord& r = data->Seqs[g];
        const int n = r.len - k + 1;
        if (n <= 0) continue;
        if (narrow) {
            WindowBits32[g].resize(n);
            for (int p = 0; p < n; ++p) WindowBits32[g][p] = static_cast<uint32_t>(r.Bits(p, k));
        } else {
            WindowBits[g].resize(n);
            for (int p = 0; p < n; ++p) WindowBits[g][p] = r.Bits(p, k);
        }
    }
    data_ = data;
    k_ = k;
}

void WindowIndex::Nearest(const Midlayer* data, const char* text, int k, std::vector<int>& starts) const {
    const int S = data->GetNumStrands();
    const PackedWord target = PackedWord::FromText(text, k);
    starts.resize(S);
    for (int q = 0; q < S; ++q) {
        const SeqRecord& r = data->Seqs[q];
        int best = 2 * k;
        int bestPos = 0;
        const std::vector<int>& list = data->Candidates[q];
        const bool consecutive = !list.empty() && list.back() - list.front() + 1 == static_cast<int>(list.size());
        if (k <= 32 && consecutive && UseWide && PackedFor(data, k)) {
            // Consecutive starts with every window packed in advance: eight or
            // sixteen at a time.
            if (!WindowBits32.empty()) {
                NearestWide32(WindowBits32[q].data(), list.front(), list.back(), static_cast<uint32_t>(target.part[0]),
                              best, bestPos);
            } else {
                NearestWide512(WindowBits[q].data(), list.front(), list.back(), target.part[0], best, bestPos);
            }
        } else if (k <= 32 && consecutive) {
            // Consecutive starts: slide the window one letter at a time.
            const uint64_t t = target.part[0];
            const int top = 2 * (k - 1);
            const uint8_t* code = r.code.data();
            uint64_t w = r.Bits(list.front(), k);
            for (int p = list.front(); p <= list.back(); ++p) {
                if (p != list.front()) w = (w >> 2) | (static_cast<uint64_t>(code[p + k - 1] & 3) << top);
                const uint64_t x = w ^ t;
                const int d = __builtin_popcountll((x | (x >> 1)) & 0x5555555555555555ull);
                if (d < best) {
                    best = d;
                    bestPos = p;
                    if (d == 0) break;
                }
            }
        } else if (k <= 32 && !r.forward) {
            // Compared on the forward strand's words with the text turned
            // around: the same differences, without turning every window.
            const uint64_t t = SeqRecord::ReverseComplementBits(target.part[0], k);
            for (int p : data->Candidates[q]) {
                const uint64_t x = r.MirrorBits(p, k) ^ t;
                const int d = __builtin_popcountll((x | (x >> 1)) & 0x5555555555555555ull);
                if (d < best) {  // strict: the first of equally near windows stays
                    best = d;
                    bestPos = p;
                    if (d == 0) break;
                }
            }
        } else if (k <= 32) {
            const uint64_t t = target.part[0];
            for (int p : data->Candidates[q]) {
                const uint64_t x = r.Bits(p, k) ^ t;
                const int d = __builtin_popcountll((x | (x >> 1)) & 0x5555555555555555ull);
                if (d < best) {  // strict: the first of equally near windows stays
                    best = d;
                    bestPos = p;
                    if (d == 0) break;
                }
            }
        } else {
            for (int p : data->Candidates[q]) {
                const int d = PackedWord::FromStrand(r, p, k).Distance(target);
                if (d < best) {
                    best = d;
                    bestPos = p;
                    if (d == 0) break;
                }
            }
        }
        starts[q] = bestPos;
    }
}
