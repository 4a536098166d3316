#include "input/FreqTool.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "core/Constants.h"
#include "core/FileInput.h"
#include "core/Robust.h"
#include "input/Sequences.h"

namespace {

const int kOffset[5] = {0, 0, 4, 20, 84};
const char kLetters[] = "ACGT";

int Code(char c) {
    switch (c) {
        case 'A': case 'a': return 0;
        case 'C': case 'c': return 1;
        case 'G': case 'g': return 2;
        case 'T': case 't': return 3;
        case 'U': case 'u': return 3;  // RNA: U is T's base
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

// Writes the "index word value" records of every word of one to four letters,
// the values taken from a table indexed like WordCounts::count.
void WriteTable(std::ostream& out, const std::vector<double>& value) {
    char line[64];
    for (int len = 1; len <= 4; ++len) {
        for (int code = 0; code < (1 << (2 * len)); ++code) {
            char word[5];
            for (int p = 0; p < len; ++p) word[p] = kLetters[(code >> (2 * (len - 1 - p))) & 3];
            word[len] = '\0';
            std::snprintf(line, sizeof line, "%d %s %.10g\n", kOffset[len] + code, word, value[kOffset[len] + code]);
            out << line;
        }
    }
}

// The whole of a named file, uncompressed when it is gzipped; false with a
// message on standard error when it cannot be read.
bool ReadInput(const std::string& name, std::string& text) {
    struct stat st;
    // A folder opens for reading on POSIX systems but holds no text to read.
    bool isDir = stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    FILE* file = isDir ? nullptr : std::fopen(name.c_str(), "rb");
    if (file == nullptr) {
        std::cerr << "qiro-freq: cannot read " << name << "\n";
        return false;
    }
    std::string error;
    bool ok = ReadWholeFile(file, text, error);
    std::fclose(file);
    if (!ok) std::cerr << "qiro-freq: cannot read " << name << ": " << error << "\n";
    return ok;
}

void Usage(std::ostream& out) {
    out << "Usage: qiro-freq [options] FASTA...\n\n"
           "Writes a background frequency file for qiro (-freq) from one or more FASTA files:\n"
           "one record per line, \"index word value\", for every word of one to four letters\n"
           "over A, C, G, T. Single letters get their frequency; longer words the probability\n"
           "of their last letter after the letters before it (a 3rd-order Markov model).\n"
           "Lower case counts as upper case, and U (RNA) as T; any other letter breaks words.\n"
           "Input files may be gzip-compressed, whatever their names say.\n\n"
           "       qiro-freq -m <meme_background_file> [-o <file>]\n\n"
           "Converts a MEME background model file (lines \"word probability\" for the words of\n"
           "one letter up to order + 1 letters, as fasta-get-markov writes them; \"#\" starts a\n"
           "comment) into the same format: each longer word gets P(word) / P(word without its\n"
           "last letter). A model of order below 3 is extended to order 3 unchanged (the\n"
           "letters beyond its order do not matter); words longer than four letters are not used.\n\n"
           "Options:\n"
           "\t-o <file>      write to this file instead of standard output\n"
           "\t-s             count the sequences as given only (default: both strands)\n"
           "\t-mask          lower-case (soft-masked) letters break words too\n"
           "\t-p <count>     pseudocount added to every word, above 0 (default: 1)\n"
           "\t-m <file>      convert this MEME background file instead of counting FASTA files\n"
           "\t-h             show this help\n"
           "\t-version       print the version (qiro-freq " << QIRO_VERSION << ") and stop\n";
}

}  // namespace

void WordCounts::AddSequence(const std::string& letters, bool bothStrands) {
    std::vector<int> codes;
    codes.reserve(letters.size());
    for (char c : letters) {
        if (c == 'U' || c == 'u') ++rnaLetters;
        codes.push_back(softMask && c >= 'a' && c <= 'z' ? -1 : Code(c));
    }
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
    std::vector<double> value(340, 0.0);
    for (int len = 1; len <= 4; ++len) {
        for (int code = 0; code < (1 << (2 * len)); ++code) {
            if (len == 1) {
                double total = 0.0;
                for (int b = 0; b < 4; ++b) total += count[b];
                value[code] = (count[code] + pc) / (total + 4 * pc);
            } else {
                int context = code & ~3;
                double total = 0.0;
                for (int b = 0; b < 4; ++b) total += count[kOffset[len] + context + b];
                value[kOffset[len] + code] = (count[kOffset[len] + code] + pc) / (total + 4 * pc);
            }
        }
    }
    WriteTable(out, value);
}

std::string CountedBackground(const std::vector<SeqRecord>& seqs, int numSeq, bool bothStrands) {
    WordCounts counts;
    std::string letters;
    for (int s = 0; s < numSeq; ++s) {
        const SeqRecord& r = seqs[static_cast<size_t>(s)];
        letters.assign(static_cast<size_t>(r.len), 'N');
        for (int i = 0; i < r.len; ++i)
            if (!r.WindowMasked(i, 1)) letters[static_cast<size_t>(i)] = "ACGTN"[r.code[static_cast<size_t>(i)]];
        counts.AddSequence(letters, bothStrands);
    }
    // Written out and read back like a file, so that the run sees the very
    // values a file of qiro-freq would give it, rounding included.
    std::ostringstream text;
    counts.Write(text, kDefaultPseudocount);
    return text.str();
}

bool ConvertMemeBackground(const std::string& text, std::vector<double>& table, std::string& error) {
    // Joint probabilities of the listed words, by length.
    std::vector<double> joint(340, 0.0);
    std::vector<bool> seen(340, false);
    int lineNo = 0;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        ++lineNo;
        size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::istringstream fields(line);
        std::string word, number, extra;
        if (!(fields >> word)) continue;  // blank or comment only
        char* end = nullptr;
        double p = 0.0;
        bool numeric = false;
        if (fields >> number) {
            p = std::strtod(number.c_str(), &end);
            numeric = end != number.c_str() && *end == '\0' && std::isfinite(p) && p >= 0.0;
        }
        if (!numeric || (fields >> extra)) {
            error = "line " + std::to_string(lineNo) + ": expected a word and a probability (0 or more)";
            return false;
        }
        int code = 0;
        for (char c : word) {
            int b = Code(c);
            if (b < 0) {
                error = "line " + std::to_string(lineNo) + ": \"" + word + "\" is not a word over A, C, G, T";
                return false;
            }
            if (word.size() <= 4) code = (code << 2) | b;  // longer words are not used (and would overflow)
        }
        if (word.size() > 4) continue;  // beyond the 3rd order that qiro uses
        const int slot = kOffset[word.size()] + code;
        joint[slot] = p;
        seen[slot] = true;
    }
    // The longest word length listed in full; a partial length is an error.
    int order = 0;
    for (int len = 1; len <= 4; ++len) {
        int listed = 0;
        for (int code = 0; code < (1 << (2 * len)); ++code) listed += seen[kOffset[len] + code] ? 1 : 0;
        if (listed == 0) break;
        if (listed != (1 << (2 * len))) {
            error = "it lists " + std::to_string(listed) + " of the " + std::to_string(1 << (2 * len)) +
                    " words of " + std::to_string(len) + " letter" + (len > 1 ? "s" : "");
            return false;
        }
        order = len;
    }
    if (order == 0) {
        error = "it lists no probability for the single letters A, C, G and T";
        return false;
    }
    table.assign(340, 0.0);
    for (int b = 0; b < 4; ++b) table[b] = joint[b];
    for (int len = 2; len <= 4; ++len) {
        // Words longer than the file's longest condition on their last `use` letters only.
        const int use = len < order ? len : order;
        for (int code = 0; code < (1 << (2 * len)); ++code) {
            const int tail = code & ((1 << (2 * use)) - 1);
            double value;
            if (use == 1) {
                value = joint[tail];
            } else {
                const double whole = joint[kOffset[use] + tail];
                const double prefix = joint[kOffset[use - 1] + (tail >> 2)];
                if (!(prefix > 0.0)) {
                    char word[5];
                    for (int p = 0; p < use - 1; ++p) word[p] = kLetters[(tail >> (2 * (use - 1 - p))) & 3];
                    word[use - 1] = '\0';
                    error = std::string("the word ") + word + " has probability 0, so no letter can follow it";
                    return false;
                }
                value = whole / prefix;
            }
            table[kOffset[len] + code] = value;
        }
    }
    return true;
}

int FreqToolMain(int argc, char** argv) {
    std::string outName;
    bool both = true;
    bool softMask = false;
    double pc = kDefaultPseudocount;
    std::string memeName;
    std::vector<std::string> inputs;
    // -version answers alone, wherever it stands, before any other word is
    // judged; the value of -o, -p or -m is a value even when it reads -version.
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-o" || a == "-p" || a == "-m") {
            ++i;
        } else if (a == "-version") {
            std::cout << "qiro-freq " << QIRO_VERSION << "\n";
            return std::cout ? 0 : 1;
        }
    }
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            Usage(std::cout);
            return 0;
        } else if (a == "-o" || a == "-p" || a == "-m") {
            if (i + 1 >= argc) {
                std::cerr << "qiro-freq: " << a << " needs a value\n";
                return 1;
            }
            std::string v = argv[++i];
            if (a == "-o") {
                outName = v;
            } else if (a == "-m") {
                memeName = v;
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
        } else if (a == "-mask") {
            softMask = true;
        } else if (a.size() > 1 && a[0] == '-') {
            std::cerr << "qiro-freq: unknown option " << a << "\n";
            Usage(std::cerr);
            return 1;
        } else {
            inputs.push_back(a);
        }
    }
    if (!memeName.empty() && !inputs.empty()) {
        std::cerr << "qiro-freq: -m converts a MEME background file; give no FASTA file with it\n";
        return 1;
    }
    if (memeName.empty() && inputs.empty()) {
        std::cerr << "qiro-freq: no FASTA file given\n";
        Usage(std::cerr);
        return 1;
    }
    std::vector<double> table;
    WordCounts counts;
    counts.softMask = softMask;
    if (!memeName.empty()) {
        std::string text, error;
        if (!ReadInput(memeName, text)) return 1;
        if (!ConvertMemeBackground(text, table, error)) {
            std::cerr << "qiro-freq: " << memeName << " is not a MEME background file: " << error << "\n";
            return 1;
        }
    } else {
        for (const std::string& name : inputs) {
            std::string text;
            if (!ReadInput(name, text)) return 1;
            TextCheck check;
            if (!check.Feed(text.data(), text.size())) {
                std::cerr << "qiro-freq: cannot read " << name << ": " << check.Error() << "\n";
                return 1;
            }
            counts.AddFasta(text, both);
        }
        // On standard error: standard output may be the frequency file itself.
        if (counts.rnaLetters > 0)
            std::cerr << "qiro-freq: " << counts.rnaLetters << " letters U or u read as T or t (RNA).\n";
    }
    auto write = [&](std::ostream& out) {
        if (table.empty()) {
            counts.Write(out, pc);
        } else {
            WriteTable(out, table);
        }
    };
    if (outName.empty()) {
        write(std::cout);
        return std::cout ? 0 : 1;
    }
    // Written beside its name and renamed into place when complete, so that a
    // cut-short background file is never left under the name.
    WholeFile out;
    bool ok = out.Open(outName);
    if (ok) write(out.stream());
    if (ok) ok = out.Commit();
    if (!ok) {
        std::cerr << "qiro-freq: cannot write " << outName << "\n";
        return 1;
    }
    return 0;
}
