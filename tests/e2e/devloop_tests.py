#!/usr/bin/env python3
"""The developer loop end to end: a game made from the dotnet new template in a
folder outside the repository, built with dotnet build and run by the built
runtime with the real script host; hot reload under --watch; a run recorded in
an X window (Xvfb, xdotool input) and replayed headless with --compare.

Environment: QUORVANE_EXE (the built runtime), QUORVANE_SOURCE_DIR (the checkout).
"""
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import zlib

RUNTIME = os.environ.get("QUORVANE_EXE", "build/linux/quorvane")
SOURCE = os.environ.get("QUORVANE_SOURCE_DIR", os.getcwd())
TEMPLATE = os.path.join(SOURCE, "templates", "quorvane-game")
FLOOR = "#3c6e3c"


def read_png_rgb(path):
    """(width, height, rows of (r, g, b)) of an 8-bit RGB or RGBA PNG, as the runtime writes them."""
    with open(path, "rb") as file:
        data = file.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", path
    pos, idat, width, height, channels = 8, b"", 0, 0, 3
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            assert depth == 8 and colour in (2, 6)
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = previous[i]
            c = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(line)
        previous = line
    return width, height, lambda x, y: tuple(rows[y][x * channels:x * channels + 3])


def runtime_env():
    env = dict(os.environ)
    env.pop("DOTNET_ROOT", None)
    return env


class Running:
    """The runtime as a child whose output lines are collected while it runs."""

    def __init__(self, args, env=None, cwd=None):
        self.lines = []
        self.process = subprocess.Popen([RUNTIME] + args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        env=env or runtime_env(), cwd=cwd, text=True)
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.append(line.rstrip("\n"))

    def output(self):
        return "\n".join(self.lines)

    def wait_for(self, text, seconds):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if text in self.output():
                return True
            if self.process.poll() is not None:
                self.reader.join(5)
                return text in self.output()
            time.sleep(0.1)
        return False

    def stop(self, seconds=60):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            code = self.process.wait(seconds)
        except subprocess.TimeoutExpired:
            self.process.kill()
            code = self.process.wait()
        self.reader.join(5)
        self.process.stdout.close()
        return code


def run(args, seconds=120, **kw):
    return subprocess.run(args, capture_output=True, text=True, timeout=seconds, **kw)


class DevLoop(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="quorvane-devloop-")
        assert not os.path.realpath(cls.root).startswith(os.path.realpath(SOURCE))
        # The template is installed for this test only.
        cls.cli_env = dict(os.environ, DOTNET_CLI_HOME=os.path.join(cls.root, "cli-home"),
                           DOTNET_NOLOGO="1", DOTNET_CLI_TELEMETRY_OPTOUT="1")
        installed = run(["dotnet", "new", "install", TEMPLATE], env=cls.cli_env)
        assert installed.returncode == 0, installed.stdout + installed.stderr
        cls.game = os.path.join(cls.root, "games", "Skyline")
        created = run(["dotnet", "new", "quorvane-game", "-n", "Skyline", "-o", cls.game,
                       "--quorvane-root", SOURCE], env=cls.cli_env)
        assert created.returncode == 0, created.stdout + created.stderr
        built = run(["dotnet", "build", "-nologo", "-v", "q"], seconds=600, cwd=cls.game)
        assert built.returncode == 0, built.stdout + built.stderr

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.root, name)

    def test_1_template_game_has_the_parts_and_runs_headless(self):
        for part in ("project.json", "Skyline.csproj", "MainGame.cs", "PlayScene.cs", "assets/player.png"):
            self.assertTrue(os.path.exists(os.path.join(self.game, part)), part)
        shot = self.path("template.png")
        result = run([RUNTIME, "--headless", "--frames", "30", "--screenshot", shot, self.game], env=runtime_env(),
                     cwd=self.root)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("[Info] Running project: Skyline", result.stdout)
        width, height, pixel = read_png_rgb(shot)
        self.assertEqual((width, height), (960, 540))
        self.assertEqual(pixel(480, 500), (0x3c, 0x6e, 0x3c))  # the floor
        self.assertEqual(pixel(480, 200), (0x20, 0x30, 0x40))  # the sky, project.json's background

    def test_2_watch_reloads_new_code_and_keeps_it_when_a_build_fails(self):
        work = self.path("watched")
        shutil.copytree(self.game, work)
        scene = os.path.join(work, "PlayScene.cs")
        shot = self.path("watch.png")
        running = Running(["--headless", "--watch", work, "--screenshot", shot], cwd=self.root)
        try:
            self.assertTrue(running.wait_for("Running project: Skyline", 60), running.output())
            self.assertIn("Watching " + work, running.output())
            with open(scene) as file:
                code = file.read()
            with open(scene, "w") as file:
                file.write(code.replace(FLOOR, "#c83232"))
            self.assertTrue(running.wait_for("Hot reload 1: first frame of the new code", 300), running.output())
            with open(scene, "w") as file:
                file.write(code.replace(FLOOR, "#c83232").replace("public override void Draw", "public override void Drwa("))
            self.assertTrue(running.wait_for("the old code keeps running", 300), running.output())
            self.assertRegex(running.output(), r"PlayScene\.cs\(\d+,\d+\): error CS\d+")
            time.sleep(1)
            self.assertIsNone(running.process.poll(), "the runtime ended after the failed build")
        finally:
            code = running.stop()
        self.assertEqual(code, 0, running.output())
        self.assertNotIn("Hot reload 2", running.output())
        _, _, pixel = read_png_rgb(shot)
        self.assertEqual(pixel(480, 500), (0xc8, 0x32, 0x32), "the frame after the failed build still shows the new floor")

    def test_3_recorded_window_run_replays_headless_to_the_same_pixels(self):
        display, xvfb = os.environ.get("DISPLAY"), None
        if not display:
            for n in range(150, 200):
                if not os.path.exists(f"/tmp/.X11-unix/X{n}") and not os.path.exists(f"/tmp/.X{n}-lock"):
                    display = f":{n}"
                    break
            xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for _ in range(100):
                if os.path.exists(f"/tmp/.X11-unix/X{display[1:]}"):
                    break
                time.sleep(0.05)
        env = dict(runtime_env(), DISPLAY=display)
        record, shot = self.path("run.replay"), self.path("recorded.png")
        try:
            running = Running(["--record", record, "--screenshot", shot, self.game], env=env, cwd=self.root)
            window = ""
            for _ in range(300):
                found = run(["xdotool", "search", "--pid", str(running.process.pid)], env=env)
                window = found.stdout.split("\n")[0].strip()
                if window:
                    break
                time.sleep(0.1)
            self.assertTrue(window, "the window did not appear: " + running.output())
            self.assertTrue(running.wait_for("Running project: Skyline", 60), running.output())
            # Without a window manager the keyboard follows the pointer.
            run(["xdotool", "mousemove", "--window", window, "300", "200"], env=env)
            time.sleep(0.3)
            run(["xdotool", "keydown", "Right"], env=env)
            time.sleep(0.8)
            run(["xdotool", "keyup", "Right"], env=env)
            run(["xdotool", "keydown", "Up"], env=env)
            time.sleep(0.4)
            run(["xdotool", "keyup", "Up"], env=env)
            time.sleep(0.3)
            self.assertEqual(running.stop(), 0, running.output())
        finally:
            if xvfb:
                xvfb.terminate()
                xvfb.wait()
        with open(record) as file:
            lines = file.read().split("\n")
        self.assertEqual(lines[0], "QUORVANE-REPLAY|1")
        self.assertEqual(lines[1], "GAME|Skyline|Skyline.MainGame")
        self.assertRegex(lines[2], r"^SEED\|\d+$")
        frames = [line for line in lines if line.startswith("FRAME|")]
        self.assertTrue(any(line.split("|")[2] == "39" for line in frames), "Right was not recorded")
        self.assertEqual(lines[-2], f"END|{len(frames)}")

        replayed = run([RUNTIME, "--headless", "--replay", record, "--compare", shot, self.game],
                       env=runtime_env(), cwd=self.root)
        self.assertEqual(replayed.returncode, 0, replayed.stdout + replayed.stderr)
        self.assertIn(" 0 of 518400 pixels differ", replayed.stdout)
        self.assertFalse(os.path.exists(self.path("recorded.diff.png")))

        # The player walked right: a plain run's last frame is not the recorded one.
        other = run([RUNTIME, "--headless", "--frames", str(len(frames)), "--compare", shot, self.game],
                    env=runtime_env(), cwd=self.root)
        self.assertEqual(other.returncode, 3, other.stdout + other.stderr)
        self.assertIn("[Error] The last frame does not match ", other.stderr)
        self.assertTrue(os.path.exists(self.path("recorded.diff.png")))

        # Files that do not fit are refused before a window opens.
        body = "\n".join(lines)
        cases = {
            "other-game": (body.replace("GAME|Skyline|Skyline.MainGame", "GAME|BasicGame|BasicGame.MainGame"),
                           "was recorded with another game (BasicGame, BasicGame.MainGame), not with Skyline (Skyline.MainGame)."),
            "truncated": ("\n".join(lines[:len(lines) // 2]) + "\n",
                          "is truncated: it ends after "),
            "version": (body.replace("QUORVANE-REPLAY|1", "QUORVANE-REPLAY|7", 1),
                        "has format version 7; this runtime reads version 1."),
            "not-a-replay": ("hello\n", "is not a Quorvane replay file"),
        }
        for name, (text, message) in cases.items():
            with self.subTest(name):
                bad = self.path(name + ".replay")
                with open(bad, "w") as file:
                    file.write(text)
                result = run([RUNTIME, "--headless", "--replay", bad, self.game], env=runtime_env(), cwd=self.root)
                self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
                self.assertIn("[Error] The replay file " + bad if name != "not-a-replay" else "[Error] " + bad, result.stderr)
                self.assertIn(message, result.stderr)
                self.assertNotIn("Running project", result.stdout)


if __name__ == "__main__":
    unittest.main(verbosity=2)
