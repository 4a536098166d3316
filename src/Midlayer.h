// The sequence data layer: every input of a run (strands, background model,
// known sites and their scores) and the admissible site positions.
#ifndef QIRO_MIDLAYER_H
#define QIRO_MIDLAYER_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Constants.h"
#include "Individual.h"

// 2-bit base codes: A/a 0, C/c 1, G/g 2, T/t 3; every other byte is BASE_NONE.
const uint8_t BASE_NONE = 4;
extern const uint8_t kBaseCode[256];

// What the two strands of a sequence share, so that a reverse strand costs
// little more than its letter codes.
struct SeqShared {
    std::string name;  // first word of the header line
    // The forward letters, 2 bits each, 32 to a word (base i at bits 2*(i%32)
    // of word i/32; letters without a code count as A), plus one spare word so
    // a window can always read the word after its last one.
    std::vector<uint64_t> packed;
    // Bit i (word i/64) set when forward letter i has no code; empty when
    // none has. Such letters count as A on both strands, so reading a reverse
    // window off the forward words must set them right. One spare word, as
    // for packed.
    std::vector<uint64_t> unknown;
    // Bit i (word i/64) set when forward letter i was read in lower case;
    // empty when none was, as in most files.
    std::vector<uint64_t> lower;
};

// One strand: a sequence as read, or the reverse complement of one. The letters
// are kept only in coded form; Letter() and Letters() give them back as read
// (A, C, G, T in either case, N for anything else).
struct SeqRecord {
    int len = 0;
    bool forward = true;
    std::vector<uint8_t> code;  // kBaseCode of each letter: 0..3, BASE_NONE for N
    std::shared_ptr<const SeqShared> shared;

    // Makes the forward strand of a sequence from its letters as read (A, C,
    // G, T in either case, N).
    void Assign(const std::string& name, const char* letters, size_t n);
    // Makes the reverse complement of forward strand r (case kept).
    void AssignReverseOf(const SeqRecord& r);

    const std::string& Name() const { return shared->name; }
    char Letter(int i) const {
        char c = "ACGTN"[code[static_cast<size_t>(i)]];
        const std::vector<uint64_t>& lower = shared->lower;
        if (!lower.empty()) {
            const size_t j = static_cast<size_t>(forward ? i : len - 1 - i);
            if ((lower[j >> 6] >> (j & 63)) & 1) c = static_cast<char>(c | 0x20);
        }
        return c;
    }
    std::string Letters(int pos, int n) const {
        std::string out(static_cast<size_t>(n), 'N');
        for (int j = 0; j < n; ++j) out[static_cast<size_t>(j)] = Letter(pos + j);
        return out;
    }
    std::string Text() const { return Letters(0, len); }

    // Bases [pos, pos + n) as 2n bits, n from 1 to 32.
    uint64_t Bits(int pos, int n) const {
        if (forward) return Read(shared->packed.data(), pos, n);
        // The same letters on the forward strand, complemented and read back
        // to front.
        return ReverseComplementBits(MirrorBits(pos, n), n);
    }
    // On a reverse strand: the reverse complement of Bits(pos, n), read
    // straight off the forward words (letters without a code read as T, so
    // that they turn back into A). Comparing it with the reverse complement of
    // a text counts the same differences as comparing Bits(pos, n) with the
    // text, without turning every window around.
    uint64_t MirrorBits(int pos, int n) const {
        const int from = len - pos - n;
        uint64_t x = Read(shared->packed.data(), from, n);
        if (!shared->unknown.empty()) x |= Spread(ReadMask(shared->unknown.data(), from, n));
        return x;
    }
    // n 2-bit bases in reverse order, each complemented (3 - b).
    static uint64_t ReverseComplementBits(uint64_t v, int n) {
        uint64_t x = ~v;
        x = ((x >> 2) & 0x3333333333333333ull) | ((x & 0x3333333333333333ull) << 2);
        x = ((x >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((x & 0x0F0F0F0F0F0F0F0Full) << 4);
        return __builtin_bswap64(x) >> (64 - 2 * n);
    }

private:
    // Bits [pos, pos + n) of a 1-bit-per-letter mask, n at most 32.
    static uint64_t ReadMask(const uint64_t* mask, int pos, int n) {
        const size_t w = static_cast<size_t>(pos) >> 6;
        const int off = pos & 63;
        uint64_t v = mask[w] >> off;
        if (off != 0) v |= mask[w + 1] << (64 - off);
        return v & ((uint64_t(1) << n) - 1);
    }
    // Each of the low 32 bits doubled into a 2-bit group.
    static uint64_t Spread(uint64_t v) {
        v = (v | (v << 16)) & 0x0000FFFF0000FFFFull;
        v = (v | (v << 8)) & 0x00FF00FF00FF00FFull;
        v = (v | (v << 4)) & 0x0F0F0F0F0F0F0F0Full;
        v = (v | (v << 2)) & 0x3333333333333333ull;
        v = (v | (v << 1)) & 0x5555555555555555ull;
        return v | (v << 1);
    }
    static uint64_t Read(const uint64_t* packed, int pos, int n) {
        const size_t w = static_cast<size_t>(pos) >> 5;
        const int off = (pos & 31) * 2;
        uint64_t v = packed[w] >> off;
        if (off != 0) v |= packed[w + 1] << (64 - off);
        return n == 32 ? v : v & ((uint64_t(1) << (2 * n)) - 1);
    }
};

// A window of up to MAX_K bases packed like SeqRecord::packed, for counting
// differing letters with a few word operations instead of a letter loop.
struct PackedWord {
    uint64_t part[2] = {0, 0};  // bases 0..31, then 32..39
    int len = 0;

    static PackedWord FromText(const char* text, int k);
    static PackedWord FromStrand(const SeqRecord& r, int pos, int k) {
        PackedWord w;
        w.len = k;
        w.part[0] = r.Bits(pos, k < 32 ? k : 32);
        if (k > 32) w.part[1] = r.Bits(pos + 32, k - 32);
        return w;
    }
    // Number of offsets whose bases differ.
    int Distance(const PackedWord& o) const {
        const uint64_t lowBits = 0x5555555555555555ull;
        uint64_t x0 = part[0] ^ o.part[0];
        uint64_t x1 = part[1] ^ o.part[1];
        return __builtin_popcountll((x0 | (x0 >> 1)) & lowBits) + __builtin_popcountll((x1 | (x1 >> 1)) & lowBits);
    }
};

// Reads the whole of an open file from its current position: gzip-compressed
// data (one or more members, as gzip and bgzip write) comes back uncompressed,
// anything else exactly as stored. False, with the reason in error, when the
// file cannot be read or its compressed data are damaged or cut short.
bool ReadWholeFile(FILE* file, std::string& text, std::string& error);
// The same, handing the data to sink piece by piece as they are read, so that
// a large file need not be held whole.
bool ReadFileChunks(FILE* file, const std::function<void(const char*, size_t)>& sink, std::string& error);

// One known binding site.
struct PK {
    std::string Seq;
    double Score = 0.0;
    double BGScore = 0.0;
};

// Scores and profile of the set of known sites in use.
struct PKFitness {
    double IC = 0.0;
    double Mismatch = 0.0;
    double LC = 0.0;
    char Cons[MAX_K + 1] = {0};
    double Freq[B][MAX_K] = {};
    double MismatchMatrix[B][MAX_K] = {};
    double CumFreq[MAX_K][5] = {};
    int32_t NumPK = 0;
    double Threshold = 0.0;
    double PKScore = 0.0;
    double PKMax = 0.0;
    double STD = 0.0;
};

class Midlayer {
public:
    // Strand store: forward sequences 0..NumSeq-1, then (both strands) their
    // reverse complements, record NumSeq + i mirroring record i. The forward
    // sequences are records 0 .. NumSeq - 1; they are not kept a second time.
    std::vector<SeqRecord> Seqs;
    std::vector<PK> UsedPK;
    std::vector<PK> FilePK;
    PKFitness PKFit;
    std::vector<std::vector<int>> Candidates;  // per strand, ascending admissible starts
    std::vector<kmer> KmerScores;
    double PosFreq[B][MAX_K] = {};
    double BaseFreq[B] = {};
    std::map<std::string, double> BackFreq;
    std::string SeqFileName;
    std::string PKFileName;
    std::string FreqFileName;
    FILE* SeqFile = nullptr;
    FILE* PKFile = nullptr;
    FILE* FreqFile = nullptr;
    int K = 0;
    int BigK = 0;
    int NumSeq = 0;
    int NumFilePK = 0;
    int NumUsedPK = 0;
    bool DoubleStrand = true;
    bool Filter = true;
    bool PKPre = false;
    int CurPos = 0;
    int CurSeq = 0;
    char CurChar = 'x';
    double FreqInfo[5] = {0.0, 0.0, 0.0, 0.0, 0.0};
    double PKPer = DFLT_PKPER;
    double PerPK = DFLT_PERPK;
    double LowerComp = DFLT_COMP;
    double Omega = 1.0;
    double Delta = DFLT_DELTA;
    double PKQ = DFLT_PKQ;

    // Background words of one to four letters as a flat table, indexed by the
    // words' 2-bit codes (offsets 0, 4, 20, 84 by length); words the file did
    // not list read 0, as they do through BackFreq.
    double BackDense[340] = {};

    Midlayer();
    explicit Midlayer(int k);
    ~Midlayer();
    Midlayer(const Midlayer&) = delete;
    Midlayer& operator=(const Midlayer&) = delete;

    const PK* getPK() const { return UsedPK.data(); }
    int getNumUsedPK() const { return NumUsedPK; }
    PKFitness getPKFit() const { return PKFit; }
    void SetK(int k) { K = k; }
    int GetK() const { return K; }
    int GetBigK() const { return BigK; }
    int GetNumSeq() const { return NumSeq; }
    int GetNumStrands() const { return DoubleStrand ? 2 * NumSeq : NumSeq; }
    double* GetFreqInfo() { return FreqInfo; }
    void SetFreqInfo(const double* values, int n);
    void SetDoubleStrand(bool b) { DoubleStrand = b; }
    bool GetDoubleStrand() const { return DoubleStrand; }
    void SetFilter(bool b) { Filter = b; }
    bool GetFilter() const { return Filter; }
    void setPKPre(bool b) { PKPre = b; }
    bool getPKPre() const { return PKPre; }
    void setPKPer(double v) { PKPer = v; }
    double getPKPer() const { return PKPer; }
    void setPerPK(double v) { PerPK = v; }
    double getPerPK() const { return PerPK; }
    void SetLowerComp(const double& v) { LowerComp = v; }
    double GetLowerComp() const { return LowerComp; }
    void SetOmega(double v) { Omega = v; }
    void SetDelta(double v) { Delta = v; }
    double GetDelta() const { return Delta; }
    void setPKQ(double v) { PKQ = v; }
    static double log2(double x);

    // Files. The open operations end the run when a file cannot be read.
    void OpenSeqFile(const std::string& name);
    void OpenPKFile(const std::string& name);
    void OpenFreqFile(const std::string& name);
    void CloseFiles();
    void ResetFile(FILE* file);

    // Sequences.
    void LoadSeqs();
    static void ValidCheck(char& c);
    static bool noNewLine(char* line);
    static void RevComp(const char* in, char* out);
    static std::string RevComp(const std::string& in);
    static int LookupCode(char c) { uint8_t b = kBaseCode[static_cast<unsigned char>(c)]; return b == BASE_NONE ? -1 : b; }
    // Leaves out sequences shorter than K (with their reverse complements),
    // warning for each; ends the run when none is left.
    void ExcludeShortSeqs();

    // Background model.
    void LoadFreqInfo();
    void BuildDenseBackground();
    // Value of one background word (letters as stored; case does not matter).
    double BackWord(const char* w, int len);
    // Third-order Markov probability of the k letters at w: B(w0) B(w0w1)
    // B(w0w1w2) B(w0..w3) and then every further four-letter window.
    double BackgroundProb(const char* w, int k);
    // The same for k letters given by their codes (kBaseCode, BASE_NONE for N).
    double BackgroundProb(const uint8_t* codes, int k);

    // Known sites.
    void LoadPKInfo();
    // Base shares at each window offset over the forward sequences. With
    // skipInvalid, windows holding a letter other than A, C, G, T are not
    // counted; otherwise such a letter ends the run.
    void ComputePosFreq(bool skipInvalid);
    void ProducePKFitness();
    void CalculatePKFitness();
    double CalculateMismatch(const char* word, int len, PKFitness& fit);
    double LowerComplexity(int k, PKFitness& fit);
    void Consensus(int k, PKFitness& fit);

    // Admissible site positions.
    void Filtering();

private:
    // The whole file, through ReadWholeFile; a file that cannot be read ends the run.
    static std::string ReadAll(FILE* file, const char* what, const std::string& name);
    void OpenFile(const std::string& name, FILE*& handle, std::string& field, const char* what);
};

#endif
