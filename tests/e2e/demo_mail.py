#!/usr/bin/python3
"""A few sample messages for the Windows program's tests and demo: Japanese in
ISO-2022-JP as the old mailers send it, and today's mail: UTF-8 with emoji,
a multipart message with an HTML part, quoted-printable.

usage: demo_mail.py MAILDIR

The list window shows them as: subject, sender, size, the first body lines.
MESSAGES holds what each one is expected to show.
"""
import base64
import os
import quopri
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import mkmail  # noqa: E402  (jis_word, deliver)

# (Message-ID, From display name, address, Subject, body lines)
MESSAGES = [
    ("<demo-1@example.jp>", "佐藤 花子", "hanako@example.jp", "来週の打ち合わせについて",
     ["お疲れさまです。", "打ち合わせは火曜日の10時からです。", "資料は前日までにお送りします。"]),
    ("<demo-2@example.jp>", "鈴木 一郎", "ichiro@example.jp", "Re: 見積書の件",
     ["見積書を確認しました。", "この内容で進めてください。"]),
    # The characters beyond code page 932 come first, where the narrow
    # columns still show them.
    ("<demo-3@example.com>", "🌸 ニュースレター", "news@example.com",
     "🌸【お知らせ】春のキャンペーンのご案内：期間中は全品送料無料、さらにポイント二倍",
     ["😀 いつもご利用ありがとうございます", "今月のお知らせです。"]),
    ("<demo-4@example.com>", "Tanaka", "tanaka@example.com", "☕ café – Hello from tarnu",
     ["한국어, Ελληνικά: this message is UTF-8,", "quoted-printable."]),
]

# How each message above travels (by its index): ISO-2022-JP unless named.
MULTIPART = 2
QUOTED_PRINTABLE = 3


# Messages that arrive later, for the checks that follow.
LATE = [
    ("<demo-5@example.jp>", "高橋 健", "ken@example.jp", "追加のお知らせ",
     ["先ほどの件に追記します。", "よろしくお願いします。"]),
    ("<demo-6@example.jp>", "山本 さくら", "sakura@example.jp", "議事録を共有します",
     ["本日の議事録です。", "ご確認ください。"]),
]


def utf8_word(text):
    return "=?utf-8?B?" + base64.b64encode(text.encode()).decode() + "?="


def utf8_message_bytes(message_id, name, address, subject, body, multipart):
    """UTF-8 mail: multipart/alternative with a base64 text part and an HTML
    part, or a single quoted-printable part."""
    text = "".join(line + "\n" for line in body)
    header = (f"Return-Path: <{address}>\n"
              f"From: {utf8_word(name)} <{address}>\n"
              "To: alice@example.com\n"
              f"Subject: {utf8_word(subject)}\n"
              "Date: Mon, 01 Apr 2024 09:00:00 +0900\n"
              f"Message-ID: {message_id}\n"
              "MIME-Version: 1.0\n")
    if not multipart:
        return (header + "Content-Type: text/plain; charset=utf-8\n"
                "Content-Transfer-Encoding: quoted-printable\n\n").encode() + \
            quopri.encodestring(text.encode())
    html = "<html><body>" + "".join(f"<p>{line}</p>" for line in body) + "</body></html>\n"
    return (header + 'Content-Type: multipart/alternative; boundary="demo"\n\n'
            "This is a multi-part message in MIME format.\n\n"
            "--demo\nContent-Type: text/plain; charset=utf-8\n"
            "Content-Transfer-Encoding: base64\n\n" +
            base64.encodebytes(text.encode()).decode() +
            "\n--demo\nContent-Type: text/html; charset=utf-8\n"
            "Content-Transfer-Encoding: base64\n\n" +
            base64.encodebytes(html.encode()).decode() + "\n--demo--\n").encode()


def message_bytes(message_id, name, address, subject, body, index=None):
    if index in (MULTIPART, QUOTED_PRINTABLE):
        return utf8_message_bytes(message_id, name, address, subject, body, index == MULTIPART)
    sender = name if name.isascii() else mkmail.jis_word(name)
    subject_field = subject if subject.isascii() else mkmail.jis_word(subject)
    header = (f"Return-Path: <{address}>\n"
              f"From: {sender} <{address}>\n"
              "To: alice@example.com\n"
              f"Subject: {subject_field}\n"
              "Date: Mon, 01 Apr 2024 09:00:00 +0900\n"
              f"Message-ID: {message_id}\n"
              "MIME-Version: 1.0\n"
              "Content-Type: text/plain; charset=ISO-2022-JP\n"
              "Content-Transfer-Encoding: 7bit\n"
              "\n").encode("ascii")
    return header + "".join(line + "\n" for line in body).encode("iso-2022-jp")


def all_messages():
    return [message_bytes(*m, index=i) for i, m in enumerate(MESSAGES)]


def deliver_late(maildir, k):
    """Delivers LATE[k] after every message before it (its name sorts last)."""
    name = "%d.M%06dP1.tarnu-late" % (mkmail.BASE_TIME + 900 + k, 900000 + k)
    tmp = os.path.join(maildir, "tmp", name)
    with open(tmp, "wb") as f:
        f.write(message_bytes(*LATE[k]))
    os.rename(tmp, os.path.join(maildir, "new", name))


def main(argv):
    if len(argv) != 2:
        sys.exit(__doc__)
    mkmail.deliver(argv[1], all_messages())


if __name__ == "__main__":
    main(sys.argv)
