#include "report/HtmlParts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

// A number in the stream's default format: six significant digits, no trailing zeros.
std::string Plain(double v) {
    std::ostringstream o;
    o << v;
    return o.str();
}

std::string HtmlEscape(const std::string& s) {
    std::string r;
    for (char c : s) {
        switch (c) {
            case '&': r += "&amp;"; break;
            case '<': r += "&lt;"; break;
            case '>': r += "&gt;"; break;
            case '"': r += "&quot;"; break;
            case '\'': r += "&#39;"; break;
            default: r += c;
        }
    }
    return r;
}

namespace {

const char kLetters[] = "ACGT";

// Letter outlines in a 100 x 100 box (y downwards), filled in the letter's colour.
const char* GlyphShape(int b) {
    switch (b) {
        case 0:  // A: two legs and a bar, the triangle above the bar left open
            return "<path fill-rule=\"evenodd\" d=\"M0 100 L38 0 L62 0 L100 100 L78 100 L69 75 L31 75 L22 100 Z "
                   "M37 57 L63 57 L50 21 Z\"/>";
        case 1:  // C: a ring open to the right
            return "<path d=\"M88.3 17.9 A50 50 0 1 0 88.3 82.1 L72.6 72.6 A32 32 0 1 1 72.6 27.4 Z\"/>";
        case 2:  // G: a ring open to the upper right, with a bar
            return "<path d=\"M88.3 17.9 A50 50 0 1 0 100 50 L82 50 A32 32 0 1 1 72.6 27.4 Z\"/>"
                   "<rect x=\"52\" y=\"50\" width=\"48\" height=\"14\"/>";
        default:  // T
            return "<path d=\"M0 0 L100 0 L100 18 L59 18 L59 100 L41 100 L41 18 L0 18 Z\"/>";
    }
}

const char* kColour[4] = {"#109648", "#255c99", "#f7b32b", "#d62839"};

}  // namespace

// A sequence logo: per column, the letters stacked by share x information
// content (2 bits less the column's entropy), the largest on top.
std::string LogoSvg(const std::vector<std::vector<double>>& share, const std::string& orientation,
                    const std::string& title, const std::vector<int>& labels) {
    const int width = static_cast<int>(share.empty() ? 0 : share[0].size());
    const double colW = 28.0, left = 44.0, top = 10.0, plot = 120.0;  // plot: height of 2 bits
    const double totalW = left + colW * width + 10.0, totalH = top + plot + 30.0;
    std::ostringstream o;
    char num[256];
    std::snprintf(num, sizeof num, "%.0f", totalW);
    o << "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"logo\" data-orientation=\"" << orientation
      << "\" width=\"" << num << "\" height=\"" << totalH << "\" viewBox=\"0 0 " << num << " " << totalH
      << "\" role=\"img\" aria-label=\"" << HtmlEscape(title) << "\">\n";
    o << "<title>" << HtmlEscape(title) << "</title>\n";
    // Axis: 0, 1 and 2 bits.
    o << "<g class=\"axis\" stroke=\"#444\" fill=\"none\"><line x1=\"" << left - 4 << "\" y1=\"" << top << "\" x2=\""
      << left - 4 << "\" y2=\"" << top + plot << "\"/>";
    for (int bit = 0; bit <= 2; ++bit) {
        double y = top + plot - bit * plot / 2;
        o << "<line x1=\"" << left - 9 << "\" y1=\"" << y << "\" x2=\"" << left - 4 << "\" y2=\"" << y << "\"/>";
    }
    o << "</g>\n<g class=\"labels\" font-family=\"sans-serif\" font-size=\"11\" fill=\"#444\">";
    for (int bit = 0; bit <= 2; ++bit)
        o << "<text x=\"" << left - 12 << "\" y=\"" << top + plot - bit * plot / 2 + 4 << "\" text-anchor=\"end\">"
          << bit << "</text>";
    o << "<text transform=\"translate(12 " << top + plot / 2 << ") rotate(-90)\" text-anchor=\"middle\">bits</text>";
    for (int j = 0; j < width; ++j) {
        const int label = labels.empty() ? j + 1 : labels[j];
        if (label == 0) continue;
        o << "<text x=\"" << left + colW * j + colW / 2 << "\" y=\"" << top + plot + 16
          << "\" text-anchor=\"middle\">" << label << "</text>";
    }
    o << "</g>\n";
    for (int j = 0; j < width; ++j) {
        double h = 0.0;
        for (int b = 0; b < 4; ++b)
            if (share[b][j] > 0) h -= share[b][j] * std::log2(share[b][j]);
        const double ic = std::max(0.0, 2.0 - h);
        int order[4] = {0, 1, 2, 3};
        // Smallest at the bottom; of equal shares the earlier letter lower.
        std::stable_sort(order, order + 4, [&](int a, int b) { return share[a][j] < share[b][j]; });
        double y = top + plot;
        o << "<g class=\"column\" data-column=\"" << j + 1 << "\">";
        for (int b : order) {
            const double height = share[b][j] * ic * plot / 2;
            if (height < 0.05) continue;
            y -= height;
            std::snprintf(num, sizeof num, "translate(%.3f %.3f) scale(%.4f %.5f)", left + colW * j + 1, y,
                          (colW - 2) / 100.0, height / 100.0);
            o << "<g class=\"glyph\" data-letter=\"" << kLetters[b] << "\" fill=\"" << kColour[b]
              << "\" transform=\"" << num << "\">" << GlyphShape(b) << "</g>";
        }
        o << "</g>\n";
    }
    o << "</svg>";
    return o.str();
}
