#!/usr/bin/env python3
"""Start-up and memory figures of the program, printed (never asserted).

For each of N starts (default 10): the time from exec until the program logs that it has started
(the key monitor and the sound output are up then; a key pressed from then on sounds), read from
the log's millisecond timestamps, and the dynamic loader's own share (LD_DEBUG=statistics). Then the
resident memory a few seconds after start. Runs headless unless --windows is given (then under the
caller's DISPLAY); all files go to a fresh temporary home.

  bench/lean-startup.py build/default/src/app/tapwell [--windows] [--runs N] [--output null|sdl]
"""
import argparse
import datetime
import os
import re
import statistics
import subprocess
import tempfile
import time


def environment(home):
    env = dict(os.environ)
    env.update({"HOME": home, "XDG_CONFIG_HOME": home + "/config", "XDG_DATA_HOME": home + "/data",
                "XDG_CACHE_HOME": home + "/cache", "XDG_STATE_HOME": home + "/state"})
    return env


def one_start(program, flags, home):
    env = environment(home)
    env["LD_DEBUG"] = "statistics"
    begin = time.time()
    child = subprocess.Popen([program, "--verbose"] + flags, env=env, stderr=subprocess.PIPE,
                             stdout=subprocess.DEVNULL, text=True)
    started = None
    loader = None
    lines = []
    for line in child.stderr:
        lines.append(line)
        m = re.search(r"total startup time in dynamic loader:\s+([0-9,]+) cycles", line)
        if m:
            loader = int(m.group(1).replace(",", ""))
        m = re.match(r"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}) tapwell\[\w+\] \w+: Tapwell started", line)
        if m:
            stamp = datetime.datetime.strptime(m.group(1), "%Y-%m-%d %H:%M:%S.%f").timestamp()
            started = (stamp - begin) * 1000.0
            break
    child.terminate()
    child.wait(10)
    if started is None:
        raise SystemExit("the program did not report its start:\n" + "".join(lines[-20:]))
    return started, loader


def resident(program, flags, home):
    child = subprocess.Popen([program] + flags, env=environment(home),
                             stderr=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    time.sleep(3)
    fields = {}
    with open(f"/proc/{child.pid}/status") as status:
        for line in status:
            key, _, value = line.partition(":")
            if key in ("VmRSS", "RssAnon", "RssFile"):
                fields[key] = int(value.split()[0]) / 1024.0
    with open(f"/proc/{child.pid}/maps") as maps:
        libraries = {line.split()[-1] for line in maps if ".so" in line}
    child.terminate()
    child.wait(10)
    return fields, len(libraries)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--windows", action="store_true")
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--output", default="null")
    args = parser.parse_args()
    flags = ["--audio-output", args.output, "--audio-period", "128"]
    if not args.windows:
        flags.append("--headless")
    with tempfile.TemporaryDirectory() as home:
        one_start(args.program, flags, home)  # the first run fills the page cache
        runs = [one_start(args.program, flags, home) for _ in range(args.runs)]
        starts = [s for s, _ in runs]
        print(f"exec to started: median {statistics.median(starts):.1f} ms, "
              f"min {min(starts):.1f}, max {max(starts):.1f} ({args.runs} starts)")
        cycles = [c for _, c in runs if c]
        if cycles:
            print(f"dynamic loader: median {statistics.median(cycles) / 1e6:.1f} M cycles")
        fields, libraries = resident(args.program, flags, home)
        print("resident after 3 s: " + ", ".join(f"{k} {v:.1f} MB" for k, v in fields.items()) +
              f"; {libraries} shared objects mapped")


if __name__ == "__main__":
    main()
