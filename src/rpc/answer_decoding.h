// How an answer's bytes become records: the one place that decides. The one-pass decoder goes
// first; where it declines, the answer is parsed into a tree and decoded from it, which names
// exactly what was wrong. Both take the envelope and the result, in the same terms.
#pragma once

#include <tl/expected.hpp>

#include "decoding/answer.h"
#include "failure.h"
#include "wire/reply.h"

namespace quvane::rpc {

// The result of the answer in `reply` as T (Empty, PatchInfo, PackageInfo or a list of
// PatchListRecord or PatchStateRecord); an error object is an RpcFailure, any other fault a
// JsonFailure.
template <class T>
tl::expected<Answer<T>, ClientFailure> decode_answer(Reply reply);

// The two ways on their own, for tests that compare them. The one-pass decoder fills `answer`
// (holding the bytes) and returns false where it declines; the tree decoder always decides.
template <class T>
bool decode_in_one_pass(Answer<T>& answer);
template <class T>
tl::expected<Answer<T>, ClientFailure> decode_with_tree(Reply reply);

}  // namespace quvane::rpc
