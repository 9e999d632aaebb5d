#!/usr/bin/env bash
# Times `tarnu-cli survey` against Python's poplib doing the same sequence
# (login, STAT, LIST n + TOP n 2 for every message, QUIT) on a Dovecot on
# loopback holding 1,000 and 10,000 messages of about 2 KB, with hyperfine
# (-N, several runs), and prints min and median of each with their ratios.
# Needs root (the test Dovecot). Not part of the test run.
#
# usage: bench/survey.sh [COUNTS...]     (default: 1000 10000)
#   KIND=mime      multipart messages with a base64 text part and an
#                  attachment instead of plain ones
#   BASELINE_CLI=  another tarnu-cli (an older build) timed in the same run
set -euo pipefail
cd "$(dirname "$0")/.."
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(1000 10000)

# An optimised build without sanitizers, apart from the test build.
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARNU_TESTS=OFF >/dev/null
cmake --build build-bench --target tarnu-cli >/dev/null
cli=$PWD/build-bench/tools/tarnu-cli/tarnu-cli

results=$(mktemp -d)
dir=""
cleanup() {
  [ -z "$dir" ] || { tests/support/dovecot.sh stop "$dir"; rm -rf "$dir"; }
  rm -rf "$results"
}
trap cleanup EXIT

for n in "${counts[@]}"; do
  dir=$(mktemp -d /tmp/tarnu-bench.XXXXXX)
  tests/support/dovecot.sh init "$dir" alice:secret >/dev/null
  tests/support/mkmail.py "$dir/mail/alice/Maildir" "${KIND:-bulk}" "$n" 2048
  port=$(tests/support/dovecot.sh start "$dir")
  survey=("$cli" survey --server 127.0.0.1 --port "$port" --user alice --password secret --lines 2)
  poplib=(/usr/bin/python3 bench/poplib_survey.py 127.0.0.1 "$port" alice secret 2)

  # Both must see every message before they are timed.
  got=$("${survey[@]}" 2>/dev/null | sed -n 1p)
  [ "$got" = "count: $n" ] || { echo "tarnu-cli survey printed '$got'" >&2; exit 1; }
  got=$("${poplib[@]}")
  [ "$got" = "$n" ] || { echo "poplib saw $got messages" >&2; exit 1; }

  runs=$(( n >= 10000 ? 10 : 20 ))
  baseline=()
  if [ -n "${BASELINE_CLI:-}" ]; then
    baseline=(-n "baseline survey" "$BASELINE_CLI ${survey[*]:1}")
  fi
  hyperfine -N --warmup 2 --runs "$runs" --export-json "$results/$n.json" \
    -n "tarnu-cli survey" "${survey[*]}" "${baseline[@]}" -n "python poplib" "${poplib[*]}" >&2

  /usr/bin/python3 - "$results/$n.json" "$n" <<'PY'
import json, statistics, sys
data = json.load(open(sys.argv[1]))["results"]
t = {r["command"]: r["times"] for r in data}
a, b = t["tarnu-cli survey"], t["python poplib"]
print(f"{int(sys.argv[2]):>6} messages: tarnu-cli min {min(a)*1000:7.1f} ms median {statistics.median(a)*1000:7.1f} ms"
      f" | poplib min {min(b)*1000:7.1f} ms median {statistics.median(b)*1000:7.1f} ms"
      f" | tarnu/poplib min {min(a)/min(b):.2f} median {statistics.median(a)/statistics.median(b):.2f}")
if "baseline survey" in t:
    c = t["baseline survey"]
    print(f"{'':>6}           baseline min {min(c)*1000:7.1f} ms median {statistics.median(c)*1000:7.1f} ms"
          f" | tarnu/baseline min {min(a)/min(c):.2f} median {statistics.median(a)/statistics.median(c):.2f}")
PY
  tests/support/dovecot.sh stop "$dir"
  rm -rf "$dir"
  dir=""
done
