#!/usr/bin/env bash
# The layering check on a copy of the sources: it passes as they are, and
# fails, naming the file and line, for an include that climbs the ladder
# (the framework including a plugin object) and for one across a rung (the
# document model including a bitmap owner).
#   check_layers_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$(cd "$1" && pwd)
copy=$(mktemp -d "${TMPDIR:-/tmp}/vellisto-layers.XXXXXX")
trap 'rm -rf "$copy"' EXIT
mkdir -p "$copy/scripts"
cp "$source_dir/scripts/check-layers.sh" "$copy/scripts/"
cp -r "$source_dir/src" "$copy/src"
check() { "$copy/scripts/check-layers.sh" "$copy"; }

check >/dev/null || { echo "the sources as they are fail the check"; exit 1; }

failed=0
expect_caught() {
  local file=$1 header=$2 line
  echo "#include \"$header\"" >>"$copy/$file"
  line=$(wc -l <"$copy/$file")
  if output=$(check); then
    echo "not caught: $file including $header"
    failed=1
  elif ! grep -q "^$file:$line: includes $header " <<<"$output"; then
    echo "caught without naming $file:$line: $output"
    failed=1
  fi
  cp "$source_dir/$file" "$copy/$file"
}
expect_caught src/framework/CWnd.cpp CTvdFormat.h
expect_caught src/document/NameMatch.cpp DibHolder.h
expect_caught src/preview/PreviewWnd.h Globals.h
[ $failed -eq 0 ] && echo "the layering check catches includes that climb or cross"
exit $failed
