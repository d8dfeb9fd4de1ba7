#!/usr/bin/env python3
"""The diacritizer's job done plainly in Python with a dict, as a yardstick.

    peer.py TABLE INPUT OUTPUT

Reads the word-form table file, maps every bare key to the restored first
form on its chain, then writes one output line per input line (16-bit text
with mark FF FE, lines separated by CR LF): the restored word when the
trimmed line is a key, else the trimmed line. Only for tables whose chains
each serve one home slot, as `urdu table build` makes them.
"""
import struct
import sys

MARKS = {"Z": "\u064e", "R": "\u0650", "P": "\u064f", "J": "\u0652",
         "K": "\u0670", "D": "\u064b"}
VOWELS = {"Z": "\u064e", "R": "\u0650", "P": "\u064f"}
SEPARATORS = " \u200c\u200d"


def merge(bare, symbols):
    out = []
    j = 0
    for c in bare:
        out.append(c)
        if c in SEPARATORS:
            continue
        s = symbols[j] if j < len(symbols) else ""
        if s in MARKS:
            out.append(MARKS[s])
            j += 1
        elif s == "S":
            out.append("\u0651")
            if j + 1 < len(symbols):
                out.append(VOWELS.get(symbols[j + 1], ""))
            j += 2
        else:
            j += 1
    return "".join(out)


def load(path):
    data = open(path, "rb").read()
    (slots,) = struct.unpack_from("<i", data, 2)
    at = 6
    if slots == -1:
        (slots,) = struct.unpack_from("<i", data, 6)
        at = 14
    count = min(slots, (len(data) - at) // 70)
    keys, symbols, nexts = [], [], []
    for k in range(count):
        base = at + 70 * k
        key = data[base:base + 40].decode("utf-16-le").split("\0", 1)[0]
        sym = data[base + 40:base + 60].split(b"\0", 1)[0].decode("ascii")
        (nxt,) = struct.unpack_from("<i", data, base + 66)
        keys.append(key)
        symbols.append(sym)
        nexts.append(nxt)
    linked = set(n for n in nexts if n >= 0)
    table = {}
    for head in range(count):
        if nexts[head] == -1 or head in linked:
            continue
        s = head
        while s >= 0:
            key = keys[s]
            if key and key[0] != "@" and key not in table:
                table[key] = merge(key, symbols[s])
            s = nexts[s]
    return table


def main():
    table_path, input_path, output_path = sys.argv[1:4]
    table = load(table_path)
    raw = open(input_path, "rb").read()
    if raw[:2] != b"\xff\xfe":
        sys.exit("peer: input is not 16-bit Unicode")
    text = raw[2:len(raw) - (len(raw) % 2)].decode("utf-16-le", "surrogatepass")
    out = []
    for line in text.split("\n"):
        word = line.strip(" \t\r\n")
        out.append(table.get(word, word))
    with open(output_path, "wb") as f:
        f.write(b"\xff\xfe")
        f.write("\r\n".join(out).encode("utf-16-le", "surrogatepass"))


if __name__ == "__main__":
    main()
