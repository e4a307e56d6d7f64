// Closing the window ends the process at once with exit code 0, even while 500 threads are
// inside window calls.
#include <gtest/gtest.h>

#include <QProcess>

namespace {

TEST(ExitTest, ClosingTheWindowUnderLoadExitsWithZero) {
  QProcess child;
  child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  child.start(QStringLiteral(NORVEL_CLOSE_HELPER), {});
  ASSERT_TRUE(child.waitForStarted());
  const bool finished = child.waitForFinished(60000);
  if (!finished) child.kill();
  ASSERT_TRUE(finished) << "the process did not end after its window closed";
  EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(child.exitCode(), 0);
  const QByteArray out = child.readAllStandardOutput();
  EXPECT_TRUE(out.contains("busy\n")) << out.toStdString();
  EXPECT_TRUE(out.contains("exit hooks ran\n")) << out.toStdString();
}

}  // namespace
