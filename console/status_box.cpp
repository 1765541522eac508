#include "status_box.h"

#include <QContextMenuEvent>
#include <QScrollBar>
#include <QTextCursor>

QString ToBoxText(const std::string &logText)
{
    QString text = QString::fromUtf8(logText.data(), static_cast<qsizetype>(logText.size()));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

std::string ToLogText(const QString &boxText)
{
    QString text = boxText;
    text.replace(QChar(QChar::ParagraphSeparator), QChar('\n'));
    text.replace(QChar(QChar::LineSeparator), QChar('\n'));
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    const QByteArray utf8 = text.toUtf8();
    return std::string(utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

StatusBox::StatusBox(QWidget *parent) : QPlainTextEdit(parent)
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setReadOnly(false);
    setUndoRedoEnabled(false);
    setTabChangesFocus(true);
    connect(this, &QPlainTextEdit::textChanged, this, &StatusBox::status_Change);
}

std::string StatusBox::logText() const
{
    return ToLogText(toPlainText());
}

void StatusBox::setLogText(const std::string &text)
{
    setPlainText(ToBoxText(text));
}

void StatusBox::status_Change()
{
    QTextCursor cursor = textCursor();
    if (cursor.position() != document()->characterCount() - 1 || cursor.hasSelection()) {
        cursor.movePosition(QTextCursor::End);
        setTextCursor(cursor);
    }
    ensureCursorVisible();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void StatusBox::contextMenuEvent(QContextMenuEvent *event)
{
    if (m_menuAllowed && !m_menuAllowed()) {
        event->ignore();
        return;
    }
    QPlainTextEdit::contextMenuEvent(event);
}
