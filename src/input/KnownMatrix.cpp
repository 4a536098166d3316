#include "input/KnownMatrix.h"

#include <sys/stat.h>

#include <algorithm>
#include <iostream>

#include "core/EditDistance.h"
#include "core/Robust.h"
#include "core/StageRandom.h"

namespace {

[[noreturn]] void Refuse(const std::string& message) {
    std::cout << message << " System aborted. " << std::endl;
    FatalExit(1);
}


std::string FirstIds(const std::vector<const DbMotif*>& motifs, size_t most) {
    std::string list;
    for (size_t i = 0; i < motifs.size() && i < most; ++i) list += (i ? ", " : "") + motifs[i]->id;
    return list;
}

}  // namespace

bool LooksLikeMatrixFile(const std::string& text) {
    size_t start = 0;
    bool first = true;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        const size_t at = line.find_first_not_of(" \t\r");
        if (at != std::string::npos) {
            if (line.compare(at, 12, "MEME version") == 0) return true;
            if (first && line[at] == '>') return true;
            first = false;
        }
        start = end + 1;
    }
    return false;
}

void SplitMatrixPath(const std::string& value, std::string& file, std::string& id) {
    struct stat st;
    const size_t colon = value.rfind(':');
    if (stat(value.c_str(), &st) == 0 || colon == std::string::npos || colon == 0) {
        file = value;
        id.clear();
        return;
    }
    file = value.substr(0, colon);
    id = value.substr(colon + 1);
}

DbMotif KnownMotif(const std::string& text, const std::string& file, const std::string& id) {
    std::vector<DbMotif> motifs;
    try {
        motifs = ParseMotifDatabase(text, file);
    } catch (const MotifDbError& e) {
        std::string message = MotifDbMessage(file, e);
        message.replace(0, std::string("Error: the motif database").size(), "Error: the pre-knowledge matrix file");
        std::cout << message << std::endl;
        FatalExit(1);
    }
    std::vector<const DbMotif*> all;
    for (const DbMotif& m : motifs) all.push_back(&m);
    if (id.empty()) {
        if (motifs.size() == 1) return motifs[0];
        Refuse("Error: the pre-knowledge matrix file " + file + " holds " + std::to_string(motifs.size()) +
               " motifs; name one as -pk " + file + ":<ID> (the first: " + FirstIds(all, 5) + ", ...).");
    }
    for (const DbMotif& m : motifs)
        if (m.id == id) return m;
    std::stable_sort(all.begin(), all.end(), [&](const DbMotif* x, const DbMotif* y) {
        return EditDistance(x->id, id) < EditDistance(y->id, id);
    });
    Refuse("Error: the pre-knowledge matrix file " + file + " holds no motif " + id + "; the closest IDs: " +
           FirstIds(all, 3) + ".");
}

std::vector<std::string> SitesFromMatrix(const DbMotif& motif, int count, uint32_t seed) {
    StageRandom rng(seed, kStageMatrixSites);
    std::vector<std::string> sites;
    for (int i = 0; i < count; ++i) {
        std::string site;
        for (const auto& column : motif.columns) {
            const double u = rng.Next() / 32768.0;
            double sum = 0.0;
            int b = 0;
            for (; b < 3; ++b) {
                sum += column[static_cast<size_t>(b)];
                if (u < sum) break;
            }
            site += "ACGT"[b];
        }
        sites.push_back(site);
    }
    return sites;
}
