#!/usr/bin/env python3
# SPDX-License-Identifier: Zlib
"""A textured, lit scene with sound: a checkered ball and crate under a lamp,
and a humming source circling them that the listener hears move."""
import math
import os
import struct
import wave

from OpenGL import GL

import quelt
from example import frame_done, open_window, parse_options

state = {"angle": 0.0}


def make_checker(path, size=64):
    """A 24-bit BMP checkerboard in orange and white."""
    rows = []
    for y in range(size):
        row = b"".join(b"\x30\x90\xff" if (x // 8 + y // 8) % 2 else b"\xff\xff\xff" for x in range(size))
        rows.append(row)
    pixels = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as out:
        out.write(header + info + pixels)


def make_hum(path, seconds=1.0, rate=22050):
    """A 220 Hz hum, 16-bit mono."""
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(rate)
        out.writeframes(b"".join(struct.pack("<h", int(12000 * math.sin(2 * math.pi * 220 * i / rate)))
                                 for i in range(int(seconds * rate))))


def init():
    # Made in the working folder (the engine reads a file's type from the first dot of
    # its whole path) and removed once loaded.
    checker, hum = "quelt-example-checker.bmp", "quelt-example-hum.wav"
    make_checker(checker)
    make_hum(hum)
    state["texture"] = quelt.create_texture2d(True, checker)
    if quelt.init_open_al("libopenal.so.1"):
        state["sound"] = quelt.create_sound(hum)
        state["source"] = quelt.create_source()
        if state["sound"] and state["source"]:
            state["source"].set_buffer(state["sound"].get_buffer())
            state["source"].set_looping(True)
            state["source"].play()
    os.remove(checker)
    os.remove(hum)


def update():
    state["angle"] += 0.01  # 60 updates a second
    source = state.get("source")
    if source:
        source.set_position((3 * math.cos(state["angle"]), 0, 3 * math.sin(state["angle"])))


def render():
    GL.glClearColor(0.15, 0.18, 0.22, 1)
    GL.glClear(GL.GL_COLOR_BUFFER_BIT | GL.GL_DEPTH_BUFFER_BIT)
    quelt.set3d(60, 0.1, 100)
    GL.glLoadIdentity()
    quelt.camera((0, 1, 5), (0, -0.2, -1), 0)
    quelt.listener_pos((0, 1, 5))
    quelt.listener_orientation((0, -0.2, -1), (0, 1, 0))

    GL.glEnable(GL.GL_DEPTH_TEST)
    GL.glEnable(GL.GL_LIGHTING)
    GL.glEnable(GL.GL_LIGHT0)
    GL.glLightfv(GL.GL_LIGHT0, GL.GL_POSITION, (2, 4, 3, 1))
    GL.glLightfv(GL.GL_LIGHT0, GL.GL_DIFFUSE, (1, 1, 0.9, 1))
    GL.glLightfv(GL.GL_LIGHT0, GL.GL_AMBIENT, (0.2, 0.2, 0.25, 1))
    GL.glEnable(GL.GL_COLOR_MATERIAL)
    GL.glEnable(GL.GL_TEXTURE_2D)
    GL.glBindTexture(GL.GL_TEXTURE_2D, state["texture"])
    GL.glColor3f(1, 1, 1)

    GL.glPushMatrix()
    GL.glTranslatef(-1.2, 0, 0)
    GL.glRotatef(math.degrees(state["angle"]), 0, 1, 0)
    quelt.solid_sphere(1)
    GL.glPopMatrix()

    GL.glPushMatrix()
    GL.glTranslatef(1.3, -0.3, 0)
    GL.glRotatef(30, 0, 1, 0)
    GL.glNormal3f(0.3, 0.5, 0.8)
    quelt.solid_box(1.2, 1.2, 1.2)
    GL.glPopMatrix()

    GL.glDisable(GL.GL_TEXTURE_2D)
    GL.glPushMatrix()  # the humming source, a small bright ball
    GL.glTranslatef(3 * math.cos(state["angle"]), 0, 3 * math.sin(state["angle"]))
    GL.glDisable(GL.GL_LIGHTING)
    GL.glColor3f(0.2, 0.9, 0.9)
    quelt.solid_sphere(0.15)
    GL.glPopMatrix()
    GL.glDisable(GL.GL_DEPTH_TEST)
    frame_done()


def done():
    for name in ("source", "sound"):
        if state.get(name):
            state.pop(name).close()  # released now, before the device closes
    quelt.done_open_al()
    GL.glDeleteTextures([state["texture"]])


parse_options()
open_window()
quelt.set_proc_adress(quelt.PROC_INIT, init)
quelt.set_proc_adress(quelt.PROC_UPDATE, update)
quelt.set_proc_adress(quelt.PROC_RENDER, render)
quelt.set_proc_adress(quelt.PROC_DONE, done)
quelt.set_ups(60)
quelt.start_main_loop()
quelt.kill_window()
