"""Prints the accessible tree of the program named on the command line, as a
screen reader finds it over AT-SPI: one JSON list of its objects, each with
its depth, role, name, description and whether it is focused. Runs with
Debian's python3, which python3-pyatspi serves."""

import json, sys

import pyatspi


def walk(node, depth, out):
    states = node.getState()
    out.append(dict(depth=depth, role=node.getRoleName(), name=node.name, description=node.description,
                    focused=states.contains(pyatspi.STATE_FOCUSED)))
    for child in node:
        if child is not None:
            walk(child, depth + 1, out)


found = []
for app in pyatspi.Registry.getDesktop(0):
    if app is not None and app.name == sys.argv[1]:
        walk(app, 0, found)
print(json.dumps(found))
