# shellcheck shell=bash
# Sourced by the package tests: named checks that count, and the project's version as written in
# CMakeLists.txt (read here, not from anything the build made).
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
version="$(sed -n 's/^project(quorvel VERSION \([0-9][0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
[ -n "$version" ] || { echo "no version in CMakeLists.txt" >&2; exit 1; }
passed=0
failed=0

# check NAME COMMAND...: runs the command, counts it, shows its output when it fails.
check() {
  local name=$1 out
  shift
  if out="$("$@" 2>&1)"; then
    passed=$((passed + 1))
    echo "ok   $name"
  else
    failed=$((failed + 1))
    echo "FAIL $name"
    [ -z "$out" ] || printf '%s\n' "$out" | sed 's/^/     /'
  fi
}

# same EXPECTED COMMAND...: the command's standard output is exactly EXPECTED.
same() {
  local expected=$1 actual
  shift
  actual="$("$@")" || return 1
  [ "$actual" = "$expected" ] || { printf 'expected: %s\nactual:   %s\n' "$expected" "$actual"; return 1; }
}

finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
