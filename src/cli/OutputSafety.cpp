#include "cli/OutputSafety.h"

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <utility>
#include <vector>

#include "core/Robust.h"
#include "input/KnownMatrix.h"

using std::cout;
using std::endl;

namespace {

// A file named by an option: the option's word and the name.
using Named = std::pair<std::string, std::string>;

std::vector<Named> Inputs(const RunSettings& s) {
    std::vector<Named> in;
    if (!s.peaksFile.empty()) {
        in.emplace_back("-peaks", s.peaksFile);
        in.emplace_back("-genome", s.genomeFile);
        // The genome's index is read with it and made again when it is stale.
        in.emplace_back("-genome index", s.genomeFile + ".fai");
        in.emplace_back("-genome index", s.genomeFile + ".gzi");
    } else if (!s.inputFile.empty()) {
        in.emplace_back("-i", s.inputFile);
    }
    if (s.freqFlag) in.emplace_back("-freq", s.freqFile);
    if (s.pkFlag) {
        std::string file, id;
        SplitMatrixPath(s.pkFile, file, id);
        in.emplace_back("-pk", file);
    }
    if (!s.negFile.empty()) in.emplace_back("-neg", s.negFile);
    for (const std::string& db : s.dbFiles) in.emplace_back("-db", db);
    return in;
}

std::vector<Named> Outputs(const RunSettings& s) {
    std::vector<Named> out = {{"-o", s.resultFile}};
    const Named extras[] = {{"-meme", s.outputs.meme}, {"-jaspar", s.outputs.jaspar}, {"-bed", s.outputs.bed},
                            {"-json", s.outputs.json}, {"-html", s.outputs.html}};
    for (const Named& e : extras)
        if (!e.second.empty()) out.push_back(e);
    return out;
}

void Refuse(const std::string& text) {
    cout << "Error: " << text << ". System aborted. " << endl;
    FatalExit(1);
}

// Every output the run will write, checked before the sequences are read, so
// that a name that cannot be written ends the run at once instead of after
// the search.
void CheckWritable(const RunSettings& s) {
    if (!CanWrite(s.resultFile)) {
        if (!CanWrite(DFLT_OUT)) {
            cout << "ERROR: Cannot open file named " << s.resultFile << "\n";
            cout << "Error: neither the result file nor the default \"" << DFLT_OUT
                 << "\" can be written here. System aborted. " << endl;
            FatalExit(1);
        }
        cout << "Warning: the result file " << s.resultFile << " cannot be written"
             << (std::filesystem::is_directory(s.resultFile) ? " (it is a folder)" : "") << "; the result goes to \""
             << DFLT_OUT << "\" instead." << endl;
    }
    const std::pair<const char*, const std::string*> extras[] = {
        {"MEME", &s.outputs.meme}, {"JASPAR", &s.outputs.jaspar}, {"BED", &s.outputs.bed},
        {"JSON", &s.outputs.json}, {"HTML", &s.outputs.html}};
    for (const auto& e : extras) {
        if (e.second->empty() || CanWrite(*e.second)) continue;
        cout << "Error: Cannot write the " << e.first << " file named " << *e.second << ". System aborted. " << endl;
        FatalExit(1);
    }
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    const bool hasA = stat(a.c_str(), &sa) == 0, hasB = stat(b.c_str(), &sb) == 0;
    if (hasA && hasB) return S_ISREG(sa.st_mode) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    if (hasA || hasB) return false;
    // Neither exists yet: the same path once written out in full.
    std::error_code e1, e2;
    const std::filesystem::path pa = std::filesystem::weakly_canonical(std::filesystem::absolute(a), e1);
    const std::filesystem::path pb = std::filesystem::weakly_canonical(std::filesystem::absolute(b), e2);
    return !e1 && !e2 && pa == pb;
}

void CheckOutputs(const RunSettings& s) {
    const std::vector<Named> inputs = Inputs(s), outputs = Outputs(s);
    for (const Named& o : outputs)
        for (const Named& i : inputs)
            if (SameFile(o.second, i.second))
                Refuse(o.first + " names " + o.second + ", the " + i.first + " file: the run would overwrite its input");
    for (size_t a = 0; a < outputs.size(); ++a)
        for (size_t b = a + 1; b < outputs.size(); ++b)
            if (SameFile(outputs[a].second, outputs[b].second))
                Refuse(outputs[a].first + " and " + outputs[b].first + " both name " + outputs[b].second +
                       ": one output would overwrite the other");
    CheckWritable(s);
}
