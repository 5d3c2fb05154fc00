#!/usr/bin/env bash
# A Send To batch of large photographs under Wine: Pirex.exe started in its
# JPEG start mode (as the Send To shortcut starts it) against moravel.exe
# with the same files and the same settings file, each on one core and on
# every core, in turns (A B C D, A B C D, ...) so that a change of load on a
# shared machine falls on all of them alike.
#
#   bench/sendto_bench.sh [--count N] [--size WxH] [--repeat R] [--build DIR] [--work DIR]
#
# Defaults: 200 photographs of 4000 x 3000 (12 MP, JPEG quality 92), made
# once into WORK/photos-N-WxH; outputs 1600 px JPEGs (longer side, quality 75) as
# the settings file says. One core: the whole Windows process is pinned to
# CPU 0 with taskset; the program then sees one processor and converts one
# file at a time. Prints wall and CPU seconds of every run, the best of each
# measure, and the ratios; fails when any run's files differ from the first.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
count=200
size=4000x3000
repeat=2
build="$here/build/windows"
work="$here/build/sendto-bench"
while [[ $# -gt 0 ]]; do
  case "$1" in
    --count) count="$2"; shift 2 ;;
    --size) size="$2"; shift 2 ;;
    --repeat) repeat="$2"; shift 2 ;;
    --build) build="$2"; shift 2 ;;
    --work) work="$2"; shift 2 ;;
    -h|--help) sed -n '2,16p' "$0"; exit 0 ;;
    *) echo "sendto_bench.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
width="${size%x*}"
height="${size#*x}"
for file in app/Pirex.exe app/English.dll cli/moravel.exe; do
  [[ -f "$build/$file" ]] || { echo "sendto_bench.sh: $build/$file is missing (build the windows preset)" >&2; exit 2; }
done
for tool in taskset cjpeg c++ cmp; do
  command -v "$tool" >/dev/null || { echo "sendto_bench.sh: needs $tool" >&2; exit 2; }
done
timer=/usr/bin/time
[[ -x "$timer" ]] || { echo "sendto_bench.sh: needs $timer (Debian package time)" >&2; exit 2; }

mkdir -p "$work"
work="$(cd "$work" && pwd)"
prefix="$work/wineprefix"
wine_run=("$here/scripts/wine-run.sh" --prefix "$prefix")
winpath() { local p="$1"; printf 'Z:%s' "${p//\//\\}"; }

# The photographs, made once per count and size.
photos="$work/photos-$count-$size"
if [[ ! -f "$photos/.complete" ]]; then
  echo "making $count photographs of $size in $photos ..."
  rm -rf "$photos" && mkdir -p "$photos"
  c++ -O2 -o "$work/photo_pattern" "$here/bench/photo_pattern.cpp"
  # shellcheck disable=SC2016 # expanded by the inner sh
  seq 1 "$count" | xargs -P 2 -I{} sh -c \
    'n=$(printf %03d "$1"); "$2/photo_pattern" "$3" "$4" "$1" | cjpeg -quality 92 > "$5/p$n.jpg"' \
    _ {} "$work" "$width" "$height" "$photos"
  touch "$photos/.complete"
fi
mapfile -t sources < <(find "$photos/" -name '*.jpg' | sort)
windows_sources=()
for source in "${sources[@]}"; do windows_sources+=("$(winpath "$source")"); done

# The program folder: Pirex.exe, its language library and its settings file.
program="$work/program"
rm -rf "$program" && mkdir -p "$program"
cp "$build/app/Pirex.exe" "$build/app/English.dll" "$program/"
env -u TMP -u TEMP -u TMPDIR "${wine_run[@]}" --init

# The settings of a user's Send To: JPEG at once (start mode 3), the longer
# side shrunk to 1600 px, into one output folder. moravel.exe writes the
# file; the start mode has no flag, so its number slot is set here.
settings_for() {   # OUTPUT_FOLDER
  rm -f "$program/Pirex.ini"
  env -u TMP -u TEMP -u TMPDIR "${wine_run[@]}" "$build/cli/moravel.exe" \
    --resize long:1600 --output-folder "$(winpath "$1")" --plugin-folder "" \
    --save-settings "$(winpath "$program/Pirex.ini")" >/dev/null
  # Slot 14 (start mode) is the 8 bytes at 4 + 14 * 8: kind 1 (number), value 3.
  printf '\001\000\000\000\003\000\000\000' |
    dd of="$program/Pirex.ini" bs=1 seek=116 conv=notrunc status=none
}

runs=(pirex-1core moravel-jobs1-1core pirex-all moravel-all)
command_for() {   # RUN -> the command line in the array "command"
  case "$1" in
    pirex-1core) command=(taskset -c 0 "${wine_run[@]}" "$program/Pirex.exe" "${windows_sources[@]}") ;;
    moravel-jobs1-1core)
      command=(taskset -c 0 "${wine_run[@]}" "$build/cli/moravel.exe" --jobs 1 --format jpeg
               --settings "$(winpath "$program/Pirex.ini")" "${windows_sources[@]}") ;;
    pirex-all) command=("${wine_run[@]}" "$program/Pirex.exe" "${windows_sources[@]}") ;;
    moravel-all)
      command=("${wine_run[@]}" "$build/cli/moravel.exe" --format jpeg
               --settings "$(winpath "$program/Pirex.ini")" "${windows_sources[@]}") ;;
  esac
}

# Wine's own server and services run before the first timed run and stay
# (unpinned, like an operating system's kernel), so no run pays for them.
wineserver=/usr/lib/wine/wineserver64
[[ -x "$wineserver" ]] || wineserver="$(command -v wineserver)"
# (Already running for this prefix: it says so and stays.)
WINEPREFIX="$prefix" "$wineserver" -p 2>/dev/null || true
trap 'env WINEPREFIX="$prefix" "${wine_run[@]}" --kill' EXIT

results="$work/results.txt"
: > "$results"
reference=""
outputs="$work/outputs"
for ((r = 1; r <= repeat; ++r)); do
  for run in "${runs[@]}"; do
    out="$outputs/$run"
    rm -rf "$out" && mkdir -p "$out"
    settings_for "$out"
    command_for "$run"
    timing="$work/timing.txt"
    read -r load _ < /proc/loadavg
    if ! env -u TMP -u TEMP -u TMPDIR "$timer" -f '%e %U %S' -o "$timing" \
      timeout 900 "${command[@]}" >/dev/null 2>"$work/$run.stderr"; then
      echo "sendto_bench.sh: $run failed:" >&2
      cat "$work/$run.stderr" >&2
      exit 1
    fi
    read -r wall user system < <(tail -n 1 "$timing")
    made=$(find "$out" -type f | wc -l)
    if [[ "$made" -ne "${#sources[@]}" ]]; then
      echo "sendto_bench.sh: $run made $made files of ${#sources[@]}" >&2
      exit 1
    fi
    # Every run makes the same names with the same bytes.
    if [[ -z "$reference" ]]; then
      reference="$work/reference"
      rm -rf "$reference" && cp -r "$out" "$reference"
    elif ! diff -r -q "$reference" "$out" >/dev/null; then
      echo "sendto_bench.sh: $run made other files than the first run:" >&2
      diff -r -q "$reference" "$out" | head >&2
      exit 1
    fi
    cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }')
    # Cores used on average, and the machine's load when the run started:
    # with others' work on the machine, wall times say little on their own.
    printf '%-20s round %d: wall %7.2f s  cpu %7.2f s  cores used %.2f  load before %s\n' \
      "$run" "$r" "$wall" "$cpu" "$(awk -v c="$cpu" -v w="$wall" 'BEGIN { print c / w }')" "$load"
    echo "$run $r $wall $cpu" >> "$results"
  done
done
leftovers=$(find "$prefix/drive_c/users" -path '*Temp*' -type f 2>/dev/null | wc -l)
echo "outputs: identical in every run; temporary files left in the prefix: $leftovers"

# The ratios of each round (its four runs ran back to back), then of the
# best of each measure over the rounds. A round whose every-core runs used
# well under two cores ran beside other work: its wall ratios say little.
awk '
  { wall[$1, $2] = $3; cpu[$1, $2] = $4; rounds = $2 > rounds ? $2 : rounds
    if (!($1 in bestWall) || $3 < bestWall[$1]) bestWall[$1] = $3
    if (!($1 in bestCpu) || $4 < bestCpu[$1]) bestCpu[$1] = $4 }
  function ratios(label, pw1, mw1, pwa, mwa, pc1, mc1, pca, mca) {
    printf "%-8s %12.3f %12.3f %12.3f %12.3f %12.3f\n", label, pwa / pw1, pwa / mwa, pw1 / mw1,
      pca / mca, pc1 / mc1
  }
  END {
    printf "\nbest of the rounds (seconds):\n"
    n = split("pirex-1core moravel-jobs1-1core pirex-all moravel-all", names, " ")
    for (i = 1; i <= n; ++i)
      printf "  %-20s wall %7.2f  cpu %7.2f\n", names[i], bestWall[names[i]], bestCpu[names[i]]
    printf "\nratios (bounds: all/1core at most 0.6; Pirex/moravel.exe at most 1.1)\n"
    printf "%-8s %12s %12s %12s %12s %12s\n", "", "Pirex wall", "wall all", "wall 1core", "cpu all", "cpu 1core"
    printf "%-8s %12s %12s %12s %12s %12s\n", "", "all/1core", "Pirex/mor.", "Pirex/mor.", "Pirex/mor.", "Pirex/mor."
    for (r = 1; r <= rounds; ++r)
      ratios("round " r, wall["pirex-1core", r], wall["moravel-jobs1-1core", r],
             wall["pirex-all", r], wall["moravel-all", r], cpu["pirex-1core", r],
             cpu["moravel-jobs1-1core", r], cpu["pirex-all", r], cpu["moravel-all", r])
    ratios("best", bestWall["pirex-1core"], bestWall["moravel-jobs1-1core"], bestWall["pirex-all"],
           bestWall["moravel-all"], bestCpu["pirex-1core"], bestCpu["moravel-jobs1-1core"],
           bestCpu["pirex-all"], bestCpu["moravel-all"])
  }' "$results"
