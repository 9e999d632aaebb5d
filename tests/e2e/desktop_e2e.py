"""tarnu.exe as a desktop program, under Wine: its files beside the program
whatever the current directory, the start at sign-in in the Run key, the
error reasons, a check given up when the machine sleeps and the check after
the wake-up, the notification on new mail, the tray tip; and the installer: a
silent install, the installed program, a silent uninstall, an uninstall that
asks before it deletes the settings.

Called by wine_e2e.py inside its Wine session.
"""
import glob
import os
import shutil
import socket
import subprocess
import time
import zipfile

import demo_mail
from wine_session import Dovecot, SilentServer

IDM_CHECK, IDM_SETTINGS, IDM_SHOW_RESULTS, IDM_EXIT = 32775, 32776, 32778, 32779
IDOK, IDYES = 1, 6
PBT_APMSUSPEND, PBT_APMRESUMEAUTOMATIC = 4, 18
NIN_BALLOONUSERCLICK = 1024 + 5
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\tarnu"
SILENT_TIMEOUT = 60


def wait_until(predicate, seconds, step=0.2):
    end = time.monotonic() + seconds
    while True:
        value = predicate()
        if value or time.monotonic() >= end:
            return value
        time.sleep(step)


def windows_path(path):
    """The name Wine gives a Linux path (drive Z: is the root)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def reg_value(session, key, name):
    """The text of a registry value, or None when there is none."""
    code, out = session.run(["reg", "query", key, "/v", name])
    if code != 0:
        return None
    for line in out.splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) == 3 and parts[0] == name and parts[1].startswith("REG_"):
            return parts[2]
    return None


def reg_delete(session, key, name=None):
    session.run(["reg", "delete", key] + (["/v", name] if name else []) + ["/f"])


def closed_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def cli_in(cli, directory, *args):
    done = subprocess.run([cli] + list(args), cwd=directory, capture_output=True, text=True)
    if done.returncode != 0:
        raise RuntimeError("tarnu-cli %s: %s" % (" ".join(args), done.stderr))


def finish(program, driver, check, what):
    driver("command", IDM_EXIT)
    try:
        code = program.wait(30)
    except subprocess.TimeoutExpired:
        code = None
    check("%s ends with exit code 0" % what, code == 0, code)


def desktop_tests(session, driver, tarnu_exe, cli, artifacts, check):
    base = os.path.join(artifacts, "desktop")
    portable, elsewhere = os.path.join(base, "portable"), os.path.join(base, "elsewhere")
    os.makedirs(portable)
    os.makedirs(elsewhere)
    mail = Dovecot(os.path.join(base, "dovecot"), ["carol:secret"],
                   {"carol": demo_mail.all_messages()})
    silent = SilentServer()
    reg_delete(session, RUN_KEY, "tarnu")
    try:
        shutil.copy(tarnu_exe, portable)
        refused = closed_port()
        cli_in(cli, portable, "host", "add", "--name", "テストサーバ", "--server", "127.0.0.1",
               "--port", str(mail.port), "--user", "carol", "--password", "secret")
        cli_in(cli, portable, "host", "add", "--name", "拒否するサーバ", "--server", "127.0.0.1",
               "--port", str(refused), "--user", "x", "--password", "y")
        cli_in(cli, portable, "host", "add", "--name", "応答しないサーバ", "--server", "127.0.0.1",
               "--port", str(silent.port), "--user", "x", "--password", "y", "--timeout",
               str(SILENT_TIMEOUT))
        cli_in(cli, portable, "settings", "set", "--periodic", "1", "--interval", "10",
               "--no-check-at-start", "0")
        with open(os.path.join(portable, "tarnu.ini"), "w", encoding="utf-8", newline="") as f:
            f.write("; kept as it stands\r\nstart_at_sign_in=1\r\n")
        run_portable(session, driver, cli, portable, elsewhere, silent, check)
        run_portable_again(session, driver, portable, elsewhere, mail, check)
        run_at_high_dpi(session, driver, portable, elsewhere, check)
    finally:
        reg_delete(session, RUN_KEY, "tarnu")
        silent.stop()
        mail.stop()


def run_portable(session, driver, cli, portable, elsewhere, silent, check):
    program = session.start(os.path.join(portable, "tarnu.exe"), elsewhere, "tarnu-portable.log")
    check("tarnu.exe started from another folder starts", driver.ok("wait-main", 30000))

    # The start-up check: the mail host, the refused one, then the silent one,
    # which holds the check until the machine "goes to sleep".
    reached = wait_until(lambda: str(silent.port) in (driver.text("title") or ""), 30)
    check("its files are found beside the program: the start-up check surveys their hosts",
          reached and len(driver.rows() or []) == 5, driver.rows())
    before = time.monotonic()
    driver("power", PBT_APMSUSPEND)
    ended = driver.ok("wait-rows", 6, 30000)
    took = time.monotonic() - before
    check("a check waiting when the machine sleeps ends at once, not after the %d-s timeout"
          % SILENT_TIMEOUT, ended and took < SILENT_TIMEOUT / 2, "%.1f s" % took)
    rows = driver.rows() or []
    states = {r[2]: r[7] for r in rows if r[2]}
    check("the abandoned host's row tells so: 受信エラー 10053 (接続が中断されました)",
          states.get("応答しないサーバ") == "受信エラー 10053 (接続が中断されました)", states)
    check("a refused connection reads 接続時エラー 10061 (接続を拒否されました)",
          states.get("拒否するサーバ") == "接続時エラー 10061 (接続を拒否されました)", states)
    check("the history is written beside the program, nothing where it was started",
          os.path.exists(os.path.join(portable, "tarnu.hist.pref")) and
          os.listdir(elsewhere) == [], os.listdir(elsewhere))
    expected = '"%s"' % windows_path(os.path.join(portable, "tarnu.exe"))
    value = reg_value(session, RUN_KEY, "tarnu")
    check("start_at_sign_in=1 in tarnu.ini registers the quoted program path in the Run key",
          value == expected, (value, expected))

    # The check found the four messages: one notification names them.
    # The shell shows the text; the title (Wine's shell keeps it to itself)
    # and the text as the program handed them over are read from the hook.
    # Line breaks come as \n from the driver.
    expected = notice_lines(demo_mail.MESSAGES)
    balloon = driver.text("balloon", 10000)
    shown = balloon.split("\\n") if balloon is not None else None
    check("a check that finds new mail raises a notification naming the first senders and "
          "subjects", shown == expected[1:], "%r\n        %r" % (shown, expected[1:]))
    notice = driver.text("notice")
    handed = notice.split("\\n") if notice is not None else None
    check("its title gives the count: " + expected[0], handed == expected,
          "%r\n        %r" % (handed, expected))
    shot = os.path.join(os.path.dirname(os.path.dirname(portable)), "notification.png")
    check("screenshot of the notification: " + shot, session.screenshot(shot))
    check("the result window is still hidden", driver.text("visible") == "0")
    # Wine's shell does not pass a click on the balloon on; the shell's
    # message for it is sent as Windows sends it.
    driver("tray", NIN_BALLOONUSERCLICK)
    check("a click on the notification opens the result window",
          wait_until(lambda: driver.text("visible") == "1", 5))
    check("the notification goes after its time",
          wait_until(lambda: not driver.ok("balloon", 0), 35))

    # The wake-up: the network is up, so a check follows at the next tick.
    # The silent server is gone by then (its host is refused at once).
    silent.stop()
    driver("power", PBT_APMRESUMEAUTOMATIC)

    def silent_state():
        return {r[2]: r[7] for r in driver.rows() or [] if r[2]}.get("応答しないサーバ")
    check("after the wake-up a check runs as soon as the network is up",
          wait_until(lambda: silent_state() == "接続時エラー 10061 (接続を拒否されました)", 15),
          silent_state())

    check("a check that finds no new mail raises no notification",
          not driver.ok("balloon", 5000), driver.text("balloon", 0))

    # The pointer over the tray icon: the shell's tip gives the last check's
    # counts (the refused and the silent host failed), also once the shell
    # has lost the icon and the program has given it again.
    expected = "tarnu(新着 0 通/全 4 通/エラー 2 件)"
    tip = tray_tip(session, driver)
    check("the tray icon's tip gives the last check's counts: " + expected, tip == expected, tip)
    driver("tray-delete")
    back = wait_until(lambda: driver.ok("tray-known"), 5)
    tip = tray_tip(session, driver) if back else None
    check("an icon the shell lost comes back with that tip", tip == expected, (back, tip))

    # The state column is too narrow for the refusal: a tip shows it whole.
    rows = driver.rows() or []
    refused_row = [r[2] for r in rows].index("拒否するサーバ") if rows else -1
    point = driver.text("cell-point", refused_row, 5)
    if point:
        session.x("xdotool", "mousemove", *point.split())
    tip = driver.text("tip", 4000)
    check("a tip over a cut cell shows its whole text: 接続時エラー 10061 (接続を拒否されました)",
          tip == "接続時エラー 10061 (接続を拒否されました)", (point, tip))
    point = driver.text("cell-point", refused_row, 0)  # "拒否するサーバ" fits
    if point:
        session.x("xdotool", "mousemove", *point.split())
    check("a cell shown whole has no tip", not driver.ok("tip", 2500), driver.text("tip", 0))
    driver("column-width", 5, 260)

    finish(program, driver, check, "the portable run")
    with open(os.path.join(portable, "tarnu.ini"), encoding="utf-8") as f:
        ini = f.read()
    check("tarnu.ini keeps the lines it does not know", ini.startswith("; kept as it stands\n"),
          ini)


def run_portable_again(session, driver, portable, elsewhere, mail, check):
    """The second start: the column widths come back; the basic settings
    show and change the two switches kept outside tarnu.pref."""
    ini_path = os.path.join(portable, "tarnu.ini")
    with open(ini_path, encoding="utf-8") as f:
        ini = f.read()
    check("the changed column width is kept in tarnu.ini at exit (pixels at 96 dpi)",
          "result_columns=100,150,100,50,200,260\n" in ini, ini)
    program = session.start(os.path.join(portable, "tarnu.exe"), elsewhere, "tarnu-again.log")
    check("the portable program starts again", driver.ok("wait-main", 30000) and
          driver.ok("wait-rows", 6, 30000))
    check("the column widths come back", driver.text("columns") == "100 150 100 50 200 260",
          driver.text("columns"))

    # A result window larger than the screen, half off it, is shown inside
    # its monitor's work area (the taskbar left free).
    driver("move", -40, -30, 1600, 1200)
    before, area = driver.rect(), driver.text("work-area")
    driver("command", IDM_SHOW_RESULTS)
    wait_until(lambda: driver.text("visible") == "1" and inside(driver.rect(), area), 5)
    after = driver.rect()
    check("a result window larger than the screen is shown inside the work area " + str(area),
          area is not None and not inside(before, area) and inside(after, area),
          (before, after, area))
    driver("hide")

    settings, notify, sign_in = "基本設定", 1101, 1102
    driver("command", IDM_SETTINGS)
    check("the basic settings open", driver.ok("find", settings, 8000))
    states = [driver.text("state", settings, c) for c in (notify, sign_in)]
    check("they show the notification on and the start at sign-in registered",
          states == ["1 1", "1 1"], states)
    driver("tick", settings, notify, 0)
    driver("tick", settings, sign_in, 0)
    driver("press", settings, IDOK)
    check("OK closes them", driver.ok("gone", settings, 5000))
    check("switching the start at sign-in off removes the Run key's value",
          wait_until(lambda: reg_value(session, RUN_KEY, "tarnu") is None, 5),
          reg_value(session, RUN_KEY, "tarnu"))
    with open(ini_path, encoding="utf-8") as f:
        ini = f.read()
    check("both switches are kept in tarnu.ini, its other lines with them",
          "notify_new_mail=0\n" in ini and "start_at_sign_in=0\n" in ini and
          ini.startswith("; kept as it stands\n"), ini)

    demo_mail.deliver_late(mail.maildir("carol"), 0)
    mail.own()
    driver("command", IDM_CHECK)
    check("a check finds the new message", driver.ok("wait-rows", 7, 20000))
    check("with the notification switched off it raises none",
          not driver.ok("balloon", 5000) and driver.text("notice") == "",
          driver.text("notice"))
    finish(program, driver, check, "the second portable run")


def inside(rect, area):
    """Whether a rectangle (x y w h) lies inside the area ("x y w h")."""
    if rect is None or area is None:
        return False
    x, y, w, h = rect
    ax, ay, aw, ah = (int(v) for v in area.split())
    return x >= ax and y >= ay and x + w <= ax + aw and y + h <= ay + ah


def run_at_high_dpi(session, driver, portable, elsewhere, check):
    """The third start at 144 dpi (a screen scaled to 150 %): the list's
    pictures and the stored column widths are scaled like its text, and an
    exit with the widths untouched stores them as they were."""
    desktop = r"HKCU\Control Panel\Desktop"
    ini_path = os.path.join(portable, "tarnu.ini")
    session.run(["reg", "add", desktop, "/v", "LogPixels", "/t", "REG_DWORD", "/d", "144", "/f"])
    try:
        program = session.start(os.path.join(portable, "tarnu.exe"), elsewhere,
                                "tarnu-144dpi.log")
        check("the portable program starts at 144 dpi", driver.ok("wait-main", 30000) and
              driver.ok("wait-rows", 7, 30000))
        check("the stored column widths are shown 1.5 times as wide",
              driver.text("columns") == "150 225 150 75 300 390", driver.text("columns"))
        check("the list's pictures are 24 pixels, not 16",
              driver.text("picture-size", 0) == "24 24", driver.text("picture-size", 0))
        finish(program, driver, check, "the run at 144 dpi")
        with open(ini_path, encoding="utf-8") as f:
            ini = f.read()
        check("the widths are kept at 96 dpi as they were",
              "result_columns=100,150,100,50,200,260\n" in ini, ini)
    finally:
        session.run(["reg", "delete", desktop, "/v", "LogPixels", "/f"])


def tray_tip(session, driver):
    """The tip the shell shows with the pointer over the tray icon."""
    point = driver.text("tray-icon")
    if not point:
        return None
    x, y = point.split()
    session.x("xdotool", "mousemove", "0", "0")
    time.sleep(0.5)
    session.x("xdotool", "mousemove", x, y, "sleep", "0.1", "mousemove_relative", "1", "0")
    return driver.text("tray-tip", 5000)


def notice_lines(messages):
    """The notification as the program words it: the title, then one line
    "sender: subject" for each of the first three, cut to 60 characters,
    then the rest counted."""
    lines = ["新着メール %d 通" % len(messages)]
    for message in messages[:3]:
        line = "%s: %s" % (message[1], message[3])
        lines.append(line if len(line) <= 60 else line[:59] + "\u2026")
    if len(messages) > 3:
        lines.append("ほか %d 通" % (len(messages) - 3))
    return lines


def zip_tests(archive, check):
    """The portable zip: one folder holding the program, its help and a
    read-me Notepad shows in Japanese."""
    if not archive:
        check("the zip was built (scripts/package)", False)
        return
    with zipfile.ZipFile(archive) as z:
        names = sorted(z.namelist())
        print("        %s: %s" % (os.path.basename(archive), names))
        readme = z.read("tarnu/readme.txt") if "tarnu/readme.txt" in names else b""
    check("the zip holds tarnu/tarnu.exe, tarnu/tarnu.chm and tarnu/readme.txt",
          names == ["tarnu/readme.txt", "tarnu/tarnu.chm", "tarnu/tarnu.exe"], names)
    text = readme.decode("utf-8-sig", "replace")
    check("the read-me is Japanese UTF-8 with a byte-order mark and CR LF line ends",
          readme.startswith(b"\xef\xbb\xbf") and "設定ファイルの場所" in text and
          "\r\n" in text and "\n" not in text.replace("\r\n", ""))


def installer_tests(session, driver, setup, cli, artifacts, check):
    """Installs silently with the start at sign-in, runs the installed
    program, uninstalls silently: everything goes but the settings."""
    if not setup:
        check("the installer was built (scripts/package)", False)
        return
    drive_c = os.path.join(session.prefix, "drive_c")
    users = [u for u in glob.glob(os.path.join(drive_c, "users", "*"))
             if os.path.basename(u) not in ("Public", "public")]
    home = users[0] if users else os.path.join(drive_c, "users", "root")
    folder = os.path.join(home, "AppData", "Local", "Programs", "tarnu")
    shortcut = os.path.join(home, "AppData", "Roaming", "Microsoft", "Windows", "Start Menu",
                            "Programs", "tarnu.lnk")
    mail = Dovecot(os.path.join(artifacts, "installer", "dovecot"), ["dave:secret"],
                   {"dave": demo_mail.all_messages()[:2]})
    shutil.rmtree(folder, ignore_errors=True)
    try:
        code = run_to_end(session, [setup, "/S", "/STARTUP"], artifacts, "setup.log")
        check("the installer runs silently without administrator rights (exit 0)", code == 0,
              code)
        installed = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
        print("        installed into %s: %s" % (windows_path_in(home, folder), installed))
        for name in installed:
            print("          %-14s %9d bytes" % (name, os.path.getsize(os.path.join(folder,
                                                                                      name))))
        check("it installs tarnu.exe, the help, the read-me and the uninstaller in the "
              "user's programs",
              set(installed) == {"tarnu.exe", "tarnu.chm", "readme.txt", "uninstall.exe"},
              installed)
        check("it adds the Start menu entry", os.path.exists(shortcut), shortcut)
        check("it registers itself for Apps (the uninstall key, its version)",
              reg_value(session, UNINSTALL_KEY, "DisplayVersion") is not None)
        run_value = reg_value(session, RUN_KEY, "tarnu")
        check("/STARTUP registers the start at sign-in", run_value is not None and
              run_value.lower().endswith('\\programs\\tarnu\\tarnu.exe"'), run_value)

        cli_in(cli, folder, "host", "add", "--name", "テストサーバ", "--server", "127.0.0.1",
               "--port", str(mail.port), "--user", "dave", "--password", "secret")
        cli_in(cli, folder, "settings", "set", "--periodic", "1", "--no-check-at-start", "0")
        program = session.start(os.path.join(folder, "tarnu.exe"), artifacts,
                                "tarnu-installed.log")
        check("the installed tarnu.exe starts from its installed place",
              driver.ok("wait-main", 30000) and driver.ok("wait-rows", 2, 20000))
        finish(program, driver, check, "the installed program")
        check("it keeps its files in its own folder",
              os.path.exists(os.path.join(folder, "tarnu.hist.pref")))

        uninstaller = os.path.join(folder, "uninstall.exe")
        run_to_end(session, [uninstaller, "/S"], artifacts, "uninstall.log")
        gone = wait_until(lambda: not os.path.exists(uninstaller), 60)
        left = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
        check("the silent uninstall removes the program, the help, the read-me and itself",
              gone and not {"tarnu.exe", "tarnu.chm", "readme.txt", "uninstall.exe"} & set(left),
              left)
        check("it removes the Start menu entry, the uninstall key and the sign-in start",
              not os.path.exists(shortcut) and
              reg_value(session, UNINSTALL_KEY, "DisplayVersion") is None and
              reg_value(session, RUN_KEY, "tarnu") is None)
        check("a silent uninstall keeps the settings and the history",
              {"tarnu.pref", "tarnu.hist.pref"} <= set(left), left)
        uninstall_asking(session, driver, setup, folder, home, shortcut, artifacts, check)
    finally:
        reg_delete(session, RUN_KEY, "tarnu")
        reg_delete(session, UNINSTALL_KEY)
        shutil.rmtree(folder, ignore_errors=True)
        shutil.rmtree(os.path.join(home, "AppData", "Roaming", "tarnu"), ignore_errors=True)
        if os.path.exists(shortcut):
            os.remove(shortcut)
        mail.stop()


def uninstall_asking(session, driver, setup, folder, home, shortcut, artifacts, check):
    """Installed again over the settings the silent uninstall kept, then
    uninstalled as a user does: the uninstaller asks before it deletes the
    settings and the history, and "Yes" takes them, also those under the
    application data, and the emptied folder with them."""
    version = os.path.basename(setup)[len("tarnu-"):-len("-setup.exe")]
    # The message box has the uninstaller's caption; its window adds the
    # page's subcaption, which the modern interface makes one space.
    caption = "tarnu %s アンインストール" % version
    window = caption + " "
    question = "設定ファイルとメールの履歴も削除しますか?"
    roaming = os.path.join(home, "AppData", "Roaming", "tarnu")
    os.makedirs(roaming, exist_ok=True)
    with open(os.path.join(roaming, "tarnu.ini"), "w") as f:
        f.write("notify_new_mail=1\n")
    code = run_to_end(session, [setup, "/S"], artifacts, "setup-again.log")
    kept = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
    check("installed again, the kept settings are still there",
          code == 0 and {"tarnu.exe", "tarnu.pref", "tarnu.hist.pref"} <= set(kept), (code, kept))

    # The uninstaller runs a copy of itself from the temporary folder; its
    # windows are found by their caption.
    session.start(os.path.join(folder, "uninstall.exe"), artifacts, "uninstall-asking.log")
    check("the uninstaller opens: " + caption, driver.ok("find", window, 30000))
    driver("press", window, IDOK)  # アンインストール on the confirmation page

    def asked():
        shown = driver.text("dialog", caption, 500)
        return shown if shown and question in shown else None
    shown = wait_until(asked, 30)
    shot = os.path.join(artifacts, "uninstall-question.png")
    session.screenshot(shot)
    check("it asks before deleting the settings and the history (" + shot + ")", shown,
          driver.text("dialog", caption, 0))
    if shown:
        driver("dialog", caption, 0, "press", IDYES)
    gone = wait_until(lambda: not os.path.exists(folder) and not os.path.exists(roaming), 30)
    check("answered Yes, the settings, the history and the folder go, also under the "
          "application data", gone,
          (os.listdir(folder) if os.path.isdir(folder) else None, os.path.exists(roaming)))
    check("and the Start menu entry", not os.path.exists(shortcut))
    # The last page's button closes it.
    wait_until(lambda: driver.ok("press", window, IDOK) and driver.ok("gone", window, 2000), 15)
    check("the uninstaller closes", driver.ok("gone", window, 10000))


def windows_path_in(home, path):
    return "C:\\users\\%s\\%s" % (os.path.basename(home),
                                  os.path.relpath(path, home).replace("/", "\\"))


def run_to_end(session, args, artifacts, log_name):
    with open(os.path.join(artifacts, log_name), "w") as out:
        done = subprocess.run(["wine"] + args, env=session.env, stdout=out, stderr=out,
                              stdin=subprocess.DEVNULL, timeout=180)
    return done.returncode
