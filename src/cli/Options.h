// The command line: its words, the help text, and the reading of every option
// into the run's settings. A value out of range is repaired to its default
// with a message; a missing input, an unusable -db or a width range without
// -evalue end the run before any work.
#ifndef QIRO_OPTIONS_H
#define QIRO_OPTIONS_H

#include <string>
#include <vector>

#include "core/Settings.h"

// The command line: word i in row i (row 0 the program name), and one empty row
// after the last word, read as the value of an option given last.
extern int arg_C;
extern std::vector<std::string> arg_V;

void HelpMsg();
// Reads rows 1 .. arg_C-1 of arg_V into the settings, repairing bad values.
void ParseOptions(RunSettings& s);

#endif
