#include <signal.h>

#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "platform/Task.h"

namespace vozi::platform {
namespace {

using namespace std::chrono_literals;

TEST(TaskTest, RunsAProgramWithItsArgumentsAsGiven) {
  // No shell: a separator in an argument is just text.
  const Task::Result result = Task::run("/bin/echo", {"a; echo b", "$HOME"});
  EXPECT_TRUE(result.succeeded());
  EXPECT_EQ(result.reason, Task::TerminationReason::exit);
  EXPECT_EQ(result.standardOutput, "a; echo b $HOME\n");
  EXPECT_EQ(result.standardError, "");
}

TEST(TaskTest, ReportsExitStatusAndSignals) {
  struct Case {
    std::vector<std::string> arguments;
    Task::TerminationReason reason;
    int status;
  };
  const Case cases[] = {
      {{"-c", "exit 3"}, Task::TerminationReason::exit, 3},
      {{"-c", "echo out; echo err >&2; exit 0"}, Task::TerminationReason::exit, 0},
      {{"-c", "kill -TERM $$"}, Task::TerminationReason::uncaughtSignal, SIGTERM},
  };
  for (const Case& c : cases) {
    const Task::Result result = Task::run("/bin/sh", c.arguments);
    EXPECT_EQ(result.reason, c.reason) << c.arguments[1];
    EXPECT_EQ(result.status, c.status) << c.arguments[1];
    EXPECT_FALSE(result.timedOut);
  }
  const Task::Result both = Task::run("/bin/sh", {"-c", "echo out; echo err >&2"});
  EXPECT_EQ(both.standardOutput, "out\n");
  EXPECT_EQ(both.standardError, "err\n");
}

TEST(TaskTest, FeedsInputAndDrainsBothStreamsWithoutStalling) {
  // Several pipe buffers each way: a child writing to both streams while
  // its input is still being written must not wedge either side.
  std::string input;
  for (int i = 0; input.size() < 4 * 1024 * 1024; ++i) input += std::to_string(i) + "\n";
  Task task("/bin/sh", {"-c", "tee /dev/stderr"});
  task.setStandardInput(input);
  const Task::Result result = task.run();
  EXPECT_TRUE(result.succeeded());
  EXPECT_EQ(result.standardOutput, input);
  EXPECT_EQ(result.standardError, input);
}

TEST(TaskTest, AChildThatIgnoresItsInputDoesNotHurtTheCaller) {
  Task task("/bin/true");
  task.setStandardInput(std::string(8 * 1024 * 1024, 'x'));
  const Task::Result result = task.run();
  EXPECT_TRUE(result.succeeded());
}

TEST(TaskTest, WithoutInputTheChildReadsNothing) {
  const Task::Result result = Task::run("/bin/cat", {});
  EXPECT_TRUE(result.succeeded());
  EXPECT_EQ(result.standardOutput, "");
}

TEST(TaskTest, TimeOutKillsTheChildAndItsGroup) {
  // The background sleep keeps the pipes open; killing the group ends it too.
  const Task::Result result = Task::run("/bin/sh", {"-c", "sleep 60 & sleep 60"}, std::nullopt, 200ms);
  EXPECT_TRUE(result.timedOut);
  EXPECT_EQ(result.reason, Task::TerminationReason::uncaughtSignal);
  EXPECT_EQ(result.status, SIGKILL);
  EXPECT_FALSE(result.succeeded());
}

TEST(TaskTest, AFailedLaunchIsAnErrorValue) {
  for (const std::string& path : {std::string("/nonexistent/program"), std::string()}) {
    const Task::Result result = Task::run(path, {});
    EXPECT_EQ(result.reason, Task::TerminationReason::launchFailed) << path;
    ASSERT_TRUE(result.error.has_value()) << path;
    EXPECT_EQ(result.error->domain, "NSPOSIXErrorDomain");
    EXPECT_EQ(result.error->code, ENOENT);
  }
}

TEST(TaskTest, OutputHandlerSeesEveryByteAsItComes) {
  Task task("/bin/sh", {"-c", "i=0; while [ $i -lt 1000 ]; do echo line$i; i=$((i+1)); done"});
  std::size_t lines = 0;
  task.setStandardOutputHandler([&](std::string_view chunk) {
    for (char c : chunk) lines += c == '\n';
  });
  const Task::Result result = task.run();
  EXPECT_TRUE(result.succeeded());
  EXPECT_EQ(lines, 1000u);
  EXPECT_EQ(result.standardOutput, "");
}

TEST(TaskTest, EnvironmentAndWorkingFolderCanBeSet) {
  Task task("/bin/sh", {"-c", "pwd; echo \"$ONLY\""});
  task.setEnvironment({"ONLY=this"});
  task.setCurrentDirectory("/");
  const Task::Result result = task.run();
  EXPECT_TRUE(result.succeeded());
  EXPECT_EQ(result.standardOutput, "/\nthis\n");
}

// A child the test talks to while it runs.
bool outputHas(const RunningTask& child, std::string_view text) {
  return child.waitForStandardOutput([&](std::string_view out) { return out.find(text) != out.npos; }, 60s);
}

TEST(RunningTaskTest, TheCallerTalksToTheChildWhileItRuns) {
  auto child = Task("/bin/cat").start();
  ASSERT_TRUE(child) << child.error().localizedDescription();
  RunningTask& cat = **child;
  ASSERT_TRUE(cat.write("first\n"));
  ASSERT_TRUE(outputHas(cat, "first\n"));
  ASSERT_TRUE(cat.write("second\n"));
  ASSERT_TRUE(outputHas(cat, "second\n"));
  cat.closeStandardInput();
  const Task::Result end = cat.wait();
  EXPECT_TRUE(end.succeeded());
  EXPECT_EQ(end.standardOutput, "first\nsecond\n");
  EXPECT_FALSE(cat.write("late\n")) << "the input was closed";
  EXPECT_FALSE(cat.signal(SIGTERM)) << "a reaped child takes no signal";
  EXPECT_EQ(cat.wait().standardOutput, end.standardOutput);
}

TEST(RunningTaskTest, TerminateEndsTheChildWithSigterm) {
  // "oops" goes out before "ready": once "ready" is seen, the signal cannot
  // come before the child wrote it.
  Task task("/bin/sh", {"-c", "echo oops >&2; echo ready; exec sleep 1000"});
  std::string errors;
  task.setStandardErrorHandler([&](std::string_view chunk) { errors += chunk; });
  auto child = task.start();
  ASSERT_TRUE(child);
  ASSERT_TRUE(outputHas(**child, "ready\n"));
  EXPECT_TRUE((*child)->terminate());
  const Task::Result end = (*child)->wait();
  EXPECT_EQ(end.reason, Task::TerminationReason::uncaughtSignal);
  EXPECT_EQ(end.status, SIGTERM);
  EXPECT_EQ(errors, "oops\n");
  EXPECT_EQ(end.standardError, "") << "a handler takes the stream";
}

TEST(RunningTaskTest, WritingToAChildThatLeftFailsWithoutASignal) {
  auto child = Task("/bin/true").start();
  ASSERT_TRUE(child);
  EXPECT_TRUE((*child)->wait().succeeded());
  std::string big(1 << 20, 'x');
  EXPECT_FALSE((*child)->write(big));
}

TEST(RunningTaskTest, DestructionKillsTheChildAndItsGroup) {
  // The child ignores SIGTERM and leaves a grandchild holding its output
  // open: destruction returns only if both were killed, since it drains
  // the output before it reaps.
  auto child = Task("/bin/sh", {"-c", "trap '' TERM; sleep 1000 & echo started; wait"}).start();
  ASSERT_TRUE(child);
  ASSERT_TRUE(outputHas(**child, "started\n"));
  EXPECT_TRUE((*child)->terminate());
  child->reset();
  SUCCEED();
}

TEST(RunningTaskTest, AProgramThatCannotStartIsAnError) {
  auto child = Task("/nonexistent/program").start();
  ASSERT_FALSE(child);
  EXPECT_EQ(child.error().code, ENOENT);
}

}  // namespace
}  // namespace vozi::platform
