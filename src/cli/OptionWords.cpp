#include "cli/OptionWords.h"

#include <algorithm>
#include <cctype>

#include "cli/OptionTable.h"
#include "core/EditDistance.h"

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
