#include "memory_check.h"

#include <cstdio>
#include <stdexcept>

#include "input_recovery.h"
#include "image_map.h"
#include "report_words.h"

memory_check check_in_memory(const std::string& image, const layout_claim& claim)
{
    std::string copy = image;
    FILE* in = copy.empty() ? std::fopen("/dev/null", "rb")
                            : fmemopen(copy.data(), copy.size(), "rb");
    if (!in)
        throw std::runtime_error("cannot open the image in memory");
    memory_check outcome;
    found_layout layout;
    check_sink sink;
    sink.on_layout = [&](const found_layout& l) { layout = l; };
    sink.on_finding = [&](const finding& f) {
        outcome.findings.push_back(describe_finding(f, layout));
        if (is_about_record(f.what))
            outcome.offsets.push_back(f.offset);
    };
    text_map map;
    map.on_run = [&](const map_run& run) {
        outcome.map.push_back(describe_run(run));
        if (!run.outside.empty())
            outcome.map.push_back(describe_outside(run));
    };
    block_gatherer gatherer;
    gatherer.on_block = [&](uint64_t block, const std::string& cells,
                            const std::vector<uint64_t>& outside) {
        map_block(map, block, cells, outside);
    };
    static input_recovery recovery;  // too large for the stack
    recovery = input_recovery{};
    recovery.out = std::tmpfile();  // a regular file, which -o can go back over
    if (!recovery.out)
        throw std::runtime_error("cannot open a file for the recovered input");
    sink.on_page = [&](const checked_page& page) {
        if (!recover_page(recovery, page))
            throw std::runtime_error("cannot recover a page in memory");
        gatherer.file_start = outcome.summary.layout.image_start;
        gather_page(gatherer, page);
    };
    image_checker checker;
    outcome.read_error = check_image(checker, in, claim, sink, outcome.summary);
    std::fclose(in);
    const std::optional<uint64_t> size = outcome.summary.layout.input_size;
    const bool finished = finish_recovery(recovery, outcome.summary) &&
                          put_holes(recovery, outcome.summary.layout.holes, size);
    std::rewind(recovery.out);
    outcome.recovered.clear();
    char buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, recovery.out)) > 0;)
        outcome.recovered.append(buffer, n);
    std::fclose(recovery.out);
    if (!finished)
        throw std::runtime_error("cannot finish the recovered input");
    finish_gathering(gatherer);
    finish_map(map);
    return outcome;
}
