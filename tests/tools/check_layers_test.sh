#!/usr/bin/env bash
# Runs tools/check-layers on small fixture trees: a tree that follows the layer table passes, and
# each planted fault fails naming its file and line.
set -euo pipefail
check="$1"
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT

# A clean tree: each layer includes only what the table allows.
make_tree() {
  rm -rf "$root/source"
  mkdir -p "$root/source/platform/rtl" "$root/source/platform/gl" "$root/source/platform/ui" \
    "$root/source/lib/utils" "$root/source/lib/context" "$root/source/lib/scene"
  printf '#pragma once\n' >"$root/source/platform/rtl/object.h"
  printf '#include "rtl/object.h"\n' >"$root/source/platform/gl/names.h"
  printf '#include "rtl/object.h"\n' >"$root/source/platform/ui/texture.h"
  printf '#include "rtl/object.h"\n' >"$root/source/lib/Vantrel.Prelude.h"
  printf '#include "Vantrel.Prelude.h"\n#include "ui/texture.h"\n' >"$root/source/lib/utils/Vantrel.Utils.Math.h"
  printf '#include "utils/Vantrel.Utils.Math.h"\n#include "gl/names.h"\n' >"$root/source/lib/context/Vantrel.Context.h"
  printf '#include "context/Vantrel.Context.h"\n' >"$root/source/lib/scene/Vantrel.Scene.h"
}

expect_pass() {
  if ! "$check" "$root/source" >/dev/null; then
    echo "FAIL: a clean tree was refused"
    exit 1
  fi
}

# $1: the file to append to, $2: the line to plant, $3: the text the report must hold.
expect_fault() {
  make_tree
  printf '%s\n' "$2" >>"$root/source/$1"
  local line
  line=$(wc -l <"$root/source/$1")
  local output
  if output=$("$check" "$root/source" 2>&1); then
    echo "FAIL: '$2' in $1 passed"
    exit 1
  fi
  if ! grep -qF "source/$1:$line: $3" <<<"$output"; then
    echo "FAIL: '$2' in $1 was not reported as 'source/$1:$line: $3'; got:"
    echo "$output"
    exit 1
  fi
}

make_tree
expect_pass
expect_fault lib/context/Vantrel.Context.h '#include "scene/Vantrel.Scene.h"' 'lib/context may not include lib/scene'
expect_fault platform/rtl/object.h '#include "ui/texture.h"' 'platform/rtl may not include platform/ui'
expect_fault platform/ui/texture.h '#include "gl/names.h"' 'platform/ui may not include platform/gl'
expect_fault platform/gl/names.h '#include "Vantrel.Prelude.h"' 'platform/gl may not include lib'
expect_fault lib/scene/Vantrel.Scene.h '#include "nowhere/Missing.h"' '"nowhere/Missing.h" is not under source/platform or source/lib'
expect_fault lib/scene/Vantrel.Scene.h '#include "Vantrel.Scene.h"' '"Vantrel.Scene.h" is not written from a layer root'
echo "check-layers fixture: all cases behave"
