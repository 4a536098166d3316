#include "search/Individual.h"

#include <immintrin.h>

#include <cmath>
#include <cstring>
#include <utility>

#include "input/Midlayer.h"

namespace {
const char kLetters[] = "ACGT";

// Letter counts of n windows by offset (window(i) gives the codes of window i).
// Integer counters hold the same whole numbers the double table receives, and
// letters without a code land in a fifth counter that is not used.
template <typename Window>
void TallyPlain(int n, int k, Window window, int (&tally)[MAX_K][5]) {
    for (int i = 0; i < n; ++i) {
        const uint8_t* c = window(i);
        for (int j = 0; j < k; ++j) ++tally[j][c[j]];
    }
}

// GCC 12's 512-bit intrinsics start some results from a deliberately undefined
// register and then warn about it; the values are always fully written.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// The same with every offset of a window at once: the window's codes in one
// 512-bit register (a masked load, which reads nothing past the window),
// compared with each base and added into byte counters, which are emptied
// into the tally before they can overflow. Letters without a code match no
// base, as the plain tally's fifth counter is never read.
template <typename Window>
__attribute__((target("avx512f,avx512bw"))) void TallyWide(int n, int k, Window window, int (&tally)[MAX_K][5]) {
    const __mmask64 lanes = (uint64_t(1) << k) - 1;  // k is at most MAX_K < 64
    const __m512i one = _mm512_set1_epi8(1);
    const __m512i base0 = _mm512_set1_epi8(0);
    const __m512i base1 = _mm512_set1_epi8(1);
    const __m512i base2 = _mm512_set1_epi8(2);
    const __m512i base3 = _mm512_set1_epi8(3);
    for (int i = 0; i < n;) {
        const int stop = n - i > 255 ? i + 255 : n;
        __m512i a0 = _mm512_setzero_si512();
        __m512i a1 = _mm512_setzero_si512();
        __m512i a2 = _mm512_setzero_si512();
        __m512i a3 = _mm512_setzero_si512();
        for (; i < stop; ++i) {
            const __m512i v = _mm512_maskz_loadu_epi8(lanes, window(i));
            a0 = _mm512_mask_add_epi8(a0, _mm512_cmpeq_epi8_mask(v, base0), a0, one);
            a1 = _mm512_mask_add_epi8(a1, _mm512_cmpeq_epi8_mask(v, base1), a1, one);
            a2 = _mm512_mask_add_epi8(a2, _mm512_cmpeq_epi8_mask(v, base2), a2, one);
            a3 = _mm512_mask_add_epi8(a3, _mm512_cmpeq_epi8_mask(v, base3), a3, one);
        }
        alignas(64) uint8_t bytes[4][64];
        _mm512_store_si512(bytes[0], a0);
        _mm512_store_si512(bytes[1], a1);
        _mm512_store_si512(bytes[2], a2);
        _mm512_store_si512(bytes[3], a3);
        for (int b = 0; b < B; ++b)
            for (int j = 0; j < k; ++j) tally[j][b] += bytes[b][j];
    }
}

// Exact() of n windows (window(i) gives the codes of window i), eight at a
// time, one window to a 64-bit lane: per offset, each base's term is picked
// for all eight letters at once from a row of the table (the letter code is
// the lane index), and added in the very order Exact() adds it.
template <typename Window>
__attribute__((target("avx512f,avx512bw"))) void ScoreWide(const MismatchScorer& scorer, int n, Window window,
                                                          double* out) {
    const int k = scorer.Width();
    alignas(64) double num[MAX_K][B][8];
    alignas(64) double den[MAX_K][B][8];
    for (int p = 0; p < k; ++p) {
        for (int b = 0; b < B; ++b) {
            for (int c = 0; c < 8; ++c) {
                num[p][b][c] = c < 5 ? scorer.NumTerm(p, c, b) : 0.0;
                den[p][b][c] = c < 5 ? scorer.DenTerm(p, c, b) : 0.0;
            }
        }
    }
    const __mmask64 lanes = (uint64_t(1) << k) - 1;
    alignas(64) uint8_t rows[16][64];  // the last few windows go to Exact()
    const __m512i rowStart = _mm512_setr_epi64(0, 64, 128, 192, 256, 320, 384, 448);
    int i = 0;
    // Sixteen windows a step, as two independent chains of sums, so that the
    // latency of one chain's additions hides behind the other's.
    for (; i + 16 <= n; i += 16) {
        for (int s = 0; s < 16; ++s) _mm512_store_si512(rows[s], _mm512_maskz_loadu_epi8(lanes, window(i + s)));
        __m512d nsum0 = _mm512_setzero_pd();
        __m512d dsum0 = _mm512_setzero_pd();
        __m512d nsum1 = _mm512_setzero_pd();
        __m512d dsum1 = _mm512_setzero_pd();
        for (int p = 0; p < k; ++p) {
            const __m512i code0 = _mm512_i64gather_epi64(rowStart, rows[0] + p, 1);
            const __m512i code1 = _mm512_i64gather_epi64(rowStart, rows[8] + p, 1);
            for (int b = 0; b < B; ++b) {
                const __m512d nrow = _mm512_load_pd(num[p][b]);
                const __m512d drow = _mm512_load_pd(den[p][b]);
                nsum0 = _mm512_add_pd(nsum0, _mm512_permutexvar_pd(code0, nrow));
                dsum0 = _mm512_add_pd(dsum0, _mm512_permutexvar_pd(code0, drow));
                nsum1 = _mm512_add_pd(nsum1, _mm512_permutexvar_pd(code1, nrow));
                dsum1 = _mm512_add_pd(dsum1, _mm512_permutexvar_pd(code1, drow));
            }
        }
        _mm512_storeu_pd(out + i, _mm512_div_pd(nsum0, dsum0));
        _mm512_storeu_pd(out + i + 8, _mm512_div_pd(nsum1, dsum1));
    }
    for (; i < n; ++i) out[i] = scorer.Exact(window(i));
}

#pragma GCC diagnostic pop

// Exact() of n windows, four at a time without 512-bit instructions.
template <typename Window>
void ScoreWindows(const MismatchScorer& scorer, int n, Window window, double* out) {
    if (UseWideCounting && scorer.Width() > 0) {
        ScoreWide(scorer, n, window, out);
        return;
    }
    int i = 0;
    for (; i + 4 <= n; i += 4) scorer.Exact4(window(i), window(i + 1), window(i + 2), window(i + 3), out + i);
    for (; i < n; ++i) out[i] = scorer.Exact(window(i));
}

template <typename Window>
void CountWindows(int n, int k, Window window, double (&count)[B][MAX_K]) {
    int tally[MAX_K][5] = {};
    if (UseWideCounting && k > 0) {
        TallyWide(n, k, window, tally);
    } else {
        TallyPlain(n, k, window, tally);
    }
    for (int b = 0; b < B; ++b)
        for (int j = 0; j < k; ++j) count[b][j] = tally[j][b];
}
}

bool UseWideCounting = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");

Individual::Individual()
    : MismatchMatrix(), ID(0), GeneNo(0), ConLen(0), IC(0.0), Mismatch(0.0), Complexity(0.0), Cons(),
      RLFT(0.0), CLFT(0.0), STD(0.0), MAPS(0.0) {}

Individual::Individual(double c, int g) : Individual() {
    CLFT = c;
    GeneNo = g;
}

void Individual::setCons(const char* text, int len) {
    if (len > MAX_K) len = MAX_K;
    if (len < 0) len = 0;
    size_t n = std::strlen(text);
    if (n > static_cast<size_t>(MAX_K)) n = MAX_K;
    std::memcpy(Cons, text, n);
    Cons[len] = '\0';
}

void Individual::setFitness(double ic, double mismatch, double complexity, const char* cons, int len) {
    IC = ic;
    Mismatch = mismatch;
    Complexity = complexity;
    setCons(cons, len);
}

bool Individual::operator==(Individual const& other) const {
    return IC == other.IC && Mismatch == other.Mismatch && Complexity == other.Complexity;
}

MismatchScorer::MismatchScorer(const double (&matrix)[B][MAX_K], const double (&posFreq)[B][MAX_K], int k) : k_(k) {
    for (int p = 0; p < k; ++p) {
        for (int c = 0; c < 5; ++c) {
            double nr = 0.0;
            double dr = 0.0;
            for (int b = 0; b < B; ++b) {
                const double delta = b == c ? 1.0 : 0.0;
                num_[p][c][b] = std::fabs(matrix[b][p] - delta) / 2;
                den_[p][c][b] = std::fabs(posFreq[b][p] - delta) / 2;
                nr += num_[p][c][b];
                dr += den_[p][c][b];
            }
            numRow_[p][c] = nr;
            denRow_[p][c] = dr;
        }
    }
}

bool RankMAPS(const Individual& a, const Individual& b) { return a.MAPS > b.MAPS; }

int Individual::LookupCode(char c) { return Midlayer::LookupCode(c); }

// ---------------------------------------------------------------- genetic form

void Individual::CalculateIndiFitness(Midlayer* data, const double* bg, const std::vector<int>& starts) {
    const int k = ConLen;
    const int N = GeneNo;
    const double n = N;
    Genes.assign(starts.begin(), starts.end());
    SiteOrder.reset();  // the site scores change
    double count[B][MAX_K];
    for (int b = 0; b < B; ++b)
        for (int j = 0; j < k; ++j) MismatchMatrix[b][j] = 0.0;
    CountWindows(N, k, [&](int g) { return data->Seqs[g].code.data() + Genes[g]; }, count);
    const double root = std::sqrt(n);
    double ic = 0.0;
    for (int b = 0; b < B; ++b) {
        for (int j = 0; j < k; ++j) {
            double f = (count[b][j] + root * bg[b]) / (n + root);
            MismatchMatrix[b][j] = count[b][j] / n;
            ic += f * std::log2(f / bg[b]);
        }
    }
    const MismatchScorer scorer(MismatchMatrix, data->PosFreq, k);
    GeneMismatch.resize(N);
    ScoreWindows(scorer, N, [&](int g) { return data->Seqs[g].code.data() + Genes[g]; }, GeneMismatch.data());
    double M = 0.0;
    for (int i = 0; i < N; ++i) M += GeneMismatch[i] / n;
    double C = LowerComplexity(k);
    Consensus(k);
    IC = ic;
    Mismatch = M;
    Complexity = C;
}

double Individual::CalculateMismatch(const Midlayer* data, const char* word) const {
    const int L = static_cast<int>(std::strlen(word));
    uint8_t codes[MAX_K];
    for (int p = 0; p < L && p < MAX_K; ++p) codes[p] = kBaseCode[static_cast<unsigned char>(word[p])];
    return MismatchCodes(data, codes, L < MAX_K ? L : MAX_K);
}

double Individual::MismatchCodes(const Midlayer* data, const uint8_t* codes, int L) const {
    // The halved absolute differences are summed as written (not simplified to
    // 1 - share) so that every path gives bit-identical scores.
    double num = 0.0;
    double den = 0.0;
    for (int p = 0; p < L; ++p) {
        const int c = codes[p];
        for (int b = 0; b < B; ++b) {
            const double delta = b == c ? 1.0 : 0.0;
            num += std::fabs(MismatchMatrix[b][p] - delta) / 2;
            den += std::fabs(data->PosFreq[b][p] - delta) / 2;
        }
    }
    return num / den;
}

double Individual::LowerComplexity(int k) const {
    double result = 1.0;
    for (int b = 0; b < B; ++b) {
        double s = 0.0;
        for (int j = 0; j < k; ++j) s += MismatchMatrix[b][j];
        if (s != 0.0) result *= std::pow(k / s, s);
    }
    return result * std::pow(0.25, k);
}

void Individual::Consensus(int k) { Consensus_option(k, 1, Cons); }

// ---------------------------------------------------------------- site-list form

namespace {
// A letter's share at one offset, drawn towards the background by the square
// root of the site count.
double SmoothedShare(double count, double n, double root, double bg) { return (count + root * bg) / (n + root); }
}  // namespace

double Individual::SitesIC(Midlayer* data, const double* bg, int k, const std::vector<kmer>& sites, const kmer* extra) {
    const int N = static_cast<int>(sites.size()) + (extra != nullptr ? 1 : 0);
    double count[B][MAX_K];
    CountWindows(N, k, [&](int i) {
        const kmer& s = i < static_cast<int>(sites.size()) ? sites[i] : *extra;
        return data->Seqs[s.Strand].code.data() + s.Pos;
    }, count);
    return CountsIC(count, N, k, bg);
}

void Individual::ScoredCounts(double (&count)[B][MAX_K]) const {
    // Each share is a whole count over the site count, so rounding the
    // product gives the count back exactly.
    const double n = static_cast<double>(Sites.size());
    for (int b = 0; b < B; ++b)
        for (int j = 0; j < ConLen; ++j) count[b][j] = std::round(MismatchMatrix[b][j] * n);
}

double Individual::CountsIC(const double (&count)[B][MAX_K], int N, int k, const double* bg) {
    const double n = N;
    const double root = std::sqrt(n);
    double ic = 0.0;
    for (int b = 0; b < B; ++b) {
        for (int j = 0; j < k; ++j) {
            double f = SmoothedShare(count[b][j], n, root, bg[b]);
            ic += f * std::log2(f / bg[b]);
        }
    }
    return ic;
}

void Individual::CalculateIndiFitness_vector(Midlayer* data, const double* bg, const WindowLogP* logP) {
    const int k = ConLen;
    const int N = static_cast<int>(Sites.size());
    const double n = N;
    double count[B][MAX_K];
    for (int b = 0; b < B; ++b)
        for (int j = 0; j < k; ++j) MismatchMatrix[b][j] = 0.0;
    const double scale = std::log2(n) / k;
    CountWindows(N, k, [&](int i) { return data->Seqs[Sites[i].Strand].code.data() + Sites[i].Pos; }, count);
    const double root = std::sqrt(n);
    double ic = 0.0;
    double H = 0.0;
    for (int b = 0; b < B; ++b) {
        for (int j = 0; j < k; ++j) {
            double f = SmoothedShare(count[b][j], n, root, bg[b]);
            MismatchMatrix[b][j] = count[b][j] / n;
            ic += f * std::log2(f / bg[b]);
            H += f * std::log2(f);
        }
    }
    std::vector<double> values(N);
    const MismatchScorer scorer(MismatchMatrix, data->PosFreq, k);
    auto window = [&](int i) { return data->Seqs[Sites[i].Strand].code.data() + Sites[i].Pos; };
    ScoreWindows(scorer, N, window, values.data());
    double M = 0.0;
    for (int i = 0; i < N; ++i) {
        M += values[i] / n;
        Sites[i].Score = values[i];
    }
    double C = LowerComplexity(k);
    Consensus(k);
    IC = ic;
    Mismatch = M;
    Complexity = C;
    STD = CalculateSTD(values.data(), N);
    double Bsum = CalculateMarkvBK(data, logP);
    MAPS = (H - Bsum / n) * scale;
}

double Individual::CalculateSTD(const double* values, const int& n) const {
    double sum = 0.0;
    for (int i = 0; i < n; ++i) sum += values[i];
    const double mean = sum / n;
    double sq = 0.0;
    for (int i = 0; i < n; ++i) sq += (values[i] - mean) * (values[i] - mean);
    return std::sqrt(sq / n);
}

double Individual::CalculateMarkvBK(Midlayer* data, const WindowLogP* logP) {
    const int k = data->GetK();
    double Bsum = 0.0;
    for (kmer& s : Sites) {
        const double L = logP ? logP->value[logP->offset[s.Strand] + s.Pos]
                              : std::log2(data->BackgroundProb(data->Seqs[s.Strand].code.data() + s.Pos, k));
        s.BGScore = -L / s.Score;
        Bsum += L;
    }
    return Bsum;
}

// ---------------------------------------------------------------- consensus replacement

void Individual::ReplaceConsensus(Midlayer* data, char* out, const std::vector<int>& starts) {
    int slots[MAX_K];
    const int m = DrawReplacedOffsets(ConLen, slots);
    ApplyReplacedOffsets(data, out, starts, slots, m);
}

int Individual::DrawReplacedOffsets(int k, int* slots) const {
    const int m = NumReplace(k);
    // Slots fill from the last down; a position already chosen is drawn again.
    int filled = 0;
    while (filled < m) {
        int p = Random() % k;
        bool dup = false;
        for (int i = m - filled; i < m; ++i) {
            if (slots[i] == p) {
                dup = true;
                break;
            }
        }
        if (dup) continue;
        ++filled;
        slots[m - filled] = p;
    }
    return m;
}

void Individual::ApplyReplacedOffsets(Midlayer* data, char* out, const std::vector<int>& starts, const int* slots,
                                      int m) {
    const int k = ConLen;
    const int N = GeneNo;
    const double n = N;
    double count[B][MAX_K];
    for (int b = 0; b < B; ++b)
        for (int j = 0; j < k; ++j) MismatchMatrix[b][j] = 0.0;
    CountWindows(N, k, [&](int g) { return data->Seqs[g].code.data() + starts[g]; }, count);
    for (int b = 0; b < B; ++b)
        for (int j = 0; j < k; ++j) MismatchMatrix[b][j] = count[b][j] / n;
    Consensus_option(k, 1, out);
    char second[MAX_K + 1];
    Consensus_option(k, 2, second);
    for (int i = 0; i < m; ++i) out[slots[i]] = second[slots[i]];
}

void Individual::Consensus_option(int k, int type, char* out) const {
    if (type == 1) {
        for (int j = 0; j < k; ++j) {
            double best = 0.0;
            int pick = 0;
            for (int b = 0; b < B; ++b) {
                // Strict: of equal shares the earlier base (A, C, G, T) wins.
                if (MismatchMatrix[b][j] > best) {
                    best = MismatchMatrix[b][j];
                    pick = b;
                }
            }
            out[j] = kLetters[pick];
        }
        out[k] = '\0';
    } else if (type == 2) {
        for (int j = 0; j < k; ++j) {
            int idx[4] = {0, 1, 2, 3};
            double v[4] = {MismatchMatrix[0][j], MismatchMatrix[1][j], MismatchMatrix[2][j], MismatchMatrix[3][j]};
            // This exchange order decides ties; the second choice can equal the first.
            for (int p = 0; p < 3; ++p) {
                for (int q = p + 1; q < 4; ++q) {
                    if (v[p] > v[q]) {
                        std::swap(v[p], v[q]);
                        std::swap(idx[p], idx[q]);
                    }
                }
            }
            out[j] = kLetters[v[2] != 0.0 ? idx[2] : idx[3]];
        }
        out[k] = '\0';
    }
}

int Individual::NumReplace(const int& k) const {
    double a = Random() / 32767.0;
    while (a == 0.0) a = Random() / 32767.0;
    for (int p = k; p >= 2; --p) {
        if (std::ldexp(1.0, -p) <= a && a < std::ldexp(1.0, -(p - 1))) return p;
    }
    return 1;
}

// ---------------------------------------------------------------- text form

std::ostream& operator<<(std::ostream& os, const Individual& model) {
    os << "Motif Model Mismatch Score: " << model.Mismatch << "\tInformation Content: " << model.IC << "\n";
    os << "Complexity: " << model.Complexity << "\t" << "Consensus: " << model.Cons;
    if (!(model.MAPS == 0.0)) {
        os << " MAP Score: " << model.MAPS << std::endl;
    } else {
        os << "\n";
    }
    os << "No. of sites: " << (model.Sites.empty() ? model.Genes.size() : model.Sites.size()) << std::endl;
    return os;
}
