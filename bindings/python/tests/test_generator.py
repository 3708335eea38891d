# SPDX-License-Identifier: Zlib
"""tools/quelt_api.py on variants of the header: identifiers found, mismatches refused."""
import pathlib
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[3]
sys.path.insert(0, str(ROOT / "tools"))
import quelt_api  # noqa: E402

HEADER = (ROOT / "include" / "quelt" / "quelt.h").read_text()
SOUND_DOC = "/** A sound: an OpenAL buffer holding a WAV or Ogg Vorbis file's samples (qCreateSound).\n"
SOURCE_SLOTS = "    void (*Play)(ISource* self);\n    void (*Pause)(ISource* self);\n"


def describe(tmp_path, text):
    header = tmp_path / "quelt.h"
    header.write_text(text)
    return quelt_api.describe(header)


def ids(api):
    return {i["name"]: i["id"] for i in api["interfaces"]}


@pytest.mark.parametrize("edit, expected", [
    (lambda h: h, {"IQueltUnknown": "{00000000-0000-0000-C000-000000000046}", "ISound": None}),
    (lambda h: h.replace(SOUND_DOC, SOUND_DOC + " *  Its identifier is {1b2c3d4e-0001-0002-8899-aabbccddeeff}.\n"),
     {"ISound": "{1B2C3D4E-0001-0002-8899-AABBCCDDEEFF}"}),
    (lambda h: h.replace("/* ---- Window, input, timer", "/** The id of ISound. */\nstatic const QGUID IID_ISound = "
                         "{0x1B2C3D4E, 0x1, 0x2, {0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}};\n"
                         "/* ---- Window, input, timer"),
     {"ISound": "{1B2C3D4E-0001-0002-8899-AABBCCDDEEFF}"}),
])
def test_interface_ids_come_from_the_header(tmp_path, edit, expected):
    found = ids(describe(tmp_path, edit(HEADER)))
    for name, value in expected.items():
        assert found[name] == value


@pytest.mark.parametrize("edit, message", [
    (lambda h: h.replace(SOURCE_SLOTS, "    void (*Pause)(ISource* self);\n    void (*Play)(ISource* self);\n"),
     "C table of ISource does not match"),
    (lambda h: h.replace("QUELT_API qbool qSetVSync(int32_t mode);",
                         "QUELT_API qbool qSetVSync(int32_t mode);\nQUELT_API void qSetVSync(void);"),
     "line"),
    (lambda h: h.replace("QUELT_API void qSetFrameCap(int32_t fps);", "QUELT_API void qSetFrameCap(int32_t fps"),
     "line"),
])
def test_a_header_that_does_not_fit_stops_the_build(tmp_path, edit, message):
    with pytest.raises(quelt_api.HeaderError, match=message):
        describe(tmp_path, edit(HEADER))


def test_a_new_export_is_listed_with_its_family_and_arguments(tmp_path):
    text = HEADER.replace("QUELT_API qbool qSetVSync(int32_t mode);", "QUELT_API qbool qSetVSync(int32_t mode);\n"
                          "/** Beyond the 91. Counts.\n *  @param out may be null (nothing stored). */\n"
                          "QUELT_API int32_t qCount(const TVec3D* from, int32_t* out);")
    api = describe(tmp_path, text)
    entry = next(e for e in api["exports"] if e["name"] == "qCount")
    assert entry["group"] == "quelt_loop" and not entry["classic"]
    assert [(p["name"], p["direction"], p.get("nullable")) for p in entry["params"]] == [
        ("from", "in", False), ("out", "out", True)]
    assert "qCount;" in quelt_api.version_script(api)
