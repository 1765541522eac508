#pragma once

#include <QPlainTextEdit>

#include <functional>
#include <string>

// The multi-line log box "status". Its text is handled with CR LF line ends
// (the box itself shows and hands back LF only, so text typed by the user is
// converted back). Whenever the text changes, status_Change puts the caret
// behind the last character so that the newest line stays in view. Tab and
// Shift+Tab move the focus on to the next or previous control, as in any
// form, instead of typing a tab.
class StatusBox final : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit StatusBox(QWidget *parent = nullptr);

    // The box's current text with CR LF line ends.
    std::string logText() const;
    void setLogText(const std::string &text);

    // The box's own copy/select-all menu opens only while allowed() is true;
    // the window forbids it while a test runs, since a menu opened from a
    // test's event processing would hold up the reception.
    void setMenuAllowed(std::function<bool()> allowed) { m_menuAllowed = std::move(allowed); }

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private slots:
    void status_Change();

private:
    std::function<bool()> m_menuAllowed;
};

// Line-end conversions between the log's CR LF text and the box's LF text.
QString ToBoxText(const std::string &logText);
std::string ToLogText(const QString &boxText);
