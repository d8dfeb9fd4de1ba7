"""bench.py URDU TABLE TEXT: per-call cost of the binding on single words,
and one call on the whole text against `URDU diacritize` on the file."""

import resource
import subprocess
import sys
import time

import urdulex


def cpu_seconds(who):
    usage = resource.getrusage(who)
    return usage.ru_utime + usage.ru_stime


def best(call, runs, who=resource.RUSAGE_SELF):
    """Best wall and processor seconds of `runs` runs of `call`, the
    processor time of this process or (RUSAGE_CHILDREN) of its children."""
    wall = cpu = None
    for _ in range(runs):
        w0, c0 = time.perf_counter(), cpu_seconds(who)
        result = call()
        w, c = time.perf_counter() - w0, cpu_seconds(who) - c0
        wall = w if wall is None else min(wall, w)
        cpu = c if cpu is None else min(cpu, c)
    return wall, cpu, result


def per_call(name, call, words):
    def all_words():
        for w in words:
            call(w)
    wall, _, _ = best(all_words, 5)
    print("%-34s %8.2f us" % (name, wall / len(words) * 1e6))


def main(urdu, table_path, text_path):
    table = urdulex.WordFormTable(table_path)
    rules = urdulex.Normalizer.urdu()
    with open(text_path, encoding="utf-8") as f:
        text = f.read()
    words = [t[2] for t in urdulex.tokenize(text[:200000]) if t[0] == "word"]
    words = words[:20000]

    print("one call on a single word (%d words):" % len(words))
    per_call("  len(word)  (Python alone)", len, words)
    per_call("  split_diacritics", urdulex.split_diacritics, words)
    per_call("  strip_diacritics", urdulex.strip_diacritics, words)
    per_call("  Normalizer.normalize", rules.normalize, words)
    per_call("  WordFormTable.forms", table.forms, words)
    per_call("  WordFormTable.diacritize", table.diacritize, words)

    mb = len(text.encode("utf-8")) / 1e6
    # A str made now, as a caller's text is: no UTF-8 copy of it is kept
    # yet (Python keeps one once asked for it, and later calls use it).
    fresh = text[:len(text) // 2] + text[len(text) // 2:]
    first_wall, first_cpu, _ = best(lambda: table.diacritize(fresh), 1)
    del fresh
    py_wall, py_cpu, result = best(lambda: table.diacritize(text), 3)
    cli_wall, cli_cpu, _ = best(lambda: subprocess.run(
        [urdu, "diacritize", "--no-progress", "--table", table_path, "-o",
         "cli.txt", text_path], check=True), 3, resource.RUSAGE_CHILDREN)
    with open("cli.txt", encoding="utf-8") as f:
        assert f.read() == result, "the package and urdu disagree"
    print("\ndiacritizing %.1f MB of text:" % mb)
    print("%-34s %9s %9s %9s" % ("", "wall s", "MB/s", "cpu s"))
    print("%-34s %9.3f %9.1f %9.3f" % ("  WordFormTable.diacritize, new str",
                                       first_wall, mb / first_wall, first_cpu))
    print("%-34s %9.3f %9.1f %9.3f" % ("  the same str again (best of 3)",
                                       py_wall, mb / py_wall, py_cpu))
    print("%-34s %9.3f %9.1f %9.3f" % ("  urdu diacritize (file to file)",
                                       cli_wall, mb / cli_wall, cli_cpu))
    print("  ratio package / command line: %.2f new str, %.2f again" %
          (first_wall / cli_wall, py_wall / cli_wall))


if __name__ == "__main__":
    main(*sys.argv[1:])
