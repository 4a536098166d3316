#include "report/JasparFormat.h"

#include "report/HtmlParts.h"

namespace {

const char kLetters[] = "ACGT";

}  // namespace

void WriteJaspar(std::ostream& out, const std::vector<ModelView>& models) {
    for (const ModelView& m : models) {
        out << ">" << m.id << "\t" << m.consensus << (m.settled ? "" : " (the matrix that called the sites)") << "\n";
        for (int b = 0; b < 4; ++b) {
            out << kLetters[b] << " [";
            for (int j = 0; j < m.width; ++j) out << " " << Plain(m.counts[b][j]);
            out << " ]\n";
        }
    }
}
