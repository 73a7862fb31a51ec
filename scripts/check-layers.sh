#!/usr/bin/env bash
# Fails when a source folder includes a header of a folder that is not below
# it. The folders form one ladder, each building only on those below:
#
#   server      the exports, the object map, the application, the registrar
#   plugin      the format object and the file navigator
#   preview     the preview object, its window and its settings
#   document    bitmaps    framework     (none of the three includes another)
#   compat      resources
#
# Every offending include is named with its file and line.
#   check-layers.sh [SOURCE_DIR]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

declare -A level=([compat]=0 [resources]=0 [document]=1 [bitmaps]=1 [framework]=1 [preview]=2
  [plugin]=3 [server]=4)

# Which folder each header belongs to (the registrar counts as the server's).
declare -A owner=()
for folder in "${!level[@]}"; do
  while IFS= read -r header; do
    owner[${header##*/}]=$folder
  done < <(find "src/$folder" -name '*.h')
done

status=0
for folder in "${!level[@]}"; do
  while IFS= read -r line; do
    file=${line%%:*}
    rest=${line#*:}
    number=${rest%%:*}
    [[ ${rest#*:} =~ \"([^\"]+)\" ]] && included=${BASH_REMATCH[1]}
    from=${owner[${included##*/}]:-}
    [ -z "$from" ] || [ "$from" = "$folder" ] && continue
    if [ "${level[$from]}" -ge "${level[$folder]}" ]; then
      echo "$file:$number: includes $included from src/$from, which is not below src/$folder"
      status=1
    fi
  done < <(grep -rn '^[[:space:]]*#[[:space:]]*include "' "src/$folder" \
             --include='*.h' --include='*.cpp' --include='*.c' || true)
done
[ $status -eq 0 ] && echo "layers: every include goes down the ladder"
exit $status
