#!/usr/bin/env python3
"""Makes the stand-in firmware image: 83,312 opaque bytes from a fixed seed.

No real controller firmware is available to the project; this file takes its place with the
length of release 4.8, so that block division, padding and progress are exercised exactly.
Run: python3 resources/firmware/make-stand-in-image.py resources/firmware/stand-in-0408.bin
"""
import sys

SIZE = 83312
SEED = 0x4A1F0408


def xorshift32(state):
    while True:
        state ^= (state << 13) & 0xFFFFFFFF
        state ^= state >> 17
        state ^= (state << 5) & 0xFFFFFFFF
        yield state


def main():
    out = bytearray()
    for word in xorshift32(SEED):
        out += word.to_bytes(4, "little")
        if len(out) >= SIZE:
            break
    with open(sys.argv[1], "wb") as f:
        f.write(bytes(out[:SIZE]))


if __name__ == "__main__":
    main()
