#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "common/ConsoleLogger.h"
#include "support/LogCapture.h"
#include "common/FileLogger.h"
#include "common/LogLine.h"
#include "common/MLog.h"
#include "common/StringExtensions.h"
#include "platform/Date.h"
#include "platform/DispatchQueue.h"
#include "platform/DispatchSemaphore.h"
#include "platform/ProcessInfo.h"
#include "support/TempRoot.h"

namespace vozi {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::vector<std::string> fileLines(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream in(readFile(path));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Collects lines in memory; installed before the fixed sink list.
class CapturedLogTest : public ::testing::Test {
 protected:
  test::LogCapture log_;
};

// A log file under a temporary host root, and a shared FileLogger settled
// against it.
class FileLogTest : public ::testing::Test {
 protected:
  void SetUp() override { FileLogger::resetSharedForTesting(); }
  void TearDown() override {
    Logger::flushForTesting();
    FileLogger::resetSharedForTesting();
  }
  std::string logTreePath() const {
    return "/Library/Application Support/div.ez.iru/log/" + platform::ProcessInfo::processName() + ".log";
  }
  test::TempRoot root_;
};

// ---- The line ----

TEST(LogLineTest, SourceFileNameIsTheLastComponentOfAURLString) {
  const struct {
    const char* path;
    const char* name;
  } cases[] = {
      {"/work/src/common/Logger.cpp", "Logger.cpp"},
      {"relative/dir/main.cpp", "main.cpp"},
      {"file.cpp", "file.cpp"},
      {"/dir/with%20escape/x%2By.cpp", "x+y.cpp"},
      {"/trailing/slash/", "slash"},
      {"/with blank/file.cpp", "Unknown file"},
      {"/bad%zzescape.cpp", "Unknown file"},
      {"/non-ascii/caf\xC3\xA9.cpp", "Unknown file"},
      {"", "Unknown file"},
      {"/", "Unknown file"},
  };
  for (const auto& c : cases) EXPECT_EQ(LogLine::sourceFileName(c.path), c.name) << c.path;
}

TEST(LogLineTest, FunctionNameIsTheBareNameWithParentheses) {
  const struct {
    const char* signature;
    const char* name;
  } cases[] = {
      {"void vozi::UnixSocketIPCServer::run()", "run()"},
      {"virtual void vozi::FileLogger::log(const std::string&)", "log()"},
      {"vozi::Scheduler::Scheduler(int)", "Scheduler()"},
      {"vozi::Scheduler::~Scheduler()", "~Scheduler()"},
      {"std::vector<std::basic_string<char> > vozi::f(std::map<int, int>)", "f()"},
      {"void vozi::g(T) [with T = int]", "g()"},
      {"T vozi::h<T>(T) [with T = long]", "h()"},
      {"vozi::Server::start()::<lambda()>", "start()"},
      {"auto vozi::Server::start()::(anonymous class)::operator()() const", "start()"},
      {"void {anonymous}::helper(int)", "helper()"},
      {"void (anonymous namespace)::helper(int)", "helper()"},
      {"bool vozi::Key::operator<(const vozi::Key&) const", "operator<()"},
      {"bool vozi::Key::operator()(int) const", "operator()()"},
      {"int main(int, char**)", "main()"},
      {"run", "run()"},
  };
  for (const auto& c : cases) EXPECT_EQ(LogLine::functionName(c.signature), c.name) << c.signature;
}

TEST(LogLineTest, DebugRenderingQuotesAndEscapes) {
  const struct {
    std::string message;
    std::string rendered;
  } cases[] = {
      {"", "\"\""},
      {"abcd", "\"abcd\""},
      {"a\nb", "\"a\\nb\""},
      {"tab\there\rCR", "\"tab\\there\\rCR\""},
      {std::string("nul\0end", 7), "\"nul\\0end\""},
      {"back\\slash \"quoted\" 'single'", "\"back\\\\slash \\\"quoted\\\" \\'single\\'\""},
      {"\x1B[0m", "\"\\u{1B}[0m\""},
      {"\x01\x1F\x7F", "\"\\u{01}\\u{1F}\\u{7F}\""},
      {"caf\xC3\xA9 \xE2\x9C\x93", "\"caf\xC3\xA9 \xE2\x9C\x93\""},
  };
  for (const auto& c : cases) EXPECT_EQ(LogLine::debugRendering(c.message), c.rendered);
}

TEST(LogLineTest, EmailAddressesAreHiddenAndOtherAtSignsKept) {
  const struct {
    std::string text;
    std::string shown;
  } cases[] = {
      {R"({"email":"someone@example.com"})", R"({"email":"<e-mail>"})"},
      {"a.b+c@mail.example.org and x_y@z.io", "<e-mail> and <e-mail>"},
      {"user@localhost stays", "user@localhost stays"},
      {"@example.com, name@, @", "@example.com, name@, @"},
      {"two@a.b@c.d", "<e-mail>@c.d"},
      {"no address", "no address"},
  };
  for (const auto& c : cases) EXPECT_EQ(LogLine::withoutEmailAddresses(c.text), c.shown) << c.text;
}

TEST(LogLineTest, BannerRendersTheVersionAsAnOptional) {
  EXPECT_EQ(Logger::startBanner("VOZi", std::string("1.0.99")), "started VOZi varsion:Optional(\"1.0.99\")");
  EXPECT_EQ(Logger::startBanner("VOZi", std::nullopt), "started VOZi varsion:nil");
  EXPECT_EQ(Logger::startBanner(),
            "started " + platform::ProcessInfo::processName() + " varsion:Optional(\"1.0.99\")");
}

// ---- MLog through a sink ----

TEST_F(CapturedLogTest, MessageFormQuotesAndEscapesAndNamesTheCallSite) {
  const unsigned line = __LINE__ + 1;
  MLog("two\nlines");
  MLog("");
  MLog(Logger::startBanner("VOZi", std::string("1.0.99")));
  const std::string site = "<Main> LoggerTests.cpp TestBody()[";
  EXPECT_THAT(log_.lines(),
              ElementsAre(site + std::to_string(line) + "]: \"two\\nlines\"", site + std::to_string(line + 1) + "]: \"\"",
                          site + std::to_string(line + 2) + "]: \"started VOZi varsion:Optional(\\\"1.0.99\\\")\""));
}

TEST_F(CapturedLogTest, FormatFormWritesTheTextUnchanged) {
  const unsigned line = __LINE__ + 1;
  MLogf("Failed create directory at path:%@ (%@)", std::string("/Library/x"), "Permission denied");
  MLogf("%@", std::string("two\nlines"));
  MLogf("");
  MLogf("%lu items, %d%%", 3ul, -1);
  const std::string site = "<Main> LoggerTests.cpp TestBody()[";
  EXPECT_THAT(log_.lines(), ElementsAre(site + std::to_string(line) + "]: Failed create directory at path:/Library/x (Permission denied)",
                                          site + std::to_string(line + 1) + "]: two\nlines",
                                          site + std::to_string(line + 2) + "]: ",
                                          site + std::to_string(line + 3) + "]: 3 items, -1%"));
}

namespace sample {
struct Worker {
  Worker() { MLog("constructed"); }
  template <class T>
  void run(T value) {
    auto body = [&] { MLogf("%@", value); };
    body();
  }
};
}  // namespace sample

TEST_F(CapturedLogTest, CallSitesInMembersTemplatesAndLambdasGetTheirFunctionName) {
  sample::Worker worker;
  worker.run(7);
  const auto lines = log_.lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_THAT(lines[0], ::testing::MatchesRegex(R"(<Main> LoggerTests\.cpp Worker\(\)\[[0-9]+\]: "constructed")"));
  EXPECT_THAT(lines[1], ::testing::MatchesRegex(R"(<Main> LoggerTests\.cpp run\(\)\[[0-9]+\]: 7)"));
}

TEST_F(CapturedLogTest, ExplicitSiteAndBackgroundThreadLabel) {
  auto queue = platform::DispatchQueue::serial("vozi.test.background");
  queue->sync([] { MLogMessage("from a queue", "/with blank/Thing.cpp", "setUserEmail(_:params:)", 42); });
  std::thread thread([] { MLogFormatted("from a thread", "/src/Other.cpp", "run()", 7); });
  thread.join();
  EXPECT_THAT(log_.lines(), ElementsAre("<BG> Unknown file setUserEmail(_:params:)[42]: \"from a queue\"",
                                          "<BG> Other.cpp run()[7]: from a thread"));
}

TEST_F(CapturedLogTest, LinesFromOneThreadKeepTheirOrder) {
  auto queue = platform::DispatchQueue::serial("vozi.test.order");
  queue->sync([] {
    for (int i = 0; i < 200; ++i) MLogFormatted(std::to_string(i), "f.cpp", "f()", 1);
  });
  const auto lines = log_.lines();
  ASSERT_EQ(lines.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(lines[static_cast<std::size_t>(i)], "<BG> f.cpp f()[1]: " + std::to_string(i));
}

TEST_F(CapturedLogTest, SinkRunsOnTheLoggingQueue) {
  struct QueueCheckingSink : Logger {
    std::vector<std::string> labels;
    void log(const std::string&) override { labels.push_back(platform::DispatchQueue::currentLabel()); }
  };
  auto sink = std::make_shared<QueueCheckingSink>();
  Logger::setSinkForTesting(sink);
  MLog("x");
  Logger::flushForTesting();
  EXPECT_THAT(sink->labels, ElementsAre("daz.ir.Logger.loggingQueue"));
}

// ---- The file sink ----

TEST_F(FileLogTest, MLogWritesDatedLinesIntoAnExistingLogFile) {
  const std::string path = root_.writeFile(logTreePath(), "");
  EXPECT_EQ(FileLogger::logFileURL(), path);
  ASSERT_NE(FileLogger::shared(), nullptr);

  int evaluations = 0;
  const unsigned line = __LINE__ + 1;
  MLog((++evaluations, std::string("scan \"started\"\tnow")));
  MLogf("removed %lu files from %@", 12ul, std::string("/Library/Caches"));
  std::thread([] { MLog("in background"); }).join();
  Logger::flushForTesting();
  EXPECT_EQ(evaluations, 1);

  const auto lines = fileLines(path);
  ASSERT_EQ(lines.size(), 3u);
  const std::string date = R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} \+0000: )";
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(date + R"(<Main> LoggerTests\.cpp TestBody\(\)\[)" +
                                                     std::to_string(line) + R"(\]: "scan \\"started\\"\\tnow")")))
      << lines[0];
  EXPECT_TRUE(std::regex_match(lines[1], std::regex(date + R"(<Main> LoggerTests\.cpp TestBody\(\)\[)" +
                                                     std::to_string(line + 1) +
                                                     R"(\]: removed 12 files from /Library/Caches)")))
      << lines[1];
  EXPECT_TRUE(std::regex_match(lines[2], std::regex(date + R"(<BG> LoggerTests\.cpp TestBody\(\)\[)" +
                                                     std::to_string(line + 2) + R"(\]: "in background")")))
      << lines[2];
  EXPECT_EQ(readFile(path).back(), '\n');
}

TEST_F(FileLogTest, FirstRecordOfAnEmptyFileIsExactlyDateLineAndLineFeed) {
  const std::string path = root_.writeFile("/log.txt", "");
  auto logger = FileLogger::open(path);
  ASSERT_NE(logger, nullptr);
  const std::string before = platform::Date::now().description();
  logger->log("<Main> a.cpp f()[1]: \"x\"");
  const std::string after = platform::Date::now().description();
  const std::string contents = readFile(path);
  const std::string tail = ": <Main> a.cpp f()[1]: \"x\"\n";
  ASSERT_EQ(contents.size(), before.size() + tail.size());
  const std::string date = contents.substr(0, before.size());
  EXPECT_TRUE(date == before || date == after) << date;
  EXPECT_EQ(contents.substr(before.size()), tail);
}

TEST_F(FileLogTest, AppendsAfterExistingContents) {
  const std::string path = root_.writeFile("/log.txt", "old line\n");
  auto logger = FileLogger::open(path);
  ASSERT_NE(logger, nullptr);
  logger->log("new");
  const auto lines = fileLines(path);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "old line");
  EXPECT_THAT(lines[1], ::testing::EndsWith(": new"));
}

TEST_F(FileLogTest, EmptiesTheFileOncePastTheLimit) {
  // Sparse files stand in for big logs.
  const struct {
    off_t initialSize;
    bool emptiedByFirstWrite;
  } cases[] = {
      {static_cast<off_t>(FileLogger::maxFileSize), false},
      {static_cast<off_t>(FileLogger::maxFileSize) + 1, true},
      {60'000'000, true},
  };
  for (const auto& c : cases) {
    const std::string path = root_.writeFile("/big.log", "");
    ASSERT_EQ(::truncate(path.c_str(), c.initialSize), 0);
    auto logger = FileLogger::open(path);
    ASSERT_NE(logger, nullptr);
    logger->log("first");
    const auto sizeAfterFirst = fs::file_size(path);
    if (c.emptiedByFirstWrite) {
      EXPECT_LT(sizeAfterFirst, 100u) << c.initialSize;
      EXPECT_THAT(readFile(path), ::testing::EndsWith(": first\n"));
    } else {
      // The write that carries the file past the limit completes...
      EXPECT_GT(sizeAfterFirst, FileLogger::maxFileSize) << c.initialSize;
      // ...and the next one starts the file anew.
      logger->log("second");
      const std::string contents = readFile(path);
      EXPECT_LT(contents.size(), 100u);
      EXPECT_THAT(contents, ::testing::EndsWith(": second\n"));
      EXPECT_EQ(fileLines(path).size(), 1u);
    }
  }
}

TEST_F(FileLogTest, MLogEmptiesAnOversizedLogFileOnItsFirstWrite) {
  const std::string path = root_.writeFile(logTreePath(), "");
  ASSERT_EQ(::truncate(path.c_str(), 60'000'000), 0);
  MLog("after");
  MLog("again");
  Logger::flushForTesting();
  const auto lines = fileLines(path);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_THAT(lines[0], ::testing::EndsWith("]: \"after\""));
  EXPECT_THAT(lines[1], ::testing::EndsWith("]: \"again\""));
}

TEST_F(FileLogTest, NoFileMeansNoSinkForTheLifeOfTheProcess) {
  root_.makeDirectory("/Library/Application Support/div.ez.iru/log");
  int evaluations = 0;
  MLog((++evaluations, std::string("dropped")));
  EXPECT_EQ(evaluations, 1);
  EXPECT_EQ(FileLogger::shared(), nullptr);
  // Creating the file later changes nothing: the first answer holds.
  const std::string path = root_.writeFile(logTreePath(), "");
  MLog("still dropped");
  Logger::flushForTesting();
  EXPECT_EQ(FileLogger::shared(), nullptr);
  EXPECT_EQ(readFile(path), "");
  EXPECT_FALSE(fs::exists(root_ / "/Library/Application Support/div.ez.iru/log/x"));
}

TEST_F(FileLogTest, TheDaemonNeverCreatesTheLogFileOrItsFolder) {
  MLog("nobody listens");
  Logger::flushForTesting();
  EXPECT_EQ(FileLogger::shared(), nullptr);
  EXPECT_FALSE(fs::exists(root_ / "/Library"));
}

TEST_F(FileLogTest, OnlyAPlainRegularFileBecomesASink) {
  const std::string target = root_.writeFile("/etc/passwd", "root:x:0:0\n");
  const std::string folder = root_.makeDirectory("/folder.log");
  const std::string symlink = root_ / "/symlink.log";
  fs::create_symlink(target, symlink);
  const std::string fifo = root_ / "/fifo.log";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string hardlink = root_ / "/hardlink.log";
  fs::create_hard_link(target, hardlink);
  const std::string readOnly = root_.writeFile("/readonly.log", "");
  ::chmod(readOnly.c_str(), 0400);

  EXPECT_EQ(FileLogger::open(root_ / "/missing.log"), nullptr);
  EXPECT_EQ(FileLogger::open(folder), nullptr);
  EXPECT_EQ(FileLogger::open(symlink), nullptr);
  EXPECT_EQ(FileLogger::open(fifo), nullptr);
  EXPECT_EQ(FileLogger::open(hardlink), nullptr);
  if (::geteuid() != 0) {
    EXPECT_EQ(FileLogger::open(readOnly), nullptr);
  }
  EXPECT_EQ(readFile(target), "root:x:0:0\n");
}

TEST_F(FileLogTest, ALinkInPlaceOfTheLogFileGetsNoLines) {
  const std::string target = root_.writeFile("/etc/important", "keep\n");
  root_.makeDirectory("/Library/Application Support/div.ez.iru/log");
  fs::create_symlink(target, root_ / logTreePath());
  MLog("must not land in the target");
  Logger::flushForTesting();
  EXPECT_EQ(FileLogger::shared(), nullptr);
  EXPECT_EQ(readFile(target), "keep\n");
}

TEST_F(FileLogTest, SharedIsSettledOnceUnderConcurrentFirstUse) {
  root_.writeFile(logTreePath(), "");
  std::vector<std::shared_ptr<FileLogger>> seen(8);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < seen.size(); ++i) threads.emplace_back([&seen, i] { seen[i] = FileLogger::shared(); });
  for (auto& t : threads) t.join();
  ASSERT_NE(seen[0], nullptr);
  for (const auto& s : seen) EXPECT_EQ(s, seen[0]);
}

TEST_F(FileLogTest, InvalidUTF8IsRepairedNotDropped) {
  const std::string path = root_.writeFile("/log.txt", "");
  auto logger = FileLogger::open(path);
  ASSERT_NE(logger, nullptr);
  logger->log("name \xFF.txt");
  EXPECT_THAT(readFile(path), ::testing::EndsWith(": name \xEF\xBF\xBD.txt\n"));
}

// ---- The console sink and chunks ----

TEST(ConsoleLoggerTest, SuppliesNoInstance) { EXPECT_EQ(ConsoleLogger::shared(), nullptr); }

TEST(ConsoleLoggerTest, WritesPiecesOf1024CharactersTheLastWithALineFeed) {
  const struct {
    std::size_t length;
    std::vector<std::size_t> pieceSizes;  // without the line feed
  } cases[] = {
      {0, {}},
      {1, {1}},
      {1024, {1024}},
      {1025, {1024, 1}},
      {2048, {1024, 1024}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> written;
    ConsoleLogger logger([&](const std::string& text) { written.push_back(text); });
    logger.log(std::string(c.length, 'x'));
    ASSERT_EQ(written.size(), c.pieceSizes.size()) << c.length;
    for (std::size_t i = 0; i < written.size(); ++i) {
      const bool last = i + 1 == written.size();
      EXPECT_EQ(written[i], std::string(c.pieceSizes[i], 'x') + (last ? "\n" : "")) << c.length << " piece " << i;
    }
  }
}

TEST(ChunksTest, CountsUserPerceivedCharacters) {
  const std::string eAcute = "e\xCC\x81";            // e + combining acute accent
  const std::string flag = "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7";  // regional indicators F R
  EXPECT_THAT(chunks("", 3), IsEmpty());
  EXPECT_THAT(chunks("abcdef", 3), ElementsAre("abc", "def"));
  EXPECT_THAT(chunks("abcdefg", 3), ElementsAre("abc", "def", "g"));
  EXPECT_THAT(chunks(eAcute + eAcute + "x", 2), ElementsAre(eAcute + eAcute, "x"));
  EXPECT_THAT(chunks(flag + "ab", 1), ElementsAre(flag, "a", "b"));
  EXPECT_THAT(chunks("\r\nx", 1), ElementsAre("\r\n", "x"));
  EXPECT_THAT(chunks("abc", 0), ElementsAre("abc"));
  EXPECT_THAT(chunks("abc", -1), ElementsAre("abc"));
}

}  // namespace
}  // namespace vozi
