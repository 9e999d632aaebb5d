"""Running tarnu.exe under Wine: the prefix, a virtual X display, the test
mail server and the driver that looks into the running program.

Used by the Wine tests (wine_e2e.py) and the README's demo (scripts/run).
"""
import fcntl
import hashlib
import os
import shutil
import socket
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
DOVECOT = os.path.join(ROOT, "tests", "support", "dovecot.sh")
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
import mkmail  # noqa: E402  (deliver)


def cache_dir():
    base = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    return os.path.join(base, "tarnu")


def prefix_key():
    """Changes whenever the recipe of the prefix or Wine itself changes."""
    digest = hashlib.sha256()
    for name in ("make_wine_prefix.sh", "fonts-ja.reg.utf8"):
        with open(os.path.join(HERE, name), "rb") as f:
            digest.update(f.read())
    version = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout
    digest.update(version.encode())
    return digest.hexdigest()[:16]


class WineSession:
    """A Wine prefix (made once, kept in the cache), an Xvfb display (or the
    user's), and a persistent wineserver; everything it started is stopped
    on exit. Only one session uses the prefix at a time (a lock file)."""

    def __init__(self, log_dir, display=None, quiet=False):
        self.log_dir = log_dir
        self.user_display = display
        self.quiet = quiet
        self.xvfb = None
        self.lock = None
        self.env = None
        self.started = []  # processes to stop, newest last

    # -- set-up -------------------------------------------------------------

    def __enter__(self):
        os.makedirs(self.log_dir, exist_ok=True)
        os.makedirs(cache_dir(), exist_ok=True)
        self.lock = open(os.path.join(cache_dir(), "wine.lock"), "w")
        fcntl.flock(self.lock, fcntl.LOCK_EX)
        self._set_env()
        try:
            self._make_prefix()
            self.env["DISPLAY"] = self.user_display or self._start_xvfb()
            self._start_wineserver()
            # The first program on a fresh server: output to a file, never a
            # pipe (helper processes inherit it and would keep it open).
            with open(os.path.join(self.log_dir, "wine-first.log"), "w") as out:
                subprocess.run(["wine", "cmd", "/c", "exit", "0"], env=self.env, stdout=out,
                               stderr=out, stdin=subprocess.DEVNULL, timeout=120)
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    @classmethod
    def prepare(cls, log_dir):
        """Makes the prefix if it is not there yet, and nothing else (the
        README's run does this while the programs compile)."""
        session = cls(log_dir, quiet=True)
        os.makedirs(log_dir, exist_ok=True)
        os.makedirs(cache_dir(), exist_ok=True)
        with open(os.path.join(cache_dir(), "wine.lock"), "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            session._set_env()
            session._make_prefix()

    def _set_env(self):
        self.prefix = os.path.join(cache_dir(), "wine-" + prefix_key())
        self.env = dict(os.environ)
        for key in ("WINELOADER", "WINESERVER", "WINEDLLPATH"):
            self.env.pop(key, None)
        self.env.update(WINEPREFIX=self.prefix, WINEARCH="win64", WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=", LANG="ja_JP.UTF-8",
                        LC_ALL="ja_JP.UTF-8")

    def _start_wineserver(self):
        """A persistent server for the prefix. We hold the prefix's lock, so a
        server already there is left over: the previous session's on its way
        out (`wineserver -k` returns before it is gone), or one whose session
        was killed. End it and start ours."""
        for _ in range(30):
            if subprocess.run(["wineserver", "-p"], env=self.env).returncode == 0:
                return
            subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            time.sleep(0.5)
        raise RuntimeError("wineserver -p keeps failing")

    def _make_prefix(self):
        ready = os.path.join(self.prefix, ".tarnu-ready")
        if os.path.exists(ready):
            return
        shutil.rmtree(self.prefix, ignore_errors=True)
        started = time.monotonic()
        with open(os.path.join(self.log_dir, "wine-prefix.log"), "w") as out:
            env = dict(self.env)
            env.pop("DISPLAY", None)
            subprocess.run([os.path.join(HERE, "make_wine_prefix.sh")], env=env, check=True,
                           stdout=out, stderr=out, stdin=subprocess.DEVNULL, timeout=600)
        with open(ready, "w") as f:
            f.write("made in %.1f s\n" % (time.monotonic() - started))
        self.say("Wine prefix made in %.1f s: %s" % (time.monotonic() - started, self.prefix))

    def _start_xvfb(self):
        read_end, write_end = os.pipe()
        log = open(os.path.join(self.log_dir, "xvfb.log"), "w")
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten",
             "tcp"], pass_fds=(write_end,), stdout=log, stderr=log, stdin=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    raise RuntimeError("Xvfb did not start (see xvfb.log)")
                number += chunk
        return ":" + number.decode().strip()

    def __exit__(self, *exc):
        for proc in reversed(self.started):
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        if self.env is not None:
            # Ends the programs of this prefix that we started, and the server.
            subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        if self.xvfb is not None:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
        if self.lock is not None:
            self.lock.close()
        return False

    def say(self, text):
        if not self.quiet:
            print(text, flush=True)

    # -- programs -----------------------------------------------------------

    def start(self, exe, cwd, log_name, locale=None, debug=None):
        """Starts a Windows program; `wine` returns its exit code. `locale`
        (a Unix locale) sets the program's code page; `debug` Wine's debug
        channels (WINEDEBUG), whose traces go to the log."""
        log = open(os.path.join(self.log_dir, log_name), "w")
        env = dict(self.env)
        if locale:
            env.update(LANG=locale, LC_ALL=locale)
        if debug:
            env.update(WINEDEBUG=debug)
        proc = subprocess.Popen(["wine", exe], cwd=cwd, env=env, stdout=log, stderr=log,
                                stdin=subprocess.DEVNULL)
        self.started.append(proc)
        return proc

    def run(self, args, timeout=60):
        """A console program to its end: (exit code, standard output)."""
        code, out, _ = self.run_full(args, timeout)
        return code, out

    def run_full(self, args, timeout=60, cwd=None, locale=None):
        """A console program to its end in `cwd`, with `locale` (a Unix locale:
        it sets the program's code page): (exit code, standard output,
        standard error), both decoded from UTF-8."""
        env = dict(self.env)
        if locale:
            env.update(LANG=locale, LC_ALL=locale)
        done = subprocess.run(["wine"] + list(args), env=env, capture_output=True, cwd=cwd,
                              timeout=timeout, stdin=subprocess.DEVNULL)
        return (done.returncode, done.stdout.decode("utf-8", "replace"),
                done.stderr.decode("utf-8", "replace"))

    def x(self, *args):
        """An X client on the session's display (xdotool, import)."""
        return subprocess.run(list(args), env=self.env, capture_output=True, timeout=30)

    def screenshot(self, path, rect=None):
        args = ["import", "-window", "root"]
        if rect:
            left, top, width, height = rect
            args += ["-crop", "%dx%d+%d+%d" % (width, height, left, top), "+repage"]
        done = self.x(*(args + [path]))
        return done.returncode == 0


class Driver:
    """tarnu-driver.exe: looks into the running tarnu.exe from outside."""

    def __init__(self, session, exe):
        self.session = session
        self.exe = exe

    def __call__(self, *args, timeout=60):
        return self.session.run([self.exe] + [str(a) for a in args], timeout=timeout)

    def ok(self, *args, timeout=60):
        return self(*args, timeout=timeout)[0] == 0

    def text(self, *args):
        code, out = self(*args)
        return out.rstrip("\n") if code == 0 else None

    def rows(self):
        code, out = self("rows")
        if code != 0:
            return None
        return [line.split("\t") for line in out.splitlines()]

    def rect(self):
        text = self.text("rect")
        return tuple(int(v) for v in text.split()) if text else None


class Dovecot:
    """The test POP3 server of tests/support, holding the given messages."""

    def __init__(self, directory, accounts, messages_for):
        self.directory = directory
        shutil.rmtree(directory, ignore_errors=True)
        subprocess.run([DOVECOT, "init", directory] + accounts, check=True)
        for user, messages in messages_for.items():
            mkmail.deliver(os.path.join(directory, "mail", user, "Maildir"), messages)
        started = subprocess.run([DOVECOT, "start", directory], check=True, capture_output=True,
                                 text=True)
        self.port = int(started.stdout.split()[-1])

    def maildir(self, user):
        return os.path.join(self.directory, "mail", user, "Maildir")

    def own(self):
        """After adding messages to a running server."""
        subprocess.run([DOVECOT, "own", self.directory], check=True)

    def stop(self):
        subprocess.run([DOVECOT, "stop", self.directory])


class SilentServer:
    """Accepts connections on loopback and never says a word: a POP3 host
    that keeps a check waiting until its timeout."""

    def __init__(self):
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(8)
        self.port = self.sock.getsockname()[1]
        self.held = []
        self.thread = threading.Thread(target=self._accept, daemon=True)
        self.thread.start()

    def _accept(self):
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            self.held.append(conn)

    def stop(self):
        self.sock.close()
        for conn in self.held:
            conn.close()


if __name__ == "__main__":
    # wine_session.py prepare LOG_DIR: the prefix only.
    if len(sys.argv) == 3 and sys.argv[1] == "prepare":
        WineSession.prepare(sys.argv[2])
    else:
        sys.exit("usage: wine_session.py prepare LOG_DIR")
