#include "input/Background.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <vector>

#include "core/Robust.h"
#include "input/FreqTool.h"
#include "input/Sequences.h"

using std::cout;
using std::endl;

namespace {

// Offsets of the one- to four-letter words in the dense background table.
const int kDenseOffset[5] = {0, 0, 4, 20, 84};

// One whitespace-separated field with the line it starts on.
struct Field {
    std::string text;
    int line;
};

bool ReadsAsInt(const std::string& s) {
    if (s.empty()) return false;
    char* end = nullptr;
    errno = 0;
    std::strtol(s.c_str(), &end, 10);
    return *end == '\0' && errno == 0;
}

bool ReadsAsNumber(const std::string& s, double& v) {
    if (s.empty()) return false;
    char* end = nullptr;
    v = std::strtod(s.c_str(), &end);
    return *end == '\0';
}

}  // namespace

void ReadFreqRecords(const std::string& text, const std::string& fileName, std::map<std::string, double>& listed,
                     double baseFreq[B]) {
    std::vector<Field> fields;
    int line = 1;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (std::isspace(c)) {
            if (c == '\n') ++line;
            ++i;
            continue;
        }
        size_t j = i;
        while (j < text.size() && !std::isspace(static_cast<unsigned char>(text[j]))) ++j;
        fields.push_back({text.substr(i, j - i), line});
        i = j;
    }

    double local[4] = {0.0, 0.0, 0.0, 0.0};
    bool seen[4] = {false, false, false, false};
    // A last record cut off by the end of the file is dropped.
    for (size_t r = 0; r + 2 < fields.size(); r += 3) {
        double value = 0.0;
        if (!ReadsAsInt(fields[r].text) || !ReadsAsNumber(fields[r + 2].text, value)) {
            cout << "Error: the frequency file " << fileName << ", line " << fields[r].line
                 << ": a record must read as index (an integer), word and value (a number). System aborted. "
                 << endl;
            // A background model in MEME's format has lines of word and value only.
            std::vector<double> table;
            std::string why;
            if (ConvertMemeBackground(text, table, why))
                cout << "(It reads as a MEME background file; qiro-freq -m " << fileName
                     << " -o <file> converts it.)" << endl;
            FatalExit(1);
        }
        const std::string& word = fields[r + 1].text;
        // Values are probabilities: anything else (not a number, infinite,
        // negative, a count) would turn every score that uses the word into nonsense.
        if (!(value >= 0.0 && value <= 1.0)) {
            cout << "Error: the frequency file " << fileName << ", line " << fields[r + 2].line
                 << ": the value of " << word << " is " << fields[r + 2].text
                 << "; a value must be a probability (a number from 0 to 1). System aborted. " << endl;
            FatalExit(1);
        }
        if (word.size() == 1 && LetterCode(word[0]) >= 0 && std::isupper(static_cast<unsigned char>(word[0]))) {
            // A single letter goes to its own base's slot, whatever the index says.
            int b = LetterCode(word[0]);
            local[b] = value;
            baseFreq[b] = value;
            seen[b] = true;
        }
        listed[word] = value;
    }

    const char* letters = "ACGT";
    for (int b = 0; b < 4; ++b) {
        if (!seen[b]) {
            cout << "Error: the frequency file " << fileName << " has no record for the base " << letters[b]
                 << ". System aborted. " << endl;
            FatalExit(1);
        }
        if (!(local[b] > 0.0)) {
            cout << "Error: the frequency file " << fileName << " gives the base " << letters[b] << " the value "
                 << local[b] << "; a base frequency must be above 0. System aborted. " << endl;
            FatalExit(1);
        }
    }
}

void WarnMissingWords(const std::map<std::string, double>& listed, const std::string& fileName) {
    const char* letters = "ACGT";
    int missing = 0;
    for (int len = 2; len <= 4; ++len) {
        for (int idx = 0; idx < (1 << (2 * len)); ++idx) {
            std::string w(len, 'A');
            for (int p = 0; p < len; ++p) w[p] = letters[(idx >> (2 * (len - 1 - p))) & 3];
            if (listed.find(w) == listed.end()) ++missing;
        }
    }
    if (missing > 0) {
        cout << "Warning: the frequency file " << fileName << " lacks " << missing
             << " of the 336 words of two to four letters over A, C, G, T; they count as 0." << endl;
    }
}

void BuildDenseTable(const std::map<std::string, double>& listed, double (&dense)[kDenseWords]) {
    for (double& v : dense) v = 0.0;
    for (const auto& entry : listed) {
        const std::string& w = entry.first;
        if (w.empty() || w.size() > 4) continue;
        int idx = 0;
        bool ok = true;
        for (char c : w) {
            // The file's words are case-sensitive: only upper-case words are ever looked up.
            if (c != 'A' && c != 'C' && c != 'G' && c != 'T') {
                ok = false;
                break;
            }
            idx = idx * 4 + kBaseCode[static_cast<unsigned char>(c)];
        }
        if (ok) dense[kDenseOffset[w.size()] + idx] = entry.second;
    }
}

double BackgroundTables::Word(const char* w, int len) const {
    int idx = 0;
    for (int p = 0; p < len; ++p) {
        uint8_t b = kBaseCode[static_cast<unsigned char>(w[p])];
        if (b == BASE_NONE) {
            // Not a word over A, C, G, T: only the file itself can list it.
            std::string key(w, len);
            for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            auto it = listed.find(key);
            return it == listed.end() ? 0.0 : it->second;
        }
        idx = idx * 4 + b;
    }
    return dense[kDenseOffset[len] + idx];
}

double BackgroundTables::Prob(const uint8_t* codes, int k) const {
    // Words holding N can only come from the file itself; they are looked up
    // by their letters, everything else through the dense table.
    bool plain = true;
    for (int j = 0; j < k; ++j) plain = plain && codes[j] != BASE_NONE;
    if (!plain) {
        char word[MAX_K + 1];
        for (int j = 0; j < k; ++j) word[j] = "ACGTN"[codes[j]];
        return Prob(word, k);
    }
    auto fromTable = [&](const uint8_t* w, int len) {
        int idx = 0;
        for (int p = 0; p < len; ++p) idx = idx * 4 + w[p];
        return dense[kDenseOffset[len] + idx];
    };
    double p = 1.0;
    const int head = k < 4 ? k : 4;
    for (int len = 1; len <= head; ++len) p = (len == 1) ? fromTable(codes, 1) : p * fromTable(codes, len);
    for (int i = 4; i < k; ++i) p *= fromTable(codes + i - 3, 4);
    return p;
}

double BackgroundTables::Prob(const char* w, int k) const {
    double p = 1.0;
    const int head = k < 4 ? k : 4;
    for (int len = 1; len <= head; ++len) p = (len == 1) ? Word(w, 1) : p * Word(w, len);
    for (int i = 4; i < k; ++i) p *= Word(w + i - 3, 4);
    return p;
}
