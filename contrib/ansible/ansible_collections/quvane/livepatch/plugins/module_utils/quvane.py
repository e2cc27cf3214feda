# -*- coding: utf-8 -*-
# Copyright: (c) 2026, quvane developers
# MIT License (see https://opensource.org/licenses/MIT)
"""Runs quvane --json on the managed host and reads its one JSON document."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import math

# quvane's own ceiling for --timeout and --wait: a week.
LONGEST_WAIT = 7 * 24 * 3600

# The options every module passes on to quvane.
COMMON_ARGUMENTS = dict(
    executable=dict(type="str", default="quvane"),
    work_dir=dict(type="path"),
    timeout=dict(type="float"),
)


class QuvaneError(Exception):
    """quvane failed: its message and causes, as it reported them."""


def seconds(module, option):
    """The option's value as quvane takes it (plain decimal digits), or None when not given."""
    value = module.params.get(option)
    if value is None:
        return None
    if not (math.isfinite(value) and 0 < value <= LONGEST_WAIT):
        module.fail_json(msg="%s must be a number of seconds greater than 0 and at most %d, not %s"
                         % (option, LONGEST_WAIT, value))
    # Rounded up to a microsecond, as quvane rounds it.
    return ("%.6f" % (math.ceil(value * 1e6) / 1e6)).rstrip("0").rstrip(".")


class Quvane:
    def __init__(self, module):
        self.module = module
        params = module.params
        self.base = [params["executable"], "--json"]
        if params.get("work_dir"):
            self.base += ["-w", params["work_dir"]]
        for option in ("timeout", "wait"):
            value = seconds(module, option)
            if value is not None:
                self.base += ["--" + option, value]

    def run(self, subcommand, identifiers=(), flags=()):
        """The document of `quvane --json SUBCOMMAND FLAGS -- IDENTIFIERS`; QuvaneError when the
        run failed as a whole. Identifiers reach quvane as written: after "--", so that one that
        looks like an option is still an identifier, and never expanded as shell words."""
        command = self.base + [subcommand] + list(flags)
        if identifiers:
            command += ["--"] + list(identifiers)
        rc, out, err = self.module.run_command(command, expand_user_and_vars=False)
        try:
            document = json.loads(out)
        except ValueError:
            raise QuvaneError("%s failed with status %d: %s" % (" ".join(command), rc, (err or out).strip()))
        if "error" in document:
            error = document["error"]
            raise QuvaneError(": ".join([error["message"]] + error.get("causes", [])))
        if rc != 0 and not document.get("failures"):
            raise QuvaneError("%s failed with status %d" % (" ".join(command), rc))
        return document

    def run_identified(self, subcommand, identifiers):
        """The results by identifier; QuvaneError naming every identifier that failed."""
        document = self.run(subcommand, identifiers)
        if document["failures"]:
            raise QuvaneError("; ".join("%s: %s" % (f["identifier"], f["error"]) for f in document["failures"]))
        return document["results"]
