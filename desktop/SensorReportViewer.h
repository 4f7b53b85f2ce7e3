#pragma once
#include <QString>
#include <QWidget>

class QPlainTextEdit;

namespace velmar {

// The sensor report in a read-only text window of its own. The file holds the tool's record
// texts as 8-bit characters, shown as Latin-1; the window closes itself when its owner drops it.
class SensorReportViewer : public QWidget {
  Q_OBJECT

 public:
  explicit SensorReportViewer(const QString& path, QWidget* parent = nullptr);

  const QString& Path() const { return path_; }
  QString Text() const;

 private:
  QString path_;
  QPlainTextEdit* text_ = nullptr;
};

}  // namespace velmar
