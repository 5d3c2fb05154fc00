#!/usr/bin/env bash
# The whole test suite: set-up, then configure, build and ctest for every
# configuration, with a summary at the end.
#
#   scripts/test-all.sh [PRESET...]        default: native native-asan native-tsan windows fuzz bench
#
#   native       engine + moravel CLI, unit and end-to-end tests
#   native-asan  the same tests under AddressSanitizer + UndefinedBehaviorSanitizer
#   native-tsan  the parallel batch's tests (label parallel) under ThreadSanitizer
#   windows      mingw-w64 build, tests under Wine (headless)
#   fuzz         every fuzz target, briefly, on its seed corpus
#   bench        benchmarks: built (so they keep compiling), not run
#
# Environment: MORAVEL_SKIP_SETUP=1 skips scripts/setup.sh;
# MORAVEL_SKIP_APT=1 skips only its package part; MORAVEL_JOBS=N sets the
# build and test parallelism (default: number of processors);
# MORAVEL_FUZZ_SECONDS=N sets how long each fuzz target runs (default 20).
# Exit status: 0 when every step passed.
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(dirname "$here")"
cd "$repo"

presets=("$@")
[[ ${#presets[@]} -gt 0 ]] || presets=(native native-asan native-tsan windows fuzz bench)
jobs="${MORAVEL_JOBS:-$(nproc)}"

exec </dev/null
export CTEST_OUTPUT_ON_FAILURE=1
export CLICOLOR_FORCE=0
# Wine must never try to open a display, even on a desktop machine.
unset DISPLAY WAYLAND_DISPLAY

results=()
failed=0
t0=$SECONDS

fmt() { printf '%dm%02ds' $(($1 / 60)) $(($1 % 60)); }
banner() { printf '\n==== %s ====\n' "$*"; }

step() {   # step NAME command...
  local name="$1"; shift
  local start=$SECONDS rc
  banner "$name"
  "$@"
  rc=$?
  local took=$((SECONDS - start))
  if [[ $rc == 0 ]]; then
    results+=("$(printf 'PASS  %-28s %s' "$name" "$(fmt $took)")")
  else
    results+=("$(printf 'FAIL  %-28s %s (exit %d)' "$name" "$(fmt $took)" $rc)")
    failed=1
  fi
  return $rc
}

summary() {
  banner "summary"
  printf '%s\n' "${results[@]}"
  printf 'total %s\n' "$(fmt $((SECONDS - t0)))"
  if [[ $failed == 0 ]]; then echo "ALL PASSED"; else echo "FAILED"; fi
}

if [[ "${MORAVEL_SKIP_SETUP:-0}" != 1 ]]; then
  if ! step "setup" bash "$here/setup.sh"; then
    summary
    exit 1
  fi
fi

fuzz_args=()
[[ -n "${MORAVEL_FUZZ_SECONDS:-}" ]] && fuzz_args=(-DMORAVEL_FUZZ_SECONDS="$MORAVEL_FUZZ_SECONDS")

for p in "${presets[@]}"; do
  case "$p" in
    native|native-asan|native-tsan|windows|fuzz|bench) ;;
    *) echo "test-all.sh: unknown preset '$p'" >&2; exit 2 ;;
  esac
  extra=()
  [[ $p == fuzz ]] && extra=("${fuzz_args[@]}")
  step "$p: configure" cmake --preset "$p" "${extra[@]}" --log-level=WARNING || continue
  step "$p: build" cmake --build --preset "$p" -j "$jobs" || continue
  [[ $p == bench ]] && continue
  step "$p: test" ctest --preset "$p" -j "$jobs" --output-on-failure
  if [[ $p == windows ]]; then
    # Stop the test prefix's wineserver now rather than a few seconds later.
    bash "$here/wine-run.sh" --prefix "$repo/build/windows/wineprefix" --kill
  fi
done

summary
exit $failed
