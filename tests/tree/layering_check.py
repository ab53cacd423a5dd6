#!/usr/bin/env python3
"""Holds the tree to ARCHITECTURE.md's table of what each folder may include.

Reads the rows between the markers `<!-- layers -->` and `<!-- /layers -->`
of ARCHITECTURE.md: the first cell names a folder (`format/`), the second
the folders and files it may include (`model/`, `dialogs/resource.h`) and
the other projects' headers that only it may include (`<gumbo.h>`, or
`<pango/` for a folder of them). A source file belongs to the longest folder
of the table that holds it. Four rules, each failure a line naming the file:

  - an include of our own ("folder/...") names the file's own folder or one
    that its row allows;
  - a header of another project that some row names (<gumbo.h>) is included
    only where the file's row names it too;
  - no two top-level folders include each other, directly or round about;
  - only the programs' folders (apps/, and tests/, bench/, fuzz/, which the
    table does not govern) define main().

Usage: layering_check.py SOURCE_DIR   (exit 0 when the tree holds, else 1)
"""
import pathlib
import re
import sys

PROGRAM_FOLDERS = ("apps/", "tests/", "bench/", "fuzz/")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
SYSTEM_INCLUDE = re.compile(r"^\s*#\s*include\s+<([^>]+)>", re.MULTILINE)
MAIN = re.compile(r"^\s*int\s+main\s*\(", re.MULTILINE)
CODE = re.compile(r"`([^`]+)`")


def read_table(architecture):
    text = architecture.read_text(encoding="utf-8")
    match = re.search(r"<!-- layers -->(.*?)<!-- /layers -->", text, re.DOTALL)
    if not match:
        sys.exit("layering: ARCHITECTURE.md has no <!-- layers --> table")
    table = {}
    for line in match.group(1).splitlines():
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) < 2 or not cells[0].startswith("`"):
            continue
        folder = CODE.findall(cells[0])[0]
        table[folder] = CODE.findall(cells[1])
    return table


def unit_of(path, table):
    """The longest folder (or file) of the table that holds `path`."""
    best = None
    for unit in table:
        if path == unit or (unit.endswith("/") and path.startswith(unit)):
            if best is None or len(unit) > len(best):
                best = unit
    return best


def guards(entry, header):
    """True when the table's entry `<x>` (or `<dir/`) names `header`."""
    name = entry[1:].rstrip(">")
    return header == name or (name.endswith("/") and header.startswith(name))


def allowed(target, own, table):
    if unit_of(target, table) == own:
        return True
    for entry in table[own]:
        if target == entry or (entry.endswith("/") and target.startswith(entry)):
            return True
    return False


def find_cycle(edges):
    """A cycle among the top-level folders as a list, or None."""
    state = {}

    def visit(node, trail):
        state[node] = "open"
        for nxt in sorted(edges.get(node, ())):
            if state.get(nxt) == "open":
                return trail[trail.index(nxt):] + [nxt] if nxt in trail else [node, nxt]
            if nxt not in state:
                found = visit(nxt, trail + [nxt])
                if found:
                    return found
        state[node] = "done"
        return None

    for node in sorted(edges):
        if node not in state:
            found = visit(node, [node])
            if found:
                return found
    return None


def main():
    root = pathlib.Path(sys.argv[1]).resolve()
    table = read_table(root / "ARCHITECTURE.md")
    tops = {unit.split("/")[0] + "/" for unit in table}
    guarded = sorted({e for entries in table.values() for e in entries if e.startswith("<")})
    problems = []
    edges = {}
    for path in sorted(root.rglob("*")):
        if path.suffix not in (".cpp", ".h") or not path.is_file():
            continue
        rel = path.relative_to(root).as_posix()
        if rel.split("/")[0] + "/" not in tops:
            continue  # tests, benchmarks, fuzz targets, build folders
        own = unit_of(rel, table)
        if own is None:
            problems.append(f"{rel}: in no folder of ARCHITECTURE.md's table")
            continue
        text = path.read_text(encoding="utf-8", errors="replace")
        if MAIN.search(text) and not rel.startswith(PROGRAM_FOLDERS):
            problems.append(f"{rel}: defines main() outside the programs' folders")
        for target in INCLUDE.findall(text):
            if "/" not in target or unit_of(target, table) is None:
                continue  # a header beside it, or another project's
            if not allowed(target, own, table):
                problems.append(f"{rel}: includes {target}, which {own} may not use")
            top, other = rel.split("/")[0], target.split("/")[0]
            if top != other:
                edges.setdefault(top, set()).add(other)
        for header in SYSTEM_INCLUDE.findall(text):
            for entry in guarded:
                if guards(entry, header) and entry not in table[own]:
                    problems.append(f"{rel}: includes <{header}>, which only the folders that name {entry} may use")
    cycle = find_cycle(edges)
    if cycle:
        problems.append("top-level folders include each other: " + " -> ".join(cycle))
    for line in problems:
        print("layering: " + line)
    if not problems:
        print(f"layering: {len(table)} folders hold to ARCHITECTURE.md")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
