#include "input/Genome.h"

#include <htslib/bgzf.h>
#include <htslib/faidx.h>
#include <htslib/hts_log.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "input/GenomeIndex.h"

namespace {

// htslib logs its own failures on stderr; every failure here is said once,
// in the run's words, so its log is kept quiet while the index is sought.
class QuietHts {
public:
    QuietHts() : level_(hts_get_log_level()) { hts_set_log_level(HTS_LOG_OFF); }
    ~QuietHts() { hts_set_log_level(level_); }

private:
    enum htsLogLevel level_;
};

std::string FolderOf(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

// Whether an index file can be made beside the genome: its folder writable
// and no unwritable file of that name in the way.
bool CanWriteBeside(const std::string& path) {
    if (access(FolderOf(path).c_str(), W_OK) != 0) return false;
    for (const char* ext : {".fai", ".gzi"}) {
        const std::string f = path + ext;
        if (access(f.c_str(), F_OK) == 0 && access(f.c_str(), W_OK) != 0) return false;
    }
    return true;
}

// The index made in a temporary folder and loaded; the files are removed at
// once, the loaded index (and the bgzip block index) staying in memory.
bool IsBgzip(const std::string& path) {
    BGZF* fp = bgzf_open(path.c_str(), "r");
    if (fp == nullptr) return false;
    const bool bgzip = bgzf_compression(fp) == bgzf;
    bgzf_close(fp);
    return bgzip;
}

// The index made in a temporary folder and loaded; the files are removed at
// once, the loaded index (and the bgzip block index) staying in memory.
// `dropped` gets a record the fresh index lacks, if any.
faidx_t* IndexInTemporaryFolder(const std::string& path, bool bgzip, std::string& dropped) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "qiro-genome-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) return nullptr;
    const std::string fai = tmpl + "/genome.fai", gzi = tmpl + "/genome.gzi";
    faidx_t* f = nullptr;
    if (fai_build3(path.c_str(), fai.c_str(), gzi.c_str()) == 0) {
        f = fai_load3(path.c_str(), fai.c_str(), gzi.c_str(), 0);
        if (f != nullptr) dropped = CheckIndex(path, fai, bgzip ? gzi : "").dropped;
    }
    std::error_code ec;
    std::filesystem::remove_all(tmpl, ec);
    return f;
}

}  // namespace

Genome::Genome() {}

Genome::~Genome() {
    if (fai_ != nullptr) fai_destroy(fai_);
}

bool Genome::Open(const std::string& path, std::string& error, std::string& note) {
    path_ = path;
    FILE* probe = std::fopen(path.c_str(), "rb");
    if (probe == nullptr || std::filesystem::is_directory(path)) {
        if (probe != nullptr) std::fclose(probe);
        error = "it cannot be opened for reading";
        return false;
    }
    std::fclose(probe);
    QuietHts quiet;
    const bool bgzip = IsBgzip(path);
    const std::string fai = path + ".fai", gzi = bgzip ? path + ".gzi" : "";
    const std::string files = bgzip ? fai + " and " + gzi : fai;
    // The index as it stands, when it fits the genome; then one made beside
    // the genome; then one made elsewhere for this run only.
    std::string stale;
    if (access(fai.c_str(), F_OK) == 0 && (!bgzip || access(gzi.c_str(), F_OK) == 0)) {
        const IndexFit fit = CheckIndex(path, fai, gzi);
        if (fit.fits)
            fai_ = fai_load3(path.c_str(), nullptr, nullptr, 0);
        else
            stale = "its index " + files + " did not fit the genome (" + fit.why + "); a fresh one was made";
    }
    std::string dropped;
    if (fai_ == nullptr && CanWriteBeside(path)) {
        if (fai_build3(path.c_str(), nullptr, nullptr) == 0) {
            fai_ = fai_load3(path.c_str(), nullptr, nullptr, 0);
            if (fai_ != nullptr) {
                note = stale.empty() ? "its index was made: " + fai : stale + ": " + files;
                dropped = CheckIndex(path, fai, gzi).dropped;
            }
        }
    }
    if (fai_ == nullptr) {
        fai_ = IndexInTemporaryFolder(path, bgzip, dropped);
        if (fai_ != nullptr)
            note = (stale.empty() ? "its index was made" : stale) + " for this run only (" + FolderOf(path) +
                   " cannot be written)";
    }
    if (fai_ == nullptr) {
        error = "it cannot be indexed: a FASTA file is needed, plain or compressed with bgzip (not plain gzip), "
                "with lines of one length within each record";
        return false;
    }
    const int n = faidx_nseq(fai_);
    for (int i = 0; i < n; ++i) {
        const char* name = faidx_iseq(fai_, i);
        index_.emplace(name, i);
        names_.push_back(name);
        // htslib 1.16 (Debian 12) gives lengths as int: chromosomes up to 2^31 letters.
        lengths_.push_back(static_cast<long long>(faidx_seq_len(fai_, name)));
        total_ += lengths_.back();
    }
    // htslib keeps the first of two records of one name and drops the
    // second without a word: a window could be read from either.
    if (!dropped.empty() && index_.count(dropped) > 0) {
        error = "it holds two records named " + dropped + " (chromosome names must be unique)";
        return false;
    }
    if (n == 0) {
        error = "it holds no FASTA record";
        return false;
    }
    return true;
}

int Genome::Find(const std::string& chrom) const {
    const auto it = index_.find(chrom);
    return it == index_.end() ? -1 : it->second;
}

bool Genome::Fetch(int i, long long from, long long to, std::string& out, long long* rnaLetters) const {
    hts_pos_t len = 0;
    char* letters = faidx_fetch_seq64(fai_, names_[static_cast<size_t>(i)].c_str(), from, to - 1, &len);
    if (letters == nullptr) return false;
    const bool whole = len == to - from;
    if (whole) out.assign(letters, static_cast<size_t>(len));
    std::free(letters);
    // RNA letters read as in any file of sequences: U as T, case kept.
    long long rna = 0;
    for (char& c : out) {
        if (c == 'U' || c == 'u') {
            c = c == 'U' ? 'T' : 't';
            ++rna;
        }
    }
    if (rnaLetters != nullptr) *rnaLetters += rna;
    return whole;
}
