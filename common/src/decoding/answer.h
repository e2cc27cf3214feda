// A decoded answer: the records and everything their text points into, moved as one. The
// records' strings are views into the answer's bytes, into the arena where a string had
// escapes, or into the parsed tree where the answer was decoded the slow way; none of them
// outlives this value.
#pragma once

#include <memory>
#include <utility>

#include "text_arena.h"
#include "wire/reply.h"

namespace quvane {

template <class T>
class Answer {
  public:
    Answer() = default;
    explicit Answer(wire::Reply reply) noexcept : reply_(std::move(reply)) {}
    Answer(Answer&&) noexcept = default;
    Answer& operator=(Answer&&) noexcept = default;
    Answer(const Answer&) = delete;
    Answer& operator=(const Answer&) = delete;

    const T& operator*() const noexcept { return value_; }
    const T* operator->() const noexcept { return &value_; }
    T& records() noexcept { return value_; }

    wire::Reply& reply() noexcept { return reply_; }
    TextArena& arena() noexcept { return arena_; }
    // Keeps the parsed tree that the records point into; its type is the tree decoder's
    // business, so that no header that carries an answer needs the parser's.
    void keep_tree(std::shared_ptr<const void> tree) noexcept { tree_ = std::move(tree); }

  private:
    // Declared before the records, so that the records go first.
    wire::Reply reply_;
    TextArena arena_;
    std::shared_ptr<const void> tree_;
    T value_{};
};

}  // namespace quvane
