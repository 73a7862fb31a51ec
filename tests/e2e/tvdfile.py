"""Writes and reads virtual document files byte by byte, independently of
the library, for the end-to-end tests."""
import struct

OLDEST = b"Mirelda Virtual Document 1.00\0"
FOUR = b"Tavorin Virtual Document 4.00\0"
NEWEST = b"Tavorin Virtual Document x.xx\0"

I4, R8, DATE, TEXT = 3, 5, 7, 8


def _string(text, wide):
    data = text.encode("utf-16-le") if wide else text.encode("cp1252")
    return struct.pack("<I", len(data) // 2 if wide else len(data)) + data


def write(blocks, version=2, magic=None):
    """blocks: [(name, [(attrib, (tag, value)), ...]), ...]"""
    wide = version == 2
    if version == 0:
        out = magic or OLDEST
    else:
        out = NEWEST + struct.pack("<I", version)
    out += struct.pack("<I", len(blocks))
    for name, attribs in blocks:
        out += _string(name, wide) + struct.pack("<I", len(attribs))
        for attrib, (tag, value) in attribs:
            out += _string(attrib, wide)
            if version == 0:
                out += _string(str(value), wide)
                continue
            out += struct.pack("<H", tag)
            if tag == I4:
                out += struct.pack("<i", value)
            elif tag in (R8, DATE):
                out += struct.pack("<d", value)
            else:
                out += _string(value, wide)
    return out


def read_newest(data):
    """The blocks of a version-2 file, or raises ValueError."""
    if data[:30] != NEWEST or struct.unpack_from("<I", data, 30)[0] != 2:
        raise ValueError("not a version 2 file")
    pos = 34

    def u32():
        nonlocal pos
        (v,) = struct.unpack_from("<I", data, pos)
        pos += 4
        return v

    def string():
        nonlocal pos
        n = u32()
        text = data[pos:pos + 2 * n].decode("utf-16-le")
        pos += 2 * n
        return text

    blocks = []
    for _ in range(u32()):
        name = string()
        attribs = []
        for _ in range(u32()):
            attrib = string()
            (tag,) = struct.unpack_from("<H", data, pos)
            pos += 2
            if tag == I4:
                (value,) = struct.unpack_from("<i", data, pos)
                pos += 4
            elif tag in (R8, DATE):
                (value,) = struct.unpack_from("<d", data, pos)
                pos += 8
            else:
                value = string()
            attribs.append((attrib, (tag, value)))
        blocks.append((name, attribs))
    return blocks
