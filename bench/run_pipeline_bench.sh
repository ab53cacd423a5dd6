#!/usr/bin/env bash
# The export and the load as whole processes, against the physical limit of
# the same job and against GMime 3 doing it, in one run: the runs of all
# commands interleaved, medians of each, ratios to the limit, peak memory.
#   bench/run_pipeline_bench.sh [--mib N | --bytes N] [--runs N]
# defaults: a page with one image of 64 MiB, 7 runs. The export is qelhost
# writing the page as a detail file (--form detail, dialogs accepted as
# shown); its limit reads the image and writes a file of the output's size
# with fsync, as the export does. The load is qelhost reading that file back
# in its own form (load and extract only); its limit reads the file and
# writes a file of the image's size with fsync. GMime builds and writes the
# same message, and parses its own message and writes the image.
# The files live under build/pipeline-bench (on the disk, never a tmpfs,
# so that fsync means what it says); images must stay below 512 MiB.
# Needs /usr/bin/time (package time) for the peaks.
set -euo pipefail
cd "$(dirname "$0")/.."
bytes=$((64 << 20))
runs=7
while [ $# -gt 0 ]; do
  case "$1" in
    --mib) bytes=$(($2 << 20)); shift 2 ;;
    --bytes) bytes=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    *) echo "usage: $0 [--mib N | --bytes N] [--runs N]" >&2; exit 2 ;;
  esac
done
cmake -S . -B build -G Ninja -DQEL_WERROR=ON > /dev/null
ninja -C build -j2 qelhost qeltoruca pipeline_tools > /dev/null
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
for d in (out_dir, load_dir, ref_dir):
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
    "load limit": ([tools, "limit", card, str(size), f"{ref_dir}/limit.out"], ref_dir),
}
if have_gmime:
    jobs["GMime write"] = ([tools, "gmime-write", page, image, f"{ref_dir}/m.eml"], ref_dir)
    jobs["GMime read"] = ([tools, "gmime-read", message, f"{ref_dir}/image.out"], ref_dir)
times = {k: [] for k in jobs}
cpu = {k: [] for k in jobs}
peaks = {k: 0.0 for k in jobs}
for _ in range(runs):
    for name, (argv, folder) in jobs.items():
        seconds, cpu_seconds, peak = spawn(argv)
        times[name].append(seconds)
        cpu[name].append(cpu_seconds)
        peaks[name] = max(peaks[name], peak)
        clean(folder)

med = {k: statistics.median(v) * 1000 for k, v in times.items()}
cpu_med = {k: statistics.median(v) * 1000 for k, v in cpu.items()}
print(f"image {size} bytes, card {card_size} bytes, medians of {runs} interleaved runs "
      f"(load average {os.getloadavg()[0]:.1f} on {os.cpu_count()} processors)")
for name in jobs:
    print(f"  {name:13s} {med[name]:8.1f} ms   CPU {cpu_med[name]:7.1f} ms   peak {peaks[name]:7.1f} MiB")
def ratio(ours, ref, target=None):
    r = med[ours] / med[ref]
    verdict = "" if target is None else f" (target <= {target}) {'met' if r <= target else 'MISSED'}"
    print(f"{ours} / {ref}: {r:.2f}{verdict}")
ratio("export", "export limit", 1.25)
ratio("load", "load limit", 1.25)
# On a busy machine the elapsed times mostly measure waiting; the CPU times
# say what each process itself cost.
for ours, ref in (("export", "export limit"), ("load", "load limit")):
    print(f"{ours} / {ref}, CPU time: {cpu_med[ours] / max(cpu_med[ref], 1e-3):.2f}")
if have_gmime:
    ratio("GMime write", "export limit")
    ratio("GMime read", "load limit")
for name in ("export", "load"):
    print(f"{name} peak memory: {peaks[name]:.1f} MiB (target <= 32) {'met' if peaks[name] <= 32 else 'MISSED'}")
PY
