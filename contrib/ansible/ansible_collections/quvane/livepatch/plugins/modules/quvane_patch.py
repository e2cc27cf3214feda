#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: (c) 2026, quvane developers
# MIT License (see https://opensource.org/licenses/MIT)
"""Brings live patches into a wanted state with quvane."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: quvane_patch
short_description: Bring live patches into a wanted state
description:
  - Reads the status of each named patch with C(quvane --json status) and runs only the
    subcommands needed to reach I(state), so that a second run changes nothing. Each step runs
    once for every patch that takes it (one C(quvane apply) for all the patches to apply); where
    a patch fails a step, the others still take theirs, and every failure is named.
  - After a change it reads the status back and fails, reporting the change, when a patch
    did not reach I(state); a patch of several parts is judged by all of them.
  - Each patch is planned once, however many of the identifiers in I(name) name it (repeats,
    or a patch's uuid beside its name).
  - After a change that alters which patches are accepted (accepting a patch; removing,
    deactivating or re-activating one that was C(ACCEPTED)), it saves the status of all patches
    (C(quvane save)), so that the set the boot unit C(quvane-restore.service) brings back is the
    accepted set the task leaves.
  - It never saves over a set it may not have seen. quvane keeps on the host what the next boot
    restores (C(quvane boot)); when the daemon no longer holds a patch of that set as accepted
    and no quvane run removed or deactivated it (the restore at boot did not run or failed), the
    module fails before changing anything, naming the patches a save would lose and the fix,
    C(quvane restore --accepted) and a rerun, unless I(force_save) is set. Removals and saves
    made by hand between runs are part of that record, so they never wedge the next run.
  - A patch whose live status already matches I(state) is still changed when the next boot
    would disagree with it - an accepted patch outside the boot set is saved, a removed or
    deactivated one that the next boot restores is withdrawn (C(quvane remove) of a patch that
    is not applied only withdraws it) and saved. After a boot whose restore was skipped, a
    removal is not saved until the other patches are back (quvane leaves the withdrawn patch
    out of the next boot all the same); the module warns, and a rerun saves.
  - "Needs the superuser on the managed host (C(become: true))."
options:
  name:
    description: Patch identifiers (uuid or name), as quvane takes them; at least one.
    type: list
    elements: str
    required: true
  state:
    description:
      - C(applied) - the patch is active (C(ACTIVED)) or accepted.
      - C(accepted) - the patch is accepted; it is applied and activated first when needed.
      - C(deactivated) - the patch is applied but not active (C(DEACTIVED)).
      - C(removed) - the patch is not applied (C(NOT-APPLIED)).
    type: str
    choices: [applied, accepted, deactivated, removed]
    default: applied
  executable:
    description: The quvane program.
    type: str
    default: quvane
  work_dir:
    description: quvane's working directory (C(-w)); quvane's default when not given.
    type: path
  timeout:
    description:
      - Seconds within which every daemon call must complete (C(--timeout)).
      - Greater than 0 and at most a week.
    type: float
  wait:
    description:
      - Seconds to wait for another run's operation lock (C(--wait)).
      - Greater than 0 and at most a week.
    type: float
  save:
    description:
      - After a change that alters which patches are accepted, record the status of all patches
        (C(quvane save)), so that the boot unit C(quvane-restore.service) brings back exactly the
        accepted patches after a reboot. Live patches do not survive a reboot, and C(accept)
        alone does not bring one back; nor does C(remove) alone keep a removed patch from coming
        back.
    type: bool
    default: true
  force_save:
    description:
      - Save even when the daemon lacks patches that the next boot restores (C(quvane save --force)),
        dropping them from the set restored at boot.
    type: bool
    default: false
  saved_record:
    description:
      - Where versions of this module before quvane kept the boot set recorded the accepted
        patches they saved. Read only while quvane has no record of its own for the working
        directory, so that the guard holds across the upgrade; its entry is removed once quvane
        saved.
    type: path
    default: /var/lib/quvane/saved-accepted.json
attributes:
  check_mode:
    support: full
    description: Reports what would change, and whether it would save, and changes nothing.
  diff_mode:
    support: full
    description: Shows each patch's status before and after, and the accepted set it saves.
author:
  - quvane developers (@quvane)
"""

EXAMPLES = r"""
- name: Apply the kernel fix
  quvane.livepatch.quvane_patch:
    name: CVE-2024-1086
  become: true

- name: Accept two patches, waiting up to a minute for a running operation
  quvane.livepatch.quvane_patch:
    name: [CVE-2024-1086, CVE-2023-4911]
    state: accepted
    wait: 60
  become: true
"""

RETURN = r"""
patches:
  description: Every named patch after the run (predicted in check mode).
  returned: always
  type: list
  elements: dict
  contains:
    identifier:
      description: The identifier as given in I(name).
      type: str
    name:
      description: The patch's name.
      type: str
    status:
      description:
        - C(NOT-APPLIED), C(DEACTIVED), C(ACTIVED), C(ACCEPTED) or C(UNKNOWN).
        - For a patch whose parts differ, their statuses joined by commas.
      type: str
    parts:
      description: The status of each part of the patch, as the daemon reports it.
      type: list
      elements: dict
  sample: [{"identifier": "CVE-2024-1086", "name": "CVE-2024-1086", "status": "ACTIVED"}]
saved:
  description: Whether the status of all patches was saved (would be, in check mode).
  returned: always
  type: bool
saved_accepted:
  description: The names of the accepted patches saved for the next boot, when it saved.
  returned: when saved
  type: list
  elements: str
"""

import json
import os
import tempfile

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.quvane.livepatch.plugins.module_utils.quvane import (
    COMMON_ARGUMENTS,
    Quvane,
    QuvaneError,
)

# From each status, the subcommands that reach a state, in order.
PLANS = {
    "applied": {
        "NOT-APPLIED": ["apply"],
        "DEACTIVED": ["active"],
    },
    "accepted": {
        "NOT-APPLIED": ["apply", "accept"],
        "DEACTIVED": ["active", "accept"],
        "ACTIVED": ["accept"],
    },
    "deactivated": {
        "NOT-APPLIED": ["apply", "deactive"],
        "ACTIVED": ["deactive"],
        "ACCEPTED": ["deactive"],
    },
    "removed": {
        "DEACTIVED": ["remove"],
        "ACTIVED": ["remove"],
        "ACCEPTED": ["remove"],
    },
}

# The statuses in which every part of a patch must be for it to be in a state.
REACHED = {
    "applied": {"ACTIVED", "ACCEPTED"},
    "accepted": {"ACCEPTED"},
    "deactivated": {"DEACTIVED"},
    "removed": {"NOT-APPLIED"},
}

# Every plan above takes its steps in this order, so that one run per step serves them all.
STEP_ORDER = ["apply", "active", "deactive", "accept", "remove"]

ENDS_IN = {"apply": "ACTIVED", "active": "ACTIVED", "accept": "ACCEPTED", "deactive": "DEACTIVED", "remove": "NOT-APPLIED"}


def statuses(quvane, identifiers):
    """Each identifier's patch as the daemon reports it now, with the status of every part."""
    patches = []
    for result in quvane.run_identified("status", identifiers):
        parts = result["patches"] or [{"name": result["identifier"], "status": "UNKNOWN"}]
        kinds = []
        for part in parts:
            if part["status"] not in kinds:
                kinds.append(part["status"])
        patches.append(dict(identifier=result["identifier"], name=parts[0]["name"],
                            status=",".join(kinds), parts=parts))
    return patches


def reached(patch, state):
    return all(part["status"] in REACHED[state] for part in patch["parts"])


def steps_for(patch, state):
    """The subcommands that bring the patch to the state, judged by its first part that is not
    there yet; None when there is no way."""
    for part in patch["parts"]:
        if part["status"] not in REACHED[state]:
            return PLANS[state].get(part["status"])
    return []


def as_diff(patches, saved=None):
    lines = "".join("%s: %s\n" % (patch["identifier"], patch["status"]) for patch in patches)
    if saved is not None:
        lines += "saved for boot: %s\n" % (", ".join(saved) or "(none)")
    return lines


def same_patch(patch):
    """What tells a patch apart, whichever identifier named it: the names of its parts."""
    return tuple(part["name"] for part in patch["parts"])


def accepted_now(quvane):
    """The uuid and name of every patch the daemon holds as accepted."""
    return {p["uuid"]: p["name"] for p in quvane.run("list")["patches"] if p["status"] == "ACCEPTED"}


def boot_set(quvane):
    """quvane's view of what the next boot restores: its entries, whether its record holds, and
    whether quvane has no record yet (rather than one it cannot trust or read)."""
    view = quvane.run("boot")
    return view["patches"], view["recorded"], view.get("record_state", "none") == "none"


def read_old_record(path, key):
    """The accepted patches an earlier version of this module saved for the work directory."""
    try:
        with open(path) as record:
            return json.load(record).get(key) or {}
    except (OSError, ValueError, AttributeError):
        return {}


def forget_old_record(path, key):
    """Drops the work directory's entry from the earlier module's record, once quvane keeps it."""
    try:
        with open(path) as record:
            old = json.load(record)
    except (OSError, ValueError):
        return
    if not isinstance(old, dict) or old.pop(key, None) is None:
        return
    if not old:
        os.unlink(path)
        return
    fd, temporary = tempfile.mkstemp(dir=os.path.dirname(path) or ".", prefix=".saved-accepted.")
    try:
        with os.fdopen(fd, "w") as out:
            json.dump(old, out, indent=1, sort_keys=True)
        os.rename(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise


def main():
    module = AnsibleModule(
        argument_spec=dict(
            name=dict(type="list", elements="str", required=True),
            state=dict(type="str", default="applied", choices=list(PLANS)),
            wait=dict(type="float"),
            save=dict(type="bool", default=True),
            force_save=dict(type="bool", default=False),
            saved_record=dict(type="path", default="/var/lib/quvane/saved-accepted.json"),
            **COMMON_ARGUMENTS
        ),
        supports_check_mode=True,
    )
    identifiers = module.params["name"]
    if not identifiers:
        module.fail_json(msg="name must list at least one patch identifier")
    quvane = Quvane(module)
    state = module.params["state"]
    record_key = module.params["work_dir"] or ""
    changed = False
    saved = None
    try:
        before = statuses(quvane, identifiers)
        patches = [dict(patch) for patch in before]
        plans = []
        planned = {}
        for patch in patches:
            if same_patch(patch) in planned:
                # Named twice: planned once, and shown as the first naming ends.
                plans.append((patch, None))
                continue
            steps = steps_for(patch, state)
            if steps is None:
                module.fail_json(msg="Patch %s is in status %s, from which quvane cannot bring it to %s"
                                 % (patch["identifier"], patch["status"], state), patches=before)
            planned[same_patch(patch)] = patch
            plans.append((patch, steps))
        entries, recorded, unrecorded = boot_set(quvane)
        in_boot_set = set(entry["name"] for entry in entries if entry["next_boot"])
        missed = [entry["name"] for entry in entries if entry["boot"] in ("missed", "skipped")]
        if unrecorded:
            # Saved by an earlier version of this module: its record guards until quvane saves.
            # A record quvane cannot trust or read is no such case: quvane refuses the save.
            old = read_old_record(module.params["saved_record"], record_key)
            in_boot_set |= set(old.values())
            held = set(entry["uuid"] for entry in entries if entry["status"] == "ACCEPTED")
            missed = [name for uuid, name in old.items() if uuid not in held]
        # What the next boot does with each part: a patch whose live status is reached may
        # still come back at the next boot (removed, deactivated) or be lost by it (accepted).
        boot_of = dict((entry["name"], entry) for entry in entries)
        needs_save = False
        for index, (patch, steps) in enumerate(plans):
            if steps != []:
                continue
            for part in patch["parts"]:
                entry = boot_of.get(part["name"], {})
                if state == "accepted" and recorded and not entry.get("next_boot"):
                    needs_save = True
                elif state in ("removed", "deactivated") and entry.get("next_boot"):
                    # Not applied and saved: a removal withdraws it, without applying it.
                    if state == "removed":
                        plans[index] = (patch, ["remove"])
                        break
                    needs_save = True
                elif state in ("removed", "deactivated") and entry.get("boot") == "withdrawn":
                    needs_save = True
        # Accepting, or changing a patch that is accepted or that the next boot restores.
        alters_accepted = needs_save or any(
            steps and ("accept" in steps or any(part["status"] == "ACCEPTED" or part["name"] in in_boot_set
                                                for part in patch["parts"]))
            for patch, steps in plans)
        will_save = alters_accepted and module.params["save"]
        warnings = []
        if will_save and missed and state in ("removed", "deactivated") and not module.params["force_save"]:
            # quvane leaves a withdrawn patch out of the next boot on its own: the save that
            # would make the daemon agree waits until the others are back (after a boot whose
            # restore was skipped, say).
            will_save = False
            warnings.append("Not saved, since the daemon does not hold %s as accepted: quvane "
                            "leaves the withdrawn patches out of the next boot all the same; run "
                            "'quvane restore --accepted' and rerun this task to save."
                            % ", ".join(sorted(missed)))
        if will_save and missed and not module.params["force_save"]:
            module.fail_json(
                msg="The daemon does not hold patches that the next boot restores as accepted "
                    "(missing: %s): the restore at boot did not run or failed, and saving now "
                    "would drop them from the next boot. Run 'quvane restore --accepted', then "
                    "rerun this task; or set force_save to save without them."
                    % ", ".join(sorted(missed)),
                patches=before)
        # One quvane run per step for every patch that takes it; a patch whose step failed takes
        # no later one, and the others go on.
        failures = {}
        for step in STEP_ORDER:
            batch = [patch for patch, steps in plans
                     if steps and step in steps and patch["identifier"] not in failures]
            if not batch:
                continue
            if not module.check_mode:
                document = quvane.run(step, [patch["identifier"] for patch in batch])
                for failure in document["failures"]:
                    failures[failure["identifier"]] = "%s: %s" % (failure["identifier"], failure["error"])
            for patch in batch:
                if patch["identifier"] not in failures:
                    changed = True
                    patch["status"] = ENDS_IN[step]
                    patch["parts"] = [dict(part, status=ENDS_IN[step]) for part in patch["parts"]]
        for patch, steps in plans:
            if steps is None:
                first = planned[same_patch(patch)]
                patch["status"], patch["parts"] = first["status"], first["parts"]
        # What the failed ones did not reach is named after the save of what the others did.
        will_save = will_save and (changed or needs_save or module.check_mode)
        changed = changed or will_save
        if will_save:
            if module.check_mode:
                names = set(accepted_now(quvane).values())
                for patch, steps in plans:
                    for part in patch["parts"] if steps else ():
                        names.discard(part["name"])
                        if part["status"] == "ACCEPTED":
                            names.add(part["name"])
            else:
                saved_now = quvane.run("save", flags=["--force"] if module.params["force_save"] else [])
                forget_old_record(module.params["saved_record"], record_key)
                names = set(patch["name"] for patch in saved_now.get("boot_set", []))
            saved = sorted(names)
        if failures:
            raise QuvaneError("; ".join(failures.values()))
        if changed and not module.check_mode:
            patches = statuses(quvane, identifiers)
            missed = [patch for patch in patches if not reached(patch, state)]
            if missed:
                module.fail_json(msg="Not %s after the change: %s" % (state, "; ".join(
                    "%s is %s" % (patch["identifier"], patch["status"]) for patch in missed)),
                    changed=True, patches=patches)
    except QuvaneError as error:
        if not changed:
            module.fail_json(msg=str(error))
        # Something was changed before the failure: say so, with the patches as they are now.
        try:
            now = statuses(quvane, identifiers)
        except QuvaneError:
            now = None
        module.fail_json(msg=str(error), changed=True, patches=now)
    result = dict(changed=changed, patches=patches, saved=saved is not None, warnings=warnings)
    if saved is not None:
        result["saved_accepted"] = saved
    if module._diff:
        result["diff"] = dict(before=as_diff(before), after=as_diff(patches, saved))
    module.exit_json(**result)


if __name__ == "__main__":
    main()
