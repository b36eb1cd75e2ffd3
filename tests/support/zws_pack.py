#!/usr/bin/env python3
"""zws_pack.py IN OUT [VERSION]

Re-packs the movie IN ("FWS" or "CWS") as an LZMA movie ("ZWS") at OUT: the same body and
declared length, LZMA data as Python's lzma module writes it (its .lzma form carries the five
property bytes the movie keeps; the data ends with an end marker). VERSION replaces the
movie's version byte when given."""
import lzma
import struct
import sys
import zlib


def main():
    src, dst = sys.argv[1], sys.argv[2]
    data = open(src, "rb").read()
    sig, version, declared = data[:3], data[3], struct.unpack("<I", data[4:8])[0]
    if sig == b"FWS":
        body = data[8:]
    elif sig == b"CWS":
        body = zlib.decompressobj().decompress(data[8:])
    else:
        sys.exit("not an FWS or CWS movie: " + src)
    if len(sys.argv) > 3:
        version = int(sys.argv[3])
    alone = lzma.compress(body, format=lzma.FORMAT_ALONE)
    props, packed = alone[:5], alone[13:]
    out = b"ZWS" + bytes([version]) + struct.pack("<II", declared, len(packed)) + props + packed
    open(dst, "wb").write(out)


if __name__ == "__main__":
    main()
