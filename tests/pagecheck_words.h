// pagecheck's command line parsed in-process from words, as main gets them.
#ifndef PAGESMITH_TESTS_PAGECHECK_WORDS_H
#define PAGESMITH_TESTS_PAGECHECK_WORDS_H

#include <getopt.h>

#include <string>
#include <vector>

#include "pagecheck_options.h"

// Parses `words` (the first is the program's name); the options point into
// `words`, which must outlive them.
inline parsed_command parse_words(std::vector<std::string>& words)
{
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    optind = 0;  // makes getopt_long start afresh
    return parse_command_line(static_cast<int>(words.size()), argv.data());
}

#endif
