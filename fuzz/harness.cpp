#include "harness.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/Options.h"
#include "cli/SettingsEcho.h"
#include "input/Genome.h"
#include "input/Midlayer.h"
#include "input/PeakFile.h"
#include "judge/Controls.h"
#include "known/DbMatch.h"
#include "motif/MotifDb.h"

namespace fuzzharness {

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

void WriteFile(const std::string& path, const void* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    Check(f != nullptr);
    if (size > 0) Check(std::fwrite(data, 1, size, f) == size);
    Check(std::fclose(f) == 0);
}

void WriteFile(const std::string& path, const std::string& text) { WriteFile(path, text.data(), text.size()); }

// A complete background: every word of one to four letters, single letters
// 0.25 and every conditional probability 0.25.
std::string FlatBackground() {
    std::string text;
    const char* L = "ACGT";
    int index = 0;
    for (int len = 1; len <= 4; ++len) {
        for (int code = 0; code < (1 << (2 * len)); ++code) {
            std::string w(len, 'A');
            for (int p = 0; p < len; ++p) w[p] = L[(code >> (2 * (len - 1 - p))) & 3];
            text += std::to_string(len == 1 ? code : index) + " " + w + " 0.25\n";
            ++index;
        }
    }
    return text;
}

// Sequences for the prior-knowledge input: mixed case, lengths 7 to 70, so
// that sites of any width up to 38 find windows and short sequences drop out.
const char kSequences[] =
    ">a first\nACGTTGCAACGTAGCTAGCTAGGATCGATCGTAGCTAGCTAGCATCGATCGATGCATGCTAGCTAGCATCG\n"
    ">b\nttgacaGATCGATCGTAGCTAGGCTAGCTAGCATCGATGCATCGAT\n"
    ">c\nACGTACGTAC\n"
    ">d short\nGGCCAAT\n";

// The genome of the peak input: chrA of 200 letters in lines of 60, lower
// case and N in places; chrB of 50.
const char kGenome[] =
    ">chrA first\nACGTTGCAACGTAGCTAGCTAGGATCGATCGTAGCTAGCTAGCATCGATCGATGCATGCTAG\n"
    "ctagcatcgaNNNNtcgatgcatcgatACGTTGCAACGTAGCTAGCTAGGATCGATCGTAGC\n"
    "TAGCTAGCATCGATCGATGCATGCTAGCTAGCATCGATCGATGCATCGATACGTTGCAACGT\n"
    "AGCTAGCTAGGATCGATCGT\n"
    ">chrB\nGGCCAATTGGCCAATTGGCCAATTGGCCAATTGGCCAATTGGCCAATTGG\n";

// A scratch folder for the files of one process, removed at its end.
struct Scratch {
    std::string dir;
    Scratch() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qiro-fuzz-XXXXXX").string();
        Check(mkdtemp(pattern.data()) != nullptr);
        dir = pattern;
        WriteFile(path("flat.freq"), FlatBackground());
        WriteFile(path("seqs.fa"), std::string(kSequences));
        WriteFile(path("genome.fa"), std::string(kGenome));
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::string path(const char* name) const { return dir + "/" + name; }
};

const Scratch& TheScratch() {
    static Scratch scratch;
    return scratch;
}

// Admissible positions: one ascending, non-empty list per strand, every start
// leaving room for a whole window.
void CheckCandidates(const Midlayer& m) {
    const int strands = m.GetNumStrands();
    Check(static_cast<int>(m.Candidates.size()) == strands);
    for (int g = 0; g < strands; ++g) {
        const std::vector<int>& list = m.Candidates[g];
        Check(!list.empty());
        for (size_t i = 0; i < list.size(); ++i) {
            Check(list[i] >= 0 && list[i] + m.GetK() <= m.Seqs[g].len);
            if (i > 0) Check(list[i - 1] < list[i]);
        }
    }
}

// The strand store as loading leaves it.
void CheckStrands(const Midlayer& m, bool both) {
    const int n = m.GetNumSeq();
    Check(n >= 0);
    Check(m.Seqs.size() == static_cast<size_t>(both ? 2 * n : n));
    long letters = 0;
    for (int s = 0; s < n; ++s) {
        const SeqRecord& r = m.Seqs[s];
        Check(r.forward);
        Check(r.len == static_cast<int>(r.code.size()));
        Check(r.shared->packed.size() == r.code.size() / 32 + 2);
        Check(r.shared->lower.empty() || r.shared->lower.size() == r.code.size() / 64 + 1);
        for (int i = 0; i < r.len; ++i) {
            const char c = r.Letter(i);
            Check(std::string("ACGTacgtN").find(c) != std::string::npos);
            Check((r.code[static_cast<size_t>(i)] == BASE_NONE) == (c == 'N'));
        }
        for (char c : r.Name()) Check(c != '\n' && c != ' ' && c != '\t' && c != '\r');
        letters += r.len;
        if (both) {
            const SeqRecord& rc = m.Seqs[n + s];
            Check(!rc.forward);
            Check(rc.Name() == r.Name());
            Check(rc.len == r.len);
            Check(rc.Text() == Midlayer::RevComp(r.Text()));
        }
    }
    Check(letters == m.GetBigK());
}

}  // namespace

void FastaInput(const uint8_t* data, size_t size) {
    const Scratch& scratch = TheScratch();
    const std::string file = scratch.path("input.fa");
    WriteFile(file, data, size);
    const bool both = (size / 37) % 2 == 0;
    const int k = MIN_K + static_cast<int>(size % (MAX_K - MIN_K + 1));

    Midlayer m;
    m.SetDoubleStrand(both);
    m.OpenSeqFile(file);
    m.LoadSeqs();
    CheckStrands(m, both);

    m.SetK(k);
    m.ExcludeShortSeqs();
    Check(m.GetNumSeq() > 0);
    for (const SeqRecord& r : m.Seqs) Check(r.len >= k);
    CheckStrands(m, both);
    m.ComputePosFreq(true);

    m.OpenFreqFile(scratch.path("flat.freq"));
    m.LoadFreqInfo();
    m.setPKPre(false);
    m.SetFilter(false);
    m.Filtering();
    CheckCandidates(m);
}

void FreqInput(const uint8_t* data, size_t size) {
    const Scratch& scratch = TheScratch();
    const std::string file = scratch.path("input.freq");
    WriteFile(file, data, size);

    Midlayer m;
    m.OpenFreqFile(file);
    m.LoadFreqInfo();
    for (int b = 0; b < B; ++b) Check(m.GetFreqInfo()[b] > 0.0 && m.GetFreqInfo()[b] <= 1.0);
    Check(m.GetFreqInfo()[B] == 0.0);
    const char* words[] = {"A", "AC", "ACG", "acgt", "ACGTACGTAC", "TTNGA", "GATTACAGATTACA"};
    for (const char* w : words) {
        const int len = static_cast<int>(std::string(w).size());
        const double p = m.BackgroundProb(w, len);
        Check(p >= 0.0 && p <= 1.0);
    }
}

void PKInput(const uint8_t* data, size_t size) {
    const Scratch& scratch = TheScratch();
    const std::string file = scratch.path("input.pk");
    WriteFile(file, data, size);
    const double shares[3] = {1.0, 0.5, 0.1};
    const double noise[3] = {0.0, 0.5, 1.0};

    SeedRandom(1);
    Midlayer m;
    m.SetDoubleStrand(true);
    m.OpenSeqFile(scratch.path("seqs.fa"));
    m.LoadSeqs();
    m.OpenFreqFile(scratch.path("flat.freq"));
    m.LoadFreqInfo();
    m.OpenPKFile(file);
    m.setPerPK(shares[size % 3]);
    m.setPKQ(noise[(size / 3) % 3]);
    m.LoadPKInfo();

    const int k = m.GetK();
    Check(k > 0 && k <= 39);  // a line is read in pieces of at most 39 characters
    Check(m.NumFilePK == static_cast<int>(m.FilePK.size()) && m.NumFilePK > 0);
    for (const PK& site : m.FilePK) Check(static_cast<int>(site.Seq.size()) == k);
    Check(m.getNumUsedPK() == static_cast<int>(m.UsedPK.size()) && m.getNumUsedPK() > 0);
    for (const PK& site : m.UsedPK) Check(static_cast<int>(site.Seq.size()) == k);
    CheckStrands(m, true);
    for (const SeqRecord& r : m.Seqs) Check(r.len >= k);

    m.ProducePKFitness();
    m.setPKPre(true);
    m.SetFilter(true);
    m.Filtering();
    CheckCandidates(m);
}

void OptionsInput(const uint8_t* data, size_t size) {
    std::vector<std::string> words;
    std::string word;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            words.push_back(word);
            word.clear();
        } else {
            word.push_back(static_cast<char>(data[i]));
        }
    }
    if (size > 0) words.push_back(word);
    if (words.size() > 37) words.resize(37);

    arg_C = static_cast<int>(words.size()) + 1;
    arg_V.assign(static_cast<size_t>(arg_C) + 1, std::string());
    arg_V[0] = "qiro";
    for (size_t i = 0; i < words.size(); ++i) arg_V[i + 1] = words[i];

    RunSettings s;
    ParseOptions(s);
    Check(s.k >= MIN_K && s.k <= MAX_K);
    Check(s.numSites != 0 && s.generations != 0 && s.population != 0);
    Check(s.threads >= 0);
    for (float rate : {s.replacement, s.winner, s.pkPer, s.pkq, s.perPK}) Check(!(rate > 1.0f || rate < 0.0f));
    Check(!(s.lowerComp > 10.0f || s.lowerComp < 0.0f));
    Check(!(s.delta >= 10.0f || s.delta <= 0.0f));
    if (s.inputFlag) {
        Check(!s.inputFile.empty() && s.inputFile[0] != '-');
        PrintSettings(s);
        // Past the echo, -freq named a usable file or was not given at all.
        Check(s.freqFlag ? !s.freqFile.empty() && s.freqFile[0] != '-' : !s.freqAsked);
    }
}

namespace {

// What naming a query against the database gave: every motif once, by
// p-value, each alignment within the two motifs and its score within the overlap.
void CheckMatches(const MotifMatcher& matcher, const MotifColumns& query, const std::vector<MotifMatch>& matches) {
    const size_t n = matcher.size();
    Check(matches.size() == n);
    std::vector<bool> seen(n, false);
    const int wq = static_cast<int>(query.size());
    for (size_t i = 0; i < n; ++i) {
        const MotifMatch& m = matches[i];
        Check(m.index >= 0 && static_cast<size_t>(m.index) < n && !seen[static_cast<size_t>(m.index)]);
        seen[static_cast<size_t>(m.index)] = true;
        Check(m.pValue > 0.0 && m.pValue <= 1.0);
        Check(std::fabs(m.eValue - m.pValue * static_cast<double>(n)) <= 1e-12 * m.eValue);
        if (i > 0) Check(matches[i - 1].pValue <= m.pValue);
        const int wd = static_cast<int>(matcher.motif(static_cast<size_t>(m.index)).columns.size());
        const int need = std::max(1, std::min({kMatchMinOverlap, wq, wd}));
        Check(m.offset >= need - wd && m.offset <= wq - need);
        Check(m.overlap == std::min(wq, m.offset + wd) - std::max(0, m.offset) && m.overlap >= need);
        Check(std::fabs(m.score) <= m.overlap + 1e-9);
    }
}

}  // namespace

void DbInput(const uint8_t* data, size_t size) {
    const Scratch& scratch = TheScratch();
    const std::string file = scratch.path("input.db");
    WriteFile(file, data, size);

    const std::vector<DbMotif> db = LoadMotifDatabases({file});
    Check(!db.empty());
    for (const DbMotif& m : db) {
        Check(!m.id.empty() && m.file == file && m.line >= 1 && !m.columns.empty());
        for (char c : m.id) Check(c != ' ' && c != '\t' && c != '\n' && c != '\r');
        for (const auto& column : m.columns) {
            double sum = 0.0;
            for (double p : column) {
                Check(p >= 0.0 && p <= 1.0);
                sum += p;
            }
            Check(std::fabs(sum - 1.0) < 1e-9);
        }
    }
    const MotifMatcher matcher(db);
    const std::string consensus = "TTGACGCAATGC";
    MotifColumns query(consensus.size(), {0.1, 0.1, 0.1, 0.1});
    for (size_t j = 0; j < query.size(); ++j) query[j][std::string("ACGT").find(consensus[j])] = 0.7;
    CheckMatches(matcher, query, matcher.Match(query));
    if (db[0].columns.size() <= static_cast<size_t>(kMatchMaxQueryWidth))
        CheckMatches(matcher, db[0].columns, matcher.Match(db[0].columns));
}

void NegInput(const uint8_t* data, size_t size) {
    const Scratch& scratch = TheScratch();
    const std::string file = scratch.path("neg.fa");
    WriteFile(file, data, size);
    Midlayer input;
    input.SetDoubleStrand(false);
    input.OpenSeqFile(scratch.path("seqs.fa"));
    input.LoadSeqs();
    const std::vector<SeqRecord> records(input.Seqs.begin(), input.Seqs.begin() + input.NumSeq);
    MaskSettings masking;
    masking.softMask = size % 2 == 0;
    masking.dust = size % 3 == 0 ? 20.0 : 0.0;
    const int width = MIN_K + static_cast<int>(size % 9);
    const std::vector<SeqRecord> controls = LoadControls(file, records, 1, masking, width);
    Check(!controls.empty());
    bool scannable = false;
    for (const SeqRecord& r : controls) {
        Check(r.forward);
        Check(static_cast<int>(r.code.size()) >= r.len);
        scannable = scannable || HasScannableWindow(r, width);
    }
    Check(scannable);
    // Cut or not, the controls hold the letters of the file's records, in order.
    Midlayer neg;
    neg.SetDoubleStrand(false);
    neg.OpenSeqFile(file);
    neg.LoadSeqs();
    std::string before, after;
    for (int s = 0; s < neg.NumSeq; ++s) before += neg.Seqs[static_cast<size_t>(s)].Text();
    for (const SeqRecord& r : controls) after += r.Text();
    Check(before == after);
}

void PeakInput(const uint8_t* data, size_t size) {
    const Scratch& scratch = TheScratch();
    static Genome genome;
    static bool opened = false;
    if (!opened) {
        std::string error, note;
        Check(genome.Open(scratch.path("genome.fa"), error, note));
        opened = true;
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<Peak> peaks;
    std::string error;
    if (!ReadPeaks(text, peaks, error)) {
        Check(error.compare(0, 5, "line ") == 0);
        return;
    }
    int line = 0;
    for (const Peak& p : peaks) {
        Check(p.line > line);
        line = p.line;
        Check(p.start >= 0 && p.end > p.start);
        Check(p.summit >= -1 && p.summit < p.end - p.start);
        Check(p.strand == '+' || p.strand == '-' || p.strand == '.');
    }
    const int sizes[4] = {0, 1, 20, 101};
    const int windowSize = sizes[size % 4];
    PeakWindows w;
    if (!PlacePeaks(peaks, genome, windowSize, w, error)) {
        Check(error.compare(0, 5, "line ") == 0);
        return;
    }
    Check(w.windows.size() == w.lines.size());
    Check(w.windows.size() + static_cast<size_t>(w.duplicates + w.merged) == peaks.size());
    Check(w.summits >= 0 && w.summits <= static_cast<int>(w.windows.size()));
    std::string letters;
    for (size_t i = 0; i < w.windows.size(); ++i) {
        const GenomeWindow& g = w.windows[i];
        Check(g.chrom >= 0 && g.chrom < genome.Count());
        Check(g.from >= 0 && g.from < g.to && g.to <= genome.Length(g.chrom));
        Check(w.Overlaps(g.chrom, g.from, g.to));
        Check(genome.Fetch(g.chrom, g.from, g.to, letters) && static_cast<long long>(letters.size()) == g.to - g.from);
        const Peak* peak = nullptr;
        for (const Peak& p : peaks) if (p.line == w.lines[i]) peak = &p;
        Check(peak != nullptr && genome.Find(peak->chrom) == g.chrom && g.minus == (peak->strand == '-'));
        // No window overlaps another of its own peak: those are joined.
        for (size_t j = 0; j < i; ++j) {
            const Peak* other = nullptr;
            for (const Peak& p : peaks) if (p.line == w.lines[j]) other = &p;
            const GenomeWindow& h = w.windows[j];
            const bool samePeak = other->chrom == peak->chrom && other->start == peak->start &&
                                  other->end == peak->end && other->strand == peak->strand;
            Check(!samePeak || h.to <= g.from || g.to <= h.from);
        }
    }
    for (const auto& stretches : w.covered)
        for (size_t k = 0; k < stretches.size(); ++k) {
            Check(stretches[k].first < stretches[k].second);
            if (k > 0) Check(stretches[k - 1].second < stretches[k].first);
        }
}

}  // namespace fuzzharness
