#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: (c) 2026, quvane developers
# MIT License (see https://opensource.org/licenses/MIT)
"""Reads the patch list, or the metadata of named patches, with quvane."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: quvane_patch_info
short_description: Read live patches and their metadata
description:
  - Without I(name), returns every patch the daemon knows (C(quvane --json list)).
  - With I(name), returns the metadata of each named patch (C(quvane --json info)).
  - With I(boot), returns every patch beside what the next boot does with it, and what quvane
    knows of the boot set (C(quvane --json boot)).
  - "Changes nothing. Needs the superuser on the managed host (C(become: true))."
options:
  name:
    description: Patch identifiers whose metadata to return.
    type: list
    elements: str
  boot:
    description: Return the boot set beside every patch instead of the plain list.
    type: bool
    default: false
  executable:
    description: The quvane program.
    type: str
    default: quvane
  work_dir:
    description: quvane's working directory (C(-w)).
    type: path
  timeout:
    description: Seconds within which every daemon call must complete (C(--timeout)).
    type: float
attributes:
  check_mode:
    support: full
    description: Runs as usual; it changes nothing either way.
author:
  - quvane developers (@quvane)
"""

EXAMPLES = r"""
- name: Every patch and its status
  quvane.livepatch.quvane_patch_info:
  register: livepatch
  become: true

- name: What the next boot restores
  quvane.livepatch.quvane_patch_info:
    boot: true
  register: boot
  become: true

- name: Metadata of one patch
  quvane.livepatch.quvane_patch_info:
    name: CVE-2024-1086
  become: true
"""

RETURN = r"""
patches:
  description:
    - Without I(name), one entry per patch with C(uuid), C(name) and C(status).
    - With I(name), one entry per identifier with C(identifier) and C(info), the patch's
      metadata under the field names of the daemon's records.
    - With I(boot), also C(next_boot) (whether the next boot restores it) and C(boot) (C(kept),
      C(withdrawn), C(missed), C(skipped), C(unsaved), C(lost), C(unknown) or C(none)).
  returned: always
  type: list
  elements: dict
  sample: [{"uuid": "3f2a9c1e-7b44-4d0a-9e51-0c6d8a2b7f10", "name": "CVE-2024-1086", "status": "ACTIVED"}]
boot_set:
  description:
    - What quvane knows of the boot set - C(recorded), C(record_state) (C(recorded), C(none),
      C(no-place), C(untrusted), C(unreadable) or C(other-version)), and where present
      C(record), C(record_error), C(restore_skipped_by) and C(last_restore) (this boot's).
  returned: with I(boot)
  type: dict
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.quvane.livepatch.plugins.module_utils.quvane import (
    COMMON_ARGUMENTS,
    Quvane,
    QuvaneError,
)


def main():
    module = AnsibleModule(
        argument_spec=dict(name=dict(type="list", elements="str"), boot=dict(type="bool", default=False),
                           **COMMON_ARGUMENTS),
        supports_check_mode=True,
    )
    quvane = Quvane(module)
    boot_set = None
    try:
        if module.params["boot"]:
            document = quvane.run("boot")
            patches = document.pop("patches")
            boot_set = document
        elif module.params["name"]:
            patches = quvane.run_identified("info", module.params["name"])
        else:
            patches = quvane.run("list")["patches"]
    except QuvaneError as error:
        module.fail_json(msg=str(error))
    if boot_set is not None:
        module.exit_json(changed=False, patches=patches, boot_set=boot_set)
    module.exit_json(changed=False, patches=patches)


if __name__ == "__main__":
    main()
