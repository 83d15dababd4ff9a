#include "soundservice.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

#include <SDL.h>

namespace plumora {
namespace {

using Clock = std::chrono::steady_clock;

// Largest buffer a sound may need while it is converted to the device format:
// a long WAV at a low rate grows many times over when it is resampled.
constexpr qint64 kMaxConversionBytes = qint64(256) * 1024 * 1024;
// The highest sample rate played. SDL's resampler miscomputes its buffers for
// rates near 4 MHz, and no real recording comes close to this one.
constexpr int kMaxSampleRate = 768000;
// How long a failed device open is remembered before the next play tries again.
constexpr auto kRetryOpenAfter = std::chrono::seconds(5);
// Extra time a synchronous play waits beyond the sound's own length before it
// gives up on the device and returns.
constexpr auto kSyncGrace = std::chrono::seconds(2);

// The samples SDL decoded from a WAV image, freed with the holder.
struct DecodedWav
{
    SDL_AudioSpec spec {};
    Uint8 *buffer = nullptr;
    Uint32 length = 0;

    DecodedWav() = default;
    DecodedWav(const DecodedWav &) = delete;
    DecodedWav &operator=(const DecodedWav &) = delete;
    ~DecodedWav()
    {
        if (buffer)
            SDL_FreeWAV(buffer);
    }
};

int frameBytes(SDL_AudioFormat format, int channels)
{
    return int(SDL_AUDIO_BITSIZE(format) / 8) * channels;
}

class SoundService
{
public:
    bool play(const char *wav, qsizetype size, unsigned flags);
    void stop();
    bool playing();
    SoundStats stats();
    // Closes the device and SDL's audio. A final shutdown (at exit) also
    // refuses to open the device again.
    void shutdown(bool final);

private:
    static void SDLCALL audioCallback(void *self, Uint8 *stream, int len);
    void fill(Uint8 *stream, int len);

    bool openDevice();
    bool activeNow();
    void endSound();

    // Serialises the public calls; guards the device fields below.
    std::mutex m_api;
    bool m_final = false;
    bool m_subsystem = false;
    SDL_AudioDeviceID m_device = 0;
    SDL_AudioSpec m_spec {};
    int m_frameBytes = 0;
    std::optional<Clock::time_point> m_openFailedAt;

    // Shared with SDL's audio thread; guarded by m_state. SDL functions are
    // never called while m_state is held, because SDL holds its own device
    // lock around the callback, which takes m_state.
    std::mutex m_state;
    std::condition_variable m_ended;
    std::vector<Uint8> m_sound; // device format, whole frames
    std::size_t m_pos = 0;
    bool m_loop = false;
    bool m_active = false;
    quint64 m_generation = 0; // raised by every new sound and every stop
    quint64 m_soundsStarted = 0;
    quint64 m_currentFrames = 0;
    quint64 m_currentPlayed = 0;
    quint64 m_totalPlayed = 0;
};

void SDLCALL SoundService::audioCallback(void *self, Uint8 *stream, int len)
{
    static_cast<SoundService *>(self)->fill(stream, len);
}

// Runs on SDL's audio thread: copies the next bytes of the sound, then silence.
void SoundService::fill(Uint8 *stream, int len)
{
    std::size_t done = 0;
    const std::size_t wanted = std::size_t(std::max(len, 0));
    std::lock_guard lock(m_state);
    while (m_active && done < wanted) {
        const std::size_t n = std::min(wanted - done, m_sound.size() - m_pos);
        std::memcpy(stream + done, m_sound.data() + m_pos, n);
        done += n;
        m_pos += n;
        const quint64 frames = n / std::size_t(m_frameBytes);
        m_currentPlayed += frames;
        m_totalPlayed += frames;
        if (m_pos == m_sound.size()) {
            m_pos = 0;
            if (!m_loop) {
                m_active = false;
                m_ended.notify_all();
            }
        }
    }
    if (done < wanted)
        std::memset(stream + done, m_spec.silence, wanted - done);
}

// SDL allocates the length a chunk declares before it reads the chunk, so a
// few bytes declaring gigabytes would take gigabytes. A copy of the image
// with every such length cut to the bytes that are there is read instead;
// SDL already plays a sound cut short as far as it goes. Empty when the
// image needs no change.
QByteArray clampChunkLengths(const char *wav, qsizetype size)
{
    auto le32 = [wav](qsizetype at) {
        const auto *p = reinterpret_cast<const unsigned char *>(wav + at);
        return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
    };
    // SDL also reads an image that starts at its "WAVE" mark, without the
    // RIFF header.
    const bool riff = size >= 12 && std::memcmp(wav, "RIFF", 4) == 0;
    if (!riff && (size < 4 || std::memcmp(wav, "WAVE", 4) != 0))
        return {};
    QByteArray copy;
    auto setLength = [&](qsizetype at, quint32 length) {
        if (copy.isEmpty())
            copy = QByteArray(wav, size);
        for (int i = 0; i < 4; ++i)
            copy[at + i] = char((length >> (8 * i)) & 0xFF);
    };
    if (riff && le32(4) > quint64(size - 8))
        setLength(4, quint32(size - 8));
    qsizetype at = riff ? 12 : 4;
    while (at + 8 <= size) {
        const quint64 length = le32(at + 4);
        const quint64 present = quint64(size - at - 8);
        if (length > present) {
            setLength(at + 4, quint32(present));
            break;
        }
        at += 8 + qsizetype(length) + qsizetype(length & 1);
    }
    return copy;
}

bool decodeWav(const char *wav, qsizetype size, DecodedWav &out)
{
    if (size > INT_MAX)
        return false;
    const QByteArray clamped = clampChunkLengths(wav, size);
    if (!clamped.isEmpty())
        wav = clamped.constData();
    SDL_RWops *rw = SDL_RWFromConstMem(wav, int(size));
    if (!rw)
        return false;
    // The RWops is closed by the call (freesrc = 1), also on failure.
    return SDL_LoadWAV_RW(rw, 1, &out.spec, &out.buffer, &out.length) != nullptr && out.spec.channels > 0
        && out.spec.freq > 0 && out.spec.freq <= kMaxSampleRate;
}

// The decoded samples in the device's format, or nothing when they cannot be
// converted or the conversion would need too much memory. SDL_AudioCVT
// converts the whole sound at once; SDL's streaming converter drops the last
// few hundred frames when it resamples.
std::optional<std::vector<Uint8>> convertWav(
    const DecodedWav &wav, const SDL_AudioSpec &target, int targetFrameBytes)
{
    const int srcFrameBytes = frameBytes(wav.spec.format, wav.spec.channels);
    if (srcFrameBytes <= 0)
        return std::nullopt;
    const qint64 srcBytes = qint64(wav.length) / srcFrameBytes * srcFrameBytes;
    if (srcBytes == 0)
        return std::vector<Uint8>(); // a sound without samples plays nothing

    SDL_AudioCVT cvt;
    const int needed = SDL_BuildAudioCVT(
        &cvt, wav.spec.format, wav.spec.channels, wav.spec.freq, target.format, target.channels, target.freq);
    if (needed < 0)
        return std::nullopt;
    if (needed == 0)
        return std::vector<Uint8>(wav.buffer, wav.buffer + srcBytes);

    // The conversion runs in place in a buffer len_mult times the source.
    const qint64 work = srcBytes * std::max(cvt.len_mult, 1);
    if (work > kMaxConversionBytes || work > INT_MAX)
        return std::nullopt;
    std::vector<Uint8> out(std::size_t(work), 0);
    std::memcpy(out.data(), wav.buffer, std::size_t(srcBytes));
    cvt.buf = out.data();
    cvt.len = int(srcBytes);
    if (SDL_ConvertAudio(&cvt) != 0 || cvt.len_cvt < 0 || cvt.len_cvt > work)
        return std::nullopt;
    out.resize(std::size_t(cvt.len_cvt) / std::size_t(targetFrameBytes) * std::size_t(targetFrameBytes));
    out.shrink_to_fit();
    return out;
}

// Opens the default output device on first use. Called with m_api held.
bool SoundService::openDevice()
{
    if (m_device)
        return true;
    if (m_final)
        return false;
    if (m_openFailedAt && Clock::now() - *m_openFailedAt < kRetryOpenAfter)
        return false;

    // SDL's audio brings its event subsystem along, which would otherwise take
    // over SIGINT and SIGTERM from the program.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_APP_NAME, "Plumora");
    if (!m_subsystem) {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            m_openFailedAt = Clock::now();
            return false;
        }
        m_subsystem = true;
    }

    SDL_AudioSpec want {};
    want.freq = 44100;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024; // about 23 ms per callback
    want.callback = &SoundService::audioCallback;
    want.userdata = this;
    SDL_AudioSpec have {};
    const SDL_AudioDeviceID device
        = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_ANY_CHANGE);
    if (device && (have.freq <= 0 || have.channels == 0 || frameBytes(have.format, have.channels) <= 0)) {
        SDL_CloseAudioDevice(device);
        m_device = 0;
    } else {
        m_device = device;
    }
    if (!m_device) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        m_subsystem = false;
        m_openFailedAt = Clock::now();
        return false;
    }
    m_openFailedAt.reset();
    {
        // The callback does not run before the device is unpaused, but it
        // reads these fields under m_state.
        std::lock_guard lock(m_state);
        m_spec = have;
        m_frameBytes = frameBytes(have.format, have.channels);
    }
    // The device runs from now on; it plays silence between sounds.
    SDL_PauseAudioDevice(m_device, 0);
    return true;
}

bool SoundService::activeNow()
{
    std::lock_guard lock(m_state);
    return m_active;
}

// Ends the current sound; its buffer is freed outside the lock.
void SoundService::endSound()
{
    std::vector<Uint8> old;
    {
        std::lock_guard lock(m_state);
        m_active = false;
        m_pos = 0;
        ++m_generation;
        old.swap(m_sound);
        m_ended.notify_all();
    }
}

bool SoundService::play(const char *wav, qsizetype size, unsigned flags)
{
    std::unique_lock api(m_api);
    if ((flags & SndNoStop) && activeNow())
        return false;
    if (!wav || size <= 0) {
        endSound();
        return true;
    }

    DecodedWav decoded;
    if (!(flags & SndMemory) || !decodeWav(wav, size, decoded)) {
        endSound();
        return false;
    }
    if (!openDevice()) {
        // Nothing can be heard here; the sound counts as accepted.
        endSound();
        return true;
    }
    std::optional<std::vector<Uint8>> converted = convertWav(decoded, m_spec, m_frameBytes);
    if (!converted) {
        endSound();
        return false;
    }

    const quint64 frames = converted->size() / std::size_t(m_frameBytes);
    const bool loop = flags & SndLoop;
    quint64 generation = 0;
    {
        std::lock_guard lock(m_state);
        m_sound.swap(*converted);
        m_pos = 0;
        m_loop = loop;
        m_active = frames > 0;
        generation = ++m_generation;
        ++m_soundsStarted;
        m_currentFrames = frames;
        m_currentPlayed = 0;
        // Wakes a synchronous play on another thread that this one interrupts.
        m_ended.notify_all();
    }
    converted.reset(); // the earlier sound's bytes, freed outside the lock

    if ((flags & SndAsync) || loop)
        return true;

    // Synchronous: let other callers in (to interrupt or stop this sound) while
    // waiting for it to end. The wait is bounded so that a device that stops
    // asking for samples cannot hang the caller.
    const auto length = std::chrono::milliseconds(qint64(frames * 1000 / quint64(m_spec.freq)));
    const auto deadline = Clock::now() + length + length / 4 + kSyncGrace;
    api.unlock();
    std::unique_lock lock(m_state);
    const bool ended
        = m_ended.wait_until(lock, deadline, [&] { return !m_active || m_generation != generation; });
    if (!ended) {
        m_active = false;
        ++m_generation;
        m_ended.notify_all();
    }
    return true;
}

void SoundService::stop()
{
    std::lock_guard api(m_api);
    endSound();
}

bool SoundService::playing()
{
    return activeNow();
}

SoundStats SoundService::stats()
{
    std::lock_guard api(m_api);
    SoundStats s;
    s.deviceOpen = m_device != 0;
    if (m_device) {
        s.deviceRate = m_spec.freq;
        s.deviceChannels = m_spec.channels;
        s.deviceFormat = m_spec.format;
        s.deviceFrameBytes = m_frameBytes;
    }
    std::lock_guard lock(m_state);
    s.soundsStarted = m_soundsStarted;
    s.currentFrames = m_currentFrames;
    s.currentPlayed = m_currentPlayed;
    s.totalPlayed = m_totalPlayed;
    return s;
}

void SoundService::shutdown(bool final)
{
    std::lock_guard api(m_api);
    endSound();
    if (m_device) {
        // Waits for SDL's audio thread to finish its last callback.
        SDL_CloseAudioDevice(m_device);
        m_device = 0;
    }
    if (m_subsystem) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        m_subsystem = false;
    }
    m_openFailedAt.reset();
    if (final) {
        m_final = true;
        if (SDL_WasInit(0) == 0)
            SDL_Quit(); // releases SDL's hints and other global state
    }
}

// The service is never deleted: SDL's audio thread may call into it until the
// device is closed, and players destroyed during exit may still stop sounds.
SoundService &service()
{
    static SoundService *const instance = new SoundService;
    return *instance;
}

// Closes the device and SDL's audio cleanly when the program ends.
struct CloseAtExit
{
    ~CloseAtExit() { service().shutdown(true); }
} closeAtExit;

} // namespace

qint64 probeWav(const char *wav, qsizetype size)
{
    if (!wav || size <= 0)
        return -1;
    DecodedWav decoded;
    if (!decodeWav(wav, size, decoded))
        return -1;
    SDL_AudioSpec target {};
    target.freq = 44100;
    target.format = AUDIO_S16SYS;
    target.channels = 2;
    const int targetFrameBytes = frameBytes(target.format, target.channels);
    const std::optional<std::vector<Uint8>> converted = convertWav(decoded, target, targetFrameBytes);
    if (!converted)
        return -1;
    return qint64(converted->size() / std::size_t(targetFrameBytes));
}

bool playSound(const char *wav, qsizetype size, unsigned flags)
{
    return service().play(wav, size, flags);
}

void stopSound()
{
    service().stop();
}

bool soundPlaying()
{
    return service().playing();
}

SoundStats soundStats()
{
    return service().stats();
}

void shutdownSound()
{
    service().shutdown(false);
}

} // namespace plumora
