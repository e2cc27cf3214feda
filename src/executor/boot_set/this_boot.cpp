#include "executor/boot_set/this_boot.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace quvane::executor::boot_set {
namespace {

std::string first_line(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

}  // namespace

std::optional<std::string> skipping_word(std::string_view command_line) {
    constexpr std::string_view key = "quvane.restore=";
    std::size_t start = 0;
    while (start < command_line.size()) {
        const std::size_t end = std::min(command_line.find(' ', start), command_line.size());
        const std::string_view word = command_line.substr(start, end - start);
        if (word.starts_with(key) && std::ranges::find(skipping_values, word.substr(key.size())) !=
                                         std::end(skipping_values)) {
            return std::string(word);
        }
        start = end + 1;
    }
    return std::nullopt;
}

ThisBoot ThisBoot::read(const std::filesystem::path& proc_dir) {
    return {first_line(proc_dir / "sys/kernel/random/boot_id"),
            skipping_word(first_line(proc_dir / "cmdline"))};
}

}  // namespace quvane::executor::boot_set
