#!/usr/bin/env python3
"""Checks the modules' links against the layer table, and every module's includes against its links.

Usage: check_module_boundaries.py <build>/module_map.json <source folder>
       check_module_boundaries.py --mermaid <build>/module_map.json
         prints the module graph as a Mermaid flowchart (the picture in docs/ARCHITECTURE.md)

The map is written by CMake (cmake/Skyreach.cmake): each module's folders, the modules it
links (read from the targets) and its row of the layer table (cmake/Layers.cmake,
"may_link"). A module may link what its row names and, row by row, what those may link;
every other link fails the check, named, and so does a module without a row or a cycle
among the links or the rows. A module may include headers of every module it reaches
through its links (they are public, so their headers are its headers too). Each include
that breaks this is printed as "file:line: ..." and the check fails.
"""
import json
import re
import sys
from pathlib import Path

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
SOURCE_SUFFIXES = {".h", ".hpp", ".cpp", ".cc", ".inl"}


def load_modules(map_file):
    entries = json.loads(Path(map_file).read_text())
    return {entry["module"]: entry for entry in entries}


def find_cycle(modules, edges="links"):
    """Returns one cycle of the graph along `edges` ("links" or the table's "may_link") as a
    list of module names, or None."""
    state = {}  # module -> "open" while on the path, "done" once fully explored
    path = []

    def visit(module):
        state[module] = "open"
        path.append(module)
        for link in modules[module].get(edges, []):
            if link not in modules:
                continue
            if state.get(link) == "open":
                return path[path.index(link):] + [link]
            if link not in state:
                cycle = visit(link)
                if cycle:
                    return cycle
        path.pop()
        state[module] = "done"
        return None

    for module in modules:
        if module not in state:
            cycle = visit(module)
            if cycle:
                return cycle
    return None


def reachable(modules, start, edges="links"):
    seen, pending = set(), [start]
    while pending:
        module = pending.pop()
        if module in seen or module not in modules:
            continue
        seen.add(module)
        pending.extend(modules[module].get(edges, []))
    return seen


def check_layers(modules):
    """Each link that the layer table does not allow, and each module the table has no row for."""
    faults = []
    for name, entry in sorted(modules.items()):
        if "may_link" not in entry:
            faults.append(f"{name} has no row in the layer table (cmake/Layers.cmake)")
            continue
        allowed = reachable(modules, name, "may_link") - {name}
        for link in entry["links"]:
            if link not in allowed:
                faults.append(f"{name} links {link}, which the layer table does not allow")
    return faults


def folder_owners(modules):
    """Maps each owned folder (as path parts) to its module; the longest folder wins."""
    owners = {}
    for name, entry in modules.items():
        for folder in entry["dirs"]:
            owners[tuple(Path(folder).parts)] = name
    return owners


def owner_of(relative_path, owners):
    parts = relative_path.parts
    for length in range(len(parts) - 1, 0, -1):
        module = owners.get(parts[:length])
        if module:
            return module
    return None


def resolve(include, including_file, root):
    """The included file inside the source tree, or None for system and third-party headers."""
    for base in (including_file.parent, root):
        candidate = (base / include).resolve()
        if candidate.is_file() and root in candidate.parents:
            return candidate
    return None


def check(modules, root):
    owners = folder_owners(modules)
    faults = []
    for name, entry in sorted(modules.items()):
        allowed = reachable(modules, name)
        for folder in entry["dirs"]:
            for source in sorted((root / folder).rglob("*")):
                if source.suffix not in SOURCE_SUFFIXES or owner_of(source.relative_to(root), owners) != name:
                    continue
                for number, line in enumerate(source.read_text(errors="replace").splitlines(), 1):
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    target = resolve(match.group(2), source, root)
                    if target is None:
                        continue
                    target_owner = owner_of(target.relative_to(root), owners)
                    where = f"{source.relative_to(root)}:{number}"
                    if target_owner is None:
                        faults.append(f'{where}: {name} includes "{match.group(2)}", which belongs to no library')
                    elif target_owner not in allowed:
                        faults.append(f'{where}: {name} includes "{match.group(2)}" of {target_owner}, '
                                      f"which {name} does not link")
    return faults


def mermaid(modules):
    """The link graph, top to bottom, without the edges that a longer path already implies;
    the platform's libraries are drawn inside one box."""
    names = [name for name in modules if name != "test_support"]
    edges = set()
    for name in names:
        for link in modules[name]["links"]:
            # An edge is kept unless another link of the same module reaches it anyway.
            implied = any(link in reachable(modules, other) for other in modules[name]["links"] if other != link)
            if not implied:
                edges.add((name, link))
    lines = ["flowchart TB"]
    platform_parts = sorted(n for n in names if n.startswith("platform_"))
    lines.append("  subgraph platform")
    lines.extend(f"    {part}[{part.removeprefix('platform_')}]" for part in platform_parts)
    lines.append("  end")
    for name, link in sorted(edges):
        # Outside the box, a link into any platform library is drawn to the box.
        target = "platform" if link.startswith("platform_") and not name.startswith("platform_") else link
        lines.append(f"  {name} --> {target}")
    return "\n".join(dict.fromkeys(lines))


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--mermaid":
        print(mermaid(load_modules(sys.argv[2])))
        return 0
    if len(sys.argv) != 3:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    modules = load_modules(sys.argv[1])
    root = Path(sys.argv[2]).resolve()
    cycle = find_cycle(modules)
    if cycle:
        print("The modules link each other in a cycle: " + " -> ".join(cycle))
    table_cycle = find_cycle(modules, "may_link")
    if table_cycle:
        print("The layer table's rows form a cycle: " + " -> ".join(table_cycle))
    faults = check_layers(modules) + check(modules, root)
    for fault in faults:
        print(fault)
    if cycle or table_cycle or faults:
        return 1
    print(f"{len(modules)} modules, every link within the layer table and every include within its module's links")
    return 0


if __name__ == "__main__":
    sys.exit(main())
