#!/usr/bin/env bash
# Builds and runs the codec, code page and writer benchmarks, each beside its
# reference in the same run, and prints the medians and their ratios.
#   bench/run_writer_bench.sh [REPETITIONS]   (default 5)
# Needs coreutils base64; the writer's reference needs GMime 3
# (libgmime-3.0-dev) when the build was configured.
set -euo pipefail
cd "$(dirname "$0")/.."
reps="${1:-5}"
cmake -S . -B build -G Ninja -DQEL_WERROR=ON > /dev/null
ninja -C build -j2 bench_base64 bench_codepage bench_writer > /dev/null
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
for b in base64 codepage writer; do
  echo "== bench_$b"
  build/bench/bench_$b --benchmark_repetitions="$reps" --benchmark_report_aggregates_only=true \
    --benchmark_out="$out/$b.json" --benchmark_out_format=json | grep -E "median|peak RSS" || true
done
python3 - "$out" <<'PY'
import json, sys
med = {}
for b in ("base64", "codepage", "writer"):
    for r in json.load(open(f"{sys.argv[1]}/{b}.json"))["benchmarks"]:
        if r.get("aggregate_name") == "median":
            # Times in milliseconds, whatever unit the benchmark reports in.
            scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[r.get("time_unit", "ns")]
            med[r["run_name"].replace("/real_time", "")] = r["real_time"] * scale
def ratio(label, ours, ref, target, faster=True):
    if ours not in med or ref not in med:
        print(f"{label}: missing ({ours} or {ref} did not run)")
        return
    r = med[ref] / med[ours] if faster else med[ours] / med[ref]
    ok = r >= target if faster else r <= target
    kind = "speed-up" if faster else "time ratio"
    print(f"{label}: ours {med[ours]:.2f} ms, reference {med[ref]:.2f} ms, {kind} {r:.2f} "
          f"(target {'>=' if faster else '<='} {target}) {'met' if ok else 'MISSED'}")
print("== medians")
ratio("encode 64 MiB vs base64 -w 76", "BM_EncodeBase64", "BM_CoreutilsEncode", 1.6)
ratio("decode 64 MiB vs base64 -d -i", "BM_DecodeBase64", "BM_CoreutilsDecode", 5.0)
for size in ("1048576", "16777216"):
    ratio(f"code page 932, {int(size) >> 20} Mi chars vs iconv", f"BM_WideToCp932/{size}", f"BM_IconvOneCall/{size}", 8.0)
ratio("GetFileText + cp932 vs GMime, 64 MiB images", "BM_GetFileTextCp932", "BM_GMimeBuildAndWrite", 0.75, faster=False)
PY
