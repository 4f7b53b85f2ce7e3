#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/InstanceLock.h"
#include "support/UpdateTestSupport.h"

namespace velmar {
namespace {

class InstanceLockTest : public ::testing::Test {
 protected:
  testing::ScratchDir scratch_;
  const std::string folder_ = scratch_.Path();
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

// A lock in a folder someone else controls is not used: its owner could hold it forever. The
// folder's rules are checked row by row with the port directory; here that the lock obeys them.
TEST_F(InstanceLockTest, OnlyAPrivateFolderOfTheUserHoldsTheLock) {
  namespace fs = std::filesystem;
  InstanceLock made(folder_ + "/velmar/instance.lock");
  EXPECT_EQ(made.Acquire(), InstanceLock::Result::Acquired);
  struct stat info {};
  ASSERT_EQ(lstat((folder_ + "/velmar").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);

  fs::create_directories(folder_ + "/open/velmar");
  fs::permissions(folder_ + "/open/velmar", fs::perms::all);
  InstanceLock open(folder_ + "/open/velmar/instance.lock");
  EXPECT_EQ(open.Acquire(), InstanceLock::Result::Unavailable);
  EXPECT_NE(open.Problem().find("writable by other users"), std::string::npos) << open.Problem();
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
