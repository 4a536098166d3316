// How the known motifs tested in the input (-db with -evalue) are reported:
// a section of the result file, the JSON list, the HTML table with logos,
// and the console's best few.
#ifndef QIRO_KNOWNREPORT_H
#define QIRO_KNOWNREPORT_H

#include <ostream>

#include <nlohmann/json.hpp>

#include "judge/Judge.h"

// Rows of the console's table: the best known motifs.
const int kKnownShown = 5;
// Rows of the HTML table at most (each draws a logo); the JSON lists every motif.
const int kKnownHtmlRows = 100;

// The result file's "Known motifs" section: every motif with an E-value at
// most the limit, with its rank, ID, name, E-value, the input and control
// sequences holding a site (counts and shares) and its threshold.
void WriteKnownSection(std::ostream& out, const JudgedReport& report);

// Every motif tested, best first: id, name, pvalue, evalue, log10_evalue,
// input_hits, control_hits (and the sequences they are counted among),
// threshold.
nlohmann::ordered_json KnownMotifsJson(const JudgedReport& report);

// The HTML table of the motifs that pass, each with its logo.
void WriteKnownHtml(std::ostream& out, const JudgedReport& report);

// The console's table of the best kKnownShown motifs tested.
void PrintKnownTable(const JudgedReport& report);

#endif
