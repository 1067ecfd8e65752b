"""The mutation build folder and what its build graph says: which targets
compile a source (the compiler's dependency files), which executables link
those targets (CMake's File API), and which CTest tests run them."""

import functools
import glob
import json
import os
import re
import subprocess
from dataclasses import dataclass, field


class BuildError(RuntimeError):
    pass


@dataclass
class Suite:
    name: str
    target: str  # the executable target the test runs
    command: list
    environment: dict
    working_directory: str
    run_serial: bool
    baseline_seconds: float = 0.0
    shards: int = 1  # GoogleTest shards run side by side
    # The test's own program when it starts other programs of the build: it
    # is relinked for every mutant, so that the steps after its link (which
    # copy those programs beside it) see the mutant too.
    relink: str = ""

    @property
    def is_googletest(self):
        return any(arg.startswith("--gtest") for arg in self.command)


@dataclass
class Graph:
    objects_of_source: dict = field(default_factory=dict)  # repo path -> {object file}
    suites_of_object: dict = field(default_factory=dict)  # object file -> {suite name}
    suites: dict = field(default_factory=dict)  # name -> Suite

    def suites_for(self, path):
        names = set()
        for obj in self.objects_of_source.get(path, ()):
            names.update(self.suites_of_object.get(obj, ()))
        return sorted(names)


def preset_settings(root, name="linux"):
    """(generator, cache variables) of a configure preset, inheritance resolved;
    a variable given as {"type": ..., "value": ...} comes back as its value."""
    with open(os.path.join(root, "CMakePresets.json"), encoding="utf-8") as f:
        presets = {p["name"]: p for p in json.load(f)["configurePresets"]}

    def resolve(preset_name):
        preset = presets[preset_name]
        inherits = preset.get("inherits", [])
        generator, variables = None, {}
        for parent in [inherits] if isinstance(inherits, str) else inherits:
            generator, parent_variables = resolve(parent)
            variables.update(parent_variables)
        for key, value in preset.get("cacheVariables", {}).items():
            variables[key] = value.get("value", "") if isinstance(value, dict) else value
        return preset.get("generator", generator), variables

    return resolve(name)


def is_sanitized(root, preset):
    _, variables = preset_settings(root, preset)
    return "-fsanitize=" in variables.get("CMAKE_CXX_FLAGS", "")


def configure(root, build_dir, log, preset="linux"):
    """Configures the build folder from a preset's settings (only the
    generator and cache variables are taken: the folder is our own)."""
    query = os.path.join(build_dir, ".cmake", "api", "v1", "query", "codemodel-v2")
    os.makedirs(os.path.dirname(query), exist_ok=True)
    open(query, "a").close()
    generator, variables = preset_settings(root, preset)
    command = ["cmake", "-S", root, "-B", build_dir]
    if not os.path.exists(os.path.join(build_dir, "CMakeCache.txt")) and generator:
        command += ["-G", generator]
    command += [f"-D{key}={value}" for key, value in variables.items()]
    run_logged(command, log, "configure")


def build(build_dir, targets, log, jobs=2):
    run_logged(["cmake", "--build", build_dir, "-j", str(jobs)]
               + (["--target", *targets] if targets else []), log, "build")


def run_logged(command, log, what):
    with open(log, "ab") as out:
        out.write(("\n$ " + " ".join(command) + "\n").encode())
        out.flush()
        result = subprocess.run(command, stdout=out, stderr=subprocess.STDOUT)
    if result.returncode != 0:
        raise BuildError(f"{what} failed (see {log})")


def read_graph(root, build_dir):
    """Which suites can see a mutant of a source: those whose executables
    (the test's own and the programs it starts) link an object compiled from
    or including the source. An object counts as linked when it belongs to
    the executable's target or one of its symbols made it into the program;
    an archive member nothing referred to was left out by the linker."""
    graph = Graph()
    graph.objects_of_source, target_of_object = _objects_of_sources(root, build_dir)
    targets = _file_api_targets(build_dir)
    graph.suites = _ctest_suites(build_dir, targets)
    closure = _dependency_closure(targets)
    program_symbols = {}
    for suite in graph.suites.values():
        programs = [t for t in closure.get(suite.target, {suite.target})
                    if targets[t][0] == "EXECUTABLE"]
        if len(programs) > 1:
            suite.relink = targets[suite.target][1][0]
        for obj, target in target_of_object.items():
            if target not in closure.get(suite.target, ()):
                continue
            for program in programs:
                if program not in program_symbols:
                    program_symbols[program] = _symbols(targets[program][1][0], strong_only=False)
                if target == program or _strong_symbols(obj) & program_symbols[program]:
                    graph.suites_of_object.setdefault(obj, set()).add(suite.name)
                    break
    return graph


_OBJECT_DIR = re.compile(r"CMakeFiles/([^/]+)\.dir/")


def _objects_of_sources(root, build_dir):
    """Every product file the build compiled or included, with the objects
    that depend on it (from the compiler's dependency files), and the
    target of every object."""
    root = os.path.realpath(root) + os.sep
    objects, target_of_object = {}, {}
    for depfile in glob.glob(os.path.join(build_dir, "**", "*.o.d"), recursive=True):
        m = _OBJECT_DIR.search(depfile)
        obj = depfile[: -len(".d")]
        if not m or not os.path.exists(obj):
            continue
        target_of_object[obj] = m.group(1)
        with open(depfile, encoding="utf-8", errors="replace") as f:
            text = f.read().replace("\\\n", " ")
        _, _, prerequisites = text.partition(": ")
        # Relative paths (a compiler launcher such as ccache with a base
        # folder writes them) are relative to where the compiler ran: the
        # target's build folder, above CMakeFiles/.
        compile_dir = depfile[: m.start()]
        for path in prerequisites.split():
            # Headers come in through each library's include links below
            # the build folder; the product file is where the link points.
            # A file moved or deleted since an object was built leaves a
            # stale object behind; only files that are there now count.
            path = _real_path(os.path.join(compile_dir, path))
            if (path.startswith(root) and os.sep + "build" + os.sep not in path[len(root) - 1 :]
                    and os.path.exists(path)):
                objects.setdefault(path[len(root) :], set()).add(obj)
    return objects, target_of_object


@functools.lru_cache(maxsize=None)
def _real_path(path):
    return os.path.realpath(path)


_strong_cache = {}


def _strong_symbols(obj):
    if obj not in _strong_cache:
        _strong_cache[obj] = _symbols(obj, strong_only=True)
    return _strong_cache[obj]


def _symbols(path, strong_only):
    """The global symbols a file defines (strong ones only: not weak, not
    inline functions that every includer carries)."""
    listing = subprocess.run(["nm", "-g", "--defined-only", "-P", path], capture_output=True,
                             text=True)
    names = set()
    for line in listing.stdout.splitlines():
        fields = line.split()
        if len(fields) >= 2 and (not strong_only or fields[1] in "TDBRGSC"):
            names.add(fields[0])
    return names


def _file_api_targets(build_dir):
    """name -> (type, artifact paths, direct dependency names)."""
    reply = os.path.join(build_dir, ".cmake", "api", "v1", "reply")
    indexes = sorted(glob.glob(os.path.join(reply, "index-*.json")))
    if not indexes:
        raise BuildError("CMake wrote no File API reply")
    with open(indexes[-1], encoding="utf-8") as f:
        index = json.load(f)
    codemodel_file = index["reply"]["codemodel-v2"]["jsonFile"]
    with open(os.path.join(reply, codemodel_file), encoding="utf-8") as f:
        codemodel = json.load(f)
    by_id, raw = {}, []
    for entry in codemodel["configurations"][0]["targets"]:
        with open(os.path.join(reply, entry["jsonFile"]), encoding="utf-8") as f:
            target = json.load(f)
        by_id[target["id"]] = target["name"]
        raw.append(target)
    targets = {}
    for target in raw:
        artifacts = [os.path.normpath(os.path.join(build_dir, a["path"]))
                     for a in target.get("artifacts", [])]
        deps = [by_id[d["id"]] for d in target.get("dependencies", []) if d["id"] in by_id]
        targets[target["name"]] = (target["type"], artifacts, deps)
    return targets


def _dependency_closure(targets):
    """target -> every target it needs, itself included."""
    closure = {}

    def visit(name, seen):
        if name in closure:
            return closure[name]
        seen.add(name)
        result = {name}
        for dep in targets.get(name, (None, [], []))[2]:
            if dep not in seen:
                result |= visit(dep, seen)
        closure[name] = result
        return result

    for name in targets:
        visit(name, set())
    return closure


def _ctest_suites(build_dir, targets):
    """The CTest tests whose command runs an executable target of the build."""
    listing = subprocess.run(["ctest", "--show-only=json-v1"], cwd=build_dir,
                             capture_output=True, text=True, check=True)
    by_artifact = {a: name for name, (kind, artifacts, _) in targets.items()
                   if kind == "EXECUTABLE" for a in artifacts}
    suites = {}
    for test in json.loads(listing.stdout).get("tests", []):
        command = test.get("command") or []
        target = next((by_artifact[os.path.normpath(c)] for c in command
                       if os.path.normpath(c) in by_artifact), None)
        if target is None:
            continue
        properties = {p["name"]: p["value"] for p in test.get("properties", [])}
        environment = dict(e.split("=", 1) for e in properties.get("ENVIRONMENT", []) if "=" in e)
        suites[test["name"]] = Suite(test["name"], target, command, environment,
                                     properties.get("WORKING_DIRECTORY", build_dir),
                                     bool(properties.get("RUN_SERIAL", False)))
    return suites
