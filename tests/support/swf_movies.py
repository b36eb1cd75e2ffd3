#!/usr/bin/python3
"""Lists the files of a folder that are playable Flash movies at least MIN bytes long, one name
a line in byte order of the names, reading each header with Python's own zlib and lzma: an
independent check of the player's header reader and its playability rule (a movie signature,
a declared length, a frame rate of at least 1 (its integer byte), frames, a stage with width
and height). A file with a movie signature whose compressed header cannot be read is named on
stderr and ends the run with status 1. Usage: swf_movies.py FOLDER MIN"""
import lzma
import os
import struct
import sys
import zlib


def header_body(data):
    """The bytes after the 8-byte header, inflated as far as the stage, rate and count go."""
    signature = data[:3]
    if signature == b"FWS":
        return data[8:]
    if signature == b"CWS":
        return zlib.decompressobj().decompress(data[8:], 64)
    if signature == b"ZWS":
        # Props and data, given to the .lzma reader with an unknown size.
        alone = data[12:17] + b"\xff" * 8 + data[17:]
        return lzma.LZMADecompressor(lzma.FORMAT_ALONE).decompress(alone, 64)
    return None


def playable(data):
    body = header_body(data)
    if body is None:
        return False
    bits = body[0] >> 3
    rect_bytes = (5 + 4 * bits + 7) // 8
    if len(body) < rect_bytes + 4:
        raise ValueError("header cut short")
    value = int.from_bytes(body[:rect_bytes], "big")
    shift = rect_bytes * 8 - 5
    fields = []
    for _ in range(4):
        shift -= bits
        fields.append((value >> shift) & ((1 << bits) - 1) if bits else 0)
    xmin, xmax, ymin, ymax = fields
    rate_integer = body[rect_bytes + 1]
    (count,) = struct.unpack("<H", body[rect_bytes + 2:rect_bytes + 4])
    (declared,) = struct.unpack("<I", data[4:8])
    return declared != 0 and rate_integer != 0 and count != 0 and xmin != xmax and ymin != ymax


def main():
    folder, minimum = sys.argv[1], int(sys.argv[2])
    failed = False
    for name in sorted(os.listdir(folder), key=os.fsencode):
        path = os.path.join(folder, name)
        if not os.path.isfile(path) or os.path.getsize(path) < minimum:
            continue
        with open(path, "rb") as f:
            data = f.read()
        try:
            if playable(data):
                print(name)
        except (zlib.error, lzma.LZMAError, ValueError, IndexError) as error:
            print("%s: %s" % (name, error), file=sys.stderr)
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
