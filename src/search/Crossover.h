// Crossover of two parents: their sites cut and joined into two children,
// either as site lists followed by a repair that leaves one site per strand,
// or (what each generation uses) straight to the children's starts, with the
// same draws and the same result; and the order of a model's sites by fit,
// which both forms cut by.
#ifndef QIRO_CROSSOVER_H
#define QIRO_CROSSOVER_H

#include <unordered_map>
#include <vector>

#include "input/Midlayer.h"
#include "search/Individual.h"

// Strands of a model in the order of its sites sorted by fit (ascending site
// mismatch, ties in strand order): the order kept with the model when it is
// still valid, else worked out.
std::vector<int> SiteOrderOf(const Individual& parent);
// Works the order out and keeps it with the model (and its copies).
std::vector<int> KeepSiteOrder(const Individual& model);

// Each parent's place for every strand in its sites ordered by fit. Between
// Begin() and End() (one generation, while the parents stay in place) every
// answer is kept; otherwise only the latest one is.
class SiteRankCache {
public:
    const std::vector<int>& Of(const Individual* parent);
    bool Keeping() const { return keeping_; }
    void Begin();
    void End();

private:
    bool keeping_ = false;
    std::unordered_map<const Individual*, std::vector<int>> kept_;
    std::vector<int> loose_;
};

// The two children of option 1 (cut the lists sorted by fit), 2 (interleave
// them) or 3 (cut them as they stand), appended to offspring; n is the
// number of strands. Draws the cut point of options 1 and 3.
void CrossSiteLists(const std::vector<const Individual*>& parents, std::vector<std::vector<kmer>>& offspring,
                    int option, int n);
// Gives each child one site per strand: the strand's earliest record, or an
// admissible start drawn at random where it has none.
void RepairChildren(std::vector<std::vector<kmer>>& offspring, const Midlayer* data);
// Crossover and its repair as one step giving the children's starts only:
// draws the option, then as CrossSiteLists and RepairChildren would. missing
// is scratch space.
void CrossoverStarts(const std::vector<const Individual*>& parents, const Midlayer* data, SiteRankCache& ranks,
                     std::vector<int>& missing, std::vector<int>& first, std::vector<int>& second);

#endif
