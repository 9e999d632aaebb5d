#!/usr/bin/python3
"""The README's demo: tarnu.exe under Wine, watching a local Dovecot that
holds a few Japanese messages.

usage: wine_demo.py BUILD_WIN_DIR NATIVE_TARNU_CLI DEMO_DIR

On the user's display (DISPLAY set and reachable) the program runs in a
Wine desktop window until it is ended from its tray menu (終了) or with
Ctrl-C. Without a display it runs on a virtual one, a screenshot is saved
once the result window is filled, and its path is printed.

The same Dovecot holds a second mailbox (bob) that tarnu.pref does not name:
the way to reach it is to add it through the host list dialog.
"""
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import demo_mail  # noqa: E402
from wine_session import Driver, Dovecot, WineSession  # noqa: E402

IDM_EXIT = 32779


def usable_display():
    display = os.environ.get("DISPLAY")
    if not display:
        return None
    probe = subprocess.run(["xdotool", "getdisplaygeometry"], capture_output=True)
    if probe.returncode != 0:
        print("DISPLAY=%s does not answer: using a virtual display instead" % display)
        return None
    return display


def main(argv):
    if len(argv) != 4:
        sys.exit(__doc__)
    build_win, cli, demo = (os.path.abspath(a) for a in argv[1:])
    tarnu_exe = os.path.join(build_win, "app", "win32", "tarnu.exe")
    driver_exe = os.path.join(build_win, "tests", "e2e", "tarnu-driver.exe")
    for name in ("work", "dovecot", "screenshot.png"):
        path = os.path.join(demo, name)
        if os.path.isdir(path):
            shutil.rmtree(path)
        elif os.path.exists(path):
            os.remove(path)
    work = os.path.join(demo, "work")
    os.makedirs(work)
    started = time.monotonic()

    mail = Dovecot(os.path.join(demo, "dovecot"), ["alice:secret", "bob:secret"],
                   {"alice": demo_mail.all_messages(),
                    "bob": [demo_mail.message_bytes(*m) for m in demo_mail.LATE]})
    try:
        for args in (["host", "add", "--name", "デモサーバ", "--server", "127.0.0.1", "--port",
                      str(mail.port), "--user", "alice", "--password", "secret"],
                     ["settings", "set", "--periodic", "1", "--interval", "10",
                      "--no-check-at-start", "0", "--auto-open", "1"]):
            subprocess.run([cli] + args, cwd=work, check=True, stdout=subprocess.DEVNULL)
        print("Dovecot on 127.0.0.1:%d holds %d Japanese messages for alice; tarnu.pref in %s"
              % (mail.port, len(demo_mail.MESSAGES), work))
        display = usable_display()
        with WineSession(os.path.join(demo, "logs"), display=display) as session:
            driver = Driver(session, driver_exe)
            tarnu = session.start(tarnu_exe, work, "tarnu.log")
            filled = driver.ok("wait-main", 60000) and driver.ok(
                "wait-rows", len(demo_mail.MESSAGES), 60000)
            since_run = ""
            if os.environ.get("TARNU_RUN_STARTED"):
                since_run = " (%.0f s after ./scripts/run started)" % (
                    time.time() - float(os.environ["TARNU_RUN_STARTED"]))
            print("tarnu.exe %s after %.0f s%s" % (
                "checked the mailbox and filled its result window" if filled
                else "did not fill its result window", time.monotonic() - started, since_run),
                flush=True)
            if display:
                print("It runs in the Wine desktop window: its icon sits at the right of the "
                      "taskbar (right button: menu, double click: results). End it with "
                      "終了 in that menu, or Ctrl-C here.")
                print("A second mailbox waits on the same server: tray menu -> "
                      "問い合わせ先の設定 -> 追加, then サーバアドレス 127.0.0.1, ポート番号 %d, "
                      "ユーザ名 bob, パスワード secret; OK, OK, and メールチェック. Double-click "
                      "a row of the results to read the message (全文を見る fetches all of it)."
                      % mail.port)
                try:
                    tarnu.wait()
                except KeyboardInterrupt:
                    driver("command", IDM_EXIT)
                    tarnu.wait(30)
            else:
                time.sleep(2.5)  # one tick of the icon timer: the new-mail picture
                shot = os.path.join(demo, "screenshot.png")
                session.screenshot(shot)
                driver("command", IDM_EXIT)
                tarnu.wait(30)
                print("No display: screenshot of the Wine desktop saved to " + shot)
            return 0 if filled else 1
    finally:
        mail.stop()


if __name__ == "__main__":
    sys.exit(main(sys.argv))
