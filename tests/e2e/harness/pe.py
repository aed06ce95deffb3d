"""Reads the resources of a PE file straight from its bytes, independently of the updater's own
reader, so tests can check what the repackager wrote."""
import struct


def _u16(b, o):
    return struct.unpack_from("<H", b, o)[0]


def _u32(b, o):
    return struct.unpack_from("<I", b, o)[0]


class _Image:
    """A 32-bit PE file's bytes with its headers read: data directories and RVA lookup."""

    def __init__(self, path):
        self.data = data = open(path, "rb").read()
        pe = _u32(data, 0x3C)
        assert data[pe:pe + 4] == b"PE\0\0"
        sections = _u16(data, pe + 6)
        optional_size = _u16(data, pe + 20)
        self.optional = optional = pe + 24
        assert _u16(data, optional) == 0x10B, "not a 32-bit image"
        table = optional + optional_size
        self.spans = []
        for i in range(sections):
            s = table + 40 * i
            vsize, va, raw_size, raw_ptr = struct.unpack_from("<IIII", data, s + 8)
            self.spans.append((va, max(vsize, raw_size), raw_ptr))

    def directory(self, index):
        """(rva, size) of data directory `index`."""
        return struct.unpack_from("<II", self.data, self.optional + 96 + 8 * index)

    def offset(self, rva):
        for va, size, raw in self.spans:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError(f"rva {rva:#x} outside every section")

    def c_string(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")


def imported_dlls(path):
    """The DLL names of the import table, as written there."""
    image = _Image(path)
    rva, _ = image.directory(1)
    names, o = [], image.offset(rva)
    while any(struct.unpack_from("<5I", image.data, o)):
        names.append(image.c_string(_u32(image.data, o + 12)))
        o += 20
    return names


def checksum_offset(path):
    return _Image(path).optional + 64


def checksum_field(path):
    image = _Image(path)
    return _u32(image.data, image.optional + 64)


def directory_entry(path, index):
    """(rva or file offset, size) of a data directory entry."""
    return _Image(path).directory(index)


def computed_checksum(path):
    """The PE checksum of the file: every 16-bit word but the checksum field's, added with an
    end-around carry (which is adding modulo 0xFFFF), plus the file's length."""
    image = _Image(path)
    data = image.data + b"\0" * (len(image.data) % 2)
    field = image.optional + 64
    words = struct.unpack_from(f"<{len(data) // 2}H", data)
    return (sum(words) - _u16(data, field) - _u16(data, field + 2)) % 0xFFFF + len(image.data)


def resources(path):
    """{(type, name, language): bytes}; type and name are ints or upper-case strings."""
    image = _Image(path)
    data, offset = image.data, image.offset
    rsrc_rva, _ = image.directory(2)
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
