#include "memory_check.h"

#include <cstdio>
#include <stdexcept>

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
    };
    text_map map;
    map.on_run = [&](const map_run& run) { outcome.map.push_back(describe_run(run)); };
    block_gatherer gatherer;
    gatherer.on_block = [&](uint64_t block, const std::string& cells) {
        map_block(map, block, cells);
    };
    sink.on_page = [&](const checked_page& page) {
        if (page.kind == page_kind::data && page.place == page_place::image)
            outcome.recovered.append(reinterpret_cast<const char*>(page.data), PAGE_DATA_SIZE);
        gather_page(gatherer, page);
    };
    image_checker checker;
    outcome.read_error = check_image(checker, in, claim, sink, outcome.summary);
    std::fclose(in);
    finish_gathering(gatherer);
    finish_map(map);
    return outcome;
}
