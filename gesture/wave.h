#pragma once
// The gesture's sound: TWave keeps the bytes of one WAV file exactly as they
// were read (they are never decoded here), TWavePlayer owns one TWave and
// hands it to the sound service to play.
#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <initializer_list>

class QIODevice;

// The bytes of one WAV file. The buffer always exists; it may hold no bytes.
class TWave : public QObject
{
    Q_OBJECT
    // The streamed form: exactly the sound bytes.
    Q_PROPERTY(QByteArray Data READ Data WRITE setData)

public:
    TWave();
    ~TWave() override;

    // Copies the bytes of another TWave (each holder keeps its own copy).
    // Assigning from nothing keeps the bytes; from any other kind of object
    // it throws PlumoraError "Cannot assign a <class> to a TWave".
    virtual void Assign(const QObject *Source);

    // Reads Stream.size() bytes from the stream's current position (callers
    // position it at its start). Throws EStreamError "Stream read error" when
    // fewer bytes follow; the held bytes are then left as they were.
    virtual void LoadFromStream(QIODevice &Stream);
    // Writes all bytes at the stream's current position; throws EStreamError
    // "Stream write error" when the stream takes fewer.
    virtual void SaveToStream(QIODevice &Stream) const;
    // Throws EStreamError naming the file when it cannot be opened; a failed
    // read leaves the held bytes as they were.
    virtual void LoadFromFile(const QString &FileName);
    // Creates or replaces the file. If writing fails, an existing file keeps
    // its earlier content.
    virtual void SaveToFile(const QString &FileName) const;

    // True when the holder has no buffer, which never happens: a holder with
    // zero bytes is not Empty. Use Size() for the byte count.
    bool Empty() const { return false; }
    qsizetype Size() const { return m_data.size(); }
    const QByteArray &Data() const { return m_data; }
    void setData(const QByteArray &bytes);

private:
    QByteArray m_data;
};

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

private:
    bool m_enabled = true;
    TOptionsSet m_options { wpoSync };
    std::uint16_t m_playFlags = 0x0004;
    TNotifyEvent m_beforePlay;
    TNotifyEvent m_afterPlay;
    TWave *m_wave;
};
