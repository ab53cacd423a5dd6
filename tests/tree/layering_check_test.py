#!/usr/bin/env python3
"""The layering check against small trees of its own: each planted fault is
reported, naming its file, and the clean tree passes.

Usage: layering_check_test.py   (exit 0 when every case holds)
"""
import pathlib
import subprocess
import sys
import tempfile

CHECK = pathlib.Path(__file__).with_name("layering_check.py")

TABLE = """<!-- layers -->
| folder | may include | never |
|---|---|---|
| `apps/tool/` | `lib/`, `lib/parse/`, `base/` | |
| `lib/parse/` | `lib/`, `base/`, `<gumbo.h>` | |
| `lib/` | `base/` | `lib/parse/` |
| `base/` | the C++ library | everything |
<!-- /layers -->
"""

CLEAN = {
    "apps/tool/main.cpp": '#include "lib/parse/dom.h"\n#include "base/s.h"\nint main() {}\n',
    "lib/parse/dom.cpp": '#include <gumbo.h>\n#include "lib/paths.h"\n',
    "lib/paths.cpp": '#include "base/s.h"\n#include <string>\n',
    "base/s.cpp": "#include <vector>\n",
}

# (what is planted, the file, the words the report must hold)
CASES = [
    ("an include the row does not allow", {"lib/paths.cpp": '#include "lib/parse/dom.h"\n'},
     "lib/paths.cpp: includes lib/parse/dom.h"),
    ("a guarded header outside its rows", {"lib/paths.cpp": "#include <gumbo.h>\n"},
     "lib/paths.cpp: includes <gumbo.h>"),
    ("a main in a library folder", {"base/s.cpp": "int main() {}\n"}, "base/s.cpp: defines main()"),
    ("two top-level folders that include each other", {"base/s.cpp": '#include "apps/tool/x.h"\n'},
     "top-level folders include each other"),
]


def run(files):
    with tempfile.TemporaryDirectory() as root:
        root = pathlib.Path(root)
        (root / "ARCHITECTURE.md").write_text(TABLE, encoding="utf-8")
        for name, text in files.items():
            (root / name).parent.mkdir(parents=True, exist_ok=True)
            (root / name).write_text(text, encoding="utf-8")
        done = subprocess.run([sys.executable, str(CHECK), str(root)], capture_output=True, text=True)
        return done.returncode, done.stdout


def main():
    failures = []
    status, out = run(CLEAN)
    if status != 0:
        failures.append(f"the clean tree fails:\n{out}")
    for what, planted, expected in CASES:
        files = dict(CLEAN)
        for name, text in planted.items():
            files[name] = files.get(name, "") + text
        status, out = run(files)
        if status != 1 or expected not in out:
            failures.append(f"{what}: exit {status}, report:\n{out}")
    for line in failures:
        print("layering_check_test: " + line)
    print(f"{len(CASES) + 1 - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
