// The genetic search engine: search parameters, initialization, selection,
// crossover, re-alignment, the forming of each generation, and post-processing.
#ifndef QIRO_GAFRAME_H
#define QIRO_GAFRAME_H

#include <atomic>
#include <exception>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "Constants.h"
#include "Individual.h"
#include "Midlayer.h"

// Runs body(0) .. body(n - 1) on up to `threads` threads; each index once.
// Should a body throw (an allocation that fails), the remaining indices are
// left, every thread is joined and the first exception is thrown again here,
// so that it reaches the caller's handler instead of ending the process. A
// thread that cannot be started leaves its share to the others.
template <typename Body>
void ParallelFor(int n, int threads, Body body) {
    if (threads > n) threads = n;
    if (threads <= 1) {
        for (int i = 0; i < n; ++i) body(i);
        return;
    }
    std::atomic<int> next(0);
    std::atomic<bool> failed(false);
    std::exception_ptr first;
    std::mutex firstLock;
    auto work = [&]() {
        try {
            for (int i = next++; i < n && !failed; i = next++) body(i);
        } catch (...) {
            std::lock_guard<std::mutex> hold(firstLock);
            if (!first) first = std::current_exception();
            failed = true;
        }
    };
    std::vector<std::thread> pool;
    pool.reserve(static_cast<size_t>(threads - 1));
    for (int t = 1; t < threads; ++t) {
        try {
            pool.emplace_back(work);
        } catch (const std::system_error&) {
            break;
        }
    }
    work();
    for (std::thread& t : pool) t.join();
    if (first) std::rethrow_exception(first);
}

// Orders models as std::stable_sort would by ascending mismatch (operator<),
// with the same comparisons, but moves each model at most once: the models
// are large, their indices are not.
void StableSortModels(std::vector<Individual>& models);

// The roulette wheel of one generation: every member but the best, each with
// a slice proportional to its mismatch score. Members are borrowed from the
// population, which stays unchanged while the wheel is in use.
struct Wheel {
    std::vector<const Individual*> member;
    std::vector<double> RLFT;  // relative share
    std::vector<double> CLFT;  // cumulative share
};

// Mismatch of windows against a known-site profile: Exact() adds the same
// terms in the same order as GAFrame::CalMismatchCodes; Approx() is within
// 1e-12 (relative) of it and rules windows out quickly.
class ProfileScorer {
public:
    ProfileScorer(const double (&profile)[B][MAX_K], int k);
    double Exact(const uint8_t* codes) const {
        double sum = 0.0;
        for (int p = 0; p < k_; ++p) {
            const double* t = term_[p][codes[p]];
            sum += t[0];
            sum += t[1];
            sum += t[2];
            sum += t[3];
        }
        return sum;
    }
    double Approx(const uint8_t* codes) const {
        double sum = 0.0;
        for (int p = 0; p < k_; ++p) sum += row_[p][codes[p]];
        return sum;
    }

private:
    int k_;
    double term_[MAX_K][5][B];
    double row_[MAX_K][5];
};

// A generation ends the run when this many children in a row fail the
// low-complexity test: no child could ever fill the pool.
const int MAX_CHILD_REJECTIONS = 1000;

// The sites by ascending background score, equal ones in their order: the
// very order std::stable_sort with BComp gives.
void SortByBackgroundScore(const std::vector<kmer>& sites, std::vector<kmer>& out);

class GAFrame {
public:
    int Population = DFLT_POP;
    int Iteration = DFLT_GEN;
    double Winner = DFLT_WIN;
    double Replacement = DFLT_SUB;
    double PKRate = DFLT_PKPER;
    double PKProfile[B][MAX_K] = {};
    int K = DFLT_K;

    // Re-alignment, and so the whole scoring of a re-aligned child, depends
    // only on the text once the data are loaded, and children often share
    // their mutated consensus: the scored model of each text is kept (for one
    // data layer, up to a bounded number of bytes, all entries together).
    std::unordered_map<std::string, Individual> AlignCache;
    const Midlayer* AlignCacheData = nullptr;
    size_t AlignCacheLimit = size_t(1) << 28;
    // Every window packed in advance, for the wide nearest-window scan (used
    // where the processor has 512-bit integer instructions and k <= 32).
    std::vector<std::vector<uint64_t>> WindowBits;
    // The same in 32 bits for windows of at most 16 letters, where the
    // processor counts bits in 512-bit registers (then WindowBits is empty).
    std::vector<std::vector<uint32_t>> WindowBits32;
    static bool NarrowAvailable();
    const Midlayer* WindowBitsData = nullptr;
    int WindowBitsK = 0;
    bool UseWide = WideAvailable();
    static bool WideAvailable();
    void PackWindows(const Midlayer* data);
    void NearestWide(const uint64_t* bits, int from, int to, uint64_t t, int& best, int& bestPos) const;
    size_t AlignCacheHits = 0;
    size_t AlignCacheMisses = 0;

    // Worker threads for the parts of a generation and of post-processing that
    // draw no random numbers; results do not depend on the count.
    int Threads = 1;

    // While post-processing runs: tables shared by every refinement step.
    struct RefineTables {
        std::vector<std::vector<int>> sameName;
        std::vector<std::vector<double>> den;  // per strand, per admissible start
        std::vector<double> flatDen;           // the same, strand after strand
        std::vector<int> offset;               // where each strand starts in flatDen
        std::vector<int> flatStrand, flatPos;  // strand and start of each entry of flatDen
        // Per strand: its length, and the one other strand of its name (-1
        // when none, -2 when several: see sameName) with the length a mirror
        // position is measured with.
        std::vector<int> length, twin, twinLength;
        double minDen = 0;                     // the smallest, 0 when any is not positive
        WindowLogP logP;                       // empty when the input is too large to hold it
    };
    // A window and a lower bound of its background score (log2 probability
    // over mismatch) that holds while the model's rows stay within the memo's
    // drift cap of those of the last full scan.
    struct Contender {
        float bound;
        int window;  // flat index
        int strand, pos;
    };
    // How site adding found its candidates: full scans, looks by bound that
    // settled it (and the windows they went through), scans of the windows
    // near the limit.
    struct RefineCounts {
        size_t full = 0, bounded = 0, looked = 0, ratio = 0;
        size_t late = 0;  // times the bounds past the sorted head were sorted
        size_t blockMade = 0;  // times the ruled-out positions were made afresh
    };
    RefineCounts LastRefine;  // summed over the models of the last post-processing
    // What site adding remembers of one model between its calls.
    struct AddingMemo {
        RefineCounts counts;
        bool valid = false;
        double rows[MAX_K][5] = {};  // the model's estimate rows at the last full scan
        std::vector<float> ratio;    // estimate / denominator at that scan (rounded down), by window
        std::vector<int> order;      // the windows by ascending ratio, made when first needed
        std::vector<float> sortedRatio;     // the ratios in that order
        std::vector<Contender> contenders;  // every window, by ascending bound ...
        size_t contendersSorted = 0;        // ... up to here; the rest all lie above
        double driftCap = 0.0;              // the row change the bounds allow for
        std::vector<uint64_t> marks; // scratch: windows to look at, one bit each
        // Positions the model's sites rule out: how many sites rule out each
        // window, one bit each for the windows ruled out, and the sum of
        // SiteMix over the sites they were made for.
        std::vector<uint8_t> blockCount;
        std::vector<uint64_t> blockedBits;
        uint64_t blockPrint = 0;
        bool blockValid = false;
    };
    const RefineTables* Refining = nullptr;
    // How far (summed over the offsets) the model's estimate rows may move
    // from those of a full scan before the bounds it made no longer hold and
    // the next call scans in full again.
    double ContenderDriftCap = 1.0;
    // A look by bound goes through at most ContenderLook windows plus
    // ContenderPerSite per site of the model (the sites themselves come
    // first); at a full scan the lowest ContenderHead plus as many per site
    // are sorted, the rest when first reached.
    size_t ContenderLook = 4096;
    size_t ContenderHead = 8192;
    size_t ContenderPerSite = 4;
    const WindowLogP* SharedLogP() const {
        return Refining != nullptr && !Refining->logP.value.empty() ? &Refining->logP : nullptr;
    }

    // While a generation runs: each parent's place for every strand in its
    // sites ordered by fit, made once.
    std::unordered_map<const Individual*, std::vector<int>>* SiteRankCache = nullptr;
    std::vector<int> LooseRanks;  // SiteRanks' answer outside a generation
    std::vector<int> DrawList;    // CrossoverStarts' strands without a start

    GAFrame() {}
    ~GAFrame() {}

    int getPopulation() const { return Population; }
    void setPopulation(int v) { Population = v; }
    int getIteration() const { return Iteration; }
    void setIteration(int v) { Iteration = v; }
    double getReplacement() const { return Replacement; }
    void setReplacement(double v) { Replacement = v; }
    double getWinner() const { return Winner; }
    void setWinner(double v) { Winner = v; }

    void setParameters(const int& population, const int& generations, const double& replacement,
                       const double& winner, const double& pkRate, const int& k);

    // (0, 1]: R / 32767, drawn again while 0.
    static double rand_gen();
    // 1..n.
    static int rand_gen(int n);
    static int LookupCode(char c) { return Midlayer::LookupCode(c); }

    // Initialization.
    void Initialization(const bool& usePK, Midlayer* data, std::vector<Individual>* population);
    void PKSelection(const PK* sites, PKFitness scores, const int& k);
    double CalMismatch(const char* kmer) const;
    double CalMismatchCodes(const uint8_t* codes, int L) const;

    // Selection.
    void PreWheelSelection(std::vector<Individual>* population, Wheel& wheel);
    void SelectParents(std::vector<const Individual*>& parents, const Wheel& wheel);

    // Crossover.
    void Crossover(const std::vector<const Individual*>& parents, std::vector<std::vector<kmer>>& offspring,
                   Midlayer* data);
    void CrossoverOptions(const std::vector<const Individual*>& parents, std::vector<std::vector<kmer>>& offspring,
                          const int& option, const int& n);
    void SortedParent(std::vector<kmer>* list, const int& mode);
    void PostCrossover(std::vector<std::vector<kmer>>& offspring, Midlayer* data);
    // Crossover and its repair as one step giving the children's starts only:
    // the same draws and the same starts as Crossover, without site lists.
    void CrossoverStarts(const std::vector<const Individual*>& parents, Midlayer* data, std::vector<int>& first,
                         std::vector<int>& second);
    // Strands of a parent in the order of its sites sorted by fit, and each
    // strand's place in that order.
    std::vector<int> SiteOrderOf(const Individual* parent);
    // Works the order out and keeps it with the model (and its copies).
    static std::vector<int> KeepSiteOrder(const Individual& model);
    const std::vector<int>& SiteRanks(const Individual* parent);

    // One generation.
    void GeneticOperation(Midlayer* data, std::vector<Individual>* population);
    std::vector<Individual> Replace(const std::vector<std::vector<kmer>>& offspring, Midlayer* data);
    // Replace in two halves: PlanChildren makes every random draw of the two
    // children (in the order Replace makes them), EvaluateChildren re-aligns
    // and scores a batch of planned children, in parallel.
    struct ChildPlan {
        Individual model;
        std::vector<int> starts;
        bool realign = false;
        std::string text;
        int replaced = 0;        // offsets of the consensus that take their second choice
        int slots[MAX_K] = {};   // which ones
    };
    void PlanChildren(const std::vector<std::vector<kmer>>& offspring, Midlayer* data, ChildPlan* plans);
    // The same for two children whose starts are already in plans[0..1].
    void PlanDraws(Midlayer* data, ChildPlan* plans);
    void EvaluateChildren(Midlayer* data, std::vector<ChildPlan>& plans);
    // Starts of the admissible windows nearest to text, one per strand (the
    // first of equally near windows).
    void Realign(Midlayer* data, const char* text, std::vector<int>& starts) const;
    void NewPopulation(std::vector<Individual>* population, std::vector<Individual>&& pool);
    void NewPopulation(std::vector<Individual>* population, const std::vector<Individual>& pool) {
        NewPopulation(population, std::vector<Individual>(pool));
    }

    // Post-processing.
    void PostProcessing(Midlayer* data, std::vector<Individual>* population, const int& sitesPerStrand);
    void MergingStep(Midlayer* data, std::vector<Individual>* population);
    void AddingStep(Individual* model, Midlayer* data);
    void AddingStep(Individual* model, Midlayer* data, AddingMemo* memo);
    // The window site adding would take for the model (false when none
    // qualifies): unblocked, within the model's mismatch limit, of lowest
    // background score, the first in scan order of equal ones.
    bool BestAddition(const Individual& model, Midlayer* data, AddingMemo* memo, kmer* pick);
    // The site joins the model unless that lowers its information content.
    // With a memo, the positions it rules out are kept up to date.
    void AddSite(Individual* model, Midlayer* data, const kmer& site, AddingMemo* memo = nullptr);
    void RemovingStep(Individual* model, Midlayer* data, const int& sitesPerStrand, AddingMemo* memo);
    // A site's positions counted in (by 1) or out (by -1) of the memo's ruled-out windows.
    void MarkSite(AddingMemo* memo, const Midlayer* data, const kmer& site, int by) const;
    void Blocked(AddingMemo* memo, const Midlayer* data, const kmer& site, bool added) const;
    // Information content of the model's sites with one added and/or one
    // removed, from the counts of its last scoring: while refining, every
    // model is as last scored.
    double SitesICWith(const Individual& model, Midlayer* data, const kmer* added, const kmer* removed) const;
    // The tables post-processing shares between its steps (set Refining to
    // them while refining).
    RefineTables MakeRefineTables(Midlayer* data) const;
    void RemovingStep(Individual* model, Midlayer* data, const int& sitesPerStrand);
    // Drops from sites every later copy of a site and every later site at the
    // mirror position of a kept one on a strand of the same name.
    void RemoveDuplicateSites(Midlayer* data, std::vector<kmer>& sites) const;
};

#endif
