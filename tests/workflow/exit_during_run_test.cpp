// Closing the window in the middle of a collection run ends the program at once with exit code 0.
#include <gtest/gtest.h>

#include <QProcess>

namespace {

TEST(ExitDuringRun, ClosingTheWindowMidRunExitsWithZero) {
  QProcess child;
  child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  child.start(QStringLiteral(NORVEL_CLOSE_DURING_RUN), {});
  ASSERT_TRUE(child.waitForStarted());
  const bool finished = child.waitForFinished(120000);
  if (!finished) child.kill();
  ASSERT_TRUE(finished) << "the process did not end after its window closed";
  EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(child.exitCode(), 0);
  EXPECT_TRUE(child.readAllStandardOutput().contains("closing mid-run\n"));
}

}  // namespace
