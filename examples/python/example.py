# SPDX-License-Identifier: Zlib
"""What the Python examples share, as examples/example.h does for C: "--frames N"
ends one after N frames and "--screenshot FILE" saves the last one (otherwise
Escape ends it); the window is 1024 x 768, framed."""
import argparse
import sys

import quelt

options = argparse.Namespace(frames=0, screenshot=None)
_frame = 0
_escape = False


def parse_options():
    parser = argparse.ArgumentParser()
    parser.add_argument("--frames", type=int, default=0)
    parser.add_argument("--screenshot")
    parser.parse_args(namespace=options)


def on_key(key, x, y):
    global _escape
    if key == quelt.QK_ESCAPE:
        _escape = True


def open_window():
    if not quelt.create_window():
        print(quelt.get_last_error()[1], file=sys.stderr)
        sys.exit(1)
    quelt.screen_mode(1024, 768, 32, 60, False)
    quelt.set_proc_adress(quelt.PROC_KEYDOWN, on_key)


def frame_done():
    """Call at the end of the render procedure: the last frame is saved and ends the loop."""
    global _frame
    _frame += 1
    if not (options.frames and _frame >= options.frames) and not _escape:
        return
    quelt.stop_main_loop()
    if options.screenshot and not quelt.save_screenshot(options.screenshot):
        print(quelt.get_last_error()[1], file=sys.stderr)
