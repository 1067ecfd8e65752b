"""Runs one mutant: builds the test suites that link the mutated sources one
after the other and runs each as soon as it is built, two at a time, until a
suite fails (killed), overruns its time (timeout) or all pass (survived)."""

import os
import re
import resource
import signal
import subprocess
import time
from dataclasses import dataclass

KILLED, TIMEOUT, SURVIVED, NOT_COMPILING, NO_TESTS = (
    "killed", "timeout", "survived", "not-compiling", "no-tests")

_POLL_SECONDS = 0.05
_MEMORY_LIMIT = 4 << 30  # a mutant that allocates without end fails instead
# and one that writes without end too; the suites themselves make sparse
# files past 4 GiB
_FILE_SIZE_LIMIT = 16 << 30
_CONFIRM_FACTOR = 5
_FAILED_TEST = re.compile(r"^\[  FAILED  \] (\S+)", re.M)


@dataclass
class Outcome:
    verdict: str
    suite: str = ""  # the suite that killed it
    detail: str = ""  # the failing test, or the first compiler error
    seconds: float = 0.0


_address_space_limit = _MEMORY_LIMIT


def use_sanitizer_limits():
    """AddressSanitizer reserves terabytes of address space at start, so its
    suites are held to a resident size by the sanitizer instead."""
    global _address_space_limit
    _address_space_limit = None
    options = os.environ.get("ASAN_OPTIONS", "")
    os.environ["ASAN_OPTIONS"] = ":".join(
        filter(None, [options, f"hard_rss_limit_mb={_MEMORY_LIMIT >> 20}"]))


def _limit_resources():
    if _address_space_limit is not None:
        resource.setrlimit(resource.RLIMIT_AS, (_address_space_limit, _address_space_limit))
    resource.setrlimit(resource.RLIMIT_FSIZE, (_FILE_SIZE_LIMIT, _FILE_SIZE_LIMIT))


def _stop_group(process):
    try:
        os.killpg(process.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    process.wait()


class _RunningSuite:
    """One suite, split into GoogleTest shards run side by side when it is
    slow; it fails as soon as one shard fails."""

    def __init__(self, suite, limit, log_path, shards=None):
        self.suite, self.limit, self.log_path = suite, limit, log_path
        self.shards = suite.shards if shards is None else shards
        self.confirming = False
        self._start()

    def _start(self):
        self.log = open(self.log_path, "wb")
        self.started = time.monotonic()
        self.processes = []
        for index in range(self.shards):
            environment = dict(os.environ)
            environment.update(self.suite.environment)
            environment["GTEST_FAIL_FAST"] = "1"  # the first failure is enough
            if self.shards > 1:
                environment.update(GTEST_TOTAL_SHARDS=str(self.shards),
                                   GTEST_SHARD_INDEX=str(index))
            self.processes.append(subprocess.Popen(
                self.suite.command, cwd=self.suite.working_directory, env=environment,
                stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT,
                start_new_session=True, preexec_fn=_limit_resources))

    def poll(self):
        """None while running, else (passed, timed out)."""
        codes = [p.poll() for p in self.processes]
        if any(code not in (None, 0) for code in codes):
            self.stop()
            return False, False
        if all(code == 0 for code in codes):
            self.log.close()
            return True, False
        if time.monotonic() - self.started <= self.limit:
            return None
        self.stop()
        if not self.confirming:
            # A machine busier than at the baseline slows a sound suite past
            # its limit too: it only counts as hanging when it also overruns
            # a limit several times longer.
            self.confirming = True
            self.limit *= _CONFIRM_FACTOR
            self._start()
            return None
        return False, True

    def stop(self):
        for process in self.processes:
            _stop_group(process)
        self.log.close()

    def failing_test(self):
        with open(self.log_path, encoding="utf-8", errors="replace") as f:
            m = _FAILED_TEST.search(f.read())
        return m.group(1) if m else ""


def run_suite_once(suite, limit, log_path, shards=1):
    """(passed, seconds) of one suite on the unchanged tree."""
    running = _RunningSuite(suite, limit, log_path, shards)
    while (result := running.poll()) is None:
        time.sleep(_POLL_SECONDS)
    return result[0], time.monotonic() - running.started


class MutantRunner:
    def __init__(self, build_dir, state_dir, jobs=2, build_jobs=2):
        self.build_dir, self.state_dir = build_dir, state_dir
        self.jobs, self.build_jobs = jobs, build_jobs
        self.build_log = os.path.join(state_dir, "build.log")

    def run(self, suites, limits):
        """suites in the order to try them; limits: name -> seconds."""
        started = time.monotonic()
        if not suites:
            return Outcome(NO_TESTS)
        pending, built, running = list(suites), [], []
        build, building = None, None
        outcome = None
        try:
            while True:
                if build is None and pending and outcome is None:
                    building = pending.pop(0)
                    if building.relink and os.path.exists(building.relink):
                        os.remove(building.relink)
                    build = self._start_build(building.target)
                if build is not None and build.poll() is not None:
                    if build.returncode == 0:
                        built.append(building)
                    elif outcome is None:
                        outcome = Outcome(NOT_COMPILING, detail=self._first_error())
                    build = None
                while outcome is None and built and self._may_start(built[0], running):
                    suite = built.pop(0)
                    log = os.path.join(self.state_dir, f"test-{suite.name}.log")
                    running.append(_RunningSuite(suite, limits[suite.name], log))
                for entry in list(running):
                    result = entry.poll()
                    if result is None:
                        continue
                    running.remove(entry)
                    passed, timed_out = result
                    if outcome is None and timed_out:
                        outcome = Outcome(TIMEOUT, entry.suite.name)
                    elif outcome is None and not passed:
                        outcome = Outcome(KILLED, entry.suite.name, entry.failing_test())
                if outcome is not None:
                    for entry in running:
                        entry.stop()
                    running = []
                    if build is None:
                        break
                elif build is None and not pending and not built and not running:
                    outcome = Outcome(SURVIVED)
                    break
                time.sleep(_POLL_SECONDS)
        finally:
            for entry in running:
                entry.stop()
            if build is not None:
                # A link cut short can leave a damaged file behind: let it end.
                build.wait()
        outcome.seconds = time.monotonic() - started
        return outcome

    def _may_start(self, suite, running):
        if not running:
            return True
        if suite.run_serial or any(r.suite.run_serial for r in running):
            return False
        return len(running) < self.jobs

    def _start_build(self, target):
        log = open(self.build_log, "wb")
        process = subprocess.Popen(
            ["cmake", "--build", self.build_dir, "-j", str(self.build_jobs), "--target", target],
            stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        log.close()
        return process

    def _first_error(self):
        with open(self.build_log, encoding="utf-8", errors="replace") as f:
            for line in f:
                if "error" in line:
                    return line.strip()[:300]
        return ""
