#!/usr/bin/env python3
"""Writes the stand-in firmware and bootloader images kept in the repository.

They are not the board's software: a build for a real board names the board's
own files through QLSWAV_FIRMWARE_IMAGE and QLSWAV_BOOTLOADER_IMAGE. The
stand-ins only have the shape the program relies on:
- QLS-WAV-standin.bin: a 17306-byte flash image from address 0 (a vector table
  of jumps, then filler) that holds the version marker "0x55AA55" and "10";
- Bootloader-standin.hex: Intel HEX of 512 bytes at 0x7E00-0x7FFF whose first
  instruction jumps over the text the bootloader reports about itself.
Run it again to regenerate them; the output is the same each time.
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "src", "firmware", "standin")

FIRMWARE_SIZE = 17306
MARKER = b"0x55AA55" + b"1" + b"0"


def firmware():
    img = bytearray()
    # 26 interrupt vectors: "jmp 0x0068" each (4 bytes).
    for _ in range(26):
        img += bytes([0x0C, 0x94, 0x34, 0x00])
    # Deterministic filler that reads like code: pairs from a small LCG.
    state = 0x1234
    while len(img) < FIRMWARE_SIZE:
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        img.append((state >> 16) & 0xFF)
    at = 0x1F00
    img[at:at + len(MARKER)] = MARKER
    assert img.count(b"0x55AA55") == 1
    return bytes(img[:FIRMWARE_SIZE])


def hex_record(address, rtype, data):
    rec = bytes([len(data), (address >> 8) & 0xFF, address & 0xFF, rtype]) + data
    check = (-sum(rec)) & 0xFF
    return ":" + rec.hex().upper() + "%02X" % check


def bootloader():
    ident = b"*64,0x7C00,atmega328p,24000000,1&\x00"
    if len(ident) % 2:
        ident += b"\x00"
    words_skipped = len(ident) // 2
    # rjmp .+len(ident): opcode 1100 kkkk kkkk kkkk, k in words.
    rjmp = 0xC000 | words_skipped
    code = bytes([rjmp & 0xFF, rjmp >> 8]) + ident
    # "rjmp ." (0xCFFF) loops for the rest of the section.
    while len(code) < 512:
        code += bytes([0xFF, 0xCF])
    code = code[:512]
    lines = [hex_record(0x7E00 + off, 0, code[off:off + 16]) for off in range(0, 512, 16)]
    lines.append(hex_record(0, 1, b""))
    return ("\r\n".join(lines) + "\r\n").encode("ascii")


def main():
    os.makedirs(OUT, exist_ok=True)
    with open(os.path.join(OUT, "QLS-WAV-standin.bin"), "wb") as f:
        f.write(firmware())
    with open(os.path.join(OUT, "Bootloader-standin.hex"), "wb") as f:
        f.write(bootloader())
    return 0


if __name__ == "__main__":
    sys.exit(main())
