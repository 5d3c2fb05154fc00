#!/usr/bin/env bash
# pirex_e2e_test under Wine: once with the prefix's user-interface language,
# then its Japanese case again with a Japanese one.
#   run_pirex_e2e.sh WINE_RUN PREFIX TEST_EXE
set -euo pipefail
wine_run="$1"
prefix="$2"
test_exe="$3"
"$wine_run" --prefix "$prefix" "$test_exe"
LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 "$wine_run" --prefix "$prefix" "$test_exe" \
  --gtest_filter='*JapaneseUserInterface*'
