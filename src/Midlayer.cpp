#include "Midlayer.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "FreqTool.h"
#include "Robust.h"

using std::cout;
using std::endl;

Midlayer::Midlayer() {}

Midlayer::Midlayer(int k) : K(k) {}

Midlayer::~Midlayer() {}

void Midlayer::SetFreqInfo(const double* values, int n) {
    for (int i = 0; i < n; ++i) FreqInfo[i] = values[i];
    FreqInfo[n] = 0.0;
}

double Midlayer::log2(double x) { return std::log(x) / std::log(2.0); }

// ---------------------------------------------------------------- files

void Midlayer::OpenFile(const std::string& name, FILE*& handle, std::string& field, const char* what) {
    field = name;
    handle = OpenInputFile(name, what);
}

void Midlayer::OpenSeqFile(const std::string& name) { OpenFile(name, SeqFile, SeqFileName, "Sequence"); }
void Midlayer::OpenPKFile(const std::string& name) { OpenFile(name, PKFile, PKFileName, "Pre-knowledge"); }
void Midlayer::OpenFreqFile(const std::string& name) { OpenFile(name, FreqFile, FreqFileName, "Freq"); }

void Midlayer::CloseFiles() {
    for (FILE** f : {&SeqFile, &PKFile, &FreqFile}) {
        if (*f != nullptr) {
            std::fclose(*f);
            *f = nullptr;
        }
    }
}

void Midlayer::ResetFile(FILE* file) {
    if (std::fseek(file, 0, SEEK_SET) != 0) {
        std::perror("Error in fseek\n");
        FatalExit(1);
    }
    CurPos = 0;
    CurSeq = 0;
}

std::string Midlayer::ReadAll(FILE* file, const char* what, const std::string& name) {
    return ReadWholeFileOrExit(file, what, name);
}

// ---------------------------------------------------------------- sequences

void Midlayer::ValidCheck(char& c) {
    switch (c) {
        case 'A': case 'T': case 'G': case 'C':
        case 'a': case 't': case 'g': case 'c':
            return;
        default:
            c = 'N';
    }
}

bool Midlayer::noNewLine(char* line) {
    char* nl = std::strchr(line, '\n');
    if (nl == nullptr) return false;
    *nl = '\0';
    return true;
}

void Midlayer::RevComp(const char* in, char* out) { ReverseComplement(in, out); }

std::string Midlayer::RevComp(const std::string& in) { return ReverseComplement(in); }

void Midlayer::LoadSeqs() {
    const bool both = DoubleStrand;
    ResetFile(SeqFile);
    // The file is read in pieces and split as it comes, so its text is never
    // held whole next to the records made from it.
    std::vector<SeqRecord> records;
    std::string error;
    if (!ReadFastaRecords(SeqFile, records, error)) FileReadFailed("Sequence", SeqFileName, error);
    std::fclose(SeqFile);
    SeqFile = nullptr;

    NumSeq = static_cast<int>(records.size());
    cout << "Number of input Sequences: " << NumSeq << endl;

    BigK = 0;
    Seqs.clear();
    Seqs.reserve(both ? 2 * records.size() : records.size());
    for (SeqRecord& r : records) {
        BigK += r.len;
        Seqs.push_back(std::move(r));
    }
    std::vector<SeqRecord>().swap(records);
    CurSeq = 0;
    if (both) AddReverseStrands(Seqs, NumSeq);
}

void Midlayer::ExcludeShortSeqs() {
    std::vector<int> keep;
    for (int s = 0; s < NumSeq; ++s) {
        if (Seqs[s].len >= K) {
            keep.push_back(s);
        } else {
            cout << "Warning: sequence \"" << Seqs[s].Name() << "\" has " << Seqs[s].len
                 << " letters, fewer than the motif width " << K << "; it is left out of the search." << endl;
        }
    }
    if (NumSeq == 0) {
        cout << "Error: the sequence file " << SeqFileName
             << " holds no FASTA record (a record starts with a '>' header line). System aborted. " << endl;
        FatalExit(1);
    }
    if (keep.empty()) {
        cout << "Error: no sequence in " << SeqFileName << " has at least " << K
             << " letters (the motif width). System aborted. " << endl;
        FatalExit(1);
    }
    if (static_cast<int>(keep.size()) == NumSeq) return;

    KeepSequences(Seqs, NumSeq, keep);
    NumSeq = static_cast<int>(keep.size());
    BigK = 0;
    for (int s = 0; s < NumSeq; ++s) BigK += Seqs[s].len;
}

// ---------------------------------------------------------------- background

void Midlayer::LoadFreqInfo() {
    ResetFile(FreqFile);
    const std::string text = ReadAll(FreqFile, "Freq", FreqFileName);
    std::fclose(FreqFile);
    FreqFile = nullptr;

    ReadFreqRecords(text, FreqFileName, BackFreq, BaseFreq);
    // Every base has a record by now: BaseFreq holds the four single-letter values.
    SetFreqInfo(BaseFreq, 4);
    WarnMissingWords(BackFreq, FreqFileName);
    BuildDenseBackground();
}

void Midlayer::BuildDenseBackground() { BuildDenseTable(BackFreq, BackDense); }

// ---------------------------------------------------------------- known sites

void Midlayer::LoadPKInfo() {
    ResetFile(PKFile);
    std::string text = ReadAll(PKFile, "Pre-knowledge", PKFileName);
    std::fclose(PKFile);
    PKFile = nullptr;

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
        if (nl != std::string::npos) piece.erase(nl);
        lines.push_back(piece);
        i = j;
    }

    const int n = static_cast<int>(lines.size());
    if (n == 0) {
        cout << "Error: the pre-knowledge file " << PKFileName
             << " holds no site (one site per line, every line ending with a line end). System aborted. " << endl;
        FatalExit(1);
    }
    int used = static_cast<int>(n * PerPK);
    if (used < 1) used = 1;
    int noise = static_cast<int>(used * PKQ);

    bool widthSet = K != 0;
    size_t L = 0;
    FilePK.clear();
    for (const std::string& line : lines) {
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
            K = static_cast<int>(L);
            widthSet = true;
        } else if (K != static_cast<int>(L)) {
            cout << "Length of sequence in pri-knowledege needs to be the same as predefined K-mer length.\n"
                 << "System aborted.\n\n";
            FatalExit(1);
        }
        PK site;
        site.Seq = line;
        FilePK.push_back(site);
    }
    NumFilePK = n;
    if (K == 0) {
        cout << "Error: the pre-knowledge file " << PKFileName
             << " holds no site (one site per line, every line ending with a line end). System aborted. " << endl;
        FatalExit(1);
    }

    // The width is known now: sequences too short for one site take no part.
    ExcludeShortSeqs();

    UsedPK.clear();
    if (used >= n) {
        for (int i = 0; i < used; ++i) UsedPK.push_back(FilePK[i]);
    } else {
        std::vector<bool> taken(n, false);
        for (int i = 0; i < used; ++i) {
            int j = Random() % n;
            while (taken[j]) j = Random() % n;
            taken[j] = true;
            UsedPK.push_back(FilePK[j]);
        }
    }
    for (int i = 0; i < noise; ++i) {
        int s = Random() % NumSeq;  // a forward sequence: records 0 .. NumSeq - 1
        int p = Random() % (Seqs[s].len - K + 1);
        PK site;
        site.Seq = Seqs[s].Letters(p, K);
        for (char& c : site.Seq) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        UsedPK.push_back(site);
    }
    NumUsedPK = used + noise;

    ComputePosFreq(false);
}

void Midlayer::ComputePosFreq(bool skipInvalid) {
    for (int b = 0; b < B; ++b)
        for (int j = 0; j < MAX_K; ++j) PosFreq[b][j] = 0.0;
    if (K <= 0 || K > MAX_K) return;
    double W = 0.0;
    for (int s = 0; s < NumSeq; ++s) {
        const SeqRecord& r = Seqs[s];
        for (int w = 0; w + K <= r.len; ++w) {
            const uint8_t* c = r.code.data() + w;
            bool valid = true;
            for (int j = 0; j < K; ++j) {
                if (c[j] == BASE_NONE) {
                    valid = false;
                    break;
                }
            }
            if (!valid) {
                if (skipInvalid) continue;
                cout << "Fatal Error: The input sequence contains invalid letters. Please check the input.\n"
                        " System Aborted\n\n";
                FatalExit(1);
            }
            for (int j = 0; j < K; ++j) PosFreq[c[j]][j] += 1.0;
            W += 1.0;
        }
    }
    if (W == 0.0) return;
    for (int b = 0; b < B; ++b)
        for (int j = 0; j < K; ++j) PosFreq[b][j] /= W;
}

void Midlayer::ProducePKFitness() {
    if (PKFit.IC != 0.0 || PKFit.Mismatch != 0.0 || PKFit.LC != 0.0 || PKFit.Cons[0] != '\0') {
        cout << "The fitness values of prior-knowledege have been defined before, do you want to recalculate it? [y/n]";
        char answer = 0;
        if (std::cin >> answer && answer == 'y') {
            CalculatePKFitness();
        } else {
            cout << "Skip the PK fitness calculation\n";
        }
        return;
    }
    cout << "Start to calculate the fitness of pri-knowledege\n";
    CalculatePKFitness();
}

void Midlayer::CalculatePKFitness() {
    const int k = K;
    const int N = NumUsedPK;
    const double n = N;
    double count[B][MAX_K] = {};
    for (int i = 0; i < N; ++i) {
        const std::string& site = UsedPK[i].Seq;
        for (int j = 0; j < k; ++j) {
            int b = j < static_cast<int>(site.size()) ? LookupCode(site[j]) : -1;
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
            PKFit.Freq[b][j] = (count[b][j] + root * BaseFreq[b]) / (root + n);
            PKFit.MismatchMatrix[b][j] = count[b][j] / n;
            ic += PKFit.Freq[b][j] * log2(PKFit.Freq[b][j] / BaseFreq[b]);
        }
    }
    PKFit.IC = ic;
    for (int j = 0; j < k; ++j) {
        PKFit.CumFreq[j][0] = 0.0;
        for (int c = 1; c <= 4; ++c) PKFit.CumFreq[j][c] = PKFit.CumFreq[j][c - 1] + PKFit.Freq[c - 1][j];
    }
    cout << "Fitness for Pre-Knowledege: " << "\nInformation Content: " << PKFit.IC << " ";

    PKFit.Mismatch = 0.0;
    double best = -MAX_NUM;
    double sumP = 0.0;
    double sumM = 0.0;
    char word[MAX_K + 1];
    for (int i = 0; i < N; ++i) {
        PK& site = UsedPK[i];
        double m = CalculateMismatch(site.Seq.c_str(), static_cast<int>(site.Seq.size()), PKFit);
        site.Score = m;
        sumM += m;
        for (int j = 0; j < k; ++j) word[j] = static_cast<char>(std::toupper(static_cast<unsigned char>(site.Seq[j])));
        word[k] = '\0';
        double P = BackgroundProb(word, k);
        sumP += P;
        site.BGScore = log2(P) / m;
        PKFit.Mismatch += m / n;
        if (site.BGScore > best) best = site.BGScore;
    }
    const double mean = sumM / n;
    double var = 0.0;
    for (int i = 0; i < N; ++i) var += (UsedPK[i].Score - mean) * (UsedPK[i].Score - mean);
    PKFit.STD = std::sqrt(var / n);
    PKFit.NumPK = N;
    PKFit.PKMax = best;
    PKFit.PKScore = log2(sumP) - log2(PKFit.Mismatch) - log2(n);
    cout << "\nAverage Mismatch: " << PKFit.Mismatch << endl;
    cout << "PK MAXI\t" << PKFit.PKMax << endl;

    PKFit.LC = LowerComplexity(k, PKFit);
    cout << "\nLower Complexity: " << PKFit.LC << endl;
    Consensus(k, PKFit);
    cout << "\nConsensus: " << PKFit.Cons << endl;
}

double Midlayer::CalculateMismatch(const char* word, int len, PKFitness& fit) {
    double num = 0.0;
    double den = 0.0;
    for (int p = 0; p < len; ++p) {
        int c = LookupCode(word[p]);
        if (c < 0) {
            cout << word << "\t" << "Error: The sequence contains invalid letters. Please check the input sequences.\n";
            FatalExit(1);
        }
        for (int b = 0; b < B; ++b) {
            double delta = b == c ? 1.0 : 0.0;
            num += std::fabs(fit.MismatchMatrix[b][p] - delta) / 2;
            den += std::fabs(PosFreq[b][p] - delta) / 2;
        }
    }
    return num / den;
}

double Midlayer::LowerComplexity(int k, PKFitness& fit) {
    double result = 1.0;
    for (int b = 0; b < B; ++b) {
        double s = 0.0;
        for (int j = 0; j < k; ++j) s += fit.MismatchMatrix[b][j];
        if (s != 0.0) result *= std::pow(k / s, s);
    }
    return result * std::pow(0.25, k);
}

void Midlayer::Consensus(int k, PKFitness& fit) {
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

// ---------------------------------------------------------------- filter

void Midlayer::Filtering() {
    Candidates.clear();
    KmerScores.clear();
    const int S = GetNumStrands();
    const int k = K;
    size_t windows = 0;
    for (int g = 0; g < S; ++g) windows += Seqs[g].len >= k ? static_cast<size_t>(Seqs[g].len - k + 1) : 0;
    KmerScores.reserve(windows);
    double lo = MAX_NUM;
    double hi = -MAX_NUM;
    char word[MAX_K + 1];
    for (int g = 0; g < S; ++g) {
        const SeqRecord& r = Seqs[g];
        for (int q = 0; q + k <= r.len; ++q) {
            for (int j = 0; j < k; ++j) word[j] = "ACGTN"[r.code[static_cast<size_t>(q + j)]];
            word[k] = '\0';
            double P = BackgroundProb(word, k);
            double mm = CalculateMismatch(word, k, PKFit);
            double score = log2(P) / mm;
            KmerScores.push_back({q, g, score, 0.0});
            if (lo > score) lo = score;
            if (score > hi) hi = score;
        }
    }

    // Equal scores everywhere leave nothing to normalise by: every position stays admissible.
    const bool active = hi > Omega * PKFit.PKMax && Filter && PKPre && hi != lo;
    Candidates.resize(S);
    if (!active) {
        for (int g = 0; g < S; ++g)
            for (int q = 0; q + k <= Seqs[g].len; ++q) Candidates[g].push_back(q);
        return;
    }

    PKFit.Threshold = (PKFit.PKMax - lo) / (hi - lo);
    size_t at = 0;
    long seen = 0;
    long admitted = 0;
    for (int g = 0; g < S; ++g) {
        std::vector<int>& list = Candidates[g];
        double bestScore = MAX_NUM;
        int bestPos = 0;  // the first window, should every score be undefined
        bool any = false;
        for (int l = 0; l + k <= Seqs[g].len; ++l) {
            ++seen;
            kmer& e = KmerScores[at];
            if (e.Strand != g || e.Pos != l) {
                cout << "Fatal error in Novel Filtering.\n";
                FatalExit(1);
            }
            e.Score = (e.Score - lo) / (hi - lo);
            if (Omega * PKFit.Threshold >= e.Score) {
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
        if (!any) {
            list.push_back(bestPos);
            ++admitted;
        }
    }
    cout << "Overall Kmers: " << seen << ". " << "No. of Filtered Out Kmers: " << seen - admitted << endl;
}
