#!/usr/bin/env python3
"""Times the engine's UCI answers as a front end sees them, through pipes.

Prints, for the engine given (default build/tarnock):
  - the start-up time to "uciok", and to the first "readyok" after it (the
    hash tables are touched in the background meanwhile);
  - the time from "go" to "bestmove" for clocks of 10, 50 and 1000 ms;
  - the speed (nodes per second) and the page faults of the first and the
    second search after "ucinewgame", with the default 256 MB table.

Figures are wall-clock and depend on the machine's load: compare runs made
one after the other. Standard library only (Linux: /proc for page faults).

    python3 tools/uci_timing.py [--engine build/tarnock] [--repeat 5]
"""

import argparse
import statistics
import subprocess
import time

POSITIONS = [
    "startpos",
    "startpos moves e2e4 c7c5 g1f3 d7d6 d2d4 c5d4 f3d4 g8f6 b1c3 a7a6",
    "fen r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "fen 8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
]


class Engine:
    def __init__(self, path):
        self.start = time.perf_counter()
        self.proc = subprocess.Popen([path], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)

    def send(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()

    def until(self, prefix):
        """Lines up to and including the first that starts with prefix."""
        lines = []
        while True:
            line = self.proc.stdout.readline()
            if not line:
                raise RuntimeError("engine ended while waiting for " + prefix)
            lines.append(line.strip())
            if line.startswith(prefix):
                return lines

    def sync(self):
        self.send("isready")
        self.until("readyok")

    def minor_faults(self):
        with open("/proc/%d/stat" % self.proc.pid) as f:
            return int(f.read().rsplit(")", 1)[1].split()[7])

    def huge_pages_kb(self):
        try:
            with open("/proc/%d/smaps_rollup" % self.proc.pid) as f:
                for line in f:
                    if line.startswith("AnonHugePages:"):
                        return int(line.split()[1])
        except OSError:
            pass
        return None

    def quit(self):
        self.send("quit")
        self.proc.wait(timeout=30)


def last_info(lines):
    """(nodes, milliseconds) of the last info line with both."""
    for line in reversed(lines):
        words = line.split()
        if words[:1] == ["info"] and "nodes" in words and "time" in words:
            return int(words[words.index("nodes") + 1]), int(words[words.index("time") + 1])
    return None


def summary(values, unit):
    values = sorted(values)
    return "min %.1f  median %.1f  max %.1f %s" % (values[0], statistics.median(values), values[-1], unit)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--engine", default="build/tarnock")
    parser.add_argument("--repeat", type=int, default=5, help="processes or games per figure")
    parser.add_argument("--movetime", type=int, default=1000, help="ms per search for the speed figures")
    args = parser.parse_args()

    # Start-up: process start to "uciok", and to the first "readyok".
    uciok, readyok = [], []
    for _ in range(args.repeat):
        engine = Engine(args.engine)
        engine.send("uci")
        engine.until("uciok")
        uciok.append((time.perf_counter() - engine.start) * 1000)
        engine.sync()
        readyok.append((time.perf_counter() - engine.start) * 1000)
        huge = engine.huge_pages_kb()
        engine.quit()
    print("start-up to uciok:          " + summary(uciok, "ms"))
    print("start-up to first readyok:  " + summary(readyok, "ms"))
    if huge is not None:
        print("huge pages in use:          %d MB" % (huge // 1024))

    # Clocks: "go" to "bestmove" with the own clock at 10, 50 and 1000 ms.
    engine = Engine(args.engine)
    engine.send("uci")
    engine.until("uciok")
    engine.sync()
    for clock in (10, 50, 1000):
        answers = []
        for i in range(args.repeat * len(POSITIONS)):
            engine.send("position " + POSITIONS[i % len(POSITIONS)])
            engine.sync()
            start = time.perf_counter()
            engine.send("go wtime %d btime %d" % (clock, clock))
            engine.until("bestmove")
            answers.append((time.perf_counter() - start) * 1000)
        print("go wtime %4d, to bestmove: %s" % (clock, summary(answers, "ms")))
    engine.quit()

    # Speed of the first and second search of a game, 256 MB table.
    engine = Engine(args.engine)
    engine.send("uci")
    engine.until("uciok")
    engine.sync()
    speeds = ([], [])
    faults = ([], [])
    for game in range(args.repeat):
        engine.send("ucinewgame")
        engine.sync()
        # The same position twice: only what the first search pays for
        # (page faults, a clear) tells the two apart.
        for search in range(2):
            engine.send("position " + POSITIONS[game % len(POSITIONS)])
            engine.sync()
            before = engine.minor_faults()
            engine.send("go movetime %d" % args.movetime)
            nodes, ms = last_info(engine.until("bestmove")) or (0, 0)
            faults[search].append(engine.minor_faults() - before)
            speeds[search].append(nodes / max(ms, 1))
    engine.quit()
    for search, name in enumerate(("first", "second")):
        print("%-6s search after ucinewgame: %s, page faults %s" % (
            name, summary(speeds[search], "knps"), summary(faults[search], "")))


if __name__ == "__main__":
    main()
