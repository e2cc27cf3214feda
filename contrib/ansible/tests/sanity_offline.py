#!/usr/bin/python3
"""Runs `ansible-test sanity` with Debian's packages only.

ansible-test makes a virtual environment for each sanity test and installs the test's tools
into it with pip, which downloads them. Here each environment sees the system's site packages
instead (Debian's pylint, pycodestyle, yamllint, voluptuous and the rest) and pip installs
nothing, so nothing is downloaded. Arguments are ansible-test's own, after "sanity".
"""
import sys

import ansible_test._internal.commands.sanity as sanity
import ansible_test._internal.venv as venv
from ansible_test._internal import main

_create = venv.create_virtual_environment


def _with_system_packages(args, python, path, system_site_packages=False, pip=False):
    return _create(args, python, path, system_site_packages=True, pip=False)


sanity.create_virtual_environment = _with_system_packages
sanity.run_pip = lambda *args, **kwargs: None

if __name__ == "__main__":
    sys.argv = ["ansible-test", "sanity"] + sys.argv[1:]
    main()
