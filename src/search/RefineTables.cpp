#include "search/RefineTables.h"

#include <cmath>
#include <limits>
#include <map>
#include <string>

RefineTables MakeRefineTables(Midlayer* data, int K) {
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

std::vector<std::vector<int>> SameNameStrands(const Midlayer* data) {
    const int S = data->GetNumStrands();
    std::map<std::string, std::vector<int>> byName;
    for (int g = 0; g < S; ++g) byName[data->Seqs[g].Name()].push_back(g);
    std::vector<std::vector<int>> result(S);
    for (const auto& entry : byName)
        for (int g : entry.second) result[g] = entry.second;
    return result;
}
