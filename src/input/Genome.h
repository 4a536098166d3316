// A genome FASTA (plain or bgzip-compressed) read through htslib's faidx:
// opened with its .fai (and .gzi) index when that fits the genome
// (GenomeIndex.h); when missing or stale, a fresh one is made beside it if the
// folder can be written, otherwise in a temporary folder, loaded and removed
// again, so a read-only genome still opens. Letters come back as stored, lower
// case kept, U and u read as T and t.
#ifndef QIRO_GENOME_H
#define QIRO_GENOME_H

#include <string>
#include <unordered_map>
#include <vector>

struct faidx_t;

class Genome {
public:
    Genome();
    ~Genome();
    Genome(const Genome&) = delete;
    Genome& operator=(const Genome&) = delete;

    // Opens the genome. False, with the reason in error, when it cannot be
    // read or indexed, or names one chromosome twice. `note` says where an
    // index was made, if one was, and why.
    bool Open(const std::string& path, std::string& error, std::string& note);

    const std::string& Path() const { return path_; }
    // Chromosomes in the index's order.
    int Count() const { return static_cast<int>(names_.size()); }
    const std::string& Name(int i) const { return names_[static_cast<size_t>(i)]; }
    long long Length(int i) const { return lengths_[static_cast<size_t>(i)]; }
    // The index of a chromosome, or -1 when the genome lacks it.
    int Find(const std::string& chrom) const;
    long long TotalLength() const { return total_; }

    // Letters [from, to) of chromosome i (0 <= from < to <= Length(i)) into
    // out, as stored but U and u read as T and t (counted into rnaLetters
    // when given). False when they cannot be read.
    bool Fetch(int i, long long from, long long to, std::string& out, long long* rnaLetters = nullptr) const;

private:
    std::string path_;
    faidx_t* fai_ = nullptr;
    std::vector<std::string> names_;
    std::vector<long long> lengths_;
    std::unordered_map<std::string, int> index_;
    long long total_ = 0;
};

#endif
