#include "wrapping_button.h"

#include <QKeyEvent>
#include <QStyleOptionButton>
#include <QStylePainter>

WrappingButton::WrappingButton(const QString &caption, QWidget *parent) : QPushButton(caption, parent)
{
}

void WrappingButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButtonBevel, option);

    QRect textArea = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    if (isDown() || isChecked())
        textArea.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                           style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(textArea, Qt::AlignCenter | Qt::TextWordWrap, caption);
}

void WrappingButton::keyPressEvent(QKeyEvent *event)
{
    // QPushButton clicks on Return only when it is a dialog's (auto-)default
    // button, which would also change how it is drawn. A key held down
    // clicks once.
    const bool returnKey = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (returnKey && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        event->accept();
        if (!event->isAutoRepeat())
            click();
        return;
    }
    QPushButton::keyPressEvent(event);
}
