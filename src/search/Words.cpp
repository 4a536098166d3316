#include "search/Words.h"

#include <algorithm>
#include <stdexcept>

namespace {

// Words as 2 bits per letter, the first letter highest, so that numeric order
// is the letters' order.
uint32_t ReverseComplementCode(uint32_t c, int L) {
    uint32_t r = 0;
    for (int j = 0; j < L; ++j) {
        r = (r << 2) | (3u - (c & 3u));
        c >>= 2;
    }
    return r;
}

// Letters that differ between two codes.
int Differences(uint32_t x, uint32_t y) {
    uint32_t d = x ^ y;
    d = (d | (d >> 1)) & 0x55555555u;
    return __builtin_popcount(d);
}

std::string Letters(uint32_t c, int L) {
    std::string s(static_cast<size_t>(L), 'A');
    for (int j = L - 1; j >= 0; --j, c >>= 2) s[static_cast<size_t>(j)] = "ACGT"[c & 3u];
    return s;
}

bool Bad(const SeqRecord& r, int i) {
    if (r.code[static_cast<size_t>(i)] == BASE_NONE) return true;
    const std::vector<uint64_t>& m = r.shared->masked;
    return !m.empty() && ((m[static_cast<size_t>(i) >> 6] >> (i & 63)) & 1u);
}

// Calls f(p, code) for every admissible window of L letters of a forward record.
template <typename F>
void EachWindow(const SeqRecord& r, int L, F f) {
    const uint32_t mask = L == 16 ? 0xFFFFFFFFu : (1u << (2 * L)) - 1u;
    uint32_t code = 0;
    int lastBad = -1;
    for (int i = 0; i < r.len; ++i) {
        if (Bad(r, i)) lastBad = i;
        code = ((code << 2) | (r.code[static_cast<size_t>(i)] & 3u)) & mask;
        if (i >= L - 1 && lastBad < i - L + 1) f(i - L + 1, code);
    }
}

// counts[w]: sequences of the set holding word w (as its key) within one mismatch.
// exact[w]: sequences holding w itself (null: not counted).
void CountSequences(const std::vector<SeqRecord>& set, int L, bool both, std::vector<int32_t>& counts,
                    std::vector<int32_t>& stamp, int& withWindow, std::vector<int32_t>* exact = nullptr,
                    std::vector<int32_t>* exactStamp = nullptr) {
    withWindow = 0;
    for (size_t s = 0; s < set.size(); ++s) {
        bool any = false;
        const int32_t id = static_cast<int32_t>(s);
        EachWindow(set[s], L, [&](int, uint32_t c) {
            any = true;
            const uint32_t rc = both ? ReverseComplementCode(c, L) : 0;
            auto mark = [&](uint32_t n, uint32_t nrc) {
                const uint32_t key = both ? std::min(n, nrc) : n;
                if (stamp[key] != id) {
                    stamp[key] = id;
                    ++counts[key];
                }
            };
            mark(c, rc);
            if (exact) {
                const uint32_t key = both ? std::min(c, rc) : c;
                if ((*exactStamp)[key] != id) {
                    (*exactStamp)[key] = id;
                    ++(*exact)[key];
                }
            }
            for (int j = 0; j < L; ++j) {
                const int shift = 2 * (L - 1 - j);    // letter j of the word
                const int rshift = 2 * j;             // the same letter in the reverse complement
                const uint32_t letter = (c >> shift) & 3u;
                for (uint32_t b = 0; b < 4; ++b) {
                    if (b == letter) continue;
                    const uint32_t n = (c & ~(3u << shift)) | (b << shift);
                    const uint32_t nrc = both ? (rc & ~(3u << rshift)) | ((3u - b) << rshift) : 0;
                    mark(n, nrc);
                }
            }
        });
        if (any) ++withWindow;
    }
}

// Whether y is x shifted by one or two letters (the overlap equal).
bool Shifted(uint32_t x, uint32_t y, int L) {
    for (int s = 1; s <= 2 && s < L; ++s) {
        const uint32_t keep = (1u << (2 * (L - s))) - 1u;
        if ((x & keep) == (y >> (2 * s))) return true;  // x's tail is y's head
        if ((y & keep) == (x >> (2 * s))) return true;
    }
    return false;
}

}  // namespace

std::vector<EnrichedWord> EnrichedWords(const std::vector<SeqRecord>& input, const std::vector<SeqRecord>& controls,
                                        int length, bool bothStrands, int keep) {
    if (length < 2 || length > kMaxWordLength) throw std::invalid_argument("word length out of range");
    const int L = length;
    const size_t words = size_t(1) << (2 * L);
    std::vector<int32_t> inCount(words, 0), outCount(words, 0), stamp(words, -1), exact(words, 0),
        exactStamp(words, -1);
    int n1 = 0, n2 = 0;
    CountSequences(input, L, bothStrands, inCount, stamp, n1, &exact, &exactStamp);
    std::fill(stamp.begin(), stamp.end(), -1);
    CountSequences(controls, L, bothStrands, outCount, stamp, n2);

    std::vector<EnrichedWord> ranked;
    for (size_t w = 0; w < words; ++w) {
        const int a = inCount[w], b = outCount[w];
        // Enriched only: a share of input sequences above that of controls.
        if (a == 0 || static_cast<long long>(a) * n2 <= static_cast<long long>(b) * n1) continue;
        EnrichedWord e;
        e.word = Letters(static_cast<uint32_t>(w), L);
        e.exact = exact[w];
        e.a = a;
        e.n1 = n1;
        e.b = b;
        e.n2 = n2;
        e.p = FisherEnrichment(a, n1, b, n2);
        ranked.push_back(std::move(e));
    }
    std::sort(ranked.begin(), ranked.end(), [](const EnrichedWord& x, const EnrichedWord& y) {
        if (x.p.log10p != y.p.log10p) return x.p.log10p < y.p.log10p;
        if (x.exact != y.exact) return x.exact > y.exact;
        if (x.a != y.a) return x.a > y.a;
        return x.word < y.word;
    });
    std::vector<EnrichedWord> kept;
    std::vector<uint32_t> codes;
    for (EnrichedWord& e : ranked) {
        if (static_cast<int>(kept.size()) >= keep) break;
        uint32_t c = 0;
        for (char ch : e.word) c = (c << 2) | kBaseCode[static_cast<unsigned char>(ch)];
        const uint32_t rc = ReverseComplementCode(c, L);
        bool near = false;
        for (uint32_t k : codes) {
            for (uint32_t x : {c, rc}) {
                if (!bothStrands && x == rc) continue;
                near = near || Differences(x, k) <= 1 || Shifted(x, k, L);
            }
        }
        if (near) continue;
        codes.push_back(c);
        kept.push_back(std::move(e));
    }
    return kept;
}

std::vector<std::string> WordSites(const std::vector<SeqRecord>& input, const std::string& word, int width,
                                   bool bothStrands) {
    const int L = static_cast<int>(word.size());
    if (L < 2 || L > kMaxWordLength) throw std::invalid_argument("word length out of range");
    uint32_t c = 0;
    for (char ch : word) c = (c << 2) | kBaseCode[static_cast<unsigned char>(ch)];
    const uint32_t rc = ReverseComplementCode(c, L);
    // Where the site starts relative to the word's first letter, read forward;
    // on the reverse strand the extra letters fall the other way round.
    const int extra = width - L;
    const int before = extra >= 0 ? extra / 2 : -((-extra + 1) / 2);
    const int beforeReverse = extra - before;
    std::vector<std::string> sites;
    for (const SeqRecord& r : input) {
        EachWindow(r, L, [&](int p, uint32_t w) {
            if (static_cast<int>(sites.size()) >= kMaxWordSites) return;
            const bool fwd = Differences(w, c) <= 1;
            const bool rev = bothStrands && !fwd && Differences(w, rc) <= 1;
            if (!fwd && !rev) return;
            const int start = p - (fwd ? before : beforeReverse);
            if (start < 0 || start + width > r.len || r.WindowMasked(start, width)) return;
            for (int i = start; i < start + width; ++i)
                if (r.code[static_cast<size_t>(i)] == BASE_NONE) return;
            std::string letters = r.Letters(start, width);
            for (char& ch : letters) ch = static_cast<char>(ch & ~0x20);  // upper case
            sites.push_back(fwd ? letters : ReverseComplement(letters));
        });
    }
    return sites;
}
