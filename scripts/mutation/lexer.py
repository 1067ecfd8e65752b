"""A small C++ tokenizer: enough to find operators, literals and statements.

Comments are dropped; preprocessor lines become one token each, so includes,
macros and conditionals are never looked into.
"""

import re
from dataclasses import dataclass

IDENT, NUMBER, STRING, CHAR, PUNCT, PREPROC = "ident", "number", "string", "char", "punct", "preproc"

# Longest first, so that ">>=" is not read as ">" ">=".
_PUNCTUATORS = sorted(
    """>>= <<= <=> ... ->* :: -> ++ -- << >> <= >= == != && || += -= *= /= %= &= |= ^= .*
    { } [ ] ( ) ; : ? , . + - * / % ^ & | ~ ! = < > #""".split(),
    key=len,
    reverse=True,
)
_PUNCT_RE = re.compile("|".join(re.escape(p) for p in _PUNCTUATORS))
_IDENT_RE = re.compile(r"[A-Za-z_][A-Za-z_0-9]*")
_NUMBER_RE = re.compile(r"\.?[0-9](?:'?[0-9A-Za-z_.]|[eEpP][+-])*")
_PREFIX_RE = re.compile(r"(?:u8|u|U|L)?R?(?=[\"'])")
_RAW_RE = re.compile(r'(?:u8|u|U|L)?R"([^()\\ ]{0,16})\(')


@dataclass(frozen=True)
class Token:
    kind: str
    text: str
    start: int  # offset in the source
    end: int
    line: int  # 1-based


class LexError(ValueError):
    pass


def tokenize(source):
    tokens = []
    i, n, line = 0, len(source), 1
    at_line_start = True
    while i < n:
        c = source[i]
        if c == "\n":
            line += 1
            i += 1
            at_line_start = True
            continue
        if c in " \t\r\f\v":
            i += 1
            continue
        if source.startswith("//", i):
            j = source.find("\n", i)
            i = n if j < 0 else j
            continue
        if source.startswith("/*", i):
            j = source.find("*/", i + 2)
            if j < 0:
                raise LexError(f"line {line}: unterminated comment")
            line += source.count("\n", i, j)
            i = j + 2
            continue
        if c == "#" and at_line_start:
            j = i
            while True:
                k = source.find("\n", j)
                if k < 0:
                    k = n
                if k > 0 and source[k - 1] == "\\" and k < n:
                    j = k + 1
                    continue
                break
            tokens.append(Token(PREPROC, source[i:k], i, k, line))
            line += source.count("\n", i, k)
            i = k
            continue
        at_line_start = False
        raw = _RAW_RE.match(source, i)
        if raw:
            closing = ")" + raw.group(1) + '"'
            j = source.find(closing, raw.end())
            if j < 0:
                raise LexError(f"line {line}: unterminated raw string")
            end = j + len(closing)
            tokens.append(Token(STRING, source[i:end], i, end, line))
            line += source.count("\n", i, end)
            i = end
            continue
        prefix = _PREFIX_RE.match(source, i)
        if prefix and i + len(prefix.group(0)) < n and (c in "\"'" or prefix.group(0)):
            q = i + len(prefix.group(0))
            quote = source[q]
            j = q + 1
            while j < n and source[j] != quote:
                if source[j] == "\\":
                    j += 1
                elif source[j] == "\n":
                    raise LexError(f"line {line}: unterminated literal")
                j += 1
            if j >= n:
                raise LexError(f"line {line}: unterminated literal")
            tokens.append(Token(STRING if quote == '"' else CHAR, source[i : j + 1], i, j + 1, line))
            i = j + 1
            continue
        m = _IDENT_RE.match(source, i)
        if m:
            tokens.append(Token(IDENT, m.group(0), i, m.end(), line))
            i = m.end()
            continue
        m = _NUMBER_RE.match(source, i)
        if m:
            tokens.append(Token(NUMBER, m.group(0), i, m.end(), line))
            i = m.end()
            continue
        m = _PUNCT_RE.match(source, i)
        if m:
            tokens.append(Token(PUNCT, m.group(0), i, m.end(), line))
            i = m.end()
            continue
        raise LexError(f"line {line}: unexpected character {c!r}")
    return tokens
