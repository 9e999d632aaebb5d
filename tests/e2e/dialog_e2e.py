"""The settings dialogs and the mail detail window of tarnu.exe under Wine,
driven through their controls from outside (tarnu-driver.exe), with the
settings file compared byte for byte against its documented layout
(pref_layout.py) and a screenshot of every dialog kept."""
import os
import subprocess
import time

import pref_layout

IDOK, IDCANCEL = 1, 2
IDM_CHECK, IDM_SETTINGS, IDM_HOSTS, IDM_EXIT = 32775, 32776, 32777, 32779
IDC_TEST_HOSTS = 1020

HOST_LIST = "接続先"
HOST_SETTINGS = "接続先ホストの設定"
RULE = "転送条件設定"
BOX = "tarnu"  # message boxes carry the program's name

# Host settings controls.
NAME, SERVER, PORT, USER, PASSWORD, LINES, TIMEOUT = 1000, 1017, 1001, 1013, 1014, 1018, 1021
CHECK_HOST, APOP, FORWARD, NOTIFY, SMTP, SMTP_PORT, PREFIX = 1019, 1002, 1010, 1011, 1032, 1033, 1049
RULE_SUMMARY, EDIT_RULE = 1085, 1084
LIST, ADD, EDIT, DELETE = 1003, 1004, 1005, 1006
FWD_SUBJECT, FWD_SUBJECT_LIST, STOP_SUBJECT, STOP_SUBJECT_LIST = 1075, 1076, 1077, 1078
FWD_FROM, FWD_FROM_LIST, STOP_FROM, STOP_FROM_LIST = 1079, 1080, 1081, 1083


class Dialogs:
    """The program's dialogs as seen through tarnu-driver.exe."""

    def __init__(self, session, driver, artifacts):
        self.session = session
        self.driver = driver
        self.artifacts = artifacts

    def find(self, caption, ms=8000):
        return self.driver.ok("find", caption, ms)

    def gone(self, caption, ms=5000):
        return self.driver.ok("gone", caption, ms)

    def get(self, caption, control):
        return self.driver.text("get", caption, control)

    def set(self, caption, control, text):
        return self.driver.ok("set", caption, control, text)

    def tick(self, caption, control, on):
        self.driver("tick", caption, control, 1 if on else 0)
        time.sleep(0.1)

    def press(self, caption, control):
        return self.driver.ok("press", caption, control)

    def state(self, caption, control):
        text = self.driver.text("state", caption, control)
        return tuple(v == "1" for v in text.split()) if text else None

    def enabled(self, caption, control):
        state = self.state(caption, control)
        return state[0] if state else None

    def focus(self, caption):
        text = self.driver.text("focus", caption)
        return int(text) if text else None

    def rows(self, caption, control):
        code, out = self.driver("list", caption, control)
        return [line.split("\t") for line in out.splitlines()] if code == 0 else None

    def message(self, ms=5000):
        """The text of the message box shown now, after pressing its OK."""
        text = self.driver.text("dialog", BOX, ms, "press")
        if text is not None:
            self.gone(BOX)
        return text

    def shot(self, caption, name):
        text = self.driver.text("dialog-rect", caption)
        if not text:
            return None
        path = os.path.join(self.artifacts, name)
        time.sleep(0.3)
        ok = self.session.screenshot(path, tuple(int(v) for v in text.split()))
        return path if ok and os.path.getsize(path) > 1000 else None

    def ok_refused(self, caption, expected_text, expected_focus):
        """OK is pressed and refused: the message, then the focus."""
        self.press(caption, IDOK)
        text = self.message()
        time.sleep(0.2)
        return (text == expected_text and self.find(caption, 1000) and
                self.focus(caption) == expected_focus, (text, self.focus(caption)))


def read(path):
    with open(path, "rb") as f:
        return f.read()


def host_dialog_tests(session, driver, tarnu_exe, cli, artifacts, mail, check):
    work = os.path.join(artifacts, "dialogs")
    os.makedirs(work)
    subprocess.run([cli, "host", "add", "--name", "テストサーバ", "--server", "127.0.0.1", "--port",
                    str(mail.port), "--user", "alice", "--password", "secret"], cwd=work,
                   check=True, capture_output=True)
    pref = os.path.join(work, "tarnu.pref")
    original = read(pref)
    ui = Dialogs(session, driver, artifacts)
    program = session.start(tarnu_exe, work, "tarnu-dialogs.log")
    check("the program starts for the dialog tests", driver.ok("wait-main", 30000))

    # --- the host list dialog ---------------------------------------------------
    driver("command", IDM_HOSTS)
    check("command 32777 opens the host list dialog 接続先", ui.find(HOST_LIST))
    check("the host list shows the stored host with the cyan circle",
          ui.rows(HOST_LIST, LIST) == [["1", "テストサーバ", "127.0.0.1", "alice"]],
          ui.rows(HOST_LIST, LIST))

    # --- adding a host: the defaults, each refusal, the typing limits ------------
    ui.press(HOST_LIST, ADD)
    check("追加 opens the host settings dialog", ui.find(HOST_SETTINGS))
    defaults = [ui.get(HOST_SETTINGS, c) for c in (PORT, LINES, TIMEOUT, SMTP_PORT, PREFIX,
                                                   RULE_SUMMARY)]
    check("a new host starts from the defaults (110, 2, 60, 25, Fwd), なし)",
          defaults == ["110", "2", "60", "25", "Fwd)", "なし"], defaults)
    check("checking is on, APOP and forwarding off, the forwarding fields disabled",
          ui.state(HOST_SETTINGS, CHECK_HOST) == (True, True) and
          ui.state(HOST_SETTINGS, APOP) == (True, False) and
          ui.state(HOST_SETTINGS, FORWARD) == (True, False) and
          not any(ui.enabled(HOST_SETTINGS, c) for c in (NOTIFY, SMTP, SMTP_PORT, PREFIX,
                                                         RULE_SUMMARY, EDIT_RULE)))
    ok, seen = ui.ok_refused(HOST_SETTINGS, "ホスト名を設定してください", NAME)
    check("OK on an empty form: ホスト名を設定してください, focus on 1000", ok, seen)
    ui.set(HOST_SETTINGS, NAME, "   ")
    ok, seen = ui.ok_refused(HOST_SETTINGS, "ホスト名を設定してください", NAME)
    check("a host name of three spaces is blank", ok, seen)
    ui.set(HOST_SETTINGS, NAME, "第二サーバ")
    ok, seen = ui.ok_refused(HOST_SETTINGS, "POPサーバのアドレスを設定してください", SERVER)
    check("then the server address is asked for", ok, seen)
    ui.set(HOST_SETTINGS, SERVER, "localhost")
    ui.set(HOST_SETTINGS, PORT, "65536")
    ok, seen = ui.ok_refused(HOST_SETTINGS, "0 から 65535 までの整数を入力してください。", PORT)
    check("port 65536: the range message naming 0 and 65535, focus on 1001", ok, seen)
    ui.set(HOST_SETTINGS, PORT, "1l0")
    ok, seen = ui.ok_refused(HOST_SETTINGS, "整数を入力してください。", PORT)
    check("a port that is not a number: 整数を入力してください。", ok, seen)
    ui.set(HOST_SETTINGS, PORT, str(mail.port))
    ok, seen = ui.ok_refused(HOST_SETTINGS, "ユーザ名を設定してください", USER)
    check("then the user name", ok, seen)
    ui.set(HOST_SETTINGS, USER, "b" * 37)
    ok, seen = ui.ok_refused(HOST_SETTINGS, "36 文字以内で入力してください。", USER)
    check("a 37-byte user name is refused: it would not fit the file", ok, seen)
    ui.set(HOST_SETTINGS, USER, "b" * 41)
    check("the user name edit takes no more than 40 bytes while typing",
          ui.get(HOST_SETTINGS, USER) == "b" * 37, ui.get(HOST_SETTINGS, USER))
    ui.set(HOST_SETTINGS, USER, " ")
    ok, seen = ui.ok_refused(HOST_SETTINGS, "パスワードを設定してください", PASSWORD)
    check("a user name of one space passes; then the password is asked for", ok, seen)
    ui.set(HOST_SETTINGS, USER, "bob")
    ui.set(HOST_SETTINGS, PASSWORD, "pw")
    ui.set(HOST_SETTINGS, NAME, "第二サーバ" + "あ" * 26)  # 62 bytes
    check("the host name edit takes no more than 60 bytes while typing",
          ui.get(HOST_SETTINGS, NAME) == "第二サーバ", ui.get(HOST_SETTINGS, NAME))
    ui.tick(HOST_SETTINGS, FORWARD, True)
    check("checking 1010 enables the forwarding fields",
          all(ui.enabled(HOST_SETTINGS, c) for c in (NOTIFY, SMTP, SMTP_PORT, PREFIX,
                                                     RULE_SUMMARY, EDIT_RULE)))
    ok, seen = ui.ok_refused(HOST_SETTINGS, "転送先のメールアドレスを設定してください", NOTIFY)
    check("with 1010 checked the forwarding address is required", ok, seen)
    ui.set(HOST_SETTINGS, NOTIFY, "me@example.jp")
    ok, seen = ui.ok_refused(HOST_SETTINGS, "転送時に使用するSMTPサーバを設定してください", SMTP)
    check("and the SMTP server", ok, seen)
    ui.set(HOST_SETTINGS, SMTP, "smtp.example.jp")
    ui.set(HOST_SETTINGS, SMTP_PORT, "587")
    ui.set(HOST_SETTINGS, PREFIX, "[転送]")

    # --- the forwarding conditions ----------------------------------------------
    ui.press(HOST_SETTINGS, EDIT_RULE)
    check("転送条件の設定を行う opens 転送条件設定", ui.find(RULE))
    check("a rule without switches opens with every list disabled",
          not any(ui.enabled(RULE, c) for c in (FWD_SUBJECT_LIST, FWD_FROM_LIST,
                                                STOP_SUBJECT_LIST, STOP_FROM_LIST)))
    ui.tick(RULE, FWD_SUBJECT, True)
    ui.tick(RULE, STOP_SUBJECT, True)
    enabled = [ui.enabled(RULE, c) for c in (FWD_SUBJECT_LIST, FWD_FROM_LIST, STOP_SUBJECT_LIST,
                                             STOP_FROM_LIST)]
    check("checking 1075 and 1077 enables 1076 and 1078 only",
          enabled == [True, False, True, False], enabled)
    ui.set(RULE, FWD_SUBJECT_LIST, "至急,重要")
    ui.set(RULE, STOP_SUBJECT_LIST, "広告")
    ui.set(RULE, STOP_SUBJECT_LIST, "広告" + "x" * 97)  # 101 bytes
    check("a list edit takes no more than 100 bytes while typing",
          ui.get(RULE, STOP_SUBJECT_LIST) == "広告", ui.get(RULE, STOP_SUBJECT_LIST))
    ui.tick(RULE, FWD_FROM, True)
    ui.set(RULE, FWD_FROM_LIST, "x" * 73)
    ok, seen = ui.ok_refused(RULE, "72 文字以内で入力してください。", FWD_FROM_LIST)
    check("a 73-byte list is refused on OK (its file slot holds 72), 1080 checked first",
          ok, seen)
    ui.tick(RULE, FWD_FROM, False)
    ok, seen = ui.ok_refused(RULE, "72 文字以内で入力してください。", FWD_FROM)
    check("with its box cleared the list is still checked; the focus goes to the box",
          ok, seen)
    ui.set(RULE, FWD_FROM_LIST, "boss@example.jp")  # kept though its box is cleared
    check("screenshot of 転送条件設定: " + str(ui.shot(RULE, "dialog-forward-rule.png")),
          os.path.exists(os.path.join(artifacts, "dialog-forward-rule.png")))
    ui.press(RULE, IDOK)
    check("OK closes 転送条件設定 and the summary reads あり",
          ui.gone(RULE) and ui.get(HOST_SETTINGS, RULE_SUMMARY) == "あり",
          ui.get(HOST_SETTINGS, RULE_SUMMARY))
    # A second visit cancelled changes nothing.
    ui.press(HOST_SETTINGS, EDIT_RULE)
    ui.find(RULE)
    ui.tick(RULE, FWD_SUBJECT, False)
    ui.tick(RULE, STOP_SUBJECT, False)
    ui.press(RULE, IDCANCEL)
    check("Cancel in 転送条件設定 keeps the rule (あり)",
          ui.gone(RULE) and ui.get(HOST_SETTINGS, RULE_SUMMARY) == "あり")
    check("screenshot of 接続先ホストの設定: " + str(ui.shot(HOST_SETTINGS, "dialog-host-settings.png")),
          os.path.exists(os.path.join(artifacts, "dialog-host-settings.png")))
    ui.press(HOST_SETTINGS, IDOK)
    check("OK takes the host into the list",
          ui.gone(HOST_SETTINGS) and ui.rows(HOST_LIST, LIST) ==
          [["1", "テストサーバ", "127.0.0.1", "alice"], ["1", "第二サーバ", "localhost", "bob"]],
          ui.rows(HOST_LIST, LIST))
    check("nothing is saved before the host list's OK", read(pref) == original)
    check("screenshot of 接続先: " + str(ui.shot(HOST_LIST, "dialog-host-list.png")),
          os.path.exists(os.path.join(artifacts, "dialog-host-list.png")))
    ui.press(HOST_LIST, IDOK)
    check("OK closes the host list", ui.gone(HOST_LIST))
    time.sleep(0.5)
    saved = read(pref)
    first = pref_layout.host_record("テストサーバ", "127.0.0.1", "alice", "secret",
                                    pop3_port=mail.port)
    second = pref_layout.host_record(
        "第二サーバ", "localhost", "bob", "pw", forward=True, notify="me@example.jp",
        smtp="smtp.example.jp", smtp_port=587, pop3_port=mail.port, prefix="[転送]",
        switches=1 + 4, lists=("至急,重要", "広告", "boss@example.jp", ""))
    check("tarnu.pref now holds two hosts, each record byte for byte as laid out",
          pref_layout.records(saved) == [first, second] and
          pref_layout.header_fields(saved)["count"] == 2,
          [r == e for r, e in zip(pref_layout.records(saved), [first, second])])
    check("the settings header is kept as it was", saved[8:244] == original[8:244])

    # --- edit by double click, delete, then Cancel: nothing changes ---------------
    driver("command", IDC_TEST_HOSTS)
    check("button 1020 opens the host list too", ui.find(HOST_LIST))
    x, y = driver.text("list-point", HOST_LIST, LIST, 0).split()
    session.x("xdotool", "mousemove", x, y, "click", "--repeat", "2", "--delay", "80", "1")
    check("a double click on a row opens its settings",
          ui.find(HOST_SETTINGS) and ui.get(HOST_SETTINGS, NAME) == "テストサーバ")
    ui.tick(HOST_SETTINGS, CHECK_HOST, False)
    ui.press(HOST_SETTINGS, IDOK)
    ui.gone(HOST_SETTINGS)
    check("switching checking off shows the red cross",
          [r[0] for r in ui.rows(HOST_LIST, LIST) or []] == ["2", "1"], ui.rows(HOST_LIST, LIST))
    driver("select", HOST_LIST, LIST, -1, 0)
    ui.press(HOST_LIST, EDIT)
    ui.press(HOST_LIST, DELETE)
    time.sleep(0.3)
    check("編集 and 削除 without a selected row do nothing",
          not ui.find(HOST_SETTINGS, 800) and len(ui.rows(HOST_LIST, LIST) or []) == 2)
    driver("select", HOST_LIST, LIST, 1)
    ui.press(HOST_LIST, DELETE)
    time.sleep(0.3)
    check("削除 removes the selected row at once",
          [r[1] for r in ui.rows(HOST_LIST, LIST) or []] == ["テストサーバ"])
    ui.press(HOST_LIST, IDCANCEL)
    check("Cancel drops every change: tarnu.pref is unchanged",
          ui.gone(HOST_LIST) and read(pref) == saved)
    return program, work, ui


def finish(driver, program, check, name):
    driver("command", IDM_EXIT)
    try:
        code = program.wait(30)
    except subprocess.TimeoutExpired:
        code = None
    check("%s: the program ends with exit code 0" % name, code == 0, code)
