#!/bin/sh
# The bench's goals, checked on this machine: builds the bench, runs the benchmarks behind the goals
# three times, and prints one table row per goal and size with the figure (median of the three), the
# goal, the peer's figure from the same run and "met" or "missed". The goals live here and nowhere
# else; bench/README.md's table is this script's output. Exits 0 whatever the figures say.
#
#   sh bench/goals.sh              # build tree: build/ (or $PXM_BENCH_BUILD)
#   PXM_BENCH_ARGS=--benchmark_min_time=0.01 sh bench/goals.sh   # a quick look, not figures to keep
#
# Ratios (x traffic, ratios to a peer) count as met within 3 %: the repetitions of one unchanged
# benchmark spread by that much on this shared machine, and Equal of a one-byte value *is* memset.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PXM_BENCH_BUILD:-$root/build}

cmake -S "$root" -B "$build" -G Ninja -DPXM_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target pxm_bench PXM DuvirovurozAd >/dev/null

out=$(mktemp)
trap 'rm -f "$out"' EXIT
# Only the benchmarks some goal reads; a benchmark missing from this build is simply not run.
names='BM_Load|BM_LoadTopDown24|BM_Load565|BM_LoadRle8|BM_FreadFresh|BM_StbLoad'
names="$names|BM_RasterCopyThreePlanes|BM_RasterCopyMean|BM_YuvSplitRGBPlane|BM_YuvRGB24ToJ400"
names="$names|BM_DibCopy24SwapBGR|BM_DibCopy32AlphaForced|BM_YuvRAWToRGB24|BM_YuvARGBCopy"
names="$names|BM_Equal8|BM_Equal16|BM_Equal24|BM_Equal32|BM_PixmanFill|BM_TransformApply"
names="$names|BM_RecordSave|BM_RecordLoad|BM_CreateQueryRelease"
names="$names|BM_CanvasCopy8|BM_CanvasCopy24|BM_YuvI400ToARGB|BM_YuvRAWToARGB"
names="$names|BM_RenderDIB8|BM_RenderDIB24|BM_RenderDIB32|BM_RenderDIB24Half|BM_RenderDIB32Half"
names="$names|BM_RenderDIB24Four|BM_RenderDIB32Four|BM_YuvARGBScaleHalf|BM_YuvARGBScaleFour"
names="$names|BM_RenderDIB32Alpha|BM_PixmanOver|BM_RenderCanvasTransparent"
"$build/bench/pxm_bench" --benchmark_filter="^($names)(/|\$)" --benchmark_repetitions=3 \
  --benchmark_report_aggregates_only=true --benchmark_format=json --benchmark_out="$out" \
  --benchmark_out_format=json $PXM_BENCH_ARGS >/dev/null 2>&1 || true

compiler=$("$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build/CMakeCache.txt")" --version | head -n 1)
buildType=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
machine=$(sed -n 's/^model name[^:]*: //p' /proc/cpuinfo 2>/dev/null | head -n 1)
cpus=$(getconf _NPROCESSORS_ONLN 2>/dev/null || echo '?')
l3=$(getconf LEVEL3_CACHE_SIZE 2>/dev/null || echo 0)

python3 - "$out" "$(date -u '+%Y-%m-%d %H:%M UTC')" "$machine" "$cpus" "$l3" "$compiler" "${buildType:-RelWithDebInfo}" <<'EOF'
import json, re, sys

path, date, machine, cpus, l3, compiler, build_type = sys.argv[1:8]
try:
    runs = json.load(open(path)).get("benchmarks", [])
except (OSError, ValueError):
    runs = []
UNIT = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
median = {}  # "BM_X/args" -> the median aggregate of its repetitions
for run in runs:
    if run.get("aggregate_name") == "median" and not run.get("error_occurred"):
        median[run["run_name"].replace("/manual_time", "")] = run

def x(name):
    run = median.get(name)
    return run.get("x_traffic") if run else None

def ms(name):
    run = median.get(name)
    return run["real_time"] * UNIT[run["time_unit"]] if run else None

NOISE = 0.97  # ratios within 3 % of their goal count as met
rows = []

def row(what, size, figure, goal, peer, met):
    rows.append((what, size, figure, goal, peer, "met" if met else "missed"))

def skipped(what, why):
    rows.append((what, "", "", "", why, "skipped"))

SIZES = (1024, 4096)

def fixed(what, bench, goal, peer=None, peer_label=None):
    """x traffic of bench at least goal (of memcpy, or of memset for fills)."""
    for n in SIZES:
        f = x(f"{bench}/{n}")
        if f is None:
            continue
        p = x(f"{peer}/{n}") if peer else None
        row(what, n, f"{f:.2f}", f"≥ {goal:.2f}", f"{peer_label} {p:.2f}" if p is not None else "", f >= goal * NOISE)

def against(what, bench, peer, peer_label, factor=1.0):
    """x traffic of bench at least factor times the peer's in the same run."""
    for n in SIZES:
        f, p = x(f"{bench}/{n}"), x(f"{peer}/{n}")
        if f is None:
            continue
        text = f"≥ {factor:g} × {peer_label}" + (f" = {factor * p:.2f}" if factor != 1 and p is not None else "")
        if p is None:
            row(what, n, f"{f:.2f}", text, "peer not built", False)
            continue
        row(what, n, f"{f:.2f}", text if factor != 1 else f"≥ {peer_label}", f"{peer_label} {p:.2f}",
            f >= factor * p * NOISE)

VARIANT_SIZE = (4096, 3072)  # the loading variants' files, which their benchmark names do not carry

def loads(bench):
    """Instances of a load benchmark: (name, width, height, bits)."""
    if bench in median:
        yield bench, VARIANT_SIZE[0], VARIANT_SIZE[1], 0
    for name in median:
        m = re.fullmatch(re.escape(bench) + r"/w:(\d+)/h:(\d+)(?:/bits:(\d+))?", name)
        if m:
            yield name, int(m[1]), int(m[2]), int(m[3] or 0)

def load_goals():
    for name, w, h, bits in sorted(loads("BM_Load"), key=lambda l: (l[1] * l[2], l[3])):
        if bits != 24:
            continue
        t, stb, fresh = ms(name), ms(f"BM_StbLoad/w:{w}/h:{h}/bits:24"), ms(f"BM_FreadFresh/w:{w}/h:{h}/bits:24")
        size = f"{w} × {h}"
        if stb is not None:
            row("Load 24-bit, faster than stb", size, f"{t:.2f} ms", "≥ 10 × faster", f"stb {stb:.1f} ms ({stb / t:.1f} ×)",
                stb / t >= 10)
        if fresh is not None:
            row("Load 24-bit, against malloc + fread", size, f"{t:.2f} ms", "≤ 1.3 × fread",
                f"fresh fread {fresh:.2f} ms ({t / fresh:.2f} ×)", t <= 1.3 * fresh)
    # Other forms of bitmap file: as fast as a plain 24-bit file of the same pixel count.
    for bench, what in (("BM_LoadTopDown24", "Load top-down 24-bit"), ("BM_Load565", "Load 16-bit 5-6-5")):
        found = list(loads(bench))
        if not found:
            skipped(what, f"no {bench} in this build")
        for name, w, h, _ in found:
            t, plain = ms(name), ms(f"BM_Load/w:{w}/h:{h}/bits:24")
            if plain is None:
                skipped(what, f"no BM_Load of {w} × {h} at 24 bits")
                continue
            row(what, f"{w} × {h}", f"{t:.2f} ms", "≤ 1.5 × Load 24-bit", f"Load 24-bit {plain:.2f} ms ({t / plain:.2f} ×)",
                t <= 1.5 * plain)
    found = list(loads("BM_LoadRle8"))
    if not found:
        skipped("Load 8-bit run-length", "no BM_LoadRle8 in this build")
    for name, w, h, _ in found:
        rate = w * h / (ms(name) * 1e-3) / 1e9
        row("Load 8-bit run-length", f"{w} × {h}", f"{rate:.2f} GB/s", "≥ 1 GB/s of pixels", "", rate >= 1)

load_goals()
fixed("raster Copy, 24-bit → three planes", "BM_RasterCopyThreePlanes", 0.9, "BM_YuvSplitRGBPlane", "SplitRGBPlane")
against("raster Copy, 24-bit → three planes", "BM_RasterCopyThreePlanes", "BM_YuvSplitRGBPlane", "SplitRGBPlane")
fixed("raster Copy, 24-bit → mean", "BM_RasterCopyMean", 0.8, "BM_YuvRGB24ToJ400", "RGB24ToJ400")
against("raster Copy, 24-bit → mean", "BM_RasterCopyMean", "BM_YuvRGB24ToJ400", "RGB24ToJ400")
fixed('DIB Copy "BGR " swap', "BM_DibCopy24SwapBGR", 1.0, "BM_YuvRAWToRGB24", "RAWToRGB24")
fixed("DIB Copy 32-bit alpha forced", "BM_DibCopy32AlphaForced", 1.0, "BM_YuvARGBCopy", "ARGBCopy")
for bits in (8, 16, 24, 32):
    fixed(f"Equal {bits}-bit (of memset)", f"BM_Equal{bits}", 1.0, "BM_PixmanFill", "pixman_fill")
fixed("transform Apply (in-place swap)", "BM_TransformApply", 1.0, "BM_YuvRAWToRGB24", "RAWToRGB24")
fixed("record Save (24-bit)", "BM_RecordSave", 0.5)
fixed("record Load (24-bit)", "BM_RecordLoad", 0.6)
t = median.get("BM_CreateQueryRelease")
if t:
    ns = t["cpu_time"] * UNIT[t["time_unit"]] * 1e6
    row("create + QueryInterface + release", "", f"{ns:.0f} ns", "< 100 ns", "", ns < 100)
fixed("canvas Copy 8-bit → 4-byte", "BM_CanvasCopy8", 0.9, "BM_YuvI400ToARGB", "I400ToARGB")
fixed("canvas Copy 24-bit → 4-byte", "BM_CanvasCopy24", 1.0, "BM_YuvRAWToARGB", "RAWToARGB")
fixed("render DIB 32-bit 1:1", "BM_RenderDIB32", 0.8)
fixed("render DIB 24-bit 1:1", "BM_RenderDIB24", 0.8)
fixed("render DIB 8-bit 1:1", "BM_RenderDIB8", 0.8)
against("render DIB 32-bit ½", "BM_RenderDIB32Half", "BM_YuvARGBScaleHalf", "ARGBScale")
against("render DIB 32-bit 4×", "BM_RenderDIB32Four", "BM_YuvARGBScaleFour", "ARGBScale")
against("render DIB 24-bit ½", "BM_RenderDIB24Half", "BM_RenderDIB32Half", "32-bit", factor=0.8)
against("render DIB 24-bit 4×", "BM_RenderDIB24Four", "BM_RenderDIB32Four", "32-bit", factor=0.8)
against("render DIB 32-bit with alpha", "BM_RenderDIB32Alpha", "BM_PixmanOver", "pixman OVER")
fixed("render canvas with a transparent colour", "BM_RenderCanvasTransparent", 0.8)

l3_text = f", L3 {int(l3) >> 20} MiB" if l3.isdigit() and int(l3) else ""
print(f"Date: {date}. Machine: {cpus} CPUs of {machine or 'an unknown processor'}{l3_text}. "
      f"Compiler: {compiler}, {build_type}. Figures: medians of 3 repetitions, x traffic unless a time is given.")
print()
print("| goal | size | figure | goal | peer in the same run | |")
print("| --- | --- | --- | --- | --- | --- |")
for r in rows:
    print("| " + " | ".join(str(c) for c in r) + " |")
if not median:
    print("\nNo figures: the benchmark did not run (see the build tree's bench/pxm_bench).")
met = sum(r[5] == "met" for r in rows)
missed = sum(r[5] == "missed" for r in rows)
print(f"\n{met} met, {missed} missed.")
EOF
exit 0
