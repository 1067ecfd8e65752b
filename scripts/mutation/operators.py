"""The catalogue of mutation operators and the mutants they make of a source.

Each mutant is one small fault: an operator flipped, a constant or index
moved by one, two arguments swapped, a statement dropped, a condition
inverted. Nothing is made from comments, strings, preprocessor lines
(includes), template arguments, array sizes in declarations, or from the
arguments of logging and assertion calls, since none of those can be a fault
the tests should catch.

The sources are formatted with spaces around binary operators and none after
a type (`a & b`, `a * b`, `a && b` against `Foo& x`, `Foo* p`, `Foo&& x`);
the operators that are also declarators rely on that.
"""

from dataclasses import dataclass

from .lexer import CHAR, IDENT, NUMBER, PUNCT, STRING, LexError, tokenize


@dataclass(frozen=True)
class Mutant:
    path: str  # relative to the repository
    start: int  # the span of the source that is replaced
    end: int
    replacement: str
    operator: str  # the catalogue name
    line: int

    def apply(self, source):
        return source[: self.start] + self.replacement + source[self.end :]

    def describe(self, source):
        before = source[self.start : self.end]
        return f"{self.operator}: `{_shorten(before)}` -> `{_shorten(self.replacement)}`"


def _shorten(text, limit=60):
    text = " ".join(text.split())
    return text if len(text) <= limit else text[: limit - 3] + "..."


# The catalogue: name -> what it does (for --list-operators and the report).
CATALOGUE = {
    "relational": "boundary and equality flips: < <=, > >=, == !=",
    "arithmetic": "binary + -, * /, ++ --, += -=",
    "logical": "&& ||, a dropped !, true false",
    "bitwise": "& |, ^ |, &= |=, << >>, a dropped ~",
    "constant": "an integer constant plus or minus one (0 -> 1, 1 -> 0 and 2)",
    "index": "an index expression plus or minus one",
    "min-max": "std::min and std::max swapped",
    "swap-arguments": "two neighbouring call arguments swapped",
    "delete-statement": "an expression statement, break or continue dropped",
    "invert-condition": "the condition of an if or while inverted",
}

_REPLACEMENTS = {
    "relational": {"<": ["<="], "<=": ["<"], ">": [">="], ">=": [">"], "==": ["!="], "!=": ["=="]},
    "arithmetic": {"++": ["--"], "--": ["++"], "+=": ["-="], "-=": ["+="]},
    "bitwise": {"|": ["&"], "^": ["|"], "&=": ["|="], "|=": ["&="], "<<": [">>"], ">>": ["<<"],
                "<<=": [">>="], ">>=": ["<<="]},
}
_SPACED_BINARY = {"+": ("arithmetic", "-"), "-": ("arithmetic", "+"), "*": ("arithmetic", "/"),
                  "/": ("arithmetic", "*"), "&": ("bitwise", "|"), "&&": ("logical", "||"),
                  "||": ("logical", "&&")}

# Calls whose arguments are messages, and operands that are never evaluated.
_FROZEN_CALLS = {"DebugLog", "DebugLogW", "AssertMessage", "AssertMessageW", "static_assert",
                 "assert", "sizeof", "alignof", "alignas", "decltype", "noexcept", "typeid"}
_TYPE_KEYWORDS = {"void", "bool", "char", "char8_t", "char16_t", "char32_t", "wchar_t", "short",
                  "int", "long", "signed", "unsigned", "float", "double", "auto", "const",
                  "constexpr", "constinit", "static", "volatile", "inline", "thread_local",
                  "extern", "mutable", "register", "struct", "class", "enum", "union",
                  "typename"}
_STATEMENT_KEYWORDS = {"if", "else", "for", "while", "do", "switch", "case", "default", "return",
                       "goto", "try", "catch", "throw", "using", "typedef", "namespace",
                       "template", "co_return", "co_yield", "public", "private", "protected",
                       "friend", "operator", "new", "delete", "sizeof", "alignof", "decltype",
                       "static_assert", "static_cast", "reinterpret_cast", "const_cast",
                       "dynamic_cast", "virtual", "explicit", "noexcept", "override", "final",
                       "requires", "co_await", "concept"}
_KEYWORDS = _TYPE_KEYWORDS | _STATEMENT_KEYWORDS
_OPERAND_KEYWORDS = {"this", "true", "false", "nullptr"}
_NOT_CALLS = _KEYWORDS | _FROZEN_CALLS
_LARGE_TABLE = 64


class _Analysis:
    """Brackets, template angles, code blocks and frozen spans of one file."""

    def __init__(self, source):
        self.source = source
        self.tokens = [t for t in tokenize(source) if t.kind != "preproc"]
        self.match = self._match_brackets()
        self.template = set()  # indexes of < > >> that are template brackets
        self.in_template = [False] * len(self.tokens)
        self._find_templates()
        self.code = [False] * len(self.tokens)
        self._find_code()
        self.frozen = [False] * len(self.tokens)
        self._find_frozen()
        self.in_large_table = [False] * len(self.tokens)
        self._find_large_tables()

    def _match_brackets(self):
        pairs = {")": "(", "]": "[", "}": "{"}
        match, stack = {}, []
        for i, t in enumerate(self.tokens):
            if t.kind != PUNCT:
                continue
            if t.text in "([{":
                stack.append(i)
            elif t.text in pairs:
                if not stack or self.tokens[stack[-1]].text != pairs[t.text]:
                    raise LexError(f"line {t.line}: unbalanced {t.text!r}")
                j = stack.pop()
                match[i], match[j] = j, i
        if stack:
            raise LexError(f"line {self.tokens[stack[-1]].line}: unclosed bracket")
        return match

    def text(self, i):
        return self.tokens[i].text if 0 <= i < len(self.tokens) else ""

    def _find_templates(self):
        toks = self.tokens
        for i, t in enumerate(toks):
            if t.text != "<" or i in self.template or i == 0:
                continue
            prev = toks[i - 1]
            if prev.kind != IDENT or (prev.text in _KEYWORDS and prev.text != "template"):
                continue
            depth, j = 1, i + 1
            while j < len(toks):
                u = toks[j].text
                if u in ("(", "["):
                    j = self.match[j]
                elif u in (")", "]", "{", "}", ";", "&&", "||", "?", ">=", ">>=", "<=", "=="):
                    break
                elif u == "<":
                    depth += 1
                elif u in (">", ">>"):
                    depth -= 1 if u == ">" else 2
                    if depth <= 0:
                        self.template.update((i, j))
                        for k in range(i + 1, j):
                            self.in_template[k] = True
                        break
                j += 1

    def _find_code(self):
        """Marks the tokens inside function bodies (and lambdas in them)."""
        toks, stack = self.tokens, [False]
        for i, t in enumerate(toks):
            if t.text == "{" and t.kind == PUNCT:
                stack.append(stack[-1] or self._opens_function_body(i))
            elif t.text == "}" and t.kind == PUNCT:
                stack.pop()
            self.code[i] = stack[-1]

    def _opens_function_body(self, brace):
        header, i = [], brace - 1
        while i >= 0 and self.text(i) not in (";", "{", "}"):
            if self.text(i) in (")", "]"):
                i = self.match[i]
                header.append("()")
            else:
                header.append(self.text(i))
            i -= 1
        if {"class", "struct", "union", "enum", "namespace", "extern", "="} & set(header):
            return False
        return "()" in header

    def _find_frozen(self):
        toks = self.tokens
        for i, t in enumerate(toks):
            frozen_to = None
            if t.kind == IDENT and t.text in _FROZEN_CALLS and self.text(i + 1) == "(":
                frozen_to = self.match[i + 1]
            elif t.text == "operator":
                frozen_to = i + 1
                while frozen_to < len(toks) and toks[frozen_to].text != "(":
                    frozen_to += 1
                frozen_to = min(frozen_to + 1, len(toks) - 1)
            elif t.text == "[" and self.text(i + 1) == "[":  # [[attributes]]
                frozen_to = self.match[i]
            elif t.text == "template" and self.text(i + 1) == "<":
                frozen_to = i + 1
            if frozen_to is not None:
                for k in range(i, frozen_to + 1):
                    self.frozen[k] = True

    def _find_large_tables(self):
        """Constant tables (cipher boxes and the like) of more than
        _LARGE_TABLE entries: one test vector checks them all at once, and
        their thousands of constants would swamp a sample."""
        for i, t in enumerate(self.tokens):
            if t.text != "{" or self.code[i]:
                continue
            close, entries, j = self.match[i], 0, i + 1
            while j < close:
                if self.text(j) in ("(", "[", "{"):
                    j = self.match[j]
                elif self.text(j) == ",":
                    entries += 1
                j += 1
            if entries >= _LARGE_TABLE:
                for k in range(i, close):
                    self.in_large_table[k] = True

    def operand_end(self, i):
        """Whether token i can end an operand (so what follows is binary)."""
        if i < 0:
            return False
        t = self.tokens[i]
        if t.kind in (NUMBER, STRING, CHAR):
            return True
        if t.kind == IDENT:
            return t.text not in _KEYWORDS or t.text in _OPERAND_KEYWORDS
        return t.text in (")", "]") or i in self.template

    def spaced(self, i):
        t, src = self.tokens[i], self.source
        return 0 < t.start and t.end < len(src) and src[t.start - 1].isspace() and src[t.end].isspace()


def mutants_of(path, source):
    """Every mutant of one source file, in source order."""
    a = _Analysis(source)
    found = []
    for make in (_operator_mutants, _constant_mutants, _index_mutants, _swap_mutants,
                 _statement_mutants, _condition_mutants):
        found.extend(make(a, path))
    found.sort(key=lambda m: (m.start, m.end, m.operator, m.replacement))
    return found


def _at(a, path, i, replacement, operator):
    t = a.tokens[i]
    return Mutant(path, t.start, t.end, replacement, operator, t.line)


def _operator_mutants(a, path):
    for i, t in enumerate(a.tokens):
        if a.frozen[i] or a.in_template[i] or i in a.template:
            continue
        if t.kind == IDENT:
            if t.text in ("true", "false"):
                yield _at(a, path, i, "false" if t.text == "true" else "true", "logical")
            elif t.text in ("min", "max") and a.text(i + 1) == "(" and a.code[i]:
                yield _at(a, path, i, "max" if t.text == "min" else "min", "min-max")
            continue
        if t.kind != PUNCT:
            continue
        for operator, table in _REPLACEMENTS.items():
            for replacement in table.get(t.text, ()):
                if operator == "relational" and t.text in ("<", ">") and not a.spaced(i):
                    continue  # a template bracket the scan could not place
                yield _at(a, path, i, replacement, operator)
        if t.text in _SPACED_BINARY and a.spaced(i) and a.operand_end(i - 1):
            operator, replacement = _SPACED_BINARY[t.text]
            yield _at(a, path, i, replacement, operator)
        if t.text in ("!", "~") and a.code[i]:
            yield _at(a, path, i, "", "logical" if t.text == "!" else "bitwise")


def _constant_mutants(a, path):
    for i, t in enumerate(a.tokens):
        if t.kind != NUMBER or a.frozen[i] or a.in_template[i] or a.in_large_table[i] or _is_array_size(a, i):
            continue
        if a.text(i - 1) == "=" and a.text(i + 1) == ";" and not a.code[i] and a.text(i - 2) in (")", "const", "override"):
            continue  # "= 0" of a pure virtual function
        literal = _parse_integer(t.text)
        if literal is None:
            continue
        value, format_value = literal
        for changed in ([1] if value == 0 else [0, 2] if value == 1 else [value + 1, value - 1]):
            yield _at(a, path, i, format_value(changed), "constant")


def _parse_integer(text):
    """(value, formatter) of an integer literal, or None; the formatter keeps
    the base, the width of hexadecimal digits and the suffix."""
    body = text.replace("'", "")
    lower = body.lower()
    suffix_at = len(body)
    while suffix_at > 0 and lower[suffix_at - 1] in "ulz":
        suffix_at -= 1
    digits, suffix = body[:suffix_at], body[suffix_at:]
    try:
        if lower.startswith("0x"):
            value, width, upper = int(digits[2:], 16), len(digits) - 2, digits[2:] != digits[2:].lower()
            spelled = digits[:2]

            def fmt(v):
                hex_digits = format(v, "X" if upper else "x").rjust(width, "0")
                return spelled + hex_digits + suffix
        elif lower.startswith("0b"):
            value, prefix = int(digits[2:], 2), digits[:2]

            def fmt(v):
                return prefix + format(v, "b") + suffix
        elif len(digits) > 1 and digits.startswith("0"):
            value = int(digits, 8)

            def fmt(v):
                return "0" + format(v, "o") + suffix
        else:
            if not digits.isdigit():
                return None
            value = int(digits)

            def fmt(v):
                return str(v) + suffix
    except ValueError:
        return None
    return value, fmt


def _is_array_size(a, i):
    """`char name[64]` or `T name[kSize + 1]`: the size of a declared array."""
    j = i - 1
    while j >= 0 and a.text(j) != "[" and a.text(j) not in (";", "{", "}", "(", ")", "]"):
        j -= 1
    if a.text(j) != "[" or a.match.get(j, -1) < i:
        return False
    return _declares(a, j)


def _declares(a, bracket):
    name, kind = bracket - 1, bracket - 2
    if name < 0 or a.tokens[name].kind != IDENT or a.text(name) in _KEYWORDS:
        return False
    if kind < 0:
        return False
    t = a.tokens[kind]
    return (t.kind == IDENT and (t.text not in _KEYWORDS or t.text in _TYPE_KEYWORDS)) or \
        t.text in ("*", "&", "&&") and not a.spaced(kind) or kind in a.template


def _index_mutants(a, path):
    for i, t in enumerate(a.tokens):
        if t.text != "[" or not a.code[i] or a.frozen[i] or not a.operand_end(i - 1) or _declares(a, i):
            continue
        close = a.match[i]
        if close == i + 1 or (close == i + 2 and a.tokens[i + 1].kind == NUMBER):
            continue  # empty, or a constant that the constant operator moves
        first, last = a.tokens[i + 1], a.tokens[close - 1]
        expr = a.source[first.start : last.end]
        simple = all(u.kind == IDENT or u.text in (".", "->", "::") for u in a.tokens[i + 1 : close])
        base = expr if simple else f"({expr})"
        for step in ("+ 1", "- 1"):
            yield Mutant(path, first.start, last.end, f"{base} {step}", "index", first.line)


def _swap_mutants(a, path):
    for i, t in enumerate(a.tokens):
        if t.text != "(" or not a.code[i] or a.frozen[i] or i == 0:
            continue
        callee = a.tokens[i - 1]
        if not ((callee.kind == IDENT and callee.text not in _NOT_CALLS) or (i - 1) in a.template):
            continue
        args = _split_arguments(a, i)
        for left, right in zip(args, args[1:]):
            lt, rt = a.source[left[0] : left[1]], a.source[right[0] : right[1]]
            if lt == rt or _kind_of_argument(lt) != _kind_of_argument(rt):
                continue
            between = a.source[left[1] : right[0]]
            yield Mutant(path, left[0], right[1], rt + between + lt, "swap-arguments",
                         a.tokens[i].line)


def _kind_of_argument(text):
    """A rough kind, so that swaps which could not compile are not made."""
    if text[0] in "\"'" or text[:2] in ("u\"", "u'", "L\"", "L'") or text[:3] == "u8\"":
        return "text"
    if text[0].isdigit():
        return "number"
    if text[0] == "&":
        return "address"
    return "expression"


def _split_arguments(a, open_paren):
    """The (start, end) source spans of the arguments of a call."""
    close = a.match[open_paren]
    spans, first, j = [], open_paren + 1, open_paren + 1
    while j <= close:
        u = a.text(j)
        if u in ("(", "[", "{"):
            j = a.match[j]
        elif u == "<" and j in a.template:
            while a.text(j) not in (">", ">>") or j not in a.template:
                j += 1
        elif u == "," or j == close:
            if j > first:
                spans.append((a.tokens[first].start, a.tokens[j - 1].end))
            first = j + 1
        j += 1
    return spans


def _statement_mutants(a, path):
    for start, end in _statements(a):
        first = a.tokens[start]
        if first.text in ("break", "continue") and end == start + 1:
            pass
        elif not _is_expression_statement(a, start, end):
            continue
        yield Mutant(path, first.start, a.tokens[end].end, ";", "delete-statement", first.line)


def _statements(a):
    """(first, semicolon) token indexes of the simple statements in code."""
    toks, n = a.tokens, len(a.tokens)
    headers = {i + 1 for i, t in enumerate(toks)
               if t.text in ("if", "for", "while", "switch") and a.text(i + 1) == "("}
    labels = ("case", "default", "public", "private", "protected")
    begins, i = None, 0
    while i < n:
        if not a.code[i]:
            begins, i = None, i + 1
            continue
        t = toks[i].text
        if begins is None:
            begins = i
        if t in ("(", "["):
            if i in headers:
                begins = None
            i = a.match[i] + 1
            continue
        if t == "{" and begins != i:
            i = a.match[i] + 1  # a braced initialiser or a lambda's body
            continue
        if t == ";":
            yield begins, i
            begins = None
        elif t in ("{", "}", "else", "do") or (t == ":" and toks[begins].text in labels):
            begins = None
        i += 1


def _is_expression_statement(a, start, end):
    toks = a.tokens
    first = toks[start]
    if a.frozen[start] or first.text in _STATEMENT_KEYWORDS and first.text != "delete":
        return False
    if first.kind != IDENT:
        return True
    if first.text in _TYPE_KEYWORDS:
        return False
    # A declaration: a (qualified, templated) type name followed by a name.
    j = start
    while j < end:
        if toks[j].kind == IDENT and a.text(j + 1) == "::":
            j += 2
        elif toks[j].kind == IDENT and a.text(j + 1) == "<" and (j + 1) in a.template:
            j += 2
            while j < end and not (a.text(j) in (">", ">>") and j in a.template):
                j += 1
            j += 1
            break
        else:
            j += 1
            break
    while j < end and a.text(j) in ("*", "&", "&&", "const") and not a.spaced(j):
        j += 1
    if j < end and toks[j].kind == IDENT and toks[j].text not in _OPERAND_KEYWORDS:
        return False
    return True


def _condition_mutants(a, path):
    for i, t in enumerate(a.tokens):
        if t.text not in ("if", "while") or not a.code[i] or a.text(i + 1) != "(":
            continue
        close = a.match[i + 1]
        inner = a.tokens[i + 2 : close]
        if not inner or any(u.text == ";" for u in inner) or a.frozen[i + 2] or inner[0].text == "!":
            continue
        first, last = inner[0], inner[-1]
        cond = a.source[first.start : last.end]
        if _declares_in_condition(a, i + 2, close):
            continue
        yield Mutant(path, first.start, last.end, f"!({cond})", "invert-condition", first.line)


def _declares_in_condition(a, start, close):
    return any(a.text(j) == "=" for j in range(start, close)) and a.tokens[start].kind == IDENT and (
        a.tokens[start].text in _TYPE_KEYWORDS or a.tokens[start + 1].kind == IDENT
        or a.text(start + 1) in ("*", "&") and not a.spaced(start + 1))
