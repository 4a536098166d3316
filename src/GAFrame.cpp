#include "GAFrame.h"
#include "Robust.h"

#include <immintrin.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <limits>
#include <map>
#include <string>
#include <unordered_set>

using std::cout;
using std::endl;

void GAFrame::setParameters(const int& population, const int& generations, const double& replacement,
                            const double& winner, const double& pkRate, const int& k) {
    Population = population;
    if (population <= 9) {
        cout << "Number of population is too small: " << population
             << " QIRO set the population number by default: " << DFLT_POP << endl;
        Population = DFLT_POP;
    }
    Iteration = generations;
    if (generations <= 9) {
        cout << "Number of generation is too small: " << generations << " QIRO set the generation by default: "
             << DFLT_GEN << endl;
        Iteration = DFLT_GEN;
    }
    Replacement = replacement;
    if (replacement > 1) {
        cout << "The substitution rate is large than 1: " << replacement
             << " QIRO set the substitution rate by default: " << DFLT_SUB << endl;
        Replacement = DFLT_SUB;
    }
    Winner = winner;
    if (winner > 1) {
        cout << "The winner-take-all rate is large than 1: " << winner
             << " QIRO set the winner-take-all rate by default: " << DFLT_WIN << endl;
        Winner = DFLT_WIN;
    }
    PKRate = pkRate;
    if (pkRate > 1) {
        cout << "The PK rate is large than 1: " << pkRate << " QIRO set it by default: " << DFLT_PKPER << endl;
        PKRate = DFLT_PKPER;
    }
    K = k;
}

double GAFrame::rand_gen() {
    double r = Random() / 32767.0;
    while (r == 0.0) r = Random() / 32767.0;
    return r;
}

int GAFrame::rand_gen(int n) { return Random() % n + 1; }

// ---------------------------------------------------------------- initialization

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

void GAFrame::Initialization(const bool& usePK, Midlayer* data, std::vector<Individual>* population) {
    const int S = data->GetNumStrands();
    const double lowerComp = data->GetLowerComp();
    const double* freq = data->GetFreqInfo();
    const PKFitness scores = data->getPKFit();
    const PK* sites = data->getPK();
    population->clear();
    population->reserve(Population);

    const bool seeded = PKRate != 0 && usePK;
    if (!seeded) cout << "Initialization without PK\n";

    // Models are made in batches of as many as are still wanted: first the
    // draws of each, in order (a model's draws never depend on how the one
    // before it fared), then the choice of sites and the scoring, in
    // parallel, then the low-complexity test in order, as one model after
    // the other would meet it. No draw is made that a model-by-model loop
    // would not make.
    struct Draft {
        std::vector<int> positions;
        double profile[B][MAX_K];
        Individual model;
    };
    std::vector<Draft> drafts;
    int rejections = 0;
    for (int id = 0; id < Population;) {
        drafts.resize(static_cast<size_t>(Population - id));
        for (Draft& d : drafts) {
            d.positions.clear();
            if (seeded) {
                PKSelection(sites, scores, K);
                std::memcpy(d.profile, PKProfile, sizeof PKProfile);
            } else {
                d.positions.reserve(S);
                for (int g = 0; g < S; ++g) {
                    const std::vector<int>& list = data->Candidates[g];
                    d.positions.push_back(list[Random() % list.size()]);
                }
            }
        }
        ParallelFor(static_cast<int>(drafts.size()), Threads, [&](int i) {
            Draft& d = drafts[i];
            if (seeded) {
                const ProfileScorer profile(d.profile, K);
                d.positions.reserve(S);
                for (int g = 0; g < S; ++g) {
                    const uint8_t* codes = data->Seqs[g].code.data();
                    double best = 10.0 * K;
                    int bestPos = 0;
                    for (int p : data->Candidates[g]) {
                        // A window whose estimate is clearly worse cannot win.
                        if (profile.Approx(codes + p) > best * (1 + APPROX_MARGIN)) continue;
                        double m = profile.Exact(codes + p);
                        if (best > m) {  // strict: the first of equally good windows stays
                            best = m;
                            bestPos = p;
                        }
                    }
                    d.positions.push_back(bestPos);
                }
            }
            d.model = Individual();
            d.model.setConLen(K);
            d.model.setGeneNo(S);
            d.model.CalculateIndiFitness(data, freq, d.positions);
        });
        for (Draft& d : drafts) {
            if (d.model.getComplexity() > lowerComp) {
                d.model.setID(id);
                population->push_back(std::move(d.model));
                rejections = 0;
                ++id;
            } else if (++rejections == 100) {
                cout << "The lower complexity value need to be lower than: " << lowerComp << " .\n ";
                cout << "Please rerun QIRO with a smaller low complexity. \n System aborted. \n\n";
                FatalExit(1);
            }
        }
    }
}

void GAFrame::PKSelection(const PK* sites, PKFitness scores, const int& k) {
    const int n = scores.NumPK;
    const double x = n * PKRate;
    int c = static_cast<int>(x);
    if (x > c) ++c;
    double count[B][MAX_K] = {};
    for (int i = 0; i < c; ++i) {
        const std::string& site = sites[Random() % n].Seq;
        for (int j = 0; j < k; ++j) {
            int b = LookupCode(site[j]);
            if (b >= 0) count[b][j] += 1.0;
        }
    }
    for (int b = 0; b < B; ++b)
        for (int j = 0; j < k; ++j) PKProfile[b][j] = count[b][j] / c;
}

double GAFrame::CalMismatch(const char* kmer) const {
    const int L = static_cast<int>(std::strlen(kmer));
    uint8_t codes[MAX_K];
    for (int p = 0; p < L && p < MAX_K; ++p) codes[p] = kBaseCode[static_cast<unsigned char>(kmer[p])];
    return CalMismatchCodes(codes, L < MAX_K ? L : MAX_K);
}

double GAFrame::CalMismatchCodes(const uint8_t* codes, int L) const {
    double sum = 0.0;
    for (int p = 0; p < L; ++p) {
        for (int b = 0; b < B; ++b) {
            sum += b == codes[p] ? std::fabs(PKProfile[b][p] - 1) / 2 : std::fabs(PKProfile[b][p]) / 2;
        }
    }
    return sum;
}

// ---------------------------------------------------------------- selection

void StableSortModels(std::vector<Individual>& models) {
    const size_t n = models.size();
    std::vector<int> order(n);
    for (size_t i = 0; i < n; ++i) order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return models[a] < models[b]; });
    size_t first = 0;
    while (first < n && order[first] == static_cast<int>(first)) ++first;
    if (first == n) return;
    std::vector<Individual> sorted;
    sorted.reserve(n);
    for (size_t i = 0; i < n; ++i) sorted.push_back(std::move(models[order[i]]));
    models = std::move(sorted);
}

void GAFrame::PreWheelSelection(std::vector<Individual>* population, Wheel& wheel) {
    StableSortModels(*population);
    wheel.member.clear();
    wheel.RLFT.clear();
    wheel.CLFT.clear();
    double total = 0.0;
    // The best member (position 0) is not on the wheel.
    for (size_t i = 1; i < population->size(); ++i) {
        wheel.member.push_back(&(*population)[i]);
        total += (*population)[i].getMismatch();
    }
    if (total == 0) total = 1;
    const size_t m = wheel.member.size();
    wheel.RLFT.resize(m);
    wheel.CLFT.resize(m);
    for (size_t i = 0; i < m; ++i) wheel.RLFT[i] = wheel.member[i]->getMismatch() / total;
    for (size_t i = 0; i < m; ++i) wheel.CLFT[i] = i == 0 ? wheel.RLFT[0] : wheel.CLFT[i - 1] + wheel.RLFT[i];
}

void GAFrame::SelectParents(std::vector<const Individual*>& parents, const Wheel& wheel) {
    const int m = static_cast<int>(wheel.member.size());
    for (int draw = 0; draw < 2; ++draw) {
        const double r = rand_gen();
        int lo = 0;
        int hi = m;
        int pick = -1;
        bool stop = false;
        // This bisection never picks index 0, and reaching mid 0 picks index 1
        // whatever r is; the selection pressure depends on that, so it stays.
        while (lo <= hi && pick < 0 && !stop) {
            const int mid = (lo + hi) / 2;
            if (mid == 0) {
                pick = 1;
            } else if (wheel.CLFT[mid] <= r) {
                if (mid == m - 1) {
                    stop = true;
                } else if (wheel.CLFT[mid + 1] > r) {
                    pick = mid + 1;
                } else {
                    lo = mid + 1;
                }
            } else {
                hi = mid - 1;
            }
        }
        if (pick < 0) pick = Random() % m;
        parents.push_back(wheel.member[pick]);
    }
}

// ---------------------------------------------------------------- crossover

void GAFrame::Crossover(const std::vector<const Individual*>& parents, std::vector<std::vector<kmer>>& offspring,
                        Midlayer* data) {
    const int n = parents[0]->getGeneNo();
    const int option = rand_gen(3);
    CrossoverOptions(parents, offspring, option, n);
    if (option != 3) PostCrossover(offspring, data);
}

void GAFrame::SortedParent(std::vector<kmer>* list, const int& mode) {
    if (mode == 1) std::stable_sort(list->begin(), list->end());
}

void GAFrame::CrossoverOptions(const std::vector<const Individual*>& parents,
                               std::vector<std::vector<kmer>>& offspring, const int& option, const int& n) {
    auto siteList = [&](const Individual* parent, std::vector<kmer>& list) {
        list.resize(n);
        for (int i = 0; i < n; ++i) list[i] = {parent->Genes[i], i, parent->GeneMismatch[i], 0.0};
    };
    // A parent's sites ordered by fit.
    std::vector<kmer> ownA, ownB;
    auto sortedList = [&](const Individual* parent, std::vector<kmer>& own) -> const std::vector<kmer>& {
        const std::vector<int> order = SiteOrderOf(parent);
        own.resize(n);
        for (int i = 0; i < n; ++i) {
            const int g = order[i];
            own[i] = {parent->Genes[g], g, parent->GeneMismatch[g], 0.0};
        }
        return own;
    };
    const bool sorted = option == 1 || option == 2;
    if (!sorted) {
        siteList(parents[0], ownA);
        siteList(parents[1], ownB);
    }
    const std::vector<kmer>& A = sorted ? sortedList(parents[0], ownA) : ownA;
    const std::vector<kmer>& Bl = sorted ? sortedList(parents[1], ownB) : ownB;
    std::vector<kmer> child1, child2;
    child1.reserve(n);
    child2.reserve(n);
    if (option == 2) {
        const int h = n / 2;
        for (int i = 0; i < h; ++i) {
            child1.push_back(A[i]);
            child1.push_back(Bl[i]);
        }
        if (n % 2 == 0) {
            for (int i = h; i < n; ++i) {
                child2.push_back(A[i]);
                child2.push_back(Bl[i]);
            }
        } else {
            child1.push_back(A[h]);
            child2.push_back(Bl[h]);
            for (int i = h + 1; i < n; ++i) {
                child2.push_back(A[i]);
                child2.push_back(Bl[i]);
            }
        }
    } else if (n < 2) {
        // One strand leaves no place to cut: each child copies one parent.
        child1 = A;
        child2 = Bl;
    } else {
        int c = Random() % n;
        while (c == 0) c = Random() % n;
        for (int i = 0; i < n; ++i) {
            child1.push_back(i < c ? A[i] : Bl[i]);
            child2.push_back(i < c ? Bl[i] : A[i]);
        }
    }
    offspring.push_back(std::move(child1));
    offspring.push_back(std::move(child2));
}

std::vector<int> GAFrame::SiteOrderOf(const Individual* parent) {
    const int n = parent->getGeneNo();
    // The order worked out earlier (rescoring a model drops it).
    const std::shared_ptr<const std::vector<int>>& kept = parent->SiteOrder;
    if (kept && static_cast<int>(kept->size()) == n) return *kept;
    return KeepSiteOrder(*parent);
}

std::vector<int> GAFrame::KeepSiteOrder(const Individual& model) {
    const int n = model.getGeneNo();
    const std::vector<double>& score = model.GeneMismatch;
    // Sorting the strand numbers by score makes the same comparisons as
    // sorting the site records themselves (SortedParent), so it gives the
    // same order, NaN scores included, while moving a sixth of the bytes.
    std::vector<int> order(n);
    for (int i = 0; i < n; ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&score](int a, int b) { return score[a] < score[b]; });
    model.SiteOrder = std::make_shared<const std::vector<int>>(order);
    return order;
}

const std::vector<int>& GAFrame::SiteRanks(const Individual* parent) {
    if (SiteRankCache != nullptr) {
        auto hit = SiteRankCache->find(parent);
        if (hit != SiteRankCache->end()) return hit->second;
    }
    const std::vector<int> order = SiteOrderOf(parent);
    std::vector<int> rank(order.size());
    for (size_t i = 0; i < order.size(); ++i) rank[order[i]] = static_cast<int>(i);
    if (SiteRankCache == nullptr) {
        LooseRanks = std::move(rank);
        return LooseRanks;
    }
    return SiteRankCache->emplace(parent, std::move(rank)).first->second;
}

void GAFrame::CrossoverStarts(const std::vector<const Individual*>& parents, Midlayer* data, std::vector<int>& first,
                              std::vector<int>& second) {
    // The children's site lists are never built: each strand's start is read
    // off where its earliest record would stand in the list, and a strand
    // without one draws, in the order the repair would draw.
    const Individual& a = *parents[0];
    const Individual& b = *parents[1];
    const int n = a.getGeneNo();
    const int option = rand_gen(3);
    first.resize(n);
    second.resize(n);
    const int* ga = a.Genes.data();
    const int* gb = b.Genes.data();
    if (option == 3) {  // cut the lists as they stand; no repair is needed
        int c = n;  // one strand: each child copies one parent
        if (n >= 2) {
            c = Random() % n;
            while (c == 0) c = Random() % n;
        }
        for (int g = 0; g < n; ++g) {
            first[g] = g < c ? ga[g] : gb[g];
            second[g] = g < c ? gb[g] : ga[g];
        }
        return;
    }
    // Ranks in the lists ordered by fit. The generation's cache keeps each
    // answer in place; outside a generation the engine holds only the latest,
    // so the first is copied before asking for the second.
    std::vector<int> ownRanks;
    const std::vector<int>* firstRanks = &SiteRanks(&a);
    if (SiteRankCache == nullptr) {
        ownRanks = *firstRanks;
        firstRanks = &ownRanks;
    }
    const std::vector<int>& rankA = *firstRanks;
    const std::vector<int>& rankB = SiteRanks(&b);
    const int kDraw = -1;
    if (option == 1) {
        int c = n;
        if (n >= 2) {
            c = Random() % n;
            while (c == 0) c = Random() % n;
        }
        // Written as plain selections of loaded values, which compile to
        // conditional moves: the conditions follow no pattern.
        for (int g = 0; g < n; ++g) {
            const int ra = rankA[g];
            const int rb = rankB[g];
            const int va = ga[g];
            const int vb = gb[g];
            const int laterB = rb >= c ? vb : kDraw;
            const int laterA = ra >= c ? va : kDraw;
            first[g] = ra < c ? va : laterB;
            second[g] = rb < c ? vb : laterA;
        }
    } else {  // option 2: the lists interleaved, first halves to the first child
        const int h = n / 2;
        const bool odd = n % 2 != 0;
        const int none = 1 << 30;
        // Places in the first child: A[i] at 2i (i < h, and i == h when n is
        // odd), B[i] at 2i + 1 (i < h). In the second, n even: A[i] at
        // 2(i - h), B[i] at 2(i - h) + 1 (i >= h); n odd: B[h] at 0, then A[i]
        // at 2(i - h) - 1 and B[i] at 2(i - h) (i > h).
        const int firstA = odd ? h + 1 : h;   // A[i] is in the first child for i < firstA
        const int secondA = odd ? h + 1 : h;  // and in the second for i >= secondA
        const int shiftA = odd ? 1 : 0;
        const int shiftB = odd ? 0 : 1;
        for (int g = 0; g < n; ++g) {
            const int ra = rankA[g];
            const int rb = rankB[g];
            const int va = ga[g];
            const int vb = gb[g];
            const int a1 = ra < firstA ? 2 * ra : none;
            const int b1 = rb < h ? 2 * rb + 1 : none;
            const int pick1 = a1 < b1 ? va : vb;
            first[g] = (a1 & b1) == none ? kDraw : pick1;
            const int a2 = ra >= secondA ? 2 * (ra - h) - shiftA : none;
            const int b2 = rb >= h ? 2 * (rb - h) + shiftB : none;
            const int pick2 = a2 < b2 ? va : vb;
            second[g] = (a2 & b2) == none ? kDraw : pick2;
        }
    }
    // The strands to draw for, found without a branch per strand (which one
    // needs a draw follows no pattern), then drawn in strand order.
    std::vector<int>& missing = DrawList;
    missing.resize(n);
    for (std::vector<int>* child : {&first, &second}) {
        int m = 0;
        const int* starts = child->data();
        for (int g = 0; g < n; ++g) {
            missing[m] = g;
            m += starts[g] == kDraw ? 1 : 0;
        }
        for (int i = 0; i < m; ++i) {
            const int g = missing[i];
            const std::vector<int>& list = data->Candidates[g];
            const unsigned r = static_cast<unsigned>(Random());  // 0 .. 32767: the same remainder in 32 bits
            (*child)[g] = list[r % static_cast<unsigned>(list.size())];
        }
    }
}

void GAFrame::PostCrossover(std::vector<std::vector<kmer>>& offspring, Midlayer* data) {
    std::vector<int> firstAt;
    for (std::vector<kmer>& child : offspring) {
        // Ordering by strand with ties kept in list order, then keeping the first
        // record of each strand, is one pass over the strands: each strand takes
        // its earliest record, and a strand without one draws an admissible start.
        const int n = static_cast<int>(child.size());
        firstAt.assign(n, -1);
        for (int i = 0; i < n; ++i)
            if (firstAt[child[i].Strand] < 0) firstAt[child[i].Strand] = i;
        std::vector<kmer> repaired;
        repaired.reserve(n);
        for (int g = 0; g < n; ++g) {
            if (firstAt[g] >= 0) {
                repaired.push_back(child[firstAt[g]]);
            } else {
                const std::vector<int>& list = data->Candidates[g];
                repaired.push_back({list[Random() % list.size()], g, 0.0, 0.0});
            }
        }
        child = std::move(repaired);
    }
}

// ---------------------------------------------------------------- one generation

void GAFrame::GeneticOperation(Midlayer* data, std::vector<Individual>* population) {
    const double lowerComp = data->GetLowerComp();
    Wheel wheel;
    PreWheelSelection(population, wheel);
    const size_t P = population->size();
    std::vector<Individual> pool;
    pool.reserve(P + 2);
    std::vector<const Individual*> parents;
    std::vector<ChildPlan> plans;
    // Nearly every member will be a parent: the orders of its sites by fit
    // that crossover wants are worked out now, in parallel, where missing.
    std::vector<const Individual*> unordered;
    for (const Individual& m : *population)
        if (!m.SiteOrder) unordered.push_back(&m);
    ParallelFor(static_cast<int>(unordered.size()), Threads, [&](int i) { KeepSiteOrder(*unordered[i]); });
    // The wheel's members stay in place for the whole generation.
    std::unordered_map<const Individual*, std::vector<int>> ranks;
    SiteRankCache = &ranks;
    int rejections = 0;
    while (pool.size() <= P) {
        // Pairs are made in batches: first every draw, in the order one pair
        // after the other would make them, then the scoring of the whole batch.
        // A batch is never larger than the pairs still needed if every child
        // passed, so no draw is made that a pair-by-pair loop would not make.
        const size_t pairs = (P + 1 - pool.size() + 1) / 2;
        plans.resize(2 * pairs);
        for (size_t i = 0; i < pairs; ++i) {
            parents.clear();
            SelectParents(parents, wheel);
            CrossoverStarts(parents, data, plans[2 * i].starts, plans[2 * i + 1].starts);
            PlanDraws(data, &plans[2 * i]);
        }
        EvaluateChildren(data, plans);
        for (ChildPlan& plan : plans) {
            if (plan.model.getComplexity() > lowerComp) {
                pool.push_back(std::move(plan.model));
                rejections = 0;
            } else if (++rejections == MAX_CHILD_REJECTIONS) {
                cout << "The lower complexity value need to be lower than: " << lowerComp << " .\n ";
                cout << "Please rerun QIRO with a smaller low complexity. \n System aborted. \n\n";
                FatalExit(1);
            }
        }
    }
    SiteRankCache = nullptr;
    NewPopulation(population, std::move(pool));
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

bool GAFrame::NarrowAvailable() {
    static const bool available = WideAvailable() && __builtin_cpu_supports("avx512vpopcntdq");
    return available;
}

bool GAFrame::WideAvailable() {
    static const bool available = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
    return available;
}

void GAFrame::NearestWide(const uint64_t* bits, int from, int to, uint64_t t, int& best, int& bestPos) const {
    NearestWide512(bits, from, to, t, best, bestPos);
}

void GAFrame::PackWindows(const Midlayer* data) {
    WindowBits.clear();
    WindowBits32.clear();
    WindowBitsData = nullptr;
    if (K > 32 || !WideAvailable()) return;
    const bool narrow = K <= 16 && NarrowAvailable();
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
        const int n = r.len - K + 1;
        if (n <= 0) continue;
        if (narrow) {
            WindowBits32[g].resize(n);
            for (int p = 0; p < n; ++p) WindowBits32[g][p] = static_cast<uint32_t>(r.Bits(p, K));
        } else {
            WindowBits[g].resize(n);
            for (int p = 0; p < n; ++p) WindowBits[g][p] = r.Bits(p, K);
        }
    }
    WindowBitsData = data;
    WindowBitsK = K;
}

void GAFrame::Realign(Midlayer* data, const char* text, std::vector<int>& starts) const {
    const int S = data->GetNumStrands();
    const int k = K;
    const PackedWord target = PackedWord::FromText(text, k);
    starts.resize(S);
    for (int q = 0; q < S; ++q) {
        const SeqRecord& r = data->Seqs[q];
        int best = 2 * k;
        int bestPos = 0;
        const std::vector<int>& list = data->Candidates[q];
        const bool consecutive = !list.empty() && list.back() - list.front() + 1 == static_cast<int>(list.size());
        if (k <= 32 && consecutive && UseWide && WindowBitsData == data && WindowBitsK == k) {
            // Consecutive starts with every window packed in advance: eight or
            // sixteen at a time.
            if (!WindowBits32.empty()) {
                NearestWide32(WindowBits32[q].data(), list.front(), list.back(), static_cast<uint32_t>(target.part[0]),
                              best, bestPos);
            } else {
                NearestWide(WindowBits[q].data(), list.front(), list.back(), target.part[0], best, bestPos);
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

std::vector<Individual> GAFrame::Replace(const std::vector<std::vector<kmer>>& offspring, Midlayer* data) {
    std::vector<ChildPlan> plans(2);
    PlanChildren(offspring, data, plans.data());
    EvaluateChildren(data, plans);
    std::vector<Individual> result;
    result.reserve(2);
    for (ChildPlan& plan : plans) result.push_back(std::move(plan.model));
    return result;
}

void GAFrame::PlanChildren(const std::vector<std::vector<kmer>>& offspring, Midlayer* data, ChildPlan* plans) {
    const int S = data->GetNumStrands();
    for (int c = 0; c < 2; ++c) {
        plans[c].starts.resize(S);
        for (int g = 0; g < S; ++g) plans[c].starts[g] = offspring[c][g].Pos;
    }
    PlanDraws(data, plans);
}

void GAFrame::PlanDraws(Midlayer* data, ChildPlan* plans) {
    const int S = data->GetNumStrands();
    for (int c = 0; c < 2; ++c) {
        ChildPlan& plan = plans[c];
        plan.model = Individual();
        plan.model.setConLen(K);
        plan.model.setGeneNo(S);
        const double f = Random() / 32767.0;
        plan.realign = Replacement > f;
        // Only the draws of the mutated consensus are made here; the text
        // itself is worked out with the scoring.
        if (plan.realign) plan.replaced = plan.model.DrawReplacedOffsets(K, plan.slots);
    }
}

void GAFrame::EvaluateChildren(Midlayer* data, std::vector<ChildPlan>& plans) {
    if (AlignCacheData != data) {
        AlignCache.clear();
        AlignCacheData = data;
        if (UseWide) PackWindows(data);
    }
    const int n = static_cast<int>(plans.size());
    ParallelFor(n, Threads, [&](int i) {
        ChildPlan& plan = plans[i];
        if (!plan.realign) return;
        char text[MAX_K + 1];
        plan.model.ApplyReplacedOffsets(data, text, plan.starts, plan.slots, plan.replaced);
        plan.text.assign(text, K);
    });
    // Texts met before take their scored model from the cache; each new text
    // is aligned and scored once, however many children share it.
    std::unordered_map<std::string, size_t> fresh;
    std::vector<const std::string*> todo;
    std::vector<int> plain;
    std::vector<const Individual*> known(n, nullptr);
    std::vector<int> freshOf(n, -1);
    for (int i = 0; i < n; ++i) {
        ChildPlan& plan = plans[i];
        if (!plan.realign) {
            plain.push_back(i);
            continue;
        }
        auto hit = AlignCache.find(plan.text);
        if (hit != AlignCache.end()) {
            ++AlignCacheHits;
            known[i] = &hit->second;
            continue;
        }
        auto added = fresh.emplace(plan.text, todo.size());
        if (added.second) {
            ++AlignCacheMisses;
            todo.push_back(&plan.text);
        }
        freshOf[i] = static_cast<int>(added.first->second);
    }
    const double* freq = data->GetFreqInfo();
    const int S = data->GetNumStrands();
    std::vector<Individual> scored(todo.size());
    const int jobs = static_cast<int>(todo.size() + plain.size());
    ParallelFor(jobs, Threads, [&](int j) {
        std::vector<int> starts;
        if (j < static_cast<int>(todo.size())) {
            Individual& model = scored[j];
            model.setConLen(K);
            model.setGeneNo(S);
            Realign(data, todo[j]->c_str(), starts);
            model.CalculateIndiFitness(data, freq, starts);
            // Crossover wants a parent's sites by fit: worked out here, in
            // parallel, once for all the children of this text (a model
            // scored once is often copied into many children).
            KeepSiteOrder(model);
        } else {
            ChildPlan& plan = plans[plain[j - todo.size()]];
            plan.model.CalculateIndiFitness(data, freq, plan.starts);
        }
    });
    // The copies, too, in parallel: the models are large.
    ParallelFor(n, Threads, [&](int i) {
        if (known[i] != nullptr) {
            plans[i].model = *known[i];
        } else if (freshOf[i] >= 0) {
            plans[i].model = scored[freshOf[i]];
        }
    });
    // About twelve bytes a strand per entry (a start and a score).
    const size_t entryBytes = sizeof(Individual) + static_cast<size_t>(S) * (sizeof(int) + sizeof(double)) + K;
    for (size_t i = 0; i < todo.size(); ++i) {
        if ((AlignCache.size() + 1) * entryBytes > AlignCacheLimit) AlignCache.clear();
        AlignCache.emplace(*todo[i], std::move(scored[i]));
    }
}

void GAFrame::NewPopulation(std::vector<Individual>* population, std::vector<Individual>&& pool) {
    population->reserve(population->size() + pool.size());
    for (Individual& child : pool) population->push_back(std::move(child));
    pool.clear();
    const int N = static_cast<int>(population->size());
    const double x = Random() / 32767.0;
    if (Winner > x) {
        StableSortModels(*population);
        population->resize(Population);
        return;
    }
    // Tournaments between random pairs; the draw list holds indices so that
    // removals from its middle move no models.
    std::vector<int> draw(N);
    for (int i = 0; i < N; ++i) draw[i] = i;
    std::vector<int> taken;
    taken.reserve(Population);
    while (!draw.empty()) {
        int i = Random() % static_cast<int>(draw.size());
        const int a = draw[i];
        draw.erase(draw.begin() + i);
        int winner = a;
        if (!draw.empty()) {
            int j = Random() % static_cast<int>(draw.size());
            const int b = draw[j];
            draw.erase(draw.begin() + j);
            // Of two equal members the one drawn first wins.
            if ((*population)[b] < (*population)[a]) winner = b;
        }
        if (static_cast<int>(taken.size()) < Population) taken.push_back(winner);
    }
    std::vector<Individual> next;
    next.reserve(taken.size());
    for (int idx : taken) next.push_back(std::move((*population)[idx]));  // each index is taken once
    *population = std::move(next);
}

// ---------------------------------------------------------------- post-processing

namespace {
std::vector<std::vector<int>> SameNameStrands(const Midlayer* data);
}

GAFrame::RefineTables GAFrame::MakeRefineTables(Midlayer* data) const {
    // What merging and every refinement step look up: strands of one name, the
    // estimated mismatch denominator of every admissible window, and log2 of
    // every window's background probability.
    RefineTables tables;
    tables.sameName = SameNameStrands(data);
    for (int g = 0; g < data->GetNumStrands(); ++g) {
        const std::vector<int>& same = tables.sameName[g];
        const int t = same.size() == 1 ? -1 : same.size() == 2 ? (same[0] == g ? same[1] : same[0]) : -2;
        tables.length.push_back(data->Seqs[g].len);
        tables.twin.push_back(t);
        tables.twinLength.push_back(t >= 0 ? data->Seqs[std::min(g, t)].len : 0);
    }
    const MismatchScorer denOnly(data->PosFreq, data->PosFreq, K);
    tables.den.resize(data->Candidates.size());
    for (size_t g = 0; g < data->Candidates.size(); ++g) {
        const uint8_t* code = data->Seqs[g].code.data();
        for (int p : data->Candidates[g]) tables.den[g].push_back(denOnly.ApproxDen(code + p));
    }
    tables.minDen = std::numeric_limits<double>::infinity();
    for (size_t g = 0; g < tables.den.size(); ++g) {
        const std::vector<double>& strand = tables.den[g];
        tables.offset.push_back(static_cast<int>(tables.flatDen.size()));
        for (size_t i = 0; i < strand.size(); ++i) {
            const double d = strand[i];
            tables.flatDen.push_back(d);
            tables.flatStrand.push_back(static_cast<int>(g));
            tables.flatPos.push_back(data->Candidates[g][i]);
            // A window without a positive finite denominator has no ratio to bound.
            if (!(d > 0) || !std::isfinite(d)) tables.minDen = 0;
            tables.minDen = std::min(tables.minDen, d);
        }
    }
    if (!std::isfinite(tables.minDen)) tables.minDen = 0;
    size_t letters = 0;
    for (int g = 0; g < data->GetNumStrands(); ++g) letters += data->Seqs[g].len;
    if (K == data->GetK() && letters <= (size_t(1) << 27)) {
        for (int g = 0; g < data->GetNumStrands(); ++g) {
            const SeqRecord& r = data->Seqs[g];
            tables.logP.offset.push_back(tables.logP.value.size());
            for (int p = 0; p + K <= r.len; ++p)
                tables.logP.value.push_back(std::log2(data->BackgroundProb(r.code.data() + p, K)));
        }
    }
    return tables;
}

void GAFrame::PostProcessing(Midlayer* data, std::vector<Individual>* population, const int& sitesPerStrand) {
    const RefineTables tables = MakeRefineTables(data);
    Refining = &tables;

    std::vector<Individual> work(*population);
    MergingStep(data, &work);
    std::stable_sort(work.begin(), work.end(), RankMAPS);

    // Each model is refined on its own, so the models can go to different threads.
    std::vector<RefineCounts> counts(work.size());
    ParallelFor(static_cast<int>(work.size()), Threads, [&](int i) {
        Individual& model = work[i];
        AddingMemo memo;
        double previous = model.getIC();
        AddingStep(&model, data, &memo);
        RemovingStep(&model, data, sitesPerStrand, &memo);
        double current = model.getIC();
        while (current - previous > 0) {
            previous = current;
            AddingStep(&model, data, &memo);
            RemovingStep(&model, data, sitesPerStrand, &memo);
            current = model.getIC();
        }
        counts[i] = memo.counts;
    });
    LastRefine = RefineCounts();
    for (const RefineCounts& c : counts) {
        LastRefine.full += c.full;
        LastRefine.bounded += c.bounded;
        LastRefine.looked += c.looked;
        LastRefine.ratio += c.ratio;
        LastRefine.late += c.late;
        LastRefine.blockMade += c.blockMade;
    }
    Refining = nullptr;
    *population = std::move(work);
    std::stable_sort(population->begin(), population->end(), RankMAPS);
}

namespace {

// Strands that carry the same sequence name, for the mirror test: a sequence
// and its reverse complement, and any sequences the file names alike.
std::vector<std::vector<int>> SameNameStrands(const Midlayer* data) {
    const int S = data->GetNumStrands();
    std::map<std::string, std::vector<int>> byName;
    for (int g = 0; g < S; ++g) byName[data->Seqs[g].Name()].push_back(g);
    std::vector<std::vector<int>> result(S);
    for (const auto& entry : byName)
        for (int g : entry.second) result[g] = entry.second;
    return result;
}

uint64_t SiteKey(int strand, int pos) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(strand)) << 32) | static_cast<uint32_t>(pos);
}

// Every (strand, start) that a kept site rules out: itself, and its mirror
// position on each other strand of the same name (measured with the length of
// the lower-indexed strand of the two).
template <typename Set>
void AddBlocked(const Midlayer* data, const std::vector<std::vector<int>>& sameName, const kmer& site, int k,
                Set& blocked) {
    blocked.insert(blocked.end(), SiteKey(site.Strand, site.Pos));
    for (int t : sameName[site.Strand]) {
        if (t == site.Strand) continue;
        const int length = data->Seqs[std::min(t, static_cast<int>(site.Strand))].len;
        blocked.insert(blocked.end(), SiteKey(t, length - site.Pos - k));
    }
}

}  // namespace

void GAFrame::RemoveDuplicateSites(Midlayer* data, std::vector<kmer>& sites) const {
    // A site goes exactly when an earlier kept site rules it out, so one pass
    // with the set of ruled-out positions gives the pairwise result.
    const std::vector<std::vector<int>> sameName = SameNameStrands(data);
    std::unordered_set<uint64_t> blocked;
    blocked.reserve(sites.size() * 2);
    std::vector<kmer> kept;
    kept.reserve(sites.size());
    for (const kmer& s : sites) {
        if (blocked.count(SiteKey(s.Strand, s.Pos))) continue;
        kept.push_back(s);
        AddBlocked(data, sameName, s, K, blocked);
    }
    sites = std::move(kept);
}

void GAFrame::MergingStep(Midlayer* data, std::vector<Individual>* population) {
    const double delta = data->GetDelta();
    const double* freq = data->GetFreqInfo();
    auto build = [&](const std::vector<kmer>& list, std::vector<Individual>& out) {
        Individual model;
        model.setConLen(K);
        model.Sites = list;
        model.setGeneNo(static_cast<int>(list.size()));
        model.CalculateIndiFitness_vector(data, freq, SharedLogP());
        out.push_back(std::move(model));
    };
    auto sitesOf = [](const Individual& m, std::vector<kmer>& list) {
        for (size_t g = 0; g < m.Genes.size(); ++g) list.push_back({m.Genes[g], static_cast<int>(g), 0.0, 0.0});
    };

    // Models with one consensus become one model.
    const std::vector<Individual>& W = *population;
    const size_t n = W.size();
    std::vector<bool> grouped(n, false);
    std::vector<Individual> M;
    std::vector<kmer> L;
    for (size_t b = 0; b < n; ++b) {
        if (grouped[b]) continue;
        L.clear();
        sitesOf(W[b], L);
        bool several = false;
        for (size_t s = b + 1; s < n; ++s) {
            if (!grouped[s] && std::strcmp(W[s].Cons, W[b].Cons) == 0) {
                grouped[s] = true;
                several = true;
                sitesOf(W[s], L);
            }
        }
        if (several) RemoveDuplicateSites(data, L);
        build(L, M);
    }

    // Models whose information content lies within delta of an earlier one join it.
    std::vector<std::vector<kmer>> lists;
    std::vector<bool> joined(M.size(), false);
    for (size_t r = 0; r < M.size(); ++r) {
        if (joined[r]) continue;
        std::vector<kmer> U = M[r].Sites;
        bool appended = false;
        for (size_t p = r + 1; p < M.size(); ++p) {
            if (joined[p]) continue;
            const double d = M[r].getIC() - M[p].getIC();
            if (delta > std::fabs(d)) {
                U.insert(U.end(), M[p].Sites.begin(), M[p].Sites.end());
                joined[p] = true;
                appended = true;
            }
        }
        if (appended) RemoveDuplicateSites(data, U);
        lists.push_back(std::move(U));
    }

    M.clear();
    for (const std::vector<kmer>& list : lists) build(list, M);
    *population = std::move(M);
}

namespace {
// The largest float not above x (the bounds kept in floats must stay bounds).
float FloatBelow(double x) {
    const double most = std::numeric_limits<float>::max();
    if (x < -most) return -std::numeric_limits<float>::infinity();
    if (x > most) return std::numeric_limits<float>::max();
    float f = static_cast<float>(x);
    if (static_cast<double>(f) > x) f = std::nextafter(f, -std::numeric_limits<float>::infinity());
    return f;
}
bool ContenderBelow(const GAFrame::Contender& a, const GAFrame::Contender& b) { return a.bound < b.bound; }
}  // namespace

namespace {
// A well-mixed 64-bit value of a site; their sum identifies a set of sites.
uint64_t SiteMix(const kmer& s) {
    uint64_t x = SiteKey(s.Strand, s.Pos) + 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}
}  // namespace

void GAFrame::MarkSite(AddingMemo* memo, const Midlayer* data, const kmer& site, int by) const {
    const WindowLogP* windows = SharedLogP();
    auto rule = [&](int g, int p) {
        // A mirror position can fall outside a strand of another length: nothing to rule out there.
        if (p < 0 || p + K > Refining->length[g]) return;
        const size_t at = windows->offset[g] + p;
        uint8_t& n = memo->blockCount[at];
        n = static_cast<uint8_t>(n + by);
        const uint64_t bit = uint64_t(1) << (at & 63);
        memo->blockedBits[at >> 6] = n != 0 ? memo->blockedBits[at >> 6] | bit : memo->blockedBits[at >> 6] & ~bit;
    };
    // The same positions as AddBlocked gives.
    rule(site.Strand, site.Pos);
    const int t = Refining->twin[site.Strand];
    if (t >= 0) {
        rule(t, Refining->twinLength[site.Strand] - site.Pos - K);
    } else if (t == -2) {
        for (int u : Refining->sameName[site.Strand])
            if (u != site.Strand) rule(u, data->Seqs[std::min(u, static_cast<int>(site.Strand))].len - site.Pos - K);
    }
}

void GAFrame::Blocked(AddingMemo* memo, const Midlayer* data, const kmer& site, bool added) const {
    if (memo == nullptr || !memo->blockValid || SharedLogP() == nullptr) return;
    MarkSite(memo, data, site, added ? 1 : -1);
    memo->blockPrint += added ? SiteMix(site) : -SiteMix(site);
}

void GAFrame::AddingStep(Individual* model, Midlayer* data) { AddingStep(model, data, nullptr); }

void GAFrame::AddingStep(Individual* model, Midlayer* data, AddingMemo* memo) {
    kmer best;
    if (BestAddition(*model, data, memo, &best)) AddSite(model, data, best, memo);
}

double GAFrame::SitesICWith(const Individual& model, Midlayer* data, const kmer* added, const kmer* removed) const {
    double count[B][MAX_K];
    model.ScoredCounts(count);
    int n = static_cast<int>(model.Sites.size());
    auto change = [&](const kmer& s, double by) {
        const uint8_t* code = data->Seqs[s.Strand].code.data() + s.Pos;
        for (int j = 0; j < K; ++j)
            if (code[j] < B) count[code[j]][j] += by;
    };
    if (added != nullptr) {
        change(*added, 1.0);
        ++n;
    }
    if (removed != nullptr) {
        change(*removed, -1.0);
        --n;
    }
    return Individual::CountsIC(count, n, K, data->GetFreqInfo());
}

void GAFrame::AddSite(Individual* model, Midlayer* data, const kmer& site, AddingMemo* memo) {
    // A site that would lower the information content is not added: the
    // model stays as it came, which is what scoring it again would give.
    const double ic = Refining != nullptr ? SitesICWith(*model, data, &site, nullptr)
                                          : Individual::SitesIC(data, data->GetFreqInfo(), K, model->Sites, &site);
    if (ic < model->getIC()) return;
    Blocked(memo, data, site, true);
    model->Sites.push_back(site);
    model->setConLen(K);
    model->setGeneNo(static_cast<int>(model->Sites.size()));
    model->CalculateIndiFitness_vector(data, data->GetFreqInfo(), SharedLogP());
}

bool GAFrame::BestAddition(const Individual& model, Midlayer* data, AddingMemo* memo, kmer* pick) {
    const int S = data->GetNumStrands();
    const int k = K;
    const double limit = model.getMismatch() + model.getSTD();
    std::vector<std::vector<int>> ownSameName;
    if (Refining == nullptr) ownSameName = SameNameStrands(data);
    const std::vector<std::vector<int>>& sameName = Refining ? Refining->sameName : ownSameName;
    // Positions the model's sites rule out: with a memo and the window
    // tables, counts and bits over every window kept by the memo; else a
    // sorted list made here.
    std::vector<uint64_t> blocked;
    const WindowLogP* windows = SharedLogP();
    const bool bitmap = memo != nullptr && windows != nullptr;
    if (bitmap) {
        // Kept from call to call and changed site by site; made afresh when
        // the sites are not the ones it was made for.
        uint64_t print = 0;
        for (const kmer& site : model.Sites) print += SiteMix(site);
        if (!memo->blockValid || print != memo->blockPrint) {
            memo->blockCount.assign(windows->value.size(), 0);
            memo->blockedBits.assign((windows->value.size() + 63) / 64, 0);
            memo->blockValid = true;
            for (const kmer& site : model.Sites) MarkSite(memo, data, site, 1);
            memo->blockPrint = print;
            ++memo->counts.blockMade;
        }
    } else {
        blocked.reserve(2 * model.Sites.size());
        for (const kmer& s : model.Sites) AddBlocked(data, sameName, s, k, blocked);
        std::sort(blocked.begin(), blocked.end());
    }
    auto isBlocked = [&](int g, int p) {
        if (!bitmap) return std::binary_search(blocked.begin(), blocked.end(), SiteKey(g, p));
        const size_t at = windows->offset[g] + p;
        return ((memo->blockedBits[at >> 6] >> (at & 63)) & 1) != 0;
    };
    const MismatchScorer scorer(model.MismatchMatrix, data->PosFreq, k);
    const double quickLimit = limit * (1 + APPROX_MARGIN);

    // The candidate with the lowest background score wins; of equal ones the
    // first met, and one whose score is undefined only when all are.
    bool found = false;
    kmer best{0, 0, 0.0, 0.0};
    auto consider = [&](int g, int p, double estimate, double den) {
        // Most windows are far from the model: the estimate rules them out.
        if (estimate > quickLimit * den) return;
        const SeqRecord& r = data->Seqs[g];
        const double mm = scorer.Exact(r.code.data() + p);
        if (!(limit >= mm)) return;
        if (isBlocked(g, p)) return;
        const WindowLogP* logP = SharedLogP();
        const double L = logP ? logP->value[logP->offset[g] + p] : std::log2(data->BackgroundProb(r.code.data() + p, k));
        const kmer candidate{p, g, mm, L / mm};
        if (!found || BComp()(candidate, best) || (std::isnan(best.BGScore) && !std::isnan(candidate.BGScore))) {
            best = candidate;
            found = true;
        }
    };

    // With a memo, the windows' estimates from the last full scan bound the
    // present ones: an estimate moves by at most the summed change of the
    // model's rows since then (the drift). Past the drift the bounds were made
    // for, a full scan makes them afresh.
    const bool tracked = memo != nullptr && Refining != nullptr && Refining->minDen > 0;
    bool scanned = false;
    if (tracked && memo->valid && std::isfinite(quickLimit)) {
        double drift = 0.0;
        for (int j = 0; j < k; ++j) {
            double most = 0.0;
            for (int c = 0; c < 5; ++c) most = std::max(most, std::fabs(scorer.NumRow(j)[c] - memo->rows[j][c]));
            drift += most;
        }
        const size_t total = memo->ratio.size();
        const bool bounded = windows != nullptr && !memo->contenders.empty();
        if (bounded && drift <= memo->driftCap) {
            // The winner is usually among the few windows of lowest bound: go
            // through them in that order and stop at the first bound above the
            // best score met, which no later window can reach or tie. Ties
            // between scores go to the earlier window in scan order, as in a
            // scan. The model's own sites come first in that order, so the
            // look is given up (for the scans below) only well past their number.
            int bestWindow = -1;
            bool undefined = false;
            bool past = false;  // a bound above the best score was met
            size_t i = 0;
            const size_t n = memo->contenders.size();
            const size_t budget = ContenderLook + ContenderPerSite * model.Sites.size();
            for (; i < n && i < budget; ++i) {
                if (i == memo->contendersSorted) {
                    std::sort(memo->contenders.begin() + i, memo->contenders.end(), ContenderBelow);
                    memo->contendersSorted = n;
                    ++memo->counts.late;
                }
                const Contender& c = memo->contenders[i];
                if (found && c.bound > best.BGScore) {
                    past = true;
                    break;
                }
                const int w = c.window;
                const int g = c.strand;
                const int p = c.pos;
                if (isBlocked(g, p)) continue;
                const uint8_t* code = data->Seqs[g].code.data() + p;
                if (scorer.ApproxNum(code) > quickLimit * Refining->flatDen[w]) continue;
                const double mm = scorer.Exact(code);
                if (!(limit >= mm)) continue;
                const double L = windows->value[windows->offset[g] + p];
                const double score = L / mm;
                if (std::isnan(score)) {
                    undefined = true;
                    continue;
                }
                if (!found || score < best.BGScore || (score == best.BGScore && w < bestWindow)) {
                    best = kmer{p, g, mm, score};
                    bestWindow = w;
                    found = true;
                }
            }
            memo->counts.looked += i;
            if (past || (i == n && (found || !undefined))) {
                scanned = true;
                ++memo->counts.bounded;
            } else {
                found = false;
            }
        }
        if (!scanned && (!bounded || drift <= memo->driftCap) && std::isfinite(drift)) {
            // Only windows whose earlier ratio lies within the drift of the
            // limit can pass it now; when they are few, look at them in scan
            // order, as a full scan meets them.
            if (memo->order.size() != total) {
                memo->order.resize(total);
                for (size_t w = 0; w < total; ++w) memo->order[w] = static_cast<int>(w);
                std::sort(memo->order.begin(), memo->order.end(),
                          [&](int a, int b) { return memo->ratio[a] < memo->ratio[b]; });
                memo->sortedRatio.resize(total);
                for (size_t w = 0; w < total; ++w) memo->sortedRatio[w] = memo->ratio[memo->order[w]];
            }
            const double slack = (drift * (1 + APPROX_MARGIN) + k * 1e-12) / Refining->minDen;
            const double cutoff = quickLimit + slack;
            const size_t count =
                std::upper_bound(memo->sortedRatio.begin(), memo->sortedRatio.end(), cutoff) - memo->sortedRatio.begin();
            if (count * 8 <= total) {
                std::vector<uint64_t>& marks = memo->marks;
                marks.assign((total + 63) / 64, 0);
                for (size_t i = 0; i < count; ++i) marks[memo->order[i] >> 6] |= uint64_t(1) << (memo->order[i] & 63);
                for (size_t word = 0; word < marks.size(); ++word) {
                    for (uint64_t bits = marks[word]; bits != 0; bits &= bits - 1) {
                        const int w = static_cast<int>(word * 64 + __builtin_ctzll(bits));
                        const int g = Refining->flatStrand[w];
                        const int p = Refining->flatPos[w];
                        consider(g, p, scorer.ApproxNum(data->Seqs[g].code.data() + p), Refining->flatDen[w]);
                    }
                }
                scanned = true;
                ++memo->counts.ratio;
            }
        }
    }
    if (!scanned) {
        std::vector<double> estimate;
        if (tracked) {
            memo->ratio.clear();
            memo->order.clear();
            memo->sortedRatio.clear();
            memo->contenders.clear();
            memo->driftCap = ContenderDriftCap;
            ++memo->counts.full;
        }
        const double cap = tracked ? memo->driftCap : 0.0;
        for (int g = 0; g < S; ++g) {
            const SeqRecord& r = data->Seqs[g];
            const std::vector<int>& list = data->Candidates[g];
            const size_t n = list.size();
            const double* dens = Refining ? Refining->den[g].data() : nullptr;
            // Estimated numerators of all windows of the strand, one offset at a
            // time: the windows' sums are independent, so they proceed side by side.
            estimate.assign(n, 0.0);
            for (int j = 0; j < k; ++j) {
                const double* row = scorer.NumRow(j);
                const uint8_t* code = r.code.data() + j;
                for (size_t i = 0; i < n; ++i) estimate[i] += row[code[list[i]]];
            }
            for (size_t i = 0; i < n; ++i) {
                const double den = dens ? dens[i] : scorer.ApproxDen(r.code.data() + list[i]);
                consider(g, list[i], estimate[i], den);
                if (!tracked) continue;
                memo->ratio.push_back(FloatBelow(estimate[i] / den));
                if (windows == nullptr) continue;
                // The mismatch cannot fall below (estimate - cap) / den, less
                // the estimate's own rounding; the score L / mismatch (L <= 0)
                // cannot fall below L over that.
                const double L = windows->value[windows->offset[g] + list[i]];
                const double low = (estimate[i] - cap - k * 1e-12) / den * (1 - 1e-9);
                double bound = -std::numeric_limits<double>::infinity();
                if (low > 0 && !std::isnan(L)) bound = L / low * (1 + 1e-9);
                memo->contenders.push_back({FloatBelow(bound), static_cast<int>(memo->ratio.size() - 1), g, list[i]});
            }
        }
        if (tracked) {
            // Only the first few hundred contenders are usually looked at:
            // the lowest ones are sorted now, the rest when first reached.
            std::vector<Contender>& c = memo->contenders;
            const size_t head = std::min(c.size(), ContenderHead + ContenderPerSite * model.Sites.size());
            std::nth_element(c.begin(), c.begin() + head, c.end(), ContenderBelow);
            std::sort(c.begin(), c.begin() + head, ContenderBelow);
            memo->contendersSorted = head;
            for (int j = 0; j < k; ++j)
                for (int c5 = 0; c5 < 5; ++c5) memo->rows[j][c5] = scorer.NumRow(j)[c5];
            memo->valid = true;
        }
    }
    if (found) *pick = best;
    return found;
}

void SortByBackgroundScore(const std::vector<kmer>& original, std::vector<kmer>& sites) {
    // While refining, the sites come in the order of their previous scores,
    // which a small change of the model hardly alters: inserting each in
    // place is then close to one pass. Any stable sort gives the same order
    // when no score is undefined; with one, or when the order has changed
    // much, the library's stable sort does it.
    sites = original;
    const size_t n = sites.size();
    size_t moves = 0;
    const size_t most = 8 * n + 64;
    bool done = true;
    for (size_t i = 0; i < n && done; ++i) {
        const kmer x = sites[i];
        if (std::isnan(x.BGScore)) {
            done = false;
            break;
        }
        size_t j = i;
        while (j > 0 && x.BGScore < sites[j - 1].BGScore) {
            sites[j] = sites[j - 1];
            --j;
            if (++moves > most) {
                done = false;
                break;
            }
        }
        sites[j] = x;
    }
    if (!done) {
        sites = original;
        std::stable_sort(sites.begin(), sites.end(), BComp());
    }
}

void GAFrame::RemovingStep(Individual* model, Midlayer* data, const int& sitesPerStrand) {
    RemovingStep(model, data, sitesPerStrand, nullptr);
}

void GAFrame::RemovingStep(Individual* model, Midlayer* data, const int& sitesPerStrand, AddingMemo* memo) {
    const double entryIC = model->getIC();
    const int S = data->GetNumStrands();
    const int numSeq = data->GetNumSeq();
    const bool both = data->GetDoubleStrand();
    std::vector<int> counter(S, 0);
    std::vector<kmer> ordered;
    SortByBackgroundScore(model->Sites, ordered);

    // Each strand keeps its sitesPerStrand sites of lowest background score.
    std::vector<kmer> kept, cut;
    kept.reserve(ordered.size());
    for (const kmer& s : ordered) {
        if (counter[s.Strand] < sitesPerStrand) {
            kept.push_back(s);
            ++counter[s.Strand];
        } else {
            cut.push_back(s);
        }
    }

    int chosen = -1;
    for (size_t i = 0; i < kept.size(); ++i) {
        const int g = kept[i].Strand;
        const int partner = g < numSeq ? g + numSeq : g - numSeq;
        if (counter[g] > 1 || (both && counter[partner] != 0)) {
            chosen = static_cast<int>(i);
            break;
        }
    }
    if (chosen < 0) return;

    const kmer removed = kept[chosen];
    kept.erase(kept.begin() + chosen);
    // When the removal would lower the information content the site goes
    // back, at the end of the kept ones; only the list kept is scored.
    const double keptIC = Refining != nullptr && kept.size() + 1 == model->Sites.size()
                              ? SitesICWith(*model, data, nullptr, &removed)
                              : Individual::SitesIC(data, data->GetFreqInfo(), K, kept);
    if (keptIC < entryIC) {
        kept.push_back(removed);
    } else {
        Blocked(memo, data, removed, false);
    }
    for (const kmer& s : cut) Blocked(memo, data, s, false);
    model->Sites = std::move(kept);
    model->setConLen(K);
    model->setGeneNo(static_cast<int>(model->Sites.size()));
    model->CalculateIndiFitness_vector(data, data->GetFreqInfo(), SharedLogP());
}
