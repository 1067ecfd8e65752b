"""The report: counts per file and per folder, every surviving mutant as a
unified diff, and the same as JSON for later comparisons."""

import difflib
import json
from collections import Counter, OrderedDict

from .runner import KILLED, NO_TESTS, NOT_COMPILING, SURVIVED, TIMEOUT

_COLUMNS = (KILLED, TIMEOUT, SURVIVED, NO_TESTS, NOT_COMPILING)


def unified_diff(edits, context=2):
    """edits: [(path, original text, mutated text)]."""
    lines = []
    for path, original, mutated in edits:
        lines.extend(difflib.unified_diff(
            original.splitlines(keepends=True), mutated.splitlines(keepends=True),
            f"a/{path}", f"b/{path}", n=context))
    return "".join(line if line.endswith("\n") else line + "\n" for line in lines)


def score(counts):
    """Killed (timeouts included) over the mutants that compiled; None if none did."""
    compiled = sum(counts[c] for c in (KILLED, TIMEOUT, SURVIVED, NO_TESTS))
    return (counts[KILLED] + counts[TIMEOUT]) / compiled if compiled else None


def _group(results, key):
    groups = OrderedDict()
    for result in sorted(results, key=key):
        groups.setdefault(key(result), Counter())[result["verdict"]] += 1
    return groups


def _folder(path):
    return path.split("/", 1)[0] if "/" in path else "."


def _table(title, groups):
    width = max([len(title)] + [len(k) for k in groups])
    head = f"{title:<{width}}  " + "  ".join(f"{c:>13}" for c in _COLUMNS) + "   score"
    rows = [head, "-" * len(head)]
    total = Counter()
    for name, counts in groups.items():
        total.update(counts)
        rows.append(_row(name, counts, width))
    rows.append(_row("all", total, width))
    return "\n".join(rows)


def _row(name, counts, width):
    s = score(counts)
    shown = f"{100 * s:6.1f}%" if s is not None else "     -"
    return f"{name:<{width}}  " + "  ".join(f"{counts[c]:>13}" for c in _COLUMNS) + "  " + shown


def text_report(results):
    parts = []
    survivors = [r for r in results if r["verdict"] in (SURVIVED, NO_TESTS)]
    if survivors:
        parts.append(f"Surviving mutants ({len(survivors)}):\n")
        for r in survivors:
            note = " (no test links this file)" if r["verdict"] == NO_TESTS else ""
            parts.append(f"--- {r['id']} {r['description']}{note}\n{r['diff']}")
    parts.append(_table("file", _group(results, lambda r: r["file"])))
    parts.append(_table("folder", _group(results, lambda r: _folder(r["file"]))))
    parts.append("score = (killed + timeout) / mutants that compiled")
    return "\n\n".join(parts) + "\n"


def json_report(path, run, results):
    folders = _group(results, lambda r: _folder(r["file"]))
    summary = {name: dict(counts, score=score(counts)) for name, counts in folders.items()}
    total = Counter()
    for counts in folders.values():
        total.update(counts)
    summary["all"] = dict(total, score=score(total))
    with open(path, "w", encoding="utf-8") as f:
        json.dump({"run": run, "summary": summary, "mutants": results}, f, indent=1,
                  ensure_ascii=False)
        f.write("\n")
