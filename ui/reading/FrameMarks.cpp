#include "ui/reading/FrameMarks.h"

#include <QKeyEvent>

#include <algorithm>

TFrameMarks::TFrameMarks(TChart& chart, TChosenFrame& chosen)
    : QObject(&chart), chart_(chart), chosen_(chosen) {
    chart.installEventFilter(this);
}

void TFrameMarks::Mark(std::vector<std::int64_t> frames) {
    frames_ = std::move(frames);
    chart_.SetMarks(std::vector<double>(frames_.begin(), frames_.end()));
    if (!frames_.empty())
        chosen_.Choose(frames_.front());
}

bool TFrameMarks::Step(int direction) {
    if (frames_.empty())
        return false;
    const auto chosen = chosen_.Frame();
    std::vector<std::int64_t>::const_iterator next;
    if (!chosen)
        next = direction > 0 ? frames_.begin() : frames_.end() - 1;
    else if (direction > 0)
        next = std::upper_bound(frames_.begin(), frames_.end(), *chosen);
    else {
        next = std::lower_bound(frames_.begin(), frames_.end(), *chosen);
        if (next == frames_.begin())
            return false;
        --next;
    }
    if (next == frames_.end())
        return false;
    chosen_.Choose(*next);
    return true;
}

void TFrameMarks::TakeKeysOf(QWidget& widget) {
    widget.installEventFilter(this);
}

bool TFrameMarks::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::ControlModifier &&
            (key->key() == Qt::Key_Right || key->key() == Qt::Key_Left) && !frames_.empty()) {
            Step(key->key() == Qt::Key_Right ? 1 : -1);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
