#!/usr/bin/python3
"""Builds tarnu.chm from the help pages beside this script.

usage: make_chm.py OUTPUT_CHM

The pages are kept in UTF-8; the help viewer reads a Japanese help file in
code page 932, so the pages, the contents and the project are written in
that code page into a scratch folder and compiled there with chmcmd
(Free Pascal's CHM compiler)."""
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
TITLE = "tarnu ヘルプ"
# The contents in reading order: (page, title).
PAGES = [
    ("youkoso.htm", "tarnuへようこそ"),
    ("mailget.htm", "問い合わせ結果一覧"),
    ("maildetail.htm", "受信メールの詳細"),
    ("chakushinsettei.htm", "基本設定"),
    ("serversettei.htm", "接続先の設定"),
    ("tensousettei.htm", "転送条件設定"),
]


def contents():
    lines = ['<!DOCTYPE HTML PUBLIC "-//IETF//DTD HTML//EN">', "<html><head>",
             '<meta http-equiv="Content-Type" content="text/html; charset=Shift_JIS">',
             "</head><body>", "<ul>"]
    for page, title in PAGES:
        lines += ['<li><object type="text/sitemap">',
                  '<param name="Name" value="%s">' % title,
                  '<param name="Local" value="%s">' % page, "</object>"]
    lines += ["</ul>", "</body></html>", ""]
    return "\r\n".join(lines)


def project():
    files = [page for page, _ in PAGES] + ["tarnu.css"]
    return "\r\n".join([
        "[OPTIONS]", "Compatibility=1.1 or later", "Compiled file=tarnu.chm",
        "Contents file=toc.hhc", "Default topic=youkoso.htm", "Display compile progress=No",
        "Language=0x411 Japanese", "Title=" + TITLE, "", "[FILES]"] + files + [""])


def main(argv):
    if len(argv) != 2:
        sys.exit(__doc__)
    output = os.path.abspath(argv[1])
    with tempfile.TemporaryDirectory(prefix="tarnu-help.") as scratch:
        for page, _ in PAGES:
            with open(os.path.join(HERE, page), encoding="utf-8") as f:
                text = f.read().replace("charset=UTF-8", "charset=Shift_JIS")
            with open(os.path.join(scratch, page), "w", encoding="cp932", newline="\r\n") as f:
                f.write(text)
        shutil.copy(os.path.join(HERE, "tarnu.css"), scratch)
        with open(os.path.join(scratch, "toc.hhc"), "w", encoding="cp932", newline="") as f:
            f.write(contents())
        with open(os.path.join(scratch, "tarnu.hhp"), "w", encoding="cp932", newline="") as f:
            f.write(project())
        with open(os.path.join(scratch, "chmcmd.log"), "w") as log:
            done = subprocess.run(["chmcmd", "--no-html-scan", "tarnu.hhp"], cwd=scratch,
                                  stdout=log, stderr=subprocess.STDOUT)
        built = os.path.join(scratch, "tarnu.chm")
        if done.returncode != 0 or not os.path.exists(built):
            with open(os.path.join(scratch, "chmcmd.log")) as log:
                sys.stderr.write(log.read())
            sys.exit("chmcmd failed")
        shutil.copy(built, output)


if __name__ == "__main__":
    main(sys.argv)
