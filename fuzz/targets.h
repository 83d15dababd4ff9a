#pragma once
// The fuzz targets: each feeds one input to one of the readers of files that
// come from outside, then does with the result what the program does with it.
// A target returns normally for any input; a crash, a sanitizer report or a
// broken round trip (reported through fuzzCheck) is a finding.
//
// The same functions run under libFuzzer (fuzz/entry.cpp) and, over the seed
// and regression inputs, as ordinary tests (tests/fuzz).
#include <cstddef>
#include <cstdint>
#include <vector>

namespace plumora::fuzz {

using TargetFunction = void (*)(const std::uint8_t *data, std::size_t size);

struct Target
{
    const char *name;
    TargetFunction run;
    // Seed inputs: file patterns relative to the source root ("dir/*.ext"),
    // separated by ';'. scripts/fuzz.sh lists the same patterns.
    const char *seeds;
    // The largest input worth trying, in bytes (libFuzzer's -max_len).
    std::size_t maxLength;
};

// GIF: read, decode every frame, compose frames as an import would, encode
// and write back what was read, and read that again.
void gifTarget(const std::uint8_t *data, std::size_t size);
// Gesture file: ReadGesture from a stream, UpdateSizes, WriteGesture of what
// was read, and read that again.
void gestureTarget(const std::uint8_t *data, std::size_t size);
// Settings store file: parse, write the values out again, parse that.
void settingsTarget(const std::uint8_t *data, std::size_t size);
// Sound service: read and convert a WAV image as a play would, no device.
void wavTarget(const std::uint8_t *data, std::size_t size);
// JPEG picture loading, in full colour and quantised.
void jpegTarget(const std::uint8_t *data, std::size_t size);
// BMP picture loading.
void bmpTarget(const std::uint8_t *data, std::size_t size);
// Animation import: three bytes that answer the split and frame-limit
// questions (import_target.cpp), then the picture file; ReadAnimationFile on
// it, then the result installed on a gesture and measured.
void importTarget(const std::uint8_t *data, std::size_t size);
// Sound load: LoadAudioFromFile on the input, and on the input made longer
// than a sound block.
void soundTarget(const std::uint8_t *data, std::size_t size);
// Clips and sounds: a clip's preview, its frames at the ticks of a span and
// their sound; any sound made into a gesture's sound.
void mediaTarget(const std::uint8_t *data, std::size_t size);

const std::vector<Target> &targets();
const Target *findTarget(const char *name);

// Makes the QApplication (offscreen) the gesture target's widgets need, when
// there is none yet.
void initialize();

// Stops the program with a message when a property that must hold for every
// input does not: libFuzzer keeps the input that did it.
void fuzzCheck(bool condition, const char *what);

} // namespace plumora::fuzz
