# Runs quvane --json on the managed host and reads its one JSON document.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json

# The options every module passes on to quvane.
COMMON_ARGUMENTS = dict(
    executable=dict(type="str", default="quvane"),
    work_dir=dict(type="path"),
    timeout=dict(type="float"),
)


class QuvaneError(Exception):
    """quvane failed: its message and causes, as it reported them."""


class Quvane:
    def __init__(self, module):
        self.module = module
        params = module.params
        self.base = [params["executable"], "--json"]
        if params.get("work_dir"):
            self.base += ["-w", params["work_dir"]]
        if params.get("timeout"):
            self.base += ["--timeout", str(params["timeout"])]
        if params.get("wait"):
            self.base += ["--wait", str(params["wait"])]

    def run(self, *arguments):
        """The document of `quvane --json ARGUMENTS`; QuvaneError when the run failed as a whole."""
        command = self.base + list(arguments)
        rc, out, err = self.module.run_command(command)
        try:
            document = json.loads(out)
        except ValueError:
            raise QuvaneError("%s failed with status %d: %s" % (" ".join(command), rc, (err or out).strip()))
        if "error" in document:
            error = document["error"]
            raise QuvaneError(": ".join([error["message"]] + error.get("causes", [])))
        return document

    def run_identified(self, subcommand, identifiers):
        """The results by identifier; QuvaneError naming every identifier that failed."""
        document = self.run(subcommand, *identifiers)
        if document["failures"]:
            raise QuvaneError("; ".join("%s: %s" % (f["identifier"], f["error"]) for f in document["failures"]))
        return document["results"]
