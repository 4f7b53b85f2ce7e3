#pragma once
#include <QObject>

class QSocketNotifier;

namespace velmar {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the user-interface thread, so that a
// logout or a `kill` ends the program the way EXIT does (the settings written) instead of
// cutting it off. One per process.
class TerminationSignals : public QObject {
  Q_OBJECT

 public:
  explicit TerminationSignals(QObject* parent = nullptr);
  ~TerminationSignals() override;

 signals:
  void terminationRequested(int signal);

 private:
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace velmar
