#pragma once
// The gesture's sound: TWave keeps the bytes of one WAV file exactly as they
// were read; they are never decoded here. Playing them is the views' work
// (editor/waveplayer.h).
#include <QByteArray>
#include <QObject>
#include <QString>

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
