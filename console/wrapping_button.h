#pragma once

#include <QPushButton>

// A push button of the window's fixed layout. Its caption wraps onto further
// lines when it is wider than the button, as captions of small fixed-size
// buttons do; text() stays the caption exactly as given. Return and Enter
// click it while it has the focus, as Space does.
class WrappingButton final : public QPushButton {
    Q_OBJECT

public:
    explicit WrappingButton(const QString &caption, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};
