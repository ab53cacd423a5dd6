#!/usr/bin/env bash
# The export, the load and `toruca make` as whole processes, against the
# physical limit of the same job and against GMime 3 doing it, in one run:
# the runs of all commands interleaved, medians of each, ratios to the
# limit, peak memory.
#   bench/run_pipeline_bench.sh [--mib N | --bytes N] [--runs N] [--all [--base DIR]]
# defaults: a page with one image of 64 MiB, 7 runs. --all adds, each in
# one run beside its reference, GetFileText of a record with that image
# (against bench_pipeline built from an older tree in DIR/build, when
# --base is given: run one after the other, alternately) and CreateFromHtml
# of pages of 20,000 to 80,000 images against gumbo parsing the same file. The export is qelhost
# writing the page as a detail file (--form detail, dialogs accepted as
# shown); its limit reads the image and writes a file of the output's size
# with fsync, as the export does (target 1.10). The load is qelhost reading
# that file back in its own form (load and extract only); its limit reads
# the file and writes a file of the image's size without fsync, as the
# load's attachments are not flushed (target 1.25). The limits of the
# earlier definition are reported beside them: the load's with fsync, both
# targets 1.25. `toruca make` of the example page runs beside qelhost
# exporting the same page (target 1.0), each many times as they are short.
# GMime builds and writes the same message, and parses its own message and
# writes the image.
# The files live under build/pipeline-bench (on the disk, never a tmpfs,
# so that fsync means what it says); images must stay below 512 MiB.
# Needs /usr/bin/time (package time) for the peaks.
set -euo pipefail
cd "$(dirname "$0")/.."
bytes=$((64 << 20))
runs=7
all=0
base=
while [ $# -gt 0 ]; do
  case "$1" in
    --all) all=1; shift ;;
    --base) base=$(cd "$2" && pwd); shift 2 ;;
    --mib) bytes=$(($2 << 20)); shift 2 ;;
    --bytes) bytes=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    *) echo "usage: $0 [--mib N | --bytes N] [--runs N] [--all [--base DIR]]" >&2; exit 2 ;;
  esac
done
cmake -S . -B build -G Ninja -DQEL_WERROR=ON > /dev/null
ninja -C build -j2 qelhost qeltoruca toruca pipeline_tools bench_pipeline bench_html_import > /dev/null
work="$PWD/build/pipeline-bench"
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
unset DISPLAY WAYLAND_DISPLAY
python3 - "$work" "$bytes" "$runs" <<'PY'
import os, statistics, subprocess, sys, time
work, size, runs = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
build = os.path.abspath("build")
qelhost, tools = f"{build}/qelhost", f"{build}/bench/pipeline_tools"
image, page = f"{work}/big.gif", f"{work}/page.html"
with open(image, "wb") as f:
    f.write(b"GIF89a")
    left = size - 6
    while left > 0:
        chunk = os.urandom(min(left, 8 << 20))
        f.write(chunk)
        left -= len(chunk)
with open(page, "w") as f:
    f.write('<html><body><p>one image</p><img src="big.gif"></body></html>\n')

peak_file = f"{work}/peak"
def spawn(argv):
    """Runs argv as a whole process: (seconds, CPU seconds, peak RSS in MiB). The peak is
    taken by /usr/bin/time: a child of this script would report at least the
    script's own peak, which the kernel carries over a fork."""
    devnull = os.open(os.devnull, os.O_WRONLY)
    timed = ["/usr/bin/time", "-f", "%M", "-o", peak_file] + argv
    t = time.perf_counter()
    pid = os.posix_spawn(timed[0], timed, os.environ,
                         file_actions=[(os.POSIX_SPAWN_DUP2, devnull, 1), (os.POSIX_SPAWN_DUP2, devnull, 2)])
    _, status, usage = os.wait4(pid, 0)
    elapsed = time.perf_counter() - t
    os.close(devnull)
    if status != 0:
        sys.exit(f"failed ({status:#x}): {' '.join(argv)}")
    with open(peak_file) as f:
        return elapsed, usage.ru_utime + usage.ru_stime, int(f.read().split()[-1]) / 1024

def clean(folder):
    for name in os.listdir(folder):
        os.unlink(os.path.join(folder, name))

out_dir, load_dir, ref_dir = f"{work}/out", f"{work}/load", f"{work}/ref"
make_dir, host_dir = f"{work}/make", f"{work}/host"
for d in (out_dir, load_dir, ref_dir, make_dir, host_dir):
    os.mkdir(d)
export_cmd = [qelhost, "--temp-dir", out_dir, "--form", "detail", page]
# One export to have the file the load reads, and to check the round trip.
spawn(export_cmd)
card = f"{work}/card.trc"
os.rename(f"{out_dir}/toruca_detail.trc", card)
card_size = os.path.getsize(card)
load_cmd = [qelhost, "--temp-dir", load_dir, "--form", "detail", card]
spawn(load_cmd)
extracted = os.listdir(load_dir)
if len(extracted) != 1 or subprocess.run(["cmp", "-s", image, f"{load_dir}/{extracted[0]}"]).returncode != 0:
    sys.exit("the load did not give the image back")
clean(load_dir)

have_gmime = subprocess.run([tools, "gmime-read"], capture_output=True).stderr.find(b"gmime-write") >= 0 and \
    subprocess.run([tools, "gmime-write", page, image, f"{ref_dir}/m.eml"], capture_output=True).returncode == 0
message = f"{work}/gmime.eml"
if have_gmime:
    os.rename(f"{ref_dir}/m.eml", message)

jobs = {
    "export": (export_cmd, out_dir),
    "export limit": ([tools, "limit", image, str(card_size), f"{ref_dir}/limit.out"], ref_dir),
    "load": (load_cmd, load_dir),
    "load limit": ([tools, "limit-nosync", card, str(size), f"{ref_dir}/limit.out"], ref_dir),
    "load limit+sync": ([tools, "limit", card, str(size), f"{ref_dir}/limit.out"], ref_dir),
}
if have_gmime:
    jobs["GMime write"] = ([tools, "gmime-write", page, image, f"{ref_dir}/m.eml"], ref_dir)
    jobs["GMime read"] = ([tools, "gmime-read", message, f"{ref_dir}/image.out"], ref_dir)
# The example page, short jobs: several runs of each per round.
example = os.path.abspath("examples/shop/index.html")
short_jobs = {
    "toruca make": ([f"{build}/toruca", "make", example, "-o", make_dir], make_dir),
    "qelhost page": ([qelhost, "--temp-dir", host_dir, "--form", "detail", example], host_dir),
}
short_repeats = 5
times = {k: [] for k in list(jobs) + list(short_jobs)}
cpu = {k: [] for k in times}
peaks = {k: 0.0 for k in times}
def run_into(name, argv, folder):
    seconds, cpu_seconds, peak = spawn(argv)
    times[name].append(seconds)
    cpu[name].append(cpu_seconds)
    peaks[name] = max(peaks[name], peak)
    clean(folder)
for _ in range(runs):
    for name, (argv, folder) in jobs.items():
        run_into(name, argv, folder)
    for _ in range(short_repeats):
        for name, (argv, folder) in short_jobs.items():
            run_into(name, argv, folder)

med = {k: statistics.median(v) * 1000 for k, v in times.items()}
cpu_med = {k: statistics.median(v) * 1000 for k, v in cpu.items()}
print(f"image {size} bytes, card {card_size} bytes, medians of {runs} interleaved runs "
      f"(load average {os.getloadavg()[0]:.1f} on {os.cpu_count()} processors)")
for name in times:
    print(f"  {name:15s} {med[name]:8.1f} ms   CPU {cpu_med[name]:7.1f} ms   peak {peaks[name]:7.1f} MiB")
def ratio(ours, ref, target=None):
    r = med[ours] / med[ref]
    verdict = "" if target is None else f" (target <= {target}) {'met' if r <= target else 'MISSED'}"
    print(f"{ours} / {ref}: {r:.2f}{verdict}")
print("limits: the export's reads the image, writes the card and flushes it; the load's reads the card")
print("and writes the image without a flush (its attachments are not flushed)")
ratio("export", "export limit", 1.10)
ratio("load", "load limit", 1.25)
ratio("toruca make", "qelhost page", 1.0)
print("earlier definition: both limits flush what they write")
ratio("export", "export limit", 1.25)
ratio("load", "load limit+sync", 1.25)
# On a busy machine the elapsed times mostly measure waiting; the CPU times
# say what each process itself cost.
for ours, ref in (("export", "export limit"), ("load", "load limit"), ("toruca make", "qelhost page")):
    print(f"{ours} / {ref}, CPU time: {cpu_med[ours] / max(cpu_med[ref], 1e-3):.2f}")
if have_gmime:
    ratio("GMime write", "export limit")
    ratio("GMime read", "load limit")
for name in ("export", "load", "toruca make"):
    print(f"{name} peak memory: {peaks[name]:.1f} MiB (target <= 32) {'met' if peaks[name] <= 32 else 'MISSED'}")
PY

[ "$all" = 1 ] || exit 0

echo "== GetFileText, one image of $((bytes >> 20)) MiB"
export QEL_PIPELINE_MIB=$((bytes >> 20))
python3 - "$runs" build/bench/bench_pipeline ${base:+"$base/build/bench/bench_pipeline"} <<'PY'
import json, statistics, subprocess, sys
runs, binaries = int(sys.argv[1]), sys.argv[2:]
times = {b: [] for b in binaries}
for _ in range(runs):
    for b in binaries:
        out = subprocess.run([b, "--benchmark_format=json"], capture_output=True, text=True, check=True).stdout
        times[b].append(json.loads(out)["benchmarks"][0]["real_time"])
med = {b: statistics.median(v) for b, v in times.items()}
for b in binaries:
    print(f"  {b}: {med[b]:.1f} ms")
if len(binaries) == 2:
    print(f"GetFileText now / before: {med[binaries[0]] / med[binaries[1]]:.2f} (target <= 1.00)")
PY

echo "== CreateFromHtml against gumbo parsing the same file"
build/bench/bench_html_import --benchmark_filter='BM_(ParseFileAlone|ImportFromFile)/' \
  --benchmark_repetitions="$runs" --benchmark_report_aggregates_only=true \
  --benchmark_out="$work/html.json" --benchmark_out_format=json > /dev/null
python3 - "$work/html.json" <<'PY'
import json, sys
med = {r["run_name"]: r["real_time"] for r in json.load(open(sys.argv[1]))["benchmarks"]
       if r.get("aggregate_name") == "median"}
for n in (20000, 40000, 80000):
    ours, ref = med[f"BM_ImportFromFile/{n}"], med[f"BM_ParseFileAlone/{n}"]
    print(f"  {n} images: import {ours:.1f} ms, gumbo alone {ref:.1f} ms, ratio {ours / ref:.2f}")
r = med["BM_ImportFromFile/80000"] / med["BM_ParseFileAlone/80000"]
print(f"CreateFromHtml / gumbo, 80,000 images: {r:.2f} (target <= 1.5) {'met' if r <= 1.5 else 'MISSED'}")
growth = med["BM_ImportFromFile/80000"] / med["BM_ImportFromFile/20000"]
print(f"import 80,000 / 20,000 images: {growth:.2f} (gumbo alone: "
      f"{med['BM_ParseFileAlone/80000'] / med['BM_ParseFileAlone/20000']:.2f}; linear: 4)")
PY
