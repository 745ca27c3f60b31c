#!/usr/bin/env bash
# Builds the release a second time, from a fresh clone of the same commit in
# another folder (so a build path in a binary shows), and compares every
# file with dist/ byte for byte.
#
#   tests/package/reproducible.sh [DIST]
set -uo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
dist=$(realpath "${1:-$root/dist}")
if [[ -n $(git -C "$root" status --porcelain --untracked-files=no) ]]; then
  echo "skip  the work tree has uncommitted changes, so $dist is not the commit's: commit, then run again"
  echo "reproducible: 0 passed, 0 failed, 1 skipped"
  exit 0
fi

work=$(mktemp -d)
clone=$work/elsewhere/halvorine
git clone -q "$root" "$clone" && git -C "$clone" checkout -q "$(git -C "$root" rev-parse HEAD)" || exit 1
echo "== reproducible: scripts/package in $clone"
if ! "$clone/scripts/package" "$work/dist" >"$work/package.log" 2>&1; then
  tail -30 "$work/package.log"
  echo "reproducible: 0 passed, 1 failed"
  exit 1
fi

passed=0 failed=0
for file in "$dist"/*; do
  name=$(basename "$file")
  if cmp -s "$file" "$work/dist/$name"; then
    echo "ok    $name"
    passed=$((passed + 1))
  else
    echo "FAIL  $name differs"
    cmp "$file" "$work/dist/$name" | head -3 | sed 's/^/      /'
    failed=$((failed + 1))
  fi
done
[[ $(ls "$dist") == $(ls "$work/dist") ]] || { echo "FAIL  the two runs wrote different files"; failed=$((failed + 1)); }
rm -rf "$work"
echo "reproducible: $passed passed, $failed failed"
((failed == 0))
