#!/usr/bin/env bash
# Runs every code block of README.md that is marked with a line
# "<!-- test -->" just before it, each as written, in a bash of its own with
# -e and pipefail, and fails when any of them fails. The blocks run one
# after the other, as a reader would, in one fresh folder where build/,
# examples/ and docs/ lead to the real ones, with a home, settings and
# runtime folder of their own, so nothing of the user's is touched.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-build}" && pwd)
readme=${README:-$root/README.md}
work=$(mktemp -d "${TMPDIR:-/tmp}/zx840-readme.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The marked blocks, one file each.
awk -v dir="$work" '
  /^<!-- test -->[[:space:]]*$/ { marked = 1; next }
  marked && /^```/ && !inside { inside = 1; n++; file = dir "/block-" n ".sh"; printf "" > file; next }
  inside && /^```[[:space:]]*$/ { inside = 0; marked = 0; close(file); next }
  inside { print >> file; next }
  marked && NF { marked = 0 }
' "$readme"
blocks=$(ls "$work"/block-*.sh 2>/dev/null | wc -l)
[ "$blocks" -gt 0 ] || { echo "no marked code blocks in $readme" >&2; exit 1; }

run=$work/run
mkdir -p "$run/home" "$run/runtime"
chmod 0700 "$run/runtime"
ln -s "$build" "$run/build"
ln -s "$root/examples" "$run/examples"
ln -s "$root/docs" "$run/docs"
passed=0
failed=0
for n in $(seq "$blocks"); do
  status=0
  (
    cd "$run"
    export HOME=$run/home XDG_CONFIG_HOME=$run/home/.config XDG_DATA_HOME=$run/home/.local/share \
           XDG_RUNTIME_DIR=$run/runtime
    unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
    exec timeout 300 bash -euo pipefail "$work/block-$n.sh"
  ) >"$work/output" 2>&1 || status=$?
  if [ "$status" -eq 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "README block $n failed (status $status):" >&2
    sed 's/^/    | /' "$work/block-$n.sh" >&2
    sed 's/^/    > /' "$work/output" >&2
  fi
done
echo "$passed passed, $failed failed: the marked commands of README.md"
[ "$failed" -eq 0 ]
