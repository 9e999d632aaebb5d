#!/usr/bin/env bash
# The cost of TLS: `tarnu-cli survey` of the same mailbox (1,000 messages of
# about 2 KB by default) in plain text, through POP3S and through STLS, on a
# Dovecot on loopback whose certificate comes from a private test CA, timed
# side by side with hyperfine (-N, several runs); prints min and median of
# each and their ratios to plain text. Needs root (the test Dovecot). Not
# part of the test run.
#
# usage: bench/tls_survey.sh [COUNT]
set -euo pipefail
cd "$(dirname "$0")/.."
n=${1:-1000}

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARNU_TESTS=OFF >/dev/null
cmake --build build-bench --target tarnu-cli >/dev/null
cli=$PWD/build-bench/tools/tarnu-cli/tarnu-cli

dir=$(mktemp -d /tmp/tarnu-bench.XXXXXX)
# Dovecot's processes run as its own user and must reach the mail below.
chmod 755 "$dir"
cleanup() { tests/support/dovecot.sh stop "$dir/dovecot"; rm -rf "$dir"; }
trap cleanup EXIT
tests/support/test_ca.sh "$dir/ca"
tests/support/dovecot.sh init "$dir/dovecot" alice:secret >/dev/null
tests/support/mkmail.py "$dir/dovecot/mail/alice/Maildir" bulk "$n" 2048
tests/support/dovecot.sh tls "$dir/dovecot" "$dir/ca/localhost.pem" "$dir/ca/localhost.key"
port=$(tests/support/dovecot.sh start "$dir/dovecot")
pop3s=$(cat "$dir/dovecot/pop3s_port")

base="$cli survey --server localhost --user alice --password secret --lines 2"
plain="$base --port $port"
ssl="$base --port $pop3s --tls ssl --ca-file $dir/ca/ca.pem"
stls="$base --port $port --tls starttls --ca-file $dir/ca/ca.pem"
for command in "$plain" "$ssl" "$stls"; do
  got=$($command 2>/dev/null | sed -n 1p || true)
  [ "$got" = "count: $n" ] || { echo "$command printed '$got'" >&2; exit 1; }
done

hyperfine -N --warmup 2 --runs 20 --export-json "$dir/times.json" \
  -n plain "$plain" -n POP3S "$ssl" -n STLS "$stls" >&2
/usr/bin/python3 - "$dir/times.json" "$n" <<'PY'
import json, statistics, sys
times = {r["command"]: r["times"] for r in json.load(open(sys.argv[1]))["results"]}
plain = times["plain"]
for name, t in times.items():
    print(f"{int(sys.argv[2])} messages, {name:5}: min {min(t)*1000:7.1f} ms"
          f"  median {statistics.median(t)*1000:7.1f} ms"
          f"  ratio to plain: min {min(t)/min(plain):.2f}"
          f"  median {statistics.median(t)/statistics.median(plain):.2f}")
PY
