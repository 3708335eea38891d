// SPDX-License-Identifier: Zlib
// The mistakes of a first hour with the library, made through its exports as
// an application makes them: each keeps the call's usual result and leaves a
// reason for qGetLastError that names the file (or object) and the cause.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <quelt/quelt.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

// clang-format off
#define QUELT_NEWCOMER_EXPORTS(X)                                                                           \
    X(qCreateWindow) X(qKillWindow) X(qCreateTexture2D) X(qCreateCubeMap) X(qInitOpenAL) X(qCreateSound)  \
    X(qLoadModel) X(qSetLog) X(qCreatePBuffer) X(qBitmapFont) X(qGetLastError)
// clang-format on

struct Exports {
#define QUELT_FIELD(name) decltype(&::name) name = nullptr;
    QUELT_NEWCOMER_EXPORTS(QUELT_FIELD)
#undef QUELT_FIELD
};

// The files a newcomer has at hand, written by the programs that usually write them.
const char* const kMakeFiles = R"(
import os, struct, subprocess
from PIL import Image
image = Image.new("RGB", (8, 8), (200, 40, 40))
image.save("crate.png")
os.makedirs("my.assets", exist_ok=True)
image.save("my.assets/crate.png")
image.save("crate.gif")
image.save("crate.3ds", "PNG")
open("cut.3ds", "wb").write(struct.pack("<HIHI", 0x4D4D, 18, 0x3D3D, 4000) + bytes(6))
image.convert("P").save("palette.tga")
subprocess.run(["convert", "crate.png", "-type", "Palette", "-compress", "RLE", "BMP3:rle.bmp"], check=True)
data = bytearray(open("crate.png", "rb").read())
data[data.index(b"IDAT") + 6] ^= 0x10
open("damaged.png", "wb").write(data)
subprocess.run(["sox", "-n", "-r", "22050", "-c", "1", "-b", "16", "tone.wav", "synth", "0.2", "sine", "440"], check=True)
subprocess.run(["oggenc", "-Q", "-o", "tone.png", "tone.wav"], check=True)
)";

struct Mistake {
    const char* what;
    std::function<bool()> keepsTheUsualResult;
    std::vector<std::string> reasonHolds; // the file or object first, then the cause
};

TEST(NewcomerMistakes, EachKeepsItsResultAndSaysWhy) {
    ASSERT_EQ(std::system(("/usr/bin/python3 -c '" + std::string(kMakeFiles) + "'").c_str()), 0);
    void* library = dlopen(QUELT_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    Exports q;
#define QUELT_BIND(name)                                                 \
    q.name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name)); \
    ASSERT_NE(q.name, nullptr) << #name;
    QUELT_NEWCOMER_EXPORTS(QUELT_BIND)
#undef QUELT_BIND
    ASSERT_TRUE(q.qCreateWindow());
    // No driver OpenAL Soft knows: a machine without sound hardware.
    setenv("ALSOFT_DRIVERS", "none", 1);

    ISound* sound = nullptr;
    IAnimation* model = nullptr;
    IPBuffer* pbuffer = nullptr;
    const auto texture = [&](const char* name) { return q.qCreateTexture2D(0, name) != 0; };
    const auto soundFrom = [&](const char* name) { return q.qCreateSound(&sound, name), sound; };
    const auto modelFrom = [&](const char* name) { return q.qLoadModel(&model, 0, name), model; };
    const char* cubeFaces[] = {"crate.png", "crate.png", "sky_up.png", "crate.png", "crate.png", "crate.png"};
    const std::vector<Mistake> mistakes = {
        {"a wrong path",
         [&] { return texture("textures/crate.png"); },
         {"\"textures/crate.png\"", "No such file or directory"}},
        {"a wrong case", [&] { return texture("CRATE.PNG"); }, {"\"CRATE.PNG\"", "type \"PNG\"", "first \".\""}},
        {"a dot in a folder",
         [&] { return texture("my.assets/crate.png"); },
         {"\"my.assets/crate.png\"", "type \"assets/crate.png\""}},
        {"an unknown type", [&] { return texture("crate.gif"); }, {"\"crate.gif\"", "type \"gif\""}},
        {"an Ogg named .png", [&] { return texture("tone.png"); }, {"\"tone.png\"", "PNG: not a PNG file"}},
        {"a damaged PNG", [&] { return texture("damaged.png"); }, {"\"damaged.png\"", "PNG: "}},
        {"a run-length BMP", [&] { return texture("rle.bmp"); }, {"\"rle.bmp\"", "BMP: RLE8 compression is not read"}},
        {"a palette TGA",
         [&] { return texture("palette.tga"); },
         {"\"palette.tga\"", "TGA: colour-mapped images are not read"}},
        {"a cube map face missing",
         [&] { return q.qCreateCubeMap(0, cubeFaces, 6) == 0; },
         {"\"sky_up.png\"", "No such file or directory"}},
        {"a misspelt OpenAL",
         [&] { return !q.qInitOpenAL("libopenal.so.7"); },
         {"\"libopenal.so.7\"", "cannot open shared object file"}},
        {"no sound device",
         [&] { return q.qInitOpenAL("libopenal.so.1") != 0; },
         {"\"libopenal.so.1\"", "no sound device"}},
        {"a missing WAV with no device",
         [&] { return !soundFrom("tone-missing.wav"); },
         {"tone-missing.wav\"", "Cannot open file", "No such file or directory"}},
        {"a WAV with no device",
         [&] { return soundFrom("tone.wav") != nullptr; },
         {"\"tone.wav\"", "stays silent: OpenAL has no sound device"}},
        {"a missing 3DS",
         [&] { return modelFrom("ship.3ds") && model->BuildLists(0, 0) == 0; }, // no parts
         {"\"ship.3ds\"", "No such file or directory"}},
        {"a 3DS in capitals", [&] { return !modelFrom("SHIP.3DS"); }, {"\"SHIP.3DS\"", "\"3DS\""}},
        {"a PNG named .3ds",
         [&] { return modelFrom("crate.3ds") != nullptr; },
         {"\"crate.3ds\"", "3DS: not a 3DS file"}},
        {"a cut-off 3DS",
         [&] { return modelFrom("cut.3ds") != nullptr; },
         {"\"cut.3ds\"", "3DS: chunk 3D3D at byte 6 runs past the end"}},
        {"a log in a missing folder",
         [&] { return q.qSetLog("logs/game.txt"), true; },
         {"\"logs/game.txt\"", "No such file or directory"}},
        {"a refused pbuffer request",
         [&] {
             q.qCreatePBuffer(&pbuffer, 256, 256, QPB_TEXTURE_2D | QPB_ACCUM, 0);
             return pbuffer && !pbuffer->Initialize();
         },
         {"PBuffer 256 x 256", "accumulation"}},
        {"a font larger than any",
         [&] { return q.qBitmapFont(0, 5000, "Arial") != 0; },
         {"\"Arial\"", "larger than 1024 pixels"}},
    };
    for (const Mistake& mistake : mistakes) {
        char* reason = nullptr;
        q.qGetLastError(&reason); // nothing left from the row before
        EXPECT_TRUE(mistake.keepsTheUsualResult()) << mistake.what;
        ASSERT_TRUE(q.qGetLastError(&reason)) << mistake.what << ": no reason";
        for (const std::string& part : mistake.reasonHolds)
            EXPECT_NE(std::string(reason).find(part), std::string::npos)
                << mistake.what << ": \"" << reason << "\" lacks " << part;
        std::free(reason);
        if (model) model->Release(), model = nullptr;
        if (sound) sound->Release(), sound = nullptr;
        if (pbuffer) pbuffer->Release(), pbuffer = nullptr;
    }
    q.qKillWindow();
}

} // namespace
