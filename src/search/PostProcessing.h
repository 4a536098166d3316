// Post-processing of the final population: models of one motif merged, each
// model refined by adding and removing sites while its information content
// rises, and the models ranked by MAP score. A PostProcessor runs the steps
// for one data layer and width and owns what they share while a call runs.
#ifndef QIRO_POSTPROCESSING_H
#define QIRO_POSTPROCESSING_H

#include <memory>
#include <vector>

#include "input/Midlayer.h"
#include "search/Individual.h"
#include "search/RefineTables.h"
#include "search/SiteAdding.h"

class PostProcessor {
public:
    PostProcessor(Midlayer* data, int k, int threads = 1);

    // How site adding looks by bound (tests move them to reach every path).
    AddingLooks Looks;
    // How site adding found its candidates over the models of the last Run.
    RefineCounts Counts;

    // The whole call: merge, rank, refine every model (on up to `threads`
    // threads; the result does not depend on it), rank again. The population
    // is replaced by the refined models, best MAP score first.
    void Run(std::vector<Individual>* population, int sitesPerStrand);

    // The tables the steps below share (Run makes its own and drops them
    // when it ends). Without them every step scans plainly, to the same
    // results.
    void UseTables();
    void DropTables();

    // Models with one consensus, then models whose information content lies
    // within the data layer's delta of an earlier one, become one model each.
    void MergingStep(std::vector<Individual>* population);
    // Drops from sites every later copy of a site and every later site at the
    // mirror position of a kept one on a strand of the same name.
    void RemoveDuplicateSites(std::vector<kmer>& sites) const;
    class SiteDeduper;

    // Adds the best window to the model unless that lowers its information
    // content. The memo carries what one call leaves for the next on the
    // same model (only with the tables in place).
    void AddingStep(Individual* model, AddingMemo* memo = nullptr);
    // The window AddingStep would take (false when none qualifies).
    bool BestAddition(const Individual& model, AddingMemo* memo, kmer* pick);
    // The site joins the model unless that lowers its information content.
    void AddSite(Individual* model, const kmer& site, AddingMemo* memo = nullptr);
    // Trims every strand to its sitesPerStrand sites of lowest background
    // score and removes one more site unless that lowers the information
    // content.
    void RemovingStep(Individual* model, int sitesPerStrand, AddingMemo* memo = nullptr);

private:
    // Information content of the model's sites with one added and/or one
    // removed, from the counts of its last scoring: while refining, every
    // model is as last scored.
    double SitesICWith(const Individual& model, const kmer* added, const kmer* removed) const;
    const WindowLogP* SharedLogP() const {
        return tables_ && !tables_->logP.value.empty() ? &tables_->logP : nullptr;
    }
    SiteAdder Adder() const { return SiteAdder(data_, K, tables_.get(), Looks); }

    Midlayer* data_;
    int K;
    int threads_;
    std::unique_ptr<const RefineTables> tables_;
};

// The sites by ascending background score, equal ones in their order: the
// very order std::stable_sort with BComp gives.
void SortByBackgroundScore(const std::vector<kmer>& sites, std::vector<kmer>& out);

#endif
