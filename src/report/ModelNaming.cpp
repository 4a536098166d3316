#include "report/ModelNaming.h"

#include <stdexcept>

namespace {

MotifColumns ColumnsOf(const ModelView& m) {
    const std::vector<std::vector<double>> p = m.Probabilities();
    MotifColumns cols(static_cast<size_t>(m.width));
    for (int j = 0; j < m.width; ++j)
        for (int b = 0; b < 4; ++b) cols[j][b] = p[b][j];
    return cols;
}

}  // namespace

void AnnotateModels(std::vector<ModelView>& models, const MotifMatcher* matcher, bool place) {
    for (ModelView& m : models) {
        if (matcher != nullptr) {
            m.named = true;
            m.matches.clear();
            m.matchColumns.clear();
            try {
                m.matches = matcher->BestMatches(ColumnsOf(m));
            } catch (const std::invalid_argument&) {
                // A model the matcher cannot take (no columns) has no name.
            }
            for (const MotifMatch& match : m.matches) {
                const MotifColumns& cols = matcher->motif(static_cast<size_t>(match.index)).columns;
                m.matchColumns.push_back(match.reverse ? ReverseComplement(cols) : cols);
            }
        }
        if (place) {
            std::vector<SitePlace> places;
            places.reserve(m.sites.size());
            for (const SiteView& v : m.sites) places.push_back({v.length, v.start});
            m.positions = PlaceSites(places, m.width);
            m.placed = true;
        }
    }
}
