"""Runs a benchmark's child process once: run(args) returns its wall time
in seconds and its own peak resident memory in KB (wait4 gives the peak of
this one child), and exits the benchmark when the child fails."""
import os
import subprocess
import sys
import time


def run(args):
    start = time.perf_counter()
    child = subprocess.Popen(args, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    if status != 0:
        sys.exit("a run failed: " + " ".join(args))
    return time.perf_counter() - start, usage.ru_maxrss
