#pragma once

// Answers the next modal box or dialog once the code under test has opened it: the answer
// runs inside the box's own event loop, as a user's would.

#include <QApplication>
#include <QTimer>

#include <functional>

// Calls answer with the modal widget as soon as one is shown; gives up (answered stays
// false) when none appears within a few hundred event-loop turns.
class TModalAnswer {
public:
    explicit TModalAnswer(std::function<void(QWidget&)> answer) : answer_(std::move(answer)) {
        QObject::connect(&poll_, &QTimer::timeout, [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                poll_.stop();
                answered = true;
                answer_(*modal);
            } else if (++turns_ > 500) {
                poll_.stop();
            }
        });
        poll_.start(5);
    }

    bool answered = false;

private:
    std::function<void(QWidget&)> answer_;
    QTimer poll_;
    int turns_ = 0;
};
