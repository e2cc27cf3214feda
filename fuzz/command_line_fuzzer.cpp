// Arbitrary argument vectors (NUL-separated) through the grammar, the work directory's
// normalisation and the debug form.
#include <cstdint>
#include <string>
#include <vector>

#include "args/arguments.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> words{"quvane"};
    std::string word;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            words.push_back(std::move(word));
            word.clear();
        } else {
            word.push_back(static_cast<char>(data[i]));
        }
    }
    words.push_back(std::move(word));
    std::vector<const char*> argv;
    for (const auto& w : words)
        argv.push_back(w.c_str());

    const auto outcome = quvane::args::Arguments::parse(static_cast<int>(argv.size()), argv.data());
    if (outcome) {
        if (const auto* arguments = std::get_if<quvane::args::Arguments>(&*outcome)) {
            (void)arguments->debug_form();
        }
    }
    return 0;
}
