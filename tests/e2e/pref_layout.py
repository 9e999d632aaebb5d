"""The bytes tarnu.pref must hold, written from the file's documented
layout and independent of the program's own saver: a header of 244 bytes,
then one 1564-byte record per host with its texts base64-encoded (a LF
after every 72 characters and after the last line) into NUL-terminated
slots."""
import base64
import struct

HEADER = 244
RECORD = 1564


def slot(text, size):
    raw = text.encode("cp932") if isinstance(text, str) else text
    encoded = base64.b64encode(raw)
    lines = [encoded[i:i + 72] for i in range(0, len(encoded), 72)]
    data = b"".join(line + b"\n" for line in lines)
    assert len(data) < size, "value too long for its slot"
    return data + b"\0" * (size - len(data))


def host_record(name, server, user, password, check=True, apop=False, forward=False,
                notify="", smtp="", smtp_port=25, pop3_port=110, lines=2, timeout=60,
                prefix="Fwd)", switches=0, lists=("", "", "", "")):
    """`lists` in file order: subject forward, subject stop, From forward,
    From stop."""
    record = b"".join([
        slot(name, 102), slot(server, 102), slot(user, 52), slot(password, 52),
        struct.pack("<iii", int(check), int(apop), int(forward)),
        slot(notify, 102), slot(smtp, 102),
        struct.pack("<iiii", smtp_port, pop3_port, lines, timeout),
        slot(prefix, 100), struct.pack("<i", switches),
        slot(lists[0], 102), slot(lists[1], 102), slot(lists[2], 102), slot(lists[3], 102),
        b"\0" * 512,
    ])
    assert len(record) == RECORD
    return record


def records(data):
    """The host records of a file's bytes."""
    count = struct.unpack_from("<i", data, 4)[0]
    return [data[HEADER + i * RECORD:HEADER + (i + 1) * RECORD] for i in range(count)]


def header_fields(data):
    """The header as a dict of the fields the dialogs edit."""
    (version, count, periodic, interval, reserved, no_check, no_history,
     auto_open) = struct.unpack_from("<8i", data, 0)
    font = data[32:92]
    colour = struct.unpack_from("<I", data, 92)[0]
    quote = data[96:160].split(b"\0", 1)[0]
    no_restore = struct.unpack_from("<i", data, 160)[0]
    return dict(version=version, count=count, periodic=periodic, interval=interval,
                reserved=reserved, no_check_at_start=no_check, no_history_at_start=no_history,
                auto_open=auto_open, font_height=struct.unpack_from("<i", font, 0)[0],
                font_weight=struct.unpack_from("<i", font, 16)[0],
                font_face=font[28:60].split(b"\0", 1)[0], colour=colour, quote=quote,
                no_position_restore=no_restore)
