#include <gtest/gtest.h>
#include <QSettings>
#include <filesystem>
#include <fstream>

#include "platform/settings/qt_settings_store.h"
#include "tests/support/temp_config.h"

namespace zelt {
namespace {

namespace fs = std::filesystem;

struct SettingsFile : ::testing::Test {
    QtSettingsStore store;
    void SetUp() override {
        std::error_code ec;
        fs::remove_all(test::settingsFile(), ec);
    }
    void TearDown() override { SetUp(); }
};

TEST_F(SettingsFile, NeverWrittenKeysReadTheirDefault) {
    EXPECT_EQ(store.read("ZELT", "StartUP", "ComPort", "DATAC"), "DATAC");
    EXPECT_EQ(store.read("ZELT", "StartUP", "BaudRate", "DATAb"), "DATAb");
}

TEST_F(SettingsFile, WrittenTextsPersistPerUserUnderTheSection) {
    ASSERT_TRUE(store.write("ZELT", "StartUP", "ComPort", "3"));
    ASSERT_TRUE(store.write("ZELT", "StartUP", "BaudRate", "96"));
    EXPECT_EQ(store.read("ZELT", "StartUP", "ComPort", "DATAC"), "3");
    EXPECT_EQ(store.read("ZELT", "StartUP", "comport", "DATAC"), "DATAC");  // keys are case-sensitive
    EXPECT_EQ(store.read("ZELT", "Ports", "ComPort", "none"), "none");      // sections are separate
    std::ifstream in(test::settingsFile());
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(file.find("[StartUP]"), std::string::npos) << file;
    EXPECT_NE(file.find("ComPort=3"), std::string::npos) << file;
    EXPECT_NE(file.find("BaudRate=96"), std::string::npos) << file;
}

TEST_F(SettingsFile, AFileThatCannotBeWrittenReportsTheFailure) {
    // A folder where the file should be: no user, root included, can write it.
    fs::create_directories(test::settingsFile());
    EXPECT_FALSE(store.write("ZELT", "StartUP", "ComPort", "3"));
    EXPECT_EQ(store.read("ZELT", "StartUP", "ComPort", "DATAC"), "DATAC");
}

TEST_F(SettingsFile, AGarbledFileReadsAsNothingStored) {
    static const char garble[] = "\x00\xff[[[\n=\x01\x02";
    std::ofstream(test::settingsFile(), std::ios::binary) << std::string(garble, sizeof garble - 1);
    EXPECT_EQ(store.read("ZELT", "StartUP", "ComPort", "DATAC"), "DATAC");
}

}  // namespace
}  // namespace zelt
