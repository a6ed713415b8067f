#!/usr/bin/env bash
# Fails when product code includes a header of a layer above its own. The layers, bottom
# to top: framework, widgets, settings, fitting, shellext; tools, bench, tests and the
# installer sit on top and may use them all. resources/ and generated headers are shared.
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
[ $status -eq 0 ] && echo "layer check: every include reaches down"
exit $status
