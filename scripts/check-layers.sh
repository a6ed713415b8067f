#!/usr/bin/env bash
# Fails when product code includes a header of a layer above its own. The layers, bottom
# to top: framework, widgets, settings, fitting, shellext; then tests/support, which the
# tools, the benchmarks and the tests share; tools, bench, the other tests and the
# installer sit on top and may use everything below. resources/ and generated headers are
# shared.
set -euo pipefail
cd "$(dirname "$0")/.."
layers=(framework widgets settings fitting shellext)
status=0
for ((i = 0; i < ${#layers[@]}; i++)); do
  own=${layers[$i]}
  above=("${layers[@]:$((i + 1))}" tools bench tests installer)
  pattern=$(IFS='|'; echo "${above[*]}")
  while IFS= read -r hit; do
    echo "layer check: $own reaches upward: $hit"
    status=1
  done < <(grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]+\"($pattern)/" "$own" \
             --include='*.h' --include='*.cpp' || true)
done
# The shared test support stands below the programs that use it; those reach each other
# only through it.
check_upper() {
  local own=$1 pattern=$2
  while IFS= read -r hit; do
    echo "layer check: $own reaches sideways or upward: $hit"
    status=1
  done < <(grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]+\"($pattern)" "$own" \
             --include='*.h' --include='*.cpp' || true)
}
check_upper tests/support 'tools/|bench/|installer/|tests/(wine|stress|native|fuzz|install)/'
check_upper tools 'bench/|tests/(wine|stress|native|fuzz|install)/'
check_upper bench 'tools/|tests/(wine|stress|native|fuzz|install)/'
# The shipped console program takes the product only.
check_upper tools/cli 'tests/|bench/|tools/'
[ $status -eq 0 ] && echo "layer check: every include reaches down"
exit $status
