#include "waveplayer.h"

#include "sound/soundservice.h"

#include <QGuiApplication>

namespace {

// The flag each option adds to the always-present 0x0004 (play from memory).
constexpr std::uint16_t kOptionFlags[] = {
    plumora::SndSync, // wpoSync
    plumora::SndAsync, // wpoAsync
    plumora::SndNoDefault, // wpoNoDefault
    plumora::SndLoop, // wpoLoop
    plumora::SndNoStop, // wpoNoStop
};

} // namespace

TWavePlayer::TWavePlayer(QObject *Owner) : QObject(Owner), m_wave(new TWave)
{
    m_wave->setParent(this);
}

TWavePlayer::~TWavePlayer()
{
    Stop();
    // m_wave is freed with its parent.
}

void TWavePlayer::Stop()
{
    plumora::playSound(nullptr, 0, 0);
}

void TWavePlayer::setOptions(TOptionsSet value)
{
    if (value == m_options)
        return;
    m_options = value;
    m_playFlags = plumora::SndMemory;
    for (int o = wpoSync; o <= wpoNoStop; ++o)
        if (m_options.contains(TWavePlayOpt(o)))
            m_playFlags |= kOptionFlags[o];
}

void TWavePlayer::Play()
{
    if (m_beforePlay)
        m_beforePlay(this);
    if (m_enabled) {
        plumora::playSound(m_wave->Data(), m_playFlags);
        // The default cursor comes back even when the sound did not play.
        if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
            while (QGuiApplication::overrideCursor())
                QGuiApplication::restoreOverrideCursor();
    }
    if (m_afterPlay)
        m_afterPlay(this);
}
