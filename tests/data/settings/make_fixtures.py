#!/usr/bin/env python3
"""Writes the hand-made settings fixtures of this folder, field by field.

Run from this folder; the .dat files it writes are committed beside it.
"""
import struct

KEY = bytes([0x03, 0x0B, 0x11, 0x04, 0x09, 0x13, 0x07, 0x0C, 0x0A, 0x08])


def sstr(text):
    raw = text.encode("cp1252")
    return bytes([len(raw)]) + bytes(b ^ KEY[i % 10] for i, b in enumerate(raw))


def i16(v):
    return struct.pack("<h", v)


def font(name, style, size):
    raw = name.encode("cp1252")
    return bytes([len(raw)]) + raw + bytes(255 - len(raw)) + bytes([style, 0, 0, 0]) + struct.pack("<i", size)


def user_core():
    return (i16(2) + i16(7) + i16(8) + i16(1) + i16(1) + i16(0) + i16(9) + i16(2) + i16(0) + i16(1)
            + sstr("data_3.dbf") + sstr("C:\\MARLOCKET\\DATA") + i16(6) + i16(1) + bytes([1, 0]))


def tail1():
    return (sstr("") + sstr("") + sstr("") + sstr("")
            + font("Times New Roman", 2, 12) + font("Courier New", 5, 9) + font("Arial", 0, 14)
            + bytes([0, 0]))


def main():
    # An older user options file that ends after field 16.
    open("user_options_core.dat", "wb").write(user_core())
    # A user options file with tail 1 but without tail 2.
    open("user_options_tail1.dat", "wb").write(user_core() + tail1())
    # Machine options with every field set.
    open("machine_options.dat", "wb").write(
        i16(0) + i16(2) + sstr("C:\\SHARE") + i16(1) + sstr("s3cret"))


if __name__ == "__main__":
    main()
