// What the patch executor does for each subcommand, keyed by the subcommand's type: the daemon
// operation it calls, whether it takes the operation lock, and its wait line. What it shows
// follows from the operation's result: the sinks show each kind of result in its own form.
#pragma once

#include "args/subcommand.h"
#include "rpc/proxy.h"

namespace quvane::executor {

enum class Locking { None, Exclusive };

// The notice before a long daemon call, and whether it comes before or after the lock.
enum class WaitLine { None, BeforeLock, AfterLock };

template <auto Call, Locking Lock, WaitLine Wait = WaitLine::None>
struct Plan {
    static constexpr auto call = Call;
    static constexpr Locking lock = Lock;
    static constexpr WaitLine wait = Wait;
};

using rpc::PatchProxy;

template <class Command>
struct PatchCommand;  // Build has none: it is not the patch executor's

// clang-format off
template <> struct PatchCommand<args::Info> : Plan<&PatchProxy::get_patch_info, Locking::None> {};
template <> struct PatchCommand<args::Target> : Plan<&PatchProxy::get_patch_target, Locking::None> {};
template <> struct PatchCommand<args::Status> : Plan<&PatchProxy::get_patch_status, Locking::None> {};
template <> struct PatchCommand<args::List> : Plan<&PatchProxy::get_patch_list, Locking::None> {};
template <> struct PatchCommand<args::Check> : Plan<&PatchProxy::check_patch, Locking::Exclusive> {};
template <> struct PatchCommand<args::Apply> : Plan<&PatchProxy::apply_patch, Locking::Exclusive> {};
template <> struct PatchCommand<args::Remove> : Plan<&PatchProxy::remove_patch, Locking::Exclusive, WaitLine::BeforeLock> {};
template <> struct PatchCommand<args::Active> : Plan<&PatchProxy::active_patch, Locking::Exclusive> {};
template <> struct PatchCommand<args::Deactive> : Plan<&PatchProxy::deactive_patch, Locking::Exclusive> {};
template <> struct PatchCommand<args::Accept> : Plan<&PatchProxy::accept_patch, Locking::Exclusive> {};
template <> struct PatchCommand<args::Save> : Plan<&PatchProxy::save_patch_status, Locking::Exclusive> {};
template <> struct PatchCommand<args::Restore> : Plan<&PatchProxy::restore_patch_status, Locking::Exclusive, WaitLine::AfterLock> {};
// clang-format on

}  // namespace quvane::executor
