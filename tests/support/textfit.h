#pragma once
// Finds texts that a window shows cut: labels, check boxes, radio buttons,
// buttons and group titles narrower or lower than their text, also where a
// parent clips them, and columns of tree views narrower than their cells.
// Used by the GUI tests and by the desktop test's probe inside the program.
#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMdiSubWindow>
#include <QRadioButton>
#include <QStringList>
#include <QToolButton>
#include <QTreeView>

namespace textfit_detail {

inline QString withoutMnemonics(QString text)
{
    text.replace(QLatin1String("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}

// The part of a widget that its ancestors leave visible, up to its window
// or MDI window. Scrolled content is hidden on purpose and counts as shown.
inline QRect visiblePart(const QWidget *w)
{
    const QWidget *top = w;
    while (!top->isWindow() && !qobject_cast<const QMdiSubWindow *>(top)
        && top->objectName() != QLatin1String("qt_scrollarea_viewport"))
        top = top->parentWidget();
    QRect r(w->mapTo(top, QPoint()), w->size());
    for (const QWidget *p = w; p != top; p = p->parentWidget())
        r &= QRect(p->parentWidget()->mapTo(top, QPoint()), p->parentWidget()->size());
    return r;
}

// What a widget's text needs, or an empty size when it shows no text that
// must fit (word-wrapped or rich labels, pictures, empty texts, labels whose
// tool tip holds their whole text).
inline QSize textNeeds(const QWidget *w)
{
    const QFontMetrics fm = w->fontMetrics();
    if (auto *label = qobject_cast<const QLabel *>(w)) {
        if (label->text().isEmpty() || label->wordWrap() || label->toolTip() == label->text()
            || label->textFormat() == Qt::RichText
            || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text())))
            return {};
        return label->minimumSizeHint();
    }
    if (qobject_cast<const QCheckBox *>(w) || qobject_cast<const QRadioButton *>(w))
        return static_cast<const QAbstractButton *>(w)->text().isEmpty() ? QSize() : w->sizeHint();
    if (auto *button = qobject_cast<const QAbstractButton *>(w)) {
        auto *tool = qobject_cast<const QToolButton *>(w);
        if (button->text().isEmpty() || (tool && tool->toolButtonStyle() == Qt::ToolButtonIconOnly))
            return {};
        return { fm.horizontalAdvance(withoutMnemonics(button->text())) + 4, fm.height() };
    }
    if (auto *group = qobject_cast<const QGroupBox *>(w))
        return { fm.horizontalAdvance(withoutMnemonics(group->title())) + 8, fm.height() };
    return {};
}

} // namespace textfit_detail

// One line per text the window shows cut; empty when everything fits.
inline QStringList CutTexts(QWidget *window)
{
    QStringList cut;
    QList<QWidget *> widgets = window->findChildren<QWidget *>();
    widgets.prepend(window);
    for (QWidget *w : widgets) {
        // Dialogs owned by the window are windows of their own.
        if (!w->isVisible() || w->window() != window)
            continue;
        const QString name = QStringLiteral("%1 %2 in %3")
                                 .arg(QString::fromLatin1(w->metaObject()->className()), w->objectName(),
                                     window->objectName());
        const QSize needs = textfit_detail::textNeeds(w);
        const QRect shown = textfit_detail::visiblePart(w);
        if (needs.isValid() && (shown.width() < needs.width() || shown.height() < needs.height()))
            cut << QStringLiteral("%1: needs %2x%3, shows %4x%5")
                       .arg(name)
                       .arg(needs.width())
                       .arg(needs.height())
                       .arg(shown.width())
                       .arg(shown.height());
        if (auto *view = qobject_cast<QTreeView *>(w); view && view->model()) {
            for (int c = 0; c < view->header()->count(); ++c) {
                const int wanted = static_cast<QAbstractItemView *>(view)->sizeHintForColumn(c);
                if (!view->isColumnHidden(c) && wanted > view->columnWidth(c))
                    cut << QStringLiteral("%1: column %2 needs %3, has %4")
                               .arg(name)
                               .arg(c)
                               .arg(wanted)
                               .arg(view->columnWidth(c));
            }
        }
    }
    return cut;
}
