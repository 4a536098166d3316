// The words of the command line's vocabulary: which words are options, the
// most words a command line may hold, and the known option nearest to a
// misspelt one, so that a typo is named instead of silently passed over.
#ifndef QIRO_OPTION_WORDS_H
#define QIRO_OPTION_WORDS_H

#include <string>
#include <vector>

// Every option word the parser reads: the option table's (OptionTable.h).
const std::vector<std::string>& OptionWords();

// The most words a command line may hold, the program name included: every
// option with its value, and room to repeat some (-db).
const int kMaxWords = 256;

// Whether a word looks like an option: one or two '-' followed by a letter
// (a value such as -5 or -0.5 does not).
bool LooksLikeOption(const std::string& word);

// The known option closest to a word (fewest letters added, removed or
// changed, case and a doubled leading dash aside; the first in the
// vocabulary's order among equals).
std::string NearestOption(const std::string& word);

// The first word of words[1 ..] that looks like an option and is none, or
// an empty string.
std::string FirstUnknownOption(const std::vector<std::string>& words, int count);

#endif
