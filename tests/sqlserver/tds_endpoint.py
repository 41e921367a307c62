#!/usr/bin/env python3
"""A small TDS 7.4 server for the tests of the SQL Server path.

It listens on 127.0.0.1 (a free port unless --port is given), prints "PORT <n>" on its standard
output once it listens, and ends when its standard input closes. It speaks pre-login (no
encryption), LOGIN7, SQL batches, RPC calls (sp_executesql, sp_prepare, sp_execute, sp_prepexec,
sp_unprepare, by number or by name) and transaction manager requests.

Every request is written decoded, as one JSON object per line, to the --record file. The answers
come from the --script file, a JSON object read again before every request, so a test may change
it between statements:

    {
      "database": "物业", "collation": "Chinese_PRC_CI_AS",
      "login": {"error": {...}}                      optional: refuse the login
      "rules": [
        {"match": "regex on the SQL text", "kind": "batch|rpc|tm", "times": 1,
         "delay": 0.5,
         "rowcount": 1,
         "results": [{"columns": [{"name": "ID", "type": "int"}], "rows": [[7]]}],
         "error": {"number": 1222, "message": "...", "state": 1, "class": 16},
         "close": true}
      ]
    }

The first rule whose "match" is found (re.search, case-insensitive) in the request's SQL answers;
a rule with "times" answers that many requests and then no more. A request that no rule answers
gets an empty success (row count 0, no result). Column types: int, bigint, smallint, tinyint,
bit, float, decimal(p,s), datetime, datetime2, date, nvarchar(n|max), nchar(n), varchar(n),
char(n), sysname. Values are JSON numbers, strings (date-times as "yyyy-MM-dd HH:mm:ss[.fff]")
or null.

With --sqlite, a request that no rule answers runs on the SQLite file that the login names as its
database (tds_replay.py), answered as the server of a profile would answer it (tds_profile.py,
profiles/<name>.json): --profile NAME, or "profile" in the script; "plain" when neither names one.
The answers are the real rows and row counts, so whole test suites can run over the wire and have
their statements recorded; what the profile's server would refuse is refused with its error
number, and what it would only do slowly is written to the record as a "scan-warning". It proves
nothing about locking.
"""

import argparse
import datetime
import json
import os
import re
import socket
import socketserver
import sqlite3
import struct
import sys
import threading
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from tds_profile import Profile, ServerError  # noqa: E402
from tds_replay import SqliteWorld, sqlite_error  # noqa: E402

# Packet types
SQL_BATCH, RPC, TABULAR, ATTENTION, TRANSACTION, LOGIN7, PRELOGIN = 0x01, 0x03, 0x04, 0x06, 0x0E, 0x10, 0x12

PROC_NAMES = {
    1: "sp_cursor", 2: "sp_cursoropen", 3: "sp_cursorprepare", 4: "sp_cursorexecute",
    5: "sp_cursorprepexec", 6: "sp_cursorunprepare", 7: "sp_cursorfetch", 8: "sp_cursoroption",
    9: "sp_cursorclose", 10: "sp_executesql", 11: "sp_prepare", 12: "sp_execute",
    13: "sp_prepexec", 14: "sp_prepexecrpc", 15: "sp_unprepare",
}

TM_NAMES = {0: "get_dtc_address", 1: "propagate", 5: "begin", 6: "promote", 7: "commit", 8: "rollback", 9: "save"}

# Collation name -> (LCID and flags as stored in the 5 collation bytes, code page of its VARCHAR)
COLLATIONS = {
    "Chinese_PRC_CI_AS": (bytes([0x04, 0x08, 0xD0, 0x00, 0x00]), "cp936"),
    "SQL_Latin1_General_CP1_CI_AS": (bytes([0x09, 0x04, 0xD0, 0x00, 0x34]), "cp1252"),
    "Latin1_General_CI_AS": (bytes([0x09, 0x04, 0xD0, 0x00, 0x00]), "cp1252"),
}

DONE_MORE, DONE_ERROR, DONE_COUNT, DONE_ATTN = 0x01, 0x02, 0x10, 0x20


class Recorder:
    def __init__(self, path):
        self.path = path
        self.lock = threading.Lock()

    def write(self, entry):
        with self.lock:
            with open(self.path, "a", encoding="utf-8") as f:
                f.write(json.dumps(entry, ensure_ascii=False) + "\n")


class Script:
    """The answers; read again whenever the file changes, counters of "times" kept per content."""

    def __init__(self, path):
        self.path = path
        self.lock = threading.Lock()
        self.text = None
        self.data = {}
        self.used = {}

    def current(self):
        with self.lock:
            text = ""
            if self.path and os.path.exists(self.path):
                with open(self.path, encoding="utf-8") as f:
                    text = f.read()
            if text != self.text:
                self.text = text
                self.data = json.loads(text) if text.strip() else {}
                self.used = {}
            return self.data

    def answer(self, kind, sql):
        data = self.current()
        with self.lock:
            for index, rule in enumerate(data.get("rules", [])):
                if rule.get("kind") and rule["kind"] != kind:
                    continue
                if not re.search(rule.get("match", ""), sql or "", re.IGNORECASE | re.DOTALL):
                    continue
                times = rule.get("times")
                if times is not None and self.used.get(index, 0) >= times:
                    continue
                self.used[index] = self.used.get(index, 0) + 1
                return rule
        return {}


# ----------------------------------------------------------------------------------------------
# Reading


class Reader:
    def __init__(self, data):
        self.data = data
        self.pos = 0

    def take(self, n):
        if self.pos + n > len(self.data):
            raise ValueError("request ends early")
        chunk = self.data[self.pos:self.pos + n]
        self.pos += n
        return chunk

    def u8(self):
        return self.take(1)[0]

    def u16(self):
        return struct.unpack("<H", self.take(2))[0]

    def u32(self):
        return struct.unpack("<I", self.take(4))[0]

    def u64(self):
        return struct.unpack("<Q", self.take(8))[0]

    def b_varchar(self):
        return self.take(self.u8() * 2).decode("utf-16-le")

    def us_varchar(self):
        return self.take(self.u16() * 2).decode("utf-16-le")

    def at_end(self):
        return self.pos >= len(self.data)


def codepage_of(collation_bytes, default):
    lcid = struct.unpack("<I", collation_bytes[:4])[0] & 0xFFFFF
    sort_id = collation_bytes[4]
    if sort_id in (0x34, 0x33, 0x35, 0x36):
        return "cp1252"
    return {0x0804: "cp936", 0x0404: "cp950", 0x0409: "cp1252", 0x0411: "cp932"}.get(lcid, default)


def read_type_info(r):
    t = r.u8()
    info = {"type_id": t}
    if t in (0x30, 0x32, 0x34, 0x38, 0x7F, 0x3E, 0x3B, 0x3D, 0x3A, 0x3C, 0x7A, 0x1F):
        sizes = {0x30: 1, 0x32: 1, 0x34: 2, 0x38: 4, 0x7F: 8, 0x3E: 8, 0x3B: 4, 0x3D: 8, 0x3A: 4, 0x3C: 8,
                 0x7A: 4, 0x1F: 0}
        info["fixed"] = sizes[t]
    elif t in (0x26, 0x68, 0x6D, 0x6F, 0x6E, 0x24):
        info["max_length"] = r.u8()
    elif t in (0x6A, 0x6C):
        info["max_length"] = r.u8()
        info["precision"] = r.u8()
        info["scale"] = r.u8()
    elif t == 0x28:
        pass
    elif t in (0x29, 0x2A, 0x2B):
        info["scale"] = r.u8()
    elif t in (0xA7, 0xAF, 0xE7, 0xEF):
        info["max_length"] = r.u16()
        info["collation"] = r.take(5)
    elif t in (0xA5, 0xAD):
        info["max_length"] = r.u16()
    elif t in (0x23, 0x63, 0x22):
        info["max_length"] = r.u32()
        if t != 0x22:
            info["collation"] = r.take(5)
    else:
        raise ValueError("type 0x%02x is not understood" % t)
    return info


TYPE_NAMES = {
    0x30: "tinyint", 0x32: "bit", 0x34: "smallint", 0x38: "int", 0x7F: "bigint", 0x3E: "float", 0x3B: "real",
    0x3D: "datetime", 0x3A: "smalldatetime", 0x3C: "money", 0x7A: "smallmoney", 0x1F: "null", 0x68: "bit",
    0x6D: "float", 0x6F: "datetime", 0x6E: "money", 0x24: "uniqueidentifier", 0x6A: "decimal", 0x6C: "numeric",
    0x28: "date", 0x29: "time", 0x2A: "datetime2", 0x2B: "datetimeoffset", 0xA7: "varchar", 0xAF: "char",
    0xE7: "nvarchar", 0xEF: "nchar", 0xA5: "varbinary", 0xAD: "binary", 0x23: "text", 0x63: "ntext",
    0x22: "image",
}


def type_name(info):
    t = info["type_id"]
    name = TYPE_NAMES.get(t, "0x%02x" % t)
    if t == 0x26:
        name = {1: "tinyint", 2: "smallint", 4: "int", 8: "bigint"}.get(info["max_length"], "intn")
    elif t == 0x6D and info["max_length"] == 4:
        name = "real"
    elif t == 0x6F and info["max_length"] == 4:
        name = "smalldatetime"
    return name


def read_plp(r):
    total = r.u64()
    if total == 0xFFFFFFFFFFFFFFFF:
        return None
    chunks = []
    while True:
        n = r.u32()
        if n == 0:
            break
        chunks.append(r.take(n))
    return b"".join(chunks)


def days_to_date(days, base):
    return base + datetime.timedelta(days=days)


def read_value(r, info, codepage):
    """Returns (python value for JSON, extra fields for the record)."""
    t = info["type_id"]
    extra = {}
    if "fixed" in info:
        raw = r.take(info["fixed"])
        n = info["fixed"]
    elif t in (0x26, 0x68, 0x6D, 0x6F, 0x6E, 0x24, 0x6A, 0x6C, 0x28, 0x29, 0x2A, 0x2B):
        n = r.u8()
        if n == 0:
            return None, extra
        raw = r.take(n)
    elif t in (0xA7, 0xAF, 0xE7, 0xEF, 0xA5, 0xAD):
        if info["max_length"] == 0xFFFF:
            raw = read_plp(r)
            if raw is None:
                return None, extra
        else:
            n = r.u16()
            if n == 0xFFFF:
                return None, extra
            raw = r.take(n)
    elif t in (0x23, 0x63, 0x22):
        n = r.u32()
        if n == 0xFFFFFFFF:
            return None, extra
        raw = r.take(n)
    else:
        raise ValueError("type 0x%02x is not understood" % t)

    if t in (0x30, 0x34, 0x38, 0x7F, 0x26):
        return int.from_bytes(raw, "little", signed=(len(raw) > 1)), extra
    if t in (0x32, 0x68):
        return bool(raw[0]), extra
    if t in (0x3E, 0x3B, 0x6D):
        return struct.unpack("<d" if len(raw) == 8 else "<f", raw)[0], extra
    if t in (0x3D, 0x3A, 0x6F):
        if len(raw) == 8:
            days, ticks = struct.unpack("<iI", raw)
            moment = datetime.datetime(1900, 1, 1) + datetime.timedelta(days=days, milliseconds=ticks * 10 / 3)
        else:
            days, minutes = struct.unpack("<HH", raw)
            moment = datetime.datetime(1900, 1, 1) + datetime.timedelta(days=days, minutes=minutes)
        return moment.strftime("%Y-%m-%d %H:%M:%S.%f")[:-3], extra
    if t in (0x28, 0x29, 0x2A, 0x2B):
        scale = info.get("scale", 0)
        text = ""
        rest = raw
        if t in (0x29, 0x2A, 0x2B):
            tlen = 3 if scale <= 2 else 4 if scale <= 4 else 5
            units = int.from_bytes(rest[:tlen], "little")
            rest = rest[tlen:]
            whole, fraction = divmod(units, 10 ** scale)
            text = "%02d:%02d:%02d" % (whole // 3600, whole // 60 % 60, whole % 60)
            if scale:
                text += ".%0*d" % (scale, fraction)
        if t in (0x28, 0x2A, 0x2B):
            day = days_to_date(int.from_bytes(rest[:3], "little"), datetime.date(1, 1, 1))
            text = day.isoformat() + (" " + text if text else "")
        return text, extra
    if t in (0x6A, 0x6C):
        sign = 1 if raw[0] == 1 else -1
        number = int.from_bytes(raw[1:], "little") * sign
        return str(number / (10 ** info["scale"])) if info["scale"] else number, extra
    if t in (0xE7, 0xEF, 0x63):
        extra["utf16_hex"] = raw.hex()
        return raw.decode("utf-16-le", errors="replace"), extra
    if t in (0xA7, 0xAF, 0x23):
        extra["raw_hex"] = raw.hex()
        cp = codepage_of(info["collation"], codepage) if "collation" in info else codepage
        return raw.decode(cp, errors="replace"), extra
    extra["raw_hex"] = raw.hex()
    return None, extra


def read_all_headers(r):
    total = r.u32()
    r.take(total - 4)


def decode_rpcs(payload, codepage):
    r = Reader(payload)
    read_all_headers(r)
    calls = []
    while not r.at_end():
        name_len = r.u16()
        if name_len == 0xFFFF:
            proc_id = r.u16()
            proc = PROC_NAMES.get(proc_id, "proc#%d" % proc_id)
            call = {"proc": proc, "proc_id": proc_id}
        else:
            call = {"proc": r.take(name_len * 2).decode("utf-16-le")}
        call["options"] = r.u16()
        params = []
        while not r.at_end() and r.data[r.pos] not in (0x80, 0xFF, 0xFE):
            name = r.b_varchar()
            status = r.u8()
            info = read_type_info(r)
            value, extra = read_value(r, info, codepage)
            param = {"name": name, "type": type_name(info), "status": status, "value": value}
            if "max_length" in info:
                param["max_length"] = info["max_length"]
            if "scale" in info:
                param["scale"] = info["scale"]
            if "precision" in info:
                param["precision"] = info["precision"]
            param.update(extra)
            params.append(param)
        call["params"] = params
        calls.append(call)
        if not r.at_end():
            r.u8()  # batch separator
    return calls


def decode_login(payload):
    r = Reader(payload)
    length, version, packet_size, prog_version, pid, conn_id = struct.unpack("<IIIIII", r.take(24))
    flags1, flags2, type_flags, flags3 = r.take(4)
    tz, lcid = struct.unpack("<iI", r.take(8))
    fields = {}
    names = ["host", "user", "password", "app", "server", "extension", "library", "language", "database"]
    for name in names:
        offset, count = struct.unpack("<HH", r.take(4))
        fields[name] = (offset, count)
    client_id = r.take(6)
    values = {}
    for name, (offset, count) in fields.items():
        raw = payload[offset:offset + count * 2]
        if name == "password":
            raw = bytes((((b ^ 0xA5) << 4) & 0xF0) | (((b ^ 0xA5) >> 4) & 0x0F) for b in raw)
            values["password_utf16_hex"] = raw.hex()
        if name == "extension":
            continue
        values[name] = raw.decode("utf-16-le", errors="replace")
    major = version >> 24
    minor = (version >> 16) & 0xFF
    values.update({
        "type": "login", "tds_version_raw": "0x%08x" % version, "packet_size": packet_size,
        "option_flags": [flags1, flags2, type_flags, flags3], "lcid": lcid, "client_id": client_id.hex(),
    })
    values["tds_version"] = {0x74000004: "7.4", 0x730B0003: "7.3B", 0x730A0003: "7.3A", 0x72090002: "7.2",
                             0x71000001: "7.1", 0x70000000: "7.0"}.get(version, "%d.%d" % (major, minor))
    return values


def decode_prelogin(payload):
    options = {}
    pos = 0
    while pos < len(payload) and payload[pos] != 0xFF:
        token, offset, length = struct.unpack(">BHH", payload[pos:pos + 5])
        options[token] = payload[offset:offset + length]
        pos += 5
    names = {0: "version", 1: "encryption", 2: "instance", 3: "thread_id", 4: "mars", 5: "trace_id", 6: "fedauth"}
    return {names.get(k, str(k)): v.hex() for k, v in options.items()}


# ----------------------------------------------------------------------------------------------
# Writing


def b_varchar(text):
    raw = text.encode("utf-16-le")
    return bytes([len(raw) // 2]) + raw


def us_varchar(text):
    raw = text.encode("utf-16-le")
    return struct.pack("<H", len(raw) // 2) + raw


def env_change(kind, new, old):
    if kind == 7:
        body = bytes([kind, len(new)]) + new + bytes([len(old)]) + old
    elif kind in (8, 9, 10):
        body = bytes([kind, len(new)]) + new + bytes([len(old)]) + old
    else:
        body = bytes([kind]) + b_varchar(new) + b_varchar(old)
    return bytes([0xE3]) + struct.pack("<H", len(body)) + body


def done(token, status, count=0, cmd=0xC1):
    return bytes([token]) + struct.pack("<HHQ", status, cmd, count)


def error_token(err, info=False):
    body = struct.pack("<iBB", int(err.get("number", 50000)), int(err.get("state", 1)),
                       int(err.get("class", 0 if info else 16)))
    body += us_varchar(err.get("message", "")) + b_varchar(err.get("server", "tds-endpoint")) + \
        b_varchar(err.get("procedure", "")) + struct.pack("<i", int(err.get("line", 1)))
    return bytes([0xAB if info else 0xAA]) + struct.pack("<H", len(body)) + body


def parse_column_type(text):
    m = re.match(r"\s*(\w+)\s*(?:\(\s*(\w+)\s*(?:,\s*(\d+))?\s*\))?\s*$", text)
    if not m:
        raise ValueError("column type %r is not understood" % text)
    return m.group(1).lower(), m.group(2), m.group(3)


def column_info(col, collation):
    collation = col.get("collation") or collation
    kind, size, scale = parse_column_type(col.get("type", "nvarchar(4000)"))
    if kind == "sysname":
        kind, size = "nvarchar", "128"
    if kind in ("int", "bigint", "smallint", "tinyint"):
        n = {"int": 4, "bigint": 8, "smallint": 2, "tinyint": 1}[kind]
        return {"kind": "int", "size": n}, bytes([0x26, n])
    if kind == "bit":
        return {"kind": "bit"}, bytes([0x68, 1])
    if kind == "float":
        return {"kind": "float"}, bytes([0x6D, 8])
    if kind in ("decimal", "numeric"):
        precision, sc = int(size or 18), int(scale or 0)
        return {"kind": "decimal", "scale": sc}, bytes([0x6A, 17, precision, sc])
    if kind == "datetime":
        return {"kind": "datetime"}, bytes([0x6F, 8])
    if kind == "datetime2":
        return {"kind": "datetime2"}, bytes([0x2A, 7])
    if kind == "date":
        return {"kind": "date"}, bytes([0x28])
    if kind in ("nvarchar", "nchar", "varchar", "char"):
        wide = kind.startswith("n")
        tid = {"nvarchar": 0xE7, "nchar": 0xEF, "varchar": 0xA7, "char": 0xAF}[kind]
        if size and size.lower() == "max":
            maxlen = 0xFFFF
        else:
            maxlen = int(size or (4000 if wide else 8000)) * (2 if wide else 1)
        return ({"kind": "text", "wide": wide, "max": maxlen, "fixed": kind in ("nchar", "char"),
                 "codepage": COLLATIONS[collation][1]},
                bytes([tid]) + struct.pack("<H", maxlen) + COLLATIONS[collation][0])
    raise ValueError("column type %r is not understood" % kind)


def parse_moment(text):
    for fmt in ("%Y-%m-%d %H:%M:%S.%f", "%Y-%m-%d %H:%M:%S", "%Y-%m-%dT%H:%M:%S", "%Y-%m-%d"):
        try:
            return datetime.datetime.strptime(text, fmt)
        except ValueError:
            pass
    raise ValueError("date-time %r is not understood" % text)


def encode_value(meta, value):
    kind = meta["kind"]
    if kind == "text":
        plp = meta["max"] == 0xFFFF
        if value is None:
            return b"\xff" * 8 if plp else b"\xff\xff"
        text = str(value)
        raw = text.encode("utf-16-le") if meta["wide"] else text.encode(meta["codepage"], errors="replace")
        if meta["fixed"]:  # CHAR(n) and NCHAR(n) come back padded with blanks to their width
            raw = raw + (" ".encode("utf-16-le") if meta["wide"] else b" ") * \
                ((meta["max"] - len(raw)) // (2 if meta["wide"] else 1))
        if plp:
            return struct.pack("<Q", len(raw)) + (struct.pack("<I", len(raw)) + raw if raw else b"") + b"\0\0\0\0"
        return struct.pack("<H", len(raw)) + raw
    if value is None:
        return b"\x00"
    if kind == "int":
        return bytes([meta["size"]]) + int(value).to_bytes(meta["size"], "little", signed=True)
    if kind == "bit":
        return b"\x01" + (b"\x01" if value else b"\x00")
    if kind == "float":
        return b"\x08" + struct.pack("<d", float(value))
    if kind == "decimal":
        scaled = round(float(value) * (10 ** meta["scale"])) if not isinstance(value, int) else \
            value * (10 ** meta["scale"])
        return bytes([17, 1 if scaled >= 0 else 0]) + abs(int(scaled)).to_bytes(16, "little")
    moment = parse_moment(str(value))
    if kind == "datetime":
        delta = moment - datetime.datetime(1900, 1, 1)
        ticks = round((delta.seconds + delta.microseconds / 1e6) * 300)
        return b"\x08" + struct.pack("<iI", delta.days, ticks)
    days = (moment.date() - datetime.date(1, 1, 1)).days.to_bytes(3, "little")
    if kind == "date":
        return b"\x03" + days
    seconds = moment.hour * 3600 + moment.minute * 60 + moment.second
    units = seconds * 10 ** 7 + moment.microsecond * 10
    return b"\x08" + units.to_bytes(5, "little") + days


def result_set(result, collation, token):
    columns = result.get("columns", [])
    metas = []
    out = bytearray([0x81]) + struct.pack("<H", len(columns))
    for col in columns:
        meta, type_info = column_info(col, collation)
        metas.append(meta)
        out += struct.pack("<IH", 0, 0x0001) + type_info + b_varchar(col.get("name", ""))
    rows = result.get("rows", [])
    for row in rows:
        out += b"\xd1"
        for meta, value in zip(metas, row):
            out += encode_value(meta, value)
    out += done(token, DONE_COUNT | DONE_MORE, len(rows), 0xC1)
    return bytes(out)


def column_type(values):
    """A type that holds every value of a column: a number column whose values are whole only in
    some rows (SUM(CASE ... ELSE 0 END)) is FLOAT, not INT."""
    present = [v for v in values if v is not None]
    if not present:
        return "nvarchar(4000)"
    if all(isinstance(v, bool) for v in present):
        return "bit"
    if all(isinstance(v, int) for v in present):
        return "bigint" if any(abs(v) > 2 ** 31 - 1 for v in present) else "int"
    if all(isinstance(v, (int, float)) and not isinstance(v, bool) for v in present):
        return "float"
    return "nvarchar(max)" if any(len(str(v)) > 4000 for v in present) else "nvarchar(4000)"


def result_column(name, declared, values):
    """A result column as the server describes it: the declared type of the column it reads, as far
    as the stored values fit it, else a type that holds them."""
    if declared is not None:
        present = [v for v in values if v is not None]
        if declared.kind in ("datetime", "smalldatetime"):
            try:
                for value in present:
                    parse_moment(str(value))
                return {"name": name, "type": "datetime"}
            except ValueError:
                pass
        elif declared.is_text and all(isinstance(v, str) for v in present):
            wire = declared.wire_type()
            if declared.length is not None and any(declared.size_of(v) > declared.length for v in present):
                if declared.kind in ("char", "nchar"):
                    return {"name": name, "type": column_type(values)}
                wire = declared.kind + "(max)"
            return {"name": name, "type": wire, "collation": declared.collation}
    return {"name": name, "type": column_type(values)}


# ----------------------------------------------------------------------------------------------
# The connection


class Connection(socketserver.BaseRequestHandler):
    def setup(self):
        self.packet_size = 4096
        self.prepared = {}
        self.next_handle = 1
        self.connection_id = self.server.next_connection()
        self.transaction = b"\0" * 8
        self.next_transaction = 1
        self.world = None
        self.profile = None

    def record(self, entry):
        entry["connection"] = self.connection_id
        entry["time"] = round(time.time(), 3)
        self.server.recorder.write(entry)

    def read_exact(self, n):
        chunks = b""
        while len(chunks) < n:
            chunk = self.request.recv(n - len(chunks))
            if not chunk:
                raise EOFError()
            chunks += chunk
        return chunks

    def read_message(self):
        payload = b""
        while True:
            header = self.read_exact(8)
            kind, status, length = struct.unpack(">BBH", header[:4])
            payload += self.read_exact(length - 8)
            if status & 0x01:
                return kind, payload

    def send(self, payload, kind=TABULAR):
        size = max(512, self.packet_size) - 8
        pieces = [payload[i:i + size] for i in range(0, len(payload), size)] or [b""]
        out = b""
        for index, piece in enumerate(pieces):
            status = 0x01 if index == len(pieces) - 1 else 0x00
            out += struct.pack(">BBHHBB", kind, status, len(piece) + 8, 0, (index + 1) % 256, 0) + piece
        self.request.sendall(out)

    def handle(self):
        try:
            while True:
                kind, payload = self.read_message()
                if not self.dispatch(kind, payload):
                    break
        except (EOFError, ConnectionError):
            pass
        except Exception as e:  # a fault of the endpoint itself must show in the record
            self.record({"type": "endpoint-fault", "error": repr(e), "trace": traceback.format_exc()})
        finally:
            if self.world:
                self.world.db.close()  # what was not committed is rolled back
            self.record({"type": "disconnect"})

    def settings(self):
        script = self.server.script.current()
        name = script.get("profile") or self.server.profile or "plain"
        if self.profile is None or self.profile.name != name:
            self.profile = Profile.load(name)
        collation = script.get("collation") or self.profile.collation
        return script, collation, COLLATIONS[collation][1]

    def dispatch(self, kind, payload):
        script, collation, codepage = self.settings()
        if kind == PRELOGIN:
            entry = decode_prelogin(payload)
            entry["type"] = "prelogin"
            self.record(entry)
            self.send(self.prelogin_answer())
            return True
        if kind == LOGIN7:
            entry = decode_login(payload)
            self.packet_size = entry["packet_size"] or 4096
            if self.packet_size > 32767:
                self.packet_size = 4096
            self.record(entry)
            if self.server.sqlite and entry.get("database"):
                self.world = SqliteWorld(entry["database"], self.profile)
            refusal = script.get("login", {}).get("error")
            if refusal:
                self.send(error_token(refusal) + done(0xFD, DONE_ERROR, 0, 0))
                return False
            database = script.get("database") or entry.get("database") or "master"
            out = env_change(1, database, "master")
            out += error_token({"number": 5701, "class": 0, "message": "Changed database context to '%s'." %
                                database}, info=True)
            out += env_change(7, COLLATIONS[collation][0], b"")
            out += env_change(2, "us_english", "")
            out += error_token({"number": 5703, "class": 0, "message": "Changed language setting to us_english."},
                               info=True)
            ack = bytes([1]) + struct.pack(">I", 0x74000004) + b_varchar("Tavimor test endpoint") + bytes([16, 0, 0, 1])
            out += bytes([0xAD]) + struct.pack("<H", len(ack)) + ack
            out += env_change(4, str(self.packet_size), "4096")
            out += done(0xFD, 0, 0, 0)
            self.send(out)
            return True
        if kind == SQL_BATCH:
            r = Reader(payload)
            read_all_headers(r)
            sql = r.data[r.pos:].decode("utf-16-le", errors="replace")
            self.record({"type": "batch", "sql": sql})
            return self.answer("batch", sql, collation, rpc=False)
        if kind == RPC:
            calls = decode_rpcs(payload, codepage)
            keep_open = True
            for call in calls:
                keep_open = self.rpc(call, collation) and keep_open
                if not keep_open:
                    break
            return keep_open
        if kind == TRANSACTION:
            r = Reader(payload)
            read_all_headers(r)
            request = r.u16()
            name = TM_NAMES.get(request, str(request))
            self.record({"type": "tm", "request": name, "sql": name})
            rule = self.server.script.answer("tm", name)
            if rule.get("close"):
                return False
            if rule.get("error"):
                self.send(error_token(rule["error"]) + done(0xFD, DONE_ERROR, 0, 0))
                return True
            out = b""
            if self.world:
                if request == 5:
                    self.world.begin()
                elif request in (7, 8):
                    self.world.end(request == 7)
            if request == 5:
                self.transaction = struct.pack("<Q", self.next_transaction)
                self.next_transaction += 1
                out += env_change(8, self.transaction, b"")
            elif request in (7, 8):
                out += env_change(9 if request == 7 else 10, b"", self.transaction)
                self.transaction = b"\0" * 8
            self.send(out + done(0xFD, 0, 0, 0))
            return True
        if kind == ATTENTION:
            self.record({"type": "attention"})
            self.send(done(0xFD, DONE_ATTN, 0, 0))
            return True
        self.record({"type": "unknown", "packet_type": kind})
        return False

    def prelogin_answer(self):
        options = [(0, bytes([16, 0, 0x10, 0x00, 0, 0])), (1, bytes([2])), (2, b"\0"), (3, b""), (4, b"\0")]
        header_len = len(options) * 5 + 1
        head, body = b"", b""
        for token, value in options:
            head += struct.pack(">BHH", token, header_len + len(body), len(value))
            body += value
        return head + b"\xff" + body

    def rpc(self, call, collation):
        proc = call["proc"].lower()
        params = call["params"]
        values = [p["value"] for p in params]
        sql = ""
        handle = None
        if proc == "sp_executesql":
            sql = values[0] if values else ""
            call["declared"] = values[1] if len(values) > 1 else ""
            call["arguments"] = params[2:]
        elif proc in ("sp_prepexec", "sp_prepare"):
            handle = self.next_handle
            self.next_handle += 1
            call["declared"] = values[1] if len(values) > 1 else ""
            sql = values[2] if len(values) > 2 else ""
            self.prepared[handle] = (sql, call["declared"])
            call["handle"] = handle
            call["arguments"] = params[3:] if proc == "sp_prepexec" else []
        elif proc == "sp_execute":
            call["handle"] = values[0] if values else None
            sql, call["declared"] = self.prepared.get(call["handle"], ("", ""))
            call["arguments"] = params[1:]
        elif proc == "sp_unprepare":
            call["handle"] = values[0] if values else None
            sql = ""
        else:
            sql = call["proc"]
        call["sql"] = sql
        call["type"] = "rpc"
        # Positional arguments take the names and types of the declaration ("@P1 NVARCHAR(8),...").
        declared = re.findall(r"(@\w+)\s+(\w+(?:\s*\([^)]*\))?)", call.get("declared") or "")
        for argument, (name, declared_type) in zip(call.get("arguments", []), declared):
            argument["name"] = argument["name"] or name
            argument["declared_type"] = declared_type
        self.record(call)
        if proc == "sp_unprepare" or proc == "sp_prepare":
            out = b""
            if proc == "sp_prepare":
                out += self.return_value(params[0]["name"] if params else "@handle", handle)
            self.send(out + bytes([0x79]) + struct.pack("<i", 0) + done(0xFE, 0, 0, 0xE0))
            return True
        arguments = {p["name"]: p for p in call.get("arguments", [])}
        return self.answer("rpc", sql, collation, rpc=True, handle=handle,
                           handle_name=params[0]["name"] if params else "@handle", arguments=arguments)

    def from_world(self, sql, arguments):
        try:
            answers, warnings = self.world.run(sql, arguments)
        except ServerError as e:
            self.record({"type": "server-error", "number": e.number, "message": e.message, "sql": sql})
            return {"error": {"number": e.number, "message": e.message}}
        except sqlite3.Error as e:
            return {"error": sqlite_error(e)}
        for statement, reason in warnings:
            self.record({"type": "scan-warning", "sql": statement, "reason": reason})
        rule = {"parts": []}
        for answer in answers:
            if answer[0] == "rows":
                columns, rows, declared = answer[1], answer[2], answer[3]
                described = [result_column(n, d, [row[i] for row in rows])
                             for i, (n, d) in enumerate(zip(columns, declared))]
                rule["parts"].append({"columns": described, "rows": [list(row) for row in rows]})
            else:
                rule["parts"].append({"rowcount": answer[1]})
        return rule

    def return_value(self, name, handle):
        body = struct.pack("<H", 0) + b_varchar(name) + bytes([0x01]) + struct.pack("<IH", 0, 0x0001)
        body += bytes([0x26, 4]) + bytes([4]) + struct.pack("<i", handle)
        return bytes([0xAC]) + body

    def answer(self, kind, sql, collation, rpc, handle=None, handle_name="@handle", arguments=None):
        rule = self.server.script.answer(kind, sql)
        if not rule and self.world:
            rule = self.from_world(sql, arguments or {})
        if rule.get("delay"):
            time.sleep(float(rule["delay"]))
        if rule.get("close"):
            self.record({"type": "closed-by-script", "sql": sql})
            return False
        inner = 0xFF if rpc else 0xFD
        out = b""
        failed = False
        try:
            if "rowcount" in rule:
                out += done(inner, DONE_COUNT | DONE_MORE, int(rule["rowcount"]), 0xC3)
            for result in rule.get("results", []):
                out += result_set(result, collation, inner)
            for part in rule.get("parts", []):
                if "rowcount" in part:
                    out += done(inner, DONE_COUNT | DONE_MORE, int(part["rowcount"]), 0xC3)
                else:
                    out += result_set(part, collation, inner)
            if rule.get("error"):
                out += error_token(rule["error"]) + done(inner, DONE_ERROR | DONE_MORE, 0, 0xC1)
                failed = True
        except (ValueError, KeyError) as e:
            out = error_token({"number": 50000, "message": "endpoint script: %s" % e}) + \
                done(inner, DONE_ERROR | DONE_MORE, 0, 0xC1)
            failed = True
        if rpc:
            if handle is not None:
                out += self.return_value(handle_name, handle)
            out += bytes([0x79]) + struct.pack("<i", 1 if failed else 0)
            out += done(0xFE, DONE_ERROR if failed else 0, 0, 0xE0)
        else:
            if not out:
                out = done(0xFD, 0, 0, 0xC1)
            else:
                # The last DONE of the batch ends it.
                last = len(out) - 13
                status = struct.unpack("<H", out[last + 1:last + 3])[0] & ~DONE_MORE
                out = out[:last + 1] + struct.pack("<H", status) + out[last + 3:]
        self.send(out)
        return True


class Server(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, recorder, script, sqlite=False, profile=None):
        super().__init__(address, Connection)
        self.sqlite = sqlite
        self.profile = profile
        self.recorder = recorder
        self.script = script
        self.counter = 0
        self.counter_lock = threading.Lock()

    def next_connection(self):
        with self.counter_lock:
            self.counter += 1
            return self.counter


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--script", default="")
    parser.add_argument("--record", required=True)
    parser.add_argument("--sqlite", action="store_true",
                        help="answer unscripted requests from the SQLite file named as the login's database")
    parser.add_argument("--profile", default="",
                        help="the server profile the SQLite answers follow (a name of profiles/ or a file)")
    parser.add_argument("--no-stdin", action="store_true", help="do not end when standard input closes")
    args = parser.parse_args()
    server = Server(("127.0.0.1", args.port), Recorder(args.record), Script(args.script), args.sqlite, args.profile)
    print("PORT %d" % server.server_address[1], flush=True)
    if not args.no_stdin:
        def watch():
            sys.stdin.read()
            os._exit(0)
        threading.Thread(target=watch, daemon=True).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
