#include <gtest/gtest.h>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/system/log_file.h"

namespace zelt {
namespace {

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

struct LogFileTest : ::testing::Test {
    QTemporaryDir dir;
    std::string path = dir.filePath("traffic.log").toStdString();
    LogFile log;
    std::vector<std::string> failures;

    LogFileTest() {
        log.onWriteFailure = [this](const std::string& m) { failures.push_back(m); };
    }
};

TEST_F(LogFileTest, AppendsLinesToWhatIsThereAndWritesEachThroughAtOnce) {
    writeFile(path, "earlier\n");
    ASSERT_TRUE(log.open(path)) << log.openFailure();
    log.appendLine("first");
    EXPECT_EQ(contents(path), "earlier\nfirst\n");  // read while the log is still open
    log.appendLine("second");
    EXPECT_EQ(contents(path), "earlier\nfirst\nsecond\n");
    EXPECT_TRUE(failures.empty());
}

TEST_F(LogFileTest, RotatesOnceToFile1WhenTheNextLineWouldPassTheLimit) {
    const std::string older(LogFile::kMaxBytes - 10, 'x');
    writeFile(path, older);
    writeFile(LogFile::rotatedPath(path), "the oldest lines\n");
    ASSERT_TRUE(log.open(path));
    log.appendLine("123456789");  // ends the file exactly at the limit
    EXPECT_EQ(std::filesystem::file_size(path), LogFile::kMaxBytes);
    EXPECT_EQ(contents(LogFile::rotatedPath(path)), "the oldest lines\n");
    log.appendLine("next");
    EXPECT_EQ(contents(LogFile::rotatedPath(path)), older + "123456789\n");
    EXPECT_EQ(contents(path), "next\n");
    // A line longer than a whole file is cut to fit one.
    log.appendLine(std::string(LogFile::kMaxBytes + 5, 'y'));
    EXPECT_EQ(contents(LogFile::rotatedPath(path)), "next\n");
    EXPECT_EQ(std::filesystem::file_size(path), LogFile::kMaxBytes);
    EXPECT_TRUE(failures.empty());
}

TEST_F(LogFileTest, AFileThatCannotBeOpenedSaysWhereAndWhy) {
    struct Case {
        std::string path;
        const char* reason;
    };
    const Case cases[] = {
        {dir.filePath("no-such-folder/traffic.log").toStdString(), "No such file or directory"},
        {dir.path().toStdString(), "Is a directory"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(log.open(c.path));
        EXPECT_FALSE(log.isOpen());
        EXPECT_NE(log.openFailure().find(c.path), std::string::npos) << log.openFailure();
        EXPECT_NE(log.openFailure().find(c.reason), std::string::npos) << log.openFailure();
    }
}

TEST_F(LogFileTest, AWriteFailureIsToldOnce) {
    ASSERT_TRUE(log.open("/dev/full")) << log.openFailure();
    log.appendLine("C00");
    log.appendLine("CR0");
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("/dev/full"), std::string::npos) << failures[0];
    EXPECT_NE(failures[0].find("No space left"), std::string::npos) << failures[0];
}

}  // namespace
}  // namespace zelt
