"""Mutants as the runner sees them: the catalogue's, and hand-written ones
given as a replaced line or as a patch (which may touch several files)."""

import os
import subprocess
import tempfile

from . import report


class HandMutantError(ValueError):
    pass


class _Mutant:
    """A fault over one or more files: [(path, original text, mutated text)]."""

    def __init__(self, ident, description, operator, line, texts):
        self.id, self.description, self.operator, self.line = ident, description, operator, line
        self.texts = texts

    @property
    def paths(self):
        return [path for path, _, _ in self.texts]

    @property
    def edits(self):
        return [(p, o.encode("utf-8"), m.encode("utf-8")) for p, o, m in self.texts]

    def result(self, outcome):
        return {"id": self.id, "file": self.paths[0], "line": self.line, "operator": self.operator,
                "description": self.description, "verdict": outcome.verdict,
                "suite": outcome.suite, "detail": outcome.detail,
                "seconds": round(outcome.seconds, 1), "diff": report.unified_diff(self.texts)}


class Generated(_Mutant):
    def __init__(self, mutant, source):
        super().__init__(f"{mutant.path}:{mutant.line}", mutant.describe(source), mutant.operator,
                         mutant.line, [(mutant.path, source, mutant.apply(source))])


def _read(root, path):
    full = os.path.join(root, path)
    if not os.path.isfile(full):
        raise HandMutantError(f"{path}: no such file in the repository")
    with open(full, encoding="utf-8", newline="") as f:
        return f.read()


def from_lines(root, mutant_lines):
    """FILE:LINE:TEXT -> line LINE (from 1) of FILE becomes TEXT."""
    mutants = []
    for line_text in mutant_lines:
        parts = line_text.split(":", 2)
        if len(parts) != 3 or not parts[1].isdigit():
            raise HandMutantError(f"--mutant {line_text!r}: expected FILE:LINE:TEXT")
        path, number, text = os.path.normpath(parts[0]), int(parts[1]), parts[2]
        original = _read(root, path)
        lines = original.splitlines(keepends=True)
        if not 1 <= number <= len(lines):
            raise HandMutantError(f"--mutant {line_text!r}: {path} has {len(lines)} lines")
        old = lines[number - 1]
        ending = old[len(old.rstrip("\r\n")):]
        lines[number - 1] = text + ending
        mutated = "".join(lines)
        if mutated == original:
            raise HandMutantError(f"--mutant {line_text!r} changes nothing")
        mutants.append(_Mutant(f"{path}:{number}", f"hand-written: `{old.strip()}` -> `{text.strip()}`",
                               "hand-written", number, [(path, original, mutated)]))
    return mutants


def from_diff(root, diff_text):
    """One mutant from a unified diff as the reports print them. Each hunk
    is found by its text, nearest to where it was, so lines added or removed
    elsewhere in the file since do not matter; a hunk whose lines changed
    does not apply."""
    texts = []
    for path, hunks in _parse_diff(diff_text):
        original = _read(root, path)
        mutated = original
        for start, old, new in reversed(hunks):
            at = _nearest(mutated, old, start)
            if at is None:
                raise HandMutantError(f"{path}: the lines near line {start} have changed")
            mutated = mutated[:at] + new + mutated[at + len(old):]
        texts.append((path, original, mutated))
    if not texts:
        raise HandMutantError("the diff changes nothing")
    return _Mutant("diff", "from a report", "hand-written", 0, texts)


def _parse_diff(diff_text):
    """[(path, [(old start line, old text, new text)])]."""
    files = []
    for line in diff_text.splitlines(keepends=True):
        if line.startswith("+++ "):
            files.append((line[4:].strip().split("/", 1)[1], []))
        elif line.startswith("@@"):
            files[-1][1].append([int(line.split()[1].lstrip("-").split(",")[0]), "", ""])
        elif files and files[-1][1] and line[:1] in (" ", "-", "+"):
            hunk = files[-1][1][-1]
            if line[0] != "+":
                hunk[1] += line[1:]
            if line[0] != "-":
                hunk[2] += line[1:]
    return files


def _nearest(text, block, line):
    """Offset of the occurrence of block whose line is nearest to line."""
    best, at = None, text.find(block)
    while at != -1:
        distance = abs(text.count("\n", 0, at) + 1 - line)
        if best is None or distance < best[0]:
            best = (distance, at)
        at = text.find(block, at + 1)
    return best and best[1]


def from_patches(root, patch_files):
    """Each unified diff (as git diff or diff -u writes it) is one mutant,
    applied to copies so that the tree is only touched by the runner."""
    mutants = []
    for patch in patch_files:
        patch = os.path.abspath(patch)
        listing = subprocess.run(["git", "apply", "--numstat", patch], cwd=root,
                                 capture_output=True, text=True)
        if listing.returncode != 0:
            raise HandMutantError(f"{patch}: {listing.stderr.strip()}")
        paths = [line.split("\t", 2)[2] for line in listing.stdout.splitlines() if line.strip()]
        with tempfile.TemporaryDirectory() as scratch:
            originals = {}
            for path in paths:
                originals[path] = _read(root, path)
                os.makedirs(os.path.join(scratch, os.path.dirname(path)), exist_ok=True)
                with open(os.path.join(scratch, path), "w", encoding="utf-8", newline="") as f:
                    f.write(originals[path])
            applied = subprocess.run(["git", "apply", patch], cwd=scratch, capture_output=True, text=True)
            if applied.returncode != 0:
                raise HandMutantError(f"{patch} does not apply: {applied.stderr.strip()}")
            texts = []
            for path in paths:
                with open(os.path.join(scratch, path), encoding="utf-8", newline="") as f:
                    texts.append((path, originals[path], f.read()))
        name = os.path.basename(patch)
        mutants.append(_Mutant(name, f"hand-written: {name} ({', '.join(paths)})", "hand-written",
                               0, texts))
    return mutants
