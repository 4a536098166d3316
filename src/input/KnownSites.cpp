#include "input/KnownSites.h"

#include <cctype>
#include <cmath>
#include <iostream>

#include "core/Console.h"
#include "core/Robust.h"
#include "input/FastaReader.h"
#include "input/Masking.h"

using std::cout;
using std::endl;

namespace {
// The way out named after an input letter that no window can be scored with.
const char kMaskHint[] = "Use -mask T to leave out windows holding other letters.\n";
}  // namespace

double ScoreLog2(double x) { return std::log(x) / std::log(2.0); }

std::vector<PK> ReadSiteFile(const std::string& text, const std::string& fileName, int& k) {
    // Text mode: a carriage return before a line end reads as the line end alone.
    std::string clean;
    clean.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        clean.push_back(text[i]);
    }

    // Lines are read in pieces of at most 39 characters, the line end included;
    // a piece cut off by the end of the file does not count. A longer line thus
    // reads as several lines, and a last line without a line end is ignored.
    std::vector<std::string> lines;
    std::vector<int> lineNumbers;  // the file's line each piece comes from
    int lineNumber = 1;
    for (size_t i = 0; i < clean.size();) {
        size_t j = i;
        bool complete = false;
        while (j < clean.size() && j - i < 39) {
            if (clean[j++] == '\n') {
                complete = true;
                break;
            }
        }
        if (!complete && j - i < 39) break;
        std::string piece = clean.substr(i, j - i);
        size_t nl = piece.find('\n');
        lineNumbers.push_back(lineNumber);
        if (nl != std::string::npos) {
            piece.erase(nl);
            ++lineNumber;
        }
        lines.push_back(piece);
        i = j;
    }

    const int n = static_cast<int>(lines.size());
    if (n == 0) {
        cout << "Error: the pre-knowledge file " << fileName
             << " holds no site (one site per line, every line ending with a line end). System aborted. " << endl;
        FatalExit(1);
    }

    bool widthSet = k != 0;
    size_t L = 0;
    long long rna = 0;
    std::vector<PK> sites;
    for (size_t li = 0; li < lines.size(); ++li) {
        const std::string& line = lines[li];
        if (L == 0) {
            L = line.size();
        } else if (L <= 2) {
            cout << "The PK Information is lack of content.\n" << "Please provide a valid Pri-knowledege file.\n"
                 << "System aborted. \n\n";
            FatalExit(1);
        } else if (line.size() != L) {
            cout << "Sequences in Pri-knowledege file have different lengths\n"
                 << "Pri-knowledege must have the same length\n" << "Please check the sequences.\n"
                 << "System aborted. \n\n";
            FatalExit(1);
        }
        if (!widthSet) {
            k = static_cast<int>(L);
            widthSet = true;
        } else if (k != static_cast<int>(L)) {
            cout << "Length of sequence in pri-knowledege needs to be the same as predefined K-mer length.\n"
                 << "System aborted.\n\n";
            FatalExit(1);
        }
        PK site;
        site.Seq = line;
        for (char& c : site.Seq) {
            // RNA sites: U is T's base, and the sites are matched against strands of A, C, G, T.
            if (c == 'U' || c == 'u') {
                c = c == 'U' ? 'T' : 't';
                ++rna;
            }
        }
        sites.push_back(site);
    }
    // Letters no site can hold, said with the file and line once every line
    // has its length, rather than when the sites are scored.
    for (size_t li = 0; li < sites.size(); ++li) {
        for (char c : sites[li].Seq) {
            if (LetterCode(c) >= 0) continue;
            cout << "Error: the pre-knowledge file " << fileName << ", line " << lineNumbers[li] << ": the site \""
                 << lines[li] << "\" holds the letter '" << c
                 << "'; known sites are written in A, C, G and T (U read as T)." << endl;
            cout << "Fatal Error: The PK sequence contains invalid letters. Please check the input.\n"
                    " System Aborted\n\n";
            FatalExit(1);
        }
    }
    if (rna > 0) Say() << RnaLettersNote(rna, fileName) << endl;  // the answer: how the file was read
    if (k == 0) {
        cout << "Error: the pre-knowledge file " << fileName
             << " holds no site (one site per line, every line ending with a line end). System aborted. " << endl;
        FatalExit(1);
    }
    return sites;
}

std::vector<PK> ChooseSites(const std::vector<PK>& fileSites, int used, int noise,
                            const std::vector<SeqRecord>& seqs, int numSeq, int k) {
    const int n = static_cast<int>(fileSites.size());
    std::vector<PK> chosen;
    if (used >= n) {
        for (int i = 0; i < used; ++i) chosen.push_back(fileSites[i]);
    } else {
        std::vector<bool> taken(n, false);
        for (int i = 0; i < used; ++i) {
            int j = Random() % n;
            while (taken[j]) j = Random() % n;
            taken[j] = true;
            chosen.push_back(fileSites[j]);
        }
    }
    std::vector<int> open;
    for (int i = 0; i < noise; ++i) {
        int s = Random() % numSeq;  // a forward sequence: records 0 .. numSeq - 1
        int p;
        if (seqs[s].shared->masked.empty()) {
            p = Random() % (seqs[s].len - k + 1);
        } else {
            // A noise site is a window a site could be: one free of masked
            // letters (every sequence left has one).
            OpenWindows(seqs[s], k, open);
            p = open.empty() ? 0 : open[Random() % open.size()];
        }
        PK site;
        site.Seq = seqs[s].Letters(p, k);
        for (char& c : site.Seq) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        chosen.push_back(site);
    }
    return chosen;
}

void PositionShares(const std::vector<SeqRecord>& seqs, int numSeq, int k, bool skipInvalid,
                    double shares[B][MAX_K]) {
    for (int b = 0; b < B; ++b)
        for (int j = 0; j < MAX_K; ++j) shares[b][j] = 0.0;
    if (k <= 0 || k > MAX_K) return;
    double W = 0.0;
    for (int s = 0; s < numSeq; ++s) {
        const SeqRecord& r = seqs[s];
        for (int w = 0; w + k <= r.len; ++w) {
            if (r.WindowMasked(w, k)) continue;
            const uint8_t* c = r.code.data() + w;
            bool valid = true;
            for (int j = 0; j < k; ++j) {
                if (c[j] == BASE_NONE) {
                    valid = false;
                    break;
                }
            }
            if (!valid) {
                if (skipInvalid) continue;
                cout << "Fatal Error: The input sequence contains invalid letters. Please check the input.\n"
                        " System Aborted\n\n";
                cout << kMaskHint;
                FatalExit(1);
            }
            for (int j = 0; j < k; ++j) shares[c[j]][j] += 1.0;
            W += 1.0;
        }
    }
    if (W == 0.0) return;
    for (int b = 0; b < B; ++b)
        for (int j = 0; j < k; ++j) shares[b][j] /= W;
}

double SiteScorer::Mismatch(const char* word, int len, const PKFitness& fit) const {
    double num = 0.0;
    double den = 0.0;
    for (int p = 0; p < len; ++p) {
        int c = LetterCode(word[p]);
        if (c < 0) {
            // Known sites are checked before they are scored: only an input
            // window gets here.
            cout << word << "\t" << "Error: The sequence contains invalid letters. Please check the input sequences.\n";
            cout << kMaskHint;
            FatalExit(1);
        }
        for (int b = 0; b < B; ++b) {
            double delta = b == c ? 1.0 : 0.0;
            num += std::fabs(fit.MismatchMatrix[b][p] - delta) / 2;
            den += std::fabs(posFreq[b][p] - delta) / 2;
        }
    }
    return num / den;
}

void ScoreSites(const SiteScorer& scorer, const double baseFreq[B], int k, std::vector<PK>& sites, int numSites,
                PKFitness& fit) {
    const int N = numSites;
    const double n = N;
    double count[B][MAX_K] = {};
    for (int i = 0; i < N; ++i) {
        const std::string& site = sites[i].Seq;
        for (int j = 0; j < k; ++j) {
            int b = j < static_cast<int>(site.size()) ? LetterCode(site[j]) : -1;
            if (b < 0) {
                cout << "Fatal Error: The PK sequence contains invalid letters. Please check the input.\n"
                        " System Aborted\n\n";
                FatalExit(1);
            }
            count[b][j] += 1.0;
        }
    }

    const double root = std::sqrt(n);
    double ic = 0.0;
    for (int b = 0; b < B; ++b) {
        for (int j = 0; j < k; ++j) {
            fit.Freq[b][j] = (count[b][j] + root * baseFreq[b]) / (root + n);
            fit.MismatchMatrix[b][j] = count[b][j] / n;
            ic += fit.Freq[b][j] * ScoreLog2(fit.Freq[b][j] / baseFreq[b]);
        }
    }
    fit.IC = ic;
    for (int j = 0; j < k; ++j) {
        fit.CumFreq[j][0] = 0.0;
        for (int c = 1; c <= 4; ++c) fit.CumFreq[j][c] = fit.CumFreq[j][c - 1] + fit.Freq[c - 1][j];
    }
    cout << "Fitness for Pre-Knowledege: " << "\nInformation Content: " << fit.IC << " ";

    fit.Mismatch = 0.0;
    double best = -MAX_NUM;
    double sumP = 0.0;
    double sumM = 0.0;
    char word[MAX_K + 1];
    for (int i = 0; i < N; ++i) {
        PK& site = sites[i];
        double m = scorer.Mismatch(site.Seq.c_str(), static_cast<int>(site.Seq.size()), fit);
        site.Score = m;
        sumM += m;
        for (int j = 0; j < k; ++j) word[j] = static_cast<char>(std::toupper(static_cast<unsigned char>(site.Seq[j])));
        word[k] = '\0';
        double P = scorer.background.Prob(word, k);
        sumP += P;
        site.BGScore = ScoreLog2(P) / m;
        fit.Mismatch += m / n;
        if (site.BGScore > best) best = site.BGScore;
    }
    const double mean = sumM / n;
    double var = 0.0;
    for (int i = 0; i < N; ++i) var += (sites[i].Score - mean) * (sites[i].Score - mean);
    fit.STD = std::sqrt(var / n);
    fit.NumPK = N;
    fit.PKMax = best;
    fit.PKScore = ScoreLog2(sumP) - ScoreLog2(fit.Mismatch) - ScoreLog2(n);
    cout << "\nAverage Mismatch: " << fit.Mismatch << endl;
    cout << "PK MAXI\t" << fit.PKMax << endl;

    fit.LC = SiteLowerComplexity(k, fit);
    cout << "\nLower Complexity: " << fit.LC << endl;
    SiteConsensus(k, fit);
    cout << "\nConsensus: " << fit.Cons << endl;
}

double SiteLowerComplexity(int k, const PKFitness& fit) {
    double result = 1.0;
    for (int b = 0; b < B; ++b) {
        double s = 0.0;
        for (int j = 0; j < k; ++j) s += fit.MismatchMatrix[b][j];
        if (s != 0.0) result *= std::pow(k / s, s);
    }
    return result * std::pow(0.25, k);
}

void SiteConsensus(int k, PKFitness& fit) {
    const char* letters = "ACGT";
    for (int j = 0; j < k; ++j) {
        double best = 0.0;
        int pick = 0;
        for (int b = 0; b < B; ++b) {
            if (fit.MismatchMatrix[b][j] > best) {
                best = fit.MismatchMatrix[b][j];
                pick = b;
            }
        }
        fit.Cons[j] = letters[pick];
    }
    fit.Cons[k] = '\0';
}

void FilterWindows(const SiteScorer& scorer, const std::vector<SeqRecord>& strands, int numStrands, int k,
                   double omega, bool enabled, PKFitness& fit, std::vector<std::vector<int>>& candidates,
                   std::vector<kmer>& scores) {
    candidates.clear();
    scores.clear();
    const int S = numStrands;
    size_t windows = 0;
    for (int g = 0; g < S; ++g) windows += strands[g].len >= k ? static_cast<size_t>(strands[g].len - k + 1) : 0;
    scores.reserve(windows);
    double lo = MAX_NUM;
    double hi = -MAX_NUM;
    char word[MAX_K + 1];
    for (int g = 0; g < S; ++g) {
        const SeqRecord& r = strands[g];
        for (int q = 0; q + k <= r.len; ++q) {
            // A window holding a masked letter is never a site: not scored, not admissible.
            if (r.WindowMasked(q, k)) continue;
            for (int j = 0; j < k; ++j) word[j] = "ACGTN"[r.code[static_cast<size_t>(q + j)]];
            word[k] = '\0';
            double P = scorer.background.Prob(word, k);
            double mm = scorer.Mismatch(word, k, fit);
            double score = ScoreLog2(P) / mm;
            scores.push_back({q, g, score, 0.0});
            if (lo > score) lo = score;
            if (score > hi) hi = score;
        }
    }

    // Equal scores everywhere leave nothing to normalise by: every position stays admissible.
    const bool active = hi > omega * fit.PKMax && enabled && hi != lo;
    candidates.resize(S);
    if (!active) {
        for (int g = 0; g < S; ++g)
            for (int q = 0; q + k <= strands[g].len; ++q)
                if (!strands[g].WindowMasked(q, k)) candidates[g].push_back(q);
        return;
    }

    fit.Threshold = (fit.PKMax - lo) / (hi - lo);
    size_t at = 0;
    long seen = 0;
    long admitted = 0;
    for (int g = 0; g < S; ++g) {
        std::vector<int>& list = candidates[g];
        double bestScore = MAX_NUM;
        int bestPos = -1;  // the first window, should every score be undefined
        bool any = false;
        for (int l = 0; l + k <= strands[g].len; ++l) {
            if (strands[g].WindowMasked(l, k)) continue;
            if (bestPos < 0) bestPos = l;
            ++seen;
            kmer& e = scores[at];
            if (e.Strand != g || e.Pos != l) {
                cout << "Fatal error in Novel Filtering.\n";
                FatalExit(1);
            }
            e.Score = (e.Score - lo) / (hi - lo);
            if (omega * fit.Threshold >= e.Score) {
                list.push_back(l);
                ++admitted;
                any = true;
            }
            if (bestScore > e.Score) {
                bestScore = e.Score;
                bestPos = l;
            }
            ++at;
        }
        if (!any && bestPos >= 0) {
            list.push_back(bestPos);
            ++admitted;
        }
    }
    cout << "Overall Kmers: " << seen << ". " << "No. of Filtered Out Kmers: " << seen - admitted << endl;
}
