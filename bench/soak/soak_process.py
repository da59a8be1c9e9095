#!/usr/bin/env python3
"""Runs a program as a soak: follows its progress lines on standard error
("... (DONE/TOTAL, ...)", as the tools print them into a pipe), reads its
resident memory (VmRSS) from /proc as they come, and judges the readings as
memory_trend.py says. The program's own output goes to standard error; the
exit status is 1 on FAIL, when the program fails, or when it printed no
progress.

    soak_process.py [--settle SECONDS] [--name NAME] [--unit UNIT] -- PROGRAM ARGUMENTS...
"""

import argparse
import re
import subprocess
import sys
import time

from memory_trend import MemoryTrend

PROGRESS = re.compile(r"\((\d+)/(\d+)[,)]")


def resident_kib(pid):
    try:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--settle", type=float, default=60.0,
                        help="seconds before the base reading (default 60)")
    parser.add_argument("--name", default="soak", help="name on the lines printed")
    parser.add_argument("--unit", default="frames", help="what the progress counts (default frames)")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no program to run")
    began = time.monotonic()
    child = subprocess.Popen(command, stdout=sys.stderr, stderr=subprocess.PIPE, text=True, bufsize=1)
    trend = None
    last = None  # the latest (done, KiB) seen
    for line in child.stderr:
        sys.stderr.write(line)
        match = PROGRESS.search(line)
        if not match:
            continue
        done, total = int(match.group(1)), int(match.group(2))
        kib = resident_kib(child.pid)
        if not kib:
            continue
        if trend is None:
            trend = MemoryTrend(args.name, args.unit, total, args.settle, began)
        last = (done, kib)
        if trend.due(done):
            trend.take(done, kib)
    child.wait()
    if child.returncode != 0:
        print(f"{args.name}: {command[0]} failed with status {child.returncode}", flush=True)
        return 1
    if trend is None:
        print(f"{args.name}: {command[0]} printed no progress to follow", flush=True)
        return 1
    if trend.readings[-1][0] != last[0]:
        trend.take(*last)
    return 0 if trend.finish() else 1


if __name__ == "__main__":
    sys.exit(main())
