// How far apart two words are, for naming the nearest of several to a word
// that matches none (a misspelt option, a motif ID).
#ifndef QIRO_EDIT_DISTANCE_H
#define QIRO_EDIT_DISTANCE_H

#include <algorithm>
#include <string>
#include <vector>

// Letters to change to turn a into b (insertions, deletions, substitutions).
inline size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = up;
        }
    }
    return row[b.size()];
}

#endif
