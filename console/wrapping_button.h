#pragma once

#include <QPushButton>

// A push button whose caption wraps onto further lines when it is wider than
// the button, as captions of small fixed-size buttons do. text() stays the
// caption exactly as given.
class WrappingButton final : public QPushButton {
    Q_OBJECT

public:
    explicit WrappingButton(const QString &caption, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
