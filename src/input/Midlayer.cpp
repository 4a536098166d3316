#include "input/Midlayer.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <utility>

#include "core/Console.h"
#include "core/Robust.h"
#include "input/FreqTool.h"

using std::cout;
using std::endl;

Midlayer::Midlayer() {}

Midlayer::Midlayer(int k) : K(k) {}

Midlayer::~Midlayer() {}

void Midlayer::SetFreqInfo(const double* values, int n) {
    for (int i = 0; i < n; ++i) FreqInfo[i] = values[i];
    FreqInfo[n] = 0.0;
}

double Midlayer::log2(double x) { return ScoreLog2(x); }

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
    long long rna = 0;
    if (!ReadFastaRecords(SeqFile, records, error, &rna)) FileReadFailed("Sequence", SeqFileName, error);
    std::fclose(SeqFile);
    SeqFile = nullptr;

    NumSeq = static_cast<int>(records.size());
    cout << "Number of input Sequences: " << NumSeq << endl;
    if (rna > 0) Say() << RnaLettersNote(rna, SeqFileName) << endl;  // the answer: how the file was read

    BigK = 0;
    Seqs.clear();
    Seqs.reserve(both ? 2 * records.size() : records.size());
    for (SeqRecord& r : records) {
        BigK += r.len;
        Seqs.push_back(std::move(r));
    }
    std::vector<SeqRecord>().swap(records);
    CurSeq = 0;
    // Marked on the forward strands before the reverse ones are made: those share the marks.
    if (Masking.Active()) {
        MaskedLetters = MaskSequences(Seqs, NumSeq, Masking);
        cout << "Masked letters: " << MaskedLetters << " of " << BigK << endl;
    }
    if (both) AddReverseStrands(Seqs, NumSeq);
}

void Midlayer::LoadPeaks(const std::string& peakFile, const std::string& genomeFile, int size) {
    SeqFileName = peakFile;
    PeakGenome.reset(new Genome());
    std::string error, note;
    // The genome first: the peaks are checked against its chromosomes.
    if (!PeakGenome->Open(genomeFile, error, note)) {
        cout << "Error: the genome " << genomeFile << " cannot be read or indexed: " << error << ". System aborted. "
             << endl;
        FatalExit(1);
    }
    if (!note.empty()) cout << "The genome " << genomeFile << ": " << note << "." << endl;
    FILE* file = OpenInputFile(peakFile, "Peak");
    const std::string text = ReadAll(file, "Peak", peakFile);
    std::fclose(file);
    std::vector<Peak> peaks;
    if (!ReadPeaks(text, peaks, error) || !PlacePeaks(peaks, *PeakGenome, size, Peaks, error)) {
        cout << "Error: the peak file " << peakFile << ", " << error << ". System aborted. " << endl;
        FatalExit(1);
    }
    if (Peaks.duplicates > 0)
        cout << "Warning: " << Peaks.duplicates << (Peaks.duplicates == 1 ? " peak repeats" : " peaks repeat")
             << " an earlier one (the first on line " << Peaks.firstDuplicate << " of " << peakFile
             << "); each is kept once." << endl;
    const std::vector<GenomeWindow>& windows = Peaks.windows;
    if (windows.empty()) {
        cout << "Error: the peak file " << peakFile << " holds no peak (a line of chromosome, start and end). System aborted. "
             << endl;
        FatalExit(1);
    }
    // Read in the genome's order, so that neighbouring windows share what
    // the index has just read (bgzip blocks), then kept in the file's order.
    std::vector<size_t> order(windows.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return std::make_pair(windows[a].chrom, windows[a].from) < std::make_pair(windows[b].chrom, windows[b].from);
    });
    Seqs.clear();
    Seqs.reserve(DoubleStrand ? 2 * windows.size() : windows.size());
    Seqs.resize(windows.size());
    std::string letters;
    BigK = 0;
    long long rna = 0;
    size_t firstUnknown = windows.size();  // the first window (in file order) holding a letter other than A, C, G, T
    long long unknown = 0;
    for (size_t i : order) {
        const GenomeWindow& w = windows[i];
        if (!PeakGenome->Fetch(w.chrom, w.from, w.to, letters, &rna)) {
            cout << "Error: the genome " << genomeFile << " cannot be read at " << WindowName(*PeakGenome, w)
                 << ". System aborted. " << endl;
            FatalExit(1);
        }
        if (w.minus) letters = ReverseComplement(letters);
        Seqs[i].Assign(WindowName(*PeakGenome, w), letters.data(), letters.size());
        const long long n = std::count(Seqs[i].code.begin(), Seqs[i].code.end(), BASE_NONE);
        if (n > 0 && i < firstUnknown) firstUnknown = i;
        unknown += n;
        BigK += Seqs[i].len;
    }
    NumSeq = static_cast<int>(Seqs.size());
    cout << "Peaks: " << NumSeq << " of " << peakFile << ", ";
    if (size == 0)
        cout << "each kept whole";
    else
        cout << "windows of " << size << " letters centred on " << (Peaks.summits == NumSeq ? "the summit"
                                                                    : Peaks.summits == 0 ? "the peak's middle"
                                                                    : "the summit (the middle where none is given)");
    cout << "; " << Peaks.cutShort << " cut short by a chromosome's end." << endl;
    if (Peaks.merged > 0)
        cout << "Peaks called with several summits: " << Peaks.merged
             << (Peaks.merged == 1 ? " window overlapped" : " windows overlapped")
             << " another window of the same peak and " << (Peaks.merged == 1 ? "was" : "were")
             << " joined to it (their union is searched once)." << endl;
    if (rna > 0) cout << RnaLettersNote(rna, genomeFile) << endl;
    if (unknown > 0 && !Masking.Active()) {
        // Read as in any file of sequences: N (and any other letter) is read
        // as N, and the windows holding one are left out rather than scored.
        Masking.unknown = true;
        cout << "Note: the peak windows hold " << unknown << (unknown == 1 ? " letter" : " letters")
             << " other than A, C, G, T (the first in " << Seqs[firstUnknown].Name() << ", line "
             << Peaks.lines[firstUnknown] << " of " << peakFile << "), read as N; no window holding one is searched."
             << endl;
    }
    cout << "Number of input Sequences: " << NumSeq << endl;
    CurSeq = 0;
    if (Masking.Active()) {
        MaskedLetters = MaskSequences(Seqs, NumSeq, Masking);
        cout << "Masked letters: " << MaskedLetters << " of " << BigK << endl;
    }
    if (DoubleStrand) AddReverseStrands(Seqs, NumSeq);
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
    if (static_cast<int>(keep.size()) != NumSeq) {
        KeepSequences(Seqs, NumSeq, keep);
        NumSeq = static_cast<int>(keep.size());
        BigK = 0;
        for (int s = 0; s < NumSeq; ++s) BigK += Seqs[s].len;
    }
    if (Masking.Active()) ExcludeMaskedSeqs();
}

void Midlayer::ExcludeMaskedSeqs() {
    std::vector<int> keep;
    for (int s = 0; s < NumSeq; ++s)
        if (HasOpenWindow(Seqs[s], K)) keep.push_back(s);
    const int dropped = NumSeq - static_cast<int>(keep.size());
    if (dropped == 0) return;
    if (keep.empty()) {
        cout << "Error: every window of " << K << " letters in " << SeqFileName
             << " holds a masked letter (-mask, -dust); no sequence is left to search. System aborted. " << endl;
        FatalExit(1);
    }
    cout << "Warning: " << dropped << " of " << NumSeq << " sequences have no window of " << K
         << " letters free of masked letters; they are left out of the search." << endl;
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

void Midlayer::CountBackground() {
    const std::string text = CountedBackground(Seqs, NumSeq, DoubleStrand);
    ReadFreqRecords(text, kCountedBackground, BackFreq, BaseFreq);
    SetFreqInfo(BaseFreq, 4);
    BuildDenseBackground();
}

void Midlayer::BuildDenseBackground() { BuildDenseTable(BackFreq, BackDense); }

// ---------------------------------------------------------------- known sites

void Midlayer::LoadPKInfo() {
    ResetFile(PKFile);
    std::string text = ReadAll(PKFile, "Pre-knowledge", PKFileName);
    std::fclose(PKFile);
    PKFile = nullptr;

    if (LooksLikeMatrixFile(text)) {
        // A matrix: the width is its width, the known sites are drawn from it.
        const DbMotif motif = KnownMotif(text, PKFileName, PKMatrixId);
        const int width = static_cast<int>(motif.columns.size());
        if (width < MIN_K || width > MAX_K) {
            cout << "Error: the motif " << motif.id << " of " << PKFileName << " is " << width
                 << " columns wide; a known motif takes " << MIN_K << " to " << MAX_K << ". System aborted. " << endl;
            FatalExit(1);
        }
        FilePK.clear();
        for (const std::string& site : SitesFromMatrix(motif, kMatrixSites, PKSeed)) {
            PK pk;
            pk.Seq = site;
            FilePK.push_back(pk);
        }
        K = width;
        cout << "Known sites: " << FilePK.size() << " drawn from the matrix " << motif.id
             << (motif.name.empty() ? "" : " " + motif.name) << " of " << PKFileName << ", " << K << " letters wide."
             << endl;
    } else {
        if (!PKMatrixId.empty()) {
            cout << "Error: -pk " << PKFileName << ":" << PKMatrixId << " names a motif, but " << PKFileName
                 << " is a file of known sites, not of motif matrices. System aborted. " << endl;
            FatalExit(1);
        }
        FilePK = ReadSiteFile(text, PKFileName, K);
    }
    NumFilePK = static_cast<int>(FilePK.size());
    int used = static_cast<int>(NumFilePK * PerPK);
    if (used < 1) used = 1;
    int noise = static_cast<int>(used * PKQ);

    // The width is known now: sequences too short for one site take no part.
    ExcludeShortSeqs();

    UsedPK = ChooseSites(FilePK, used, noise, Seqs, NumSeq, K);
    NumUsedPK = used + noise;

    ComputePosFreq(false);
}

void Midlayer::UseKnownSites(const std::vector<std::string>& sites) {
    FilePK.clear();
    for (const std::string& site : sites) {
        PK pk;
        pk.Seq = site;
        FilePK.push_back(pk);
    }
    NumFilePK = static_cast<int>(FilePK.size());
    K = FilePK.empty() ? K : static_cast<int>(FilePK[0].Seq.size());
    ExcludeShortSeqs();
    UsedPK = ChooseSites(FilePK, NumFilePK, 0, Seqs, NumSeq, K);
    NumUsedPK = NumFilePK;
    ComputePosFreq(false);
}

void Midlayer::ComputePosFreq(bool skipInvalid) { PositionShares(Seqs, NumSeq, K, skipInvalid, PosFreq); }

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

void Midlayer::CalculatePKFitness() { ScoreSites(Scorer(), BaseFreq, K, UsedPK, NumUsedPK, PKFit); }

double Midlayer::CalculateMismatch(const char* word, int len, PKFitness& fit) {
    return Scorer().Mismatch(word, len, fit);
}

double Midlayer::LowerComplexity(int k, PKFitness& fit) { return SiteLowerComplexity(k, fit); }

void Midlayer::Consensus(int k, PKFitness& fit) { SiteConsensus(k, fit); }

// ---------------------------------------------------------------- filter

void Midlayer::Filtering() {
    FilterWindows(Scorer(), Seqs, GetNumStrands(), K, Omega, Filter && PKPre, PKFit, Candidates, KmerScores);
}
