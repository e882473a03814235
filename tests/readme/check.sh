#!/usr/bin/env bash
# Runs every command of the README's console examples, in order, in a scratch directory with the
# built tool on the PATH, and compares what it prints with what the README shows. Timings such as
# "(0.04 s)" are not compared. The README's C example must be the file the install test builds.
# Usage: check.sh REPO_DIR BIN_DIR
set -euo pipefail
repo=$(cd "$1" && pwd)
bin=$(cd "$2" && pwd)
readme="$repo/README.md"
work=$(mktemp -d "${TMPDIR:-/tmp}/veskor-readme-XXXXXX")
trap 'rm -rf "$work"' EXIT
ln -s "$repo/data" "$work/data"

# Expected: the console blocks with "$ " commands; actual: each command run in one shell, its
# output (standard output and error together) ended by a marker line.
awk '/^```console$/ {inside = 1; next} /^```$/ {inside = 0; next} inside {print}' "$readme" > "$work/expected"
{
  echo 'cd "$1"; export PATH="$2:$PATH"; status=0'
  grep '^\$ ' "$work/expected" | sed 's/^\$ //' | while IFS= read -r command; do
    # The previous command's status is restored, so that "echo $?" shows it.
    printf 'echo %q; (exit $status)\n{ %s\n} 2>&1; status=$?; echo @@@\n' "\$ $command" "$command"
  done
} > "$work/script"
bash "$work/script" "$work" "$bin" | grep -v '^@@@$' > "$work/actual" || true

normalise() { sed -E 's/\([0-9]+\.[0-9]+ s\)/(T s)/g' "$1"; }
if ! diff -u <(normalise "$work/expected") <(normalise "$work/actual"); then
  echo "README examples differ from the tool's output (- README, + tool)" >&2
  exit 1
fi

# The C example shown in the README is tests/install/consumer.c, compiled and run by the install test.
awk '/^```c$/ {inside = 1; next} /^```$/ {inside = 0; next} inside {print}' "$readme" > "$work/example.c"
if ! diff -u "$repo/tests/install/consumer.c" "$work/example.c"; then
  echo "the README's C example is not tests/install/consumer.c" >&2
  exit 1
fi
echo "README examples match"
