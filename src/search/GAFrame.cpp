#include "search/GAFrame.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "core/Robust.h"
#include "search/PostProcessing.h"

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
                if (PlainModelsThrow) throw PlainModels();
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
    CrossSiteLists(parents, offspring, option, n);
}

void GAFrame::PostCrossover(std::vector<std::vector<kmer>>& offspring, Midlayer* data) { RepairChildren(offspring, data); }

void GAFrame::CrossoverStarts(const std::vector<const Individual*>& parents, Midlayer* data, std::vector<int>& first,
                              std::vector<int>& second) {
    ::CrossoverStarts(parents, data, Ranks, DrawList, first, second);
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
    Ranks.Begin();
    struct EndRanks {  // also when a fatal condition unwinds the generation
        SiteRankCache& ranks;
        ~EndRanks() { ranks.End(); }
    } endRanks{Ranks};
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
                if (PlainModelsThrow) throw PlainModels();
                cout << "The lower complexity value need to be lower than: " << lowerComp << " .\n ";
                cout << "Please rerun QIRO with a smaller low complexity. \n System aborted. \n\n";
                FatalExit(1);
            }
        }
    }
    NewPopulation(population, std::move(pool));
}


void GAFrame::Realign(Midlayer* data, const char* text, std::vector<int>& starts) const {
    Windows.Nearest(data, text, K, starts);
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
    if (AlignCache.Renew(data, data->Seqs, data->GetNumStrands()) && Windows.UseWide) Windows.Pack(data, K);
    const int n = static_cast<int>(plans.size());
    ParallelFor(n, Threads, [&](int i) {
        ChildPlan& plan = plans[i];
        if (!plan.realign) return;
        char text[MAX_K + 1];
        plan.model.ApplyReplacedOffsets(data, text, plan.starts, plan.slots, plan.replaced);
        plan.text.assign(text, K);
    });
    // Each text is scored once, however many children share it; a text met
    // in earlier generations takes its starts from the cache and skips the
    // alignment.
    struct Text {
        const std::string* text;
        const void* cached;  // the cache's entry; nullptr: to be aligned
    };
    std::unordered_map<std::string, size_t> fresh;
    std::vector<Text> todo;
    std::vector<int> plain;
    std::vector<int> textOf(n, -1);
    for (int i = 0; i < n; ++i) {
        ChildPlan& plan = plans[i];
        if (!plan.realign) {
            plain.push_back(i);
            continue;
        }
        auto added = fresh.emplace(plan.text, todo.size());
        if (added.second) {
            const void* cached = AlignCache.Find(plan.text);
            if (cached == nullptr) ++AlignCache.Misses;
            todo.push_back({&plan.text, cached});
        }
        textOf[i] = static_cast<int>(added.first->second);
    }
    const double* freq = data->GetFreqInfo();
    const int S = data->GetNumStrands();
    std::vector<Individual> scored(todo.size());
    std::vector<AlignedText> aligned(todo.size());
    const int jobs = static_cast<int>(todo.size() + plain.size());
    ParallelFor(jobs, Threads, [&](int j) {
        if (j < static_cast<int>(todo.size())) {
            Individual& model = scored[j];
            model.setConLen(K);
            model.setGeneNo(S);
            if (todo[j].cached != nullptr) {
                AlignCache.Unpack(todo[j].cached, aligned[j]);
                model.CalculateIndiFitness(data, freq, aligned[j].starts);
                model.SiteOrder = std::move(aligned[j].order);
            } else {
                Realign(data, todo[j].text->c_str(), aligned[j].starts);
                model.CalculateIndiFitness(data, freq, aligned[j].starts);
                // Crossover wants a parent's sites by fit: worked out here, in
                // parallel, once for all the children of this text (a model
                // scored once is often copied into many children).
                KeepSiteOrder(model);
                aligned[j].order = model.SiteOrder;
            }
        } else {
            ChildPlan& plan = plans[plain[j - todo.size()]];
            plan.model.CalculateIndiFitness(data, freq, plan.starts);
        }
    });
    // The copies, too, in parallel: the models are large. The last child of
    // each text takes the scored model itself, after the others have copied
    // it, so no model is held once more than the children need.
    std::vector<int> lastOf(todo.size(), -1);
    for (int i = 0; i < n; ++i)
        if (textOf[i] >= 0) lastOf[textOf[i]] = i;
    ParallelFor(n, Threads, [&](int i) {
        if (textOf[i] >= 0 && lastOf[textOf[i]] != i) plans[i].model = scored[textOf[i]];
    });
    ParallelFor(static_cast<int>(todo.size()), Threads, [&](int t) { plans[lastOf[t]].model = std::move(scored[t]); });
    for (size_t i = 0; i < todo.size(); ++i)
        if (todo[i].cached == nullptr) AlignCache.Keep(*todo[i].text, std::move(aligned[i]));
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

void GAFrame::PostProcessing(Midlayer* data, std::vector<Individual>* population, const int& sitesPerStrand) {
    PostProcessor(data, K, Threads).Run(population, sitesPerStrand);
}

void GAFrame::MergingStep(Midlayer* data, std::vector<Individual>* population) {
    PostProcessor(data, K).MergingStep(population);
}

void GAFrame::AddingStep(Individual* model, Midlayer* data) { PostProcessor(data, K).AddingStep(model); }

void GAFrame::RemovingStep(Individual* model, Midlayer* data, const int& sitesPerStrand) {
    PostProcessor(data, K).RemovingStep(model, sitesPerStrand);
}

void GAFrame::RemoveDuplicateSites(Midlayer* data, std::vector<kmer>& sites) const {
    PostProcessor(data, K).RemoveDuplicateSites(sites);
}
