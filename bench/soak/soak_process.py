#!/usr/bin/env python3
"""Runs a program as a soak: reads its resident memory (VmRSS) from /proc at
the start, after the first minute (--settle) and at its end (the last reading
before it exits), and says PASS when the end lies within 10% of the reading
after the first minute, FAIL otherwise. The program's own output goes to
standard error; the exit status is 1 on FAIL or when the program fails.

    soak_process.py [--settle SECONDS] [--name NAME] -- PROGRAM ARGUMENTS...
"""

import argparse
import subprocess
import sys
import time


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
                        help="seconds before the reading the end is held against (default 60)")
    parser.add_argument("--name", default="soak", help="name on the lines printed")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no program to run")
    began = time.monotonic()
    child = subprocess.Popen(command, stdout=sys.stderr)
    start = settled = last = 0
    while child.poll() is None:
        reading = resident_kib(child.pid)
        if reading:
            last = reading
            # The start: once the program is up (a second in), not while it execs.
            if not start and time.monotonic() - began >= 1.0:
                start = reading
                print(f"{args.name}: start: resident {start} KiB", flush=True)
            if not settled and time.monotonic() - began >= args.settle:
                settled = reading
                print(f"{args.name}: after {args.settle:.0f} s: resident {settled} KiB", flush=True)
        time.sleep(0.05)
    seconds = time.monotonic() - began
    if child.returncode != 0:
        print(f"{args.name}: {command[0]} failed with status {child.returncode}", flush=True)
        return 1
    base = settled or start
    passed = base > 0 and base * 0.9 <= last <= base * 1.1
    against = "the first minute's" if settled else "the start's"
    change = 100.0 * (last - base) / base if base else 0.0
    print(f"{args.name}: end after {seconds:.0f} s: resident {last} KiB ({change:+.1f}% against {against} "
          f"{base} KiB): {'PASS' if passed else 'FAIL'}", flush=True)
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
