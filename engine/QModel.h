// SPDX-License-Identifier: Zlib
// The model object behind qLoadModel and its 3DS reader.
#pragma once

#include "MKochBartel.h"
#include "ModClass.h"
#include "TInterfacedObject.h"

#include <quelt/quelt.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quelt {

class TData;

struct TRotationKey {
    float Angle;
    TVec3D Axis;
};

// What the key-frame section says about one part. Kept after loading for
// inspection; nothing evaluates it, so parts draw in their mesh pose.
struct TNodeTracks {
    // One entry per node header naming the part: the parent part's index, or
    // -1 for a root or a parent index that names no part.
    std::vector<std::int32_t> ParentLinks;
    bool IsRoot = false;
    TVec3D Pivot{0, 0, 0};
    std::vector<TVec3D> PositionKeys;
    TArraykbPoint PositionParams;
    std::vector<TRotationKey> RotationKeys;
    TArraykbPoint RotationParams;
};

class TAnimation final : public TInterfacedObject<IAnimation> {
public:
    std::vector<std::unique_ptr<TModel>> Parts;
    std::vector<std::string> PartNames;
    std::vector<TNodeTracks> Nodes;
    std::int32_t FirstFrame = 0;
    std::int32_t LastFrame = 0;

    std::int32_t PartCount() const { return static_cast<std::int32_t>(Parts.size()); }

    // Draws every part under frame matrix `frame` of the first part; draws
    // nothing when there are no parts or the frame is not stored.
    void DrawFrame(std::int32_t frame) override;
    // Compiles parts first..last into consecutive display lists and returns
    // the first name; 0 (and no list) when last < first or either index
    // names no part.
    std::uint32_t BuildLists(std::int32_t first, std::int32_t last) override;

    TModel& AttachPart(std::unique_ptr<TModel> model);
    // Replaces the parts with the file's. Never reads outside `data`: a
    // truncated or malformed file keeps what was read before the damage.
    // Data that is not a whole 3DS file leaves its first damage for qGetLastError.
    void Load3DS(TData& data);
    void ComputeNormals();
    // Mode 1 divides every coordinate by the largest positive one.
    void Normalize(std::int32_t mode);

private:
    ~TAnimation() override = default;
};

// A new reference (count 1) to the model in `fileName`, or null when the
// name does not end in "3ds". A file that cannot be opened gives a model with
// no parts; an error while reading an opened file throws IoError. A missing,
// foreign or damaged file leaves a reason naming it for qGetLastError.
IAnimation* LoadModel(std::int32_t mode, const std::string& fileName);

} // namespace quelt
