// One transfer job from the update server into the tool: the local update server as a process,
// the virtual tool in process on a pseudo-terminal, the program's own port and tool facade in
// between. Every TransferResult from its cause, the blocks the tool received, the finish
// command, the progress events and the port's time-out.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "UpdateJobs.h"
#include "ToolProfile.h"
#include "VirtualTool.h"
#include "device/SerialPort.h"
#include "device/ToolDevice.h"
#include "server/FakeHttpTransport.h"
#include "device/ScriptedTool.h"
#include "support/RecordingPoster.h"
#include "support/Tinyproxy.h"
#include "support/UpdateTestSupport.h"
#include "update/DownloadWorker.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::FakeHttpTransport;
using testing::ExpectProgress;
using testing::FakeReply;
using testing::Format101Item;
using testing::PostedEvent;
using testing::RecordingPoster;
using testing::ScratchDir;
using testing::ServerProcess;
using testing::ValuesOf;
using testing::YieldingClock;
using testing::ZipOf;
using toolsim::FinishKind;
using toolsim::VirtualTool;
using toolsim::VirtualToolOptions;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t kPort = 23;
constexpr const char* kP2Serial = "QL7-12-000123";
constexpr const char* kP1Serial = "QL7-12-000045";

class DownloadJob : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::HaveServer()) GTEST_SKIP() << "velmar-serversim is not built";
    // The program finds COM<n> through the port directory; set before any thread starts.
    setenv("VELMAR_PORT_DIR", ports_.Path().c_str(), 1);
    port_.SetPort(kPort);
    device_.Attach(&port_);
  }
  void TearDown() override {
    if (worker_) worker_->Stop();
    port_.Close();
    tool_.reset();
  }

  VirtualTool& StartTool(const std::string& profile, toolsim::FaultSettings faults = {}) {
    VirtualToolOptions options;
    std::string error;
    EXPECT_EQ(toolsim::LoadProfile(toolsim::ShippedProfilePath(profile), &options.profile, &error),
              0)
        << error;
    options.port_number = kPort;
    options.port_directory = ports_.Path();
    options.restart_delay = 50ms;
    options.progress_interval = 20ms;
    options.faults = faults;
    tool_ = std::make_unique<VirtualTool>(std::move(options));
    EXPECT_EQ(tool_->Start(&error), 0) << error;
    EXPECT_EQ(port_.Open(), 1);
    // A second-map tool stays silent at the first map's address: one attempt there is enough.
    device_.Master().SetRetries(1);
    EXPECT_EQ(device_.Detect(), 0);
    device_.Master().SetRetries(ModbusMaster::kDefaultRetries);
    return *tool_;
  }

  DownloadWorker& MakeWorker(const ServerAddress& address, HttpTransport& transport) {
    worker_ = std::make_unique<DownloadWorker>(address, transport, clock_);
    worker_->SetWindow(&window_);
    worker_->SetDevice(&device_);
    return *worker_;
  }

  // Starts the server on a catalogue, then one job for `package`; waits for its end.
  TransferResult RunJob(const std::string& serial, const std::string& package, bool main_software,
                        std::vector<std::string> switches = {},
                        const std::string& catalog = testing::TestCatalog()) {
    EXPECT_TRUE(server_.Start(catalog, std::move(switches)));
    DownloadWorker& worker = MakeWorker(server_.Address(), transport_);
    return RunAgain(worker, serial, package, main_software);
  }

  TransferResult RunAgain(DownloadWorker& worker, const std::string& serial,
                          const std::string& package, bool main_software) {
    window_.Clear();
    worker.Stop();
    worker.SetIdentity(serial.c_str(), package.c_str());
    worker.SetMainSoftware(main_software);
    worker.Start();
    EXPECT_TRUE(window_.WaitFor(DownloadWorker::kEventFinished));
    worker.Stop();
    const auto finished = ValuesOf(window_.Events(), DownloadWorker::kEventFinished);
    EXPECT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished.empty() ? -1 : finished[0], worker.Result());
    return worker.Result();
  }

  bool WaitForFinishes(size_t count) {
    return tool_->WaitUntil(
        [count](const toolsim::ToolState& state, const toolsim::PortState&) {
          return state.finishes.size() >= count;
        },
        5s);
  }

  Bytes Memory(uint32_t address, size_t size) {
    Bytes bytes;
    EXPECT_TRUE(tool_->ReadMemory(address, size, &bytes));
    return bytes;
  }

  ScratchDir ports_;
  SerialPort port_;
  ToolDevice device_;
  std::unique_ptr<VirtualTool> tool_;
  ServerProcess server_;
  CurlHttpTransport transport_{testing::DirectConnection()};
  YieldingClock clock_;
  RecordingPoster window_;
  std::unique_ptr<DownloadWorker> worker_;
};

TEST_F(DownloadJob, MainSoftwareIsWrittenBlockByBlockWithProgressAndTheTimeOutRestored) {
  VirtualTool& tool = StartTool("protocol2.json");
  ASSERT_EQ(device_.BlockSize(), 128u);
  EXPECT_EQ(RunJob(kP2Serial, "1.00", true), TR_WRITTEN);

  // The three sections: 600 bytes, an empty one (skipped), 77 bytes.
  EXPECT_EQ(Memory(0x10000, 600), pack::SeededPattern(1, 600));
  EXPECT_EQ(Memory(0x30000, 77), pack::SeededPattern(2, 77));
  ASSERT_TRUE(WaitForFinishes(1));
  const toolsim::ToolState state = tool.State();
  EXPECT_EQ(state.block_writes, 6u);  // 5 of at most 128 bytes, then 1
  ASSERT_EQ(state.finishes.size(), 1u);
  EXPECT_EQ(state.finishes[0].bytes, 678u);  // the odd last block carries a pad byte
  EXPECT_EQ(worker_->BlockSize(), 128u);
  EXPECT_EQ(worker_->MatchedItemName(), "1.10.bin");  // not the archive's README
  EXPECT_EQ(port_.ReadTimeout(), SerialPort::kDefaultReadTimeoutMs);

  const auto events = window_.Events();
  ExpectProgress(ValuesOf(events, DownloadWorker::kEventDownloadProgress));
  ExpectProgress(ValuesOf(events, DownloadWorker::kEventTransferProgress));
  EXPECT_EQ(ValuesOf(events, DownloadWorker::kEventUnpacked), (std::vector<int32_t>{-1}));
  for (const PostedEvent& e : events) EXPECT_EQ(e.message, DownloadWorker::kMessage);
  // Download, unpack, transfer, finish: in that order.
  const auto codes = window_.EventCodes();
  const auto unpacked = std::find(codes.begin(), codes.end(), 22);
  ASSERT_NE(unpacked, codes.end());
  EXPECT_TRUE(std::all_of(codes.begin(), unpacked, [](int32_t c) { return c == 4; }));
  EXPECT_TRUE(std::all_of(unpacked + 1, codes.end() - 1, [](int32_t c) { return c == 5; }));
  EXPECT_EQ(codes.back(), 14);

  const auto log = server_.Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0]["step"], "redirect");
  EXPECT_EQ(log[1]["step"], "action");
  for (const auto& line : log)
    EXPECT_EQ(line["body"], "s=QL7-12-000123&v=1.00&a=download_version&tool=QL7-12&usr=&opt=force");
}

TEST_F(DownloadJob, AFirstMapToolGetsTheFinishCommandForPackagesAndTheBroadcastForItsSoftware) {
  // A first-map tool has no information record to read before its serial number.
  VirtualTool& tool = StartTool("protocol1.json");
  ASSERT_EQ(device_.BlockSize(), 200u);
  ASSERT_TRUE(server_.Start(testing::TestCatalog()));
  DownloadWorker& worker = MakeWorker(server_.Address(), transport_);

  EXPECT_EQ(RunAgain(worker, kP1Serial, "DBA1-1-A", false), TR_WRITTEN);
  EXPECT_EQ(Memory(0x200000, 300), pack::SeededPattern(3, 300));
  EXPECT_EQ(RunAgain(worker, kP1Serial, "OPT1-1-A", false), TR_WRITTEN);
  EXPECT_EQ(Memory(0x300000, 64), pack::SeededPattern(5, 64));
  EXPECT_EQ(Memory(0x300100, 33), pack::SeededPattern(6, 33));
  EXPECT_EQ(RunAgain(worker, kP1Serial, "1.00", true), TR_WRITTEN);

  // The broadcast frame waits for no reply: the tool may still be reading it.
  ASSERT_TRUE(WaitForFinishes(3));
  const toolsim::ToolState state = tool.State();
  ASSERT_EQ(state.finishes.size(), 3u);
  EXPECT_EQ(state.finishes[0].kind, FinishKind::Command);
  EXPECT_EQ(state.finishes[0].blocks, 2u);  // 300 bytes in blocks of 200
  EXPECT_EQ(state.finishes[1].kind, FinishKind::Command);
  EXPECT_EQ(state.finishes[2].kind, FinishKind::Broadcast);
  EXPECT_TRUE(state.finishes[2].main_software);
  EXPECT_EQ(server_.Log().size(), 6u);
}

// One tool and one server, a job per row: the result each package or serial number ends in.
// Only the raw item reaches the tool; the first matching item decides, though a good one follows.
TEST_F(DownloadJob, EachJobEndsWithTheResultOfItsCause) {
  VirtualTool& tool = StartTool("protocol2.json");
  ASSERT_TRUE(server_.Start(testing::TestCatalog()));
  DownloadWorker& worker = MakeWorker(server_.Address(), transport_);
  const struct {
    const char* serial;
    const char* package;
    int32_t result;
    const char* matched;
    size_t unpacked;  // event 22: the package parsed
  } rows[] = {
      {kP2Serial, "RAW1.00", TR_WRITTEN, "RAW1.00.bin", 1},
      {"ql7-12-000123", "1.00", TR_SERIAL_MISMATCH, "1.10.bin", 1},  // letter case counts
      {kP2Serial, "EMPTY1.00", TR_WRITE_FAILED, "EMPTY1.00.bin", 1},  // valid, no section
      {kP2Serial, "NOMATCH1.00", TR_INVALID_PACKAGE, "", 0},
      {kP2Serial, "BAD1.00", TR_INVALID_PACKAGE, "BAD1.00.bin", 0},  // sections it lacks
      {kP2Serial, "JUNK1.00", TR_INVALID_PACKAGE, "", 0},            // not a zip archive
      {kP2Serial, "TWO1.00", TR_INVALID_PACKAGE, "TWO1.00-a.bin", 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.package);
    EXPECT_EQ(RunAgain(worker, row.serial, row.package, false), row.result);
    EXPECT_EQ(worker.MatchedItemName(), row.matched);
    EXPECT_EQ(ValuesOf(window_.Events(), DownloadWorker::kEventUnpacked).size(), row.unpacked);
    EXPECT_EQ(port_.ReadTimeout(), SerialPort::kDefaultReadTimeoutMs);
  }
  EXPECT_EQ(Memory(0, 100), pack::SeededPattern(7, 100));
  EXPECT_EQ(tool.State().block_writes, 1u);
  EXPECT_EQ(tool.State().finishes.size(), 1u);  // the raw item's, acknowledged before its end
}

// A server that fails, cuts a body or sends none with a length: the job ends before the tool.
TEST_F(DownloadJob, ServerFaultsEndTheJobBeforeTheTool) {
  VirtualTool& tool = StartTool("protocol2.json");
  const struct {
    std::vector<std::string> switches;
    int32_t result;
    bool progress;  // download progress up to the cut, never the whole
  } rows[] = {
      {{"--fail-redirect", "download_version=500"}, TR_REQUEST_FAILED, false},
      {{"--chunked"}, TR_REQUEST_FAILED, false},
      {{"--truncate-body", "300"}, TR_DOWNLOAD_CUT, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.switches[0]);
    ServerProcess server;
    ASSERT_TRUE(server.Start(testing::TestCatalog(), row.switches));
    EXPECT_EQ(RunAgain(MakeWorker(server.Address(), transport_), kP2Serial, "1.00", true), row.result);
    const auto progress = ValuesOf(window_.Events(), DownloadWorker::kEventDownloadProgress);
    EXPECT_EQ(!progress.empty(), row.progress);
    if (!progress.empty()) {
      EXPECT_LT(progress.back(), 100);
    }
  }
  EXPECT_EQ(tool.State().block_writes, 0u);
}

// Behind a proxy that wants a login (real tinyproxy): the job asks, asks again after a wrong
// login, and keeps the right one through a missing package, so later jobs ask nothing.
TEST_F(DownloadJob, BehindAProxyTheJobAsksForALoginAndKeepsItThroughA404) {
  testing::Tinyproxy proxy("alice", "s3cret");
  if (testing::Tinyproxy::Program().empty()) GTEST_SKIP() << "tinyproxy is not installed";
  ASSERT_TRUE(proxy.Start()) << proxy.Failure();
  StartTool("protocol2.json");
  ASSERT_TRUE(server_.Start(testing::TestCatalog()));
  CurlHttpTransport::Options options;
  options.proxy = proxy.Address();
  CurlHttpTransport through(options);
  DownloadWorker& worker = MakeWorker(server_.Address(), through);
  window_.Clear();
  worker.SetIdentity(kP2Serial, "1.00");
  worker.SetMainSoftware(true);
  worker.Start();
  for (const char* password : {"wrong", "s3cret"}) {
    ASSERT_TRUE(window_.WaitFor(DownloadWorker::kEventProxyLogin)) << proxy.Log();
    window_.Clear();
    worker.SetProxyCredentials("alice", password);
  }
  ASSERT_TRUE(window_.WaitFor(DownloadWorker::kEventFinished));
  EXPECT_EQ(worker.Result(), TR_WRITTEN);
  EXPECT_TRUE(ValuesOf(window_.Events(), DownloadWorker::kEventProxyLogin).empty());

  EXPECT_EQ(RunAgain(worker, kP2Serial, "NOSUCH1.00", false), TR_REQUEST_FAILED);
  EXPECT_EQ(server_.Log().back()["status"], 404);
  EXPECT_EQ(RunAgain(worker, kP2Serial, "1.00", true), TR_WRITTEN);
  EXPECT_TRUE(ValuesOf(window_.Events(), DownloadWorker::kEventProxyLogin).empty());

  // A user who declines the question ends the job as a failed request.
  DownloadWorker& fresh = MakeWorker(server_.Address(), through);
  window_.Clear();
  fresh.SetIdentity(kP2Serial, "1.00");
  fresh.Start();
  ASSERT_TRUE(window_.WaitFor(DownloadWorker::kEventProxyLogin));
  fresh.CancelProxyLogin();
  ASSERT_TRUE(window_.WaitFor(DownloadWorker::kEventFinished));
  EXPECT_EQ(fresh.Result(), TR_REQUEST_FAILED);
}

// A package large enough for many reads per percent, and many blocks.
class LargePackage : public DownloadJob {
 protected:
  static constexpr uint32_t kAddress = 0x00500000;
  static constexpr size_t kLength = 60000;

  std::string MakeCatalog() {
    const Bytes zip = ZipOf(catalog_, {{"BIG1.00.bin", Format101Item(kAddress, kLength, 11)}}, true);
    EXPECT_TRUE(testing::WriteFileBytes(catalog_.File("big.zip"), zip));
    EXPECT_TRUE(testing::WriteFileText(catalog_.File("catalog.json"),
                                       R"({"texte": "t", "packages": {"BIG1.00": "big.zip"},
                                           "tools": [{"serial": "*"}]})"));
    return catalog_.Path();
  }

  ScratchDir catalog_;
};

// A stop during the transfer returns at once; the next job starts afresh and posts progress
// only when the percentage changes.
TEST_F(LargePackage, AStopDuringTheTransferReturnsAndTheNextJobWritesItAll) {
  VirtualTool& tool = StartTool("protocol2.json");
  ASSERT_TRUE(server_.Start(MakeCatalog()));
  DownloadWorker& worker = MakeWorker(server_.Address(), transport_);
  worker.SetIdentity(kP2Serial, "BIG1.00");
  worker.Start();
  ASSERT_TRUE(window_.WaitFor(DownloadWorker::kEventTransferProgress));
  worker.Stop();
  EXPECT_EQ(worker.Result(), TR_NONE);
  EXPECT_EQ(port_.ReadTimeout(), SerialPort::kDefaultReadTimeoutMs);
  EXPECT_TRUE(tool.State().finishes.empty());
  const size_t stopped_after = tool.State().block_writes;
  EXPECT_LT(stopped_after, (kLength + 127) / 128);

  EXPECT_EQ(RunAgain(worker, kP2Serial, "BIG1.00", false), TR_WRITTEN);
  EXPECT_EQ(Memory(kAddress, kLength), pack::SeededPattern(11, kLength));
  // A block may have been on its way to the tool at the stop.
  const size_t written = tool.State().block_writes - stopped_after;
  EXPECT_GE(written, (kLength + 127) / 128);
  EXPECT_LE(written, (kLength + 127) / 128 + 1);
  // 236 reads and 469 blocks: one event per percent at most.
  for (int32_t code : {DownloadWorker::kEventDownloadProgress, DownloadWorker::kEventTransferProgress}) {
    const auto values = ValuesOf(window_.Events(), code);
    ExpectProgress(values);
    EXPECT_EQ(values.size(), 100u);
  }
}

// Replies a real server does not give: on a scripted service, with the virtual tool.
class ScriptedDownload : public DownloadJob {
 protected:
  const char* kRedirect = "<texte>t</texte><lien>http://act.example/u.php</lien>";
  FakeHttpTransport fake_;
};

// After a good job: a reply without a length (its buffer is not reused), a length beyond any
// sane size (not allocated), an empty item (no check byte) and one shorter than announced.
TEST_F(ScriptedDownload, BadRepliesAfterAGoodJobWriteNothing) {
  VirtualTool& tool = StartTool("protocol2.json");
  DownloadWorker& worker = MakeWorker(ServerAddress{}, fake_);
  const Bytes zip = ZipOf(ports_, {{"PK1.00.bin", Format101Item(0x600000, 40, 3)}}, true);
  const Bytes empty = ZipOf(ports_, {{"PK1.00.bin", {}}}, true);
  Bytes shorter = zip;
  const size_t central = testing::FindSignature(shorter, 0x02014b50);
  ASSERT_NE(central, std::string::npos);
  ++shorter[central + 24];  // the directory's uncompressed size, low byte
  const struct {
    Bytes body;
    int64_t length;  // 0: the body's own
    int32_t result;
  } rows[] = {
      {zip, 0, TR_WRITTEN},
      {zip, -1, TR_REQUEST_FAILED},
      {{'P', 'K'}, int64_t{DownloadWorker::kMaxPackageBytes} + 1, TR_REQUEST_FAILED},
      {empty, 0, TR_INVALID_PACKAGE},
      {shorter, 0, TR_INVALID_PACKAGE},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.body.size());
    FakeReply reply = FakeReply::Ok(std::string(row.body.begin(), row.body.end()));
    if (row.length != 0) reply.content_length = row.length;
    fake_.Queue(FakeReply::Ok(kRedirect));
    fake_.Queue(reply);
    EXPECT_EQ(RunAgain(worker, kP2Serial, "PK1.00", false), row.result);
    EXPECT_EQ(ValuesOf(window_.Events(), DownloadWorker::kEventDownloadProgress).empty(),
              row.result == TR_REQUEST_FAILED);
    EXPECT_EQ(fake_.LiveRequests(), 0);
  }
  EXPECT_EQ(worker.MatchedItemName(), "PK1.00.bin");
  EXPECT_EQ(tool.State().block_writes, 1u);
}

// The job against a scripted tool on the fake line: answers and refusals come at once.
class DownloadOnFakeLine : public testing::ToolOnFakeLine {
 protected:
  TransferResult Run(uint8_t block_size) {
    DetectProtocol2(block_size);
    tool_.Set(255, 0xA502, Bytes{3, 'S', 'N', '1'});
    DownloadWorker worker(ServerAddress{}, fake_http_, clock_);
    worker.SetWindow(&window_);
    worker.SetDevice(&device_);
    const Bytes zip = ZipOf(scratch_, {{"PK1.00.bin", Format101Item(0x600000, 40, 3)}}, true);
    fake_http_.Queue(FakeReply::Ok("<texte>t</texte><lien>http://act.example/u.php</lien>"));
    fake_http_.Queue(FakeReply::Ok(std::string(zip.begin(), zip.end())));
    worker.SetIdentity("SN1", "PK1.00");
    worker.Start();
    EXPECT_TRUE(window_.WaitFor(DownloadWorker::kEventFinished));
    worker.Stop();
    block_size_used_ = worker.BlockSize();
    return worker.Result();
  }
  // The data bytes of each block write (multiple registers at 0xA511: 4 address bytes + data).
  std::vector<size_t> BlockData() {
    std::vector<size_t> sizes;
    for (const Bytes& frame : fake_.Written())
      if (frame.size() > 7 && frame[1] == 0x10 && frame[2] == 0xA5 && frame[3] == 0x11)
        sizes.push_back(frame[6] - 4u);
    return sizes;
  }
  size_t Finishes() {
    const auto frames = fake_.Written();
    return static_cast<size_t>(std::count_if(frames.begin(), frames.end(), [](const Bytes& f) {
      return f.size() > 3 && f[1] == 0x10 && f[2] == 0 && f[3] == 0;
    }));
  }

  ScratchDir scratch_;
  FakeHttpTransport fake_http_;
  ManualClock clock_;
  RecordingPoster window_;
  uint32_t block_size_used_ = 0;
};

// A tool that reports a block size of 0 gets blocks of the default size: without it every
// section would be skipped and the job called "written" with nothing written.
TEST_F(DownloadOnFakeLine, ABlockSizeOfZeroIsWrittenInDefaultBlocks) {
  EXPECT_EQ(Run(0), TR_WRITTEN);
  EXPECT_EQ(block_size_used_, DownloadWorker::kDefaultBlockSize);
  EXPECT_EQ(BlockData(), (std::vector<size_t>{32, 8}));
}

// A refused block is the missing SD card, and no finish follows it.
TEST_F(DownloadOnFakeLine, ARefusedBlockIsTheMissingSdCardAndGetsNoFinish) {
  tool_.Refuse(255, 0xA511);
  EXPECT_EQ(Run(200), TR_BLOCK_REFUSED);
  EXPECT_EQ(BlockData(), (std::vector<size_t>{40}));
  EXPECT_EQ(Finishes(), 0u);
  EXPECT_EQ(port_.ReadTimeout(), SerialPort::kDefaultReadTimeoutMs);
}

// Every block went in but the tool refuses the finish: the package is not loaded.
TEST_F(DownloadOnFakeLine, AFinishTheToolDoesNotTakeFailsTheJob) {
  tool_.Refuse(255, 0x0000);
  EXPECT_EQ(Run(200), TR_WRITE_FAILED);
  EXPECT_EQ(BlockData(), (std::vector<size_t>{40}));
  EXPECT_EQ(Finishes(), 1u);
  EXPECT_EQ(port_.ReadTimeout(), SerialPort::kDefaultReadTimeoutMs);
}

// Without a tool, or with one that never answers, the job ends (about a minute later) instead
// of waiting for good, and asks the server for nothing.
TEST(DownloadWorkerAlone, WithoutAnAnsweringToolTheJobEndsInsteadOfWaitingForever) {
  for (bool attached : {false, true}) {
    SCOPED_TRACE(attached);
    FakeHttpTransport fake;
    ManualClock clock;
    RecordingPoster window;
    ToolDevice silent;  // never detected: every link check fails
    DownloadWorker worker(ServerAddress{}, fake, clock);
    worker.SetWindow(&window);
    if (attached) worker.SetDevice(&silent);
    EXPECT_EQ(worker.BlockSize(), DownloadWorker::kDefaultBlockSize);
    worker.Start();
    ASSERT_TRUE(window.WaitFor(DownloadWorker::kEventFinished));
    worker.Stop();
    EXPECT_EQ(window.Events(), (std::vector<PostedEvent>{{2049, 14, TR_WRITE_FAILED}}));
    EXPECT_TRUE(fake.Sends().empty());
    if (attached) {
      EXPECT_GE(clock.NowMs(), DownloadWorker::kToolWaitLimitMs);
    }
  }
}

}  // namespace
}  // namespace velmar
