#!/usr/bin/python3
"""The cost of TLS for the Windows build under Wine (Schannel): tarnu-cli.exe
survey of the same mailbox in plain text, through POP3S and through STLS,
in interleaved rounds (one of each per round, so drift hits all three
alike); prints min and median of each and their ratios to plain text.
Needs root (the test Dovecot) and the Windows build (scripts/build win).
Not part of the test run.

usage: bench/tls_survey_wine.py [COUNT] [ROUNDS]
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from wine_session import WineSession  # noqa: E402

SUPPORT = os.path.join(ROOT, "tests", "support")


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 9
    cli = os.path.join(ROOT, "build-win", "tools", "tarnu-cli", "tarnu-cli.exe")
    work = tempfile.mkdtemp(prefix="tarnu-bench.")
    # Dovecot's processes run as its own user and must reach the mail below.
    os.chmod(work, 0o755)
    dovecot = os.path.join(work, "dovecot")
    try:
        subprocess.run([os.path.join(SUPPORT, "test_ca.sh"), os.path.join(work, "ca")], check=True)
        subprocess.run([os.path.join(SUPPORT, "dovecot.sh"), "init", dovecot, "alice:secret"],
                       check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["/usr/bin/python3", os.path.join(SUPPORT, "mkmail.py"),
                        os.path.join(dovecot, "mail", "alice", "Maildir"), "bulk", str(count),
                        "2048"], check=True)
        subprocess.run([os.path.join(SUPPORT, "dovecot.sh"), "tls", dovecot,
                        os.path.join(work, "ca", "localhost.pem"),
                        os.path.join(work, "ca", "localhost.key")], check=True)
        port = subprocess.run([os.path.join(SUPPORT, "dovecot.sh"), "start", dovecot],
                              check=True, capture_output=True, text=True).stdout.split()[-1]
        with open(os.path.join(dovecot, "pop3s_port")) as f:
            pop3s = f.read().strip()
        ca = "Z:" + os.path.join(work, "ca", "ca.pem").replace("/", "\\")
        base = [cli, "survey", "--server", "localhost", "--user", "alice", "--password",
                "secret", "--lines", "2"]
        commands = {
            "plain": base + ["--port", port],
            "POP3S": base + ["--port", pop3s, "--tls", "ssl", "--ca-file", ca],
            "STLS": base + ["--port", port, "--tls", "starttls", "--ca-file", ca],
        }
        times = {name: [] for name in commands}
        with WineSession(os.path.join(work, "logs"), quiet=True) as session:
            for name, args in commands.items():  # a warm-up, and the count checked
                code, out = session.run(args, timeout=300)
                if code != 0 or not out.startswith("count: %d\n" % count):
                    sys.exit("%s: exit %d, %s" % (name, code, out[:200]))
            for _ in range(rounds):
                for name, args in commands.items():
                    started = time.monotonic()
                    session.run(args, timeout=300)
                    times[name].append(time.monotonic() - started)
        plain = times["plain"]
        for name, t in times.items():
            print("%d messages under Wine, %-5s: min %7.1f ms  median %7.1f ms  ratio to plain: "
                  "min %.2f  median %.2f" % (count, name, min(t) * 1000,
                                            statistics.median(t) * 1000, min(t) / min(plain),
                                            statistics.median(t) / statistics.median(plain)))
    finally:
        subprocess.run([os.path.join(SUPPORT, "dovecot.sh"), "stop", dovecot])
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
