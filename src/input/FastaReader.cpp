#include "input/FastaReader.h"

#include <cctype>
#include <cstring>
#include <utility>

#include "core/FileInput.h"

namespace {

// What a byte of a record's letter lines is: kept as a letter, stored as N,
// skipped as white space, or the '>' that starts the next record.
enum LetterClass : uint8_t { kKeep, kOther, kBlank, kHeader };

struct LetterTable {
    uint8_t cls[256];
    LetterTable() {
        for (int c = 0; c < 256; ++c) cls[c] = std::isspace(c) ? kBlank : kOther;
        for (char c : std::string("ACGTacgt")) cls[static_cast<unsigned char>(c)] = kKeep;
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
};

}  // namespace

bool ReadFastaRecords(FILE* file, std::vector<SeqRecord>& records, std::string& error) {
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
    return true;
}
