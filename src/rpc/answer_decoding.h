// How an answer's bytes become records: the one place that decides. The quick way (read straight
// from its bytes) goes first; where it declines, an answer up to the tree's bound is parsed into
// a tree and decoded from it, which names exactly what was wrong. Both take the envelope and the
// result, in the same terms.
#pragma once

#include <optional>

#include <tl/expected.hpp>

#include "decoding/answer.h"
#include "failure.h"
#include "wire/reply.h"

namespace quvane::rpc {

using wire::Reply;

// The longest answer parsed into a tree, to explain its faults or to show it in the verbose log.
// The tree takes up to ten times the bytes (eight for each value, four for each mark): beyond
// this, an answer is decided without it, so that a run stays within five times the answer.
inline constexpr std::size_t tree_limit = std::size_t{4} << 20;

// The result of the answer in `reply` as T (Empty, PatchInfo, PackageInfo or a list of
// PatchListRecord or PatchStateRecord); an error object is an RpcFailure, any other fault a
// JsonFailure.
template <class T>
tl::expected<Answer<T>, ClientFailure> decode_answer(Reply reply);

// The quick way and the tree on their own, for tests that compare them. decode_quickly fills
// `answer` (holding the bytes) and returns nothing, or the daemon's error object as an
// RpcFailure, or a JsonFailure where it declines; the tree decoder always decides.
template <class T>
std::optional<ClientFailure> decode_quickly(Answer<T>& answer);
template <class T>
tl::expected<Answer<T>, ClientFailure> decode_with_tree(Reply reply);

}  // namespace quvane::rpc
