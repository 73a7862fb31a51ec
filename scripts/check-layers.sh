#!/usr/bin/env bash
# Fails when a folder includes a header of a folder above it: the preview
# builds on the host conventions (src/plugin/conventions) but never on the
# plugin objects, which build on the preview; the conventions build on
# neither. The object templates of src/server (CCom*, CAtlModule,
# ComThreadModel: the framework every component class derives from) are
# below all three, not above.
#   check-layers.sh [SOURCE_DIR]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

status=0
# FOLDER, then the folders whose own headers it must not include.
check() {
  local folder=$1
  shift
  local forbidden=()
  for above in "$@"; do
    while IFS= read -r header; do forbidden+=("$(basename "$header")"); done \
      < <(find "$above" -maxdepth 1 -name '*.h' ! -name 'CCom*' ! -name 'CAtlModule.h' ! -name 'ComThreadModel.h')
  done
  [ ${#forbidden[@]} -eq 0 ] && return
  while IFS= read -r line; do
    local file=${line%%:*} included
    included=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"${line#*:}")
    for header in "${forbidden[@]}"; do
      if [ "$(basename "$included")" = "$header" ]; then
        echo "$file includes $included from a folder above it (${*})"
        status=1
      fi
    done
  done < <(grep -rn '#include "' "$folder" --include='*.h' --include='*.cpp' || true)
}

check src/preview src/plugin src/server
check src/plugin/conventions src/plugin src/preview src/server
exit $status
