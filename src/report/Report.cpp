#include "report/Report.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "core/Console.h"
#include "core/Robust.h"
#include "report/AnnotationViews.h"
#include "report/ModelNaming.h"
#include "report/HtmlParts.h"
#include "report/KnownReport.h"

using std::cout;
using std::endl;

const char kBanner[] =
    "\nQIRO -- Motif discovery by a genetic algorithm with prior knowledge\n\n"
    "\t\t\t by the QIRO developers, 2026\n\n";

void PrintTimeTaken(time_t start) {
    time_t end = time(nullptr);
    char line[64];
    std::snprintf(line, sizeof line, "Time taken: %.2lf seconds.", difftime(end, start));
    Say() << line << "\n";
}

bool ReportRun(RunSettings& s, uint32_t seed, Midlayer* data, std::vector<Individual>* population,
               const JudgedReport* judged, const MotifMatcher* matcher) {
    // Only the new options name and place motifs, so a run without them
    // writes exactly what it always has.
    if (matcher == nullptr && judged == nullptr) {
        const bool written = PrintResults(data, population, s.resultFile);
        return WriteOutputs(s, seed, data, *population) && written;
    }
    std::vector<ModelView> views = ReportedModels(data, *population, judged);
    AnnotateModels(views, matcher, true);
    const bool written = PrintResults(data, population, s.resultFile, judged, &views);
    const bool extras = WriteOutputs(s, seed, data, *population, judged, &views);
    if (matcher != nullptr)
        for (const ModelView& v : views) Say() << "Motif Rank #" << v.rank << ": " << BestMatchLine(v) << endl;
    if (judged != nullptr && !views.empty()) PrintMotifTable(views, matcher != nullptr);
    if (judged != nullptr && judged->knownTested) PrintKnownTable(*judged);
    return written && extras;
}

void PrintMotifTable(const std::vector<ModelView>& views, bool named) {
    std::ostream& say = Say();
    char line[256];
    say << "\nMotifs reported:\n";
    std::snprintf(line, sizeof line, "%-5s %-*s %5s  %-12s %6s%s\n", "rank", kMaxConsensusShown, "consensus", "width",
                  "E-value", "sites", named ? "  best match" : "");
    say << line;
    for (const ModelView& v : views) {
        std::snprintf(line, sizeof line, "%-5d %-*s %5d  %-12s %6d", v.rank, kMaxConsensusShown, v.consensus.c_str(),
                      v.width, v.evalue.c_str(), v.nsites);
        say << line;
        if (named)
            say << "  "
                << (v.named && !v.matches.empty()
                        ? v.matches[0].id + " " + v.matches[0].name + " (E=" + Plain(v.matches[0].eValue) + ")"
                        : std::string("none"));
        say << "\n";
    }
    say.flush();
}

bool PrintResults(Midlayer* data, std::vector<Individual>* population, std::string& fileName,
                  const JudgedReport* judged, const std::vector<ModelView>* views) {
    // The report goes to a temporary file beside the result file and takes its
    // name only when complete: an interrupted run leaves the previous file.
    WholeFile file;
    if (!file.Open(fileName)) {
        cout << "ERROR: Cannot open file named " << fileName << "\n";
        fileName = DFLT_OUT;
        bool opened = file.Open(fileName);
        cout << "Using Default output file \"qiro.out\" instead\n";
        if (!opened) return false;
    }
    std::ostream& out = file.stream();
    out << kBanner;
    out << "\nThe Final Results:\n\n";
    if (judged && !judged->deNovo)
        out << "No motif was sought (-nmotifs 0): only the database's motifs were tested.\n\n";
    else if (judged && population->empty())
        out << "No motif has an E-value at most " << judged->limit << ".\n";
    const size_t n = judged ? population->size() : std::min<size_t>(population->size(), 5);
    std::string letters;
    for (size_t r = 0; r < n; ++r) {
        const Individual& model = (*population)[r];
        const int K = judged ? judged->models[r].width : data->GetK();
        out << "Motif Rank #" << r + 1 << endl;
        out << model;
        if (judged) out << "E-value: " << FormatEvalue(judged->models[r].log10e) << "\n";
        if (judged && judged->models[r].given) out << "Given by the known sites (-pk): reported whatever its E-value.\n";
        if (views && r < views->size() && (*views)[r].named) out << BestMatchLine((*views)[r]) << "\n";
        out << endl;
        out << "\nPosition Frequency Matrix \n\n";
        out << " \t";
        for (int j = 1; j <= K; ++j) out << j << "  ";
        out << "\n\n";
        const bool listForm = !model.Sites.empty();
        const size_t sites = listForm ? model.Sites.size() : model.Genes.size();
        const char* labels[4] = {"A\t", "C\t", "G\t", "T\t"};
        for (int b = 0; b < B; ++b) {
            out << labels[b];
            for (int j = 0; j < K; ++j) {
                out << static_cast<double>(sites) * model.MismatchMatrix[b][j];
                out << (j + 1 < K ? "  " : "\n\n");
            }
        }
        for (size_t i = 0; i < sites; ++i) {
            int strand = listForm ? model.Sites[i].Strand : static_cast<int>(i);
            int p = listForm ? model.Sites[i].Pos : model.Genes[i];
            double score = listForm ? model.Sites[i].Score : model.GeneMismatch[i];
            const SeqRecord& rec = data->Seqs[strand];
            letters = rec.Letters(p, K);
            int begin;
            if (rec.forward) {
                begin = p + 1;
            } else {
                // A site on a reverse strand is reported on the forward sequence.
                begin = rec.len - p - K + 1;
                letters = Midlayer::RevComp(letters);
            }
            int end = begin + K - 1;
            out << ">" << rec.Name() << "\t" << letters << "\t" << (rec.forward ? 1 : 0) << "\t" << begin << "\t" << end
                << "\t" << score << endl;
        }
        out << "###############################################################################\n\n";
    }
    if (judged && judged->knownTested) WriteKnownSection(out, *judged);
    if (file.Commit()) return true;
    cout << "ERROR: Cannot write file named " << fileName << "\n";
    return false;
}
