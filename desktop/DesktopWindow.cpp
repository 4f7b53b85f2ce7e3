#include "DesktopWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSystemTrayIcon>
#include <QHeaderView>
#include <QMenu>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QTimer>
#include <QVBoxLayout>

#include "AboutBox.h"
#include "Artwork.h"
#include "DialogUnitLayout.h"
#include "HyperlinkButton.h"
#include "TitleBanner.h"
#include "UiText.h"
#include "app/ControlIds.h"
#include "app/Strings.h"

namespace velmar {

namespace {

// The tool family's short name under the transfer bar.
constexpr const char* kToolShortName = "OS";

// The window's layout in dialog units.
constexpr int kLayoutWidth = 344;
constexpr int kLayoutHeight = 327;

QLabel* MakeLabel(const QString& text, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
  auto* label = new QLabel(text);
  label->setAlignment(alignment);
  return label;
}

QProgressBar* MakeBar() {
  auto* bar = new QProgressBar;
  bar->setOrientation(Qt::Vertical);
  bar->setRange(0, 100);
  bar->setValue(0);
  bar->setTextVisible(false);
  return bar;
}

}  // namespace

DesktopWindow::DesktopWindow(QWidget* parent) : QWidget(parent) {
  setWindowTitle(UiText(kStrWindowTitle));
  setWindowIcon(ApplicationIcon());
  BuildControls();
  BuildTray();

  // The desktop's nearest thing to the system menu's "About" entry: the window's context menu
  // and F1.
  auto* about = new QAction(UiText(kStrAboutMenu).remove(QLatin1Char('&')), this);
  about->setShortcut(QKeySequence::HelpContents);
  connect(about, &QAction::triggered, this, &DesktopWindow::aboutRequested);
  addAction(about);
  setContextMenuPolicy(Qt::ActionsContextMenu);
}

DesktopWindow::~DesktopWindow() {
  if (tray_) tray_->hide();
}

void DesktopWindow::BuildControls() {
  auto* layout = new DialogUnitLayout(this, kLayoutWidth, kLayoutHeight);

  banner_ = new TitleBanner;
  auto* picture = new QLabel;
  picture->setAlignment(Qt::AlignCenter);
  auto* identity_frame = new QGroupBox;
  auto* serial_caption = MakeLabel(UiText(kStrSerialCaption));
  // Longer languages and the model's own caption take two lines rather than the value's place.
  serial_caption->setWordWrap(true);
  auto* serial = MakeLabel(UiText(kStrNoSerialNumber), Qt::AlignCenter);
  auto* software = MakeLabel(QString(), Qt::AlignCenter);
  auto* available = MakeLabel(QString(), Qt::AlignCenter);
  link_ = new HyperlinkButton;
  auto* print = new QPushButton(UiText(kStrPrintSensorButton));
  auto* port_mode = MakeLabel(QString());
  port_mode->setWordWrap(true);  // "(no adapter found)" goes on a second line where it must
  auto* settings = new QPushButton(UiText(kStrSettingsButton));
  auto* progress_frame = new QGroupBox;
  auto* download_percent = MakeLabel(UiText(kStrZeroPercent), Qt::AlignCenter);
  auto* transfer_percent = MakeLabel(UiText(kStrZeroPercent), Qt::AlignCenter);
  auto* download_bar = MakeBar();
  auto* transfer_bar = MakeBar();
  tabs_ = new QTabWidget;
  log_ = new QPlainTextEdit;
  log_->setReadOnly(true);
  log_->setLineWrapMode(QPlainTextEdit::NoWrap);
  tabs_->addTab(log_, UiText(kStrReportTab));
  history_ = new QTableWidget(0, 5);
  history_->setHorizontalHeaderLabels({UiText(kStrHistoryDate), UiText(kStrHistorySerial),
                                       UiText(kStrHistoryVersions), UiText(kStrHistoryOutcome),
                                       UiText(kStrHistoryReported)});
  history_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  history_->setSelectionBehavior(QAbstractItemView::SelectRows);
  history_->verticalHeader()->hide();
  history_->horizontalHeader()->setStretchLastSection(true);
  tabs_->addTab(history_, UiText(kStrHistoryTab));
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
    if (tabs_->widget(index) == history_) RefreshHistory();
  });
  auto* hide = new QPushButton(UiText(kStrHideButton));
  auto* update = new QPushButton(UiText(kStrUpdateButton));
  auto* exit = new QPushButton(UiText(kStrExitButton));
  hide->setDefault(true);
  // The options-only update hangs beside UPDATE DEVICE, one click further away.
  auto* more = new QToolButton;
  more->setArrowType(Qt::DownArrow);
  more->setPopupMode(QToolButton::InstantPopup);
  more->setToolTip(UiText(kStrOptionsOnlyButton));
  auto* more_menu = new QMenu(more);
  QAction* options_only = more_menu->addAction(UiText(kStrOptionsOnlyButton));
  more->setMenu(more_menu);
  connect(options_only, &QAction::triggered, this, &DesktopWindow::updateOptionsOnlyClicked);

  // Back to front, as the layout stacks them: frames first so the controls draw over them.
  layout->Place(identity_frame, 126, 24, 210, 84);
  layout->Place(progress_frame, 7, 149, 330, 123);
  layout->Place(banner_, 7, 7, 330, 15);
  layout->Place(picture, 17, 27, 101, 79);
  layout->Place(serial_caption, 130, 31, 82, 19);
  layout->Place(serial, 214, 34, 107, 12);
  layout->Place(MakeLabel(UiText(kStrSoftwareCaption)), 130, 51, 74, 12);
  layout->Place(software, 214, 50, 92, 12);
  layout->Place(MakeLabel(UiText(kStrAvailableCaption)), 130, 67, 68, 12);
  layout->Place(available, 214, 66, 92, 12);
  layout->Place(link_, 15, 113, 94, 14);
  layout->Place(print, 13, 130, 76, 14);
  layout->Place(port_mode, 95, 127, 165, 21);
  layout->Place(settings, 265, 130, 54, 14);
  layout->Place(download_percent, 19, 159, 30, 9);
  layout->Place(transfer_percent, 51, 159, 30, 10);
  layout->Place(download_bar, 25, 172, 14, 83);
  layout->Place(transfer_bar, 58, 172, 14, 83);
  layout->Place(MakeLabel(UiText(kStrWebCaption), Qt::AlignCenter), 23, 258, 23, 10);
  layout->Place(MakeLabel(QString::fromLatin1(kToolShortName), Qt::AlignCenter), 59, 258, 17, 9);
  layout->Place(tabs_, 93, 158, 238, 112);
  layout->Place(hide, 7, 279, 82, 36);
  layout->Place(update, 127, 279, 82, 36);
  layout->Place(more, 211, 279, 14, 36);
  layout->Place(exit, 250, 279, 82, 36);

  picture->setPixmap(ProductPicture(DialogUnits(font()).Size(101, 79)));

  controls_ = {
      {control::kBanner, banner_},
      {control::kSerialCaption, serial_caption},
      {control::kSerialNumber, serial},
      {control::kSoftwareVersion, software},
      {control::kAvailableVersion, available},
      {control::kLinkButton, link_},
      {control::kPrintSensorInfo, print},
      {control::kPortModeText, port_mode},
      {control::kSettings, settings},
      {control::kDownloadPercent, download_percent},
      {control::kTransferPercent, transfer_percent},
      {control::kDownloadBar, download_bar},
      {control::kTransferBar, transfer_bar},
      {control::kTabStrip, tabs_},
      {control::kStatusLog, log_},
      {control::kHide, hide},
      {control::kUpdateDevice, update},
      {control::kUpdateOptionsOnly, more},
      {control::kExit, exit},
  };

  connect(hide, &QPushButton::clicked, this, &DesktopWindow::hideClicked);
  connect(update, &QPushButton::clicked, this, &DesktopWindow::updateDeviceClicked);
  connect(exit, &QPushButton::clicked, this, &DesktopWindow::exitClicked);
  connect(settings, &QPushButton::clicked, this, &DesktopWindow::settingsClicked);
  connect(print, &QPushButton::clicked, this, &DesktopWindow::printSensorInfoClicked);
}

void DesktopWindow::BuildTray() {
  tray_menu_ = new QMenu(this);
  QAction* maximize = tray_menu_->addAction(UiText(kStrTrayMaximize));
  QAction* exit = tray_menu_->addAction(UiText(kStrTrayExit));
  connect(maximize, &QAction::triggered, this, [this] { ShowWindow(true); });
  // "Exit" asks as the close box does: refused while an update runs.
  connect(exit, &QAction::triggered, this, &DesktopWindow::closeRequested);

  if (TryCreateTray()) return;
  // Some desktops have no tray, and at autostart it may not be there yet: keep trying for a
  // while; meanwhile the window is the way in.
  tray_retry_ = new QTimer(this);
  tray_retry_->setInterval(kTrayRetryMs);
  connect(tray_retry_, &QTimer::timeout, this, [this] {
    if (TryCreateTray() || ++tray_attempts_ >= kTrayAttempts) tray_retry_->stop();
  });
  tray_retry_->start();
}

bool DesktopWindow::TryCreateTray() {
  if (tray_) return true;
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return false;
  tray_ = new QSystemTrayIcon(ApplicationIcon(), this);
  tray_->setToolTip(UiText(kStrTrayTip));
  tray_->setContextMenu(tray_menu_);
  connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
    // A click on the icon brings the window back, as users of tray programs expect.
    if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick) ShowWindow(true);
  });
  tray_->show();
  // Asked to hide before the tray was there: the window only waited minimised for it.
  if (hide_when_tray_comes_ && isMinimized()) hide();
  return true;
}

bool DesktopWindow::HasTray() const { return tray_ != nullptr; }

void DesktopWindow::SetHistorySource(std::function<std::vector<HistoryRecord>()> source) {
  history_source_ = std::move(source);
  RefreshHistory();
}

void DesktopWindow::RefreshHistory() {
  const std::vector<HistoryRecord> records =
      history_source_ ? history_source_() : std::vector<HistoryRecord>();
  history_->setRowCount(static_cast<int>(records.size()));
  int row = 0;
  for (const HistoryRecord& record : records) {
    QString reported;
    if (record.report == ReportState::Sent) reported = UiText(kStrReportSent);
    if (record.report == ReportState::Pending || record.report == ReportState::Sending)
      reported = UiText(kStrReportPending);
    const QString texts[] = {
        QString::fromStdString(record.time),
        QString::fromStdString(record.serial),
        QString::fromStdString(record.version_before + " \u2192 " + record.version_after),
        QString::fromStdString(record.outcome),
        reported,
    };
    for (int column = 0; column < 5; ++column)
      history_->setItem(row, column, new QTableWidgetItem(texts[column]));
    ++row;
  }
  history_->resizeColumnsToContents();
}

QWidget* DesktopWindow::Control(int id) const {
  auto found = controls_.find(id);
  return found == controls_.end() ? nullptr : found->second;
}

void DesktopWindow::SetControlText(int id, const QString& text) {
  QWidget* widget = Control(id);
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(text);
  } else if (widget == link_) {
    link_->setText(text);
    link_->SetUrl(text);
    link_->SetToolTip(QString());
  } else if (widget == banner_) {
    banner_->SetText(text);
  } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
    button->setText(text);
  }
}

void DesktopWindow::SetProgress(int id, int position) {
  if (auto* bar = qobject_cast<QProgressBar*>(Control(id)))
    bar->setValue(std::clamp(position, 0, 100));
}

void DesktopWindow::SetStatusLog(const QString& text) {
  QString shown = text;
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  if (shown.endsWith(QLatin1Char('\n'))) shown.chop(1);
  log_->setPlainText(shown);
  // The newest line is the one that matters (progress lines replace themselves at the end).
  log_->verticalScrollBar()->setValue(log_->verticalScrollBar()->maximum());
}

void DesktopWindow::SetBanner(const BannerLook& look) {
  banner_->SetGradientFrom(QColor(look.start.r, look.start.g, look.start.b));
  banner_->SetGradientTo(QColor(look.end.r, look.end.g, look.end.b));
  banner_->SetTextColor(QColor(look.text_colour.r, look.text_colour.g, look.text_colour.b));
  banner_->SetText(QString::fromStdString(look.text));
}

void DesktopWindow::ShowWindow(bool visible) {
  hide_when_tray_comes_ = !visible;
  if (visible) {
    showNormal();
    raise();
    activateWindow();
  } else if (HasTray()) {
    hide();
  } else {
    showMinimized();
  }
}

void DesktopWindow::closeEvent(QCloseEvent* event) {
  if (close_allowed_) {
    event->accept();
    return;
  }
  // The window logic decides: it refuses while an update runs, else it ends the program.
  event->ignore();
  emit closeRequested();
}

void DesktopWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && isMinimized() && HasTray()) {
    // Minimising hides into the tray; done after the state change has been handled.
    QTimer::singleShot(0, this, [this] {
      if (isMinimized()) hide();
    });
  }
}

}  // namespace velmar
