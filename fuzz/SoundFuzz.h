// SPDX-License-Identifier: Zlib
// What every sound reader must hold to on arbitrary bytes, beyond reading
// nothing outside them: samples only with a format, in whole frames, and
// never more than `maxBytes`.
#pragma once

#include <AL/al.h>

#include <cstdint>
#include <cstdlib>

#include "TOggLoader.h"
#include "TSoundLib.h"
#include "TWavLoader.h"

inline void CheckSound(const quelt::SoundData& sound, std::uint64_t maxBytes) {
    if (sound.data.size() > maxBytes) std::abort();
    if (sound.hasData && sound.format == 0) std::abort();
    if (!sound.hasData && !sound.data.empty()) std::abort();
    const std::size_t frame = sound.format == AL_FORMAT_MONO8 ? 1 : sound.format == AL_FORMAT_STEREO16 ? 4 : 2;
    if (sound.data.size() % frame != 0) std::abort();
}
