#!/usr/bin/python3
"""Writes test messages into a Maildir's new/ folder, as a delivery agent would.

usage: mkmail.py MAILDIR fixtures        the designed set below (5 messages)
       mkmail.py MAILDIR bulk N [SIZE]   N plain messages of about SIZE bytes
                                         (default 2048), for benchmarks
       mkmail.py MAILDIR mime N [SIZE]   N multipart/alternative messages (a
                                         base64 UTF-8 text part, an HTML part
                                         and an attachment), for benchmarks
       mkmail.py MAILDIR dir DIR         every file of DIR in name order (the
                                         real-mail corpus), a leading mbox
                                         "From " line removed as a delivery
                                         agent would

Files are written with LF line ends (the POP3 server sends CR LF) into tmp/
and renamed into new/. Their names sort in message order, so the server
numbers them 1, 2, 3, ... in the order below.

The designed set ("fixtures"), each message testing one thing:
  1  ISO-2022-JP encoded-word From and Subject, ISO-2022-JP body,
     a Delivered-To line before the To line
  2  EUC-JP body, a Subject folded over two encoded words, an encoded Cc
  3  no Message-ID; Reply-To before To, Bcc before Cc, a Subject holding
     "from:" before the From line; body lines starting with dots
  4  a Subject longer than 1021 bytes; a folded Cc as the last header line
  5  a Shift_JIS body without charset label, an 8-line body; Subject as the
     last header line
The expected decoded values are written in tests/net/survey_dovecot_test.cpp.
"""
import base64
import os
import sys

BASE_TIME = 1700000000


def jis_word(text):
    return "=?ISO-2022-JP?B?" + base64.b64encode(text.encode("iso-2022-jp")).decode() + "?="


def fixtures():
    msgs = []
    msgs.append(
        ("Return-Path: <sato@example.jp>\n"
         "Delivered-To: delivered@example.com\n"
         f"From: {jis_word('佐藤')} <sato@example.jp>\n"
         "To: alice@example.com\n"
         f"Subject: {jis_word('テスト')} 1\n"
         "Date: Mon, 01 Jan 2024 09:00:00 +0900\n"
         "Message-ID: <jis-1@example.jp>\n"
         "MIME-Version: 1.0\n"
         "Content-Type: text/plain; charset=ISO-2022-JP\n"
         "Content-Transfer-Encoding: 7bit\n"
         "\n").encode("ascii") +
        "これはテストです。\n二行目です。\n三行目は一覧に出ません。\n".encode("iso-2022-jp"))
    msgs.append(
        ("From: Suzuki <suzuki@example.jp>\n"
         "To: alice@example.com\n"
         f"Cc: {jis_word('田中')} <tanaka@example.jp>\n"
         f"Subject: {jis_word('日本語の')}\n"
         f" {jis_word('件名')}\n"
         "Message-ID: <euc-2@example.jp>\n"
         "Date: Mon, 01 Jan 2024 10:00:00 +0900\n"
         "MIME-Version: 1.0\n"
         "Content-Type: text/plain; charset=EUC-JP\n"
         "Content-Transfer-Encoding: 8bit\n"
         "\n").encode("ascii") +
        "EUC-JPの本文です。\n二行目。\n三行目。\n".encode("euc-jp"))
    msgs.append(
        ("Reply-To: replies@example.org\n"
         "To: alice@example.com\n"
         "Bcc: hidden@example.org\n"
         "Cc: carol@example.org\n"
         "Subject: Re: from: nobody\n"
         "From: Dot Person <dots@example.org>\n"
         "Date: Mon, 01 Jan 2024 11:00:00 +0900\n"
         "\n"
         ".starts with a dot\n"
         "..two dots\n"
         "a..\n"
         ".\n"
         "last line\n").encode("ascii"))
    long_subject = "L" + "0123456789" * 110  # 1101 bytes
    msgs.append(
        ("From: long@example.net\n"
         "To: alice@example.com\n"
         f"Subject: {long_subject}\n"
         "Message-ID: <long-4@example.net>\n"
         "Cc: first@example.net,\n"
         "  second@example.net\n"
         "\n"
         "short body\n").encode("ascii"))
    msgs.append(
        ("From: sjis@example.jp\n"
         "To: alice@example.com\n"
         "Message-ID: <sjis-5@example.jp>\n"
         "Subject: plain\n"
         "\n").encode("ascii") +
        "シフトJISの本文\n".encode("cp932") +
        b"".join(b"line %d\n" % k for k in range(2, 9)))
    return msgs


def bulk(n, size):
    subject = jis_word("テスト")
    body_jp = "これはテストです。\n日本語の本文。\n".encode("iso-2022-jp")
    msgs = []
    for i in range(1, n + 1):
        header = (f"Return-Path: <sender@example.com>\n"
                  f"From: Sender <sender@example.com>\n"
                  f"To: alice@example.com\n"
                  f"Subject: {subject} {i}\n"
                  f"Date: Mon, 01 Jan 2024 00:00:00 +0900\n"
                  f"Message-ID: <bulk{i}@example.com>\n"
                  f"MIME-Version: 1.0\n"
                  f"Content-Type: text/plain; charset=ISO-2022-JP\n"
                  f"Content-Transfer-Encoding: 7bit\n\n").encode("ascii")
        filler_lines = max(0, (size - len(header) - len(body_jp)) // 57)
        filler = b"".join(b"filler line %06d abcdefghijklmnopqrstuvwxyz0123456789\n" % k
                          for k in range(filler_lines))
        msgs.append(header + body_jp + filler)
    return msgs


def mime(n, size):
    text = base64.encodebytes("今日のお知らせ 😀\n二行目です。\n三行目。\n".encode()).decode()
    msgs = []
    for i in range(1, n + 1):
        attachment = base64.encodebytes(bytes(range(256)) * max(1, size // 512)).decode()
        msgs.append((f"From: =?utf-8?B?{base64.b64encode('送信者'.encode()).decode()}?= <s@example.com>\n"
                     f"To: alice@example.com\n"
                     f"Subject: =?utf-8?B?{base64.b64encode(f'お知らせ {i} 📨'.encode()).decode()}?=\n"
                     f"Message-ID: <mime{i}@example.com>\n"
                     f"MIME-Version: 1.0\n"
                     f"Content-Type: multipart/mixed; boundary=\"m{i}\"\n\n"
                     f"This is a multi-part message in MIME format.\n\n"
                     f"--m{i}\nContent-Type: multipart/alternative; boundary=\"a{i}\"\n\n"
                     f"--a{i}\nContent-Type: text/plain; charset=utf-8\n"
                     f"Content-Transfer-Encoding: base64\n\n{text}\n"
                     f"--a{i}\nContent-Type: text/html; charset=utf-8\n\n<p>html</p>\n--a{i}--\n\n"
                     f"--m{i}\nContent-Type: application/octet-stream; name=a.bin\n"
                     f"Content-Disposition: attachment\nContent-Transfer-Encoding: base64\n\n"
                     f"{attachment}--m{i}--\n").encode())
    return msgs


def from_dir(folder):
    msgs = []
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if not os.path.isfile(path) or name.isupper():
            continue  # MANIFEST, MISMATCHES: not mail
        with open(path, "rb") as f:
            data = f.read()
        if data.startswith(b"From "):
            data = data[data.find(b"\n") + 1:]
        msgs.append(data)
    return msgs


def deliver(maildir, msgs):
    for d in ("new", "cur", "tmp"):
        os.makedirs(os.path.join(maildir, d), exist_ok=True)
    for i, data in enumerate(msgs, 1):
        # Same-length names that sort in delivery order.
        name = f"{BASE_TIME + i}.M{i:06d}P1.tarnu-test"
        tmp = os.path.join(maildir, "tmp", name)
        with open(tmp, "wb") as f:
            f.write(data)
        os.utime(tmp, (BASE_TIME + i, BASE_TIME + i))
        os.rename(tmp, os.path.join(maildir, "new", name))


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    maildir, kind = argv[1], argv[2]
    if kind == "fixtures":
        deliver(maildir, fixtures())
    elif kind == "mime" and len(argv) >= 4:
        deliver(maildir, mime(int(argv[3]), int(argv[4]) if len(argv) > 4 else 2048))
    elif kind == "dir" and len(argv) >= 4:
        deliver(maildir, from_dir(argv[3]))
    elif kind == "bulk" and len(argv) >= 4:
        deliver(maildir, bulk(int(argv[3]), int(argv[4]) if len(argv) > 4 else 2048))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
