#include "log/logger.h"

#include <atomic>

namespace quvane::log {
namespace {

// The process-wide slot: filled once by start(), never emptied.
std::atomic<Console*> slot{nullptr};
std::atomic<Level> max_level{Level::Off};

}  // namespace

void start(Level level, Console& console) {
    Console* empty = nullptr;
    if (slot.compare_exchange_strong(empty, &console, std::memory_order_acq_rel)) {
        max_level.store(level, std::memory_order_relaxed);
    }
}

bool enabled(Level level) noexcept {
    return level != Level::Off && level <= max_level.load(std::memory_order_relaxed);
}

void write(Level level, std::string_view /*target*/, std::string_view message) {
    if (!enabled(level)) {
        return;
    }
    if (Console* console = slot.load(std::memory_order_acquire)) {
        console->write_record(message);
    }
}

void note(std::string_view message) {
    if (Console* console = slot.load(std::memory_order_acquire)) {
        console->note(message);
    }
}

bool flush() noexcept {
    Console* console = slot.load(std::memory_order_acquire);
    return console == nullptr || console->flush();
}

}  // namespace quvane::log
