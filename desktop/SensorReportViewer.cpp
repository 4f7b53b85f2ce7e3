#include "SensorReportViewer.h"

#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "Artwork.h"

namespace velmar {

namespace {

// A report is a few hundred records at most; a file far beyond that is not ours to show whole.
constexpr qint64 kMaxShownBytes = 4 * 1024 * 1024;

}  // namespace

SensorReportViewer::SensorReportViewer(const QString& path, QWidget* parent)
    : QWidget(parent, Qt::Window), path_(path) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QFileInfo(path).fileName());
  setWindowIcon(ApplicationIcon());
  text_ = new QPlainTextEdit(this);
  text_->setReadOnly(true);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(text_);

  QFile file(path);
  if (file.open(QIODevice::ReadOnly)) {
    QString shown = QString::fromLatin1(file.read(kMaxShownBytes));
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text_->setPlainText(shown);
  }
  resize(640, 480);
}

QString SensorReportViewer::Text() const { return text_->toPlainText(); }

}  // namespace velmar
