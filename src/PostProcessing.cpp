#include "PostProcessing.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_set>

#include "Parallel.h"

PostProcessor::PostProcessor(Midlayer* data, int k, int threads) : data_(data), K(k), threads_(threads) {}

void PostProcessor::UseTables() { tables_.reset(new RefineTables(MakeRefineTables(data_, K))); }

void PostProcessor::DropTables() { tables_.reset(); }

void PostProcessor::Run(std::vector<Individual>* population, int sitesPerStrand) {
    UseTables();

    std::vector<Individual> work(*population);
    MergingStep(&work);
    std::stable_sort(work.begin(), work.end(), RankMAPS);

    // Each model is refined on its own, so the models can go to different threads.
    std::vector<RefineCounts> counts(work.size());
    ParallelFor(static_cast<int>(work.size()), threads_, [&](int i) {
        Individual& model = work[i];
        AddingMemo memo;
        double previous = model.getIC();
        AddingStep(&model, &memo);
        RemovingStep(&model, sitesPerStrand, &memo);
        double current = model.getIC();
        while (current - previous > 0) {
            previous = current;
            AddingStep(&model, &memo);
            RemovingStep(&model, sitesPerStrand, &memo);
            current = model.getIC();
        }
        counts[i] = memo.counts;
    });
    Counts = RefineCounts();
    for (const RefineCounts& c : counts) {
        Counts.full += c.full;
        Counts.bounded += c.bounded;
        Counts.looked += c.looked;
        Counts.ratio += c.ratio;
        Counts.late += c.late;
        Counts.blockMade += c.blockMade;
    }
    DropTables();
    *population = std::move(work);
    std::stable_sort(population->begin(), population->end(), RankMAPS);
}

void PostProcessor::RemoveDuplicateSites(std::vector<kmer>& sites) const {
    // A site goes exactly when an earlier kept site rules it out, so one pass
    // with the set of ruled-out positions gives the pairwise result.
    const std::vector<std::vector<int>> sameName = SameNameStrands(data_);
    std::unordered_set<uint64_t> blocked;
    blocked.reserve(sites.size() * 2);
    std::vector<kmer> kept;
    kept.reserve(sites.size());
    for (const kmer& s : sites) {
        if (blocked.count(SiteKey(s.Strand, s.Pos))) continue;
        kept.push_back(s);
        AddBlocked(data_, sameName, s, K, blocked);
    }
    sites = std::move(kept);
}

void PostProcessor::MergingStep(std::vector<Individual>* population) {
    Midlayer* data = data_;
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
        if (several) RemoveDuplicateSites(L);
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
        if (appended) RemoveDuplicateSites(U);
        lists.push_back(std::move(U));
    }

    M.clear();
    for (const std::vector<kmer>& list : lists) build(list, M);
    *population = std::move(M);
}

void PostProcessor::AddingStep(Individual* model, AddingMemo* memo) {
    kmer best;
    if (BestAddition(*model, memo, &best)) AddSite(model, best, memo);
}

double PostProcessor::SitesICWith(const Individual& model, const kmer* added, const kmer* removed) const {
    Midlayer* data = data_;
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

void PostProcessor::AddSite(Individual* model, const kmer& site, AddingMemo* memo) {
    Midlayer* data = data_;
    // A site that would lower the information content is not added: the
    // model stays as it came, which is what scoring it again would give.
    const double ic = tables_ != nullptr ? SitesICWith(*model, &site, nullptr)
                                          : Individual::SitesIC(data, data->GetFreqInfo(), K, model->Sites, &site);
    if (ic < model->getIC()) return;
    Adder().Blocked(memo, site, true);
    model->Sites.push_back(site);
    model->setConLen(K);
    model->setGeneNo(static_cast<int>(model->Sites.size()));
    model->CalculateIndiFitness_vector(data, data->GetFreqInfo(), SharedLogP());
}

bool PostProcessor::BestAddition(const Individual& model, AddingMemo* memo, kmer* pick) {
    return Adder().Best(model, memo, pick);
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

void PostProcessor::RemovingStep(Individual* model, int sitesPerStrand, AddingMemo* memo) {
    Midlayer* data = data_;
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
    const double keptIC = tables_ != nullptr && kept.size() + 1 == model->Sites.size()
                              ? SitesICWith(*model, nullptr, &removed)
                              : Individual::SitesIC(data, data->GetFreqInfo(), K, kept);
    const SiteAdder adder = Adder();
    if (keptIC < entryIC) {
        kept.push_back(removed);
    } else {
        adder.Blocked(memo, removed, false);
    }
    for (const kmer& s : cut) adder.Blocked(memo, s, false);
    model->Sites = std::move(kept);
    model->setConLen(K);
    model->setGeneNo(static_cast<int>(model->Sites.size()));
    model->CalculateIndiFitness_vector(data, data->GetFreqInfo(), SharedLogP());
}
