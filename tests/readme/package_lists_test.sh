#!/usr/bin/env bash
# The Set-up section of README.md names the Debian packages that
# scripts/install-deps.sh installs: each package of the script's run list in
# the "make run" item, each of its test list in the "make test" item, and
# none in the other item.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
readme=${README:-$root/README.md}
script=$root/scripts/install-deps.sh
fail=0

# The packages of one array of the script, one a line.
packages() {
  sed -n "/^$1=(/,/^)/p" "$script" | sed '1d;$d' | tr -s ' \t' '\n' | sed '/^$/d'
}
# The text of the README's list item that starts with "- `make NAME`",
# without that start: up to the next item or the end of the list.
item() {
  awk -v start="- \`make $1\`" '
    index($0, start) == 1 { inside = 1; print substr($0, length(start) + 1); next }
    inside && (/^- / || /^[[:space:]]*$/) { exit }
    inside { print }
  ' "$readme" | tr '\n' ' '
}

run_item=$(item run)
test_item=$(item test)
[ -n "$run_item" ] && [ -n "$test_item" ] || { echo "no package lists in $readme" >&2; exit 1; }
# True when text $2 names package $1 as a word of its own (a comma, a
# blank or a bracket around it; "postgresql" is not in "postgresql-client").
names() {
  local name
  name=$(sed 's/[.+]/\\&/g' <<<"$1")
  grep -qE -- "(^|[[:space:](])$name([[:space:],.;:)]|\$)" <<<"$2"
}
check() {
  local list=$1 own=$2 other=$3 package
  for package in $(packages "$list"); do
    names "$package" "$own" || { echo "README.md does not list $package ($list)" >&2; fail=1; }
    if names "$package" "$other"; then
      echo "README.md lists $package ($list) under the other target" >&2
      fail=1
    fi
  done
}
check run_packages "$run_item" "$test_item"
check test_packages "$test_item" "$run_item"

[ "$fail" = 0 ] && echo "1 passed, 0 failed: README.md lists the packages the set-up installs"
exit "$fail"
