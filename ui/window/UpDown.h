#pragma once

// An up-down spinner bound to an edit box: its arrows and the Up and Down keys step a
// position between Min and Max without wrapping and write it into the edit box as text.

#include <QWidget>

#include <optional>

class QLineEdit;
class QToolButton;

// text as a position: a whole number between min and max, blanks around it allowed.
[[nodiscard]] std::optional<int> ParsePosition(const QString& text, int min, int max);

class TUpDown : public QWidget {
    Q_OBJECT
public:
    TUpDown(QLineEdit& associate, int min, int max, QWidget* parent);

    // The position, taken from the edit box's text when that is a valid position; any other
    // text leaves the last valid position in force.
    [[nodiscard]] int Position();
    void SetPosition(int position);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Step(int delta);

    QLineEdit& associate_;
    QToolButton* up_;
    QToolButton* down_;
    int min_;
    int max_;
    int position_;
};
