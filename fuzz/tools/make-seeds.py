#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Each seed is a well-formed input of its target (what a sound printer, file or caller sends), so that
fuzzing starts from the real formats. Run it again after changing a target's input layout; the
files it writes are committed. Needs sqlite3 and openssl (for the database seeds).
"""
import os
import struct
import subprocess
import sys
import tempfile

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "corpus")


def write(target, name, data):
    d = os.path.join(ROOT, target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


def sta(ack, length=0, status=0, code=b"STA\0"):
    return code + ack.encode() + struct.pack("<HB", length, status)


def chunk(data):
    """One answer of FuzzDeviceIO.read(): a length byte (or the long form) and the bytes."""
    if len(data) <= 0xDF:
        return bytes([len(data)]) + data
    return bytes([0xE0]) + struct.pack("<H", len(data)) + data


def bulk(data):
    return struct.pack("<H", len(data)) + data


def name32(name):
    return name + b"\0" * (32 - len(name))


def result(name, index):
    return name32(name) + struct.pack("<H", index)


def record(name, index):
    feature = bytes((index * 7 + i) & 0xFF for i in range(512))
    return name32(name) + struct.pack("<H", index) + feature


GETR_ALICE = sta("A", 34, 0) + result(b"alice", 3)
ZHANG = "张三".encode("gb18030")


def replies():
    seeds = {
        "status-on": b"\x00" + chunk(sta("A", 0, 1)),
        "status-progress-notready": b"\x00" + chunk(b"\x1c-") + chunk(sta("N")) + chunk(sta("A", 0, 3)),
        "status-busy": b"\x00" + chunk(sta("B")),
        "status-refused": b"\x00" + chunk(sta("R")),
        "status-malformed": b"\x00" + chunk(sta("A", code=b"STAX")),
        "status-silent": b"\x00" + b"\xe8" * 6,
        "status-gone": b"\x00\xf0\xe8",
        "switch-on": b"\x01\x01" + chunk(sta("A")),
        "check-known": b"\x02\x05alice" + chunk(sta("A", 0, 1)),
        "check-unknown": b"\x02\x03bob" + chunk(sta("A", 0, 0)),
        "check-32-bytes": b"\x02\x22" + b"n" * 34 + chunk(sta("A", 0, 1)),
        "delete-refused": b"\x03\x03bob" + chunk(sta("R")),
        "delete-all": b"\x04" + chunk(sta("A")),
        "cancel": b"\x05" + chunk(sta("A")),
        "verify-alice": b"\x06" + chunk(sta("A")) + chunk(sta("A", 0, 1)) + chunk(GETR_ALICE),
        "verify-no-match": b"\x06" + chunk(sta("A")) + chunk(sta("A", 0, 0)) + chunk(sta("A", 0, 2)),
        "verify-cancelled": b"\x06" + chunk(sta("A")) + b"\xfc" + chunk(sta("A", 0, 0)),
        "verify-empty-result": b"\x06" + chunk(sta("A")) + chunk(sta("A", 0, 1)) + chunk(sta("A", 0, 0))
        + chunk(sta("A", 0, 1)) + chunk(sta("A", 34, 0) + result(b"", 0)),
        "enrol-first": b"\x07\x03bob" + chunk(sta("A")) + chunk(sta("A", 0, 0)) + chunk(sta("A", 0, 1))
        + chunk(sta("A")),
        "enrol-first-fails": b"\x07\x03bob" + chunk(sta("A")) + chunk(sta("A", 0, 2)),
        "enrol-second": b"\x08" + chunk(sta("A")) + chunk(sta("A", 0, 1)) + chunk(GETR_ALICE),
        "enrol-second-32-byte-name": b"\x08" + chunk(sta("A")) + chunk(sta("A", 0, 1))
        + chunk(sta("A", 34, 0) + b"x" * 32 + b"\x05\x00"),
        "import-status": b"\x09" + chunk(sta("A", 0, 0)) + chunk(sta("A", 0, 1)),
        "import-status-failed": b"\x09" + chunk(sta("A", 0, 2)),
        "import-two": b"\x0a\x02" + record(b"alice", 1) + record(ZHANG, 2) + chunk(sta("A")) + b"\x00" * 4,
        "import-short-writes": b"\x0a\x01" + record(b"bob", 9) + chunk(sta("A")) + b"\x10\x10\x80\x00\x00",
        "export-two": b"\x0b" + chunk(sta("A", 2)) + bulk(sta("A", 2, 0, code=b"EXPT"))
        + bulk(record(b"alice", 1) + record(b"bob", 2)),
        "export-none": b"\x0b" + chunk(sta("A", 0)),
        "export-late": b"\x0b" + chunk(sta("A", 1)) + b"\x00\xe0" * 3 + bulk(sta("A", 1, 0, code=b"EXPT"))
        + bulk(record(b"alice", 1)[:300]) + b"\x00\xf0" * 3,
        "long-reply": b"\x0c\x00\x00\x01" + chunk(sta("A")) + chunk(b"\xab" * 512),
        "long-reply-progress": b"\x0c\x00\x02\x00" + chunk(sta("A")) + chunk(b"\x1c-") + chunk(b"\xcd" * 600),
        "short-reply": b"\x0d\x21\x01" + chunk(GETR_ALICE),
        "bulk-read": b"\x0e\x00\x01\x01" + bulk(b"\x77" * 256),
        "bulk-write": b"\x0e\x00\x01\x00" + b"\x00",
        "marker-reply": b"\x0f\x0a" + chunk(b"x") + chunk(b"M") + chunk(b"M") + chunk(b"<") + chunk(b"0123456789"),
    }
    for target in ("usb_replies", "net_replies"):
        for name, data in seeds.items():
            write(target, name, data)


def getr_export():
    write("getr_export", "verify-usb", b"\x00" + GETR_ALICE)
    write("getr_export", "verify-net", b"\x01" + GETR_ALICE)
    write("getr_export", "verify-short-record", b"\x00" + GETR_ALICE[:20])
    write("getr_export", "verify-32-byte-name", b"\x00" + sta("A", 34) + b"y" * 32 + b"\x01\x00")
    write("getr_export", "enrol-same-name", b"\x02\x05alice" + GETR_ALICE)
    write("getr_export", "enrol-other-name", b"\x02\x03bob" + GETR_ALICE)
    write("getr_export", "enrol-gb18030", b"\x02" + bytes([len(ZHANG)]) + ZHANG + sta("A", 34) + result(ZHANG, 7))
    records = record(b"alice", 1) + record(b"bob", 2) + record(ZHANG, 3)
    write("getr_export", "export-three", b"\x03\x03\x00" + bulk(sta("A", 3, 0, code=b"EXPT")) + bulk(records[:4096])
          + bulk(records[4096:]))
    write("getr_export", "export-cut", b"\x03\x03\x00" + bulk(sta("A", 3, 0, code=b"EXPT")) + bulk(records[:1000])
          + b"\x00\xe0")
    write("getr_export", "export-stream", b"\x04\x03\x03\x00" + records)
    write("getr_export", "export-none", b"\x04\x01\x00\x00")


def import_file():
    one = record(b"alice", 1)
    two = one + record(ZHANG, 2)
    write("import_file", "empty", b"")
    write("import_file", "one-record", one)
    write("import_file", "two-records", two)
    write("import_file", "1000-bytes", two[:1000])
    write("import_file", "545-bytes", one[:545])
    write("import_file", "1092-bytes", two)


def fdl_update():
    write("fdl_update", "two", record(b"alice", 1) + record(ZHANG, 2))
    write("fdl_update", "duplicate", record(b"alice", 1) + record(b"alice", 4))
    write("fdl_update", "32-byte-name", record(b"z" * 32, 5))
    write("fdl_update", "quote-in-name", record(b"o'hara", 6) + record(b"x'); drop table FingerList; --", 7))
    write("fdl_update", "trailing-bytes", record(b"bob", 3) + b"\x01" * 100)
    write("fdl_update", "empty-name", record(b"", 8))


def database_file():
    with tempfile.TemporaryDirectory() as tmp:
        def encrypted(plain_path):
            return subprocess.run(
                ["openssl", "enc", "-des-ecb", "-provider", "legacy", "-provider", "default",
                 "-K", "0409010600050207", "-nosalt", "-in", plain_path],
                check=True, capture_output=True).stdout

        def sqlite(path, script):
            subprocess.run(["sqlite3", path], input=script.encode(), check=True)

        full = os.path.join(tmp, "full.db")
        sqlite(full, "create table UserList(UserName  varchar(255), Passowrd varchar(32));"
                     "insert into UserList values('admin', '58203716');"
                     "create table FingerList(id int, UserName varchar(255), printerName varchar(255));"
                     "insert into FingerList values(1, 'alice', 'ZPH_FUZZ');"
                     "insert into FingerList values(2, '张三', 'ZPH_FUZZ');")
        only_fingers = os.path.join(tmp, "fingers.db")
        sqlite(only_fingers, "create table FingerList(id int, UserName varchar(255), printerName varchar(255));")
        only_users = os.path.join(tmp, "users.db")
        sqlite(only_users, "create table UserList(UserName  varchar(255), Passowrd varchar(32));"
                           "insert into UserList values('a-very-long-account-name-beyond-32-bytes', "
                           "'and-a-password-beyond-16');")
        write("database_file", "stored-database", encrypted(full))
        write("database_file", "only-fingerlist", encrypted(only_fingers))
        write("database_file", "only-userlist", encrypted(only_users))
        with open(full, "rb") as f:
            plain = f.read()
        write("database_file", "not-encrypted", plain)
        write("database_file", "truncated", encrypted(full)[:1000])
    write("database_file", "empty", b"")
    write("database_file", "one-block", b"\x01" * 8)
    write("database_file", "odd-size", b"\x02" * 13)


def fpverify():
    for name, arg in {
        "default": "start://testprinter?jobid=0&time_val=30",
        "office": "start://office?jobid=17&time_val=60",
        "short-time": "start://p?jobid=3&time_val=5",
        "no-query": "start://printer-only",
        "encoded": "start://%E6%89%93%E5%8D%B0?jobid=%31%32&time_val=1e3",
        "query-first": "?jobid=4&time_val=40",
        "huge-numbers": "start://x?jobid=99999999999999999999&time_val=-2147483649",
        "chinese": "start://打印机?jobid=5&time_val=12",
    }.items():
        write("fpverify_argument", name, arg.encode("utf-8"))
    for name, (job, text) in {
        "result": (17, "[17]\nresult=2\n"),
        "result-and-status": (17, "[17]\nstatus=3\nresult=4\n[18]\nresult=1\n"),
        "no-result": (5, "[5]\nstatus=5\n"),
        "other-job": (1, "[2]\nresult=7\n"),
        "quoted": (9, "[9]\nresult=\"8\"\n"),
        "general": (0, "[General]\nresult=1\n[0]\nresult=3\n"),
        "garbage": (3, "\x00\xff[3\nresult==\n=5\n[3]\r\nresult = 5 \r\n"),
        "escaped-group": (12, "[%31%32]\nresult=2\n"),
    }.items():
        write("fpverify_status", name, struct.pack("<H", job) + text.encode("utf-8"))


def agent_chunks(*parts):
    """The agent conversation targets' stream: a length byte per chunk, 0 for a hang-up."""
    out = b""
    for part in parts:
        out += b"\0" if part is None else bytes([len(part)]) + part
    return out


def agent_conversation():
    show = b"SHOW start://Office?jobid=17&time_val=30\n"
    for name, parts in {
        "shown-then-cancel": [b"SHOWN\n", b"STATUS 3\n"],
        "shown-then-timeout": [b"SHOWN\n", b"STATUS 5\n"],
        "shown-silent": [b"SHOWN\n"],
        "no-window": [b"NOWINDOW status file belongs to uid 1000\n"],
        "split-lines": [b"SHO", b"WN\nSTA", b"TUS 3", b"\n"],
        "two-lines-one-chunk": [b"SHOWN\nSTATUS 5\n"],
        "unended-long-line": [b"SHOWN\n", b"S" * 200, b"S" * 200, b"S" * 200],
        "status-before-shown": [b"STATUS 3\n"],
        "hangs-up": [b"SHOWN\n", None],
        "claims-verified": [b"SHOWN\n", b"RESULT 1\n", b"STATUS 1\n"],
    }.items():
        write("agent_replies", name, agent_chunks(*parts))
    for name, (mode, parts) in {
        "show-result": (1, [show, b"RESULT 1\n"]),
        "show-no-window": (0, [show, b"RESULT 2\n"]),
        "show-hang-up": (1, [show, None]),
        "split": (1, [show[:15], show[15:] + b"RES", b"ULT 3\n"]),
        "unended-long-line": (0, [b"A" * 200, b"A" * 200, b"A" * 200]),
        "second-show": (1, [show, show]),
        "malformed-result": (1, [show, b"RESULT six\n"]),
    }.items():
        write("backend_lines", name, bytes([mode]) + agent_chunks(*parts))


def device_uri():
    for name, (uri, resolved) in {
        "usb-serial": ("usb://Maker/ZPH6100RMX?serial=ABC123", b""),
        "usb-no-query": ("usb://Maker/ZPH6100RMX", b""),
        "usb-encoded-serial": ("usb://Maker/ZPH6100RMX?serial=A%42C%00D&serial=E", b""),
        "socket-port": ("socket://192.168.1.20:9100", b""),
        "socket-ipv6": ("socket://[fe80::1%25eth0]:9100", b""),
        "host-name": ("socket://printer.example.com", b""),
        "dnssd": ("dnssd://ZPH6100RMX._pdl-datastream._tcp.local/?uuid=1234", b"socket://10.0.0.5:9100"),
        "dnssd-unresolved": ("dnssd://ZPH6100RMX._pdl-datastream._tcp.local/", b""),
        "dnssd-long-answer": ("dnssd://x/", b"socket://" + b"a" * 300),
        "no-host": ("/dev/usb/lp0", b""),
        "long": ("socket://" + "b" * 300, b""),
        "uppercase-scheme": ("USB://Maker/Model?serial=1", b""),
    }.items():
        raw = uri.encode("utf-8")
        write("device_uri", name, struct.pack("<H", len(raw)) + raw + resolved)


def snmp_reply():
    device_id = b"MFG:Simulated;CMD:PJL;MDL:ZPH6100RMX Series;CLS:PRINTER;"
    oid = bytes([0x06, 0x0F, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x95, 0x0B, 0x01, 0x02, 0x01, 0x02, 0x01, 0x01, 0x03, 0x01])
    value = bytes([0x04, len(device_id)]) + device_id
    binding = bytes([0x30, len(oid) + len(value)]) + oid + value
    bindings = bytes([0x30, len(binding)]) + binding
    pdu_body = bytes([0x02, 0x01, 0x04, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00]) + bindings
    pdu = bytes([0xA2, len(pdu_body)]) + pdu_body
    body = bytes([0x02, 0x01, 0x00, 0x04, 0x06]) + b"mbzlqt" + pdu
    message = bytes([0x30, 0x81, len(body)]) + body
    write("snmp_reply", "device-id", struct.pack("<H", 1024) + b"\x00" + message)
    write("snmp_reply", "small-buffer", struct.pack("<H", 10) + b"\x00" + message)
    write("snmp_reply", "exact-buffer", struct.pack("<H", len(message) - 60) + b"\x00" + message)
    write("snmp_reply", "two-datagrams", struct.pack("<H", 1024) + b"\x01" + struct.pack("<H", 40) + message[:40]
          + message[40:])
    write("snmp_reply", "sixty-bytes", struct.pack("<H", 1024) + b"\x00" + message[:60])
    write("snmp_reply", "no-answer", struct.pack("<H", 1024))


def socket_request():
    write("socket_request", "echo", b"\x00status printer1")
    write("socket_request", "fill", b"\x01x")
    write("socket_request", "refuse", b"\x02hello")
    write("socket_request", "long", b"\x00" + b"q" * 1500)
    write("socket_request", "zero-inside", b"\x00abc\x00def")


def usb_device_id():
    device_id = b"MFG:Simulated;CMD:PJL;MDL:ZPH6100RMX Series;CLS:PRINTER;SN:SIM0001;"
    write("usb_device_id", "big-endian", struct.pack("<H", 1024) + struct.pack(">H", len(device_id)) + device_id)
    write("usb_device_id", "little-endian", struct.pack("<H", 1024) + struct.pack("<H", len(device_id)) + device_id)
    write("usb_device_id", "inclusive-length", struct.pack("<H", 1024) + struct.pack(">H", len(device_id) + 2)
          + device_id)
    write("usb_device_id", "too-long", struct.pack("<H", 20) + b"\xff\xff" + device_id)
    write("usb_device_id", "tiny-buffer", struct.pack("<H", 2) + b"\x00\x05")


def main():
    replies()
    getr_export()
    import_file()
    fdl_update()
    database_file()
    fpverify()
    agent_conversation()
    device_uri()
    snmp_reply()
    socket_request()
    usb_device_id()
    return 0


if __name__ == "__main__":
    sys.exit(main())
