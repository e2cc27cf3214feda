// The types a daemon call's result is decoded as, listed once: every explicit instantiation over
// them expands this list, so that a new result type is one line here.
#pragma once

#include <vector>

#include "patch_records.h"

// X(T) for each result type.
#define QUVANE_FOR_EACH_RESULT_TYPE(X) \
    X(Empty)                           \
    X(PatchInfo)                       \
    X(PackageInfo)                     \
    X(std::vector<PatchListRecord>)    \
    X(std::vector<PatchStateRecord>)
