#include "playbackcommand.h"

#include "platform/ui/application.h"

#include <QAction>
#include <QMenu>
#include <QStyle>
#include <QToolButton>
#include <QWidget>

TPlaybackCommand::TPlaybackCommand(QWidget *preview, Hooks hooks, QObject *parent)
    : QObject(parent), m_hooks(std::move(hooks))
{
    m_menuAction = new QAction(this);
    m_menuAction->setObjectName(QStringLiteral("playAction"));
    m_popupAction = new QAction(this);
    m_popupAction->setObjectName(QStringLiteral("popupPlayAction"));
    // Space plays or stops only while the preview has the focus; elsewhere
    // it keeps pressing buttons and typing blanks.
    m_popupAction->setShortcut(QKeySequence(Qt::Key_Space));
    m_popupAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    preview->addAction(m_popupAction);

    m_button = new QToolButton;
    m_button->setObjectName(QStringLiteral("playButton"));
    m_button->setAutoRaise(true);

    for (QAction *action : { m_menuAction, m_popupAction })
        connect(action, &QAction::triggered, this, plumora::ui::guardedCallback([this] { Toggle(); }));
    connect(m_button, &QToolButton::clicked, this, plumora::ui::guardedCallback([this] { Toggle(); }));
    Refresh();
}

void TPlaybackCommand::AddTo(QMenu *framesMenu, QMenu *popup)
{
    framesMenu->addSeparator()->setObjectName(QStringLiteral("framesPlaySeparator"));
    framesMenu->addAction(m_menuAction);
    popup->addSeparator()->setObjectName(QStringLiteral("popupPlaySeparator"));
    popup->addAction(m_popupAction);
    for (QMenu *menu : { framesMenu, popup })
        connect(menu, &QMenu::aboutToShow, this, plumora::ui::guardedCallback([this] { Refresh(); }));
}

void TPlaybackCommand::Toggle()
{
    if (m_hooks.playing())
        m_hooks.stop();
    else if (m_hooks.canPlay())
        m_hooks.play();
    Refresh();
}

void TPlaybackCommand::Refresh()
{
    const bool playing = m_hooks.playing();
    const bool enabled = playing || m_hooks.canPlay();
    const QString text = playing ? QStringLiteral("Stop") : QStringLiteral("Play");
    const QIcon icon = m_button->style()->standardIcon(playing ? QStyle::SP_MediaStop : QStyle::SP_MediaPlay);
    for (QAction *action : { m_menuAction, m_popupAction }) {
        action->setText(playing ? QStringLiteral("&Stop") : QStringLiteral("P&lay"));
        action->setIcon(icon);
        action->setEnabled(enabled);
    }
    m_button->setIcon(icon);
    m_button->setText(text);
    m_button->setToolTip(text);
    m_button->setAccessibleName(text);
    m_button->setEnabled(enabled);
}
