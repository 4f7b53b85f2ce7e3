#include <gtest/gtest.h>

#include <tuple>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "platform/InstanceLock.h"

namespace velmar {
namespace {

class InstanceLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/velmar-lock-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::string folder_;
};

TEST_F(InstanceLockTest, LockHeldByAnotherProcessIsSeenAndDroppedWhenItDies) {
  const std::string path = folder_ + "/sub/instance.lock";
  int ready[2];
  int release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    InstanceLock held(path);
    const char state = held.Acquire() == InstanceLock::Result::Acquired ? 'y' : 'n';
    (void)!write(ready[1], &state, 1);
    char ignored;
    (void)!read(release[0], &ignored, 1);
    _exit(0);  // no destructor: the kernel must drop the lock by itself
  }
  char state = 0;
  ASSERT_EQ(read(ready[0], &state, 1), 1);
  ASSERT_EQ(state, 'y');
  auto mine = std::make_unique<InstanceLock>(path);
  EXPECT_EQ(mine->Acquire(), InstanceLock::Result::AlreadyRunning);

  (void)!write(release[1], "x", 1);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(mine->Acquire(), InstanceLock::Result::Acquired);
  EXPECT_EQ(mine->Acquire(), InstanceLock::Result::Acquired) << "asking again changes nothing";
  EXPECT_EQ(InstanceLock(path).Acquire(), InstanceLock::Result::AlreadyRunning);
  mine.reset();
  EXPECT_EQ(InstanceLock(path).Acquire(), InstanceLock::Result::Acquired) << "released with it";
  for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
}

// A lock in a folder someone else controls is not used: its owner could hold it forever.
TEST_F(InstanceLockTest, OnlyAPrivateFolderOfTheUserHoldsTheLock) {
  namespace fs = std::filesystem;
  const std::tuple<const char*, std::function<void(const std::string& folder)>, InstanceLock::Result, const char*> rows[] = {
      {"missing folder is made private", [](const std::string&) {}, InstanceLock::Result::Acquired,
       ""},
      {"no parent", [](const std::string& f) { fs::remove(fs::path(f).parent_path()); },
       InstanceLock::Result::Unavailable, "cannot be created"},
      {"writable by all",
       [](const std::string& f) {
         fs::create_directories(f);
         fs::permissions(f, fs::perms::all);
       },
       InstanceLock::Result::Unavailable, "writable by other users"},
      {"another user's",
       [](const std::string& f) {
         fs::create_directories(f);
         (void)!chown(f.c_str(), 65534, 65534);
       },
       InstanceLock::Result::Unavailable, "belongs to user 65534"},
  };
  for (const auto& [name, make, result, why] : rows) {
    SCOPED_TRACE(name);
    if (std::string(name) == "another user's" && geteuid() != 0) continue;
    const std::string folder = folder_ + "/" + name + "/velmar";
    fs::create_directories(fs::path(folder).parent_path());
    make(folder);
    InstanceLock lock(folder + "/instance.lock");
    EXPECT_EQ(lock.Acquire(), result);
    EXPECT_NE(lock.Problem().find(why), std::string::npos) << lock.Problem();
    if (result == InstanceLock::Result::Acquired) {
      struct stat info {};
      ASSERT_EQ(lstat(folder.c_str(), &info), 0);
      EXPECT_EQ(info.st_mode & 0777, 0700u);
    }
  }
}

TEST(InstanceLockPath, LivesInTheRuntimeFolderUnderTheInstanceName) {
  const char* saved = getenv("XDG_RUNTIME_DIR");
  const std::string restore = saved ? saved : "";
  setenv("XDG_RUNTIME_DIR", "/run/user/1234", 1);
  EXPECT_EQ(InstanceLock::DefaultPath(),
            "/run/user/1234/velmar/00E2F422-KORNDAL-ABC7-AA2E10B6B2A5.lock");
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(InstanceLock::DefaultPath().rfind("/tmp/velmar-", 0), 0u);
  if (saved) setenv("XDG_RUNTIME_DIR", restore.c_str(), 1);
}

}  // namespace
}  // namespace velmar
