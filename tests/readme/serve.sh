#!/usr/bin/env bash
# Runs the README's service examples (the "console serve" block) in order, in a scratch directory
# with the built tool on the PATH, and compares what they print with what the README shows. The
# service listens on a free port instead of 8080; the line that starts it in the background waits
# until it listens and shows its start-up output, and the line that stops it (kill) shows the rest
# of its output and must find it exiting with 0. Timings such as "(0.04 s)" are not compared.
# Usage: serve.sh REPO_DIR BIN_DIR
set -euo pipefail
repo=$(cd "$1" && pwd)
bin=$(cd "$2" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/veskor-readme-serve-XXXXXX")
cleanup() {
  if [ -f "$work/serve.pid" ]; then kill -KILL "$(cat "$work/serve.pid")" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
ln -s "$repo/data" "$work/data"

port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
awk '/^```console serve$/ {inside = 1; next} /^```$/ {inside = 0; next} inside {print}' "$repo/README.md" |
  sed "s/127\.0\.0\.1:8080/127.0.0.1:$port/g" > "$work/expected"
if ! grep -q '^\$ veskor serve .* &$' "$work/expected" || ! grep -q '^\$ kill ' "$work/expected"; then
  echo "the README's service examples must start the service with '&' and stop it with kill" >&2
  exit 1
fi

{
  echo 'cd "$1"; export PATH="$2:$PATH"; status=0'
  grep '^\$ ' "$work/expected" | sed 's/^\$ //' | while IFS= read -r command; do
    printf 'echo %q\n' "\$ $command"
    case "$command" in
      *" &")
        printf '(exec %s) > serve.log 2>&1 &\necho $! > serve.pid\n' "${command% &}"
        printf 'for i in $(seq 400); do grep -q "^listening on" serve.log && break; sleep 0.05; done\n'
        printf 'cat serve.log; shown=$(wc -l < serve.log)\n'
        ;;
      "kill "*)
        printf 'kill -TERM "$(cat serve.pid)"; wait "$(cat serve.pid)"; echo $? > serve.status; rm serve.pid\n'
        printf 'tail -n +$((shown + 1)) serve.log\n'
        ;;
      *)
        printf '(exit $status)\n{ %s\n} 2>&1; status=$?\n' "$command"
        ;;
    esac
  done
} > "$work/script"
timeout 120 bash "$work/script" "$work" "$bin" > "$work/actual" || true

normalise() { sed -E 's/\([0-9]+\.[0-9]+ s\)/(T s)/g' "$1"; }
if ! diff -u <(normalise "$work/expected") <(normalise "$work/actual"); then
  echo "README service examples differ from what the tool does (- README, + tool)" >&2
  exit 1
fi
if [ "$(cat "$work/serve.status" 2>/dev/null)" != 0 ]; then
  echo "veskor serve did not exit with 0 when stopped: $(cat "$work/serve.status" 2>/dev/null)" >&2
  exit 1
fi
echo "README service examples match"
