// The judged run (-evalue): searches on part of the input, every width of the
// range, every motif sought; the judge against control sequences; the motifs
// that pass, with their sites above threshold, handed back for the report.
#ifndef QIRO_EVALUERUN_H
#define QIRO_EVALUERUN_H

#include <cstdint>
#include <memory>
#include <vector>

#include "core/Settings.h"
#include "input/Midlayer.h"
#include "judge/Judge.h"
#include "search/GAFrame.h"
#include "search/Individual.h"

class MotifMatcher;

// The whole judged run after the inputs are loaded (data holds every input
// sequence, masked, with the background): controls, searches and judge, and
// the reported models called on every input sequence. On return the
// population holds the reported models and data the whole input again; the
// caller writes the report from them and the judge's account returned.
// With matcher (-db) the database's motifs are tested in the input too.
JudgedReport DiscoverWithEvalues(RunSettings& s, uint32_t seed, Midlayer* data, std::unique_ptr<GAFrame>& engine,
                                 std::vector<Individual>* population, const MotifMatcher* matcher = nullptr);

#endif
