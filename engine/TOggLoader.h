// SPDX-License-Identifier: Zlib
// The Ogg Vorbis reader, through libvorbisfile: one decoder that hands over
// 16-bit samples a piece at a time, run to the end for a whole-file sound or
// a piece per buffer for a stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "TSoundLib.h"

namespace quelt {

class RegularFile;

// Ogg Vorbis whose samples would take more than `maxBytes` is refused whole
// (no data, a reason for qGetLastError): before decoding when the length its
// stream states (its last page's position less its first audio page's) is
// larger, else as soon as decoding passes it. Without a limit, what
// OggSampleLimit allows. Reads nothing outside [bytes, bytes + size).
SoundData DecodeOgg(const std::uint8_t* bytes, std::size_t size, std::uint64_t maxBytes);
SoundData DecodeOgg(const std::uint8_t* bytes, std::size_t size);
// The most sample bytes an Ogg file of `fileSize` bytes may decode to: 1024
// times its size (at least 16 MiB), and never more than 256 MiB, the cap for
// a whole-file sound (about 25 minutes of 44.1 kHz stereo; longer music is
// for streaming).
std::uint64_t OggSampleLimit(std::size_t fileSize);
// The same decoder over an open file, a piece at a time: null, with the
// reason DecodeOgg would give, when its headers or layout are refused.
std::unique_ptr<SoundReader> OpenOggStream(std::unique_ptr<RegularFile> file);

} // namespace quelt
