#include "search/Crossover.h"

#include <algorithm>
#include <memory>

void CrossSiteLists(const std::vector<const Individual*>& parents, std::vector<std::vector<kmer>>& offspring,
                    int option, int n) {
    auto siteList = [&](const Individual* parent, std::vector<kmer>& list) {
        list.resize(n);
        for (int i = 0; i < n; ++i) list[i] = {parent->Genes[i], i, parent->GeneMismatch[i], 0.0};
    };
    // A parent's sites ordered by fit.
    std::vector<kmer> ownA, ownB;
    auto sortedList = [&](const Individual* parent, std::vector<kmer>& own) -> const std::vector<kmer>& {
        const std::vector<int> order = SiteOrderOf(*parent);
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

std::vector<int> SiteOrderOf(const Individual& parent) {
    const int n = parent.getGeneNo();
    // The order worked out earlier (rescoring a model drops it).
    const std::shared_ptr<const std::vector<int>>& kept = parent.SiteOrder;
    if (kept && static_cast<int>(kept->size()) == n) return *kept;
    return KeepSiteOrder(parent);
}

std::vector<int> KeepSiteOrder(const Individual& model) {
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

const std::vector<int>& SiteRankCache::Of(const Individual* parent) {
    if (keeping_) {
        auto hit = kept_.find(parent);
        if (hit != kept_.end()) return hit->second;
    }
    const std::vector<int> order = SiteOrderOf(*parent);
    std::vector<int> rank(order.size());
    for (size_t i = 0; i < order.size(); ++i) rank[order[i]] = static_cast<int>(i);
    if (!keeping_) {
        loose_ = std::move(rank);
        return loose_;
    }
    return kept_.emplace(parent, std::move(rank)).first->second;
}

void SiteRankCache::Begin() {
    kept_.clear();
    keeping_ = true;
}

void SiteRankCache::End() {
    kept_.clear();
    keeping_ = false;
}

void CrossoverStarts(const std::vector<const Individual*>& parents, const Midlayer* data, SiteRankCache& ranks,
                     std::vector<int>& missing, std::vector<int>& first, std::vector<int>& second) {
    // The children's site lists are never built: each strand's start is read
    // off where its earliest record would stand in the list, and a strand
    // without one draws, in the order the repair would draw.
    const Individual& a = *parents[0];
    const Individual& b = *parents[1];
    const int n = a.getGeneNo();
    const int option = Random() % 3 + 1;  // 1..3
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
    const std::vector<int>* firstRanks = &ranks.Of(&a);
    if (!ranks.Keeping()) {
        ownRanks = *firstRanks;
        firstRanks = &ownRanks;
    }
    const std::vector<int>& rankA = *firstRanks;
    const std::vector<int>& rankB = ranks.Of(&b);
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

void RepairChildren(std::vector<std::vector<kmer>>& offspring, const Midlayer* data) {
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
