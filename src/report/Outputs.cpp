#include "report/Outputs.h"

#include <iostream>

#include "core/Robust.h"
#include "report/BedFormat.h"
#include "report/HtmlFormat.h"
#include "report/JasparFormat.h"
#include "report/JsonFormat.h"
#include "report/MemeFormat.h"
#include "report/ReportedModels.h"

bool WriteOutputs(const RunSettings& s, uint32_t seed, Midlayer* data, const std::vector<Individual>& population,
                  const JudgedReport* judged, const std::vector<ModelView>* views) {
    const OutputFiles& f = s.outputs;
    if (f.meme.empty() && f.jaspar.empty() && f.bed.empty() && f.json.empty() && f.html.empty()) return true;
    const std::vector<ModelView> models = views ? *views : ReportedModels(data, population, judged);
    const RunView run = MakeRunView(s, seed, data, judged);
    // Each file is written beside its name and renamed into place when complete.
    bool all = true;
    auto write = [&](const std::string& name, const char* what, auto writer) {
        if (name.empty()) return;
        WholeFile file;
        bool ok = file.Open(name);
        if (ok) writer(file.stream());
        if (ok) ok = file.Commit();
        if (!ok) std::cout << "Error: Cannot write the " << what << " file named " << name << std::endl;
        all = all && ok;
    };
    write(f.meme, "MEME", [&](std::ostream& o) { WriteMeme(o, models, run.background, run.doubleStrand); });
    write(f.jaspar, "JASPAR", [&](std::ostream& o) { WriteJaspar(o, models); });
    write(f.bed, "BED", [&](std::ostream& o) { WriteBed(o, models); });
    write(f.json, "JSON", [&](std::ostream& o) { WriteJson(o, run, models); });
    write(f.html, "HTML", [&](std::ostream& o) { WriteHtml(o, run, models); });
    return all;
}
