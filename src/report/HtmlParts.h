// Pieces every HTML page of the report is built from: text made safe for
// HTML, numbers as the stream writes them, and sequence logos drawn as SVG.
#ifndef QIRO_HTMLPARTS_H
#define QIRO_HTMLPARTS_H

#include <string>
#include <vector>

// Shared by the HTML writers: text made safe for HTML, a number in the
// stream's default format, and a sequence logo of letter shares share[b][j]
// (labels: a number under each column, 0 for none; empty: 1, 2, ...).
std::string HtmlEscape(const std::string& s);
std::string Plain(double v);
std::string LogoSvg(const std::vector<std::vector<double>>& share, const std::string& orientation,
                    const std::string& title, const std::vector<int>& labels = {});

#endif
