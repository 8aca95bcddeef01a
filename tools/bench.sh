#!/usr/bin/env bash
# Times the engine's frames against its peers and prints one table.
#
# Builds the benches in a Release tree (build-release), then runs the
# engine bench (bench_frame) and the peer bench (bench_peer: SDL2's GLES2
# renderer and a bare GLES2 floor) alternately, ROUNDS times each, so that
# load on the machine falls on both alike; every figure is the median of
# its rounds. The cases are scenes of N sprites and the game's own frames
# (game/title, and main play's busiest: game/bonus, bonus time full of
# coins, bills and jewels; game/dumbbells, every dumbbell slot of the chest
# in the air), played from a fixed seed. Then times the start, `mekko
# --headless --frames 1` against startup_peer (a plain SDL2 program drawing
# the title) from exec to exit, STARTUP_RUNS times each, alternately, with
# their peak memory. Then runs the game headless for PACING_SECONDS and prints the mean frame period and its 99th percentile.
#
# bench_peer's floors are bare GLES2 drawing the same pictures: "floor" with
# the cheapest program for the same pixels, as the engine draws them
# (untinted pictures only sampled, opaque ones unblended, nothing under a
# picture that hides the screen), "trim" the same through each picture's
# outline (engine/TrimMesh.h), "tint" every picture times its colour (the
# first floor).
#
# llvmpipe rasterises on the calling thread (LP_NUM_THREADS=0 unless set),
# so each frame's thread CPU time holds all of its work: the ratios are
# taken on it, as wall time on a shared machine follows the machine's load.
# The pacing run leaves llvmpipe its own threads, as the game runs, unless
# LP_NUM_THREADS is set.
#
#   tools/bench.sh                 everything
#   ROUNDS=5 tools/bench.sh        more rounds
#   FILTER=sprites/2000 tools/bench.sh
#   PACING_SECONDS=0 tools/bench.sh    no pacing run
#   STARTUP_RUNS=0 tools/bench.sh      no start-up runs
#   ROUNDS=0 tools/bench.sh            no frame benches (the start-up and pacing only)
set -euo pipefail
cd "$(dirname "$0")/.."
ROUNDS=${ROUNDS:-3}
MIN_TIME=${MIN_TIME:-0.5}
FILTER=${FILTER:-}
PACING_SECONDS=${PACING_SECONDS:-60}
STARTUP_RUNS=${STARTUP_RUNS:-$(( ROUNDS > 5 ? ROUNDS : 5 ))}
JOBS=${JOBS:-8}
tree=build-release
out=$tree/bench-results
export EGL_PLATFORM=surfaceless SDL_VIDEODRIVER=offscreen ALSOFT_DRIVERS=null
pacing_threads=${LP_NUM_THREADS-}
export LP_NUM_THREADS=${LP_NUM_THREADS:-0}

cmake -S . -B "$tree" -DCMAKE_BUILD_TYPE=Release >/dev/null
targets=()
if [ "$ROUNDS" != 0 ]; then targets+=(bench_frame bench_peer); fi
if [ "$PACING_SECONDS" != 0 ] || [ "$STARTUP_RUNS" != 0 ]; then targets+=(mekko); fi
if [ "$STARTUP_RUNS" != 0 ]; then targets+=(startup_peer); fi
if [ ${#targets[@]} -gt 0 ]; then cmake --build "$tree" -j"$JOBS" --target "${targets[@]}"; fi
rm -rf "$out"
mkdir -p "$out"

filter_arg=()
[ -n "$FILTER" ] && filter_arg=(--benchmark_filter="$FILTER")
for round in $(seq 1 "$ROUNDS"); do
  for b in bench_frame bench_peer; do
    echo "round $round/$ROUNDS: $b" >&2
    "$tree/bench/$b" --benchmark_min_time="$MIN_TIME" --benchmark_format=json "${filter_arg[@]}" \
      >"$out/$b-$round.json"
  done
done

if [ "$ROUNDS" != 0 ]; then
python3 - "$out" <<'EOF'
import glob, json, re, statistics, sys
from collections import defaultdict

runs = defaultdict(lambda: defaultdict(list))  # case -> side -> [bench]
for path in sorted(glob.glob(sys.argv[1] + "/*.json")):
    for b in json.load(open(path))["benchmarks"]:
        if b.get("error_occurred"):
            print("skipped:", b["name"], b.get("error_message", ""), file=sys.stderr)
            continue
        side, case = b["name"].split("/", 1)
        case = re.sub(r"/(manual_time|iterations:\d+)", "", case)
        runs[case][side].append(b)

def med(bs, key):
    vals = [b[key] for b in bs if key in b]
    return statistics.median(vals) if vals else float("nan")

def ms(bs):
    return med(bs, "real_time") / 1000.0  # reported in microseconds

def cpu(bs):
    return med(bs, "cpu_us") / 1000.0

cols = ["case", "engine cpu", "wall", "upd", "rec", "exec", "finish", "read", "allocs", "draws", "cmds", "items",
        "each cpu", "sdl cpu", "floor cpu", "trim cpu", "tint cpu", "eng/sdl", "eng/floor", "eng/trim", "eng/tint",
        "each/sdl", "wall eng/sdl"]
rows = []
for case in sorted(runs, key=lambda c: (c.split("/")[0], int(c.split("/")[1]) if c.split("/")[-1].isdigit() else 0)):
    r = runs[case]
    e, each, sdl, floor = r.get("engine", []), r.get("engine-each", []), r.get("sdl", []), r.get("floor", [])
    ec, eachc, sc, fc = cpu(e), cpu(each), cpu(sdl), cpu(floor)
    tc, tintc = cpu(r.get("trimfloor", [])), cpu(r.get("tintfloor", []))
    rows.append([case, f"{ec:.2f}", f"{ms(e):.2f}",
                 f"{med(e, 'update_us')/1000:.2f}", f"{med(e, 'record_us')/1000:.2f}",
                 f"{med(e, 'execute_us')/1000:.2f}", f"{med(e, 'finish_us')/1000:.2f}",
                 f"{med(e, 'readback_us')/1000:.2f}", f"{med(e, 'allocs'):.1f}", f"{med(e, 'draws'):.0f}",
                 f"{med(sdl, 'cmds'):.0f}", f"{med(e, 'items'):.0f}",
                 f"{eachc:.2f}", f"{sc:.2f}", f"{fc:.2f}", f"{tc:.2f}", f"{tintc:.2f}",
                 f"{ec/sc:.2f}", f"{ec/fc:.2f}", f"{ec/tc:.2f}", f"{ec/tintc:.2f}", f"{eachc/sc:.2f}",
                 f"{ms(e)/ms(sdl):.2f}"])
widths = [max(len(str(x)) for x in col) for col in zip(cols, *rows)]
for line in [cols] + rows:
    print("  ".join(str(x).rjust(w) for x, w in zip(line, widths)))
print(f"\nmedians of {len(glob.glob(sys.argv[1] + '/bench_frame-*.json'))} alternating rounds, ms per frame; "
      "cpu = thread CPU time, wall and its phases = elapsed time;\n"
      "engine = update + record + execute + glFinish + read-back (batched), each = the same, one draw per command;\n"
      "sdl, floor, trim, tint = drawing the recorded commands + glFinish + read-back (floor: the engine's programs,\n"
      "trim: the same through the pictures' outlines, tint: every picture times its colour); "
      "allocs = engine heap allocations per frame;\n"
      "draws = the engine's GL draw calls, cmds = drawing commands recorded, items = things thrown in the air")

# The goals' ratios round by round (the engine's figure over its peer's of
# the same round): min / median / max.
def spread(a, b):
    vals = [x["cpu_us"] / y["cpu_us"] for x, y in zip(a, b) if "cpu_us" in x and "cpu_us" in y]
    return "/".join(f"{v:.2f}" for v in (min(vals), statistics.median(vals), max(vals))) if vals else "-"
print("\nper round, min/median/max:")
for case in sorted(runs):
    r = runs[case]
    e = r.get("engine", [])
    print(f"  {case:15s} eng/sdl {spread(e, r.get('sdl', []))}   eng/floor {spread(e, r.get('floor', []))}   "
          f"eng/trim {spread(e, r.get('trimfloor', []))}   floor/sdl {spread(r.get('floor', []), r.get('sdl', []))}")
EOF
fi

if [ "$STARTUP_RUNS" != 0 ]; then
  echo "start-up: ${STARTUP_RUNS} runs each, alternately" >&2
  (
    # As the game starts: llvmpipe's own threads, no display.
    if [ -n "$pacing_threads" ]; then export LP_NUM_THREADS=$pacing_threads; else unset LP_NUM_THREADS; fi
    unset DISPLAY WAYLAND_DISPLAY
    export XDG_CONFIG_HOME="$PWD/$out/xdg-config" XDG_DATA_HOME="$PWD/$out/xdg-data"
    mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"
    LIBGL_ALWAYS_SOFTWARE=1 python3 - "$STARTUP_RUNS" "$tree/host/mekko" "$tree/bench/startup_peer" <<'EOF'
import os, statistics, subprocess, sys, time
runs, mekko, peer = int(sys.argv[1]), sys.argv[2], sys.argv[3]
sides = {"mekko --headless --frames 1": [mekko, "--headless", "--frames", "1", "--profile", "375x667@2"],
         "SDL2 title (startup_peer)": [peer]}
got = {k: ([], []) for k in sides}
for _ in range(runs):
    for name, cmd in sides.items():
        start = time.perf_counter()
        p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(p.pid, 0)
        wall = time.perf_counter() - start
        if status != 0:
            print(f"start-up: {name} ended with status {status}", file=sys.stderr)
            continue
        got[name][0].append(wall)
        got[name][1].append(usage.ru_maxrss / 1024.0)
def mmm(v, fmt):
    return "/".join(fmt.format(x) for x in (min(v), statistics.median(v), max(v))) if v else "-"
print("\nstart-up to first frame, headless (min/median/max of %d runs each):" % runs)
for name, (walls, peaks) in got.items():
    print(f"  {name:30s} wall {mmm(walls, '{:.3f}')} s   peak {mmm(peaks, '{:.0f}')} MiB")
(mw, mp), (sw, sp) = got[list(sides)[0]], got[list(sides)[1]]
if mw and sw:
    print(f"  start-up mekko/sdl (medians): wall {statistics.median(mw) / statistics.median(sw):.2f}x, "
          f"peak memory {statistics.median(mp):.0f} MiB vs {statistics.median(sp):.0f} MiB")
EOF
  )
fi

if [ "$PACING_SECONDS" != 0 ]; then
  echo "pacing: ${PACING_SECONDS} s headless (LP_NUM_THREADS=${pacing_threads:-llvmpipe default})" >&2
  (
    if [ -n "$pacing_threads" ]; then export LP_NUM_THREADS=$pacing_threads; else unset LP_NUM_THREADS; fi
    LIBGL_ALWAYS_SOFTWARE=1 timeout $((PACING_SECONDS * 2 + 60)) "$tree/host/mekko" --headless \
      --frames $((PACING_SECONDS * 60)) --timeout $((PACING_SECONDS * 2)) --pacing |
      grep -E "pacing|frames presented" || true
  )
fi
