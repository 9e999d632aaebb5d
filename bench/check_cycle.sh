#!/usr/bin/env bash
# The check cycle over 3 hosts of 1,000 messages each, against a real
# Dovecot, next to the same cycle with the surveys played back from memory.
# Needs a Release build: cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release
#   -DTARNU_TESTS=OFF && cmake --build build-release --target check_cycle_bench
# Usage: bench/check_cycle.sh [BUILD_DIR] [MESSAGES]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
messages=${2:-1000}
bench="$build/bench/check_cycle_bench"
dir=$(mktemp -d /tmp/tarnu-bench-dovecot.XXXXXX)
trap 'tests/support/dovecot.sh stop "$dir" >/dev/null 2>&1 || true; rm -rf "$dir"' EXIT

tests/support/dovecot.sh init "$dir" alice:secret
/usr/bin/python3 tests/support/mkmail.py "$dir/mail/alice/Maildir" bulk "$messages" 2048
port=$(tests/support/dovecot.sh start "$dir")

echo "== surveys played back from memory"
"$bench" --hosts 3 --messages "$messages" --new 100 --runs 30
echo "== surveys against Dovecot on loopback (every message new)"
"$bench" --hosts 3 --messages "$messages" --runs 10 --pop3-port "$port" --user alice \
  --password secret
