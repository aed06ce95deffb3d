#!/usr/bin/env python3
"""Turns the caption a builder typed (UTF-8, in the environment variable UPDATER_CAPTION_TEXT)
into a resource-script string literal, after checking it against the ANSI code page the updater
will show it through. Prints the literal, or one line saying what is wrong and exits 1.

The updater converts its string table to the ANSI code page when it reads it, so the table holds
the caption's own characters: on a machine with that code page they come back as its bytes.
Usage: caption_rc.py CODEPAGE MAX_BYTES"""
import codecs
import os
import sys
import unicodedata


def fail(text):
    print(text)
    sys.exit(1)


# The ANSI code pages of Windows.
ANSI_CODEPAGES = {"874", "932", "936", "949", "950", *(str(n) for n in range(1250, 1259))}


def codec_for(codepage):
    if codepage not in ANSI_CODEPAGES:
        fail(f"UPDATER_CODEPAGE must be a Windows ANSI code page (874, 932, 936, 949, 950, "
             f"1250 to 1258), not '{codepage}'")
    return codecs.lookup(f"cp{codepage}").name


def describe(char):
    name = unicodedata.name(char, "")
    return f"'{char}' (U+{ord(char):04X}{' ' + name if name else ''})"


def _maps(char, codec):
    try:
        char.encode(codec)
        return True
    except UnicodeEncodeError:
        return False


def literal(caption):
    """A quoted string: narrow when it is plain ASCII (as every caption was written before),
    otherwise wide, each other character as a 4-digit escape of its UTF-16 code unit."""
    plain = all(" " <= c <= "~" for c in caption)
    out = []
    for c in caption:
        if c == '"':
            out.append('""')
        elif c == "\\":
            out.append("\\\\")
        elif " " <= c <= "~":
            out.append(c)
        else:
            units = c.encode("utf-16-le")
            out.extend(f"\\x{int.from_bytes(units[i:i + 2], 'little'):04x}"
                       for i in range(0, len(units), 2))
    return ('"' if plain else 'L"') + "".join(out) + '"'


def main():
    codepage, max_bytes = sys.argv[1], int(sys.argv[2])
    codec = codec_for(codepage)
    try:
        caption = os.environb[b"UPDATER_CAPTION_TEXT"].decode("utf-8")
    except UnicodeDecodeError:
        fail("UPDATER_CAPTION is not valid UTF-8 text")
    unmapped = [c for c in dict.fromkeys(caption) if not _maps(c, codec)]
    if unmapped:
        fail(f"UPDATER_CAPTION: code page {codepage} has no "
             + ", no ".join(describe(c) for c in unmapped)
             + f"; the updater could not show {'it' if len(unmapped) == 1 else 'them'}. Leave "
             "them out, or name the code page of the machines the updater runs on with "
             "UPDATER_CODEPAGE")
    size = len(caption.encode(codec))
    if size > max_bytes:
        fail(f"UPDATER_CAPTION is {size} characters long in code page {codepage}; "
             f"the updater keeps at most {max_bytes}")
    print(literal(caption))


if __name__ == "__main__":
    main()
