#include "common/Process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "support/TempRoot.h"

namespace vozi {
namespace {

namespace fs = std::filesystem;

// Puts a stand-in for a system tool at its tree path under the test's root.
std::string installTool(const test::TempRoot& root, BashCommand command, const std::string& body) {
  const std::string path = root.writeFile(std::string(executablePath(command)), "#!/bin/sh\n" + body + "\n");
  fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
  return path;
}

TEST(ProcessTest, EachToolRunsAtItsPathUnderTheHostRootWithItsArgumentsAsGiven) {
  test::TempRoot root;
  for (BashCommand command : {BashCommand::launchctl, BashCommand::killAll, BashCommand::defaults}) {
    SCOPED_TRACE(std::string(executablePath(command)));
    const std::string tool = installTool(root, command, "printf '%s|' \"$0\" \"$@\"");
    // Text that a shell would act on stays plain text: no shell is involved.
    const std::string hostile = "x; touch " + root.path() + "/pwned $(touch " + root.path() + "/pwned2)";
    const auto result = Process::execute(command, std::vector<std::string>{"delete", "a b", hostile, ""});
    EXPECT_EQ(result.output, tool + "|delete|a b|" + hostile + "||");
    EXPECT_EQ(result.errorDescription, std::nullopt);
  }
  EXPECT_FALSE(fs::exists(root / "/pwned"));
  EXPECT_FALSE(fs::exists(root / "/pwned2"));
  EXPECT_EQ(executablePath(BashCommand::launchctl), "/bin/launchctl");
  EXPECT_EQ(executablePath(BashCommand::killAll), "/usr/bin/killAll");
  EXPECT_EQ(executablePath(BashCommand::defaults), "/usr/bin/defaults");
}

TEST(ProcessTest, WithoutAnArgumentListTheToolGetsNoArguments) {
  test::TempRoot root;
  installTool(root, BashCommand::launchctl, "echo \"$#\"; read line && echo got \"$line\"");
  const auto result = Process::execute(BashCommand::launchctl);
  // Standard input is empty, so the tool does not wait on the daemon's.
  EXPECT_EQ(result.output, "0\n");
}

TEST(ProcessTest, StreamsAreSeparatedAndEmptyOrInvalidTextIsNone) {
  test::TempRoot root;
  struct Case {
    std::string body;
    std::optional<std::string> output;
    std::optional<std::string> errorDescription;
  };
  const Case cases[] = {
      {"echo out; echo err >&2", "out\n", "err\n"},
      {"echo only-out", "only-out\n", std::nullopt},
      {"echo only-err >&2", std::nullopt, "only-err\n"},
      {"true", std::nullopt, std::nullopt},
      {"printf '\\377\\376' ; printf 'ok\\n' >&2", std::nullopt, "ok\n"},
      {"printf 'caf\\303\\251'; printf '\\300' >&2", "caf\xc3\xa9", std::nullopt},
      // The exit status is not looked at.
      {"echo failed >&2; exit 3", std::nullopt, "failed\n"},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.body);
    installTool(root, BashCommand::killAll, testCase.body);
    const auto result = Process::execute(BashCommand::killAll, std::vector<std::string>{});
    EXPECT_EQ(result.output, testCase.output);
    EXPECT_EQ(result.errorDescription, testCase.errorDescription);
  }
}

TEST(ProcessTest, OutputLargerThanAPipeHoldsComesBackWhole) {
  test::TempRoot root;
  // About 1 MiB on each stream, written alternately.
  installTool(root, BashCommand::defaults,
              "i=0; while [ $i -lt 16384 ]; do "
              "echo 0123456789012345678901234567890123456789012345678901234567890123; "
              "echo 0123456789012345678901234567890123456789012345678901234567890123 >&2; "
              "i=$((i+1)); done");
  const auto result = Process::execute(BashCommand::defaults, std::vector<std::string>{"read"});
  ASSERT_TRUE(result.output);
  ASSERT_TRUE(result.errorDescription);
  EXPECT_EQ(result.output->size(), 16384u * 65);
  EXPECT_EQ(result.errorDescription->size(), 16384u * 65);
}

TEST(ProcessTest, AToolThatIsMissingOrNotExecutableIsReportedOnTheErrorText) {
  test::TempRoot root;
  auto result = Process::execute(BashCommand::defaults, std::vector<std::string>{"delete", "x"});
  EXPECT_EQ(result.output, std::nullopt);
  ASSERT_TRUE(result.errorDescription);
  EXPECT_NE(result.errorDescription->find(root / "/usr/bin/defaults"), std::string::npos);

  const std::string tool = root.writeFile("/bin/launchctl", "#!/bin/sh\necho hi\n");
  fs::permissions(tool, fs::perms::owner_read | fs::perms::owner_write);
  result = Process::execute(BashCommand::launchctl);
  EXPECT_EQ(result.output, std::nullopt);
  EXPECT_TRUE(result.errorDescription);
}

TEST(BashCommandTest, SubCommandWordsRoundTrip) {
  for (auto value : {BashCommandLaunchctl::load, BashCommandLaunchctl::unload, BashCommandLaunchctl::list,
                     BashCommandLaunchctl::remove})
    EXPECT_EQ(launchctlFromRawValue(rawValue(value)), value);
  for (auto value : {BashCommandDefaults::read, BashCommandDefaults::delete_})
    EXPECT_EQ(defaultsFromRawValue(rawValue(value)), value);
  EXPECT_EQ(rawValue(BashCommandDefaults::delete_), "delete");
  EXPECT_EQ(launchctlFromRawValue("Load"), std::nullopt);
  EXPECT_EQ(defaultsFromRawValue(""), std::nullopt);
}

}  // namespace
}  // namespace vozi
