#include "device/eventpump.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <algorithm>

namespace corvana::device {
namespace {

QEvent::Type workEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

struct WorkEvent : QEvent {
    explicit WorkEvent(std::function<void()> w) : QEvent(workEventType()), work(std::move(w)) {}
    std::function<void()> work;
};

} // namespace

// Qt drops the events posted to an object when the object is destroyed.
struct Mailbox::Impl : QObject {
    bool event(QEvent* e) override {
        if (e->type() != workEventType())
            return QObject::event(e);
        static_cast<WorkEvent*>(e)->work();
        return true;
    }
};

Mailbox::Mailbox() : d_(std::make_unique<Impl>()) {}
Mailbox::~Mailbox() = default;

void Mailbox::post(std::function<void()> work) {
    QCoreApplication::postEvent(d_.get(), new WorkEvent(std::move(work)));
}

struct ProgramLoop::Impl {
    Impl(int& argc, char** argv) : app(argc, argv) {}
    QCoreApplication app;
};

ProgramLoop::ProgramLoop(int& argc, char** argv) : d_(std::make_unique<Impl>(argc, argv)) {}
ProgramLoop::~ProgramLoop() = default;

namespace pump {

bool available() {
    return QCoreApplication::instance() != nullptr;
}

void processEvents() {
    QCoreApplication::processEvents();
}

void processEventsFor(std::optional<Millis> limit) {
    QTimer wake;
    if (limit) {
        wake.setSingleShot(true);
        wake.setTimerType(Qt::PreciseTimer);
        wake.start(static_cast<int>(std::min<long long>(limit->count(), 24LL * 3600 * 1000)));
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void warn(const std::string& text) {
    qWarning("%s", text.c_str());
}

} // namespace pump
} // namespace corvana::device
