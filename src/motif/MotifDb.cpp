#include "motif/MotifDb.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>

#include "core/FileInput.h"
#include "core/Robust.h"

namespace {

const char* const kLetters = "ACGT";

struct Line {
    int number;  // 1-based
    std::vector<std::string> words;
    std::string text;  // without the line end, leading and trailing blanks
};

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::vector<std::string> Words(const std::string& s) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && Blank(s[i])) ++i;
        size_t j = i;
        while (j < s.size() && !Blank(s[j])) ++j;
        if (j > i) words.push_back(s.substr(i, j - i));
        i = j;
    }
    return words;
}

// The lines of a text, one at a time, so that a large file that is no motif
// database costs no more than its text and is refused at its first bad line.
// A CR before the line end (or anywhere) is a blank.
class LineReader {
public:
    explicit LineReader(const std::string& text) : text_(text) { Read(); }
    // The current line, or null past the last.
    const Line* Peek() const { return done_ ? nullptr : &line_; }
    void Next() { Read(); }

private:
    void Read() {
        if (start_ >= text_.size()) {
            done_ = true;
            return;
        }
        size_t end = text_.find('\n', start_);
        if (end == std::string::npos) end = text_.size();
        size_t a = start_, b = end;
        while (a < b && Blank(text_[a])) ++a;
        while (b > a && Blank(text_[b - 1])) --b;
        line_.number = number_++;
        line_.text.assign(text_, a, b - a);
        line_.words = Words(line_.text);
        start_ = end + 1;
    }

    const std::string& text_;
    size_t start_ = 0;
    int number_ = 1;
    Line line_;
    bool done_ = false;
};

// Whether some line of the text starts (after blanks) with `word`, followed
// by a blank or the line's end when whole is set.
bool SomeLineStartsWith(const std::string& text, const std::string& word, bool whole) {
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        size_t before = at;
        while (before > 0 && Blank(text[before - 1])) --before;
        if (before > 0 && text[before - 1] != '\n') continue;
        const size_t after = at + word.size();
        if (!whole || after == text.size() || Blank(text[after]) || text[after] == '\n') return true;
    }
    return false;
}

// Whether the word is written as a decimal number (sign, digits, point,
// exponent). Words such as "nan", "inf" or "0x10" are not.
bool LooksNumeric(const std::string& w) {
    bool digit = false;
    for (char c : w) {
        if (c >= '0' && c <= '9')
            digit = true;
        else if (c != '.' && c != '-' && c != '+' && c != 'e' && c != 'E')
            return false;
    }
    return digit;
}

// A value of a matrix: a finite number, not negative.
double Value(const std::string& w, int line) {
    char* end = nullptr;
    const double v = LooksNumeric(w) ? std::strtod(w.c_str(), &end) : 0.0;
    if (end == nullptr || *end != '\0' || !std::isfinite(v))
        throw MotifDbError(line, "the value " + w + " is not a number");
    if (v < 0) throw MotifDbError(line, "the value " + w + " is negative");
    return v;
}

bool StartsWith(const std::string& s, const char* prefix) { return s.compare(0, std::string(prefix).size(), prefix) == 0; }

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// "motif X" for messages, or "the motif" when it has no id.
std::string MotifLabel(const std::string& id) { return "motif " + id; }

// Columns to probabilities; a column that sums to 0 has no letter to prefer
// and cannot be read as one. `where` is the line to blame, per column.
void Normalise(MotifColumns& m, const std::string& id, const std::vector<int>& where, bool rows) {
    for (size_t j = 0; j < m.size(); ++j) {
        const double sum = m[j][0] + m[j][1] + m[j][2] + m[j][3];
        if (!(sum > 0.0) || !std::isfinite(sum))
            throw MotifDbError(where[j], std::string(rows ? "row " : "column ") + std::to_string(j + 1) + " of " +
                                             MotifLabel(id) + (sum > 0.0 ? " sums to more than a number can hold"
                                                                           : " sums to 0"));
        for (double& p : m[j]) p /= sum;
    }
}

// ------------------------------------------------------------------ MEME

// The alphabet of an "ALPHABET= ..." or "ALPHABET "name" ..." line; throws
// when it is neither DNA nor RNA. An RNA matrix's columns are A, C, G, U in
// this order, U being T's base, so they are read as A, C, G, T.
void CheckMemeAlphabet(const Line& line) {
    const std::string& t = line.text;
    if (StartsWith(t, "ALPHABET=")) {
        const std::string letters = Upper(t.substr(9));
        const std::vector<std::string> w = Words(letters);
        if (w.size() == 1 && (w[0] == "ACGT" || w[0] == "ACGU")) return;
        throw MotifDbError(line.number, "the alphabet is not DNA or RNA (" + t + "); motifs of A, C, G, T (or U) are needed");
    }
    // A custom alphabet names the standard one it is like; protein columns
    // would be compared as if they were DNA.
    const bool like = t.find("DNA-LIKE") != std::string::npos || t.find("\"DNA\"") != std::string::npos ||
                      t.find("RNA-LIKE") != std::string::npos || t.find("\"RNA\"") != std::string::npos;
    const bool other = t.find("PROTEIN-LIKE") != std::string::npos;
    if (like && !other) return;
    throw MotifDbError(line.number, "the alphabet is not DNA or RNA (" + t + "); motifs of A, C, G, T (or U) are needed");
}

// The value of key= on a matrix header line ("alength= 4 w= 6 ..."), or
// empty; the value may follow the '=' with or without a blank.
std::string KeyValue(const std::vector<std::string>& words, const std::string& key) {
    for (size_t i = 0; i < words.size(); ++i) {
        if (words[i] == key + "=") return i + 1 < words.size() ? words[i + 1] : std::string();
        if (StartsWith(words[i], (key + "=").c_str())) return words[i].substr(key.size() + 1);
    }
    return std::string();
}

// A whole non-negative number for a header key; -1 when absent.
long HeaderNumber(const Line& line, const std::string& key) {
    const std::string v = KeyValue(line.words, key);
    if (v.empty()) return -1;
    char* end = nullptr;
    const double x = LooksNumeric(v) ? std::strtod(v.c_str(), &end) : -1.0;
    if (end == nullptr || *end != '\0' || !(x >= 0) || x != std::floor(x) || x > 1e9)
        throw MotifDbError(line.number, key + "= " + v + " is not a whole number");
    return static_cast<long>(x);
}

bool IsRow(const Line& line) { return !line.words.empty() && LooksNumeric(line.words[0]); }

std::vector<DbMotif> ParseMeme(LineReader& lines, const std::string& file) {
    std::vector<DbMotif> motifs;
    while (const Line* at = lines.Peek()) {
        const Line& line = *at;
        if (StartsWith(line.text, "ALPHABET")) CheckMemeAlphabet(line);
        if (!(line.words.size() > 0 && line.words[0] == "MOTIF")) {
            lines.Next();  // free text, the version, strands, background: nothing to keep
            continue;
        }
        if (line.words.size() < 2) throw MotifDbError(line.number, "a MOTIF line without an identifier");
        DbMotif m;
        m.id = line.words[1];
        for (size_t w = 2; w < line.words.size(); ++w) m.name += (w > 2 ? " " : "") + line.words[w];
        m.file = file;
        m.line = line.number;
        // Up to the matrix: MEME's own output puts other blocks here (a
        // log-odds matrix, a URL), which are skipped.
        lines.Next();
        while (lines.Peek() && !StartsWith(lines.Peek()->text, "letter-probability matrix") &&
               !(lines.Peek()->words.size() > 0 && lines.Peek()->words[0] == "MOTIF"))
            lines.Next();
        if (!lines.Peek() || !StartsWith(lines.Peek()->text, "letter-probability matrix"))
            throw MotifDbError(m.line, MotifLabel(m.id) + " has no letter-probability matrix");
        const Line header = *lines.Peek();
        const long alength = HeaderNumber(header, "alength");
        if (alength >= 0 && alength != 4)
            throw MotifDbError(header.number, "the alphabet is not DNA (alength= " + std::to_string(alength) +
                                                  "; a DNA matrix has 4 letters)");
        const long w = HeaderNumber(header, "w");
        if (w == 0) throw MotifDbError(header.number, MotifLabel(m.id) + " has width 0 (w= 0)");
        lines.Next();
        std::vector<int> where;
        while (lines.Peek() && IsRow(*lines.Peek()) && (w < 0 || static_cast<long>(m.columns.size()) < w)) {
            const Line& row = *lines.Peek();
            if (row.words.size() != 4)
                throw MotifDbError(row.number, "a row of the matrix has " + std::to_string(row.words.size()) +
                                                   " values; a DNA matrix has 4 (A, C, G, T)");
            std::array<double, 4> c;
            for (int b = 0; b < 4; ++b) c[b] = Value(row.words[b], row.number);
            m.columns.push_back(c);
            where.push_back(row.number);
            lines.Next();
        }
        const long rows = static_cast<long>(m.columns.size());
        if (w > 0 && rows < w)
            throw MotifDbError(header.number, "the matrix of " + MotifLabel(m.id) + " has " + std::to_string(rows) +
                                   " rows but w= says " + std::to_string(w));
        if (w > 0 && lines.Peek() && IsRow(*lines.Peek()))
            throw MotifDbError(lines.Peek()->number, "the matrix of " + MotifLabel(m.id) + " has more rows than w= " +
                                                    std::to_string(w) + " says");
        if (rows == 0) throw MotifDbError(header.number, MotifLabel(m.id) + " has no rows (a motif of width 0)");
        Normalise(m.columns, m.id, where, true);
        motifs.push_back(std::move(m));
    }
    return motifs;
}

// ------------------------------------------------------------------ JASPAR

struct JasparMotif {
    DbMotif motif;
    std::vector<double> row[4];
    int rowLine[4] = {0, 0, 0, 0};
    int rows = 0;
};

void FinishJaspar(JasparMotif& j, std::vector<DbMotif>& motifs) {
    DbMotif& m = j.motif;
    if (j.rows < 4)
        throw MotifDbError(m.line, MotifLabel(m.id) + " has " + std::to_string(j.rows) +
                                       " rows; a JASPAR matrix has four (A, C, G, T)");
    const size_t width = j.row[0].size();
    for (int b = 1; b < 4; ++b)
        if (j.row[b].size() != width)
            throw MotifDbError(j.rowLine[b], "the rows of " + MotifLabel(m.id) + " differ in length: " +
                                                 std::string(1, kLetters[0]) + " has " + std::to_string(width) +
                                                 " values, " + std::string(1, kLetters[b]) + " has " +
                                                 std::to_string(j.row[b].size()));
    if (width == 0) throw MotifDbError(m.line, MotifLabel(m.id) + " has no columns (a motif of width 0)");
    m.columns.resize(width);
    for (size_t c = 0; c < width; ++c)
        for (int b = 0; b < 4; ++b) m.columns[c][b] = j.row[b][c];
    Normalise(m.columns, m.id, std::vector<int>(width, m.line), false);
    motifs.push_back(std::move(m));
}

// One row: an optional letter, then numbers, brackets anywhere among them.
void ReadJasparRow(const Line& line, JasparMotif& j) {
    std::string s = line.text;
    for (char& c : s)
        if (c == '[' || c == ']') c = ' ';
    std::vector<std::string> words = Words(s);
    int b = j.rows;  // rows without letters come in the order A, C, G, T
    size_t first = 0;
    if (!words.empty() && !LooksNumeric(words[0])) {
        const std::string letter = Upper(words[0]);
        // An RNA matrix's U row is the T row.
        const char c = letter == "U" ? 'T' : letter.size() == 1 ? letter[0] : '\0';
        const char* at = c != '\0' ? std::strchr(kLetters, c) : nullptr;
        if (at == nullptr)
            throw MotifDbError(line.number, "the row letter " + words[0] +
                                                " is not one of A, C, G, T, U: the alphabet is not DNA or RNA");
        b = static_cast<int>(at - kLetters);
        first = 1;
    }
    if (j.rows >= 4)
        throw MotifDbError(line.number, "a fifth row in " + MotifLabel(j.motif.id) +
                                            "; a JASPAR matrix has four (A, C, G, T)");
    if (j.rowLine[b] != 0)
        throw MotifDbError(line.number, "the row of " + std::string(1, kLetters[b]) + " comes twice in " +
                                            MotifLabel(j.motif.id));
    for (size_t w = first; w < words.size(); ++w) j.row[b].push_back(Value(words[w], line.number));
    j.rowLine[b] = line.number;
    ++j.rows;
}

// The file's name without folders and its last extension, for a matrix with no header.
std::string BaseName(const std::string& file) {
    std::string base = file.substr(file.find_last_of('/') + 1);
    const size_t dot = base.rfind('.');
    if (dot != std::string::npos && dot > 0) base.resize(dot);
    return base.empty() ? file : base;
}

std::vector<DbMotif> ParseJaspar(LineReader& lines, const std::string& file) {
    std::vector<DbMotif> motifs;
    std::unique_ptr<JasparMotif> current;
    for (; lines.Peek(); lines.Next()) {
        const Line& line = *lines.Peek();
        if (line.words.empty()) continue;
        if (line.text[0] == '>') {
            if (current) FinishJaspar(*current, motifs);
            current.reset(new JasparMotif);
            const std::vector<std::string> words = Words(line.text.substr(1));
            if (words.empty()) throw MotifDbError(line.number, "a header (>) without an identifier");
            current->motif.id = words[0];
            for (size_t w = 1; w < words.size(); ++w) current->motif.name += (w > 1 ? " " : "") + words[w];
            current->motif.file = file;
            current->motif.line = line.number;
            continue;
        }
        if (!current) {
            // Only the first line of a file can open a matrix without a header.
            if (!motifs.empty() || !IsRow(line))
                throw MotifDbError(line.number, "expected a header (>ID name) or a row of the matrix");
            current.reset(new JasparMotif);
            current->motif.id = BaseName(file);
            current->motif.file = file;
            current->motif.line = line.number;
        }
        ReadJasparRow(line, *current);
    }
    if (current) FinishJaspar(*current, motifs);
    return motifs;
}

}  // namespace

std::vector<DbMotif> ParseMotifDatabase(const std::string& text, const std::string& file) {
    LineReader lines(text);
    while (lines.Peek() && lines.Peek()->words.empty()) lines.Next();
    const Line* first = lines.Peek();
    const bool meme = SomeLineStartsWith(text, "MEME version", false);
    std::vector<DbMotif> motifs;
    if (meme) {
        motifs = ParseMeme(lines, file);
    } else if (first != nullptr && (first->text[0] == '>' || IsRow(*first))) {
        motifs = ParseJaspar(lines, file);
    } else if (first != nullptr) {
        const bool motifLines = SomeLineStartsWith(text, "MOTIF", true);
        throw MotifDbError(first->number, motifLines ? "MOTIF lines but no line 'MEME version <n>': not MEME motif format"
                                                     : "neither MEME motif format (a line 'MEME version <n>') nor "
                                                       "JASPAR format (a first line '>ID name')");
    }
    if (motifs.empty()) throw MotifDbError(0, "holds no motif");
    return motifs;
}

std::string MotifDbMessage(const std::string& file, const MotifDbError& error) {
    std::string message = "Error: the motif database " + file;
    if (error.line() > 0)
        message += ", line " + std::to_string(error.line()) + ": ";
    else
        message += " ";
    return message + error.what() + ". System aborted. ";
}

std::vector<DbMotif> LoadMotifDatabases(const std::vector<std::string>& files) {
    std::vector<DbMotif> all;
    for (const std::string& file : files) {
        std::string text;
        {
            // Closed on every way out, a fatal end that unwinds included.
            std::unique_ptr<FILE, int (*)(FILE*)> handle(OpenInputFile(file, "Motif database"), std::fclose);
            text = ReadWholeFileOrExit(handle.get(), "Motif database", file);
        }
        try {
            std::vector<DbMotif> motifs = ParseMotifDatabase(text, file);
            for (DbMotif& m : motifs) all.push_back(std::move(m));
        } catch (const MotifDbError& e) {
            std::cout << MotifDbMessage(file, e) << std::endl;
            FatalExit(1);
        }
    }
    return all;
}
