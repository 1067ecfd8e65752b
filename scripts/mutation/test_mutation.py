"""Tests of the mutation operators, the source guard and the suite runner.

CTest runs them as mutation_tool; by hand:
python3 -m unittest discover -s scripts/mutation -t scripts
"""

import hashlib
import json
import os
import tempfile
import unittest

from mutation import hand_mutants, report
from mutation import runner
from mutation.build_graph import Suite, _objects_of_sources, is_sanitized
from mutation.runner import run_suite_once
from mutation.operators import _parse_integer, mutants_of
from mutation.source_guard import GuardError, SourceGuard


def mutated(source, operator=None):
    """The set of mutated sources (whitespace squeezed) of one snippet."""
    return {" ".join(m.apply(source).split()) for m in mutants_of("x.cpp", source)
            if operator is None or m.operator == operator}


def body(code):
    return "int f(int a, int b) {\n" + code + "\n}\n"


class OperatorTest(unittest.TestCase):
    def test_relational_boundaries_and_equality(self):
        self.assertEqual(mutated(body("return a < b;"), "relational"),
                         {"int f(int a, int b) { return a <= b; }"})
        self.assertEqual(mutated(body("return a != b;"), "relational"),
                         {"int f(int a, int b) { return a == b; }"})

    def test_template_brackets_are_not_comparisons(self):
        source = body("std::vector<std::array<int, 4>> v; return static_cast<int>(a) > b;")
        found = mutated(source, "relational") | mutated(source, "bitwise")
        self.assertEqual(found, {" ".join(source.replace("> b", ">= b").split())})
        self.assertEqual(mutated(source, "constant"), set())

    def test_spacing_tells_binary_operators_from_declarators(self):
        source = body("const Foo& r = g(); int* p = h(); return a & b;")
        self.assertEqual(mutated(source, "bitwise"),
                         {" ".join(source.replace("a & b", "a | b").split())})
        self.assertEqual(mutated(body("return -a;"), "arithmetic"), set())
        self.assertIn(" ".join(body("return a + 1;").replace("+", "-").split()),
                      mutated(body("return a + 1;"), "arithmetic"))

    def test_constants_keep_base_width_and_suffix(self):
        self.assertEqual(_parse_integer("0x00FFu")[1](256), "0x0100u")
        self.assertEqual(_parse_integer("1'000")[0], 1000)
        self.assertEqual(_parse_integer("017")[0], 15)
        self.assertIsNone(_parse_integer("1.5f"))
        self.assertEqual(mutated(body("return 1;"), "constant"),
                         {"int f(int a, int b) { return 0; }", "int f(int a, int b) { return 2; }"})

    def test_nothing_from_comments_strings_includes_logs_or_array_sizes(self):
        source = ('#include <a.h>\n#define N 3\n// a < b 1\n/* a == b */\n'
                  + body('DebugLog("%d", a + 1); AssertMessage(a < 2, "x"); '
                         'static_assert(sizeof(int) == 4); char buf[64]; const char* s = "a<b 1";'))
        self.assertEqual(mutants_of("x.cpp", source), [])

    def test_statements_deleted_but_not_declarations_or_returns(self):
        source = body("int x = a; x += b; g(x); if (x) return x; while (a) { ++a; break; } return 0;")
        originals = {source[m.start : m.end] for m in mutants_of("x.cpp", source)
                     if m.operator == "delete-statement"}
        self.assertEqual(originals, {"x += b;", "g(x);", "++a;", "break;"})

    def test_conditions_inverted_and_negations_dropped(self):
        self.assertEqual(mutated(body("if (a == b) g();"), "invert-condition"),
                         {"int f(int a, int b) { if (!(a == b)) g(); }"})
        self.assertEqual(mutated(body("if (!a) g();"), "invert-condition"), set())
        self.assertEqual(mutated(body("if (!a) g();"), "logical"),
                         {"int f(int a, int b) { if (a) g(); }"})

    def test_neighbouring_arguments_swapped_when_alike(self):
        self.assertEqual(mutated(body("g(a, b, 3);"), "swap-arguments"),
                         {"int f(int a, int b) { g(b, a, 3); }"})
        self.assertEqual(mutated(body('g(a, "t"); g(&a, b);'), "swap-arguments"), set())

    def test_indexes_moved_and_declared_sizes_left(self):
        self.assertEqual(mutated(body("int v[8]; return v[a];"), "index"),
                         {"int f(int a, int b) { int v[8]; return v[a + 1]; }",
                          "int f(int a, int b) { int v[8]; return v[a - 1]; }"})

    def test_large_tables_are_not_mutated(self):
        table = "const int t[] = {" + ", ".join(str(i) for i in range(70)) + "};\n"
        self.assertEqual(mutated(table, "constant"), set())
        self.assertEqual(len(mutated("const int t[] = {5, 6};\n", "constant")), 4)


class SourceGuardTest(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp()
        self.state = os.path.join(self.root, "state")
        self.path = os.path.join(self.root, "a.cpp")
        with open(self.path, "wb") as f:
            f.write(b"original\r\n")

    def read(self):
        with open(self.path, "rb") as f:
            return f.read()

    def test_restores_after_a_run_that_was_killed(self):
        SourceGuard(self.root, self.state).apply([("a.cpp", b"original\r\n", b"mutant\r\n")])
        self.assertEqual(self.read(), b"mutant\r\n")
        # A new run finds the journal the killed one left.
        self.assertEqual(SourceGuard(self.root, self.state).recover(), ["a.cpp"])
        self.assertEqual(self.read(), b"original\r\n")
        self.assertEqual(SourceGuard(self.root, self.state).recover(), [])

    def test_never_overwrites_an_edit_made_while_the_mutant_was_in(self):
        guard = SourceGuard(self.root, self.state)
        guard.apply([("a.cpp", b"original\r\n", b"mutant\r\n")])
        with open(self.path, "wb") as f:
            f.write(b"mutant plus an edit\n")
        with self.assertRaises(GuardError):
            guard.recover()
        self.assertEqual(self.read(), b"mutant plus an edit\n")
        with open(os.path.join(self.state, "journal.json"), encoding="utf-8") as f:
            backup = json.load(f)[0]["backup"]
        with open(os.path.join(self.state, backup), "rb") as f:
            self.assertEqual(hashlib.sha256(f.read()).digest(), hashlib.sha256(b"original\r\n").digest())

    def test_refuses_a_file_changed_since_the_mutants_were_made(self):
        with self.assertRaises(GuardError):
            SourceGuard(self.root, self.state).apply([("a.cpp", b"older\n", b"mutant\n")])
        self.assertEqual(self.read(), b"original\r\n")


class HandMutantTest(unittest.TestCase):
    def test_a_line_is_replaced_keeping_its_ending(self):
        root = tempfile.mkdtemp()
        with open(os.path.join(root, "a.cpp"), "w", newline="") as f:
            f.write("one\r\ntwo\r\n")
        mutant, = hand_mutants.from_lines(root, ["a.cpp:2:three"])
        self.assertEqual(mutant.edits, [("a.cpp", b"one\r\ntwo\r\n", b"one\r\nthree\r\n")])
        with self.assertRaises(hand_mutants.HandMutantError):
            hand_mutants.from_lines(root, ["a.cpp:3:x"])

    def test_a_reports_diff_still_applies_after_lines_moved_but_not_once_changed(self):
        root = tempfile.mkdtemp()
        path = os.path.join(root, "a.cpp")
        with open(path, "w") as f:
            f.write("int a;\nif (x < 1)\n  go();\n")
        diff = report.unified_diff([("a.cpp", "int a;\nif (x < 1)\n  go();\n",
                                     "int a;\nif (x <= 1)\n  go();\n")])
        with open(path, "w") as f:
            f.write("// new\n// lines\nint a;\nif (x < 1)\n  go();\n")
        mutant = hand_mutants.from_diff(root, diff)
        self.assertEqual(mutant.edits[0][2], b"// new\n// lines\nint a;\nif (x <= 1)\n  go();\n")
        with open(path, "w") as f:
            f.write("int a;\nif (x < 2)\n  go();\n")
        with self.assertRaises(hand_mutants.HandMutantError):
            hand_mutants.from_diff(root, diff)


class BuildGraphTest(unittest.TestCase):
    def test_relative_dependencies_resolve_from_where_the_compiler_ran(self):
        root = os.path.realpath(tempfile.mkdtemp())
        os.makedirs(os.path.join(root, "app"))
        open(os.path.join(root, "app", "a.cpp"), "w").close()
        objects = os.path.join(root, "build", "app", "CMakeFiles", "t.dir")
        os.makedirs(objects)
        obj = os.path.join(objects, "a.cpp.o")
        open(obj, "w").close()
        with open(obj + ".d", "w") as f:
            f.write("app/CMakeFiles/t.dir/a.cpp.o: \\\n ../../app/a.cpp /usr/include/x.h\n")
        found, targets = _objects_of_sources(root, os.path.join(root, "build"))
        self.assertEqual(found, {"app/a.cpp": {obj}})
        self.assertEqual(targets, {obj: "t"})

    def test_a_sanitizer_preset_is_told_by_its_inherited_flags(self):
        root = tempfile.mkdtemp()
        presets = [{"name": "plain", "cacheVariables": {"CMAKE_CXX_FLAGS": "-O2"}},
                   {"name": "checked", "inherits": "plain",
                    "cacheVariables": {"CMAKE_CXX_FLAGS": {"type": "STRING",
                                                           "value": "-fsanitize=address"}}},
                   {"name": "child", "inherits": ["checked"]}]
        with open(os.path.join(root, "CMakePresets.json"), "w") as f:
            json.dump({"configurePresets": presets}, f)
        self.assertEqual([is_sanitized(root, p["name"]) for p in presets], [False, True, True])


class RunnerTest(unittest.TestCase):
    def run_shell(self, script, limit):
        folder = tempfile.mkdtemp()
        suite = Suite("s", "s", ["sh", "-c", script], {}, folder, False)
        return run_suite_once(suite, limit, os.path.join(folder, "log"))[0]

    def test_an_overrun_is_a_hang_only_when_a_longer_limit_is_overrun_too(self):
        self.assertTrue(self.run_shell("sleep 0.4", 0.2))
        self.assertFalse(self.run_shell("sleep 0.4; exit 1", 0.2))
        self.assertFalse(self.run_shell("sleep 30", 0.1))

    def test_sanitized_suites_trade_the_address_space_limit_for_a_resident_one(self):
        probe = ('[ "$(ulimit -v)" = unlimited ] && '
                 'case "$ASAN_OPTIONS" in *hard_rss_limit_mb=4096*) exit 0;; esac; exit 1')
        self.assertFalse(self.run_shell(probe, 5))
        saved = (runner._address_space_limit, os.environ.get("ASAN_OPTIONS"))
        try:
            runner.use_sanitizer_limits()
            self.assertTrue(self.run_shell(probe, 5))
        finally:
            runner._address_space_limit = saved[0]
            if saved[1] is None:
                os.environ.pop("ASAN_OPTIONS", None)
            else:
                os.environ["ASAN_OPTIONS"] = saved[1]


if __name__ == "__main__":
    unittest.main()
