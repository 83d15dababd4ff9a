#pragma once
// TWavePlayer: owns one TWave and hands its bytes to the sound service to
// play. The gesture view plays the gesture's sound through one.
#include "gesture/wave.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <initializer_list>

// How a TWavePlayer plays its sound. The ordinals are those of the option set.
enum TWavePlayOpt : std::uint8_t { wpoSync, wpoAsync, wpoNoDefault, wpoLoop, wpoNoStop };

// A set of TWavePlayOpt.
class TOptionsSet
{
public:
    constexpr TOptionsSet() = default;
    constexpr TOptionsSet(std::initializer_list<TWavePlayOpt> options)
    {
        for (TWavePlayOpt o : options)
            m_bits |= bit(o);
    }
    constexpr bool contains(TWavePlayOpt o) const { return m_bits & bit(o); }
    constexpr TOptionsSet &include(TWavePlayOpt o)
    {
        m_bits |= bit(o);
        return *this;
    }
    constexpr TOptionsSet &exclude(TWavePlayOpt o)
    {
        m_bits &= std::uint8_t(~bit(o));
        return *this;
    }
    constexpr bool operator==(const TOptionsSet &) const = default;

private:
    static constexpr std::uint8_t bit(TWavePlayOpt o) { return std::uint8_t(1u << o); }
    std::uint8_t m_bits = 0;
};

// Plays its Wave through the sound service.
class TWavePlayer : public QObject
{
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(TWavePlayer *Sender)>;

    explicit TWavePlayer(QObject *Owner = nullptr);
    // Stops any sound that is playing (whoever started it).
    ~TWavePlayer() override;

    // When false, Play fires BeforePlay and AfterPlay but plays nothing.
    bool Enabled() const { return m_enabled; }
    void setEnabled(bool value) { m_enabled = value; }

    TOptionsSet Options() const { return m_options; }
    // Storing a different set recomputes the play flags.
    void setOptions(TOptionsSet value);
    // 0x0004 (play from memory) plus one value for each option in Options.
    std::uint16_t PlayFlags() const { return m_playFlags; }

    const TNotifyEvent &BeforePlay() const { return m_beforePlay; }
    void setBeforePlay(TNotifyEvent handler) { m_beforePlay = std::move(handler); }
    const TNotifyEvent &AfterPlay() const { return m_afterPlay; }
    void setAfterPlay(TNotifyEvent handler) { m_afterPlay = std::move(handler); }

    TWave *Wave() const { return m_wave; }

    // BeforePlay; then, when Enabled, play the bytes (a holder without bytes
    // stops the playing sound) and reset the application's cursor; AfterPlay.
    // The service's result is ignored: an unplayable buffer stays silent.
    void Play();
    // Ends the sound that is playing, whoever started it.
    void Stop();

private:
    bool m_enabled = true;
    TOptionsSet m_options { wpoSync };
    std::uint16_t m_playFlags = 0x0004;
    TNotifyEvent m_beforePlay;
    TNotifyEvent m_afterPlay;
    TWave *m_wave;
};
