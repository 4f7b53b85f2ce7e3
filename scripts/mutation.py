#!/usr/bin/env python3
"""A small mutation runner: does the test suite notice when the code is made wrong?

For each folder of src/ it enumerates the places where one of a handful of faults can be
made (a flipped comparison, a constant off by one, a deleted guard or early return, a deleted
statement that clears, locks, purges or checks, a swapped pair of arguments, an inverted
boolean result), draws a seeded sample, and for each mutant: applies it to a scratch copy of
the tree, rebuilds incrementally, runs the tests labelled with the folder's subsystem, and
the rest of the suite only when those pass. A mutant that does not compile is not counted; one
whose tests run past the time limit counts as killed and is reported apart. Mutants listed in
scripts/mutation-equivalent.txt were judged by review to change nothing observable: they are
not run and not counted, but shown.

Standard library only. Usage:
  scripts/mutation.py [--mutants N] [--seed S] [--folders device,server,...] [--list]
"""

import argparse
import dataclasses
import os
import random
import re
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_FOLDERS = ["device", "server", "update", "app", "platform"]
SKIP_DIRS = {".git", "docs"}


@dataclasses.dataclass
class Mutant:
    path: str  # relative to the tree
    line: int  # 1-based
    operator: str
    before: str
    after: str

    def describe(self):
        return f"{self.path}:{self.line} [{self.operator}] {self.before.strip()}  ->  {self.after.strip()}"


# --- Finding the places -------------------------------------------------------------------

RELATIONAL = [(" <= ", " < "), (" < ", " <= "), (" >= ", " > "), (" > ", " >= "),
              (" == ", " != "), (" != ", " == ")]
NUMBER = re.compile(r"(?<![\w.])(\d+)(?![\w.])")
GUARD_RETURN = re.compile(r"^\s*if \(.*\)\s*(return\b.*;|continue;|break;)\s*$")
CHECKING_CALL = re.compile(r"^\s*[\w.\->:\[\]]*(clear|Clear|Purge|purge|Check|Lock|lock|unlock|Unlock|Reset|reset)\w*\(.*\);\s*$")
LOCK_GUARD = re.compile(r"^\s*std::(lock_guard|unique_lock|scoped_lock)\b.*;\s*$")
TWO_ARGS = re.compile(r"\b(\w+)\(([A-Za-z_][\w.\->]*), ([A-Za-z_][\w.\->]*)\)")
BOOL_RETURN = re.compile(r"\breturn (true|false);")


def code_part(line):
    """The line without its comment and with string and character literals blanked, so that
    operators inside them are never mutated."""
    out = []
    i = 0
    quote = None
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                out.append("  ")
                i += 2
                continue
            out.append(" " if c != quote else c)
            if c == quote:
                quote = None
        elif c in "\"'":
            quote = c
            out.append(c)
        elif line.startswith("//", i):
            break
        else:
            out.append(c)
        i += 1
    return "".join(out)


def places_in_line(path, number, line):
    code = code_part(line)
    stripped = code.strip()
    if not stripped or stripped.startswith(("#", "*", "/*")) or "static_assert" in code:
        return
    # Replacements keep the text outside the code part as it is by working on positions.
    for old, new in RELATIONAL:
        start = 0
        while True:
            at = code.find(old, start)
            if at < 0:
                break
            yield Mutant(path, number, "relational", line, line[:at] + new + line[at + len(old):])
            start = at + len(old)
    if not re.search(r"\b(case|enum)\b|\[\d+\]|=\s*\{", code) and "0x" not in code:
        for m in NUMBER.finditer(code):
            value = int(m.group(1))
            for changed in (value + 1, value - 1):
                if changed < 0:
                    continue
                yield Mutant(path, number, "constant", line,
                             line[:m.start()] + str(changed) + line[m.end():])
    if GUARD_RETURN.match(code):
        yield Mutant(path, number, "guard", line, "")
    if CHECKING_CALL.match(code) or LOCK_GUARD.match(code):
        yield Mutant(path, number, "statement", line, "")
    for m in TWO_ARGS.finditer(code):
        if m.group(1) in ("if", "while", "for", "switch", "return", "sizeof"):
            continue
        a, b = m.group(2), m.group(3)
        if a == b:
            continue
        swapped = f"{m.group(1)}({b}, {a})"
        yield Mutant(path, number, "arguments", line, line[:m.start()] + swapped + line[m.end():])
    for m in BOOL_RETURN.finditer(code):
        flipped = "false" if m.group(1) == "true" else "true"
        yield Mutant(path, number, "boolean", line,
                     line[:m.start(1)] + flipped + line[m.end(1):])


def places_in_folder(root, folder):
    mutants = []
    base = os.path.join(root, "src", folder)
    for dirpath, dirnames, filenames in os.walk(base):
        dirnames.sort()
        for name in sorted(filenames):
            if not name.endswith(".cpp"):
                continue
            # The Windows bindings are not built here: a change to them could only "survive".
            if name.startswith("Win32") and os.name != "nt":
                continue
            full = os.path.join(dirpath, name)
            rel = os.path.relpath(full, root)
            with open(full, encoding="utf-8", errors="replace") as f:
                lines = f.read().split("\n")
            for i, line in enumerate(lines):
                for m in places_in_line(rel, i + 1, line):
                    if m.after != m.before:
                        mutants.append(m)
    return mutants


EQUIVALENT_FILE = os.path.join(ROOT, "scripts", "mutation-equivalent.txt")


def judged_equivalent():
    """Mutants judged by review to change nothing a caller can observe, one per line as
    `path:line: before  ->  after  # why`; they are reported apart and not counted."""
    judged = {}
    if os.path.exists(EQUIVALENT_FILE):
        with open(EQUIVALENT_FILE, encoding="utf-8") as f:
            for raw in f:
                line = raw.strip()
                if not line or line.startswith("#"):
                    continue
                change, _, why = line.partition("  # ")
                judged[change.strip()] = why.strip()
    return judged


def equivalence_key(mutant):
    # The line number is part of the key: after the code moves, the judgement is made again.
    return f"{mutant.path}:{mutant.line}: {mutant.before.strip()}  ->  {mutant.after.strip()}".strip()


# --- Running them -------------------------------------------------------------------------

def run(cmd, cwd, timeout=None, env=None):
    try:
        p = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           timeout=timeout, env=env, text=True, errors="replace")
        return p.returncode, p.stdout
    except subprocess.TimeoutExpired:
        return None, ""


def copy_tree(src, dst):
    def ignore(directory, names):
        if os.path.abspath(directory) == src:
            return [n for n in names if n in SKIP_DIRS or n.startswith("build")]
        return []
    if os.path.exists(dst):
        # Keep the scratch build; refresh the sources.
        for entry in os.listdir(dst):
            if entry != "build":
                path = os.path.join(dst, entry)
                shutil.rmtree(path) if os.path.isdir(path) and not os.path.islink(path) else os.remove(path)
        for entry in os.listdir(src):
            if entry in SKIP_DIRS or entry.startswith("build"):
                continue
            s, d = os.path.join(src, entry), os.path.join(dst, entry)
            if os.path.isdir(s):
                shutil.copytree(s, d, symlinks=True, ignore=ignore)
            else:
                shutil.copy2(s, d)
    else:
        shutil.copytree(src, dst, symlinks=True, ignore=ignore)


def apply(tree, mutant, original):
    lines = original.split("\n")
    assert lines[mutant.line - 1] == mutant.before
    lines[mutant.line - 1] = mutant.after
    with open(os.path.join(tree, mutant.path), "w", encoding="utf-8") as f:
        f.write("\n".join(lines))


def restore(tree, mutant, original):
    with open(os.path.join(tree, mutant.path), "w", encoding="utf-8") as f:
        f.write(original)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--mutants", type=int, default=int(os.environ.get("MUTANTS", "15")),
                        help="mutants drawn per folder (default 15, or $MUTANTS)")
    parser.add_argument("--seed", type=int, default=int(os.environ.get("SEED", "1")))
    parser.add_argument("--folders", default=os.environ.get("FOLDERS", ",".join(DEFAULT_FOLDERS)))
    parser.add_argument("--work", default=os.path.join(ROOT, "build-mutation"),
                        help="scratch folder: a copy of the tree and its build")
    parser.add_argument("--test-timeout", type=int, default=240,
                        help="seconds one ctest run may take before the mutant counts as hanging")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--list", action="store_true", help="print the sample and stop")
    args = parser.parse_args()

    folders = [f for f in args.folders.split(",") if f]
    samples = {}
    for folder in folders:
        places = places_in_folder(ROOT, folder)
        rng = random.Random(f"{args.seed}:{folder}")
        samples[folder] = rng.sample(places, min(args.mutants, len(places)))
        print(f"{folder}: {len(places)} places, {len(samples[folder])} drawn", flush=True)
    if args.list:
        for folder in folders:
            for m in samples[folder]:
                print("  " + m.describe())
        return 0

    tree = os.path.join(args.work, "tree")
    # The build inside the copy, as in the checkout, so the compiler cache finds the same paths.
    build = os.path.join(tree, "build")
    os.makedirs(args.work, exist_ok=True)
    copy_tree(ROOT, tree)
    generator = ["-G", "Ninja"] if shutil.which("ninja") else []
    # Shared subsystem libraries that programs are not relinked against: a mutant rebuilds one
    # object and one library, and every program loads the changed library when it starts.
    code, out = run(["cmake", "-S", tree, "-B", build, *generator, "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                     "-DVELMAR_SHARED_SUBSYSTEMS=ON", "-DCMAKE_LINK_DEPENDS_NO_SHARED=ON"], ROOT)
    if code != 0:
        print(out)
        return 2
    print("building the unmutated tree...", flush=True)
    code, out = run(["cmake", "--build", build, "-j", str(args.jobs)], ROOT)
    if code != 0:
        print(out[-4000:])
        return 2

    env = dict(os.environ, LC_ALL="C.UTF-8")
    ctest = ["ctest", "--test-dir", build, "-j", str(args.jobs), "--timeout", "120", "--stop-on-failure"]
    judged = judged_equivalent()
    results = {}
    for folder in folders:
        killed = hung = survived = broken = equivalent = 0
        survivors = []
        for index, m in enumerate(samples[folder], 1):
            why = judged.get(equivalence_key(m))
            if why is not None:
                equivalent += 1
                print(f"[{folder} {index}/{len(samples[folder])}] equivalent ({why}): {m.describe()}",
                      flush=True)
                continue
            with open(os.path.join(tree, m.path), encoding="utf-8") as f:
                original = f.read()
            apply(tree, m, original)
            started = time.monotonic()
            try:
                code, _ = run(["cmake", "--build", build, "-j", str(args.jobs)], ROOT)
                if code != 0:
                    broken += 1
                    verdict = "does not compile"
                else:
                    code, _ = run(ctest + ["-L", f"^{folder}$"], ROOT, timeout=args.test_timeout, env=env)
                    if code == 0:
                        # The long fault rows (wall-clock bounds) and the system package test stay out of it.
                        code, _ = run(ctest + ["-LE", f"^({folder}|faults|package)$"], ROOT,
                                      timeout=args.test_timeout * 3, env=env)
                    if code is None:
                        hung += 1
                        verdict = "killed (hung)"
                    elif code != 0:
                        killed += 1
                        verdict = "killed"
                    else:
                        survived += 1
                        survivors.append(m)
                        verdict = "SURVIVED"
            finally:
                restore(tree, m, original)
            print(f"[{folder} {index}/{len(samples[folder])}] {verdict} ({time.monotonic() - started:.0f} s): "
                  f"{m.describe()}", flush=True)
        counted = killed + hung + survived
        results[folder] = (killed, hung, survived, broken, equivalent, counted, survivors)
    # Leave the scratch build matching the sources again.
    run(["cmake", "--build", build, "-j", str(args.jobs)], ROOT)

    print("\nKill rate per folder (mutants that compile):")
    for folder, (killed, hung, survived, broken, equivalent, counted, survivors) in results.items():
        rate = 100.0 * (killed + hung) / counted if counted else 0.0
        print(f"  src/{folder}: {rate:.0f}% ({killed} killed, {hung} hung, {survived} survived; "
              f"{broken} did not compile, {equivalent} judged equivalent)")
    for folder, (*_, survivors) in results.items():
        for m in survivors:
            print(f"  survived: {m.describe()}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
