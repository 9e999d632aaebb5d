"""The settings dialogs and the mail detail window of tarnu.exe under Wine,
driven through their controls from outside (tarnu-driver.exe), with the
settings file compared byte for byte against its documented layout
(pref_layout.py) and a screenshot of every dialog kept."""
import os
import shutil
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


# Wine's viewer shows no page without a browser engine, but its browser part
# traces where it is sent: the topic each help request asked for.
HELP_TRACE = "-all,+ieframe"


def help_topics(log_path):
    topics = []
    with open(log_path, encoding="utf-8", errors="replace") as f:
        for line in f:
            if "navigate_url navigating to" in line and "::/" in line:
                topics.append(line.split("::/", 1)[1].split('"', 1)[0])
    return topics


def help_topic(session, driver, log_path, caption=None, point=None):
    """Presses F1 in the dialog with `caption` (after a click on its title
    bar, so it has the keyboard focus) or at `point`: the topic the viewer
    was sent to, or None."""
    before = len(help_topics(log_path))
    if caption is not None:
        x, y, w, _ = (int(v) for v in driver.text("dialog-rect", caption).split())
        point = (x + w // 2, y + 8)
    session.x("xdotool", "mousemove", str(point[0]), str(point[1]), "click", "1")
    time.sleep(0.3)
    session.x("xdotool", "key", "F1")
    topic = None
    end = time.monotonic() + 8
    while time.monotonic() < end:
        topics = help_topics(log_path)
        if len(topics) > before:
            topic = topics[-1]
            break
        time.sleep(0.2)
    viewer = driver.text("help-window", 3000)
    driver("close-help")
    time.sleep(0.5)
    return topic if viewer is not None else None


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
    log = os.path.join(artifacts, "logs", "tarnu-dialogs.log")
    program = session.start(tarnu_exe, work, "tarnu-dialogs.log", debug=HELP_TRACE)
    check("the program starts for the dialog tests", driver.ok("wait-main", 30000))

    # --- the host list dialog ---------------------------------------------------
    driver("command", IDM_HOSTS)
    check("command 32777 opens the host list dialog 接続先", ui.find(HOST_LIST))
    check("the host list shows the stored host with the cyan circle",
          ui.rows(HOST_LIST, LIST) == [["1", "テストサーバ", "127.0.0.1", "alice"]],
          ui.rows(HOST_LIST, LIST))
    topic = help_topic(session, driver, log, HOST_LIST)
    check("F1 in 接続先 opens the help viewer on serversettei.htm", topic == "serversettei.htm",
          topic)

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
    topic = help_topic(session, driver, log, HOST_SETTINGS)
    check("F1 in 接続先ホストの設定 asks for serversettei.htm", topic == "serversettei.htm", topic)
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
          wait_for(lambda: all(ui.enabled(HOST_SETTINGS, c)
                               for c in (NOTIFY, SMTP, SMTP_PORT, PREFIX, RULE_SUMMARY,
                                         EDIT_RULE)), 3))
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
    topic = help_topic(session, driver, log, RULE)
    check("F1 in 転送条件設定 asks for tensousettei.htm", topic == "tensousettei.htm", topic)
    check("a rule without switches opens with every list disabled",
          not any(ui.enabled(RULE, c) for c in (FWD_SUBJECT_LIST, FWD_FROM_LIST,
                                                STOP_SUBJECT_LIST, STOP_FROM_LIST)))
    ui.tick(RULE, FWD_SUBJECT, True)
    ui.tick(RULE, STOP_SUBJECT, True)
    lists = (FWD_SUBJECT_LIST, FWD_FROM_LIST, STOP_SUBJECT_LIST, STOP_FROM_LIST)
    wait_for(lambda: [ui.enabled(RULE, c) for c in lists] == [True, False, True, False], 3)
    enabled = [ui.enabled(RULE, c) for c in lists]
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
    before = len(help_topics(log))
    driver("command", 32783)
    time.sleep(2)
    topics = help_topics(log)
    check("the tray's help item asks for youkoso.htm",
          len(topics) > before and topics[-1] == "youkoso.htm", topics[before:])
    driver("close-help")
    return program, work, ui, log


def finish(driver, program, check, name):
    driver("command", IDM_EXIT)
    try:
        code = program.wait(30)
    except subprocess.TimeoutExpired:
        code = None
    check("%s: the program ends with exit code 0" % name, code == 0, code)


SETTINGS = "基本設定"
DETAIL = "受信メールの詳細"
PERIODIC, INTERVAL, NO_CHECK, QUOTE, FONT_NAME, CHOOSE_FONT = 1008, 1009, 1046, 1044, 1043, 1045
AUTO_OPEN, NO_RESTORE, NO_HISTORY, INTERVAL_LABEL, INTERVAL_UNIT = 1052, 1047, 1048, 1050, 1051
SUBJECT, FROM, TO, CC, BODY, FULL_TEXT, QUOTED_COPY, SIZE = (1022, 1023, 1024, 1026, 1027, 1034,
                                                           1038, 1053)


def clipboard(session):
    """The clipboard as X programs see it (Wine hands CF_UNICODETEXT over as
    UTF-8). Wine's clipboard thread may be slow to answer: ask again."""
    for _ in range(4):
        try:
            done = subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=session.env,
                                  capture_output=True, timeout=8)
        except subprocess.TimeoutExpired:
            continue
        if done.returncode == 0:
            return done.stdout.decode("utf-8", "replace").replace("\r\n", "\n")
        time.sleep(0.5)
    return None


def click_first_item(session, driver):
    menu = driver.text("popup-menu", 3000)
    if menu is None:
        return False
    x, y, w, _ = (int(v) for v in menu.split("\n")[1].split())
    session.x("xdotool", "mousemove", str(x + w // 2), str(y + 10), "click", "1")
    return True


def open_detail(session, driver, ui, row):
    x, y = driver.text("row-point", row).split()
    session.x("xdotool", "mousemove", x, y, "click", "--repeat", "2", "--delay", "80", "1")
    return ui.find(DETAIL, 5000)


def detail_tests(session, driver, ui, work, mail, messages, check, quote, log=None,
                 shot="detail-window.png"):
    """The detail window on the rows of a check of `work`'s two hosts: the
    second has no mailbox on the server, so its row carries no record."""
    maildir = mail.maildir("alice")
    count = sum(len(os.listdir(os.path.join(maildir, d))) for d in ("new", "cur"))
    driver("command", IDM_CHECK)
    check("a check fills the list: the failing host's row, then alice's %d messages" % count,
          driver.ok("wait-rows", count + 1, 30000), driver.rows())
    driver("command", 32778)  # show the results
    time.sleep(0.5)
    x, y = driver.text("row-point", 0).split()
    session.x("xdotool", "mousemove", x, y, "click", "3")
    check("the menu on a row without a record offers メールの詳細 greyed: a click on it "
          "opens nothing", click_first_item(session, driver) and not ui.find(DETAIL, 1500))
    session.x("xdotool", "key", "Escape")
    time.sleep(0.3)
    session.x("xdotool", "mousemove", x, y, "click", "--repeat", "2", "--delay", "80", "1")
    check("a double click on a row without a record opens nothing", not ui.find(DETAIL, 1500))

    if log:
        x, y = driver.text("row-point", 1).split()
        topic = help_topic(session, driver, log, point=(int(x), int(y)))
        check("F1 in the result list asks for mailget.htm", topic == "mailget.htm", topic)
    x, y = driver.text("row-point", 1).split()
    session.x("xdotool", "mousemove", x, y, "click", "1")
    session.x("xdotool", "click", "3")
    check("on a message row the menu's メールの詳細 opens the window",
          click_first_item(session, driver) and ui.find(DETAIL, 5000))
    session.x("xdotool", "key", "Escape")
    ui.gone(DETAIL)
    check("a double click on a message row opens 受信メールの詳細", open_detail(session, driver, ui, 1))
    message_id, name, address, subject, body = messages[0]
    size = len(demo_message(messages[0]).replace(b"\n", b"\r\n"))
    fields = [ui.get(DETAIL, c) for c in (SUBJECT, FROM, TO, CC, SIZE)]
    check("the fields show subject, sender, recipient, Cc and the size",
          fields == [subject, "%s <%s>" % (name, address), "alice@example.com", "",
                     "本文 (全文取得時のサイズ: %dバイト)" % size], fields)
    shown = ui.get(DETAIL, BODY)
    check("the body shows the lines fetched with the header",
          shown == "\\r\\n".join(body[:2]) + "\\r\\n" or shown.startswith(body[0]), shown)
    check("screenshot of 受信メールの詳細: " + str(ui.shot(DETAIL, shot)),
          os.path.exists(os.path.join(ui.artifacts, shot)))
    if log:
        topic = help_topic(session, driver, log, DETAIL)
        check("F1 in 受信メールの詳細 asks for maildetail.htm", topic == "maildetail.htm", topic)

    # The layout follows the frame: the body to 10 pixels from the right
    # and 40 from the bottom, the buttons in a row at the bottom right.
    driver("resize", DETAIL, 760, 560)
    time.sleep(0.5)
    places = {}
    for control in (BODY, QUOTED_COPY, FULL_TEXT, IDCANCEL, SUBJECT):
        text = driver.text("control-rect", DETAIL, control)
        rect, client = text.split("\n")
        places[control] = [int(v) for v in rect.split()]
        width, height = (int(v) for v in client.split())
    edit, copy, full, close = (places[c] for c in (BODY, QUOTED_COPY, FULL_TEXT, IDCANCEL))
    check("after a resize the body reaches 10 px from the right and 40 px from the bottom",
          edit[0] + edit[2] == width - 10 and edit[1] + edit[3] == height - 40, (places, width,
                                                                                height))
    check("the buttons keep their size in a row from the bottom right corner, 10 px apart",
          close[0] + close[2] == width - 10 and close[1] + close[3] == height - 10 and
          full[0] + full[2] == close[0] - 10 and copy[0] + copy[2] == full[0] - 10 and
          copy[1] == full[1] == close[1], places)
    ui.shot(DETAIL, shot.replace(".png", "-resized.png"))
    # The whole text.
    ui.press(DETAIL, FULL_TEXT)
    full = wait_for(lambda: body[-1] in (ui.get(DETAIL, BODY) or ""), 20)
    check("全文を見る fetches the whole message from Dovecot", full, ui.get(DETAIL, BODY))
    check("the title is back to 受信メールの詳細 afterwards", ui.find(DETAIL, 3000))
    # The quoted copy of the whole text, then of a part of a line.
    driver("selection", DETAIL, BODY, 0, 0)
    ui.press(DETAIL, QUOTED_COPY)
    time.sleep(0.5)
    copied = clipboard(session)
    expected = quote + ("\n" + quote).join(body) + "\n" + quote
    check("引用符付コピー puts every line with %r in front on the clipboard" % quote,
          copied == expected, (copied, expected))
    driver("selection", DETAIL, BODY, 2, 5)
    ui.press(DETAIL, QUOTED_COPY)
    time.sleep(0.5)
    copied = clipboard(session)
    check("with a part of a line selected only that part is copied",
          copied == quote + body[0][2:5], copied)
    session.x("xdotool", "key", "Escape")
    check("Esc closes the window", ui.gone(DETAIL))


def retrieval_failure_test(session, driver, ui, mail, check):
    """The mailbox changed since the check: the last message is gone."""
    maildir = mail.maildir("alice")
    names = sorted(os.listdir(os.path.join(maildir, "cur")))
    os.remove(os.path.join(maildir, "cur", names[-1]))
    last = len(driver.rows() or []) - 1
    check("the last row opens its details", open_detail(session, driver, ui, last))
    before = ui.get(DETAIL, BODY)
    ui.press(DETAIL, FULL_TEXT)
    text = ui.message(20000)
    check("全文を見る for a message the server no longer has shows the server's refusal",
          text is not None and text.startswith(
              "このメールサーバは本アプリの要求にこたえる能力がありません。") and "-ERR" in text,
          text)
    check("and the window stays as it was",
          ui.find(DETAIL, 2000) and ui.get(DETAIL, BODY) == before)
    session.x("xdotool", "key", "Escape")
    ui.gone(DETAIL)


def demo_message(message):
    import demo_mail
    return demo_mail.message_bytes(*message)


def wait_for(predicate, seconds, step=0.2):
    end = time.monotonic() + seconds
    while True:
        if predicate():
            return True
        if time.monotonic() >= end:
            return False
        time.sleep(step)


def settings_dialog_tests(session, driver, ui, pref, check, face_before, log):
    driver("command", IDM_SETTINGS)
    check("command 32776 opens 基本設定", ui.find(SETTINGS))
    topic = help_topic(session, driver, log, SETTINGS)
    check("F1 in 基本設定 asks for chakushinsettei.htm", topic == "chakushinsettei.htm", topic)
    check("the font field shows the face the detail window stored: " + str(face_before),
          ui.get(SETTINGS, FONT_NAME) == face_before, ui.get(SETTINGS, FONT_NAME))
    check("periodic checking off: interval, its labels and 1046 disabled",
          ui.state(SETTINGS, PERIODIC) == (True, False) and
          not any(ui.enabled(SETTINGS, c) for c in (INTERVAL, INTERVAL_LABEL, INTERVAL_UNIT,
                                                    NO_CHECK)))
    ui.tick(SETTINGS, PERIODIC, True)
    # The driver posts the click: the dialog answers as soon as it runs, so
    # a loaded machine is given a moment.
    check("checking 1008 enables them at once",
          wait_for(lambda: all(ui.enabled(SETTINGS, c)
                               for c in (INTERVAL, INTERVAL_LABEL, INTERVAL_UNIT, NO_CHECK)), 3))
    ui.set(SETTINGS, INTERVAL, "2")
    ok, seen = ui.ok_refused(SETTINGS, "3 から 2147483647 までの整数を入力してください。", INTERVAL)
    check("an interval of 2 is refused with the range message", ok, seen)
    ui.set(SETTINGS, INTERVAL, "十")
    ok, seen = ui.ok_refused(SETTINGS, "整数を入力してください。", INTERVAL)
    check("an interval that is not a number: 整数を入力してください。", ok, seen)
    ui.set(SETTINGS, INTERVAL, "3")
    ui.set(SETTINGS, QUOTE, "| ")
    ui.set(SETTINGS, QUOTE, "|" * 31)
    check("the quote edit takes no more than 30 bytes", ui.get(SETTINGS, QUOTE) == "| ",
          ui.get(SETTINGS, QUOTE))
    ui.tick(SETTINGS, AUTO_OPEN, True)
    ui.tick(SETTINGS, NO_HISTORY, True)
    # The font selection: cancelled first, then confirmed as it opens.
    ui.press(SETTINGS, CHOOSE_FONT)
    font_box = wait_for_any_dialog(driver, ("フォントの指定", "フォント", "Font"), 8000)
    offered = None
    check("選択 opens the font selection: " + str(font_box), font_box is not None)
    if font_box:
        ui.shot(font_box, "font-selection.png")
        ui.press(font_box, IDCANCEL)
        ui.gone(font_box)
        check("cancelling the font selection leaves 1043 as it was",
              ui.get(SETTINGS, FONT_NAME) == face_before, ui.get(SETTINGS, FONT_NAME))
        ui.press(SETTINGS, CHOOSE_FONT)
        ui.find(font_box)
        offered = ui.get(font_box, 1136)  # the face box of the font selection
        ui.press(font_box, IDOK)
        ui.gone(font_box)
    face = ui.get(SETTINGS, FONT_NAME)
    check("the face confirmed in the font selection shows in 1043 at once: " + str(face),
          font_box is not None and face == offered and not face.startswith("@"),
          (face, offered if font_box else None))
    check("screenshot of 基本設定: " + str(ui.shot(SETTINGS, "dialog-settings.png")),
          os.path.exists(os.path.join(ui.artifacts, "dialog-settings.png")))
    before = read(pref)
    ui.press(SETTINGS, IDOK)
    check("OK closes 基本設定", ui.gone(SETTINGS))
    time.sleep(0.5)
    after = read(pref)
    fields = pref_layout.header_fields(after)
    check("tarnu.pref holds the new settings at their offsets",
          (fields["periodic"], fields["interval"], fields["quote"], fields["auto_open"],
           fields["no_history_at_start"], fields["no_check_at_start"],
           fields["font_face"].decode("cp932")) == (1, 3, b"| ", 1, 1, 0, face), fields)
    check("the hosts are kept byte for byte", after[244:] == before[244:])
    driver("command", IDM_SETTINGS)
    ui.find(SETTINGS)
    ui.set(SETTINGS, INTERVAL, "50")
    ui.tick(SETTINGS, PERIODIC, False)
    ui.press(SETTINGS, IDCANCEL)
    check("Cancel leaves tarnu.pref unchanged", ui.gone(SETTINGS) and read(pref) == after)
    return "| "


def wait_for_any_dialog(driver, captions, ms):
    end = time.monotonic() + ms / 1000.0
    while time.monotonic() < end:
        for caption in captions:
            if driver.ok("find", caption, 100):
                return caption
    return None


def first_start_tests(session, driver, tarnu_exe, artifacts, ui, check):
    work = os.path.join(artifacts, "first-start")
    os.makedirs(work)
    # Without files anywhere the program makes them beside itself: a copy
    # of its own keeps them in this folder.
    shutil.copy(tarnu_exe, work)
    program = session.start(os.path.join(work, "tarnu.exe"), work, "tarnu-first.log")
    check("a first start without hosts opens 接続先 by itself", ui.find(HOST_LIST, 30000))
    check("with an empty list", ui.rows(HOST_LIST, LIST) == [])
    ui.press(HOST_LIST, IDCANCEL)
    ui.gone(HOST_LIST)
    finish(driver, program, check, "the first start")
    check("Cancel saved no host: the file written at exit has none",
          pref_layout.header_fields(read(os.path.join(work, "tarnu.pref")))["count"] == 0)


def dialog_during_check_test(session, driver, tarnu_exe, cli, artifacts, mail, silent, ui,
                             check):
    """The host list dialog opens while a check waits on a host that never
    answers; that host is deleted and OK pressed before the check goes on.
    The dialog's list is what stays, and the check's messages land in the
    history of the host they came from."""
    work = os.path.join(artifacts, "dialog-during-check")
    os.makedirs(work)
    for name, server, port, user, timeout in (("無応答", "localhost", silent.port, "x", "8"),
                                              ("テストサーバ", "127.0.0.1", mail.port, "alice",
                                               "10")):
        subprocess.run([cli, "host", "add", "--name", name, "--server", server, "--port",
                        str(port), "--user", user, "--password", "secret", "--timeout", timeout],
                       cwd=work, check=True, capture_output=True)
    maildir = mail.maildir("alice")
    count = sum(len(os.listdir(os.path.join(maildir, d))) for d in ("new", "cur"))
    pref = os.path.join(work, "tarnu.pref")
    program = session.start(tarnu_exe, work, "tarnu-dialog-during-check.log")
    check("the program starts with a silent host first", driver.ok("wait-main", 30000))
    driver("command", IDM_CHECK)
    checking = wait_for(lambda: "(確認中)" in (driver.text("title") or ""), 5)
    check("a check waits on the silent host", checking, driver.text("title"))
    driver("command", IDM_HOSTS)
    check("the host list dialog opens during the check", ui.find(HOST_LIST))
    driver("select", HOST_LIST, LIST, 0)
    ui.press(HOST_LIST, DELETE)
    time.sleep(0.3)
    ui.press(HOST_LIST, IDOK)
    check("OK deletes the silent host while its survey still waits", ui.gone(HOST_LIST))
    time.sleep(0.5)
    expected = [pref_layout.host_record("テストサーバ", "127.0.0.1", "alice", "secret",
                                        pop3_port=mail.port, timeout=10)]
    check("tarnu.pref is saved with the one host left",
          pref_layout.records(read(pref)) == expected)
    check("the check goes on: the remaining host's %d messages (new) and the silent host's "
          "row" % count, driver.ok("wait-rows", count + 1, 30000), driver.rows())
    rows = driver.rows() or []
    check("the messages are new", [r[1] for r in rows[:count]] == ["0"] * count, rows)
    driver("command", IDM_CHECK)
    check("a second check visits only the host left",
          driver.ok("wait-rows", count, 30000), driver.rows())
    rows = driver.rows() or []
    check("its messages are now seen: the first check wrote them into that host's history",
          [r[1] for r in rows] == ["1"] * count and rows[0][2] == "テストサーバ", rows)
    finish(driver, program, check, "the dialog-during-check run")
    check("the host the dialog deleted does not come back at exit",
          pref_layout.records(read(pref)) == expected,
          [r[:16] for r in pref_layout.records(read(pref))])
