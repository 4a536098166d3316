// The run's output files checked before any work: none may be one of the
// run's inputs (an input overwritten is data lost) or another output (the
// last writer would silently win), and each must be writable, so that a bad
// name ends the run at its start rather than after the search.
#ifndef QIRO_OUTPUT_SAFETY_H
#define QIRO_OUTPUT_SAFETY_H

#include <string>

#include "core/Settings.h"

// Whether two names stand for one file however they are written (a relative
// and an absolute path, a symbolic link, a hard link). Names that are not
// regular files, such as /dev/null or a terminal, are never the same: writing
// them loses nothing.
bool SameFile(const std::string& a, const std::string& b);

// Ends the run (status 1, naming both options and the file) when an output
// names an input or two outputs name one file, or when an output cannot be
// written. A result file that cannot be written while the default name can
// is said here and falls back to it at the end, as the report does.
void CheckOutputs(const RunSettings& s);

#endif
