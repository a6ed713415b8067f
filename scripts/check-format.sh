#!/usr/bin/env bash
# Checks the layout of every C++ line changed since .clang-format last changed (committed or
# not) against it, and prints what clang-format would make of those that differ. Lines no
# one has touched since keep their layout: the check follows the code as it is edited.
set -euo pipefail
cd "$(dirname "$0")/.."
base=$(git log -n1 --format=%H -- .clang-format 2>/dev/null || true)
if [ -z "$base" ]; then
  echo "format: no history of .clang-format here (a shallow clone?): not checked"
  exit 0
fi
out=$(git clang-format --diff --extensions cpp,h,cc "$base" -- . 2>&1 || true)
case $out in
  ""|*"no modified files to format"*|*"did not modify any files"*)
    echo "format: lines changed since ${base:0:7} follow .clang-format"; exit 0 ;;
esac
echo "$out"
echo "format: the lines above differ from .clang-format (git clang-format $base fixes them)"
exit 1
