#include "input/GenomeIndex.h"

#include <fcntl.h>
#include <htslib/bgzf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>

namespace {

// A gap between records longer than this is not a line end and a header.
const size_t kLongestGap = 1 << 16;

// Bytes of the genome's text at given offsets: pread on a plain file, the
// block index on a bgzip one.
class TextReader {
public:
    virtual ~TextReader() {}
    // Up to n bytes from offset; fewer at the end of the text. False on a read error.
    virtual bool Read(long long offset, size_t n, std::string& out) = 0;
};

class PlainReader : public TextReader {
public:
    explicit PlainReader(int fd) : fd_(fd) {}
    ~PlainReader() override { close(fd_); }
    bool Read(long long offset, size_t n, std::string& out) override {
        out.resize(n);
        size_t got = 0;
        while (got < n) {
            const ssize_t r = pread(fd_, &out[got], n - got, static_cast<off_t>(offset) + static_cast<off_t>(got));
            if (r < 0) return false;
            if (r == 0) break;
            got += static_cast<size_t>(r);
        }
        out.resize(got);
        return true;
    }

private:
    int fd_;
};

class BgzfReader : public TextReader {
public:
    explicit BgzfReader(BGZF* fp) : fp_(fp) {}
    ~BgzfReader() override { bgzf_close(fp_); }
    bool Read(long long offset, size_t n, std::string& out) override {
        out.resize(n);
        // Past the end of the text the seek fails: nothing is there to read.
        if (bgzf_useek(fp_, offset, SEEK_SET) < 0) {
            out.clear();
            return true;
        }
        const ssize_t r = bgzf_read(fp_, &out[0], n);
        if (r < 0) return false;
        out.resize(static_cast<size_t>(r));
        return true;
    }

private:
    BGZF* fp_;
};

bool IsLetter(char c) { return c != '\n' && c != '\r' && c != '>' && c != ' ' && c != '\t'; }

bool OlderThan(const std::string& a, const struct stat& b) {
    struct stat sa;
    if (stat(a.c_str(), &sa) != 0) return true;
    if (sa.st_mtim.tv_sec != b.st_mtim.tv_sec) return sa.st_mtim.tv_sec < b.st_mtim.tv_sec;
    return sa.st_mtim.tv_nsec < b.st_mtim.tv_nsec;
}

// The first word of a header line ('>' at the start, line end stripped).
std::string HeaderName(const std::string& header) {
    const size_t end = header.find_first_of(" \t\r", 1);
    return header.substr(1, end == std::string::npos ? std::string::npos : end - 1);
}

IndexFit Misfit(const std::string& why, const std::string& dropped = "") {
    IndexFit f;
    f.fits = false;
    f.why = why;
    f.dropped = dropped;
    return f;
}

// Checks the text between two records' letters (or before the first, or
// after the last when `next` is null): blank space, then the next record's
// header line ending just before its first letter.
IndexFit CheckGap(TextReader& text, long long from, long long to, const FaiRecord* next) {
    std::string gap;
    const long long want = next == nullptr ? static_cast<long long>(kLongestGap) : std::min<long long>(to - from, kLongestGap);
    if (!text.Read(from, static_cast<size_t>(want), gap)) return Misfit("the genome cannot be read");
    const size_t header = gap.find_first_not_of(" \t\r\n");
    if (next == nullptr) {
        if (header == std::string::npos && gap.size() < kLongestGap) return IndexFit();
        if (header == std::string::npos || gap[header] != '>') return Misfit("the genome holds letters past its last record");
    } else if (header == std::string::npos || gap[header] != '>') {
        return Misfit("the record " + next->name + " does not start where it says");
    }
    const size_t lineEnd = gap.find('\n', header);
    const std::string name = HeaderName(gap.substr(header, lineEnd == std::string::npos ? std::string::npos : lineEnd - header));
    if (next != nullptr && name == next->name && lineEnd != std::string::npos && from + static_cast<long long>(lineEnd) + 1 == to)
        return IndexFit();
    if (next != nullptr && name == next->name) return Misfit("the record " + next->name + " does not start where it says");
    return Misfit("the genome holds a record " + name + " it lacks", name);
}

}  // namespace

bool ReadFai(const std::string& text, std::vector<FaiRecord>& records, std::string& error) {
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::vector<std::string> f;
        std::istringstream cols(line);
        for (std::string c; std::getline(cols, c, '\t');) f.push_back(c);
        FaiRecord r;
        bool ok = (f.size() == 5 || f.size() == 6) && !f[0].empty();
        for (size_t i = 1; ok && i < f.size(); ++i)
            ok = !f[i].empty() && f[i].size() < 19 && f[i].find_first_not_of("0123456789") == std::string::npos;
        if (ok) {
            r.name = f[0];
            r.length = std::stoll(f[1]);
            r.offset = std::stoll(f[2]);
            r.lineBases = std::stoll(f[3]);
            r.lineWidth = std::stoll(f[4]);
            // A line holds its letters and a line end of one or two bytes.
            ok = r.length == 0 || (r.lineBases > 0 && r.lineWidth > r.lineBases && r.lineWidth <= r.lineBases + 2);
        }
        if (!ok) {
            error = "line " + std::to_string(number) + " is broken";
            return false;
        }
        records.push_back(r);
    }
    if (records.empty()) {
        error = "empty";
        return false;
    }
    return true;
}

IndexFit CheckIndex(const std::string& path, const std::string& fai, const std::string& gzi) {
    struct stat genome;
    if (stat(path.c_str(), &genome) != 0) return Misfit("the genome cannot be read");
    if (OlderThan(fai, genome) || (!gzi.empty() && OlderThan(gzi, genome))) return Misfit("older than it");
    std::ifstream in(fai, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    std::vector<FaiRecord> records;
    std::string error;
    if (!ReadFai(ss.str(), records, error)) return Misfit(error);

    std::unique_ptr<TextReader> text;
    if (gzi.empty()) {
        const int fd = open(path.c_str(), O_RDONLY);
        if (fd < 0) return Misfit("the genome cannot be read");
        text.reset(new PlainReader(fd));
    } else {
        BGZF* fp = bgzf_open(path.c_str(), "r");
        if (fp == nullptr) return Misfit("the genome cannot be read");
        if (bgzf_index_load(fp, gzi.c_str(), nullptr) != 0) {
            bgzf_close(fp);
            return Misfit("its block index " + gzi + " cannot be read");
        }
        text.reset(new BgzfReader(fp));
    }
    std::sort(records.begin(), records.end(), [](const FaiRecord& a, const FaiRecord& b) { return a.offset < b.offset; });
    long long end = 0;  // past the last letter of the record before
    std::string bytes;
    for (const FaiRecord& r : records) {
        IndexFit gap = CheckGap(*text, end, r.offset, &r);
        if (!gap.fits) return gap;
        if (r.length == 0) {
            end = r.offset;
            continue;
        }
        const long long ending = r.lineWidth - r.lineBases;
        const std::string lineEnd = ending == 1 ? "\n" : "\r\n";
        // The first line: its last letter, its line end, the next line's first letter.
        if (r.length > r.lineBases) {
            if (!text->Read(r.offset + r.lineBases - 1, static_cast<size_t>(ending + 2), bytes)) return Misfit("the genome cannot be read");
            if (bytes.size() != static_cast<size_t>(ending + 2) || !IsLetter(bytes[0]) ||
                bytes.compare(1, static_cast<size_t>(ending), lineEnd) != 0 || !IsLetter(bytes.back()))
                return Misfit("the lines of " + r.name + " are not as long as it says");
        }
        // The last letter, where the length puts it, and nothing after it on its line.
        const long long last = r.offset + (r.length - 1) / r.lineBases * r.lineWidth + (r.length - 1) % r.lineBases;
        if (!text->Read(last, 2, bytes)) return Misfit("the genome cannot be read");
        if (bytes.empty() || !IsLetter(bytes[0]) || (bytes.size() == 2 && IsLetter(bytes[1])))
            return Misfit("the record " + r.name + " is not as long as it says");
        end = last + 1;
    }
    return CheckGap(*text, end, 0, nullptr);
}
