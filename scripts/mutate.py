#!/usr/bin/env python3
"""Mutation tester: puts one small fault at a time into a product source,
rebuilds only the test suites that link it, runs them with a time limit and
reports which faults the tests catch (killed), which they miss (survived),
which hang (timeout, counted as caught) and which do not compile.

The build folder (default build/mutate) is this tool's own, configured once
from the linux preset's settings, or another native preset's (--preset).
Every source is restored after each mutant, on errors and on Ctrl-C; a run
killed outright leaves a journal that the next run restores from before
anything else.

Examples:
  scripts/mutate.py --max 300 --seed 1 --json build/mutate/report.json
  scripts/mutate.py --files 'image/qvlz.cpp' --max 40
  scripts/mutate.py --mutant 'system/framework.h:7:inline constexpr std::size_t kFrameworkHeapSize = 1048576;'
  scripts/mutate.py --patch my-fault.diff
  scripts/mutate.py --list --files 'xml/*'
  scripts/mutate.py --recheck build/mutate/report.json --json build/mutate/after.json
  scripts/mutate.py --preset linux-asan --recheck build/mutate/after.json --json asan.json
"""

import argparse
import fcntl
import json
import fnmatch
import os
import random
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from mutation import build_graph, hand_mutants, operators, report  # noqa: E402
from mutation.lexer import LexError  # noqa: E402
from mutation.runner import (KILLED, NO_TESTS, SURVIVED, TIMEOUT, MutantRunner,  # noqa: E402
                             run_suite_once, use_sanitizer_limits)
from mutation.source_guard import GuardError, SourceGuard  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NATIVE_PRESETS = ["linux", "linux-asan"]
DEFAULT_FILES = ["app", "image", "xml", "file", "util", "system"]
PRODUCT_FOLDERS = {"app", "image", "xml", "file", "util", "system", "os", "ui", "tools"}
SOURCE_EXTENSIONS = (".cpp", ".cc", ".h", ".hpp", ".inl")
BASELINE_LIMIT = 900
SHARD_SECONDS = 8  # a GoogleTest suite slower than this runs in shards,
MAX_SHARDS = 4  # at most this many


def parse_arguments():
    parser = argparse.ArgumentParser(
        description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter,
        epilog="Operators:\n" + "\n".join(f"  {k:<17} {v}" for k, v in operators.CATALOGUE.items())
        + "\n\nNever mutated: comments, strings, preprocessor lines (includes, macros), "
        "template arguments,\narray sizes in declarations, constant tables of 64 entries or more, "
        "and the arguments\nof DebugLog, DebugLogW, AssertMessage, AssertMessageW, static_assert "
        "and sizeof.\n\nExit status: 0 when the run completed, 1 when a hand-written mutant "
        "survived,\n2 for bad usage or when the baseline cannot be built.")
    parser.add_argument("--files", nargs="+", metavar="GLOB", default=DEFAULT_FILES,
                        help="product sources to mutate, as globs relative to the repository; "
                        "a folder stands for everything below it (default: %(default)s)")
    parser.add_argument("--max", type=int, metavar="N", help="run a random sample of N mutants")
    parser.add_argument("--seed", type=int, default=1, help="the sample's seed (default 1)")
    parser.add_argument("--operators", metavar="NAMES",
                        help="comma-separated operator names to use (default: all)")
    parser.add_argument("--mutant", action="append", default=[], metavar="FILE:LINE:TEXT",
                        help="a hand-written mutant: line LINE of FILE becomes TEXT (repeatable)")
    parser.add_argument("--patch", action="append", default=[], metavar="DIFF",
                        help="a hand-written mutant as a unified diff against the tree (repeatable)")
    parser.add_argument("--recheck", metavar="REPORT",
                        help="run again only the surviving mutants of an earlier --json report, "
                        "against the sources as they are now; the report then covers the whole "
                        "earlier run, its other verdicts kept")
    parser.add_argument("--time-limit", type=float, metavar="MINUTES",
                        help="start no mutant after this many minutes; the report then covers "
                        "the mutants run so far (the sample runs file by file, the files "
                        "in a shuffled order)")
    parser.add_argument("--list", action="store_true", help="print the chosen mutants and stop")
    parser.add_argument("--json", metavar="PATH", help="also write the report as JSON")
    parser.add_argument("--preset", default="linux", choices=NATIVE_PRESETS,
                        help="the configure preset whose settings the build takes; linux-asan "
                        "also counts what AddressSanitizer catches (default: linux)")
    parser.add_argument("--build-dir",
                        help="the tool's own build folder (default: build/mutate, "
                        "build/mutate-PRESET for another preset)")
    parser.add_argument("--jobs", type=int, default=2, help="test suites run at once (default 2)")
    parser.add_argument("--build-jobs", type=int, default=2, help="parallel build jobs (default 2)")
    parser.add_argument("--timeout-factor", type=float, default=3.0,
                        help="a suite's time limit is this times its normal time, "
                        "plus 5 s, at least 10 s (default 3)")
    parser.add_argument("--nice", type=int, default=19, help="niceness to run at (default 19)")
    args = parser.parse_args()
    if args.operators:
        unknown = set(args.operators.split(",")) - set(operators.CATALOGUE)
        if unknown:
            parser.error(f"unknown operators: {', '.join(sorted(unknown))}")
    if args.max is not None and args.max < 1:
        parser.error("--max must be at least 1")
    return args


def _interrupt(signum, frame):
    raise KeyboardInterrupt


def main():
    args = parse_arguments()
    for signum in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, _interrupt)
    os.nice(max(0, args.nice - os.nice(0)))
    build_dir = os.path.abspath(args.build_dir or os.path.join(
        ROOT, "build", "mutate" if args.preset == "linux" else f"mutate-{args.preset}"))
    guard = SourceGuard(ROOT, os.path.join(build_dir, "mutate-state"))
    lock = open(os.path.join(guard.state_dir, "lock"), "w")
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        print(f"mutate: another run is using {build_dir}", file=sys.stderr)
        return 2
    try:
        restored = guard.recover()
    except GuardError as error:
        print(f"mutate: {error}", file=sys.stderr)
        return 2
    for path in restored:
        print(f"mutate: restored {path}, left mutated by an interrupted run")
    try:
        return run(args, build_dir, guard)
    except (build_graph.BuildError, hand_mutants.HandMutantError) as error:
        print(f"mutate: {error}", file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        guard.restore()
        print("mutate: interrupted; the sources are restored", file=sys.stderr)
        return 130


def run(args, build_dir, guard):
    started = time.time()
    log = os.path.join(guard.state_dir, "setup.log")
    print(f"mutate: configuring and building {os.path.relpath(build_dir, ROOT)} (log: {log})")
    build_graph.configure(ROOT, build_dir, log, args.preset)
    if build_graph.is_sanitized(ROOT, args.preset):
        use_sanitizer_limits()
    build_graph.build(build_dir, [], log, args.build_jobs)
    graph = build_graph.read_graph(ROOT, build_dir)

    hand_written = bool(args.mutant or args.patch)
    kept = []
    if args.recheck:
        kept, mutants = _earlier_survivors(args.recheck)
    elif hand_written:
        mutants = hand_mutants.from_lines(ROOT, args.mutant) + hand_mutants.from_patches(ROOT, args.patch)
    else:
        mutants = choose_mutants(args, graph)
    if args.list:
        for m in mutants:
            print(f"{m.id}  {m.description}")
        print(f"{len(mutants)} mutants")
        return 0

    suites = {name for m in mutants for path in m.paths for name in graph.suites_for(path)}
    limits = baseline(graph, sorted(suites), guard.state_dir, args.timeout_factor)
    runner = MutantRunner(build_dir, guard.state_dir, args.jobs, args.build_jobs)
    order = SuiteOrder(graph)
    results = []
    interrupted = False
    try:
        for number, mutant in enumerate(mutants, 1):
            if args.time_limit is not None and time.time() - started > 60 * args.time_limit:
                print(f"mutate: time limit reached; {len(results)} of {len(mutants)} mutants run")
                break
            candidates = sorted({s for p in mutant.paths for s in graph.suites_for(p) if s in limits},
                                key=lambda s: order.key(mutant.paths[0], s))
            guard.apply(mutant.edits)
            try:
                outcome = runner.run([graph.suites[s] for s in candidates], limits)
            finally:
                guard.restore()
            if outcome.verdict in (KILLED, TIMEOUT):
                order.record(mutant.paths[0], outcome.suite)
            results.append(mutant.result(outcome))
            by = f" by {outcome.suite}" if outcome.suite else ""
            print(f"[{number}/{len(mutants)}] {outcome.verdict:<13} {mutant.id}  {mutant.description}"
                  f"{by} ({outcome.seconds:.1f} s)", flush=True)
    except KeyboardInterrupt:
        # The mutants judged so far still make a report (and a --recheck list).
        guard.restore()
        interrupted = True
        print(f"mutate: interrupted; {len(results)} of {len(mutants)} mutants run, "
              "the sources are restored", flush=True)

    results = kept + results
    print()
    print(report.text_report(results))
    elapsed = time.time() - started
    print(f"{len(results)} mutants in {elapsed / 60:.1f} min")
    if args.json:
        run_facts = {"commit": _commit(), "arguments": sys.argv[1:], "seed": args.seed,
                     "preset": args.preset,
                     "max": args.max, "files": args.files, "seconds": round(elapsed, 1),
                     "chosen": len(mutants), "run": len(results), "interrupted": interrupted,
                     "suite_limits": limits,
                     "recheck_of": args.recheck and _earlier_run(args.recheck)}
        report.json_report(args.json, run_facts, results)
    if hand_written and any(r["verdict"] not in (KILLED, TIMEOUT) for r in results):
        return 1
    return 0


def _earlier_run(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)["run"]


def _earlier_survivors(path):
    """(the earlier report's other results, its survivors as mutants of the
    current sources). A survivor whose lines changed since is left out, said."""
    with open(path, encoding="utf-8") as f:
        earlier = json.load(f)["mutants"]
    kept = [r for r in earlier if r["verdict"] not in (SURVIVED, NO_TESTS)]
    mutants = []
    for entry in (r for r in earlier if r["verdict"] in (SURVIVED, NO_TESTS)):
        try:
            mutant = hand_mutants.from_diff(ROOT, entry["diff"])
        except hand_mutants.HandMutantError:
            print(f"mutate: {entry['id']} left out: its code has changed since", file=sys.stderr)
            continue
        mutant.id, mutant.description = entry["id"], entry["description"]
        mutant.operator, mutant.line = entry["operator"], entry["line"]
        mutants.append(mutant)
    return kept, mutants


def choose_mutants(args, graph):
    """Every mutant of the chosen files, or a sample of them that depends
    only on the seed and the sources."""
    wanted = set(args.operators.split(",")) if args.operators else None
    every = []
    for path in product_files(args.files, graph):
        with open(os.path.join(ROOT, path), encoding="utf-8", newline="") as f:
            source = f.read()
        try:
            found = operators.mutants_of(path, source)
        except LexError as error:
            print(f"mutate: {path} skipped: {error}", file=sys.stderr)
            continue
        every.extend(hand_mutants.Generated(m, source) for m in found
                     if wanted is None or m.operator in wanted)
    rng = random.Random(args.seed)
    if args.max is not None and args.max < len(every):
        every = [every[i] for i in sorted(rng.sample(range(len(every)), args.max))]
    # File by file (the restored file and the next mutant then compile as
    # one), the files in a shuffled order, so that a run cut short by
    # --time-limit still spreads over the folders.
    files = sorted({m.paths[0] for m in every})
    rng.shuffle(files)
    rank = {path: n for n, path in enumerate(files)}
    return sorted(every, key=lambda m: rank[m.paths[0]])


def product_files(patterns, graph):
    """The product sources this build compiles that match the globs."""
    patterns = [p.rstrip("/") for p in patterns]
    patterns += [p + "/*" for p in patterns if not any(c in p for c in "*?[")]
    return sorted(path for path in graph.objects_of_source
                  if path.split("/", 1)[0] in PRODUCT_FOLDERS and path.endswith(SOURCE_EXTENSIONS)
                  and any(fnmatch.fnmatch(path, p) for p in patterns))


def baseline(graph, names, state_dir, factor):
    """Runs the suites once unchanged; returns their time limits. A suite
    that fails here cannot judge mutants and is left out."""
    limits = {}
    for name in names:
        suite = graph.suites[name]
        log = os.path.join(state_dir, f"baseline-{name}.log")
        passed, seconds = run_suite_once(suite, BASELINE_LIMIT, log)
        if not passed:
            print(f"mutate: {name} fails without any mutant (see {log}); it is left out",
                  file=sys.stderr)
            continue
        suite.baseline_seconds = seconds
        limits[name] = round(max(10.0, factor * seconds + 5.0), 1)
        shards = min(MAX_SHARDS, int(seconds // SHARD_SECONDS))
        if suite.is_googletest and not suite.run_serial and shards > 1:
            log = os.path.join(state_dir, f"baseline-{name}-shards.log")
            passed, sharded = run_suite_once(suite, BASELINE_LIMIT, log, shards)
            if passed and sharded < seconds:
                suite.shards, suite.baseline_seconds = shards, sharded
        print(f"mutate: baseline {name} {suite.baseline_seconds:.1f} s in {suite.shards} "
              f"process(es), limit {limits[name]} s")
    return limits


class SuiteOrder:
    """Tries first the suites that killed mutants of the same file, then of
    the same folder, then the quickest."""

    def __init__(self, graph):
        self.graph = graph
        self.kills = {}

    def record(self, path, suite):
        for key in ((path, suite), (path.split("/", 1)[0], suite)):
            self.kills[key] = self.kills.get(key, 0) + 1

    def key(self, path, suite):
        return (-self.kills.get((path, suite), 0), -self.kills.get((path.split("/", 1)[0], suite), 0),
                self.graph.suites[suite].baseline_seconds, suite)


def _commit():
    top = subprocess.run(["git", "-C", ROOT, "rev-parse", "--show-toplevel"], capture_output=True,
                         text=True).stdout.strip()
    if not top or os.path.realpath(top) != os.path.realpath(ROOT):
        return "unknown"
    result = subprocess.run(["git", "-C", ROOT, "rev-parse", "HEAD"], capture_output=True, text=True)
    dirty = subprocess.run(["git", "-C", ROOT, "status", "--porcelain", "--untracked-files=no"],
                           capture_output=True, text=True).stdout.strip()
    return result.stdout.strip() + ("-dirty" if dirty else "")


if __name__ == "__main__":
    sys.exit(main())
