#!/usr/bin/env bash
# The layer check passes on this checkout and fails, naming the line, once a lower layer
# includes a higher one in a scratch copy.
set -euo pipefail
source_root="$1"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

"$source_root/scripts/check-layers" "$source_root"

cp -r "$source_root"/{gpu,io,engine,nodes,effects} "$scratch"/
printf '#include "engine/timpserver.h"\n' >> "$scratch/gpu/glprog.cpp"
line=$(wc -l < "$scratch/gpu/glprog.cpp")
if output=$("$source_root/scripts/check-layers" "$scratch" 2>&1); then
    echo "FAIL: an upward include passed the check"; exit 1
fi
grep -q "^gpu/glprog.cpp:$line: includes engine/timpserver.h" <<<"$output" \
    || { echo "FAIL: the report does not name the line:"; echo "$output"; exit 1; }

# Folders of one layer stay apart too.
cp "$source_root/gpu/glprog.cpp" "$scratch/gpu/glprog.cpp"
printf '#include "effects/teffect.h"\n' >> "$scratch/nodes/tnode.cpp"
if "$source_root/scripts/check-layers" "$scratch" >/dev/null 2>&1; then
    echo "FAIL: nodes including effects passed the check"; exit 1
fi
echo "PASS"
