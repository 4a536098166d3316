#include "cli/OptionWords.h"

#include <algorithm>
#include <cctype>

#include "cli/OptionTable.h"

const std::vector<std::string>& OptionWords() {
    static const std::vector<std::string> words = [] {
        std::vector<std::string> w;
        for (const OptionDoc& o : OptionTable()) w.push_back(o.word);
        return w;
    }();
    return words;
}

bool LooksLikeOption(const std::string& word) {
    const size_t dashes = word.compare(0, 2, "--") == 0 ? 2 : 1;
    return word.size() > dashes && word[0] == '-' && std::isalpha(static_cast<unsigned char>(word[dashes]));
}

namespace {

size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

std::string NearestOption(const std::string& word) {
    // "--peaks" is as near to -peaks as a word can be: GNU-style doubled
    // dashes are read as one.
    std::string w = word;
    while (w.size() > 2 && w[0] == '-' && w[1] == '-') w.erase(0, 1);
    // Every option is in lower case: -K is -k typed with the shift key.
    for (char& c : w) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string best;
    size_t bestDistance = 0;
    for (const std::string& o : OptionWords()) {
        const size_t d = EditDistance(w, o);
        if (best.empty() || d < bestDistance) {
            best = o;
            bestDistance = d;
        }
    }
    return best;
}

std::string FirstUnknownOption(const std::vector<std::string>& words, int count) {
    const std::vector<std::string>& known = OptionWords();
    for (int i = 1; i < count && i < static_cast<int>(words.size()); ++i) {
        const std::string& w = words[static_cast<size_t>(i)];
        if (LooksLikeOption(w) && std::find(known.begin(), known.end(), w) == known.end()) return w;
    }
    return std::string();
}
