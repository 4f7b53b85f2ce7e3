// The Qt binding of the window's event loop: the loops' common rules, and posts that nobody
// may receive.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "QtEventLoop.h"
#include "support/EventLoopContract.h"

namespace velmar {
namespace {

TEST(QtEventLoop, KeepsTheRulesOfEveryLoop) {
  testing::CheckEventLoopContract([](Clock& clock) { return std::make_unique<QtEventLoop>(clock); });
}

// Posts without a handler are dropped; posts queued for a loop that is gone never arrive.
TEST(QtEventLoop, PostsWithoutAHandlerOrLoopAreDropped) {
  testing::LoopRecorder recorder;
  {
    QtEventLoop gone;
    gone.SetHandler(&recorder);
    gone.Post(2048, 8, 0);
  }
  QtEventLoop loop;
  loop.Post(2025, 1, 0);
  QCoreApplication::processEvents();
  loop.SetHandler(&recorder);
  loop.Post(2025, 2, 0);
  loop.RunUntil([&] { return !recorder.posts.empty(); });
  ASSERT_EQ(recorder.posts.size(), 1u);
  EXPECT_EQ(recorder.posts[0].event, 2);
}

}  // namespace
}  // namespace velmar
