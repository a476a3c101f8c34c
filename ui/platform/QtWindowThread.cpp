#include "ui/platform/QtWindowThread.h"

#include "serial/WindowThread.h"

#include <QMetaObject>
#include <QObject>

#include <deque>
#include <mutex>

namespace serial {

namespace {

// Lives on the thread that installed it and is never destroyed, so that a queued call never
// outlives its receiver.
class TQtWindowThread : public QObject, public IWindowThread {
    Q_OBJECT
public:
    void Post(void (*run)()) override {
        {
            std::lock_guard lock(mutex_);
            posted_.push_back(run);
        }
        // Invoked by name: the queued event then carries no data of ours, and what the two
        // threads share passes under mutex_, where a race detector can see it.
        QMetaObject::invokeMethod(this, "RunPosted", Qt::QueuedConnection);
    }

    Q_INVOKABLE void RunPosted() {
        for (;;) {
            void (*run)() = nullptr;
            {
                std::lock_guard lock(mutex_);
                if (posted_.empty())
                    return;
                run = posted_.front();
                posted_.pop_front();
            }
            run();
        }
    }

private:
    std::mutex mutex_;
    std::deque<void (*)()> posted_;
};

} // namespace

void InstallQtWindowThread() {
    static TQtWindowThread* const thread = new TQtWindowThread;
    SetWindowThread(*thread);
}

} // namespace serial

#include "QtWindowThread.moc"
