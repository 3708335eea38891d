// SPDX-License-Identifier: Zlib
// Generates the demo's assets: the character "Morrek" (a key-frame model of
// closed body parts with an idle pose and a wave animation, and its painted
// texture) and the landscape (a height field and its texture).
//   make_assets OUTPUT_FOLDER
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "SData.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Vec3 {
    double x = 0, y = 0, z = 0;
};
Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 Cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

Vec3 RotateZ(Vec3 p, double a) {
    return {p.x * std::cos(a) - p.y * std::sin(a), p.x * std::sin(a) + p.y * std::cos(a), p.z};
}

struct Animation {
    std::string name;
    int32_t first, last;
};

struct Model {
    int32_t vertexCount = 0;
    std::vector<std::vector<Vec3>> frames;  // frame -> vertex positions
    std::vector<std::array<float, 2>> uv;
    std::vector<std::array<int32_t, 3>> faces;
    std::vector<Animation> animations;
};

class Writer {
public:
    void Bytes(const void* data, std::size_t size) {
        const auto* p = static_cast<const uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + size);
    }
    void U8(uint8_t v) { bytes.push_back(v); }
    void U16(uint16_t v) { quelt::AppendLE16(bytes, v); }
    void I32(int32_t v) { quelt::AppendLE32(bytes, uint32_t(v)); }
    void F32(float v) {
        uint32_t u;
        std::memcpy(&u, &v, 4);
        I32(int32_t(u));
    }
    bool Save(const std::string& path) const {
        std::ofstream file(path, std::ios::binary);
        file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return bool(file);
    }
    std::vector<uint8_t> bytes;
};

bool SaveModel(const Model& model, const std::string& path) {
    Writer w;
    w.Bytes("QMMODEL1", 8);
    w.I32(model.vertexCount);
    w.I32(int32_t(model.faces.size()));
    w.I32(int32_t(model.animations.size()));
    w.I32(int32_t(model.frames.size()));
    for (const auto& frame : model.frames)
        for (const Vec3& p : frame) {
            w.F32(float(p.x));
            w.F32(float(p.y));
            w.F32(float(p.z));
        }
    for (const auto& t : model.uv) {
        w.F32(t[0]);
        w.F32(t[1]);
    }
    for (const auto& f : model.faces)
        for (int32_t i : f) w.I32(i);
    for (const Animation& a : model.animations) {
        w.U8(uint8_t(a.name.size()));
        w.Bytes(a.name.data(), a.name.size());
        w.I32(a.first);
        w.I32(a.last);
    }
    return w.Save(path);
}

// ---- Images ----

struct Image {
    int width, height;
    std::vector<std::array<uint8_t, 4>> pixels;  // row 0 is the top row
    Image(int w, int h) : width(w), height(h), pixels(std::size_t(w) * std::size_t(h), {0, 0, 0, 255}) {}
    std::array<uint8_t, 4>& At(int x, int y) { return pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
};

uint8_t Clamp(double v) { return uint8_t(std::clamp(v + 0.5, 0.0, 255.0)); }

// Smooth value noise in [0, 1), repeatable.
double Hash(int x, int y) {
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return double(h ^ (h >> 16)) / 4294967296.0;
}
double Noise(double x, double y) {
    const int xi = int(std::floor(x)), yi = int(std::floor(y));
    const double fx = x - xi, fy = y - yi;
    const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    const double a = Hash(xi, yi), b = Hash(xi + 1, yi), c = Hash(xi, yi + 1), d = Hash(xi + 1, yi + 1);
    return (a + (b - a) * sx) + ((c + (d - c) * sx) - (a + (b - a) * sx)) * sy;
}

// 32-bit run-length encoded TGA, rows stored top first.
bool SaveTga(const Image& image, const std::string& path) {
    Writer w;
    w.U8(0);
    w.U8(0);
    w.U8(10);
    for (int i = 0; i < 5; ++i) w.U8(0);
    w.U16(0);
    w.U16(0);
    w.U16(uint16_t(image.width));
    w.U16(uint16_t(image.height));
    w.U8(32);
    w.U8(0x28);
    const auto& px = image.pixels;
    const auto pixel = [&](std::size_t i) {
        w.U8(px[i][2]);
        w.U8(px[i][1]);
        w.U8(px[i][0]);
        w.U8(px[i][3]);
    };
    std::size_t i = 0;
    while (i < px.size()) {
        std::size_t run = 1;
        while (i + run < px.size() && run < 128 && px[i + run] == px[i]) ++run;
        if (run > 1) {
            w.U8(uint8_t(0x80 | (run - 1)));
            pixel(i);
            i += run;
            continue;
        }
        std::size_t raw = 1;
        while (i + raw < px.size() && raw < 128 && !(i + raw + 1 < px.size() && px[i + raw] == px[i + raw + 1]))
            ++raw;
        w.U8(uint8_t(raw - 1));
        for (std::size_t k = 0; k < raw; ++k) pixel(i + k);
        i += raw;
    }
    return w.Save(path);
}

// 24-bit BMP, rows stored bottom first and padded to four bytes.
bool SaveBmp(const Image& image, const std::string& path) {
    const int rowBytes = (image.width * 3 + 3) / 4 * 4;
    Writer w;
    w.U8('B');
    w.U8('M');
    w.I32(54 + rowBytes * image.height);
    w.I32(0);
    w.I32(54);
    w.I32(40);
    w.I32(image.width);
    w.I32(image.height);
    w.U16(1);
    w.U16(24);
    w.I32(0);
    w.I32(rowBytes * image.height);
    w.I32(2835);
    w.I32(2835);
    w.I32(0);
    w.I32(0);
    for (int y = image.height - 1; y >= 0; --y) {
        const std::size_t start = w.bytes.size();
        for (int x = 0; x < image.width; ++x) {
            const auto& p = image.pixels[std::size_t(y) * std::size_t(image.width) + std::size_t(x)];
            w.U8(p[2]);
            w.U8(p[1]);
            w.U8(p[0]);
        }
        while ((w.bytes.size() - start) % 4) w.U8(0);
    }
    return w.Save(path);
}

// ---- The character ----

// A texture rectangle of the character's atlas, in texels of a 256 x 256 image.
struct Region {
    int x, y, w, h;
};

constexpr int kAtlas = 256;
constexpr Region kHeadRegion{0, 0, 128, 128};
constexpr Region kTorsoRegion{128, 0, 128, 128};
constexpr Region kArmRegion{0, 128, 128, 128};
constexpr Region kLegRegion{128, 128, 128, 128};

// One closed body part: an ellipsoid of `slices` x `stacks` whose pole and
// seam vertices are repeated for their texture coordinates but share
// positions, so that it is closed once welded.
struct Part {
    Vec3 radii;
    Region region;
    int slices = 24, stacks = 16;
    int firstVertex = 0;
    std::vector<Vec3> local;  // around the part's own centre
};

Vec3 Ellipsoid(const Part& part, int stack, int slice) {
    if (stack == 0) return {0, part.radii.y, 0};
    if (stack == part.stacks) return {0, -part.radii.y, 0};
    const double phi = kPi * stack / part.stacks;
    const double theta = 2 * kPi * (slice % part.slices) / part.slices;
    return {part.radii.x * std::sin(phi) * std::cos(theta), part.radii.y * std::cos(phi),
            part.radii.z * std::sin(phi) * std::sin(theta)};
}

void AddPart(Model& model, Part& part) {
    part.firstVertex = int32_t(model.uv.size());
    const auto uv = [&](double u, double v) {
        model.uv.push_back({float((part.region.x + u * part.region.w) / kAtlas),
                            float((part.region.y + v * part.region.h) / kAtlas)});
    };
    const int s = part.slices, r = part.stacks;
    for (int i = 0; i < s; ++i) {
        part.local.push_back(Ellipsoid(part, 0, 0));
        uv((i + 0.5) / s, 0.02);
    }
    for (int stack = 1; stack < r; ++stack)
        for (int i = 0; i <= s; ++i) {
            part.local.push_back(Ellipsoid(part, stack, i));
            uv(double(i) / s, double(stack) / r);
        }
    for (int i = 0; i < s; ++i) {
        part.local.push_back(Ellipsoid(part, r, 0));
        uv((i + 0.5) / s, 0.98);
    }

    const int32_t top = part.firstVertex;
    const auto ring = [&](int stack, int i) { return part.firstVertex + s + (stack - 1) * (s + 1) + i; };
    const int32_t bottom = ring(r, 0);
    std::vector<std::array<int32_t, 3>> faces;
    for (int i = 0; i < s; ++i) faces.push_back({top + i, ring(1, i), ring(1, i + 1)});
    for (int stack = 1; stack + 1 < r; ++stack)
        for (int i = 0; i < s; ++i) {
            faces.push_back({ring(stack, i), ring(stack + 1, i), ring(stack + 1, i + 1)});
            faces.push_back({ring(stack, i), ring(stack + 1, i + 1), ring(stack, i + 1)});
        }
    for (int i = 0; i < s; ++i) faces.push_back({bottom + i, ring(r - 1, i + 1), ring(r - 1, i)});

    // Wind every triangle outwards (counter-clockwise seen from outside).
    for (auto& f : faces) {
        const Vec3 a = part.local[std::size_t(f[0] - part.firstVertex)];
        const Vec3 b = part.local[std::size_t(f[1] - part.firstVertex)];
        const Vec3 c = part.local[std::size_t(f[2] - part.firstVertex)];
        if (Dot(Cross(b - a, c - a), (a + b + c) * (1.0 / 3)) < 0) std::swap(f[1], f[2]);
        model.faces.push_back(f);
    }
}

struct Pose {
    double rightRaise = 0; // radians about Z, the right arm lifted sideways
    double headTilt = 0;   // radians about Z
};

Model MakeCharacter() {
    // Feet at y = 0, about 190 units tall, facing +z.
    std::vector<Part> parts(6);
    const auto part = [](Vec3 radii, Region region) {
        Part p;
        p.radii = radii;
        p.region = region;
        return p;
    };
    parts[0] = part({15, 17, 15}, kHeadRegion);
    parts[1] = part({26, 36, 15}, kTorsoRegion);
    parts[2] = part({7, 30, 7}, kArmRegion);
    parts[3] = part({7, 30, 7}, kArmRegion);
    parts[4] = part({10, 44, 10}, kLegRegion);
    parts[5] = part({10, 44, 10}, kLegRegion);
    Model model;
    for (Part& part : parts) AddPart(model, part);
    model.vertexCount = int32_t(model.uv.size());

    const auto place = [&](const Pose& pose) {
        std::vector<Vec3> frame;
        const Vec3 neck{0, 150, 0};
        const Vec3 shoulderL{-31, 140, 0}, shoulderR{31, 140, 0};
        for (std::size_t index = 0; index < parts.size(); ++index) {
            for (const Vec3& p : parts[index].local) {
                Vec3 q;
                switch (index) {
                case 0:  // head, tilting about the neck
                    q = neck + RotateZ(p + Vec3{0, 18, 0}, pose.headTilt);
                    break;
                case 1:  // torso
                    q = p + Vec3{0, 112, 0};
                    break;
                case 2:  // left arm, hanging from the shoulder
                    q = shoulderL + p + Vec3{0, -30, 0};
                    break;
                case 3:  // right arm
                    q = shoulderR + RotateZ(p + Vec3{0, -30, 0}, pose.rightRaise);
                    break;
                case 4:
                    q = p + Vec3{-13, 44, 0};
                    break;
                default:
                    q = p + Vec3{13, 44, 0};
                    break;
                }
                frame.push_back(q);
            }
        }
        model.frames.push_back(frame);
    };

    // Idle is one frame, the first: the shadow volume is built from the first
    // frame, so the pose drawn and the shadow cast always agree.
    Pose rest;
    rest.headTilt = 0.12 * std::sin(1.0);
    place(rest);
    constexpr int kCycle = 16;
    for (int k = 0; k < kCycle; ++k) {  // wave: the right arm raised and waving
        const double a = 2 * kPi * k / kCycle;
        Pose pose;
        pose.rightRaise = 2.4 + 0.35 * std::sin(a);
        pose.headTilt = -0.1;
        place(pose);
    }
    model.animations = {{"idle", 0, 0}, {"wave", 1, kCycle}};
    return model;
}

void Fill(Image& image, const Region& r, double u0, double v0, double u1, double v1, std::array<uint8_t, 4> c) {
    for (int y = int(r.y + v0 * r.h); y < int(r.y + v1 * r.h); ++y)
        for (int x = int(r.x + u0 * r.w); x < int(r.x + u1 * r.w); ++x) image.At(x, y) = c;
}

void Disc(Image& image, const Region& r, double u, double v, double radius, std::array<uint8_t, 4> c) {
    const double cx = r.x + u * r.w, cy = r.y + v * r.h;
    for (int y = int(cy - radius) - 1; y <= int(cy + radius) + 1; ++y)
        for (int x = int(cx - radius) - 1; x <= int(cx + radius) + 1; ++x)
            if (x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h &&
                (x + 0.5 - cx) * (x + 0.5 - cx) + (y + 0.5 - cy) * (y + 0.5 - cy) <= radius * radius)
                image.At(x, y) = c;
}

Image PaintCharacter() {
    Image image(kAtlas, kAtlas);
    // Cloth and skin with a little weave so the surfaces read as material.
    const auto base = [&](const Region& r, std::array<double, 3> c, double grain) {
        for (int y = r.y; y < r.y + r.h; ++y)
            for (int x = r.x; x < r.x + r.w; ++x) {
                const double v = double(y - r.y) / r.h;
                const double shade = (1.0 - 0.25 * v) * (1 + grain * (Noise(x * 0.7, y * 0.7) - 0.5));
                image.At(x, y) = {Clamp(c[0] * shade), Clamp(c[1] * shade), Clamp(c[2] * shade), 255};
            }
    };
    // The front of every part faces +z, at u = 0.25 of its wrap.
    base(kHeadRegion, {235, 180, 140}, 0.08);
    Fill(image, kHeadRegion, 0, 0, 1, 0.3, {95, 52, 24, 255});           // hair
    Fill(image, kHeadRegion, 0.4, 0.3, 0.6, 0.55, {95, 52, 24, 255});    // hair at the back of the head
    Disc(image, kHeadRegion, 0.21, 0.45, 4.5, {250, 250, 250, 255});     // eyes
    Disc(image, kHeadRegion, 0.29, 0.45, 4.5, {250, 250, 250, 255});
    Disc(image, kHeadRegion, 0.21, 0.46, 2.2, {40, 60, 120, 255});
    Disc(image, kHeadRegion, 0.29, 0.46, 2.2, {40, 60, 120, 255});
    Fill(image, kHeadRegion, 0.18, 0.38, 0.24, 0.40, {80, 45, 20, 255}); // brows
    Fill(image, kHeadRegion, 0.26, 0.38, 0.32, 0.40, {80, 45, 20, 255});
    Disc(image, kHeadRegion, 0.25, 0.55, 3, {210, 140, 110, 255});       // nose
    Fill(image, kHeadRegion, 0.22, 0.64, 0.28, 0.67, {160, 50, 50, 255}); // mouth
    Fill(image, kHeadRegion, 0.15, 0.62, 0.35, 0.85, {120, 70, 35, 255}); // beard
    Fill(image, kHeadRegion, 0.22, 0.64, 0.28, 0.67, {170, 45, 45, 255});

    base(kTorsoRegion, {185, 40, 32}, 0.2);                                 // red tunic
    Fill(image, kTorsoRegion, 0, 0.72, 1, 0.80, {70, 40, 22, 255});         // belt
    Fill(image, kTorsoRegion, 0.22, 0.71, 0.28, 0.81, {230, 190, 60, 255}); // buckle
    Disc(image, kTorsoRegion, 0.25, 0.42, 11, {230, 190, 60, 255});         // emblem
    Disc(image, kTorsoRegion, 0.25, 0.42, 7, {150, 30, 25, 255});
    Fill(image, kTorsoRegion, 0, 0, 1, 0.08, {235, 180, 140, 255});         // neck

    base(kArmRegion, {185, 40, 32}, 0.2);                                   // sleeves
    Fill(image, kArmRegion, 0, 0.62, 1, 0.68, {230, 190, 60, 255});         // cuffs
    for (int y = kArmRegion.y + int(0.68 * kArmRegion.h); y < kArmRegion.y + kArmRegion.h; ++y)
        for (int x = kArmRegion.x; x < kArmRegion.x + kArmRegion.w; ++x) image.At(x, y) = {225, 170, 130, 255};

    base(kLegRegion, {120, 75, 45}, 0.25);                                  // trousers
    Fill(image, kLegRegion, 0, 0.78, 1, 1, {70, 38, 22, 255});              // boots
    return image;
}

// ---- The landscape ----

constexpr double kLandHalf = 600;          // landscape units either side of the centre
constexpr double kCentreHeight = 20.0 / 7; // the demo's transform puts this level at the character's feet

double LandHeight(double x, double z) {
    const double r = std::sqrt(x * x + z * z);
    const double t = std::clamp((r - 70) / 140, 0.0, 1.0);
    const double rise = t * t * (3 - 2 * t);
    const double hills = std::sin(x * 0.021 + 0.5) * std::cos(z * 0.027) + 0.5 * std::sin(x * 0.053 + 1) * std::sin(z * 0.047);
    return kCentreHeight + rise * 14 * (hills + 0.6) + 0.6 * (Noise(x * 0.05, z * 0.05) - 0.5);
}

Model MakeLandscape(int cells) {
    Model model;
    std::vector<Vec3> frame;
    for (int j = 0; j <= cells; ++j)
        for (int i = 0; i <= cells; ++i) {
            const double x = -kLandHalf + 2 * kLandHalf * i / cells;
            const double z = -kLandHalf + 2 * kLandHalf * j / cells;
            frame.push_back({x, LandHeight(x, z), z});
            model.uv.push_back({float(double(i) / cells), float(double(j) / cells)});
        }
    const auto at = [&](int i, int j) { return int32_t(j * (cells + 1) + i); };
    for (int j = 0; j < cells; ++j)
        for (int i = 0; i < cells; ++i) {
            // Counter-clockwise seen from above.
            model.faces.push_back({at(i, j), at(i, j + 1), at(i + 1, j)});
            model.faces.push_back({at(i + 1, j), at(i, j + 1), at(i + 1, j + 1)});
        }
    model.vertexCount = int32_t(frame.size());
    model.frames.push_back(frame);
    model.animations = {{"ground", 0, 0}};
    return model;
}

// Grass with baked hill shading; green stays well above half brightness so
// that a shadowed pixel is told from a lit one.
Image PaintLand(int size) {
    Image image(size, size);
    const Vec3 sun = Vec3{-0.5, 0.8, -0.3} * (1 / std::sqrt(0.25 + 0.64 + 0.09));
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const double lx = -kLandHalf + 2 * kLandHalf * (x + 0.5) / size;
            const double lz = -kLandHalf + 2 * kLandHalf * (y + 0.5) / size;
            const double e = 2;
            const Vec3 n{-(LandHeight(lx + e, lz) - LandHeight(lx - e, lz)) * 7 / 10 / (2 * e), 1,
                         -(LandHeight(lx, lz + e) - LandHeight(lx, lz - e)) * 7 / 10 / (2 * e)};
            const double shade = 0.88 + 0.18 * std::clamp(Dot(n, sun) / std::sqrt(Dot(n, n)), 0.0, 1.0) - 0.08;
            const double grass = Noise(x * 0.35, y * 0.35) * 0.6 + Noise(x * 0.08, y * 0.08) * 0.4;
            const double path = std::exp(-std::pow((lx - 40 * std::sin(lz * 0.01)) / 12, 2));
            double r = 70 + 40 * grass, g = 150 + 30 * grass, b = 45 + 15 * grass;
            r += path * 45;
            g -= path * 5;
            image.At(x, y) = {Clamp(r * shade), Clamp(g * shade), Clamp(b * shade), 255};
        }
    return image;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_assets OUTPUT_FOLDER\n");
        return 2;
    }
    const std::string out = std::string(argv[1]) + "/";
    const bool ok = SaveModel(MakeCharacter(), out + "Morrek.qmm") && SaveTga(PaintCharacter(), out + "Morrek.tga") &&
                    SaveModel(MakeLandscape(96), out + "LandScape.qmm") && SaveBmp(PaintLand(512), out + "Land.bmp");
    if (!ok) {
        std::fprintf(stderr, "make_assets: cannot write the assets into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
