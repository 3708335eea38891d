# SPDX-License-Identifier: Zlib
"""The description lists exactly what the library exports, and the package binds all of it."""
import json
import os
import pathlib
import shutil
import subprocess
import sys

import quelt


def exported_names():
    listing = subprocess.run(["nm", "-D", "--defined-only", quelt.library._name], check=True,
                             capture_output=True, text=True).stdout
    return {line.split()[-1] for line in listing.splitlines() if line.strip()}


def test_description_lists_exactly_the_exports():
    described = {entry["name"] for entry in quelt.api["exports"]}
    assert described == exported_names()
    assert sum(entry["classic"] for entry in quelt.api["exports"]) == 91


def test_every_export_is_bound_under_both_names():
    for entry in quelt.api["exports"]:
        assert callable(getattr(quelt, entry["name"]))
        assert getattr(quelt, quelt.python_name(entry["name"])) is getattr(quelt, entry["name"])
    assert quelt.create_window is quelt.qCreateWindow
    assert quelt.load_texture is quelt.qLoadTexture


def test_interfaces_start_with_the_three_common_slots():
    for interface in quelt.api["interfaces"]:
        names = [slot["name"] for slot in interface["slots"]]
        assert names[:3] == ["QueryInterface", "AddRef", "Release"], interface["name"]
        if interface["base"]:
            assert interface["id"] is None or interface["id"].startswith("{")


def test_string_and_array_results():
    assert quelt.intto_str(-15) == "-15"
    assert quelt.extract_name("data\\crate.png") == "crate.png"
    assert quelt.extract_folder("data/crate.png") == "data/"
    assert quelt.strto_int("  $1F") == 31
    # Windows-1251 both ways: the engine cuts bytes, the caller sees text.
    assert quelt.extract_name("папка/Файл.txt") == "Файл.txt"
    assert quelt.get_last_error() == (False, "")
    quelt.add_to_log("/dev/full", "no room")
    failed, reason = quelt.get_last_error()
    assert failed and "/dev/full" in reason
    assert quelt.add3d((1, 2, 3), quelt.TVec3D(4, 5, 6)) == (5, 7, 9)
    assert quelt.new2d((1.5, 2)) == quelt.TVec2D(1.5, 2.0)
    assert quelt.get_window_size() == (False, 0, 0)
    assert quelt.QK_PAD(1, quelt.QK_PAD_A) == 544  # a macro of the header, as a function


def test_bad_text_is_refused_before_the_call():
    for bad, error in (("日本", UnicodeEncodeError), ("a\0b", ValueError)):
        try:
            quelt.extract_name(bad)
        except error:
            continue
        raise AssertionError(f"{bad!r} was accepted")


def test_package_created_listed_and_unpacked(own_folder):
    files = {"readme.txt": b"hello\r\n", "data.bin": bytes(range(256))}
    for name, data in files.items():
        (own_folder / name).write_bytes(data)
    quelt.create_packege("assets.qp", list(files))
    assert quelt.content("assets.qp") == (2, list(files))
    (own_folder / "out").mkdir()
    quelt.unpack("assets.qp", "out/")
    for name, data in files.items():
        assert (own_folder / "out" / name).read_bytes() == data
    assert quelt.content("missing.qp") == (0, [])
    assert quelt.get_last_error()[0]


def test_frustum_object_released_by_with():
    identity = [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1]
    with quelt.create_frustum() as frustum:
        frustum.extract_from_matrices(identity, identity)
        assert frustum.point_in((0, 0, 0)) is True
        assert frustum.PointIn((2, 0, 0)) is False
        other = frustum.query_interface("{00000000-0000-0000-C000-000000000046}")
        assert other is not None and other.address == frustum.address
        assert frustum.query_interface("{12345678-0000-0000-0000-000000000000}") is None
        other.close()
    assert frustum.address == 0
    try:
        frustum.calculate()
    except ValueError:
        pass
    else:
        raise AssertionError("a released object was called")


def test_pip_installs_the_package_with_its_description(own_folder):
    # A copy of the tree's parts the package is built from, so the source stays clean.
    root = pathlib.Path(__file__).resolve().parents[3]
    tree = own_folder / "tree"
    shutil.copytree(root / "bindings" / "python", tree / "bindings" / "python",
                    ignore=shutil.ignore_patterns("tests", "__pycache__", "build", "*.egg-info"))
    shutil.copytree(root / "include", tree / "include")
    shutil.copytree(root / "tools", tree / "tools", ignore=shutil.ignore_patterns("*.cpp", "*.cmake"))
    environment = {k: v for k, v in os.environ.items() if k not in ("QUELT_API_JSON", "PYTHONPATH")}
    subprocess.run([sys.executable, "-m", "pip", "install", "--quiet", "--no-index", "--target", "site",
                    str(tree / "bindings" / "python")], check=True, env=environment)
    assert json.loads((own_folder / "site" / "quelt" / "quelt-api.json").read_text()) == quelt.api
    shown = subprocess.run([sys.executable, "-c", "import quelt; print(quelt.__file__, quelt.extract_ext('a.bmp'))"],
                           check=True, capture_output=True, text=True, cwd=own_folder,
                           env={**environment, "PYTHONPATH": str(own_folder / "site")}).stdout.split()
    assert shown == [str(own_folder / "site" / "quelt" / "__init__.py"), "bmp"]
