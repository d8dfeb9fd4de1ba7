"""Generated Urdu word forms for the benchmarks.

make_forms(forms, lengths) draws `forms` distinct diacritized words, their
bare forms of a length from `lengths`, about one in twenty a second form of
an earlier bare word, and writes them to words.txt (UTF-8, one a line).
Returns the list of bare forms, with repeats, in the order drawn. The
caller seeds `random` first.

write_running_text(files, bares) writes running text to each (name, size
in bytes) of `files`: bare words (about 70% of them from `bares`)
separated by spaces, Urdu and ASCII punctuation and line ends.
"""
import random

LETTERS = [chr(c) for c in (0x0627, 0x0628, 0x067E, 0x062A, 0x0679, 0x062C,
           0x0686, 0x062D, 0x062E, 0x062F, 0x0688, 0x0631, 0x0691, 0x0632,
           0x0633, 0x0634, 0x0635, 0x0637, 0x0639, 0x063A, 0x0641, 0x0642,
           0x06A9, 0x06AF, 0x0644, 0x0645, 0x0646, 0x0648, 0x06C1, 0x06CC,
           0x06D2, 0x06BA)]
MARKS = ["", "\u064e", "\u0650", "\u064f", "\u0652", "\u0651\u064e"]


def make_forms(forms, lengths):
    words, bares, seen = [], [], set()
    while len(words) < forms:
        n = random.choice(lengths)
        if bares and random.random() < 0.05:
            bare = random.choice(bares)          # a second form of a known word
        else:
            bare = "".join(random.choice(LETTERS) for _ in range(n))
        word = "".join(c + random.choice(MARKS) for c in bare)
        if word in seen:
            continue
        seen.add(word)
        words.append(word)
        bares.append(bare)
    open("words.txt", "w", encoding="utf-8").write("\n".join(words) + "\n")
    return bares


def unknown_word(lengths):
    """A bare word drawn at random, most likely in no table."""
    return "".join(random.choice(LETTERS) for _ in range(random.choice(lengths)))


def write_running_text(files, bares, whole_lines=False):
    # One block of running text, repeated up to the size. With whole_lines,
    # the block ends after its last line end and only whole blocks are
    # written (at least one), so every line of the file is ended.
    seps = [" "] * 14 + ["\u060c ", "\u06d4\n", ", ", " (", ") ", "\u061f ", "\n"]
    out, n = [], 0
    while n < 4 << 20:
        if random.random() < 0.7:
            w = random.choice(bares)
        else:
            w = unknown_word((3, 4, 5, 6))
        piece = w + random.choice(seps)
        out.append(piece)
        n += len(piece.encode("utf-8"))
    block = "".join(out).encode("utf-8")
    if whole_lines:
        block = block[:block.rindex(b"\n") + 1]
        for name, length in files:
            with open(name, "wb") as f:
                for _ in range(max(1, length // len(block))):
                    f.write(block)
        return
    for name, length in files:
        with open(name, "wb") as f:
            for _ in range(length // len(block)):
                f.write(block)
            f.write(block[:length % len(block)].decode("utf-8", "ignore")
                    .encode("utf-8"))
