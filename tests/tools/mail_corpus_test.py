#!/usr/bin/python3
"""The real-mail corpus surveyed from a real Dovecot by tarnu-cli and compared,
message by message, with what a mail reader shows (tests/support/mail_oracle.py).

usage: mail_corpus_test.py TARNU_CLI CORPUS_DIR [--report] [--lines N]

Every message of CORPUS_DIR is delivered into a fresh Dovecot mailbox and
surveyed with "tarnu-cli survey --lines N" (default 3). For each message the
subject, the sender and the excerpt (the body lines) are compared with the
oracle. CORPUS_DIR/MISMATCHES lists the differences we know of, one per line:
"file<TAB>field<TAB>reason". The test fails when a difference is not listed,
or a listed one no longer occurs (so the list stays true). --report prints
every difference with both texts and always exits 0.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SUPPORT = os.path.join(HERE, "..", "support")
FIELDS = ("subject", "from", "excerpt")


def unescape(field):
    out, i = [], 0
    while i < len(field):
        c = field[i]
        if c == "\\" and i + 1 < len(field):
            n = field[i + 1]
            if n == "x" and i + 3 < len(field):
                out.append(chr(int(field[i + 2:i + 4], 16)))
                i += 4
                continue
            out.append({"\\": "\\", "t": "\t", "r": "\r", "n": "\n"}.get(n, n))
            i += 2
            continue
        out.append(c)
        i += 1
    return "".join(out)


def survey(cli, corpus, lines):
    scratch = tempfile.mkdtemp(prefix="tarnu-corpus-")
    os.chmod(scratch, 0o755)
    dovecot = os.path.join(SUPPORT, "dovecot.sh")
    try:
        subprocess.run([dovecot, "init", scratch, "alice:secret"], check=True)
        subprocess.run([os.path.join(SUPPORT, "mkmail.py"),
                        os.path.join(scratch, "mail", "alice", "Maildir"), "dir", corpus],
                       check=True)
        port = subprocess.run([dovecot, "start", scratch], check=True,
                              stdout=subprocess.PIPE, text=True).stdout.strip()
        try:
            out = subprocess.run([cli, "survey", "--server", "127.0.0.1", "--port", port,
                                  "--user", "alice", "--password", "secret",
                                  "--lines", str(lines), "--timeout", "30"],
                                 stdout=subprocess.PIPE, check=True).stdout
        finally:
            subprocess.run([dovecot, "stop", scratch], check=True)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    rows = []
    for line in out.decode("utf-8", "replace").split("\n"):
        cells = line.split("\t")
        if len(cells) == 6 and cells[0].isdigit():
            rows.append({"subject": unescape(cells[3]).strip(),
                         "from": unescape(cells[2]).strip(),
                         "body": unescape(cells[5])})
    return rows


def excerpt(body):
    lines = body.split("\r\n")
    if lines and lines[-1] == "":
        lines.pop()
    return lines


def main(argv):
    args = [a for a in argv[1:] if not a.startswith("--")]
    report = "--report" in argv
    lines = int(argv[argv.index("--lines") + 1]) if "--lines" in argv else 3
    if "--lines" in argv:
        args.remove(str(lines))
    if len(args) != 2:
        sys.exit(__doc__)
    cli, corpus = args
    oracle = json.loads(subprocess.run(
        ["/usr/bin/python3", os.path.join(SUPPORT, "mail_oracle.py"), corpus, str(lines)],
        stdout=subprocess.PIPE, check=True).stdout)
    names = sorted(oracle)
    rows = survey(cli, corpus, lines)
    if len(rows) != len(names):
        print(f"surveyed {len(rows)} messages, the corpus holds {len(names)}")
        return 1

    known = {}
    listed = os.path.join(corpus, "MISMATCHES")
    if os.path.exists(listed):
        for line in open(listed, encoding="utf-8"):
            if line.strip() and not line.startswith("#"):
                name, field, reason = line.rstrip("\n").split("\t", 2)
                known[(name, field)] = reason

    found = {}
    matches = dict.fromkeys(FIELDS, 0)
    for name, row in zip(names, rows):
        want = oracle[name]
        got = {"subject": row["subject"], "from": row["from"], "excerpt": excerpt(row["body"])}
        for field in FIELDS:
            if got[field] == want[field]:
                matches[field] += 1
            else:
                found[(name, field)] = (want[field], got[field])

    total = len(names)
    print("corpus of %d messages: subject %d, sender %d, excerpt %d match" %
          (total, matches["subject"], matches["from"], matches["excerpt"]))
    if report:
        for (name, field), (want, got) in sorted(found.items()):
            print(f"{name}\t{field}\n  reader: {want!r}\n  tarnu:  {got!r}")
        return 0
    failed = False
    for key in sorted(set(found) - set(known)):
        want, got = found[key]
        print(f"unexpected difference {key[0]} {key[1]}\n  reader: {want!r}\n  tarnu:  {got!r}")
        failed = True
    for key in sorted(set(known) - set(found)):
        print(f"listed difference no longer occurs: {key[0]} {key[1]} ({known[key]})")
        failed = True
    for key in sorted(set(known) & set(found)):
        print(f"known difference {key[0]} {key[1]}: {known[key]}")
    print("1 passed, 0 failed" if not failed else "0 passed, 1 failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
