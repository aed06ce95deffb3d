"""Reads the resources of a PE file straight from its bytes, independently of the updater's own
reader, so tests can check what the repackager wrote."""
import struct


def _u16(b, o):
    return struct.unpack_from("<H", b, o)[0]


def _u32(b, o):
    return struct.unpack_from("<I", b, o)[0]


def resources(path):
    """{(type, name, language): bytes}; type and name are ints or upper-case strings."""
    data = open(path, "rb").read()
    pe = _u32(data, 0x3C)
    assert data[pe:pe + 4] == b"PE\0\0"
    sections = _u16(data, pe + 6)
    optional_size = _u16(data, pe + 20)
    optional = pe + 24
    assert _u16(data, optional) == 0x10B, "not a 32-bit image"
    rsrc_rva = _u32(data, optional + 96 + 2 * 8)
    table = optional + optional_size
    spans = []
    for i in range(sections):
        s = table + 40 * i
        vsize, va, raw_size, raw_ptr = struct.unpack_from("<IIII", data, s + 8)
        spans.append((va, max(vsize, raw_size), raw_ptr))

    def offset(rva):
        for va, size, raw in spans:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError(f"rva {rva:#x} outside every section")

    base = offset(rsrc_rva)

    def key(field):
        if field & 0x80000000:
            o = base + (field & 0x7FFFFFFF)
            return data[o + 2:o + 2 + 2 * _u16(data, o)].decode("utf-16-le")
        return field

    def entries(dir_offset):
        o = base + dir_offset
        count = _u16(data, o + 12) + _u16(data, o + 14)
        for i in range(count):
            name, target = struct.unpack_from("<II", data, o + 16 + 8 * i)
            yield key(name), target

    found = {}
    for rtype, t in entries(0):
        for name, n in entries(t & 0x7FFFFFFF):
            for lang, leaf in entries(n & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", data, base + leaf)
                start = offset(rva)
                found[(rtype, name, lang)] = data[start:start + size]
    return found


RT_STRING = 6
RT_BITMAP = 2
RT_DIALOG = 5


def string_block_strings(block):
    """The 16 strings of a string-table block as lists of code units."""
    strings, o = [], 0
    for _ in range(16):
        count = _u16(block, o)
        o += 2
        strings.append([_u16(block, o + 2 * i) for i in range(count)])
        o += 2 * count
    assert o == len(block), "block has bytes after its 16 strings"
    return strings
