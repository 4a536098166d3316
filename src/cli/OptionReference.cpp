#include "cli/OptionReference.h"

#include <cctype>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <vector>

#include "cli/OptionTable.h"

const char kManBegin[] = ".\\\" The option entries below are made from src/cli/OptionTable.cpp by make docs.";
const char kManEnd[] = ".\\\" End of the option entries.";

namespace {

std::vector<std::string> Paragraphs(const std::string& text) {
    std::vector<std::string> out;
    size_t from = 0;
    while (from <= text.size()) {
        size_t to = text.find("\n\n", from);
        if (to == std::string::npos) to = text.size();
        out.push_back(text.substr(from, to - from));
        from = to + 2;
    }
    return out;
}

std::set<std::string> Words() {
    std::set<std::string> words;
    for (const OptionDoc& o : OptionTable()) words.insert(o.word);
    return words;
}

// Plain text as roff: backslashes and minus signs escaped, the option words
// in bold, and no line starting as a request would.
std::string Roff(const std::string& text) {
    static const std::set<std::string> words = Words();
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool wordStart = c == '-' && (i == 0 || !(std::isalnum(static_cast<unsigned char>(text[i - 1])) ||
                                                         text[i - 1] == '-'));
        if (wordStart) {
            size_t j = i + 1;
            while (j < text.size() && std::isalnum(static_cast<unsigned char>(text[j]))) ++j;
            const std::string w = text.substr(i, j - i);
            if (words.count(w) && (j == text.size() || !std::isalnum(static_cast<unsigned char>(text[j])))) {
                out += "\\fB\\-" + w.substr(1) + "\\fR";
                i = j - 1;
                continue;
            }
        }
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    std::string safe;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && (line[0] == '.' || line[0] == '\'')) safe += "\\&";
        safe += line + "\n";
    }
    return safe;
}

std::string Markdown(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '|' ? std::string("\\|") : std::string(1, c);
    return out;
}

}  // namespace

std::string ManOptions() {
    std::string out;
    for (const OptionDoc& o : OptionTable()) {
        out += ".TP\n";
        if (o.value.empty() || o.value == "T/F")
            out += ".B \\-" + o.word.substr(1) + (o.value.empty() ? "" : " " + o.value) + "\n";
        else
            out += ".BI \\-" + o.word.substr(1) + " \" " + o.value + "\"\n";
        const std::vector<std::string> paragraphs = Paragraphs(o.reference);
        for (size_t p = 0; p < paragraphs.size(); ++p) out += (p ? ".IP\n" : "") + Roff(paragraphs[p]);
    }
    return out;
}

std::string MarkdownOptions() {
    std::string out =
        "# Options\n\n"
        "Every option of `qiro`, as `qiro -h` and `man qiro` list them; this page, the man page and the\n"
        "usage text are all made from one table in `src/cli/OptionTable.cpp` (`make docs`), and a test fails\n"
        "when they differ. Every option is one word followed by its value, if it takes one; a value\n"
        "starting with `-` is not a value, and a flag `T/F` is false only for the word `F`. An unknown\n"
        "option is refused, naming the nearest known one.\n\n"
        "| option | what it does |\n|---|---|\n";
    for (const OptionDoc& o : OptionTable()) {
        std::string text = o.reference;
        for (size_t at = text.find("\n\n"); at != std::string::npos; at = text.find("\n\n", at))
            text.replace(at, 2, "<br><br>");
        out += "| `" + o.word + (o.value.empty() ? "" : " " + o.value) + "` | " + Markdown(text) + " |\n";
    }
    return out;
}

bool ReplaceBetweenMarkers(std::string& page, const std::string& begin, const std::string& end,
                           const std::string& between) {
    const size_t b = page.find(begin + "\n");
    if (b == std::string::npos) return false;
    const size_t from = b + begin.size() + 1;
    const size_t e = page.find(end + "\n", from);
    if (e == std::string::npos) return false;
    page.replace(from, e - from, between);
    return true;
}

namespace {

bool ReadText(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return true;
}

}  // namespace

int DocsMain(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (argc != 3 || (mode != "write" && mode != "check")) {
        std::cerr << "usage: qiro-docs write|check <source folder>" << std::endl;
        return 2;
    }
    const std::string src = argv[2];
    const std::string manPath = src + "/man/qiro.1", mdPath = src + "/docs/reference/options.md";
    std::string man, md;
    if (!ReadText(manPath, man)) {
        std::cerr << "qiro-docs: cannot read " << manPath << std::endl;
        return 1;
    }
    std::string madeMan = man;
    if (!ReplaceBetweenMarkers(madeMan, kManBegin, kManEnd, ManOptions())) {
        std::cerr << "qiro-docs: " << manPath << " lacks the marker lines of the option entries" << std::endl;
        return 1;
    }
    const std::string madeMd = MarkdownOptions();
    if (mode == "write") {
        std::ofstream(manPath, std::ios::binary) << madeMan;
        std::ofstream(mdPath, std::ios::binary) << madeMd;
        return 0;
    }
    int status = 0;
    if (madeMan != man) {
        std::cerr << "qiro-docs: the option entries of " << manPath << " differ from the option table" << std::endl;
        status = 1;
    }
    if (!ReadText(mdPath, md) || madeMd != md) {
        std::cerr << "qiro-docs: " << mdPath << " differs from the option table" << std::endl;
        status = 1;
    }
    if (status != 0) std::cerr << "qiro-docs: run make docs, then review and commit the files" << std::endl;
    return status;
}
