#!/usr/bin/env bash
# The layout check: every #include between two of our folders runs down the list below, from a
# folder to one listed before it. An include that runs up, or sideways between two folders of one
# line, fails the check, and so does any pair of folders that include each other. Tests and
# benchmarks stand above everything and are not checked. Run from anywhere; CTest runs it as
# layout_check.
set -euo pipefail
cd "$(dirname "$0")/.."

# Lowest first; folders on one line may not include each other.
layers=(
  "base resources"
  "platform"
  "xlock"
  "record"
  "guard"
  "system"
  "ui"
  "lock"
  "wizard"
  "setup"
  "startup"
  "app tools"
)

declare -A rank
for i in "${!layers[@]}"; do
  for folder in ${layers[$i]}; do rank[$folder]=$i; done
done

if git rev-parse --is-inside-work-tree > /dev/null 2>&1; then
  files=$(git ls-files -- '*.cpp' '*.h' '*.c')
else
  files=$(find . -name '*.cpp' -o -name '*.h' -o -name '*.c' | sed 's#^\./##')
fi

failures=0
declare -A edges
while IFS= read -r file; do
  from=${file%%/*}
  [ -n "${rank[$from]:-}" ] || continue
  while IFS= read -r included; do
    to=${included%%/*}
    [ "$to" != "$included" ] && [ -n "${rank[$to]:-}" ] && [ "$to" != "$from" ] || continue
    edges["$from $to"]=1
    if ((rank[$to] >= rank[$from])); then
      echo "$file includes $included: $from/ may only include folders listed below it" >&2
      failures=$((failures + 1))
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done <<< "$files"

for edge in "${!edges[@]}"; do
  read -r from to <<< "$edge"
  if [[ "$from" < "$to" ]] && [ -n "${edges["$to $from"]:-}" ]; then
    echo "$from/ and $to/ include each other" >&2
    failures=$((failures + 1))
  fi
done

if ((failures)); then
  echo "layout check: $failures fault(s); the layers are listed in scripts/check-layout.sh" >&2
  exit 1
fi
echo "layout check: every include between folders runs down"
