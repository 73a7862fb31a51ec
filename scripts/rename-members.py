#!/usr/bin/env python3
"""Renames class data members to m_camelCase in one mechanical step.

Run at the repository root (nothing is committed; review with git diff):

    python3 scripts/rename-members.py            # rename in place
    python3 scripts/rename-members.py --dry-run  # only print what it would do

Run it after the branches have merged and before the tree is formatted once
(`git ls-files -z '*.cpp' '*.h' '*.c' | xargs -0 clang-format-14 -i`): the new
names change line lengths and the alignment of trailing comments.

What it renames, in the C++ files (.cpp .h .c .inc) under src/ tools/ tests/
bench/ fuzz/ that git tracks (plus untracked, not ignored ones):

1. Every identifier of the form `lowerCamel_` (a trailing underscore, no other
   underscore): `marshaler_` -> `m_marshaler`, `objectMap_` -> `m_objectMap`.
   In this code base that spelling is used for class data members only. It is
   renamed in code and in comments (comments name members), never inside
   string or character literals.
2. The bare data members of test fixtures and test helper classes listed in
   BARE below, as code tokens only:
   - unqualified uses inside the class's body, its out-of-class member
     definitions, the bodies of classes derived from it (and aliases of it),
     and the TEST_F/TEST_P bodies of those fixtures;
   - qualified uses `obj.member` / `obj->member` for the objects listed in
     QUALIFIED.

Safety: before writing anything it checks, and stops with a message (writing
nothing) when
- a new name already exists as a token in a file where it would appear (for
  example a member `size_` beside an existing `m_size`);
- a region in which a bare member is renamed also declares a local, a
  parameter or a lambda parameter of the same name (it would be shadowed, so
  the rename could change which variable a use names);
- a class named in BARE is not found, or a listed member is not declared in
  its class body exactly once (the tree changed since the list was written:
  update the list).
Methods keep their names: a member `size_` becomes `m_size` and cannot meet a
method `size()`.
"""

import os
import re
import subprocess
import sys

ROOTS = ("src", "tools", "tests", "bench", "fuzz")
EXTENSIONS = (".cpp", ".h", ".c", ".inc")

# class -> bare data members declared in that class's body.
BARE = {
    "DllFixture": ["dll"],
    "FormatObjectTest": ["format", "dir"],
    "NavigatorTest": ["dir", "path", "format", "navigator"],
    "OlderGenerationTest": ["format", "dir"],
    "SharedFormatTest": ["format", "dir"],
    "AggregationTest": ["outer"],
    "TestAggregate": ["refs", "inner"],
    "DibHolderTest": ["calls", "path", "holder"],
    "ResourceModuleTest": ["calls"],
    "DrawTest": ["target"],
    "SystemCalls": [
        "loadLibrary", "freeLibrary", "loadImage", "loadImageFailed", "createPalette",
        "selectPalette", "realizePalette", "bitBlt", "stretchBlt", "drawDibOpen", "drawDibDraw",
        "loadedNames", "freedModules", "createdPalettes", "createdPaletteEntries", "selections",
        "drawDibCalls",
    ],
    "Collector": ["times"],
    "PreviewTest": ["format", "strings"],
}

# class -> names of the objects (before or after their own rename) through
# which other code reaches that class's bare members.
QUALIFIED = {
    "TestAggregate": ["outer", "m_outer"],
    "SystemCalls": ["calls", "m_calls", "g_active"],
    "Collector": ["collector", "m_collector"],
}

KEYWORDS = {
    "return", "case", "else", "do", "delete", "throw", "sizeof", "new", "co_return",
    "co_yield", "goto", "and", "or", "not", "if", "while", "for", "switch", "alignof",
    "decltype", "typeid", "noexcept", "static_assert",
}

TRAILING = re.compile(r"(?<![A-Za-z0-9_])([a-z][A-Za-z0-9]*)_(?![A-Za-z0-9_])")
TOKEN = re.compile(r"[A-Za-z_][A-Za-z0-9_]*")


class Stop(Exception):
    pass


def source_files():
    listed = subprocess.run(
        ["git", "ls-files", "--cached", "--others", "--exclude-standard", "--", *ROOTS],
        check=True, capture_output=True, text=True).stdout.split("\n")
    return sorted(f for f in listed if f.endswith(EXTENSIONS) and os.path.isfile(f))


def segments(text):
    """Splits text into (kind, start, end) with kind code, comment or literal."""
    out = []
    i, n, start = 0, len(text), 0

    def push(kind, a, b):
        if b > a:
            out.append((kind, a, b))

    while i < n:
        c = text[i]
        if text.startswith("//", i):
            push("code", start, i)
            j = text.find("\n", i)
            j = n if j < 0 else j
            push("comment", i, j)
            i = start = j
        elif text.startswith("/*", i):
            push("code", start, i)
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            push("comment", i, j)
            i = start = j
        elif c == '"' or (c == "'" and not (i > 0 and text[i - 1].isalnum())):
            push("code", start, i)
            raw = c == '"' and re.search(r"(?:^|[^A-Za-z0-9_])(?:u8|[LuU])?R$", text[max(0, i - 4):i])
            if raw and "(" in text[i:i + 18]:
                delim = ")" + text[i + 1:text.index("(", i)] + '"'
                j = text.find(delim, i)
                j = n if j < 0 else j + len(delim)
            else:
                j = i + 1
                while j < n and text[j] != c and text[j] != "\n":
                    j += 2 if text[j] == "\\" else 1
                j = min(j + 1, n)
            push("literal", i, j)
            i = start = j
        else:
            i += 1
    push("code", start, n)
    return out


def masked(text, segs, keep=("code",)):
    """The text with every segment not of a kept kind blanked (same length)."""
    chars = list(text)
    for kind, a, b in segs:
        if kind not in keep:
            for k in range(a, b):
                if chars[k] != "\n":
                    chars[k] = " "
    return "".join(chars)


def match_brace(code, open_at):
    depth = 0
    for k in range(open_at, len(code)):
        if code[k] == "{":
            depth += 1
        elif code[k] == "}":
            depth -= 1
            if depth == 0:
                return k
    raise Stop("unbalanced braces")


def match_paren(code, open_at):
    depth = 0
    for k in range(open_at, len(code)):
        if code[k] == "(":
            depth += 1
        elif code[k] == ")":
            depth -= 1
            if depth == 0:
                return k
    raise Stop("unbalanced parentheses")


def prev_token(code, pos):
    k = pos - 1
    while k >= 0 and code[k].isspace():
        k -= 1
    if k < 0:
        return "", k
    if code[k].isalnum() or code[k] == "_":
        j = k
        while j >= 0 and (code[j].isalnum() or code[j] == "_"):
            j -= 1
        return code[j + 1:k + 1], j
    if code[k] == ">" and k > 0 and code[k - 1] == "-":
        return "->", k - 1
    if code[k] == ":" and k > 0 and code[k - 1] == ":":
        return "::", k - 1
    return code[k], k - 1


def next_char(code, pos):
    k = pos
    while k < len(code) and code[k].isspace():
        k += 1
    return code[k] if k < len(code) else ""


def is_declaration(code, start, end):
    """Whether the token at [start, end) is the name being declared."""
    before, at = prev_token(code, start)
    if next_char(code, end) not in "=;({,)[:":
        return False
    if before in ("*", "&"):
        before, at = prev_token(code, at + 1)
        while before in ("*", "&", "const"):
            before, at = prev_token(code, at + 1)
        return before == ">" or (TOKEN.fullmatch(before or "") and before not in KEYWORDS)
    if before == ">":
        return next_char(code, end) in "=;{(:"
    return bool(TOKEN.fullmatch(before or "")) and before not in KEYWORDS


# --- phase 1 ---------------------------------------------------------------


def trailing_renames(files, texts):
    plans = {}
    for f in files:
        text = texts[f]
        segs = segments(text)
        view = masked(text, segs, keep=("code", "comment"))
        for m in TRAILING.finditer(view):
            plans.setdefault(f, []).append((m.start(), m.end(), "m_" + m.group(1)))
    return plans


# --- phase 2 ---------------------------------------------------------------


def class_family(files, codes):
    """class -> itself, its aliases and every class derived from it."""
    bases = {}
    for f in files:
        code = codes[f]
        for m in re.finditer(r"\b(?:class|struct)\s+(\w+)\s*(?:final\s*)?:([^;{]*)\{", code):
            bases.setdefault(m.group(1), set()).update(TOKEN.findall(m.group(2)))
        for m in re.finditer(r"\busing\s+(\w+)\s*=\s*(\w+)\s*;", code):
            bases.setdefault(m.group(1), set()).add(m.group(2))
    family = {}
    for cls in BARE:
        members = {cls}
        grown = True
        while grown:
            grown = False
            for derived, bs in bases.items():
                if derived not in members and bs & members:
                    members.add(derived)
                    grown = True
        family[cls] = members
    return family


def class_bodies(code, name):
    for m in re.finditer(r"\b(?:class|struct)\s+%s\b[^;{()]*\{" % re.escape(name), code):
        yield m.end() - 1, match_brace(code, m.end() - 1)


def member_definitions(code, name):
    """Out-of-class member function definitions: from `name::` to the body's end."""
    for m in re.finditer(r"\b%s::~?\w+\s*\(" % re.escape(name), code):
        k = match_paren(code, m.end() - 1) + 1
        depth = 0
        while k < len(code):
            ch = code[k]
            if ch == ";" and depth == 0:
                break  # a declaration or a call, not a definition
            if ch == "{" and depth == 0:
                before, _ = prev_token(code, k)
                # `member{...}` in a constructor's initialisers is not the body.
                if not TOKEN.fullmatch(before) or before in ("const", "noexcept", "override",
                                                             "final", "mutable"):
                    yield m.start(), match_brace(code, k)
                    break
            if ch in "({":
                depth += 1
            elif ch in ")}":
                depth -= 1
            k += 1


def test_bodies(code, name):
    for m in re.finditer(r"\bTEST_[FP]\s*\(\s*%s\s*," % re.escape(name), code):
        close = match_paren(code, m.end() - len(m.group(0)) + m.group(0).index("("))
        k = code.index("{", close)
        yield m.start(), match_brace(code, k)


def bare_renames(files, codes, family):
    plans = {}
    declared = {cls: {} for cls in BARE}
    for cls, names in BARE.items():
        for f in files:
            code = codes[f]
            regions = []  # (start, end, own body)
            for fam in family[cls]:
                for a, b in class_bodies(code, fam):
                    regions.append((a, b, fam == cls))
                for a, b in member_definitions(code, fam):
                    regions.append((a, b, False))
                for a, b in test_bodies(code, fam):
                    regions.append((a, b, False))
            # A nested region (a class inside a test body) is searched once.
            regions.sort()
            kept = []
            for r in regions:
                if kept and r[0] >= kept[-1][0] and r[1] <= kept[-1][1]:
                    continue
                kept.append(r)
            for a, b, own in kept:
                for name in names:
                    for m in re.finditer(r"\b%s\b" % re.escape(name), code[a:b + 1]):
                        s, e = a + m.start(), a + m.end()
                        before, _ = prev_token(code, s)
                        if before in (".", "->", "::"):
                            continue
                        if is_declaration(code, s, e):
                            if own:
                                declared[cls][name] = declared[cls].get(name, 0) + 1
                            else:
                                line = code.count("\n", 0, s) + 1
                                raise Stop("%s:%d declares '%s', which would hide %s::%s; rename "
                                           "that one by hand first" % (f, line, name, cls, name))
                        plans.setdefault(f, []).append((s, e, "m_" + name))
            for owner in QUALIFIED.get(cls, []):
                for name in names:
                    pattern = r"\b%s\s*(?:\.|->)\s*(%s)\b" % (re.escape(owner), re.escape(name))
                    for m in re.finditer(pattern, code):
                        plans.setdefault(f, []).append((m.start(1), m.end(1), "m_" + name))
    for cls, names in BARE.items():
        for name in names:
            if declared[cls].get(name, 0) != 1:
                raise Stop("%s::%s is declared %d times in its class body (expected once): the "
                           "list in BARE is out of date" % (cls, name, declared[cls].get(name, 0)))
    return plans


# --- putting it together ---------------------------------------------------


def main():
    dry = "--dry-run" in sys.argv[1:]
    if not all(os.path.isdir(r) for r in ("src", "tests")):
        raise Stop("run this at the repository root")
    files = source_files()
    texts = {f: open(f, encoding="utf-8").read() for f in files}
    codes = {f: masked(texts[f], segments(texts[f])) for f in files}

    plans = trailing_renames(files, texts)
    family = class_family(files, codes)
    for cls in BARE:
        if not any(list(class_bodies(codes[f], cls)) for f in files):
            raise Stop("class %s is not found: the list in BARE is out of date" % cls)
    for f, edits in bare_renames(files, codes, family).items():
        plans.setdefault(f, []).extend(edits)

    # A new name must not exist already where it would appear, nor in the
    # other file of the pair (X.h beside X.cpp).
    tokens = {f: set(TOKEN.findall(codes[f])) for f in files}
    for f, edits in plans.items():
        stem = os.path.splitext(f)[0]
        near = [g for g in files if os.path.splitext(g)[0] == stem]
        for _, _, new in edits:
            for g in near:
                if new in tokens[g]:
                    raise Stop("%s already has '%s': rename by hand first" % (g, new))

    renamed = {}
    for f, edits in sorted(plans.items()):
        text = texts[f]
        seen = set()
        out, last = [], 0
        for s, e, new in sorted(edits):
            if (s, e) in seen:
                continue
            if s < last:
                raise Stop("overlapping edits in %s" % f)
            seen.add((s, e))
            old = text[s:e]
            renamed[old] = new
            out.append(text[last:s])
            out.append(new)
            last = e
        out.append(text[last:])
        if not dry:
            with open(f, "w", encoding="utf-8", newline="") as handle:
                handle.write("".join(out))
        print("%-50s %4d renamed" % (f, len(seen)))
    print("\n%d names:" % len(renamed))
    for old in sorted(renamed):
        print("  %s -> %s" % (old, renamed[old]))
    if dry:
        print("(dry run: nothing written)")


if __name__ == "__main__":
    try:
        main()
    except Stop as stop:
        sys.exit("rename_members: %s. Nothing was written." % stop)
