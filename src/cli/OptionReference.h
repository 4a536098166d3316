// The option table (OptionTable.h) written out as the man page's OPTIONS
// entries and as docs/reference/options.md, and those files checked against
// it: the reference is made from the table, never written by hand.
#ifndef QIRO_OPTION_REFERENCE_H
#define QIRO_OPTION_REFERENCE_H

#include <string>

// The man page's option entries (.TP paragraphs), one per option.
std::string ManOptions();
// docs/reference/options.md, whole.
std::string MarkdownOptions();

// The page with the text between its two marker lines (kept) replaced by
// `between`. False when the page lacks a marker.
bool ReplaceBetweenMarkers(std::string& page, const std::string& begin, const std::string& end,
                           const std::string& between);

// qiro-docs: "write <source folder>" makes the man page's option entries
// and docs/reference/options.md from the table; "check <source folder>"
// fails (status 1, naming the file) when either differs from it.
int DocsMain(int argc, char** argv);

// The man page's marker lines.
extern const char kManBegin[];
extern const char kManEnd[];

#endif
