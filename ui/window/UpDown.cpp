#include "ui/window/UpDown.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

#include <algorithm>

std::optional<int> ParsePosition(const QString& text, int min, int max) {
    const QString digits = text.trimmed();
    if (digits.isEmpty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int value = digits.toInt();
    if (value < min || value > max)
        return std::nullopt;
    return value;
}

TUpDown::TUpDown(QLineEdit& associate, int min, int max, QWidget* parent)
    : QWidget(parent), associate_(associate), up_(new QToolButton(this)),
      down_(new QToolButton(this)), min_(min), max_(max), position_(min) {
    setFocusPolicy(Qt::TabFocus);
    for (QToolButton* arrow : {up_, down_}) {
        arrow->setFocusPolicy(Qt::NoFocus);
        arrow->setAutoRepeat(true);
    }
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    connect(up_, &QToolButton::clicked, this, [this] { Step(+1); });
    connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
    associate_.installEventFilter(this);
    SetPosition(min);
}

int TUpDown::Position() {
    if (const std::optional<int> typed = ParsePosition(associate_.text(), min_, max_))
        position_ = *typed;
    return position_;
}

void TUpDown::SetPosition(int position) {
    position_ = std::clamp(position, min_, max_);
    associate_.setText(QString::number(position_));
}

void TUpDown::Step(int delta) {
    SetPosition(Position() + delta);
}

void TUpDown::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)
        Step(event->key() == Qt::Key_Up ? +1 : -1);
    else
        QWidget::keyPressEvent(event);
}

void TUpDown::resizeEvent(QResizeEvent*) {
    const int upper = height() / 2;
    up_->setGeometry(0, 0, width(), upper);
    down_->setGeometry(0, upper, width(), height() - upper);
}

bool TUpDown::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &associate_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Step(key == Qt::Key_Up ? +1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
