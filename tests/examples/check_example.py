# SPDX-License-Identifier: Zlib
"""Runs one example for a few frames on the current X display and checks its
screenshot (and what it printed or wrote) for what that example is about.
NAME first_program builds and runs the README's first program instead;
--no-input runs an example that reads a file without one, on the file it makes.
Usage: check_example.py NAME BIN_DIR [--no-input] [--save FILE.png]   (exit 77: skipped)"""
import os
import re
import struct
import subprocess
import sys
import tempfile
import time

from PIL import Image

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SAMPLE_3DS = os.path.join(ROOT, "build-samples", "assimp-3ds", "fels.3ds")  # a rock


def make_tile(folder, bin_dir, kind="bmp"):
    """A 64 x 64 image in four colours: red and green on top, blue and yellow below."""
    image = Image.new("RGB", (64, 64))
    for (x, y), colour in {(0, 0): (255, 0, 0), (32, 0): (0, 255, 0),
                           (0, 32): (0, 0, 255), (32, 32): (255, 255, 0)}.items():
        image.paste(colour, (x, y, x + 32, y + 32))
    path = os.path.join(folder, "tile." + kind)
    image.save(path)
    return path


def make_package(folder, bin_dir):
    tile = make_tile(folder, bin_dir)
    notes = os.path.join(folder, "notes.txt")
    with open(notes, "w") as out:
        out.write("made with qpak\n")
    package = os.path.join(folder, "assets.pak")
    subprocess.run([os.path.join(bin_dir, "qpak"), "create", package, tile, notes], check=True)
    os.remove(tile)  # the example must take the image out of the package
    return package


def make_tone(folder, bin_dir):
    path = os.path.join(folder, "tone.wav")
    subprocess.run(["sox", "-n", "-r", "22050", "-c", "1", "-b", "16", path, "synth", "1", "sine", "440"],
                   check=True)
    return path


def build_first_program(folder, bin_dir):
    """Builds the README's first program with the README's own command line."""
    section = open(os.path.join(ROOT, "README.md")).read().split("## Your first program")[1]
    with open(os.path.join(folder, "first.cpp"), "w") as out:
        out.write(re.search(r"```cpp\n(.*?)```", section, re.S).group(1))
    os.symlink(os.path.join(ROOT, "include"), os.path.join(folder, "include"))
    os.mkdir(os.path.join(folder, "build"))
    os.symlink(bin_dir, os.path.join(folder, "build", "bin"))
    subprocess.run(["bash", "-c", re.search(r"^    (g\+\+ first\.cpp .*)$", section, re.M).group(1)],
                   cwd=folder, check=True)
    return os.path.join(folder, "first")


# Each entry: the input maker (or None), and pixel checks: (box, colour,
# tolerance, fewest pixels); boxes are (left, top, right, bottom).
CHECKS = {
    "first_program": (None, [((40, 60, 400, 110), (255, 217, 51), 40, 300)]),
    "hello_window": (None, [((40, 60, 400, 110), (255, 217, 51), 40, 300),   # yellow greeting
                            ((40, 120, 300, 170), (255, 255, 255), 40, 100)]),  # white "FPS:"
    "primitives": (None, [((0, 0, 1024, 768), (210, 45, 45), 80, 3000),       # sphere
                          ((0, 0, 1024, 768), (45, 185, 70), 80, 1000),       # cylinder
                          ((0, 0, 1024, 768), (70, 90, 220), 80, 1000)]),     # box
    "textures": (lambda folder, bin_dir: make_tile(folder, bin_dir, "png"), [((130, 265, 230, 365), (255, 0, 0), 40, 9000),   # the quad, upright
                             ((260, 265, 360, 365), (0, 255, 0), 40, 9000),
                             ((130, 400, 230, 500), (0, 0, 255), 40, 9000),
                             ((260, 400, 360, 500), (255, 255, 0), 40, 9000),
                             ((600, 230, 930, 540), (255, 0, 0), 40, 2000)]),  # reflected by the ball
    "bump_dot3": (None, [((312, 184, 712, 584), (255, 255, 255), 60, 2000),   # lit bumps
                         ((312, 184, 712, 584), (0, 0, 0), 40, 2000)]),       # shaded sides
    "model_viewer": (lambda folder, bin_dir: SAMPLE_3DS, [((150, 30, 874, 738), (240, 190, 100), 110, 20000),
                                                          ((0, 0, 120, 120), (64, 77, 89), 2, 14000),  # room around it
                                                          ((904, 648, 1024, 768), (64, 77, 89), 2, 14000)]),
    "console": (None, [((0, 0, 1024, 200), (128, 128, 128), 2, 100000),        # the grey panel
                       ((0, 0, 1024, 220), (255, 255, 255), 0, 1000),         # its white text
                       ((0, 230, 1024, 768), (179, 51, 51), 10, 300000)]),    # painted red
    "sound": (make_tone, [((0, 0, 1024, 768), (51, 230, 230), 90, 1000)]),    # the source ball
    "package_assets": (make_package, [((600, 200, 728, 328), (255, 0, 0), 40, 10000),
                               ((728, 328, 856, 456), (255, 255, 0), 40, 10000),
                               ((60, 70, 400, 170), (153, 255, 153), 40, 300)]),  # entry names
    "render_to_texture": (None, [((312, 184, 712, 584), (255, 128, 0), 40, 20000),  # pbuffer's clear
                                 ((412, 284, 612, 484), (26, 153, 26), 40, 2000)]),  # its box
    "frustum": (None, [((20, 20, 400, 60), (255, 255, 0), 0, 200),
                       ((0, 100, 1024, 768), (128, 122, 204), 130, 100000)]),  # the boxes
    "particles": (None, [((312, 100, 712, 700), (102, 200, 255), 80, 500)]),
    "first_person": (None, [((0, 0, 1280, 250), (115, 166, 230), 10, 150000),     # sky, 1280 x 720
                            ((440, 30, 840, 75), (255, 255, 255), 40, 200),       # the centred title
                            ((0, 480, 1280, 720), (60, 100, 50), 60, 100000),     # lit ground
                            ((630, 350, 651, 371), (255, 255, 255), 40, 20)]),    # crosshair
    # The Python examples (examples/python/), run by the interpreter over this build's library.
    "hello_text.py": (None, [((40, 60, 400, 110), (255, 217, 51), 40, 300),   # yellow greeting
                             ((40, 120, 300, 170), (255, 255, 255), 40, 100)]),  # white "FPS:"
    "lit_scene.py": (None, [((200, 240, 500, 520), (255, 144, 48), 70, 8000),   # the ball's orange squares
                            ((200, 240, 500, 520), (255, 255, 255), 40, 5000),  # and white ones, lit
                            ((560, 320, 820, 540), (255, 144, 48), 70, 5000),   # the crate
                            ((0, 0, 1024, 768), (51, 230, 230), 90, 1000)]),    # the humming source
}

# Typed into the window, which then ends on Escape instead of a frame count.
TYPED = {"console": "paint red", "first_program": ""}
# Keys pressed in the window, each waited for by the file it makes.
KEYS = {"first_person": [("F12", "first_person.png")]}
TITLES = {"first_person": "Quelt first person"}

# What each example must print (stdout) or write.
OUTPUT = {
    "hello_window": r"last FPS: \d+",
    "sound": r"playing .*tone\.wav",
    "package_assets": r"entry: (quelt-example-)?tile\.bmp\nentry: (quelt-example-)?notes\.txt",
    "frustum": r"visible (\d+) of 4096 boxes",
    "first_person": r"streaming .*tune\.wav(.|\n)*saved first_person\.png",
    "hello_text.py": r"last FPS: \d+",
}


def type_into_window(text, screenshot=None, title="OpenGL", keys=(), folder=None):
    """Types a line into the window once it is up (and takes a picture of the
    screen when asked), presses keys, waiting for the file each makes, then
    taps Escape."""
    xdotool = lambda *arguments: subprocess.run(["xdotool", *arguments], check=True, capture_output=True, timeout=30)
    xdotool("search", "--sync", "--name", title)
    time.sleep(1)  # the init procedure has run
    for key, made in keys:
        xdotool("key", key)
        path = os.path.join(folder, made)
        for _ in range(300):
            if os.path.exists(path):
                break
            time.sleep(0.1)
    if text:
        xdotool("type", "--delay", "30", text)
        xdotool("key", "Return")
        time.sleep(0.5)
    if screenshot:
        subprocess.run(["import", "-window", "root", screenshot], check=True, timeout=30)
    xdotool("key", "Escape")  # a tap: the key procedure sees it, however short


def count(image, box, colour, tolerance):
    region = image.crop(box).getdata()
    return sum(1 for pixel in region if max(abs(a - b) for a, b in zip(pixel, colour)) <= tolerance)


def sound_was_heard(wave_file):
    """OpenAL Soft's wave driver writes 32-bit float samples: any loud one will do."""
    if not os.path.exists(wave_file):
        return False
    data = open(wave_file, "rb").read()
    body = data[data.find(b"data") + 8:]
    return any(abs(sample) > 0.05 for (sample,) in struct.iter_unpack("<f", body[:len(body) // 4 * 4]))


def main():
    name, bin_dir, options = sys.argv[1], os.path.abspath(sys.argv[2]), sys.argv[3:]
    save = options[options.index("--save") + 1] if "--save" in options else None
    no_input = "--no-input" in options
    make_input, checks = CHECKS[name]
    if no_input:  # it makes the same picture from the file it makes
        make_input = None
    with tempfile.TemporaryDirectory(prefix="example") as folder:
        env = dict(os.environ)
        arguments = []
        if make_input:
            path = make_input(folder, bin_dir)
            if not os.path.exists(path):
                print(f"{path} is missing: run scripts/fetch-3ds-samples")
                return 77
            arguments.append(path)
        wave = os.path.join(folder, "heard.wav")
        with open(os.path.join(folder, "alsoft.conf"), "w") as conf:
            conf.write(f"[wave]\nfile = {wave}\n")
        env.update(ALSOFT_DRIVERS="wave", ALSOFT_CONF=os.path.join(folder, "alsoft.conf"))
        shot = os.path.join(folder, "shot.png")
        if name == "first_program":
            command = [build_first_program(folder, bin_dir)]
        elif name.endswith(".py"):
            env.update(PYTHONPATH=os.path.join(ROOT, "bindings", "python"), PYTHONDONTWRITEBYTECODE="1",
                       QUELT_LIBRARY=os.path.join(bin_dir, "libQuelt.so"),
                       QUELT_API_JSON=os.path.join(os.path.dirname(bin_dir), "quelt-api.json"))
            command = ["/usr/bin/python3", os.path.join(ROOT, "examples", "python", name), "--frames", "60",
                       "--screenshot", shot]
        else:
            frames = [] if name in TYPED or name in KEYS else ["--frames", "60"]
            command = [os.path.join(bin_dir, name), *arguments, *frames, "--screenshot", shot]
        example = subprocess.Popen(command, cwd=folder, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                   text=True)
        try:
            if name in TYPED or name in KEYS:
                type_into_window(TYPED.get(name, ""), shot if name == "first_program" else None,
                                 TITLES.get(name, "OpenGL"), KEYS.get(name, ()), folder)
            out, err = example.communicate(timeout=100)
        finally:
            example.kill()
        print(out, err, sep="")
        failures = [] if example.returncode == 0 else [f"exit status {example.returncode}"]
        if name in OUTPUT and not re.search(OUTPUT[name], out, re.M):
            failures.append(f"output does not match {OUTPUT[name]!r}")
        culled = re.search(OUTPUT["frustum"], out)
        if name == "frustum" and culled and not 0 < int(culled.group(1)) < 4096:
            failures.append(f"{culled.group(1)} boxes visible: the frustum is not culling")
        if name in ("sound", "lit_scene.py", "first_person") and not sound_was_heard(wave):
            failures.append("the sound device received only silence")
        if name == "particles":
            log = open(os.path.join(folder, "particles.log"), newline="").read()
            if not re.fullmatch(r"fountain started\r\n(\d+\r\n)+fountain stopped\r\n", log):
                failures.append(f"unexpected log: {log!r}")
        for key, made in KEYS.get(name, ()):
            if not os.path.exists(os.path.join(folder, made)):
                failures.append(f"{key} made no {made}")
            elif os.path.exists(shot) and Image.open(os.path.join(folder, made)).size != Image.open(shot).size:
                failures.append(f"{made} is not the size of the frame")
        left = sorted(f for f in os.listdir(folder) if f.startswith("quelt-example-"))
        if left:
            failures.append(f"the files it made are left behind: {left}")
        if os.path.exists(shot):
            image = Image.open(shot).convert("RGB")
            for box, colour, tolerance, fewest in checks:
                found = count(image, box, colour, tolerance)
                if found < fewest:
                    failures.append(f"{found} pixels near {colour} in {box}, expected at least {fewest}")
            if save:
                image.save(save)
        else:
            failures.append("no screenshot")
    for failure in failures:
        print(f"{name}: {failure}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
