// The update sequencer's state table, driven tick by tick against a recording host.
#include <gtest/gtest.h>

#include "app/Strings.h"
#include "app/UpdateSequencer.h"
#include "server/DatabaseList.h"
#include "server/OptionCodeSet.h"
#include "server/OptionList.h"
#include "server/OthersList.h"
#include "server/VersionInfo.h"

namespace velmar {
namespace {

// Plays the window, the tool and the workers; records what the sequencer asked for.
class FakeHost : public SequencerHost {
 public:
  DeviceProtocol protocol = DeviceProtocol::Protocol2;
  int port_back_on_attempt = 1;  // the reconnect that finds the port again (0: never)
  int reconnect_attempts = 0;
  int refresh_result = 0;
  int check_link_result = 0;
  int read_databases_result = 0;
  std::vector<int> progress_signals;
  bool read_device_info_result = true;

  std::vector<std::string> calls;
  std::vector<std::string> jobs;  // "MAIN" or package names, in start order
  std::vector<int> appended_ids;
  std::vector<std::string> lines;
  std::vector<std::pair<int, MessageIcon>> boxes;
  std::vector<std::pair<std::string, std::string>> reports;
  int abandoned = 0;
  bool scanner_running = true;
  bool update_mode = false;

  VersionInfo version;
  DatabaseList databases;
  OptionList options;
  OthersList others;
  OptionCodeSet selection;

  DeviceProtocol ToolProtocol() override { return protocol; }
  void RestartTool() override { calls.push_back("RestartTool"); }
  void ClosePort() override { calls.push_back("ClosePort"); }
  bool ReopenPortWhenPresent() override {
    ++reconnect_attempts;
    calls.push_back("Reopen");
    return port_back_on_attempt != 0 && reconnect_attempts >= port_back_on_attempt;
  }
  int RefreshBlockSize() override {
    calls.push_back("RefreshBlockSize");
    return refresh_result;
  }
  int ReadProgressSignal() override {
    if (progress_signals.empty()) return 0;
    const int s = progress_signals.front();
    progress_signals.erase(progress_signals.begin());
    return s;
  }
  int CheckLink() override { return check_link_result; }
  void SetClock() override { calls.push_back("SetClock"); }
  void SetZoneCountry(uint16_t zone, uint16_t country) override {
    calls.push_back("Zone " + std::to_string(zone) + "/" + std::to_string(country));
  }
  int ReadDatabases() override { return read_databases_result; }
  void StopScanner() override { scanner_running = false; }
  void StartScanner() override { scanner_running = true; }
  void EnterUpdateMode(bool on) override { update_mode = on; }
  void ResetProgress() override {}
  void ShowTransferComplete() override { calls.push_back("100%"); }
  bool ReadDeviceInfo() override { return read_device_info_result; }
  void RecompareAfterReconnect() override { calls.push_back("Recompare"); }
  void AppendString(int id) override { appended_ids.push_back(id); }
  void AppendLine(const std::string& text) override { lines.push_back(text); }
  void ReplaceLastLine(const std::string& text) override { lines.push_back("~" + text); }
  void ShowMessage(int id, MessageIcon icon) override { boxes.push_back({id, icon}); }
  void StartMainSoftwareJob() override { jobs.push_back("MAIN"); }
  void StartPackageJob(const std::string& name) override { jobs.push_back(name); }
  void AbandonJob() override { ++abandoned; }
  bool ReportStatus(const std::string& file, const std::string& status) override {
    reports.push_back({file, status});
    return true;
  }
  VersionInfo& Version() override { return version; }
  DatabaseList& Databases() override { return databases; }
  OptionList& Options() override { return options; }
  OthersList& Others() override { return others; }
  const OptionCodeSet& OptionSelection() override { return selection; }

  void LoadCatalogue(std::string dbs, std::string opts, std::string oth, std::string ver = "") {
    if (!ver.empty()) version.ReadVersion(ver);
    databases.Read(dbs);
    options.Read(opts);
    others.Read(oth);
  }
};

// Ticks until the state changes away from `state` (at most `limit` ticks); returns the count.
int TicksWhile(UpdateSequencer& sequencer, int32_t state, int limit = 200) {
  int ticks = 0;
  for (; sequencer.State() == state && ticks < limit; ++ticks) sequencer.Run(EVENT_TICK);
  return ticks;
}

// Runs a full update up to the main-software job.
void RunToMainSoftware(UpdateSequencer& sequencer) {
  sequencer.BeginFullUpdate();
  sequencer.Run(EVENT_TICK);
  TicksWhile(sequencer, LOAD_ETAPE_WAIT_RESTART);
  TicksWhile(sequencer, LOAD_ETAPE_WAIT_USB_CONNECT);
  ASSERT_EQ(sequencer.State(), LOAD_ETAPE_MAIN_SOFT);
}

// From the main software's success to the database phase.
void RunToDatabases(UpdateSequencer& sequencer) {
  RunToMainSoftware(sequencer);
  sequencer.Run(EVENT_FIN_TRANSFERT_OK);
  for (int32_t state : {LOAD_ETAPE_WAIT_REBOOT, LOAD_ETAPE_WAIT_USB_CONNECT2,
                        LOAD_ETAPE_WAIT_BOOT_STATUS, LOAD_ETAPE_WAIT_TEST_DEVICE})
    TicksWhile(sequencer, state);
  ASSERT_EQ(sequencer.State(), LOAD_ETAPE_START_DATABASE);
}

class Sequencer : public ::testing::Test {
 protected:
  int TicksWhile(int32_t state, int limit = 200) {
    return velmar::TicksWhile(sequencer_, state, limit);
  }
  void RunToMainSoftware() { velmar::RunToMainSoftware(sequencer_); }
  void RunToDatabases() { velmar::RunToDatabases(sequencer_); }

  FakeHost host_;
  UpdateSequencer sequencer_{host_};
};

TEST_F(Sequencer, IdleIgnoresTicksAndEvents) {
  for (int32_t event : {0, 1, 8, 23, 24, 27}) sequencer_.Run(event);
  EXPECT_EQ(sequencer_.State(), LOAD_ETAPE_IDLE);
  EXPECT_TRUE(host_.calls.empty());
}

TEST_F(Sequencer, AProtocol1ToolSkipsTheRestartAndStartsOnTheFirstTick) {
  host_.protocol = DeviceProtocol::Protocol1;
  sequencer_.BeginFullUpdate();
  sequencer_.Run(EVENT_TICK);
  EXPECT_EQ(sequencer_.State(), LOAD_ETAPE_MAIN_SOFT);
  EXPECT_EQ(host_.jobs, std::vector<std::string>{"MAIN"});
  EXPECT_TRUE(host_.calls.empty()) << "no restart, no port closing";
  EXPECT_FALSE(host_.scanner_running);
  EXPECT_TRUE(host_.update_mode);
  EXPECT_EQ(host_.appended_ids, std::vector<int>{kStrUpdatingDevice});
}

TEST_F(Sequencer, AProtocol2ToolIsRestartedAndWaitedFor) {
  sequencer_.BeginFullUpdate();
  sequencer_.Run(EVENT_TICK);
  EXPECT_EQ(host_.calls, (std::vector<std::string>{"RestartTool", "ClosePort"}));
  EXPECT_EQ(sequencer_.State(), LOAD_ETAPE_WAIT_RESTART);
  EXPECT_EQ(TicksWhile(LOAD_ETAPE_WAIT_RESTART), 3);
  // The restarted tool may report another block size: read it before the first block, and
  // keep waiting while it cannot be read.
  host_.refresh_result = -1;
  sequencer_.Run(EVENT_TICK);
  EXPECT_EQ(sequencer_.State(), LOAD_ETAPE_WAIT_USB_CONNECT);
  EXPECT_TRUE(host_.jobs.empty());
  host_.refresh_result = 0;
  sequencer_.Run(EVENT_TICK);
  EXPECT_EQ(sequencer_.State(), LOAD_ETAPE_MAIN_SOFT);
  EXPECT_EQ(host_.jobs, std::vector<std::string>{"MAIN"});
  EXPECT_EQ(host_.calls, (std::vector<std::string>{"RestartTool", "ClosePort", "Reopen",
                                                   "RefreshBlockSize", "Reopen",
                                                   "RefreshBlockSize"}));
}

TEST_F(Sequencer, APortBackByTheNinthTickIsAcceptedAndStillAwayOnTheTenthFails) {
  for (int back_on : {9, 10}) {
    SCOPED_TRACE(back_on);
    FakeHost host;
    UpdateSequencer sequencer(host);
    host.port_back_on_attempt = back_on;
    sequencer.BeginFullUpdate();
    sequencer.Run(EVENT_TICK);
    velmar::TicksWhile(sequencer, LOAD_ETAPE_WAIT_RESTART);
    EXPECT_EQ(velmar::TicksWhile(sequencer, LOAD_ETAPE_WAIT_USB_CONNECT), back_on);
    if (back_on == 9) {
      EXPECT_EQ(sequencer.State(), LOAD_ETAPE_MAIN_SOFT);
      continue;
    }
    EXPECT_EQ(host.reconnect_attempts, 9);
    EXPECT_EQ(sequencer.State(), LOAD_ETAPE_END);
    EXPECT_EQ(sequencer.StatusText(), "FAIL: LOAD_ETAPE_WAIT_USB_CONNECT->WAIT=0");
    velmar::TicksWhile(sequencer, LOAD_ETAPE_END, 5);
    EXPECT_EQ(host.reports.back().second, "FAIL: LOAD_ETAPE_WAIT_USB_CONNECT->WAIT=0");
    EXPECT_EQ(host.boxes.back().first, kStrUpdateFailed);
    EXPECT_TRUE(host.scanner_running);
  }
}

TEST_F(Sequencer, UsbWaitDefaultsToTwentyTicksAndZeroOrLessEndsAtTheFirstTick) {
  for (const auto& [usb, ticks] : {std::pair{"", 20}, {"X-0", 1}, {"X--5", 1}}) {
    SCOPED_TRACE(usb);
    FakeHost host;
    UpdateSequencer sequencer(host);
    host.version.ReadVersion(std::string("<usb>") + usb + "</usb>");
    velmar::RunToMainSoftware(sequencer);
    sequencer.Run(EVENT_FIN_TRANSFERT_OK);
    ASSERT_EQ(sequencer.State(), LOAD_ETAPE_WAIT_REBOOT);
    EXPECT_EQ(velmar::TicksWhile(sequencer, LOAD_ETAPE_WAIT_REBOOT), ticks);
    EXPECT_EQ(sequencer.State(), LOAD_ETAPE_WAIT_USB_CONNECT2);
  }
}

TEST_F(Sequencer, StartUpProgressIsFollowedUntilTheToolIsReady) {
  host_.version.ReadVersion("<usb>X-1-1</usb>");
  ASSERT_EQ(host_.version.UsbPoll(), 1) << "this test needs the boot progress to be followed";
  host_.progress_signals = {0, 1, 2, 3};
  RunToMainSoftware();
  sequencer_.Run(EVENT_FIN_TRANSFERT_OK);
  TicksWhile(LOAD_ETAPE_WAIT_REBOOT);
  TicksWhile(LOAD_ETAPE_WAIT_USB_CONNECT2);
  ASSERT_EQ(sequencer_.State(), LOAD_ETAPE_WAIT_BOOT_STATUS);
  // Signals 0 to 2 count down from 12; 3, a long task, waits 50 ticks.
  for (int counter : {12, 11, 10, 50}) {
    EXPECT_EQ(sequencer_.WaitCounter(), counter);
    sequencer_.Run(EVENT_TICK);
  }
  EXPECT_EQ(sequencer_.State(), LOAD_ETAPE_WAIT_TEST_DEVICE);
  EXPECT_EQ(sequencer_.WaitCounter(), 3);
}

// The post-update check moves on only when the tool answers and its identity is read again.
TEST_F(Sequencer, AToolThatIsSilentOrUnreadableAfterTheMainSoftwareFails) {
  for (const auto& [link, identity] : {std::pair{-1, true}, {0, false}}) {
    FakeHost host;
    UpdateSequencer sequencer(host);
    host.check_link_result = link;
    host.read_device_info_result = identity;
    velmar::RunToMainSoftware(sequencer);
    sequencer.Run(EVENT_FIN_TRANSFERT_OK);
    velmar::TicksWhile(sequencer, LOAD_ETAPE_WAIT_REBOOT);
    velmar::TicksWhile(sequencer, LOAD_ETAPE_WAIT_USB_CONNECT2);
    EXPECT_EQ(velmar::TicksWhile(sequencer, LOAD_ETAPE_WAIT_TEST_DEVICE), 31) << link;
    EXPECT_EQ(sequencer.StatusText(), "FAIL: LOAD_ETAPE_WAIT_TEST_DEVICE");
  }
}

TEST_F(Sequencer, EmptyListsGoStraightToPassAndTheNextSequenceStartsAfresh) {
  RunToDatabases();
  sequencer_.Run(EVENT_TICK);  // 9 -> 12
  EXPECT_EQ(sequencer_.State(), LOAD_ETAPE_START_OPTIONS);
  sequencer_.Run(EVENT_TICK);  // 12 -> 14
  sequencer_.Run(EVENT_TICK);  // 14 -> 16
  EXPECT_EQ(sequencer_.State(), LOAD_ETAPE_END);
  sequencer_.Run(EVENT_TICK);
  EXPECT_EQ(sequencer_.State(), LOAD_ETAPE_IDLE);
  EXPECT_EQ(sequencer_.StatusText(), "PASS");
  EXPECT_EQ(host_.reports, (std::vector<std::pair<std::string, std::string>>{{"", "PASS"}}));
  EXPECT_EQ(host_.boxes.back(), std::make_pair(int(kStrUpToDate), MessageIcon::None));
  EXPECT_FALSE(host_.update_mode);

  // The next sequence starts with an empty status text, not the PASS of this one.
  host_.protocol = DeviceProtocol::Protocol1;
  sequencer_.BeginFullUpdate();
  sequencer_.Run(EVENT_TICK);
  sequencer_.Run(EVENT_NEED_SDCARD);
  sequencer_.Run(EVENT_TICK);
  EXPECT_EQ(host_.reports.back().second, "FAIL: NEED SDCARD");
}

TEST_F(Sequencer, DatabasesOptionsAndOthersLoadInOrder) {
  host_.LoadCatalogue(
      "<duo><dbs>EU01</dbs><rel>EU01R</rel></duo><duo><dbs>US02</dbs><rel>US02R</rel></duo>",
      "<option><code>7</code><ver>OPT7_1</ver></option><option><code>9</code><ver>OPT9_2</ver></"
      "option>",
      "<af>MANUAL_EN</af>");
  host_.selection.Add(9);
  host_.selection.Add(7);
  RunToDatabases();
  sequencer_.Run(EVENT_TICK);
  ASSERT_EQ(sequencer_.State(), LOAD_ETAPE_DATABASE);
  for (int i = 0; i < 4; ++i) sequencer_.Run(EVENT_FIN_TRANSFERT_OK);
  ASSERT_EQ(sequencer_.State(), LOAD_ETAPE_START_OPTIONS);
  sequencer_.Run(EVENT_TICK);
  ASSERT_EQ(sequencer_.State(), LOAD_ETAPE_OPTIONS);
  sequencer_.Run(EVENT_FIN_TRANSFERT_OK);
  sequencer_.Run(EVENT_FIN_TRANSFERT_OK);
  ASSERT_EQ(sequencer_.State(), LOAD_ETAPE_START_OTHERS);
  sequencer_.Run(EVENT_TICK);
  sequencer_.Run(EVENT_FIN_TRANSFERT_OK);
  ASSERT_EQ(sequencer_.State(), LOAD_ETAPE_END);
  sequencer_.Run(EVENT_TICK);
  EXPECT_EQ(host_.jobs, (std::vector<std::string>{"MAIN", "EU01", "EU01R", "US02", "US02R",
                                                  "OPT9_2", "OPT7_1", "MANUAL_EN"}));
  EXPECT_EQ(host_.reports.back(), std::make_pair(std::string("MANUAL_EN"), std::string("PASS")));
  EXPECT_EQ(host_.lines.front(), "Loading database 1/4.... Please wait.");
  EXPECT_NE(
      std::find(host_.lines.begin(), host_.lines.end(), "~Loading database 4/4.... Please wait."),
      host_.lines.end());
  EXPECT_NE(std::find(host_.lines.begin(), host_.lines.end(), "~Loading option : OPT9_2"),
            host_.lines.end());
}

// A database pair without its second name runs out of packages: a failure. An option missing
// from the list ends the option phase after the ones before it.
TEST_F(Sequencer, ADatabasePairWithoutSecondNameFailsAndAMissingOptionEndsTheOptions) {
  host_.LoadCatalogue("<duo><dbs>EU01</dbs><rel></rel></duo>", "", "");
  RunToDatabases();
  sequencer_.Run(EVENT_TICK);
  ASSERT_EQ(sequencer_.State(), LOAD_ETAPE_DATABASE);
  sequencer_.Run(EVENT_FIN_TRANSFERT_OK);
  EXPECT_EQ(sequencer_.StatusText(), "FAIL: LOAD_ETAPE_DATABASE->NextDatabaseToLoad=FALSE");
  EXPECT_EQ(host_.appended_ids.back(), kStrTransferComplete);

  FakeHost host;
  UpdateSequencer sequencer(host);
  host.LoadCatalogue("", "<option><code>7</code><ver>OPT7_1</ver></option>", "<af>X1</af>");
  for (uint16_t code : {7, 8, 7}) host.selection.Add(code);  // 8 is not offered
  velmar::RunToDatabases(sequencer);
  sequencer.Run(EVENT_TICK);
  sequencer.Run(EVENT_TICK);
  ASSERT_EQ(sequencer.State(), LOAD_ETAPE_OPTIONS);
  sequencer.Run(EVENT_FIN_TRANSFERT_OK);
  EXPECT_EQ(sequencer.State(), LOAD_ETAPE_START_OTHERS);
  EXPECT_EQ(host.jobs.back(), "OPT7_1");
}

TEST_F(Sequencer, ARefusedBlockIsAMissingSdCard) {
  host_.LoadCatalogue("", "<option><code>7</code><ver>OPT7_1</ver></option>", "");
  host_.selection.Add(7);
  RunToDatabases();
  sequencer_.Run(EVENT_TICK);
  sequencer_.Run(EVENT_TICK);
  sequencer_.Run(EVENT_NEED_SDCARD);
  EXPECT_EQ(sequencer_.Result(), LoadResult::NeedSdCard);
  sequencer_.Run(EVENT_TICK);
  EXPECT_EQ(sequencer_.StatusText(), "FAIL: NEED SDCARD");
  EXPECT_EQ(host_.boxes.back(), std::make_pair(int(kStrNeedSdCard), MessageIcon::Error));
  EXPECT_EQ(host_.reports.back(),
            std::make_pair(std::string("OPT7_1"), std::string("FAIL: NEED SDCARD")));
}

TEST_F(Sequencer, TheDatabasePhaseFailsWhenOfferedDatabasesCannotBeLoaded) {
  struct Case {
    DeviceProtocol protocol;
    const char* offered;
    int read_databases, refresh;
    int32_t state;  // after the tick of state 9
    const char* status;
  };
  const char* two = "<duo><dbs>A</dbs><rel>B</rel></duo>";
  const Case cases[] = {
      {DeviceProtocol::Protocol2, two, -1, 0, LOAD_ETAPE_END, "FAIL: LOAD_ETAPE_START_DATABASE"},
      {DeviceProtocol::Protocol2, two, 0, -1, LOAD_ETAPE_END, "FAIL: LOAD_ETAPE_START_DATABASE"},
      {DeviceProtocol::Protocol2, "", -1, -1, LOAD_ETAPE_START_OPTIONS, ""},
      {DeviceProtocol::Protocol2, two, 0, 0, LOAD_ETAPE_DATABASE, ""},
      {DeviceProtocol::Protocol1, two, -1, 0, LOAD_ETAPE_START_OPTIONS, ""},
      {DeviceProtocol::Protocol1, "", -1, 0, LOAD_ETAPE_START_OPTIONS, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.offered) + " " + std::to_string(c.read_databases) + " " +
                 std::to_string(c.refresh));
    FakeHost host;
    UpdateSequencer sequencer(host);
    host.LoadCatalogue(c.offered, "", "");
    velmar::RunToDatabases(sequencer);
    host.protocol = c.protocol;
    host.read_databases_result = c.read_databases;
    host.refresh_result = c.refresh;
    host.appended_ids.clear();
    sequencer.Run(EVENT_TICK);
    EXPECT_EQ(sequencer.State(), c.state);
    EXPECT_EQ(sequencer.StatusText(), c.status);
    const bool skipped_line = c.protocol == DeviceProtocol::Protocol1 && *c.offered != 0;
    EXPECT_EQ(host.appended_ids, skipped_line ? std::vector<int>{kStrDatabasesSkipped}
                                              : std::vector<int>{});
  }
}

// A failed job, or one that never reports (after a bounded silence that progress restarts),
// fails the update with the text of its phase.
TEST_F(Sequencer, EachWaitingStateFailsOnAFailedOrSilentJob) {
  struct Case {
    const char* dbs;
    const char* opts;
    const char* oth;
    int ticks_after_databases;  // 0: the main software
    const char* status;
  };
  const Case cases[] = {
      {"", "", "", 0, "FAIL: LOAD_ETAPE_MAIN_SOFT->EVENT_FIN_TRANSFERT_FAIL"},
      {"<duo><dbs>A</dbs><rel>B</rel></duo>", "", "", 1,
       "FAIL: LOAD_ETAPE_DATABASE->EVENT_FIN_TRANSFERT_FAIL"},
      {"", "<option><code>1</code><ver>O1</ver></option>", "", 2,
       "FAIL: LOAD_ETAPE_OPTIONS->EVENT_FIN_TRANSFERT_FAIL"},
      {"", "", "<af>X</af>", 3, "FAIL: LOAD_ETAPE_OTHERS->EVENT_FIN_TRANSFERT_FAIL"},
  };
  for (const Case& c : cases) {
    for (bool silent : {false, true}) {
      SCOPED_TRACE(std::string(c.status) + (silent ? " silent" : " failed"));
      FakeHost host;
      UpdateSequencer sequencer(host);
      host.LoadCatalogue(c.dbs, c.opts, c.oth);
      host.selection.Add(1);
      if (c.ticks_after_databases == 0) {
        velmar::RunToMainSoftware(sequencer);
      } else {
        velmar::RunToDatabases(sequencer);
        for (int i = 0; i < c.ticks_after_databases; ++i) sequencer.Run(EVENT_TICK);
      }
      const int32_t waiting = sequencer.State();
      const size_t jobs = host.jobs.size();
      if (silent) {
        for (int i = 1; i < UpdateSequencer::kJobSilenceTicks; ++i) sequencer.Run(EVENT_TICK);
        sequencer.NoteJobActivity();
        EXPECT_EQ(velmar::TicksWhile(sequencer, waiting, 1000), UpdateSequencer::kJobSilenceTicks);
      } else {
        sequencer.Run(EVENT_FIN_TRANSFERT_FAIL);
      }
      EXPECT_EQ(host.abandoned, silent ? 1 : 0);
      EXPECT_EQ(host.jobs.size(), jobs) << "no job after the failed one";
      EXPECT_EQ(sequencer.StatusText(), c.status);
      sequencer.Run(EVENT_TICK);
      ASSERT_EQ(host.reports.size(), 1u);
      EXPECT_EQ(host.reports.back().second, c.status);
      EXPECT_TRUE(host.scanner_running);
    }
  }
}


}  // namespace
}  // namespace velmar
