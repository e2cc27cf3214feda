// An in-memory byte stream for the value reader, shared by its tests and its fuzz target: it
// hands out its bytes in chunks of given sizes, counts the calls made on it, and at its end
// either reports the end of the stream or behaves as a peer that never sends more.
#pragma once

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "rpc/value_reader.h"

namespace quvane::testing {

class MemorySource final : public rpc::ByteSource {
  public:
    enum class AtEnd { EndOfStream, WaitsForever };

    // The bytes in chunks whose sizes cycle through `chunk_sizes` (as much as asked for when
    // empty).
    explicit MemorySource(std::string bytes, std::vector<std::size_t> chunk_sizes = {},
                          AtEnd at_end = AtEnd::EndOfStream)
        : bytes_(std::move(bytes)), chunk_sizes_(std::move(chunk_sizes)), at_end_(at_end) {}

    tl::expected<std::size_t, int> peek(char* buffer, std::size_t size) override {
        ++calls_;
        if (position_ == bytes_.size() && at_end_ == AtEnd::WaitsForever) {
            // The reader asked for bytes that would never come: it would hang.
            return tl::unexpected(EWOULDBLOCK);
        }
        const std::size_t chunk =
            chunk_sizes_.empty() ? size : chunk_sizes_[turn_++ % chunk_sizes_.size()];
        const std::size_t n = std::min({size, chunk, bytes_.size() - position_});
        bytes_.copy(buffer, n, position_);
        return n;
    }

    tl::expected<void, int> consume(char* buffer, std::size_t size) override {
        ++calls_;
        if (size > bytes_.size() - position_) {
            consumed_unseen_ = true;
            return tl::unexpected(EIO);
        }
        bytes_.copy(buffer, size, position_);
        position_ += size;
        return {};
    }

    std::string_view rest() const { return std::string_view(bytes_).substr(position_); }
    std::size_t position() const { return position_; }
    std::size_t calls() const { return calls_; }
    // Whether the reader tried to consume bytes the stream never had.
    bool consumed_unseen() const { return consumed_unseen_; }

  private:
    std::string bytes_;
    std::vector<std::size_t> chunk_sizes_;
    AtEnd at_end_;
    std::size_t position_ = 0;
    std::size_t turn_ = 0;
    std::size_t calls_ = 0;
    bool consumed_unseen_ = false;
};

}  // namespace quvane::testing
