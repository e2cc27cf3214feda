// What the patch executor does for each subcommand, keyed by the subcommand's type: the daemon
// operation it calls, whether it takes the operation lock, its wait line and what it shows.
#pragma once

#include "args/subcommand.h"
#include "rpc/proxy.h"

namespace quvane::executor {

enum class Locking { None, Exclusive };

// The notice before a long daemon call, and whether it comes before or after the lock.
enum class WaitLine { None, BeforeLock, AfterLock };

enum class Shows {
    Nothing,
    InfoBlocks,    // per identifier a block with the record's text
    States,        // "{name}: {status}" per state record
    Table,         // the patch list
    ChecksPassed,  // "Checks are passed!" when no call failed
};

template <auto Call, Locking Lock, Shows Output, WaitLine Wait = WaitLine::None>
struct Plan {
    static constexpr auto call = Call;
    static constexpr Locking lock = Lock;
    static constexpr Shows shows = Output;
    static constexpr WaitLine wait = Wait;
};

using rpc::PatchProxy;

template <class Command>
struct PatchCommand;  // Build has none: it is not the patch executor's

// clang-format off
template <> struct PatchCommand<args::Info> : Plan<&PatchProxy::get_patch_info, Locking::None, Shows::InfoBlocks> {};
template <> struct PatchCommand<args::Target> : Plan<&PatchProxy::get_patch_target, Locking::None, Shows::InfoBlocks> {};
template <> struct PatchCommand<args::Status> : Plan<&PatchProxy::get_patch_status, Locking::None, Shows::States> {};
template <> struct PatchCommand<args::List> : Plan<&PatchProxy::get_patch_list, Locking::None, Shows::Table> {};
template <> struct PatchCommand<args::Check> : Plan<&PatchProxy::check_patch, Locking::Exclusive, Shows::ChecksPassed> {};
template <> struct PatchCommand<args::Apply> : Plan<&PatchProxy::apply_patch, Locking::Exclusive, Shows::States> {};
template <> struct PatchCommand<args::Remove> : Plan<&PatchProxy::remove_patch, Locking::Exclusive, Shows::States, WaitLine::BeforeLock> {};
template <> struct PatchCommand<args::Active> : Plan<&PatchProxy::active_patch, Locking::Exclusive, Shows::States> {};
template <> struct PatchCommand<args::Deactive> : Plan<&PatchProxy::deactive_patch, Locking::Exclusive, Shows::States> {};
template <> struct PatchCommand<args::Accept> : Plan<&PatchProxy::accept_patch, Locking::Exclusive, Shows::States> {};
template <> struct PatchCommand<args::Save> : Plan<&PatchProxy::save_patch_status, Locking::Exclusive, Shows::Nothing> {};
template <> struct PatchCommand<args::Restore> : Plan<&PatchProxy::restore_patch_status, Locking::Exclusive, Shows::Nothing, WaitLine::AfterLock> {};
// clang-format on

}  // namespace quvane::executor
