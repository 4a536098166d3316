// The one description of every option: the word, how -h shows it (its
// defaults printed from the constants), and the longer reference text that
// the man page and docs/reference/options.md are made from (make docs), so
// that the three cannot drift apart. The parser's vocabulary is its words.
#ifndef QIRO_OPTION_TABLE_H
#define QIRO_OPTION_TABLE_H

#include <string>
#include <vector>

struct OptionDoc {
    std::string word;        // "-k"
    std::string usageValue;  // the value as -h names it ("<kmer>"); empty: none
    std::string help;        // -h's text after the option's column
    std::string after;       // what -h prints after the line (a blank line, an example)
    std::string value;       // the value as the reference names it ("width"); empty: none
    std::string reference;   // the reference's description; paragraphs split by a blank line
    bool required = false;   // shown without brackets
};

// Every option, in the order -h lists them.
const std::vector<OptionDoc>& OptionTable();

// The usage text (-h) made from the table.
std::string UsageText();

#endif
