#!/usr/bin/env python3
"""Writes the fuzz targets' seed inputs into the folders beside this script."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def record(i):
    return struct.pack("<IiiHHBBBB", 800000000 + i, 22500000 + i, 114000000 - i, 30 + i, 500, 0x47, 10, 9, 0)


def block(seq, records, btype=0xA1):
    body = bytes([len(records) * 20 + 8, btype, seq >> 8, seq & 0xFF]) + b"".join(records)
    x = 0
    for b in body:
        x ^= b
    return b"\x02$" + body + bytes([x]) + b"!"


# Receive engine: [create/close failures, append failure] then operations (see ReceiveEngineFuzz.cpp).
def op_block(delta, n, damage, piece, first=0):
    return bytes([3, delta, n, damage]) + b"".join(record(first + i) for i in range(n)) + bytes([piece])


start = bytes([0, 0, 2])
count3 = bytes([4, 3, 64])
marker = bytes([5, 64])
write("receive_engine", "download_ok", start + count3 + marker + op_block(0, 2, 0, 64) + op_block(0, 1, 0, 7, 2))
write("receive_engine", "bytewise", start + bytes([4, 5, 1, 5, 1]) + op_block(0, 3, 0, 1) + op_block(0, 2, 0, 1, 3))
write("receive_engine", "damaged_then_cancel",
      start + count3 + marker + op_block(0, 1, 2, 64) + op_block(0, 1, 0, 64) + bytes([1, 200, 2, 0, 4]) + b"ab\r\n" + bytes([64]))
write("receive_engine", "settings_reply", bytes([0, 0, 7]) + b"C0=1,O2=5,OH=100" + bytes([0xFF, 13]))
stream = b"hello\r\ndataCount=2\r\nxx===\r\n" + block(0x0101, [record(0)]) + b"zz" + block(0x0102, [record(1)])
write("receive_engine", "raw_stream", start + bytes([0, 64]) + stream[:64] + bytes([64, 0, 64]) + stream[64:128] + bytes([64]))
write("receive_engine", "file_errors", bytes([1, 0, 2]) + count3 + bytes([2, 0, 2, 2]) + count3 + marker + op_block(0, 1, 0, 64))


# Sentences: flag byte, interval, 0xFF, distance, 0xFF, UTF-16 units.
write("sentence", "plain", b"\x01" + b"5\xff100\xff" + "O2=1".encode("utf-16-le"))
write("sentence", "non_ascii", b"\x00" + "é€😀".encode() + b"\xff" + b"\xc3(" + b"\xff" + "\u20ac\ud800".encode("utf-16-le", "surrogatepass"))
write("sentence", "long", b"\x01" + b"7" * 230 + b"\xff" + b"1\xff" + ("x" * 250).encode("utf-16-le"))

# Date and zone texts.
write("time_parse", "date", b"2024-02-29 23:59:59")
write("time_parse", "date_t", b"2135-12-31T00:00")
write("time_parse", "zone", b"GMT+5:45")
write("time_parse", "zone_bare", b" -3:30 ")
write("time_parse", "tz_rule", b"<-02>2<-01>,M3.5.0/-1,J365/25")

# A photo's time texts: date and time, sub-seconds, offset, camera offset, each ended by 0xFF.
write("photo_time", "with_offset", b"2009:05:01 17:30:10\xff25\xff+02:00\xff+1:00")
write("photo_time", "dashes_and_nul", b"2009-05-01T17:30:10\x00\x00\xff\xff-0530\xff-0:02:00")
write("photo_time", "unknown", b"    :  :     :  :  \xff   \xff   :  \xff90")
write("photo_time", "leap_day", b"2008:02:29 23:59:59\xff1234\xffZ\xff")
