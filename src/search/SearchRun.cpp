#include "search/SearchRun.h"

#include <sys/sysinfo.h>

#include <cmath>
#include <iostream>
#include <thread>

#include "core/Robust.h"
#include "core/Settings.h"
#include "search/ProgressLine.h"

using std::cout;
using std::endl;

int DefaultThreads() {
    unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(n < 64 ? n : 64);
}

// A population's members alone take one start and one score per strand each.
void CheckPopulationFits(int population, int strands) {
    struct sysinfo si;
    if (population <= 0 || sysinfo(&si) != 0) return;
    const double unit = static_cast<double>(si.mem_unit);
    const double machine = (static_cast<double>(si.totalram) + static_cast<double>(si.totalswap)) * unit;
    const double member =
        static_cast<double>(sizeof(Individual)) + strands * static_cast<double>(sizeof(int) + sizeof(double));
    const double need = static_cast<double>(population) * member;
    if (need <= machine) return;
    const double gb = 1024.0 * 1024.0 * 1024.0;
    cout << "Error: a population of " << population << " models needs at least "
         << static_cast<long long>(std::ceil(need / gb)) << " GB of memory, more than this machine has ("
         << static_cast<long long>(machine / gb) << " GB). Please choose a smaller population (-p). System aborted. "
         << endl;
    FatalExit(1);
}

void SearchAndRefine(RunSettings& s, Midlayer* data, GAFrame* engine, std::vector<Individual>* population,
                     const std::vector<std::string>* seeds) {
    // 9. Known sites fix the width; without them the width comes from -k.
    bool pkUsed = false;
    if (seeds) {
        data->PKFit = PKFitness();  // a search of its own: the sites are scored afresh
        data->setPerPK(1.0);
        data->setPKQ(0.0);
        data->UseKnownSites(*seeds);
        data->ProducePKFitness();
        data->setPKPre(true);
        data->setPKPer(s.pkPer);
        data->SetFilter(s.filter);
        pkUsed = true;
    } else if (s.pkFlag && s.perPK != 0) {
        std::string file, id;
        SplitMatrixPath(s.pkFile, file, id);
        data->OpenPKFile(file);
        data->setPerPK(s.perPK);
        data->setPKQ(s.pkq);
        data->LoadPKInfo();
        data->ProducePKFitness();
        data->setPKPre(true);
        data->setPKPer(s.pkPer);
        data->SetFilter(s.filter);
        pkUsed = true;
    } else {
        cout << "No Pre-knowledge information. Filtering operation is skipped.\n";
        s.filter = false;
        data->SetFilter(false);
        data->setPKPre(false);
        data->SetK(s.k);
        data->ExcludeShortSeqs();
        data->ComputePosFreq(true);
    }

    // 10. Admissible site positions.
    cout << "\n\nStart the Filtering...\n";
    data->Filtering();
    std::vector<kmer>().swap(data->KmerScores);  // the window scores served the filter only
    cout << "\nFinish filtering...\n";

    // 11. Search parameters.
    int k = data->GetK();
    double pkPer = data->getPKPer();
    double replacement = s.replacement;
    double winner = s.winner;
    engine->setParameters(s.population, s.generations, replacement, winner, pkPer, k);
    engine->Threads = s.threads > 0 ? s.threads : DefaultThreads();
    const int budget = engine->getIteration();
    CheckPopulationFits(engine->getPopulation(), data->GetNumStrands());

    // 12. First population.
    cout << "Start GA:\n\n" << "Initialization.\n";
    population->clear();
    engine->Initialization(pkUsed, data, population);
    cout << "Finish Initialization.\n";

    // 13. Generations, until the budget is spent or the best mismatch has not
    // changed for 100 generations (the start value 0 counts as a previous best).
    int remaining = budget;
    double best = 0.0;
    int stall = 0;
    int run = 0;
    ProgressLine progress;  // on standard error, only when it is a terminal
    while (remaining != 0) {
        engine->GeneticOperation(data, population);
        StableSortModels(*population);
        const double m = population->at(0).getMismatch();
        if (m == best) {
            ++stall;
        } else {
            best = m;
            stall = 0;
        }
        ++run;
        --remaining;
        if (stall == s.stallLimit) remaining = 0;
        progress.Update(run, budget, best, stall);
    }
    progress.Finish();
    // The children's alignments are of no use to post-processing, which needs
    // the memory more.
    engine->AlignCache.Release();
    // 14.
    cout << "Finish the GA process after " << run << " generations. \n\n\n";

    // 15. Merging, refinement and ranking.
    if (s.post) {
        engine->PostProcessing(data, population, s.numSites);
        cout << "Finish the Post Processing.\n";
    } else {
        cout << "Post Processing is skipped.\n";
    }

}
