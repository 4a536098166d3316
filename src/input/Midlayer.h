// The sequence data layer: the owner of every input of a run (strands,
// background model, known sites and their scores) and of the admissible site
// positions. The work on each is done in its own room (the headers below);
// Midlayer holds the data and calls them.
#ifndef QIRO_MIDLAYER_H
#define QIRO_MIDLAYER_H

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/Constants.h"
#include "core/FileInput.h"
#include "input/Background.h"
#include "input/FastaReader.h"
#include "input/Genome.h"
#include "input/KnownMatrix.h"
#include "input/KnownSites.h"
#include "input/Masking.h"
#include "input/PeakFile.h"
#include "input/Sequences.h"
#include "input/Site.h"

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
    std::string PKMatrixId;  // -pk FILE:ID: the motif of a matrix file
    uint32_t PKSeed = 0;     // the run's seed, for the sites drawn from a -pk matrix
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
    // Letters no site may hold (-mask, -dust), marked as the sequences load.
    MaskSettings Masking;
    size_t MaskedLetters = 0;
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
    // -peaks/-genome: the genome the input was cut from and where its peaks
    // lie, for controls drawn elsewhere in it; empty for a FASTA input.
    std::unique_ptr<Genome> PeakGenome;
    PeakWindows Peaks;

    // Background words of one to four letters as a flat table, indexed by the
    // words' 2-bit codes (offsets 0, 4, 20, 84 by length); words the file did
    // not list read 0, as they do through BackFreq.
    double BackDense[kDenseWords] = {};

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
    void SetMasking(const MaskSettings& m) { Masking = m; }
    // A -pk matrix file's motif (empty: the file's only one) and the seed the
    // sites drawn from it take their numbers from.
    void SetKnownMatrix(const std::string& id, uint32_t seed) {
        PKMatrixId = id;
        PKSeed = seed;
    }
    const MaskSettings& GetMasking() const { return Masking; }
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
    // The input cut from a genome instead of read from a FASTA file: one
    // sequence per peak of peakFile (PeakFile.h), named "chrom:from-to",
    // letters as the genome stores them, masked and stranded as LoadSeqs
    // does. A peak file or genome that cannot be used ends the run with a
    // message naming the file (and the line).
    void LoadPeaks(const std::string& peakFile, const std::string& genomeFile, int size);
    static void ValidCheck(char& c);
    static bool noNewLine(char* line);
    static void RevComp(const char* in, char* out);
    static std::string RevComp(const std::string& in);
    static int LookupCode(char c) { return LetterCode(c); }
    // Leaves out sequences shorter than K (with their reverse complements),
    // warning for each; ends the run when none is left.
    void ExcludeShortSeqs();
    // With masking: leaves out sequences without a window of K letters free
    // of masked letters, with a warning that counts them; ends the run when
    // none is left.
    void ExcludeMaskedSeqs();

    // Background model.
    void LoadFreqInfo();
    // Without -freq: the background counted from the loaded sequences, after
    // masking, as qiro-freq would count them (FreqTool.h).
    void CountBackground();
    void BuildDenseBackground();
    // Value of one background word (letters as stored; case does not matter).
    double BackWord(const char* w, int len) { return Background().Word(w, len); }
    // Third-order Markov probability of the k letters at w: B(w0) B(w0w1)
    // B(w0w1w2) B(w0..w3) and then every further four-letter window.
    double BackgroundProb(const char* w, int k) { return Background().Prob(w, k); }
    // The same for k letters given by their codes (kBaseCode, BASE_NONE for N).
    double BackgroundProb(const uint8_t* codes, int k) { return Background().Prob(codes, k); }
    // The background tables as the probabilities read them.
    BackgroundTables Background() const { return BackgroundTables{BackFreq, BackDense}; }

    // Known sites.
    void LoadPKInfo();
    // Known sites given in memory (upper-case letters, all of one width, at
    // least one) in place of a file: as LoadPKInfo with every site used, in
    // order, and no noise sites. For starting points found by the run itself.
    void UseKnownSites(const std::vector<std::string>& sites);
    // Base shares at each window offset over the forward sequences. With
    // skipInvalid, windows holding a letter other than A, C, G, T are not
    // counted; otherwise such a letter ends the run.
    void ComputePosFreq(bool skipInvalid);
    // The background and positional shares, as scoring against known sites reads them.
    SiteScorer Scorer() const { return SiteScorer{Background(), PosFreq}; }
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
