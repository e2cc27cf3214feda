#!/usr/bin/python
# Brings live patches into a wanted state with quvane.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: quvane_patch
short_description: Bring live patches into a wanted state
description:
  - Reads the status of each named patch with C(quvane --json status) and runs only the
    subcommands needed to reach I(state), so that a second run changes nothing.
  - Needs the superuser on the managed host (C(become: true)).
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
    description: Seconds within which every daemon call must complete (C(--timeout)).
    type: float
  wait:
    description: Seconds to wait for another run's operation lock (C(--wait)).
    type: float
attributes:
  check_mode:
    support: full
    description: Reports what would change and changes nothing.
author:
  - quvane developers
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
      description: C(NOT-APPLIED), C(DEACTIVED), C(ACTIVED), C(ACCEPTED) or C(UNKNOWN).
      type: str
  sample: [{"identifier": "CVE-2024-1086", "name": "CVE-2024-1086", "status": "ACTIVED"}]
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.quvane.livepatch.plugins.module_utils.quvane import (
    COMMON_ARGUMENTS,
    Quvane,
    QuvaneError,
)

# From each status, the subcommands that reach a state, in order, and the status they end in.
PLANS = {
    "applied": {
        "NOT-APPLIED": ["apply"],
        "DEACTIVED": ["active"],
        "ACTIVED": [],
        "ACCEPTED": [],
    },
    "accepted": {
        "NOT-APPLIED": ["apply", "accept"],
        "DEACTIVED": ["active", "accept"],
        "ACTIVED": ["accept"],
        "ACCEPTED": [],
    },
    "deactivated": {
        "NOT-APPLIED": ["apply", "deactive"],
        "DEACTIVED": [],
        "ACTIVED": ["deactive"],
        "ACCEPTED": ["deactive"],
    },
    "removed": {
        "NOT-APPLIED": [],
        "DEACTIVED": ["remove"],
        "ACTIVED": ["remove"],
        "ACCEPTED": ["remove"],
    },
}

ENDS_IN = {"apply": "ACTIVED", "active": "ACTIVED", "accept": "ACCEPTED", "deactive": "DEACTIVED", "remove": "NOT-APPLIED"}


def statuses(quvane, identifiers):
    """(identifier, name, status) of each identifier, as the daemon reports it now."""
    patches = []
    for result in quvane.run_identified("status", identifiers):
        record = result["patches"][0] if result["patches"] else {"name": result["identifier"], "status": "UNKNOWN"}
        patches.append(dict(identifier=result["identifier"], name=record["name"], status=record["status"]))
    return patches


def main():
    module = AnsibleModule(
        argument_spec=dict(
            name=dict(type="list", elements="str", required=True),
            state=dict(type="str", default="applied", choices=list(PLANS)),
            wait=dict(type="float"),
            **COMMON_ARGUMENTS
        ),
        supports_check_mode=True,
    )
    quvane = Quvane(module)
    plan = PLANS[module.params["state"]]
    try:
        patches = statuses(quvane, module.params["name"])
        changed = False
        for patch in patches:
            steps = plan.get(patch["status"])
            if steps is None:
                module.fail_json(msg="Patch %s is in status %s, from which quvane cannot bring it to %s"
                                 % (patch["identifier"], patch["status"], module.params["state"]), patches=patches)
            for step in steps:
                changed = True
                if not module.check_mode:
                    quvane.run_identified(step, [patch["identifier"]])
                patch["status"] = ENDS_IN[step]
        if changed and not module.check_mode:
            patches = statuses(quvane, module.params["name"])
    except QuvaneError as error:
        module.fail_json(msg=str(error))
    module.exit_json(changed=changed, patches=patches)


if __name__ == "__main__":
    main()
