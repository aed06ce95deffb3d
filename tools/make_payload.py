#!/usr/bin/env python3
"""Writes the default embedded payload: a complete PJL firmware-upgrade job around a synthetic,
deterministic image, so the build never needs a real firmware file."""
import hashlib
import sys

UEL = b"\x1b%-12345X"
DEFAULT_SIZE = 4134689


def header(image_size):
    return (UEL + b"@PJL\r\n"
            b"@PJL COMMENT SYNTHETIC TEST FIRMWARE\r\n"
            b"@PJL ENTER LANGUAGE=FIRMWARE\r\n"
            b"@PJL UPGRADE SIZE=" + str(image_size).encode() + b"\r\n"
            + UEL + b"\n")


def image(size):
    # SHA-256 in counter mode: fast, fixed, and without long runs a short-cut could hide.
    out = bytearray()
    counter = 0
    while len(out) < size:
        out += hashlib.sha256(b"firmware image block %d" % counter).digest()
        counter += 1
    return bytes(out[:size])


def job(total_size):
    image_size = total_size - len(header(0))
    while len(header(image_size)) + image_size != total_size:
        image_size = total_size - len(header(image_size))
    return header(image_size) + image(image_size)


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit("usage: make_payload.py OUTPUT [TOTAL_SIZE]")
    size = int(sys.argv[2]) if len(sys.argv) == 3 else DEFAULT_SIZE
    data = job(size)
    assert len(data) == size
    with open(sys.argv[1], "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
