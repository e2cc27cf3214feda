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
    subcommands needed to reach I(state), so that a second run changes nothing.
  - After a change it reads the status back and fails, reporting the change, when a patch
    did not reach I(state); a patch of several parts is judged by all of them.
  - "Needs the superuser on the managed host (C(become: true))."
options:
  name:
    description: Patch identifiers (uuid or name), as quvane takes them.
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
      - After a change that accepted a patch, record the status of all patches (C(quvane save)),
        so that the boot unit C(quvane-restore.service) brings the accepted patches back after a
        reboot. Live patches do not survive a reboot, and C(accept) alone does not bring one back.
    type: bool
    default: true
attributes:
  check_mode:
    support: full
    description: Reports what would change and changes nothing.
  diff_mode:
    support: full
    description: Shows each patch's status before and after.
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
"""

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


def as_diff(patches):
    return "".join("%s: %s\n" % (patch["identifier"], patch["status"]) for patch in patches)


def main():
    module = AnsibleModule(
        argument_spec=dict(
            name=dict(type="list", elements="str", required=True),
            state=dict(type="str", default="applied", choices=list(PLANS)),
            wait=dict(type="float"),
            save=dict(type="bool", default=True),
            **COMMON_ARGUMENTS
        ),
        supports_check_mode=True,
    )
    quvane = Quvane(module)
    state = module.params["state"]
    identifiers = module.params["name"]
    changed = False
    accepted = False
    try:
        before = statuses(quvane, identifiers)
        patches = [dict(patch) for patch in before]
        for patch in patches:
            steps = steps_for(patch, state)
            if steps is None:
                module.fail_json(msg="Patch %s is in status %s, from which quvane cannot bring it to %s"
                                 % (patch["identifier"], patch["status"], state), patches=before)
            for step in steps:
                if not module.check_mode:
                    quvane.run_identified(step, [patch["identifier"]])
                changed = True
                accepted = accepted or step == "accept"
                patch["status"] = ENDS_IN[step]
                patch["parts"] = [dict(part, status=ENDS_IN[step]) for part in patch["parts"]]
        if changed and not module.check_mode:
            if accepted and module.params["save"]:
                quvane.run("save")
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
    result = dict(changed=changed, patches=patches)
    if module._diff:
        result["diff"] = dict(before=as_diff(before), after=as_diff(patches))
    module.exit_json(**result)


if __name__ == "__main__":
    main()
