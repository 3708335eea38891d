// SPDX-License-Identifier: Zlib
#include "TSoundLib.h"

// The format constants only.
#define AL_NO_PROTOTYPES
#include <AL/al.h>

#include <cstring>
#include <filesystem>
#include <utility>

#include "QUtils.h"
#include "SData.h"
#include "TOggLoader.h"
#include "TWavLoader.h"

namespace quelt {
namespace {

std::string FullPath(const std::string& fileName) {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::absolute(fileName, error);
    return error ? fileName : path.lexically_normal().string();
}

// Throws the IoError a sound file that cannot be read gives.
[[noreturn]] void ThrowUnread(const std::string& fileName, FileBytes::Outcome outcome, int openError) {
    switch (outcome) {
    case FileBytes::Outcome::NotOpened:
        throw IoError("Cannot open file \"" + FullPath(fileName) + "\". " + std::strerror(openError));
    case FileBytes::Outcome::NotRegular:
        throw IoError("Cannot open file \"" + FullPath(fileName) + "\". Not a regular file");
    default:
        throw IoError("File \"" + FullPath(fileName) + "\" is too large for a sound");
    }
}

bool StartsOgg(const std::uint8_t* bytes, std::size_t size) {
    return bytes && size >= 4 && std::memcmp(bytes, "OggS", 4) == 0;
}

} // namespace

std::int32_t SoundFormat(std::uint16_t channels, std::uint16_t bits) {
    if (channels == 1 && bits == 8) return AL_FORMAT_MONO8;
    if (channels == 1 && bits == 16) return AL_FORMAT_MONO16;
    if (channels == 2 && bits == 8) return AL_FORMAT_STEREO8;
    if (channels == 2 && bits == 16) return AL_FORMAT_STEREO16;
    return 0;
}

std::uint32_t FrameBytes(std::int32_t format) {
    switch (format) {
    case AL_FORMAT_MONO8: return 1;
    case AL_FORMAT_MONO16:
    case AL_FORMAT_STEREO8: return 2;
    case AL_FORMAT_STEREO16: return 4;
    default: return 0;
    }
}

SoundData Refused(SoundData sound, const std::string& cause) {
    SetLastError(cause);
    return sound;
}

SoundData ParseSound(const std::uint8_t* bytes, std::size_t size) {
    if (StartsOgg(bytes, size)) return DecodeOgg(bytes, size);
    return ParseWav(bytes, size);
}

SoundData LoadWavFile(const std::string& fileName) {
    FileBytes file = ReadRegularFile(fileName, kMaxSoundFileSize);
    if (file.outcome != FileBytes::Outcome::Read) ThrowUnread(fileName, file.outcome, file.openError);
    const FileReasons reasons(fileName);
    return ParseSound(file.bytes.data(), file.bytes.size());
}

std::unique_ptr<SoundReader> OpenSoundStream(const std::string& fileName) {
    auto file = std::make_unique<RegularFile>(fileName, kMaxSoundFileSize);
    if (file->Outcome() != FileBytes::Outcome::Read) ThrowUnread(fileName, file->Outcome(), file->OpenError());
    const FileReasons reasons(fileName);
    std::uint8_t magic[4] = {};
    const std::size_t got = file->ReadAt(0, magic, sizeof magic);
    if (StartsOgg(magic, got)) return OpenOggStream(std::move(file));
    return OpenWavStream(std::move(file));
}

} // namespace quelt
