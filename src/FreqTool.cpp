#include "FreqTool.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

const int kOffset[5] = {0, 0, 4, 20, 84};
const char kLetters[] = "ACGT";

int Code(char c) {
    switch (c) {
        case 'A': case 'a': return 0;
        case 'C': case 'c': return 1;
        case 'G': case 'g': return 2;
        case 'T': case 't': return 3;
        default: return -1;
    }
}

void CountStrand(const std::vector<int>& codes, std::vector<double>& count) {
    int run = 0;    // valid letters ending here
    int window = 0; // codes of the last four letters
    for (int c : codes) {
        if (c < 0) {
            run = 0;
            window = 0;
            continue;
        }
        window = ((window << 2) | c) & 0xFF;
        if (run < 4) ++run;
        for (int len = 1; len <= run; ++len) count[kOffset[len] + (window & ((1 << (2 * len)) - 1))] += 1.0;
    }
}

void Usage(std::ostream& out) {
    out << "Usage: qiro-freq [options] FASTA...\n\n"
           "Writes a background frequency file for qiro (-freq) from one or more FASTA files:\n"
           "one record per line, \"index word value\", for every word of one to four letters\n"
           "over A, C, G, T. Single letters get their frequency; longer words the probability\n"
           "of their last letter after the letters before it (a 3rd-order Markov model).\n"
           "Lower case counts as upper case; any other letter breaks words.\n\n"
           "Options:\n"
           "\t-o <file>      write to this file instead of standard output\n"
           "\t-s             count the sequences as given only (default: both strands)\n"
           "\t-p <count>     pseudocount added to every word, above 0 (default: 1)\n"
           "\t-h             show this help\n";
}

}  // namespace

void WordCounts::AddSequence(const std::string& letters, bool bothStrands) {
    std::vector<int> codes;
    codes.reserve(letters.size());
    for (char c : letters) codes.push_back(Code(c));
    CountStrand(codes, count);
    if (bothStrands) {
        std::vector<int> rev(codes.rbegin(), codes.rend());
        for (int& c : rev)
            if (c >= 0) c = 3 - c;
        CountStrand(rev, count);
    }
}

void WordCounts::AddFasta(const std::string& text, bool bothStrands) {
    std::string letters;
    bool inRecord = false;  // text before the first header belongs to no record
    size_t i = 0;
    while (i < text.size()) {
        size_t eol = text.find('\n', i);
        if (eol == std::string::npos) eol = text.size();
        if (text[i] == '>') {
            AddSequence(letters, bothStrands);
            letters.clear();
            inRecord = true;
        } else if (inRecord) {
            for (size_t j = i; j < eol; ++j) {
                char c = text[j];
                if (c == ' ' || c == '\t' || c == '\r') continue;
                letters.push_back(c);
            }
        }
        i = eol + 1;
    }
    AddSequence(letters, bothStrands);
}

void WordCounts::Write(std::ostream& out, double pc) const {
    char line[64];
    for (int len = 1; len <= 4; ++len) {
        for (int code = 0; code < (1 << (2 * len)); ++code) {
            double value;
            if (len == 1) {
                double total = 0.0;
                for (int b = 0; b < 4; ++b) total += count[b];
                value = (count[code] + pc) / (total + 4 * pc);
            } else {
                int context = code & ~3;
                double total = 0.0;
                for (int b = 0; b < 4; ++b) total += count[kOffset[len] + context + b];
                value = (count[kOffset[len] + code] + pc) / (total + 4 * pc);
            }
            char word[5];
            for (int p = 0; p < len; ++p) word[p] = kLetters[(code >> (2 * (len - 1 - p))) & 3];
            word[len] = '\0';
            std::snprintf(line, sizeof line, "%d %s %.10g\n", kOffset[len] + code, word, value);
            out << line;
        }
    }
}

int FreqToolMain(int argc, char** argv) {
    std::string outName;
    bool both = true;
    double pc = 1.0;
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            Usage(std::cout);
            return 0;
        } else if (a == "-o" || a == "-p") {
            if (i + 1 >= argc) {
                std::cerr << "qiro-freq: " << a << " needs a value\n";
                return 1;
            }
            std::string v = argv[++i];
            if (a == "-o") {
                outName = v;
            } else {
                char* end = nullptr;
                pc = std::strtod(v.c_str(), &end);
                if (end == v.c_str() || *end != '\0' || !(pc > 0) || !std::isfinite(pc)) {
                    std::cerr << "qiro-freq: the pseudocount must be a number above 0, not \"" << v << "\"\n";
                    return 1;
                }
            }
        } else if (a == "-s") {
            both = false;
        } else if (a.size() > 1 && a[0] == '-') {
            std::cerr << "qiro-freq: unknown option " << a << "\n";
            Usage(std::cerr);
            return 1;
        } else {
            inputs.push_back(a);
        }
    }
    if (inputs.empty()) {
        std::cerr << "qiro-freq: no FASTA file given\n";
        Usage(std::cerr);
        return 1;
    }
    WordCounts counts;
    for (const std::string& name : inputs) {
        std::ifstream in(name, std::ios::binary);
        std::stringstream text;
        // An empty file is read (it adds no words); peek() sets badbit when the
        // name opens but cannot be read, as a folder does.
        bool readable = in.good();
        if (readable && in.peek() != std::ifstream::traits_type::eof()) readable = static_cast<bool>(text << in.rdbuf());
        if (!readable || in.bad()) {
            std::cerr << "qiro-freq: cannot read " << name << "\n";
            return 1;
        }
        counts.AddFasta(text.str(), both);
    }
    if (outName.empty()) {
        counts.Write(std::cout, pc);
        return std::cout ? 0 : 1;
    }
    std::ofstream out(outName);
    if (out) counts.Write(out, pc);
    if (!out) {
        std::cerr << "qiro-freq: cannot write " << outName << "\n";
        return 1;
    }
    return 0;
}
