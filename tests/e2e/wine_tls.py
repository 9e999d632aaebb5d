"""Secure connections of the Windows build under Wine, where Schannel does
the TLS: surveys through POP3S and STLS, forwarding through STARTTLS and
SMTPS with SMTP AUTH, every certificate refusal, and the question tarnu.exe
asks about a certificate that does not verify.

Called by wine_e2e.py inside its Wine session. The servers are real
(Dovecot, aiosmtpd) and hold certificates of a private test CA made for
the run; the CA is handed to tarnu-cli.exe with --ca-file and never
installed anywhere. The native tarnu-cli (OpenSSL) is the oracle: Windows
must print what Linux prints.
"""
import os
import re
import shutil
import socket
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SUPPORT = os.path.join(ROOT, "tests", "support")
sys.path.insert(0, HERE)
import demo_mail  # noqa: E402
import dialog_e2e  # noqa: E402
from wine_session import Dovecot  # noqa: E402

IDM_CHECK, IDM_HOSTS, IDM_EXIT = 32775, 32777, 32779
IDYES, IDNO = 6, 7
UNTRUSTED = "・証明書の発行者が信頼されていません"


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Smtp:
    """tests/support/smtp_tls_server.py: aiosmtpd with TLS and AUTH."""

    def __init__(self, directory, mode, cert, key):
        shutil.rmtree(directory, ignore_errors=True)
        os.makedirs(directory)
        self.directory = directory
        self.port = free_port()
        self.log = open(os.path.join(directory, "server.log"), "w")
        self.proc = subprocess.Popen(
            ["/usr/bin/python3", os.path.join(SUPPORT, "smtp_tls_server.py"), directory,
             str(self.port), mode, "--cert", cert, "--key", key, "--user", "bob:pw"],
            stdout=self.log, stderr=self.log, stdin=subprocess.DEVNULL)
        ready = os.path.join(directory, "ready")
        for _ in range(1000):
            if os.path.exists(ready) or self.proc.poll() is not None:
                break
            time.sleep(0.01)
        if not os.path.exists(ready):
            raise RuntimeError("smtp_tls_server.py did not start (%s)" % directory)

    def mails(self):
        """Every stored mail by its file name."""
        new = os.path.join(self.directory, "Maildir", "new")
        out = {}
        for name in os.listdir(new) if os.path.isdir(new) else []:
            with open(os.path.join(new, name), "rb") as f:
                out[name] = f.read()
        return out

    def auth_log(self):
        path = os.path.join(self.directory, "auth.log")
        return open(path).read() if os.path.exists(path) else ""

    def stop(self):
        self.proc.terminate()
        self.proc.wait(10)
        self.log.close()


class OpensslServer:
    """`openssl s_server` on a free loopback port with these options; it
    lives while its standard input stays open. It speaks no POP3: a client
    that gets through the handshake waits for a greeting that never comes."""

    def __init__(self, path, cert, key, options):
        self.log = open(path, "w")
        self.proc = subprocess.Popen(
            ["openssl", "s_server", "-accept", "127.0.0.1:0", "-cert", cert, "-key", key] +
            options, stdin=subprocess.PIPE, stdout=self.log, stderr=subprocess.STDOUT)
        self.port = None
        for _ in range(500):
            with open(path) as f:
                found = re.search(r"ACCEPT 127\.0\.0\.1:(\d+)\n", f.read())
            if found or self.proc.poll() is not None:
                break
            time.sleep(0.01)
        if not found:
            self.stop()
            raise RuntimeError("openssl s_server did not start (%s)" % path)
        self.port = found.group(1)

    def stop(self):
        self.proc.stdin.close()
        self.proc.terminate()
        self.proc.wait(10)
        self.log.close()


def comparable(mail):
    """A stored notification without what differs between two runs and two
    machines: the Date value and the computer name in the greeting."""
    mail = re.sub(rb"\r\nDate: [^\r]*\r\n", b"\r\nDate: -\r\n", mail)
    return re.sub(rb"X-Helo: [^\r]*\r\n", b"X-Helo: -\r\n", mail)


def run(session, driver, build_win, cli, artifacts, plain_mail, check):
    tarnu_exe = os.path.join(build_win, "app", "win32", "tarnu.exe")
    cli_exe = os.path.join(build_win, "tools", "tarnu-cli", "tarnu-cli.exe")
    base = os.path.join(artifacts, "tls")
    shutil.rmtree(base, ignore_errors=True)
    ca = os.path.join(base, "ca")
    subprocess.run([os.path.join(SUPPORT, "test_ca.sh"), ca], check=True)

    def pem(name):
        return (os.path.join(ca, name + ".pem"), os.path.join(ca, name + ".key"))

    messages = {"alice": demo_mail.all_messages()}
    servers = {name: Dovecot(os.path.join(base, "dovecot-" + name), ["alice:secret"], messages,
                             tls=pem(name)) for name in ("localhost", "self", "expired")}
    smtp = {mode: Smtp(os.path.join(base, "smtp-" + mode), mode, *pem("localhost"))
            for mode in ("starttls", "smtps")}
    try:
        surveys(session, cli, cli_exe, ca, servers, plain_mail, check)
        versions(session, cli, cli_exe, ca, base, check)
        forwards(session, cli, cli_exe, ca, base, servers["localhost"], smtp, check)
        question(session, driver, tarnu_exe, cli, base, servers["self"], check)
        extras_dialog(session, driver, tarnu_exe, cli, base, check)
    finally:
        for server in smtp.values():
            server.stop()
        for server in servers.values():
            server.stop()


def surveys(session, cli, cli_exe, ca, servers, plain_mail, check):
    def native(args):
        done = subprocess.run([cli, "survey"] + args, capture_output=True, text=True,
                              timeout=60)
        return done.returncode, done.stdout

    def windows(args):
        return session.run([cli_exe, "survey"] + args, timeout=60)

    def account(server, security, host="localhost"):
        port = server.pop3s_port if security == "ssl" else server.port
        return ["--server", host, "--port", str(port), "--user", "alice", "--password", "secret",
                "--tls", security]

    good = servers["localhost"]
    code, reference = native(["--server", "localhost", "--port", str(good.port), "--user",
                              "alice", "--password", "secret"])
    check("native survey of the TLS Dovecot in plain text finds 4 messages",
          code == 0 and reference.startswith("count: 4\n"), reference)
    for security in ("ssl", "starttls"):
        for apop in ([], ["--apop"]):
            args = account(good, security) + apop + ["--ca-file", windows_path(ca + "/ca.pem")]
            code, out = windows(args)
            check("Windows survey through %s%s with the test CA finds what plain text finds"
                  % ("POP3S" if security == "ssl" else "STLS", " and APOP" if apop else ""),
                  code == 0 and out == reference, out)
    with open(os.path.join(good.directory, "dovecot.log")) as f:
        log = f.read()
    check("Dovecot logged the Windows logins as TLS 1.2 or 1.3",
          log.count(", TLS, TLSv1.") >= 4, log[-600:])

    self_fp = fingerprint(ca, "self")
    cases = [
        ("self-signed", account(servers["self"], "ssl"), [UNTRUSTED]),
        ("expired", account(servers["expired"], "starttls"), ["・証明書の有効期限が切れています"]),
        ("wrong name", account(good, "ssl", "127.0.0.1"),
         ["・証明書は 127.0.0.1 のものではありません"]),
        ("changed since accepted",
         account(servers["expired"], "ssl") + ["--accept-fingerprint", self_fp],
         ["・以前に受け入れた証明書と異なります", "・証明書の有効期限が切れています"]),
        ("STLS refused by a server without TLS",
         ["--server", "localhost", "--port", str(plain_mail.port), "--user", "alice",
          "--password", "secret", "--tls", "starttls"],
         ["このメールサーバはSTLS(TLSへの切り替え)に応じません"]),
    ]
    for name, args, reasons in cases:
        args = args + ["--ca-file", None]
        args[-1] = ca + "/ca.pem"
        native_code, native_out = native(args)
        args[-1] = windows_path(ca + "/ca.pem")
        code, out = windows(args)
        error = [line for line in out.splitlines() if line.startswith("error: ")]
        check("refused under Windows as natively (%s): %s" % (name, error[0] if error else out),
              code == 1 and native_code == 1 and out == native_out and error and
              all(reason in error[0] for reason in reasons), (out, native_out))
    code, out = windows(account(servers["self"], "starttls") +
                        ["--accept-fingerprint", self_fp.lower().replace(":", "")])
    check("the accepted self-signed certificate is taken under Windows",
          code == 0 and out.startswith("count: 4\n"), out)


def versions(session, cli, cli_exe, ca, base, check):
    """Only TLS 1.2 and later: a server held to TLS 1.0 or 1.1 is refused in
    the handshake (whatever Schannel agreed to, tarnu checks the protocol),
    one held to TLS 1.2 is reached, as natively. (Wine's Schannel has no TLS
    1.3 client, so a server held to 1.3 is not asked.)"""
    refused = "error: TLSで接続できません(サーバがTLS 1.2以上に対応していないか"
    old = ["-cipher", "AES256-SHA:@SECLEVEL=0"]  # RSA key exchange: no legacy signature
    for name, options, reached in (("TLS 1.0", ["-tls1"] + old, False),
                                   ("TLS 1.1", ["-tls1_1"] + old, False),
                                   ("TLS 1.2", ["-tls1_2"], True)):
        server = OpensslServer(os.path.join(base, "s_server-%s.log" % name.replace(" ", "")),
                               os.path.join(ca, "localhost.pem"),
                               os.path.join(ca, "localhost.key"), options)
        try:
            args = ["survey", "--server", "localhost", "--port", server.port, "--user", "alice",
                    "--password", "secret", "--tls", "ssl", "--timeout", "1", "--ca-file"]
            native = subprocess.run([cli] + args + [ca + "/ca.pem"], capture_output=True,
                                    text=True, timeout=60)
            code, out = session.run([cli_exe] + args + [windows_path(ca + "/ca.pem")],
                                    timeout=60)
        finally:
            server.stop()
        error = [line for line in out.splitlines() if line.startswith("error: ")]
        native_error = [line for line in native.stdout.splitlines() if line.startswith("error: ")]
        if reached:
            check("a server held to %s is reached under Windows as natively (%s)"
                  % (name, error[0] if error else out),
                  code == 1 and out == native.stdout and
                  error == ["error: サーバからの応答がありません"], (out, native.stdout))
        else:
            check("a server held to %s is refused under Windows as natively: %s"
                  % (name, error[0] if error else out),
                  code == 1 and native.returncode == 1 and error and native_error and
                  error[0].startswith(refused) and native_error[0].startswith(refused),
                  (out, native.stdout))


def fingerprint(ca, name):
    done = subprocess.run(["openssl", "x509", "-noout", "-fingerprint", "-sha256", "-in",
                           os.path.join(ca, name + ".pem")], capture_output=True, text=True,
                          check=True)
    return done.stdout.strip().split("=", 1)[1]


def forwards(session, cli, cli_exe, ca, base, pop3, smtp, check):
    """Two hosts forwarding every new message: one through STARTTLS, one
    through SMTPS, both with AUTH PLAIN; first by the native check, then by
    the Windows one on a copy of the same files."""
    native_dir = os.path.join(base, "forward-native")
    os.makedirs(native_dir)

    def tarnu_cli(*args):
        subprocess.run([cli] + list(args), cwd=native_dir, check=True, capture_output=True)

    for name, pop3_tls, port, smtp_tls in (("STLSとSTARTTLS", "starttls", pop3.port, "starttls"),
                                           ("POP3SとSMTPS", "ssl", pop3.pop3s_port, "smtps")):
        tarnu_cli("host", "add", "--name", name, "--server", "localhost", "--port", str(port),
                  "--user", "alice", "--password", "secret", "--tls", pop3_tls, "--forward",
                  "--notify", "notify@example.com", "--smtp", "localhost", "--smtp-port",
                  str(smtp[smtp_tls].port), "--smtp-tls",
                  "starttls" if smtp_tls == "starttls" else "ssl", "--smtp-user", "bob",
                  "--smtp-password", "pw")
    windows_dir = os.path.join(base, "forward-windows")
    shutil.copytree(native_dir, windows_dir)

    done = subprocess.run([cli, "check", "--ca-file", ca + "/ca.pem"], cwd=native_dir,
                          capture_output=True, text=True, timeout=120)
    native_rows = done.stdout
    native_mails = {mode: server.mails() for mode, server in smtp.items()}
    check("native check forwarded 4 messages through each of STARTTLS and SMTPS",
          done.returncode == 0 and all(len(m) == 4 for m in native_mails.values()),
          (done.stdout, done.stderr))

    done = subprocess.run(["wine", cli_exe, "check", "--ca-file",
                           windows_path(ca + "/ca.pem")], cwd=windows_dir, env=session.env,
                          capture_output=True, timeout=120, stdin=subprocess.DEVNULL)
    rows = done.stdout.decode("utf-8", "replace")
    check("the Windows check shows the rows the native check shows (forwarded: picture 2)",
          done.returncode == 0 and rows == native_rows and rows.count("\t2\t") == 8,
          (rows, native_rows))
    for mode, server in smtp.items():
        mails = [m for name, m in server.mails().items() if name not in native_mails[mode]]
        check("Windows forwarded 4 notifications through %s, byte for byte as Linux did"
              % mode.upper(),
              sorted(comparable(m) for m in mails) ==
              sorted(comparable(m) for m in native_mails[mode].values()), mails[:1])
        check("%s: every AUTH came inside TLS (%s)" % (mode.upper(),
                                                       server.auth_log().count("\n")),
              server.auth_log() == "PLAIN bob pw secure\n" * 8, server.auth_log())


def question(session, driver, tarnu_exe, cli, base, server, check):
    """tarnu.exe asks before trusting a certificate that does not verify;
    "No" is remembered for the run, "Yes" keeps the certificate with the
    host."""
    work = os.path.join(base, "question")
    os.makedirs(work)
    subprocess.run([cli, "host", "add", "--name", "自己署名", "--server", "localhost", "--port",
                    str(server.pop3s_port), "--user", "alice", "--password", "secret", "--tls",
                    "ssl"], cwd=work, check=True, capture_output=True)
    # Periodic checking on: only then does a check run at start-up.
    subprocess.run([cli, "settings", "set", "--periodic", "1", "--interval", "60",
                    "--no-check-at-start", "0"], cwd=work, check=True, capture_output=True)
    fp = fingerprint(os.path.join(base, "ca"), "self")

    first = session.start(tarnu_exe, work, "tarnu-tls-1.log")
    check("tarnu.exe starts for the certificate question", driver.ok("wait-main", 30000))
    code, text = driver("dialog", "tarnu", 30000, "press", IDNO)
    check("the start-up check asks about the self-signed certificate, naming the host, the "
          "reason and the fingerprint; answered No",
          code == 0 and "「自己署名」" in text and UNTRUSTED in text and fp in text, text)
    check("after No the host's row shows the refusal", driver.ok("wait-rows", 1, 20000) and
          UNTRUSTED in "\t".join(sum(driver.rows() or [[]], [])), driver.rows())
    driver("command", IDM_CHECK)
    code, text = driver("dialog", "tarnu", 5000)
    check("a second check in the same run does not ask again", code != 0, text)
    driver.ok("wait-rows", 1, 20000)
    driver("command", IDM_EXIT)
    first.wait(30)

    second = session.start(tarnu_exe, work, "tarnu-tls-2.log")
    driver.ok("wait-main", 30000)
    code, text = driver("dialog", "tarnu", 30000, "press", IDYES)
    check("the next run asks again; answered Yes", code == 0 and fp in text, text)
    rows = driver.rows() if driver.ok("wait-rows", 4, 20000) else driver.rows()
    check("after Yes the check goes on and lists the 4 messages",
          rows is not None and len(rows) == 4, rows)
    driver("command", IDM_EXIT)
    second.wait(30)
    done = subprocess.run([cli, "check"], cwd=work, capture_output=True, text=True, timeout=60)
    check("the accepted certificate was saved with the host: the console's check takes it",
          done.returncode == 0 and done.stdout.endswith("new: 0\n") and
          UNTRUSTED not in done.stdout and done.stdout.count("\n") == 5, done.stdout)


def extras_dialog(session, driver, tarnu_exe, cli, base, check):
    """The host's secure connection settings in their own dialog, opened
    from the host settings dialog; OK writes them into the reserved area of
    the host's record in tarnu.pref."""
    extras = "通信の設定"
    pop3_security, smtp_security, user, password = 1202, 1203, 1204, 1205
    without_tls, pipelining, uidl, pop3_fp, clear_pop3_fp = 1206, 1207, 1208, 1209, 1210
    work = os.path.join(base, "extras-dialog")
    os.makedirs(work)
    fp = fingerprint(os.path.join(base, "ca"), "self")
    subprocess.run([cli, "host", "add", "--name", "通信", "--server", "localhost", "--user",
                    "alice", "--password", "secret", "--accept-fingerprint", fp], cwd=work,
                   check=True, capture_output=True)
    ui = dialog_e2e.Dialogs(session, driver, base)
    program = session.start(tarnu_exe, work, "tarnu-extras.log")
    driver.ok("wait-main", 30000)
    driver("command", IDM_HOSTS)
    ui.find(dialog_e2e.HOST_LIST)
    driver("select", dialog_e2e.HOST_LIST, dialog_e2e.LIST, 0)
    ui.press(dialog_e2e.HOST_LIST, dialog_e2e.EDIT)
    ui.find(dialog_e2e.HOST_SETTINGS)
    ui.press(dialog_e2e.HOST_SETTINGS, 1200)
    check("通信設定... in the host settings dialog opens 通信の設定", ui.find(extras))
    shown = [ui.get(extras, c) for c in (pop3_security, smtp_security, pop3_fp)]
    check("it shows the host's settings: no TLS, and the accepted certificate",
          shown == ["なし", "なし", fp] and ui.enabled(extras, clear_pop3_fp) and
          ui.state(extras, pipelining) == (True, True) and ui.state(extras, uidl) == (True, True),
          shown)
    ui.shot(extras, "host-extras-dialog.png")

    ui.set(extras, password, "pw")
    ok, seen = ui.ok_refused(extras, "SMTP認証のユーザ名を設定してください", user)
    check("a password without a user name is refused, the focus on the user name", ok, seen)

    driver("choose", extras, pop3_security, 1)
    driver("choose", extras, smtp_security, 2)
    ui.set(extras, user, "bob")
    time.sleep(0.2)
    check("authentication without TLS is no choice once STARTTLS is chosen",
          ui.enabled(extras, without_tls) is False)
    ui.tick(extras, pipelining, False)
    ui.press(extras, clear_pop3_fp)
    time.sleep(0.2)
    check("消去 forgets the accepted certificate", ui.get(extras, pop3_fp) == "(なし)",
          ui.get(extras, pop3_fp))
    ui.press(extras, dialog_e2e.IDOK)
    ui.gone(extras)
    ui.press(dialog_e2e.HOST_SETTINGS, dialog_e2e.IDOK)
    ui.gone(dialog_e2e.HOST_SETTINGS)
    ui.press(dialog_e2e.HOST_LIST, dialog_e2e.IDOK)
    ui.gone(dialog_e2e.HOST_LIST)
    time.sleep(0.5)
    with open(os.path.join(work, "tarnu.pref"), "rb") as f:
        area = f.read()[244 + 1052:244 + 1052 + 512]
    expected = (b"TNX1" + bytes([1, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0]) +
                b"Ym9i\n\0")
    check("OK wrote them into the record's reserved area: TLS, STARTTLS, no PIPELINING, "
          "user bob, no certificate",
          area.startswith(expected) and area[224:256] == bytes(32), area[:40])
    driver("command", IDM_EXIT)
    program.wait(30)
