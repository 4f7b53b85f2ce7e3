// Every text fits its control in every language: the window (each tab page, each text a
// caption can change to), the settings dialog and the proxy login dialog, measured with the
// font's metrics against the room each control was drawn with (before a caption may run on
// into its neighbour).
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <optional>

#include "DesktopWindow.h"
#include "DialogUnitLayout.h"
#include "ProxyLoginDialog.h"
#include "SettingsDialogWidget.h"
#include "UiText.h"
#include "app/ControlIds.h"
#include "app/Strings.h"
#include "device/SerialPort.h"
#include "device/ToolDevice.h"
#include "support/FakeSerial.h"
#include "support/RecordingPoster.h"
#include "support/ScriptedPortListing.h"

namespace velmar {
namespace {

// The room a control has: its rectangle as its dialog-unit layout drew it, else its geometry.
QRect Room(const QWidget& widget) {
  if (const QWidget* parent = widget.parentWidget()) {
    if (const auto* layout = dynamic_cast<const DialogUnitLayout*>(parent->layout())) {
      const QRect drawn = layout->DrawnGeometry(&widget);
      if (drawn.isValid()) return drawn;
    }
  }
  return widget.geometry();
}

// Width of the widest line and height of all lines, a mnemonic's "&" left out.
QSize TextSize(const QFontMetrics& metrics, QString text) {
  text.replace(QLatin1String("&&"), QLatin1String("\x01")).remove(QLatin1Char('&'));
  text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
  const QStringList lines = text.split(QLatin1Char('\n'));
  int width = 0;
  for (const QString& line : lines) width = std::max(width, metrics.horizontalAdvance(line));
  return QSize(width, static_cast<int>(lines.size()) * metrics.height());
}

// What a control needs for its text: the text plus the style's margins, indicator and frame.
std::optional<QSize> Needed(const QWidget& widget) {
  const QFontMetrics metrics = widget.fontMetrics();
  const QStyle* style = widget.style();
  if (const auto* button = qobject_cast<const QPushButton*>(&widget)) {
    if (button->text().isEmpty()) return std::nullopt;
    const int margin = style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, &widget) +
                       2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &widget);
    return TextSize(metrics, button->text()) + QSize(margin, margin / 2);
  }
  if (const auto* box = qobject_cast<const QCheckBox*>(&widget)) {
    const QSize text = TextSize(metrics, box->text());
    return QSize(style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, &widget) +
                     style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, &widget) + text.width(),
                 text.height());
  }
  if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
    if (label->text().isEmpty() || label->wordWrap()) return std::nullopt;  // wrapped: see below
    return TextSize(metrics, label->text()) + QSize(2 * (label->margin() + label->frameWidth()), 0);
  }
  if (const auto* group = qobject_cast<const QGroupBox*>(&widget)) {
    if (group->title().isEmpty()) return std::nullopt;
    // The title sits in the frame's top edge, a little in from either side.
    return TextSize(metrics, group->title()) + QSize(4 * metrics.averageCharWidth(), 0);
  }
  return std::nullopt;
}

// Every control of `top` whose text does not fit, as "text: needs WxH, has WxH".
std::vector<std::string> Misfits(QWidget& top) {
  std::vector<std::string> misfits;
  for (QWidget* widget : top.findChildren<QWidget*>()) {
    if (!widget->isVisibleTo(&top)) continue;
    const QRect room = Room(*widget);
    const QString text = [&] {
      if (auto* b = qobject_cast<QAbstractButton*>(widget)) return b->text();
      if (auto* l = qobject_cast<QLabel*>(widget)) return l->text();
      if (auto* g = qobject_cast<QGroupBox*>(widget)) return g->title();
      return QString();
    }();
    bool fits = true;
    QSize need;
    if (const auto* label = qobject_cast<QLabel*>(widget); label && label->wordWrap()) {
      // A wrapping caption needs its lines' height, and no word wider than its room.
      need = QSize(0, label->heightForWidth(room.width()));
      for (const QString& word : label->text().split(QLatin1Char(' ')))
        need.setWidth(std::max(need.width(), label->fontMetrics().horizontalAdvance(word)));
      fits = need.width() <= room.width() && need.height() <= room.height();
    } else if (const std::optional<QSize> needed = Needed(*widget)) {
      need = *needed;
      fits = need.width() <= room.width() && need.height() <= room.height();
    }
    if (!fits) {
      misfits.push_back(text.toStdString() + ": needs " + std::to_string(need.width()) + "x" +
                        std::to_string(need.height()) + ", has " + std::to_string(room.width()) +
                        "x" + std::to_string(room.height()));
    }
  }
  return misfits;
}

void Settle(QWidget& widget) {
  widget.show();
  widget.layout()->activate();
  QApplication::processEvents();
}

class TextFit : public ::testing::TestWithParam<Language> {
 protected:
  void SetUp() override { SetLanguage(GetParam()); }
  void TearDown() override { SetLanguage(Language::English); }
};

TEST_P(TextFit, TheWindowsCaptionsFitInEveryStateAndOnEveryTabPage) {
  DesktopWindow window;
  Settle(window);
  const std::string com = " (COM255)";
  const std::pair<int, std::vector<std::string>> changing[] = {
      {control::kSerialCaption,
       {LoadString(kStrSerialCaption), FormatMessage(kStrModelSerialCaption, {MessageArg("47-3306")}),
        FormatMessage(kStrModelSerialCaption, {MessageArg("47-3307")})}},
      {control::kPortModeText,
       {LoadString(kStrAutomaticNoAdapter), LoadString(kStrAutomaticMode) + com, LoadString(kStrUserMode) + com}},
      {control::kDownloadPercent, {"100 %"}},
      {control::kTransferPercent, {"100 %"}},
  };
  for (const auto& [control, texts] : changing) {
    for (const std::string& text : texts) {
      window.SetControlText(control, QString::fromStdString(text));
      window.layout()->activate();
      EXPECT_EQ(Misfits(window), std::vector<std::string>()) << text;
    }
  }
  auto* tabs = qobject_cast<QTabWidget*>(window.Control(control::kTabStrip));
  ASSERT_NE(tabs, nullptr);
  for (int page = 0; page < tabs->count(); ++page) {
    tabs->setCurrentIndex(page);
    QApplication::processEvents();
    EXPECT_EQ(Misfits(*tabs->widget(page)), std::vector<std::string>()) << "page " << page;
  }
}

TEST_P(TextFit, BothDialogsCaptionsFit) {
  testing::FakeSerialBinding fake;
  SerialPort port(fake);
  ToolDevice device;
  device.Attach(&port);
  testing::RecordingPoster window;
  testing::ScriptedPortListing listing;
  listing.names = {"Ostar RS232 Emulation (COM3)"};
  ManualClock clock;
  struct NoLogin : LoginStart {
    bool Enabled() override { return false; }
    bool SetEnabled(bool, const std::string&) override { return true; }
  } login;
  SettingsDialog logic(1, 1, -1, device, port, window, listing, clock);
  logic.OfferLoginStart(&login, "velmar");
  SettingsDialogWidget settings(logic);
  Settle(settings);
  EXPECT_EQ(Misfits(settings), std::vector<std::string>());
  ProxyLoginDialog proxy;
  Settle(proxy);
  EXPECT_EQ(Misfits(proxy), std::vector<std::string>());
}

std::string LanguageName(const ::testing::TestParamInfo<Language>& info) {
  static const char* const kNames[] = {"English", "German", "French", "Japanese", "Dutch"};
  return kNames[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(AllLanguages, TextFit,
                         ::testing::Values(Language::English, Language::German, Language::French,
                                           Language::Japanese, Language::Dutch),
                         LanguageName);

// Japanese needs a font with its glyphs, or every text is a row of empty boxes.
TEST(TextFitFonts, AFontForJapaneseIsInstalled) {
  EXPECT_FALSE(QFontDatabase::families(QFontDatabase::Japanese).isEmpty())
      << "install fonts-ipafont-gothic (or fonts-noto-cjk)";
}

}  // namespace
}  // namespace velmar
