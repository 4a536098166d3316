// The genetic search: its parameters, the initialization of the population,
// parent selection, crossover, the re-alignment and scoring of children and
// the forming of each generation; and the entry points of post-processing,
// which runs in its own room (PostProcessing.h).
#ifndef QIRO_GAFRAME_H
#define QIRO_GAFRAME_H

#include <stdexcept>
#include <string>
#include <vector>

#include "core/Constants.h"
#include "core/Parallel.h"
#include "input/Midlayer.h"
#include "search/AlignmentCache.h"
#include "search/Crossover.h"
#include "search/Individual.h"
#include "search/WindowScan.h"

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

// A generation ends the run when this many children in a row fail the
// low-complexity test: no child could ever fill the pool.
const int MAX_CHILD_REJECTIONS = 1000;

// Thrown instead of ending the run when a search that is one of many (a
// judged run's search from a word or a window) can draw no model above -lc.
struct PlainModels : std::runtime_error {
    PlainModels() : std::runtime_error("no model above the complexity limit") {}
};

class GAFrame {
public:
    // False: a search that cannot draw models above -lc ends the run with its
    // message; true: it throws PlainModels, for a caller with other searches.
    bool PlainModelsThrow = false;
    int Population = DFLT_POP;
    int Iteration = DFLT_GEN;
    double Winner = DFLT_WIN;
    double Replacement = DFLT_SUB;
    double PKRate = DFLT_PKPER;
    double PKProfile[B][MAX_K] = {};
    int K = DFLT_K;

    // The scored model of each re-aligned child's text.
    AlignmentCache AlignCache;
    // Every window packed in advance for the nearest-window scans.
    WindowIndex Windows;

    // Worker threads for the parts of a generation and of post-processing that
    // draw no random numbers; results do not depend on the count.
    int Threads = 1;

    // While a generation runs: each parent's place for every strand in its
    // sites ordered by fit, made once.
    SiteRankCache Ranks;
    std::vector<int> DrawList;  // CrossoverStarts' strands without a start

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

    // Post-processing (PostProcessor does the work; see PostProcessing.h).
    void PostProcessing(Midlayer* data, std::vector<Individual>* population, const int& sitesPerStrand);
    void MergingStep(Midlayer* data, std::vector<Individual>* population);
    void AddingStep(Individual* model, Midlayer* data);
    void RemovingStep(Individual* model, Midlayer* data, const int& sitesPerStrand);
    void RemoveDuplicateSites(Midlayer* data, std::vector<kmer>& sites) const;
};

#endif
