// The settings echo: what a run is about to do, on the console before any
// input is read, in the order and words scripts parsing the console expect.
#ifndef QIRO_SETTINGSECHO_H
#define QIRO_SETTINGSECHO_H

#include <cstdint>
#include <string>

#include "core/Settings.h"

// The settings echo on standard output; ends the run when -freq was given
// without a usable file name. Without -freq at all, one line says that the
// background is counted from the input.
void PrintSettings(const RunSettings& s);

// A judged run's short block on the answer's stream (core/Console.h): the
// version and the command line, then the settings that shape its result
// (input, background, controls, widths, motifs sought, masking, seed).
void SayJudgedSettings(const RunSettings& s, const std::string& commandLine, uint32_t seed);

#endif
