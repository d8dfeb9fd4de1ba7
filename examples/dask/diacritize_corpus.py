#!/usr/bin/env python3
"""Diacritizes a folder of UTF-8 texts with Dask, on this machine or a cluster.

    diacritize_corpus.py [options] INPUT_FOLDER OUTPUT_FOLDER

Every file under INPUT_FOLDER gives the file of the same relative path under
OUTPUT_FOLDER, byte for byte what `urdu diacritize --normalize FILE` writes
(`--no-normalize`: what `urdu diacritize FILE` writes). OUTPUT_FOLDER also
gets report.tsv and stats.tsv, the report and the counts of the whole
corpus in the formats of `urdu diacritize --report` and `--stats`
(doc/stats.md): what `urdu report merge` makes of the files' own.

The files are the elements of a dask.bag; a task reads one, diacritizes
it, writes its output (a temporary file beside it, then renamed into
place) and returns its counts, which the bag adds up. By default the bag
runs on a distributed.LocalCluster of --workers processes of --threads
threads; `--scheduler tcp://HOST:PORT` runs it on a running cluster
instead, whose workers must see both folders at the same paths and import
urdulex (examples/dask/README.md).
"""

import argparse
import os
import sys
import threading
import time

PROGRAM = "diacritize_corpus.py"

try:
    import dask.bag
    import distributed
    import urdulex
except ImportError as e:
    sys.exit("%s: %s (Dask comes with Debian's python3-dask and "
             "python3-distributed, urdulex with pip install or "
             "PYTHONPATH=build/python)" % (PROGRAM, e))
REPORT = "report.tsv"
STATS = "stats.tsv"


class Job:
    """What every task needs: the folders and the diacritizer's options."""

    def __init__(self, source, target, table, ambiguous, normalize):
        self.source = source
        self.target = target
        self.table = table  # None: the worker's shipped table
        self.ambiguous = ambiguous
        self.normalize = normalize


def worker_table(path):
    """The word-form table at `path` (None: the shipped one), opened once in
    each worker: the table is a mapped file, shared by the worker's
    threads."""
    try:
        worker = distributed.get_worker()
    except ValueError:  # not in a worker (a test calling the task itself)
        worker = sys.modules[__name__]
    tables = worker.__dict__.setdefault("urdulex_tables", {})
    table = tables.get(path)
    if table is None:
        table = tables.setdefault(path, urdulex.WordFormTable(path))
    return table


def decode(data, name):
    """The text of a file as `urdu` reads it: UTF-8, a leading byte-order
    mark skipped; UTF-16 after its mark."""
    if data.startswith((b"\xff\xfe\x00\x00", b"\x00\x00\xfe\xff")):
        raise urdulex.Error("%s: UTF-32 is not read" % name)
    if data.startswith((b"\xff\xfe", b"\xfe\xff")):
        return data.decode("utf-16")
    try:
        return data.decode("utf-8-sig")
    except UnicodeDecodeError as e:
        raise urdulex.Error("%s: byte offset %d: invalid UTF-8"
                            % (name, e.start)) from None


def write_atomically(path, data):
    """Writes `data` to a new file beside `path`, then renames it into
    place: a reader sees the old file or the whole new one."""
    folder = os.path.dirname(path)
    os.makedirs(folder, exist_ok=True)
    temporary = os.path.join(folder, ".%s.%d.%d.tmp" % (
        os.path.basename(path), os.getpid(), threading.get_ident()))
    try:
        with open(temporary, "xb") as f:
            f.write(data)
        os.replace(temporary, path)
    except BaseException:
        if os.path.exists(temporary):
            os.unlink(temporary)
        raise


def diacritize_file(relative, job):
    """Diacritizes one file into the output folder; its counts."""
    source = os.path.join(job.source, relative)
    table = worker_table(job.table)
    with open(source, "rb") as f:
        text = decode(f.read(), source)
    output, coverage = table.diacritize_counted(
        text, ambiguous=job.ambiguous, normalize=job.normalize, lists=True)
    write_atomically(os.path.join(job.target, relative),
                     output.encode("utf-8"))
    return coverage


def add_up(coverages):
    """The sum of `coverages`, added in place: a fold with `+` would copy
    the growing sum at every file."""
    total = urdulex.Coverage()
    for coverage in coverages:
        total += coverage
    return total


def corpus_files(folder):
    """The relative paths of the files under `folder`, the largest first, so
    that no large file starts last."""
    found = []
    for root, folders, files in os.walk(folder):
        folders.sort()
        for name in files:
            path = os.path.join(root, name)
            if os.path.isfile(path):
                found.append((os.path.getsize(path),
                              os.path.relpath(path, folder)))
    found.sort(key=lambda entry: (-entry[0], entry[1]))
    return [relative for _, relative in found]


def arguments(argv):
    parser = argparse.ArgumentParser(
        prog=PROGRAM, description=__doc__.split("\n\n")[1],
        formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("input", help="folder of UTF-8 texts")
    parser.add_argument("output", help="folder of the outputs")
    parser.add_argument("--table", help="word-form table (default: the "
                        "shipped one, found by each worker)")
    parser.add_argument("--ambiguous", default="context",
                        choices=("context", "first", "common", "keep", "all"),
                        help="what a word of several forms becomes "
                        "(as urdu diacritize --ambiguous)")
    parser.add_argument("--no-normalize", dest="normalize",
                        action="store_false",
                        help="the text's letters with the table's marks, "
                        "as urdu diacritize without --normalize")
    parser.add_argument("--scheduler", metavar="tcp://HOST:PORT",
                        help="the scheduler of a running cluster (default: "
                        "a LocalCluster of this machine)")
    parser.add_argument("--workers", type=int, default=2,
                        help="processes of the LocalCluster (default 2)")
    parser.add_argument("--threads", type=int, default=1,
                        help="threads of each (default 1)")
    return parser.parse_args(argv)


def diacritize_files(files, job, args):
    """Diacritizes the files on the cluster; the sum of their coverages."""
    if args.scheduler:
        client = distributed.Client(args.scheduler)
        cluster = None
    else:
        cluster = distributed.LocalCluster(
            n_workers=args.workers, threads_per_worker=args.threads,
            dashboard_address=None)
        client = distributed.Client(cluster)
    try:
        # A partition a file while there are few: the scheduler hands the
        # next to whichever worker is free.
        bag = dask.bag.from_sequence(files, npartitions=min(len(files), 1000))
        return bag.map(diacritize_file, job).reduction(
            add_up, add_up).compute()
    finally:
        client.close()
        if cluster is not None:
            cluster.close()


def run(args):
    source = os.path.abspath(args.input)
    target = os.path.abspath(args.output)
    if not os.path.isdir(source):
        raise urdulex.Error("no folder %s" % args.input)
    real_source, real_target = map(os.path.realpath, (source, target))
    if os.path.commonpath([real_source, real_target]) == real_source:
        raise urdulex.Error("the output folder %s is the input folder or in "
                            "it" % args.output)
    files = corpus_files(source)
    for name in (REPORT, STATS):
        if name in files:
            raise urdulex.Error("%s: an input named as the %s of the corpus"
                                % (os.path.join(args.input, name),
                                   name.split(".")[0]))
    table = os.path.abspath(args.table) if args.table else None
    urdulex.WordFormTable(table)  # a wrong table fails here, not in a task
    job = Job(source, target, table, args.ambiguous, args.normalize)
    coverage = urdulex.Coverage()  # no counts, empty lists: no files
    if files:
        coverage = diacritize_files(files, job, args)
    os.makedirs(target, exist_ok=True)
    for name, text in ((REPORT, coverage.report()),
                       (STATS, coverage.stats())):
        write_atomically(os.path.join(target, name), text.encode("utf-8"))
    return len(files), coverage


def main(argv=None):
    args = arguments(argv)
    start = time.monotonic()
    try:
        files, coverage = run(args)
    except (urdulex.Error, OSError) as e:
        print("%s: %s" % (PROGRAM, e), file=sys.stderr)
        return 1
    print("%s: %d files, %d Urdu words, %d known, %d unknown; %.1f s"
          % (PROGRAM, files, coverage.words, coverage.known, coverage.unknown,
             time.monotonic() - start), file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
