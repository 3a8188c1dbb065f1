#!/usr/bin/env bash
# Fails when a source file includes a header of a higher layer. The layers,
# lowest first, as the top CMakeLists.txt lists them; a folder may include its
# own headers and those of any folder before it.
set -euo pipefail
cd "$(dirname "$0")/.."

layers=(core/state core/io image http http/stream shell/chrome capture/source capture/v4l2 capture/control capture core shell packaging)

rank_of() {
  local i
  for i in "${!layers[@]}"; do
    [ "${layers[$i]}" = "$1" ] && { echo "$i"; return; }
  done
  echo -1
}

status=0
checked=0
for folder in "${layers[@]}"; do
  own=$(rank_of "$folder")
  for file in "$folder"/*.h "$folder"/*.cpp; do
    [ -e "$file" ] || continue
    checked=$((checked + 1))
    while IFS=: read -r line include; do
      dir=$(dirname "$include")
      target=$(rank_of "$dir")
      if [ "$target" -lt 0 ]; then
        echo "$file:$line: includes \"$include\", which is in no layer" >&2
        status=1
      elif [ "$target" -gt "$own" ]; then
        echo "$file:$line: includes \"$include\" of the higher layer $dir" >&2
        status=1
      fi
    done < <(grep -noE '^#include "[^"]+/[^"]+"' "$file" | sed -E 's/^([0-9]+):#include "(.*)"$/\1:\2/')
  done
done
if [ "$status" -eq 0 ]; then
  echo "layers: $checked files, no include points upward"
fi
exit "$status"
