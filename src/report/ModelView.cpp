#include "report/ModelView.h"

std::vector<std::vector<double>> ModelView::Probabilities() const {
    std::vector<std::vector<double>> p(4, std::vector<double>(static_cast<size_t>(width), 0.25));
    for (int j = 0; j < width; ++j) {
        double total = 0.0;
        for (int b = 0; b < 4; ++b) total += counts[b][j];
        if (total > 0)
            for (int b = 0; b < 4; ++b) p[b][j] = counts[b][j] / total;
    }
    return p;
}
