#include "QtEventLoop.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QThread>
#include <algorithm>
#include <limits>

namespace velmar {

namespace {

const QEvent::Type kPostedMessage = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kWake = static_cast<QEvent::Type>(QEvent::registerEventType());

class PostedMessage : public QEvent {
 public:
  PostedMessage(uint32_t message, int32_t event, int32_t value)
      : QEvent(kPostedMessage), message_(message), event_(event), value_(value) {}
  uint32_t message_;
  int32_t event_;
  int32_t value_;
};

int TimerInterval(Clock& clock, uint32_t period_ms) {
  const uint64_t real = clock.RealMsFor(std::max<uint32_t>(period_ms, 1));
  return static_cast<int>(std::clamp<uint64_t>(real, 1, std::numeric_limits<int>::max()));
}

}  // namespace

QtEventLoop::QtEventLoop(Clock& clock, QObject* parent) : QObject(parent), clock_(clock) {}

QtEventLoop::~QtEventLoop() = default;

void QtEventLoop::Post(uint32_t message, int32_t event, int32_t value) {
  // postEvent is safe from any thread and keeps the posting order per receiver.
  QCoreApplication::postEvent(this, new PostedMessage(message, event, value));
}

void QtEventLoop::SetHandler(EventHandler* handler) { handler_ = handler; }

void QtEventLoop::StartTimer(int timer_id, uint32_t period_ms) {
  auto& timer = timers_[timer_id];
  if (!timer) {
    timer = std::make_unique<QTimer>(this);
    connect(timer.get(), &QTimer::timeout, this, [this, timer_id] {
      if (handler_) handler_->OnTimer(timer_id);
    });
  }
  timer->start(TimerInterval(clock_, period_ms));
}

void QtEventLoop::StopTimer(int timer_id) {
  auto found = timers_.find(timer_id);
  if (found != timers_.end()) found->second->stop();
}

bool QtEventLoop::IsTimerRunning(int timer_id) const {
  auto found = timers_.find(timer_id);
  return found != timers_.end() && found->second->isActive();
}

void QtEventLoop::Run() {
  RunUntil([] { return false; });
}

void QtEventLoop::Quit() {
  quit_ = true;
  Wake();
}

void QtEventLoop::RunUntil(const std::function<bool()>& done) {
  ++levels_;
  while (!quit_ && !done()) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  if (--levels_ == 0) quit_ = false;
}

void QtEventLoop::Wake() { QCoreApplication::postEvent(this, new QEvent(kWake)); }

bool QtEventLoop::event(QEvent* event) {
  if (event->type() == kPostedMessage) {
    const auto* posted = static_cast<PostedMessage*>(event);
    if (handler_) handler_->OnMessage(posted->message_, posted->event_, posted->value_);
    return true;
  }
  if (event->type() == kWake) return true;
  return QObject::event(event);
}

}  // namespace velmar
