#!/usr/bin/env bash
# scripts/deps on a machine without sudo, run by a user who is not root: it
# names the missing packages and stops, calling neither sudo nor apt-get.
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/scripts" "$work/bin"
cp "$top/scripts/deps" "$work/scripts/deps"
printf '# test list\nkes-missing-one\nkes-missing-two\n' >"$work/scripts/packages.txt"
# Stand-ins: no package is installed, the user is not root, apt-get notes
# that it ran. No sudo on the path.
printf '#!/bin/sh\nexit 1\n' >"$work/bin/dpkg-query"
printf '#!/bin/sh\necho 1000\n' >"$work/bin/id"
printf '#!/bin/sh\ntouch "%s/apt-ran"\n' "$work" >"$work/bin/apt-get"
chmod +x "$work/bin/"*
for tool in bash grep cat dirname touch; do ln -s "$(command -v $tool)" "$work/bin/$tool"; done
out=$(PATH="$work/bin" "$work/bin/bash" "$work/scripts/deps" 2>&1)
rc=$?
fail=0
[ $rc -ne 0 ] || { echo "deps went on without sudo"; fail=1; }
echo "$out" | grep -q "apt-get install kes-missing-one kes-missing-two" ||
  { echo "not told what to install: $out"; fail=1; }
! echo "$out" | grep -q "not found" || { echo "called what is not there: $out"; fail=1; }
[ ! -e "$work/apt-ran" ] || { echo "apt-get ran"; fail=1; }
exit $fail
