#!/usr/bin/env bash
# In CI the package's checks never pass for want of their tools: install_layout.sh run with
# CI=true on a PATH without appstreamcli, or without lintian, fails and names the missing tool.
set -euo pipefail
script=$(cd "$(dirname "$0")" && pwd)/install_layout.sh
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A folder with a link to every command on PATH but those named.
commands_but() {
  local bin=$work/bin-$1 d f name
  mkdir -p "$bin"
  IFS=: read -ra dirs <<<"$PATH"
  for d in "${dirs[@]}"; do
    [ -d "$d" ] || continue
    for f in "$d"/*; do
      name=${f##*/}
      [[ " $* " == *" $name "* ]] && continue
      if [ -x "$f" ] && [ ! -e "$bin/$name" ]; then ln -s "$f" "$bin/$name"; fi
    done
  done
  echo "$bin"
}

fails_naming() { # tool, commands left out...
  local tool=$1 out
  shift
  if out=$(CI=true PATH=$(commands_but "$@") "$script" "$build" 2>&1); then
    echo "FAIL: install_layout.sh passed in CI without $tool:"$'\n'"$out"
    exit 1
  fi
  if ! grep -q "$tool is missing" <<<"$out"; then
    echo "FAIL: without $tool, install_layout.sh failed for another reason:"$'\n'"$out"
    exit 1
  fi
}

fails_naming appstreamcli appstreamcli lintian
fails_naming lintian lintian
echo "PASS: a missing appstreamcli or lintian fails the package's checks in CI"
