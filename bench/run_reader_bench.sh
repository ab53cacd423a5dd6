#!/usr/bin/env bash
# Builds and runs the reader benchmark (LoadFile beside base64 -d -i and
# GMime 3 in the same run) and prints the medians, their ratios and the peak
# memory of LoadFile.
#   bench/run_reader_bench.sh [REPETITIONS]   (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
reps="${1:-5}"
cmake -S . -B build -G Ninja -DQEL_WERROR=ON > /dev/null
ninja -C build -j2 bench_reader > /dev/null
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
build/bench/bench_reader --benchmark_repetitions="$reps" --benchmark_report_aggregates_only=true \
  --benchmark_out="$out/reader.json" --benchmark_out_format=json | grep -E "median|peak RSS" || true
python3 - "$out/reader.json" <<'PY'
import json, sys
med = {r["run_name"].replace("/real_time", ""): r["real_time"] for r in json.load(open(sys.argv[1]))["benchmarks"]
       if r.get("aggregate_name") == "median"}
def ratio(label, ref, target):
    if "BM_LoadFile" not in med or ref not in med:
        print(f"{label}: missing ({ref} did not run)")
        return
    r = med["BM_LoadFile"] / med[ref]
    print(f"LoadFile vs {label}: {med['BM_LoadFile']:.1f} ms / {med[ref]:.1f} ms = {r:.2f} "
          f"(target <= {target}) {'met' if r <= target else 'MISSED'}")
print("== medians")
ratio("base64 -d -i", "BM_CoreutilsDecode", 0.5)
ratio("GMime 3 parse+decode+write", "BM_GMimeParseDecodeWrite", 0.75)
PY
