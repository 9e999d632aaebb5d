#!/usr/bin/python3
"""The scale benchmark behind bench/run: surveys and checks of large mailboxes
on a Dovecot on loopback, side by side with Python's poplib and two floors (a
buffered C client one command at a time, and the same client pipelined), in
interleaved rounds; min and median wall time, client CPU, peak memory, bytes
written to disk per check and callgrind instructions per message.

usage: bench.py --cli CLI --floor FLOOR [--baseline CLI] [--cycle-bench EXE]
                [--baseline-cycle-bench EXE] [--counts 1000,10000,50000]
                [--new 100] [--rounds 5] [--no-callgrind] [--keep DIR]

--baseline adds the same rows for another build of tarnu-cli (an older
commit, labelled "before"), measured in the same rounds.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
SUPPORT = os.path.join(ROOT, "tests", "support")
sys.path.insert(0, SUPPORT)
import mkmail  # noqa: E402

PASSWORD = "secret"
LINES = 2


def log(text):
    print(text, file=sys.stderr, flush=True)


def run_quiet(argv, cwd=None, check=True):
    return subprocess.run(argv, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          check=check)


class Cli:
    """One build of tarnu-cli and what its options allow."""

    def __init__(self, path, label):
        self.path = os.path.abspath(path)
        self.label = label
        # What each verb's help (or, for older builds, the usage) names.
        def help_of(*verb):
            out = run_quiet([self.path, *verb, "--help"], check=False)
            return out.stdout.decode(errors="replace") + out.stderr.decode(errors="replace")
        survey = help_of("survey")
        host = help_of("host", "add")
        self.survey_switch = "--no-pipelining" in survey
        self.host_switches = "--no-pipelining" in host and "--no-uidl" in host
        self.takes_dir = "--dir" in help_of("check")

    def variants(self):
        """(name, host add options) for every protocol setting it has."""
        if not self.host_switches:
            return [("plain", [])]
        return [("plain", ["--no-pipelining", "--no-uidl"]),
                ("pipelining", ["--no-uidl"]),
                ("uidl", ["--no-pipelining"]),
                ("both", [])]

    def survey_variants(self):
        if not self.survey_switch:
            return [("plain", [])]
        return [("plain", ["--no-pipelining"]), ("pipelining", [])]


class Mailboxes:
    """A Dovecot holding one account per message count."""

    def __init__(self, scratch, counts, fresh):
        self.dir = os.path.join(scratch, "dovecot")
        self.counts = counts
        self.fresh = fresh
        self.largest = max(counts)
        accounts = [f"{self.user(n)}:{PASSWORD}" for n in counts]
        run_quiet([os.path.join(SUPPORT, "dovecot.sh"), "init", self.dir] + accounts)
        self.port = None

    @staticmethod
    def user(n):
        return f"m{n}"

    def maildir(self, n):
        return os.path.join(self.dir, "mail", self.user(n), "Maildir")

    def deliver(self, n, first, last):
        """Messages first..last (numbered from 1) of the bulk set, 2 KB each."""
        msgs = mkmail.bulk(last, 2048)[first - 1:last]
        for d in ("new", "cur", "tmp"):
            os.makedirs(os.path.join(self.maildir(n), d), exist_ok=True)
        for i, data in enumerate(msgs, first):
            name = f"{mkmail.BASE_TIME + i}.M{i:06d}P1.tarnu-bench"
            tmp = os.path.join(self.maildir(n), "tmp", name)
            with open(tmp, "wb") as f:
                f.write(data)
            os.utime(tmp, (mkmail.BASE_TIME + i, mkmail.BASE_TIME + i))
            os.rename(tmp, os.path.join(self.maildir(n), "new", name))

    def start(self):
        out = run_quiet([os.path.join(SUPPORT, "dovecot.sh"), "start", self.dir])
        self.port = int(out.stdout.decode().strip())

    def own(self):
        run_quiet([os.path.join(SUPPORT, "dovecot.sh"), "own", self.dir])

    def stop(self):
        run_quiet([os.path.join(SUPPORT, "dovecot.sh"), "stop", self.dir], check=False)


def timed(argv, cwd):
    """Wall seconds, client CPU seconds and peak memory (KB) of one run.
    The peak comes from /usr/bin/time: a child forked from this Python
    process would count the interpreter's memory before its exec."""
    peak_file = os.path.join(cwd, "..", "peak.txt")
    start = time.perf_counter()
    proc = subprocess.Popen(["/usr/bin/time", "-o", peak_file, "-f", "%M"] + argv, cwd=cwd,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    err = proc.stderr.read().decode(errors="replace")
    proc.stderr.close()
    with open(peak_file) as f:
        peak = int(f.read().split()[-1])
    os.unlink(peak_file)
    return wall, usage.ru_utime + usage.ru_stime, peak, proc.returncode, err


def written_bytes(argv, cwd):
    """Bytes written into files under `cwd` by one run, from an strace log."""
    trace = os.path.join(cwd, "..", os.path.basename(cwd) + ".strace")
    subprocess.run(["strace", "-f", "-y", "-s", "0", "-o", trace, "-e", "signal=none",
                    "-e", "trace=write,pwrite64,writev,pwritev,pwritev2"] + argv,
                   cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    total = 0
    here = os.path.realpath(cwd) + "/"
    pattern = re.compile(r"^\S*\s*\w+\(\d+<([^>]*)>.*\)\s+=\s+(\d+)")
    with open(trace, errors="replace") as f:
        for line in f:
            m = pattern.match(line)
            if m and m.group(1).startswith(here):
                total += int(m.group(2))
    os.unlink(trace)
    return total


def callgrind_instructions(argv, cwd):
    out = os.path.join(cwd, "..", "callgrind.out")
    subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}"] + argv,
                   cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    total = None
    with open(out) as f:
        for line in f:
            if line.startswith("summary:") or line.startswith("totals:"):
                total = int(line.split()[1])
    os.unlink(out)
    return total


class Case:
    """One row of the table: a command, where it runs and what it restores
    before each run (a data folder snapshot for checks)."""

    def __init__(self, group, name, argv, cwd, messages, snapshot=None, expect=None):
        self.group, self.name, self.argv, self.cwd = group, name, argv, cwd
        # `expect`: a line the output must hold, checked once before timing.
        self.messages, self.snapshot, self.expect = messages, snapshot, expect
        self.walls, self.cpus, self.rss = [], [], []
        self.written = None

    def restore(self):
        if self.snapshot is None:
            return
        for entry in os.listdir(self.cwd):
            os.unlink(os.path.join(self.cwd, entry))
        for entry in os.listdir(self.snapshot):
            shutil.copy2(os.path.join(self.snapshot, entry), self.cwd)

    def validate(self):
        self.restore()
        out = subprocess.run(self.argv, cwd=self.cwd, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE)
        lines = out.stdout.decode(errors="replace").splitlines()
        if out.returncode != 0 or (self.expect is not None and self.expect not in lines):
            raise SystemExit(f"{self.group}, {self.name}: exit {out.returncode}, "
                             f"no line {self.expect!r} in its output\n"
                             + out.stderr.decode(errors="replace"))

    def run(self):
        self.restore()
        wall, cpu, rss, code, err = timed(self.argv, self.cwd)
        if code != 0:
            raise SystemExit(f"{self.group}, {self.name}: exit {code}\n{err}")
        self.walls.append(wall)
        self.cpus.append(cpu)
        self.rss.append(rss)


def check_argv(cli, data):
    argv = [cli.path, "check"]
    if cli.takes_dir:
        argv += ["--dir", data]
    return argv


def make_data_folder(cli, data, port, n, options):
    os.makedirs(data, exist_ok=True)
    argv = [cli.path, "host", "add", "--name", f"box{n}", "--server", "127.0.0.1", "--port",
            str(port), "--user", Mailboxes.user(n), "--password", PASSWORD, "--lines",
            str(LINES)] + options
    if cli.takes_dir:
        argv += ["--dir", data]
    run_quiet(argv, cwd=data)


def prime(cli, data, snapshot):
    """One check that brings the history (and any cache) up to date, then a
    copy of the folder to start every timed run from."""
    run_quiet(check_argv(cli, data), cwd=data, check=False)
    os.makedirs(snapshot, exist_ok=True)
    for entry in os.listdir(data):
        shutil.copy2(os.path.join(data, entry), snapshot)


def fmt_ms(seconds):
    return f"{seconds * 1000:9.1f}"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", required=True)
    ap.add_argument("--floor", required=True)
    ap.add_argument("--baseline")
    ap.add_argument("--cycle-bench")
    ap.add_argument("--baseline-cycle-bench")
    ap.add_argument("--counts", default="1000,10000,50000")
    ap.add_argument("--new", type=int, default=100)
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--no-callgrind", action="store_true")
    ap.add_argument("--keep")
    args = ap.parse_args()

    counts = sorted(int(c) for c in args.counts.split(","))
    largest = counts[-1]
    # Checks at every size: with nothing new they are the survey with UIDL
    # (and the cache) on and off, next to pipelining on and off.
    check_counts = counts
    clis = [Cli(args.cli, "tarnu")]
    if args.baseline:
        clis.insert(0, Cli(args.baseline, "before"))

    scratch = args.keep or tempfile.mkdtemp(prefix="tarnu-bench.", dir="/var/tmp")
    os.makedirs(scratch, exist_ok=True)
    os.chmod(scratch, 0o755)
    boxes = Mailboxes(scratch, counts, args.new)
    try:
        log(f"load before: {os.getloadavg()[0]:.2f}")
        log("writing the mailboxes ...")
        for n in counts:
            boxes.deliver(n, 1, n - (args.new if n == largest else 0))
        boxes.start()
        port = boxes.port
        floor = os.path.abspath(args.floor)

        def floor_argv(n, mode):
            return [floor, "127.0.0.1", str(port), Mailboxes.user(n), PASSWORD, str(LINES), mode]

        log("first logins (the server builds its indexes) ...")
        for n in counts:
            run_quiet(floor_argv(n, "uidl"))

        # Check folders, primed at largest - new for the "new" rows first.
        checks = {}  # (cli label, variant, n) -> data folder
        for cli in clis:
            for variant, options in cli.variants():
                for n in check_counts:
                    data = os.path.join(scratch, f"{cli.label}-{variant}-{n}")
                    make_data_folder(cli, data, port, n, options)
                    checks[(cli.label, variant, n)] = data
        log("priming the checks ...")
        for (label, variant, n), data in checks.items():
            if n == largest:
                cli = next(c for c in clis if c.label == label)
                prime(cli, data, data + ".snap-new")
        boxes.deliver(largest, largest - args.new + 1, largest)
        boxes.own()
        run_quiet(floor_argv(largest, "uidl"))
        for (label, variant, n), data in checks.items():
            cli = next(c for c in clis if c.label == label)
            prime(cli, data, data + ".snap-seen")

        cases = []
        for n in counts:
            group = f"survey {n}"
            cases.append(Case(group, "python poplib",
                              ["/usr/bin/python3", os.path.join(HERE, "poplib_survey.py"),
                               "127.0.0.1", str(port), Mailboxes.user(n), PASSWORD, str(LINES)],
                              scratch, n, expect=str(n)))
            cases.append(Case(group, "floor sequential", floor_argv(n, "sequential"), scratch, n,
                              expect=str(n)))
            cases.append(Case(group, "floor pipelined", floor_argv(n, "pipelined"), scratch, n,
                              expect=str(n)))
            for cli in clis:
                for variant, options in cli.survey_variants():
                    argv = [cli.path, "survey", "--server", "127.0.0.1", "--port", str(port),
                            "--user", Mailboxes.user(n), "--password", PASSWORD, "--lines",
                            str(LINES)] + options
                    cases.append(Case(group, f"{cli.label} {variant}", argv, scratch, n,
                                      expect=f"count: {n}"))
        for n in check_counts:
            group = f"check {n}, nothing new"
            cases.append(Case(group, "floor uidl", floor_argv(n, "uidl"), scratch, n,
                              expect=str(n)))
            for cli in clis:
                for variant, _ in cli.variants():
                    data = checks[(cli.label, variant, n)]
                    cases.append(Case(group, f"{cli.label} {variant}", check_argv(cli, data), data,
                                      n, snapshot=data + ".snap-seen", expect="new: 0"))
        group = f"check {largest}, {args.new} new"
        for cli in clis:
            for variant, _ in cli.variants():
                data = checks[(cli.label, variant, largest)]
                cases.append(Case(group, f"{cli.label} {variant}", check_argv(cli, data), data,
                                  largest, snapshot=data + ".snap-new",
                                  expect=f"new: {args.new}"))
        log(f"{len(cases)} cases, checking what each prints ...")
        for case in cases:
            case.validate()
        log(f"{args.rounds} rounds ...")
        for r in range(args.rounds):
            for case in cases:
                case.run()
            log(f"  round {r + 1} done (load {os.getloadavg()[0]:.2f})")

        log("bytes written per check (strace) ...")
        for case in cases:
            if case.snapshot is not None:
                case.restore()
                case.written = written_bytes(case.argv, case.cwd)

        instructions = []
        if not args.no_callgrind and len(counts) >= 2:
            small, big = counts[0], counts[1]
            log(f"callgrind at {small} and {big} messages ...")
            for cli in clis:
                for variant, options in cli.survey_variants():
                    per = []
                    for n in (small, big):
                        argv = [cli.path, "survey", "--server", "127.0.0.1", "--port", str(port),
                                "--user", Mailboxes.user(n), "--password", PASSWORD, "--lines",
                                str(LINES)] + options
                        per.append(callgrind_instructions(argv, scratch))
                    instructions.append((f"survey, {cli.label} {variant}",
                                         (per[1] - per[0]) / (big - small), per[1]))
            n = next((c for c in check_counts if c >= 10000), largest)
            for cli in clis:
                for variant, _ in cli.variants():
                    data = checks[(cli.label, variant, n)]
                    case = Case("", "", check_argv(cli, data), data, n, data + ".snap-seen")
                    case.restore()
                    total = callgrind_instructions(case.argv, data)
                    instructions.append((f"check {n} nothing new, {cli.label} {variant}",
                                         total / n, total))
        cycles = []
        for label, exe in (("before", args.baseline_cycle_bench), ("tarnu", args.cycle_bench)):
            if exe:
                log(f"check cycle beyond the surveys, {label} ...")
                cycles.append((label, cycle_bench(exe, args.rounds)))
        log(f"load after: {os.getloadavg()[0]:.2f}")
    finally:
        boxes.stop()
        if not args.keep:
            shutil.rmtree(scratch, ignore_errors=True)

    report(cases, instructions, cycles, args.rounds)


def cycle_bench(exe, rounds):
    """The cycle's own work over 3 hosts (surveys played back from memory):
    min and median ms of the whole cycle, for 10,000 and 30,000 messages a
    host."""
    results = []
    for n in (10000, 30000):
        out = run_quiet([os.path.abspath(exe), "--hosts", "3", "--messages", str(n), "--new",
                         "100", "--runs", str(rounds)]).stdout.decode()
        m = re.search(r"^whole cycle\s+([\d.]+)\s+([\d.]+)", out, re.M)
        results.append((n, float(m.group(1)), float(m.group(2))))
    return results


def report(cases, instructions, cycles, rounds):
    print(f"tarnu scale benchmark: Dovecot on loopback, ~2 KB messages, TOP n {LINES}, "
          f"{rounds} interleaved rounds; times in ms")
    groups = []
    for case in cases:
        if case.group not in groups:
            groups.append(case.group)
    for group in groups:
        rows = [c for c in cases if c.group == group]
        refs = {c.name: c for c in rows}
        print()
        print(f"== {group}")
        head = f"{'':22}{'min':>9}{'median':>9}{'cpu µs/msg':>11}{'peak MB':>9}{'written':>12}"
        # A check's own plain dialogue too, what the protocol options save.
        ratio_names = [name for name in ("python poplib", "floor sequential", "floor pipelined",
                                         "floor uidl", "before plain") if name in refs]
        if group.startswith("check") and "tarnu plain" in refs:
            ratio_names.append("tarnu plain")
        for name in ratio_names:
            head += f"  /{name.replace('floor ', '').replace('python ', '')} min,med"
        head = head.replace("/tarnu plain", "/plain")
        print(head)
        for c in rows:
            line = (f"{c.name:22}{fmt_ms(min(c.walls))}{fmt_ms(statistics.median(c.walls))}"
                    f"{statistics.median(c.cpus) / c.messages * 1e6:11.2f}"
                    f"{max(c.rss) / 1024:9.1f}")
            line += f"{c.written:12,d}" if c.written is not None else f"{'':12}"
            for name in ratio_names:
                ref = refs[name]
                line += (f"  {min(c.walls) / min(ref.walls):6.2f}"
                         f" {statistics.median(c.walls) / statistics.median(ref.walls):5.2f}")
            print(line)
    if instructions:
        print()
        print("== callgrind (client instructions)")
        for name, per_message, total in instructions:
            print(f"{name:48}{per_message:12,.0f} per message {total:16,d} in all")
    if cycles:
        print()
        print("== check cycle beyond the surveys, 3 hosts (played back; ms, min / median)")
        for label, results in cycles:
            print(f"{label:22}" + "".join(f"  3 x {n:,}: {lo:9.1f} / {med:9.1f}"
                                           for n, lo, med in results))


if __name__ == "__main__":
    main()
