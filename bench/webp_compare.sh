#!/usr/bin/env bash
# moravel's WebP output against cwebp (Debian's webp package) with the same
# settings on the bench photographs (PNG copies, which both programs decode),
# one file at a time, best wall time of REPEAT runs each:
#
#   bench/webp_compare.sh [MORAVEL] [REPEAT]
#
# MORAVEL defaults to build/native/cli/moravel. Both use the same libwebp, so
# every pair of files must be identical; a difference is reported as a fault.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
moravel="${1:-$root/build/native/cli/moravel}"
repeat="${2:-3}"
corpus="$root/build/compare/corpus"
bash "$root/bench/fetch-photos.sh" "$corpus"
command -v cwebp >/dev/null || { echo "cwebp missing: apt-get install webp" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# best_of COMMAND...: the shortest wall time in seconds over $repeat runs.
best_of() {
  local best="" t
  for _ in $(seq "$repeat"); do
    rm -rf "$work/out" && mkdir -p "$work/out"
    /usr/bin/time -f "%e" -o "$work/time" "$@" >/dev/null 2>&1
    t=$(tail -n1 "$work/time")
    if [[ -z "$best" ]] || awk "BEGIN{exit !($t < $best)}"; then best="$t"; fi
  done
  echo "$best"
}

printf '%-40s %-16s %9s %9s %7s\n' photo settings moravel cwebp ratio
faults=0
for png in "$corpus"/png/*.png; do
  name="$(basename "$png" .png)"
  for settings in "-q 75" "-q 90" "-lossless"; do
    case "$settings" in
      "-q 75") flags=(--quality 75) ;;
      "-q 90") flags=(--quality 90) ;;
      *) flags=(--lossless) ;;
    esac
    ours=$(best_of "$moravel" --format webp "${flags[@]}" --jobs 1 --output-folder "$work/out" "$png")
    cp "$work/out/$name.webp" "$work/ours.webp"
    # shellcheck disable=SC2086
    theirs=$(best_of cwebp -quiet $settings "$png" -o "$work/out/theirs.webp")
    cmp -s "$work/ours.webp" "$work/out/theirs.webp" || { echo "FAULT: $name $settings: files differ"; faults=1; }
    printf '%-40s %-16s %8ss %8ss %6.2fx\n' "$name" "$settings" "$ours" "$theirs" \
      "$(awk "BEGIN{print $ours / $theirs}")"
  done
done
exit "$faults"
