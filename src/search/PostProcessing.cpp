#include "search/PostProcessing.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_set>

#include "core/Parallel.h"

PostProcessor::PostProcessor(Midlayer* data, int k, int threads) : data_(data), K(k), threads_(threads) {}

void PostProcessor::UseTables() { tables_.reset(new RefineTables(MakeRefineTables(data_, K))); }

void PostProcessor::DropTables() { tables_.reset(); }

void PostProcessor::Run(std::vector<Individual>* population, int sitesPerStrand) {
    UseTables();

    // Merging makes new models from these, so they are moved, not copied.
    std::vector<Individual> work(std::move(*population));
    population->clear();
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

// Sites kept by the rule of RemoveDuplicateSites, taken one at a time, so a
// merged model's sites are never held twice. Ruled-out positions are bits, one
// per letter of every strand; a mirror position outside its strand (strands of
// one name but different lengths) goes to a small set.
class PostProcessor::SiteDeduper {
public:
    SiteDeduper(const Midlayer* data, int k) : data_(data), k_(k), sameName_(SameNameStrands(data)) {
        const int strands = data->GetNumStrands();
        first_.resize(strands + 1, 0);
        for (int t = 0; t < strands; ++t) first_[t + 1] = first_[t] + static_cast<size_t>(std::max(0, data->Seqs[t].len));
        bits_.assign((first_[strands] + 63) / 64, 0);
    }
    // Starts afresh, the kept sites handed over to `out`.
    void Take(std::vector<kmer>& out) {
        out = std::move(kept_);
        kept_.clear();
        for (size_t word : touched_) bits_[word] = 0;
        touched_.clear();
        outside_.clear();
    }
    void Add(const kmer& s) {
        if (Blocked(s.Strand, s.Pos)) return;
        kept_.push_back(s);
        AddBlocked(data_, sameName_, s, k_, *this);
    }
    // The set interface AddBlocked writes to.
    const uint64_t* end() const { return nullptr; }
    void insert(const uint64_t*, uint64_t key) {
        const int strand = static_cast<int>(key >> 32), pos = static_cast<int32_t>(key & 0xffffffffu);
        size_t bit;
        if (!Inside(strand, pos, bit)) {
            outside_.insert(key);
            return;
        }
        if (bits_[bit / 64] == 0) touched_.push_back(bit / 64);
        bits_[bit / 64] |= uint64_t(1) << (bit % 64);
    }

private:
    bool Inside(int strand, int pos, size_t& bit) const {
        if (strand < 0 || strand + 1 >= static_cast<int>(first_.size()) || pos < 0) return false;
        bit = first_[strand] + static_cast<size_t>(pos);
        return bit < first_[strand + 1];
    }
    bool Blocked(int strand, int pos) const {
        size_t bit;
        if (Inside(strand, pos, bit)) return (bits_[bit / 64] >> (bit % 64)) & 1u;
        return outside_.count(SiteKey(strand, pos)) != 0;
    }

    const Midlayer* data_;
    int k_;
    std::vector<std::vector<int>> sameName_;
    std::vector<size_t> first_;  // first bit of each strand
    std::vector<uint64_t> bits_;
    std::vector<size_t> touched_;  // words with a bit set, to clear them fast
    std::unordered_set<uint64_t> outside_;
    std::vector<kmer> kept_;
};

void PostProcessor::RemoveDuplicateSites(std::vector<kmer>& sites) const {
    // A site goes exactly when an earlier kept site rules it out, so one pass
    // with the set of ruled-out positions gives the pairwise result.
    SiteDeduper dedup(data_, K);
    for (const kmer& s : sites) dedup.Add(s);
    dedup.Take(sites);
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
    // The sites of several models, in order, are deduplicated as they come:
    // the same result as joining the lists and removing duplicates after.
    SiteDeduper dedup(data, K);

    // Models with one consensus become one model.
    const std::vector<Individual>& W = *population;
    const size_t n = W.size();
    std::vector<bool> grouped(n, false);
    std::vector<Individual> M;
    std::vector<kmer> L;
    std::vector<size_t> group;
    for (size_t b = 0; b < n; ++b) {
        if (grouped[b]) continue;
        group.assign(1, b);
        for (size_t s = b + 1; s < n; ++s) {
            if (!grouped[s] && std::strcmp(W[s].Cons, W[b].Cons) == 0) {
                grouped[s] = true;
                group.push_back(s);
            }
        }
        L.clear();
        if (group.size() == 1) {
            sitesOf(W[b], L);
        } else {
            for (size_t m : group)
                for (size_t g = 0; g < W[m].Genes.size(); ++g) dedup.Add({W[m].Genes[g], static_cast<int>(g), 0.0, 0.0});
            dedup.Take(L);
        }
        build(L, M);
    }
    // The models they were made from are done with.
    std::vector<Individual>().swap(*population);

    // Models whose information content lies within delta of an earlier one join it.
    std::vector<std::vector<kmer>> lists;
    std::vector<bool> joined(M.size(), false);
    std::vector<size_t> joining;
    for (size_t r = 0; r < M.size(); ++r) {
        if (joined[r]) continue;
        joining.clear();
        for (size_t p = r + 1; p < M.size(); ++p) {
            if (joined[p]) continue;
            const double d = M[r].getIC() - M[p].getIC();
            if (delta > std::fabs(d)) {
                joining.push_back(p);
                joined[p] = true;
            }
        }
        // Model r is not read after this step, nor is a model once joined to
        // it: their sites are moved or dropped as they are used.
        std::vector<kmer> U;
        if (joining.empty()) {
            U = std::move(M[r].Sites);
        } else {
            for (const kmer& s : M[r].Sites) dedup.Add(s);
            std::vector<kmer>().swap(M[r].Sites);
            for (size_t p : joining) {
                for (const kmer& s : M[p].Sites) dedup.Add(s);
                std::vector<kmer>().swap(M[p].Sites);
            }
            dedup.Take(U);
        }
        lists.push_back(std::move(U));
    }

    M.clear();
    M.reserve(lists.size());
    for (std::vector<kmer>& list : lists) {
        build(list, M);
        std::vector<kmer>().swap(list);
    }
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
