#!/usr/bin/env python3
"""Fails when the project's libraries depend on each other in a circle.

Usage: check_library_cycles.py SOURCE_DIR SCRATCH_DIR

Configures SOURCE_DIR into SCRATCH_DIR with `cmake --graphviz`, reads the
graph of targets and their links, and looks for a cycle among the
project's own libraries (the targets named qv_*). Prints every cycle it
finds and exits 1; exits 0 when the libraries form layers."""

import pathlib
import re
import subprocess
import sys

NODE = re.compile(r'^\s*"(node\d+)"\s*\[\s*label\s*=\s*"([^"]+)"')
EDGE = re.compile(r'^\s*"(node\d+)"\s*->\s*"(node\d+)"')


def read_graph(dot_text):
    names, edges = {}, {}
    for line in dot_text.splitlines():
        if m := NODE.match(line):
            names[m.group(1)] = m.group(2)
        elif m := EDGE.match(line):
            edges.setdefault(m.group(1), set()).add(m.group(2))
    graph = {}
    for source, targets in edges.items():
        name = names.get(source, source)
        graph.setdefault(name, set()).update(names.get(t, t) for t in targets)
    return graph


def project_libraries(graph):
    """The graph cut down to the qv_* libraries."""
    keep = lambda name: name.startswith("qv_")
    return {name: {t for t in targets if keep(t)}
            for name, targets in graph.items() if keep(name)}


def find_cycles(graph):
    """Each cycle once, as the list of libraries along it."""
    cycles, state, path = [], {}, []

    def visit(node):
        state[node] = "open"
        path.append(node)
        for nxt in sorted(graph.get(node, ())):
            if state.get(nxt) == "open":
                cycles.append(path[path.index(nxt):] + [nxt])
            elif nxt not in state:
                visit(nxt)
        path.pop()
        state[node] = "done"

    for node in sorted(graph):
        if node not in state:
            visit(node)
    return cycles


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    source, scratch = pathlib.Path(argv[1]), pathlib.Path(argv[2])
    scratch.mkdir(parents=True, exist_ok=True)
    dot = scratch / "libraries.dot"
    configure = subprocess.run(
        ["cmake", "-S", str(source), "-B", str(scratch), f"--graphviz={dot}"],
        capture_output=True, text=True)
    if configure.returncode != 0:
        print(configure.stdout + configure.stderr, file=sys.stderr)
        return 1
    cycles = find_cycles(project_libraries(read_graph(dot.read_text())))
    for cycle in cycles:
        print("cycle: " + " -> ".join(cycle))
    if not cycles:
        print("the project's libraries form layers: no cycle")
    return 1 if cycles else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
