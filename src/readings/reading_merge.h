// Several readings of one chip combined into one image, record by record,
// each from where its image starts: a sector that one reading gives sound
// repairs the others, and three or more vote bit by bit where none does.
#ifndef PAGESMITH_READING_MERGE_H
#define PAGESMITH_READING_MERGE_H

#include <cstdio>
#include <functional>
#include <vector>

#include "byte_channel.h"
#include "findings.h"
#include "sector_vote.h"

// One reading, read in large pieces.
struct reading_source {
    const char* name = nullptr;  // as the report names it
    FILE* in = nullptr;          // unbuffered
    std::vector<uint8_t> bytes;  // read and not yet taken, from `used` to `end`
    size_t used = 0;
    size_t end = 0;
    bool ended = false;          // the file has no more
};

// Where a merge failed: the errno value, and the file (null: the output).
struct merge_failure {
    int error = 0;
    const char* name = nullptr;
};

// Combines the readings (at most MAX_READINGS) into `out`, from where each
// image starts; fills `results` (one per reading) and hands each finding
// about the readings to `on_finding`.
merge_failure merge_readings(std::vector<reading_source>& readings, byte_channel& out,
                             std::vector<reading_summary>& results,
                             const std::function<void(const finding&)>& on_finding);

// Combines the readings `files` (named `names`) into a new temporary file,
// which it returns read from its start; results and findings as
// merge_readings.  Null on a failure, which `failure` names (a null name:
// the temporary file).
FILE* combine_readings(const std::vector<const char*>& names, const std::vector<FILE*>& files,
                       std::vector<reading_summary>& results,
                       const std::function<void(const finding&)>& on_finding,
                       merge_failure& failure);

#endif
