#include "SettingsDialogWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "DialogUnitLayout.h"
#include "UiText.h"
#include "app/Strings.h"

namespace velmar {

SettingsDialogWidget::SettingsDialogWidget(SettingsDialog& logic, QWidget* parent)
    : QDialog(parent), logic_(logic) {
  setWindowTitle(UiText(kStrSettingsTitle));
  show_box_ = [this](const QString& text, MessageIcon icon) {
    QMessageBox box(BoxIcon(icon), windowTitle(), text, QMessageBox::Ok, this);
    box.exec();
  };

  auto* layout = new DialogUnitLayout(this, kWidthUnits, kHeightUnits);
  // Frames first, so the controls drawn over them stay on top.
  layout->Place(new QGroupBox(this), 14, 7, 294, 100);
  layout->Place(new QGroupBox(UiText(kStrProgramGroup), this), 14, 111, 294,
                logic_.LoginStartOffered() ? 49 : 35);
  layout->Place(new QGroupBox(UiText(kStrResetGroup), this), 14, 211, 294, 38);

  auto_detect_ = new QCheckBox(UiText(kStrAutoDetectBox), this);
  auto_detect_->setObjectName("autoDetect");
  layout->Place(auto_detect_, 46, 22, 160, 14);
  layout->Place(new QLabel(UiText(kStrAutoDetectHint), this), 57, 36, 189, 11);

  port_caption_ = new QLabel(UiText(kStrSelectPort), this);
  port_caption_->setObjectName("portCaption");
  layout->Place(port_caption_, 25, 63, 100, 11);
  port_list_ = new QComboBox(this);
  port_list_->setObjectName("portList");
  port_list_->setEditable(false);
  // The closed list's height; the drop-down opens below it.
  layout->Place(port_list_, 129, 62, 156, 14);
  test_connection_ = new QPushButton(UiText(kStrTestConnection), this);
  test_connection_->setObjectName("testConnection");
  test_connection_->setAutoDefault(false);
  layout->Place(test_connection_, 126, 84, 63, 17);

  upgrade_check_ = new QCheckBox(QString::fromStdString(logic_.UpgradeCaption()), this);
  upgrade_check_->setObjectName("upgradeCheck");
  layout->Place(upgrade_check_, 40, 126, 250, 13);
  login_start_ = new QCheckBox(UiText(kStrLoginStartBox), this);
  login_start_->setObjectName("loginStart");
  login_start_->setVisible(logic_.LoginStartOffered());
  layout->Place(login_start_, 40, 140, 240, 13);

  auto* reset_caption = new QLabel(UiText(kStrResetCaption), this);
  reset_caption->setWordWrap(true);  // two lines in the longer languages
  layout->Place(reset_caption, 22, 220, 150, 24);
  auto* factory_reset = new QPushButton(UiText(kStrFactoryResetButton), this);
  factory_reset->setObjectName("factoryReset");
  factory_reset->setAutoDefault(false);
  layout->Place(factory_reset, 176, 225, 106, 13);

  auto* apply = new QPushButton(UiText(kStrApplyButton), this);
  apply->setObjectName("apply");
  apply->setDefault(true);
  layout->Place(apply, 89, 261, 56, 22);
  auto* cancel = new QPushButton(UiText(kStrCancelButton), this);
  cancel->setObjectName("cancel");
  cancel->setAutoDefault(false);
  layout->Place(cancel, 183, 261, 56, 22);

  ShowState();

  connect(auto_detect_, &QCheckBox::clicked, this, [this](bool checked) {
    logic_.SetAutoDetect(checked);
    ShowState();
  });
  connect(upgrade_check_, &QCheckBox::clicked, this, [this](bool checked) {
    logic_.SetUpgradeCheck(checked);
    ShowState();
  });
  connect(login_start_, &QCheckBox::clicked, this, [this](bool checked) {
    logic_.SetLoginStart(checked);
    ShowState();
  });
  connect(port_list_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (filling_) return;
    logic_.SelectPort(index);
    ShowState();
  });
  connect(test_connection_, &QPushButton::clicked, this, &SettingsDialogWidget::OnTestConnection);
  connect(factory_reset, &QPushButton::clicked, this, &SettingsDialogWidget::OnFactoryReset);
  connect(apply, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void SettingsDialogWidget::SetBoxHook(BoxHook hook) {
  if (hook) show_box_ = std::move(hook);
}

void SettingsDialogWidget::ShowState() {
  filling_ = true;
  const std::vector<PortEntry>& ports = logic_.Ports();
  bool same = port_list_->count() == static_cast<int>(ports.size());
  for (int i = 0; same && i < port_list_->count(); ++i)
    same = port_list_->itemData(i).toInt() == ports[static_cast<size_t>(i)].number &&
           port_list_->itemText(i).toStdString() == ports[static_cast<size_t>(i)].friendly_name;
  if (!same) {
    port_list_->clear();
    for (const PortEntry& entry : ports)
      port_list_->addItem(QString::fromStdString(entry.friendly_name), entry.number);
  }
  port_list_->setCurrentIndex(logic_.SelectedIndex());
  filling_ = false;

  auto_detect_->setChecked(logic_.AutoDetectChecked());
  upgrade_check_->setChecked(logic_.UpgradeChecked());
  login_start_->setChecked(logic_.LoginStartChecked());
  const bool enabled = logic_.PortControlsEnabled();
  port_caption_->setEnabled(enabled);
  port_list_->setEnabled(enabled);
  test_connection_->setEnabled(enabled);
}

void SettingsDialogWidget::OnTestConnection() {
  // The test restarts the tool and waits for it; the wait cursor says the dialog is busy.
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  const ConnectionTestResult result = logic_.TestConnection();
  QGuiApplication::restoreOverrideCursor();
  const int message = ConnectionTestMessage(result);
  if (message != 0) show_box_(UiText(message), ConnectionTestIcon(result));
}

void SettingsDialogWidget::accept() {
  logic_.Apply();
  QDialog::accept();
}

void SettingsDialogWidget::OnFactoryReset() {
  logic_.FactoryReset();
  close();
}

void SettingsDialogWidget::done(int result) {
  // Escape, the close box and Cancel all end here; the logic then hands nothing back.
  if (!logic_.Ended()) logic_.Cancel();
  QDialog::done(result);
}

}  // namespace velmar
