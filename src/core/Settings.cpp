#include "core/Settings.h"

std::string* OutputFiles::Named(const std::string& word) {
    if (word == "-meme") return &meme;
    if (word == "-jaspar") return &jaspar;
    if (word == "-bed") return &bed;
    if (word == "-json") return &json;
    if (word == "-html") return &html;
    return nullptr;
}
