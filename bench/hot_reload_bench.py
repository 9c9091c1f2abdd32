#!/usr/bin/env python3
"""Hot reload, measured: a template game under --watch, its floor colour changed
N times (default 20). Prints, per reload, the time from the end of the build to
the first frame drawn by the new code and the host's memory after the old
version was unloaded; then a summary.

    python3 bench/hot_reload_bench.py [reloads]   (after scripts/build linux)
"""
import os
import re
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import devloop_tests as e2e  # noqa: E402

SOURCE = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
e2e.RUNTIME = os.environ.get("QUORVANE_EXE", os.path.join(SOURCE, "build", "linux", "quorvane"))
e2e.SOURCE = SOURCE
e2e.TEMPLATE = os.path.join(SOURCE, "templates", "quorvane-game")
PATTERN = re.compile(r"Hot reload (\d+): first frame of the new code (\d+) ms after the build ended; "
                     r"managed heap (\d+) KiB, working set ([\d.]+) MiB; replaced versions still loaded: (\d+)\.")


def main():
    reloads = int(sys.argv[1]) if len(sys.argv) > 1 else 20
    e2e.DevLoop.setUpClass()
    root = e2e.DevLoop.root
    try:
        game = e2e.DevLoop.game
        scene = os.path.join(game, "PlayScene.cs")
        with open(scene) as file:
            code = file.read()
        running = e2e.Running(["--headless", "--watch", game], cwd=root)
        assert running.wait_for("Running project", 60), running.output()
        results = []
        for n in range(1, reloads + 1):
            colour = "#%02x3232" % (100 + n)
            with open(scene, "w") as file:
                file.write(code.replace(e2e.FLOOR, colour))
            if not running.wait_for(f"Hot reload {n}: ", 300):
                print(running.output())
                raise SystemExit(f"reload {n} did not happen")
            match = [m for m in PATTERN.finditer(running.output()) if int(m.group(1)) == n][0]
            results.append((int(match.group(2)), int(match.group(3)), float(match.group(4)), int(match.group(5))))
            print(f"reload {n:2}: {results[-1][0]:4} ms, heap {results[-1][1]:6} KiB, working set "
                  f"{results[-1][2]:6.1f} MiB, old versions alive {results[-1][3]}", flush=True)
            time.sleep(0.5)
        running.stop()
        latencies = [r[0] for r in results]
        print(f"build end -> first new frame: median {statistics.median(latencies)} ms, max {max(latencies)} ms")
        print(f"managed heap: reload 1 {results[0][1]} KiB, reload {reloads} {results[-1][1]} KiB; "
              f"working set: reload 1 {results[0][2]} MiB, reload {reloads} {results[-1][2]} MiB; "
              f"old versions alive at the end: {results[-1][3]}")
    finally:
        e2e.DevLoop.tearDownClass()


if __name__ == "__main__":
    main()
