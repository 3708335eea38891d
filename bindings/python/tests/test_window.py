# SPDX-License-Identifier: Zlib
"""The engine's window, main loop, textures, models, console and sound, driven from Python."""
import array
import time
import struct
import subprocess

import pytest
from OpenGL import GL
from PIL import Image

import quelt
from conftest import pump_until

IDENTITY = [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1]


def pixel(x, y):
    """The back buffer's colour at (x, y) of the window, bottom-up."""
    return tuple(bytes(GL.glReadPixels(x, y, 1, 1, GL.GL_RGB, GL.GL_UNSIGNED_BYTE)))


def window_size():
    ok, width, height = quelt.get_window_size()
    assert ok
    return width, height


def flat_matrices():
    for matrix in (GL.GL_PROJECTION, GL.GL_MODELVIEW):
        GL.glMatrixMode(matrix)
        GL.glLoadIdentity()


def run_loop(render, frames=3):
    """Runs the main loop, calling render(frame) until frames have been drawn; returns what ran."""
    calls = {"init": 0, "done": 0, "frames": 0}

    def on_render():
        calls["frames"] += 1
        render(calls["frames"])
        if calls["frames"] == frames:
            quelt.stop_main_loop()

    quelt.set_proc_adress(quelt.PROC_INIT, lambda: calls.__setitem__("init", calls["init"] + 1))
    quelt.set_proc_adress(quelt.PROC_RENDER, on_render)
    quelt.set_proc_adress(quelt.PROC_DONE, lambda: calls.__setitem__("done", calls["done"] + 1))
    try:
        quelt.start_main_loop()
    finally:
        for slot in (quelt.PROC_INIT, quelt.PROC_RENDER, quelt.PROC_DONE):
            quelt.set_proc_adress(slot, None)
    return calls


def test_a_frame_drawn_in_the_loop_is_read_back(window):
    seen = {}

    def render(frame):
        GL.glClearColor(0, 0, 1, 1)
        GL.glClear(GL.GL_COLOR_BUFFER_BIT | GL.GL_DEPTH_BUFFER_BIT)
        flat_matrices()
        GL.glColor3f(1, 0, 0)
        GL.glRectf(-0.5, -0.5, 0.5, 0.5)
        width, height = window_size()
        seen[frame] = (pixel(width // 2, height // 2), pixel(2, 2))

    calls = run_loop(render)
    assert calls == {"init": 1, "done": 1, "frames": 3}
    assert seen[3] == ((255, 0, 0), (0, 0, 255))


@pytest.mark.parametrize("slot", ["PROC_INIT", "PROC_RENDER", "PROC_UPDATE"])
def test_an_exception_in_a_callback_ends_the_loop_and_surfaces(window, slot):
    ran = {"render": 0, "done": 0}

    def fail():
        raise KeyError(slot)

    def render():
        ran["render"] += 1
        if ran["render"] == 100:  # a loop the exception did not end
            quelt.stop_main_loop()

    quelt.set_ups(1000)
    quelt.set_proc_adress(quelt.PROC_RENDER, render)
    quelt.set_proc_adress(quelt.PROC_DONE, lambda: ran.__setitem__("done", ran["done"] + 1))
    quelt.set_proc_adress(getattr(quelt, slot), fail)
    try:
        with pytest.raises(KeyError, match=slot):
            quelt.start_main_loop()
    finally:
        for index in range(4):
            quelt.set_proc_adress(index, None)
        quelt.set_ups(0)
    assert ran["done"] == 0 and ran["render"] < 100  # as an exception through the classic loop
    # Nothing is left pending: the next loop runs as usual.
    assert run_loop(lambda frame: None)["done"] == 1


def test_a_texture_loaded_from_png_is_drawn(window, own_folder):
    picture = Image.new("RGB", (8, 8), (255, 0, 0))
    picture.paste((0, 255, 0), (4, 0, 8, 8))
    picture.save(own_folder / "halves.png")
    texture = quelt.create_texture2d(False, "halves.png")
    assert texture != 0
    assert quelt.load_texture(GL.GL_TEXTURE_2D, False, "halves.png")
    assert not quelt.load_texture(GL.GL_TEXTURE_2D, False, "missing.png")

    GL.glClear(GL.GL_COLOR_BUFFER_BIT)
    flat_matrices()
    GL.glEnable(GL.GL_TEXTURE_2D)
    GL.glColor3f(1, 1, 1)
    GL.glBegin(GL.GL_QUADS)
    for u, v in ((0, 0), (1, 0), (1, 1), (0, 1)):
        GL.glTexCoord2f(u, v)
        GL.glVertex2f(2 * u - 1, 2 * v - 1)
    GL.glEnd()
    GL.glDisable(GL.GL_TEXTURE_2D)
    width, height = window_size()
    assert pixel(width // 4, height // 2) == (255, 0, 0)
    assert pixel(3 * width // 4, height // 2) == (0, 255, 0)
    GL.glDeleteTextures([texture])


def write_3ds(path, vertices, faces):
    """A 3DS file holding one triangle mesh, chunk by chunk."""
    def chunk(kind, body):
        return struct.pack("<HI", kind, 6 + len(body)) + body

    points = struct.pack("<H", len(vertices)) + b"".join(struct.pack("<3f", *v) for v in vertices)
    triangles = struct.pack("<H", len(faces)) + b"".join(struct.pack("<4H", *f, 0) for f in faces)
    mesh = chunk(0x4100, chunk(0x4110, points) + chunk(0x4120, triangles))
    editor = chunk(0x3D3D, chunk(0x4000, b"tri\0" + mesh))
    path.write_bytes(chunk(0x4D4D, chunk(0x0002, struct.pack("<I", 3)) + editor))


def test_a_model_is_loaded_and_drawn(window, own_folder):
    # File y is depth: this triangle stands in the screen's plane, point up.
    write_3ds(own_folder / "tri.3ds", [(-1, 0, -1), (1, 0, -1), (0, 0, 1)], [(0, 1, 2)])
    model = quelt.load_model(1, "tri.3ds")
    assert isinstance(model, quelt.IAnimation)
    GL.glClearColor(0, 0, 0, 1)
    GL.glClear(GL.GL_COLOR_BUFFER_BIT)
    flat_matrices()
    GL.glColor3f(1, 1, 1)
    with model:
        model.draw_frame(0)
        width, height = window_size()
        assert pixel(width // 2, height // 3) == (255, 255, 255)
        assert pixel(5, height - 5) == (0, 0, 0)
        lists = model.build_lists(0, 0)
        assert lists != 0
        assert model.build_lists(0, 5) == 0
        GL.glDeleteLists(lists, 1)
    with quelt.load_model(1, "missing.3ds") as empty:  # a model without parts
        assert empty.build_lists(0, 0) == 0


def test_a_console_command_defined_in_python_is_typed(window):
    said = []
    quelt.console_command(lambda argument: said.append(argument), True, "greet")
    quelt.console_enable()
    pump_until(lambda: False, 0.3)  # let the window map and take focus
    subprocess.run(["xdotool", "type", "--delay", "15", "greet the world"], check=True)
    subprocess.run(["xdotool", "key", "Return"], check=True)
    assert pump_until(lambda: said), "the command never ran"
    assert said == ["the world"]


def test_a_sound_is_played_into_a_file(own_folder, monkeypatch):
    # OpenAL Soft's wave driver writes what it mixes into a file, at the pace it plays.
    (own_folder / "alsoft.conf").write_text(f"[wave]\nfile = {own_folder / 'out.wav'}\n")
    monkeypatch.setenv("ALSOFT_CONF", str(own_folder / "alsoft.conf"))
    monkeypatch.setenv("ALSOFT_DRIVERS", "wave")
    subprocess.run(["sox", "-n", "-r", "22050", "-c", "1", "-b", "16", "tone.wav", "synth", "0.5", "sine", "440"],
                   check=True)
    assert quelt.init_open_al("libopenal.so.1")
    assert quelt.is_open_al_created()
    output = own_folder / "out.wav"
    with quelt.create_sound("tone.wav") as sound, quelt.create_source() as source:
        source.set_buffer(sound.get_buffer())
        quelt.listener_pos((0, 0, 0))
        source.set_position((0, 0, 0))
        start = output.stat().st_size
        source.play()
        # The writer goes through stdio: its header reaches the file with the first flushed block.
        assert pump_file(output, 44), "the wave writer wrote no header"
        rate = struct.unpack("<I", output.read_bytes()[28:32])[0]  # the header's bytes a second
        # Wait until the writer has mixed a second past the start: the half-second tone is in.
        assert pump_file(output, start + rate), "the wave writer stopped"
        source.stop()
    quelt.done_open_al()
    subprocess.run(["sox", "out.wav", "-t", "raw", "-e", "signed", "-b", "16", "-c", "1", "out.raw"], check=True)
    samples = array.array("h", (own_folder / "out.raw").read_bytes())
    loud = [i for i, s in enumerate(samples) if abs(s) > 2000]
    assert loud, "the file holds only silence"
    tone = samples[loud[0]:loud[-1]]
    crossings = sum(1 for a, b in zip(tone, tone[1:]) if (a < 0) != (b < 0))
    seconds = len(tone) / sox_rate("out.wav")
    assert 0.4 < seconds < 0.6
    assert 420 < crossings / 2 / seconds < 460


def pump_file(path, size, limit=30.0):
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        if path.stat().st_size >= size:
            return True
        time.sleep(0.05)
    return False


def sox_rate(path):
    return float(subprocess.run(["soxi", "-r", path], check=True, capture_output=True, text=True).stdout)
