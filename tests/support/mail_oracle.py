#!/usr/bin/python3
"""What a mail reader shows for every message of a folder, by Python's email
package (RFC 2045-2047, RFC 6532), with nkf for the Japanese charsets.

usage: mail_oracle.py DIR LINES

Prints JSON: {file name: {"subject": ..., "from": ..., "excerpt": [...]}} for
every file of DIR whose name is not all capitals (MANIFEST, MISMATCHES):
- subject and from: the header value with its encoded words decoded and its
  folding undone (the From value read as plain text, not re-rendered as
  addresses); empty when the field is missing;
- excerpt: the first LINES lines of the text a reader shows: the first
  text/plain part that is not an attachment, else the first text/html part
  rendered to text, after the transfer encoding and the charset.

Charset labels are read as readers read them: the Japanese ones through nkf
(Shift_JIS as code page 932), the rest by Python's codecs with the usual
supersets (gb2312 as GB18030, euc-kr as code page 949, iso-8859-1 as
windows-1252). Bytes in a charset nobody knows, or without a label, are UTF-8
when they are valid UTF-8, else what nkf guesses.
"""
import codecs
import email
import email.parser
import email.policy
import html.parser
import json
import os
import re
import subprocess
import sys

NKF_INPUT = {
    "iso-2022-jp": "ISO-2022-JP", "csiso2022jp": "ISO-2022-JP",
    "iso-2022-jp-1": "ISO-2022-JP", "iso-2022-jp-2": "ISO-2022-JP",
    "iso-2022-jp-3": "ISO-2022-JP", "shift_jis": "CP932", "shift-jis": "CP932",
    "sjis": "CP932", "x-sjis": "CP932", "cp932": "CP932", "windows-31j": "CP932",
    "ms_kanji": "CP932", "euc-jp": "EUC-JP", "x-euc-jp": "EUC-JP",
}
SUPERSET = {
    "gb2312": "gb18030", "gbk": "gb18030", "x-gbk": "gb18030", "euc-kr": "cp949",
    "ks_c_5601-1987": "cp949", "iso-8859-1": "cp1252", "latin1": "cp1252",
    "iso-8859-9": "cp1254", "tis-620": "cp874", "iso-8859-11": "cp874",
    "big5": "cp950", "us-ascii": None, "ascii": None,
}


def nkf(data, input_code):
    args = ["nkf", "-w", "-m0", "-x"]
    if input_code:
        args.append("--ic=" + input_code)
    out = subprocess.run(args, input=data, stdout=subprocess.PIPE, check=True).stdout
    return out.decode("utf-8", "replace")


def guess(data):
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError:
        return nkf(data, None)


def decode(data, label):
    label = (label or "").strip().strip('"').lower()
    if not any(b >= 0x80 or b == 0x1B for b in data):
        return data.decode("ascii")
    if label in NKF_INPUT:
        return nkf(data, NKF_INPUT[label])
    name = SUPERSET.get(label, label)
    if name:
        try:
            return data.decode(name, "replace")
        except LookupError:
            pass
    return guess(data)


def search_oracle_codec(name):
    if not name.startswith("x_oracle_"):
        return None
    label = name[len("x_oracle_"):].replace("_", "-")
    label = {"shift-jis": "shift_jis", "ks-c-5601-1987": "ks_c_5601-1987"}.get(label, label)

    def decode_bytes(data, errors="strict"):
        return decode(bytes(data), label), len(data)

    return codecs.CodecInfo(name=name, encode=None, decode=decode_bytes)


codecs.register(search_oracle_codec)
ENCODED_WORD = re.compile(rb"=\?([^?*\s]*)((?:\*[^?\s]*)?)\?([qQbB])\?(.*?)\?=")


def prepare_header(header):
    """Routes every encoded word's charset through decode(), and turns raw
    8-bit or ISO-2022-JP header lines into UTF-8 as readers do (in the
    message's own charset when they are not UTF-8)."""
    own = email.parser.BytesParser(policy=email.policy.compat32).parsebytes(
        header, headersonly=True).get_content_charset()
    header = ENCODED_WORD.sub(lambda m: b"=?x_oracle_" + m.group(1).replace(b"-", b"_") +
                              m.group(2) + b"?" + m.group(3) + b"?" + m.group(4) + b"?=", header)
    lines = []
    for line in header.split(b"\n"):
        if any(b >= 0x80 or b == 0x1B for b in line):
            try:
                line.decode("utf-8")
            except UnicodeDecodeError:
                own_text = own and own not in NKF_INPUT
                line = (decode(line, own) if own_text else guess(line)).encode("utf-8")
        lines.append(line)
    return b"\n".join(lines)


class HtmlText(html.parser.HTMLParser):
    """Text of an HTML part: one line per block, white space collapsed, no
    empty lines; script, style, head and title left out."""
    BREAKS = {"br", "p", "div", "tr", "li", "h1", "h2", "h3", "h4", "h5", "h6", "table",
              "ul", "ol", "blockquote", "pre", "hr", "dl", "dt", "dd", "center", "address",
              "form", "section", "article", "header", "footer", "nav", "aside", "main",
              "figure", "html", "body"}
    SPACES = {"td", "th"}
    HIDDEN = {"script", "style", "head", "title"}

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.text = []
        self.hidden = 0

    def handle_starttag(self, tag, attrs):
        self.tag(tag, True)

    def handle_startendtag(self, tag, attrs):
        if tag in self.BREAKS:
            self.text.append("\n")

    def handle_endtag(self, tag):
        self.tag(tag, False)

    def tag(self, tag, start):
        if tag in self.HIDDEN:
            self.hidden = max(0, self.hidden + (1 if start else -1))
        elif tag in self.BREAKS:
            self.text.append("\n")
        elif tag in self.SPACES:
            self.text.append(" ")

    def handle_data(self, data):
        if not self.hidden:
            self.text.append(re.sub(r"[ \t\r\n\f\xa0]+", " ", data))

    def lines(self):
        joined = "".join(self.text)
        return [line.strip(" ") for line in joined.split("\n") if line.strip(" ")]


def body_lines(msg):
    part = msg.get_body(preferencelist=("plain", "html"))
    if part is None:
        return []
    payload = part.get_payload(decode=True) or b""
    text = decode(payload, part.get_param("charset"))
    if part.get_content_subtype() == "html":
        renderer = HtmlText()
        renderer.feed(text)
        renderer.close()
        return renderer.lines()
    lines = text.replace("\r\n", "\n").split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    return lines


def header_text(msg, name):
    for key, value in msg.raw_items():
        if key.lower() == name:
            return str(email.policy.default.header_fetch_parse("x-oracle", value)).strip()
    return ""


def describe(data, lines):
    if data.startswith(b"From "):
        data = data[data.find(b"\n") + 1:]
    data = data.replace(b"\r\n", b"\n")
    split = data.find(b"\n\n")
    header, rest = (data, b"") if split < 0 else (data[:split + 1], data[split + 1:])
    msg = email.message_from_bytes(prepare_header(header) + rest, policy=email.policy.default)
    return {"subject": header_text(msg, "subject"), "from": header_text(msg, "from"),
            "excerpt": body_lines(msg)[:lines]}


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__)
    folder, lines = argv[1], int(argv[2])
    out = {}
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if os.path.isfile(path) and not name.isupper():
            with open(path, "rb") as f:
                out[name] = describe(f.read(), lines)
    json.dump(out, sys.stdout, ensure_ascii=False, indent=1, sort_keys=True)
    sys.stdout.write("\n")


if __name__ == "__main__":
    main(sys.argv)
