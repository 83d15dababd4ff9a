// The sound service's WAV path: read and convert the image, no device.
#include "sound/soundservice.h"
#include "targets.h"

namespace plumora::fuzz {

void wavTarget(const std::uint8_t *data, std::size_t size)
{
    const qint64 frames = probeWav(reinterpret_cast<const char *>(data), qsizetype(size));
    fuzzCheck(frames >= -1, "a probe gives a frame count or -1");
}

} // namespace plumora::fuzz
