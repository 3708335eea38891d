#!/usr/bin/env python3
# SPDX-License-Identifier: Zlib
"""A window with a line of text and the frame rate: the smallest Quelt program, in Python."""
from OpenGL import GL

import quelt
from example import frame_done, open_window, parse_options

font = 0


def init():
    global font
    font = quelt.bitmap_font(0, -32, "DejaVu Sans")


def render():
    GL.glClearColor(0.1, 0.1, 0.3, 1)
    GL.glClear(GL.GL_COLOR_BUFFER_BIT)
    quelt.set2d()  # pixels, (0, 0) at the top left
    GL.glLoadIdentity()
    GL.glColor3f(1, 0.85, 0.2)  # text takes the colour set before it
    quelt.draw_text(40, 100, font, "Hello from Python!")
    GL.glColor3f(1, 1, 1)
    quelt.draw_text(40, 160, font, "FPS:")
    quelt.draw_text(130, 160, font, quelt.intto_str(quelt.get_fps()))  # a str, the library's copy freed
    frame_done()


def done():
    quelt.delete_font(font)


parse_options()
open_window()
quelt.set_proc_adress(quelt.PROC_INIT, init)
quelt.set_proc_adress(quelt.PROC_RENDER, render)
quelt.set_proc_adress(quelt.PROC_DONE, done)
quelt.set_ups(60)
quelt.start_main_loop()  # returns after stop_main_loop or when the window closes
print("last FPS:", quelt.get_fps())
quelt.kill_window()
