#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <optional>
#include <set>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "bridge/pjlink_auth.h"
#include "bridge/pjlink_protocol.h"

namespace zelt::pjlink {
namespace {

constexpr std::string_view kExampleDigest = "e3d97429adffa11bce1f7275813d4bde";

TEST(PjlinkAuth, DigestOfTheRandomAndPasswordComparedWhole) {
    EXPECT_EQ(expectedDigest("a572f60c", "password"), kExampleDigest);
    const struct {
        std::string_view random, password, digest;
        bool matches;
    } cases[] = {
        {"a572f60c", "password", kExampleDigest, true},
        {"a572f60c", "Password", kExampleDigest, false},
        {"a572f60d", "password", kExampleDigest, false},
        {"a572f60c", "password", "e3d97429adffa11bce1f7275813d4bdf", false},  // last digit
        {"a572f60c", "password", "f3d97429adffa11bce1f7275813d4bde", false},  // first digit
        {"a572f60c", "password", "E3D97429ADFFA11BCE1F7275813D4BDE", false},
        {"a572f60c", "password", kExampleDigest.substr(0, 31), false},
        {"a572f60c", "password", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.digest) + " " + std::string(c.password));
        EXPECT_EQ(digestMatches(c.random, c.password, c.digest), c.matches);
    }
}

TEST(PjlinkAuth, TheFirstLineGoesOnOnlyWithTheRightDigest) {
    const std::string digest(kExampleDigest);
    const struct {
        std::string line;
        std::optional<std::string_view> rest;
    } cases[] = {
        {digest + "%1POWR ?", "%1POWR ?"},
        {digest, ""},
        {"%1POWR ?", std::nullopt},
        {"e3d97429adffa11bce1f7275813d4bdf%1POWR ?", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(acceptFirstLine(c.line, "a572f60c", "password"), c.rest);
    }
}

TEST(PjlinkAuth, RandomsAreFreshLowercaseHex) {
    std::set<std::string> seen;
    for (int i = 0; i < 4; ++i) {
        const std::string r = newRandom();
        ASSERT_EQ(r.size(), kRandomLength);
        EXPECT_EQ(r.find_first_not_of("0123456789abcdef"), std::string::npos) << r;
        seen.insert(r);
    }
    EXPECT_GT(seen.size(), 1u);
}

class PasswordFileTest : public ::testing::Test {
protected:
    std::string write(const std::string& content, mode_t mode) {
        const std::string path = (dir_.path() + "/password" + QString::number(++files_)).toStdString();
        QFile f(QString::fromStdString(path));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content.data(), static_cast<qint64>(content.size()));
        f.close();
        EXPECT_EQ(::chmod(path.c_str(), mode), 0);
        return path;
    }
    QTemporaryDir dir_;
    int files_ = 0;
};

TEST_F(PasswordFileTest, ReadsAPrivateFileAndRefusesWithAReason) {
    const std::string longest(kMaxPasswordLength, 'k');
    const struct {
        const char* what;
        std::string content;
        mode_t mode;
        std::string password;  // empty: refused with `error` in the message
        std::string error;
    } cases[] = {
        {"one newline stripped", "password\n", 0600, "password", ""},
        {"no newline", "password", 0600, "password", ""},
        {"CRLF", "pass word\r\n", 0400, "pass word", ""},
        {"longest", longest + "\n", 0600, longest, ""},
        {"too long", longest + "k\n", 0600, "", "longer than 32 characters"},
        {"far too long", std::string(4096, 'k'), 0600, "", "more than a password"},
        {"empty", "", 0600, "", "holds no password"},
        {"only a newline", "\n", 0600, "", "holds no password"},
        {"two lines", "password\n\n", 0600, "", "printable ASCII"},
        {"a tab", "pass\tword", 0600, "", "printable ASCII"},
        {"group may read", "password\n", 0640, "", "chmod 600"},
        {"group may write", "password\n", 0620, "", "group or others"},
        {"others may read", "password\n", 0604, "", "mode 0604"},
        {"others may write", "password\n", 0602, "", "group or others"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = write(c.content, c.mode);
        const PasswordFile read = readPasswordFile(path);
        if (c.error.empty()) {
            EXPECT_EQ(read.password, c.password);
        } else {
            EXPECT_FALSE(read.password);
            EXPECT_NE(read.error.find(c.error), std::string::npos) << read.error;
            EXPECT_NE(read.error.find(path), std::string::npos) << read.error;
        }
    }
}

TEST_F(PasswordFileTest, RefusesWhatIsNotTheUsersOwnFile) {
    const std::string folder = dir_.path().toStdString();
    EXPECT_NE(readPasswordFile(folder + "/missing").error.find("cannot open"), std::string::npos);
    EXPECT_NE(readPasswordFile(folder).error.find("not a regular file"), std::string::npos);
    if (::geteuid() != 0) GTEST_SKIP() << "giving a file away needs root";
    const std::string path = write("password\n", 0600);
    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    EXPECT_NE(readPasswordFile(path).error.find("belongs to user id 65534"), std::string::npos);
}

}  // namespace
}  // namespace zelt::pjlink
