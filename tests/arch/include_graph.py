#!/usr/bin/env python3
"""Checks the include graph of src/: no header includes itself back through others, no source file
of the module's host includes a header that leads back to its own (a lower file reaching up to a
higher one), and no two folders include each other. Prints every violation; exit 1 when there is one."""
import pathlib
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def graph(src):
    edges = {}
    for path in src.rglob("*"):
        if path.suffix in (".h", ".cpp"):
            name = path.relative_to(src).as_posix()
            edges[name] = [i for i in INCLUDE.findall(path.read_text(errors="replace")) if (src / i).is_file()]
    return edges


def reach(edges, start):
    seen, todo = set(), list(edges.get(start, []))
    while todo:
        node = todo.pop()
        if node not in seen:
            seen.add(node)
            todo.extend(edges.get(node, []))
    return seen


def violations(src):
    edges = graph(src)
    found = []
    for name, includes in sorted(edges.items()):
        if name.endswith(".h") and name in reach(edges, name):
            found.append(f"{name} includes itself back")
        own = name[:-4] + ".h" if name.startswith("host/") and name.endswith(".cpp") else None
        for header in includes:
            if own and header != own and own in reach(edges, header):
                found.append(f"{name} includes {header}, which leads back to {own}")
    folders = {}
    for name, includes in edges.items():
        for header in includes:
            a, b = name.split("/")[0], header.split("/")[0]
            if a != b:
                folders.setdefault(a, set()).add(b)
    for a in sorted(folders):
        for b in sorted(folders[a]):
            if a < b and a in folders.get(b, ()):
                found.append(f"folders {a} and {b} include each other")
    return found


if __name__ == "__main__":
    problems = violations(pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src"))
    for problem in problems:
        print(problem)
    sys.exit(1 if problems else 0)
