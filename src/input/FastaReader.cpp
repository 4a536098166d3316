#include "input/FastaReader.h"

#include <cctype>
#include <cstring>
#include <utility>

#include "core/FileInput.h"

namespace {

// What a byte of a record's letter lines is: kept as a letter, an RNA U kept
// as T (its base), stored as N, skipped as white space, or the '>' that
// starts the next record.
enum LetterClass : uint8_t { kKeep, kRna, kOther, kBlank, kHeader };

struct LetterTable {
    uint8_t cls[256];
    LetterTable() {
        for (int c = 0; c < 256; ++c) cls[c] = std::isspace(c) ? kBlank : kOther;
        for (char c : std::string("ACGTacgt")) cls[static_cast<unsigned char>(c)] = kKeep;
        cls[static_cast<unsigned char>('U')] = kRna;
        cls[static_cast<unsigned char>('u')] = kRna;
        cls[static_cast<unsigned char>('>')] = kHeader;
    }
};
const LetterTable kLetterTable;

// Splits FASTA text, fed in pieces of any size, into records. A record starts
// at every '>' met outside a header line: its name is the header's first word,
// the rest of the header line is passed over, and its letters are every
// non-blank character up to the next '>' or the end, whatever the line breaks.
// Text before the first '>' belongs to no record.
class FastaSplitter {
public:
    explicit FastaSplitter(std::vector<SeqRecord>& out) : out_(out) {}

    void Feed(const char* p, size_t n) {
        const char* end = p + n;
        while (p < end) {
            switch (state_) {
                case kBefore: {
                    const void* gt = std::memchr(p, '>', static_cast<size_t>(end - p));
                    if (gt == nullptr) return;
                    p = static_cast<const char*>(gt) + 1;
                    Start();
                    break;
                }
                case kName: {
                    char c = *p++;
                    if (c == '\n') {
                        state_ = kLetters;
                    } else if (std::isspace(static_cast<unsigned char>(c))) {
                        state_ = kHeaderRest;
                    } else {
                        name_.push_back(c);
                    }
                    break;
                }
                case kHeaderRest: {
                    const void* nl = std::memchr(p, '\n', static_cast<size_t>(end - p));
                    if (nl == nullptr) return;
                    p = static_cast<const char*>(nl) + 1;
                    state_ = kLetters;
                    break;
                }
                case kLetters: {
                    while (p < end) {
                        const unsigned char c = static_cast<unsigned char>(*p);
                        const uint8_t cls = kLetterTable.cls[c];
                        if (cls == kKeep) {
                            letters_.push_back(static_cast<char>(c));
                        } else if (cls == kRna) {
                            letters_.push_back(c == 'U' ? 'T' : 't');
                            ++rnaLetters_;
                        } else if (cls == kOther) {
                            letters_.push_back('N');
                        } else if (cls == kHeader) {
                            break;
                        }
                        ++p;
                    }
                    if (p < end) {  // a '>': the next record
                        ++p;
                        Close();
                        Start();
                    }
                    break;
                }
            }
        }
    }

    // Letters U and u read so far (kept as T and t).
    long long RnaLetters() const { return rnaLetters_; }

    // Closes the last record, if any.
    void Finish() {
        if (state_ != kBefore) Close();
        state_ = kBefore;
        std::string().swap(letters_);
    }

private:
    enum State { kBefore, kName, kHeaderRest, kLetters };

    void Start() {
        name_.clear();
        letters_.clear();
        state_ = kName;
    }
    void Close() {
        SeqRecord r;
        r.Assign(name_, letters_.data(), letters_.size());  // exactly as long as needed
        out_.push_back(std::move(r));
    }

    std::vector<SeqRecord>& out_;
    State state_ = kBefore;
    std::string name_;
    std::string letters_;  // the record being read; reused, so it grows only to the longest
    long long rnaLetters_ = 0;
};

}  // namespace

bool ReadFastaRecords(FILE* file, std::vector<SeqRecord>& records, std::string& error, long long* rnaLetters) {
    FastaSplitter splitter(records);
    TextCheck text;
    auto feed = [&](const char* piece, size_t n) {
        if (text.Feed(piece, n)) splitter.Feed(piece, n);
    };
    if (!ReadFileChunks(file, feed, error)) return false;
    if (!text.Ok()) {
        error = text.Error();
        return false;
    }
    splitter.Finish();
    if (rnaLetters != nullptr) *rnaLetters = splitter.RnaLetters();
    return true;
}

std::string RnaLettersNote(long long rnaLetters, const std::string& fileName) {
    // The outputs keep the DNA alphabet, whatever the input's: said here, where
    // the user first sees that the file was read as RNA.
    return "RNA letters: " + std::to_string(rnaLetters) + " U or u in " + fileName +
           " read as T or t; motifs and sites are written in DNA letters.";
}
