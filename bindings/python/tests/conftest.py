# SPDX-License-Identifier: Zlib
"""Runs each test in a folder of its own; `window` gives it the engine's window."""
import os
import time

import pytest

import quelt


@pytest.fixture(autouse=True)
def own_folder(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    yield tmp_path


@pytest.fixture
def window():
    if not os.environ.get("DISPLAY"):
        pytest.skip("no display")
    assert quelt.create_window()
    quelt.console_disable()
    yield
    quelt.kill_window()


def pump_until(done, limit=10.0):
    """Handles window events until done() holds; False if it never does within limit seconds."""
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        quelt.msg()
        if done():
            return True
        time.sleep(0.01)
    return False
