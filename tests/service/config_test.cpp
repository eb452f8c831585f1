#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

#include "service/config.h"

namespace zelt::service {
namespace {

// The smallest good projector, for the cases that are about something else.
#define PROJECTOR "[[projector]]\nname = \"hall\"\nline = \"/dev/ttyUSB0\"\n"

struct Expected {
    const char* at;        // "LINE:COLUMN"
    const char* fragment;  // part of the message
};

struct BadCase {
    const char* text;
    std::vector<Expected> mistakes;
};

TEST(ServiceConfig, EachMistakeIsToldAtItsPlaceInFileOrder) {
    const BadCase cases[] = {
        // Syntax, in toml++'s words; a duplicate key is one too.
        {PROJECTOR "baud = 19x00\n", {{"4:10", "Error while parsing"}}},
        {PROJECTOR "name = \"hall\"\n", {{"4:8", "cannot redefine existing string 'name'"}}},
        {PROJECTOR "baud = 999999999999999999999999\n", {{"4:32", "not representable in 64 bits"}}},
        // Wrong types.
        {PROJECTOR "baud = \"19200\"\npoll_seconds = 1.5\n",
         {{"4:8", "baud must be an integer, not a string"},
          {"5:16", "poll_seconds must be an integer, not a floating-point number"}}},
        {"[projector]\nname = \"hall\"\n",
         {{"1:1", "projector must be an array of tables ([[projector]]), not a table"}}},
        {PROJECTOR "pjlink = \"127.0.0.1:4352\"\n",
         {{"4:10", "pjlink must be a table ([projector.pjlink]), not a string"}}},
        {PROJECTOR "[projector.pjlink]\nlisten = \"127.0.0.1:4352\"\nno_password = \"yes\"\n",
         {{"6:15", "no_password must be true or false, not a string"}}},
        // Unknown keys, in every table.
        {"[servce]\n" PROJECTOR, {{"1:2", "unknown key \"servce\" in the top level: did you mean \"service\"?"}}},
        {"[server]\n" PROJECTOR,
         {{"1:2", "unknown key \"server\" in the top level; its keys: service, projector, mqtt, http"}}},
        {PROJECTOR "bud = 9600\n", {{"4:1", "unknown key \"bud\" in [[projector]]: did you mean \"baud\"?"}}},
        {PROJECTOR "[projector.pjlink]\nlisten = \"127.0.0.1:4352\"\nport = 4352\n",
         {{"6:1",
           "unknown key \"port\" in [projector.pjlink]; its keys: listen, password_file, no_password, "
           "max_clients"}}},
        {PROJECTOR "[mqtt]\nbroker = \"mqtt://127.0.0.1\"\nBroker = \"x\"\n",
         {{"6:1", "unknown key \"Broker\" in [mqtt]: did you mean \"broker\"?"}}},
        {PROJECTOR "[http]\nlisten = \"127.0.0.1:8080\"\ncertificate = \"/c.pem\"\n",
         {{"6:1", "unknown key \"certificate\" in [http]; its keys:"}}},
        {"[service]\nsocketdir = \"/run\"\n" PROJECTOR, {{"2:1", "did you mean \"socket_dir\"?"}}},
        // Values out of range or of a wrong form.
        {PROJECTOR "baud = 4800\n", {{"4:8", "baud must be 9600 or 19200, not 4800"}}},
        {PROJECTOR "poll_seconds = -1\nreply_timeout_ms = 50\n",
         {{"4:16", "poll_seconds must be from 0 to 3600, not -1"},
          {"5:20", "reply_timeout_ms must be from 100 to 60000, not 50"}}},
        {PROJECTOR "poll_seconds = 99999999999\n", {{"4:16", "poll_seconds must be from 0 to 3600, not 99999999999"}}},
        {"[[projector]]\nname = \"a b\"\nline = \"/dev/ttyUSB0\"\n",
         {{"2:8", "name \"a b\": a name has 1 to 32 letters, digits and '-'"}}},
        {"[[projector]]\nname = \"hall\"\nline = \"COM1\"\n", {{"3:8", "line \"COM1\": give the device's full path"}}},
        {"[[projector]]\nname = \"hall\"\nline = \"127.0.0.1:2001\"\n",
         {{"3:8", "a network line needs its scheme: tcp://127.0.0.1:2001"}}},
        {PROJECTOR "display_name = \"Hall\\nB\"\ntraffic_log = \"hall.log\"\n",
         {{"4:16", "a display name has no control characters"},
          {"5:15", "traffic_log \"hall.log\": give an absolute path"}}},
        {PROJECTOR "[projector.pjlink]\nlisten = \"127.0.0.1:4352\"\nmax_clients = 65\n",
         {{"6:15", "max_clients must be from 1 to 64, not 65"}}},
        {PROJECTOR "[mqtt]\nbroker = \"http://x\"\n", {{"5:10", "broker \"http://x\": unknown scheme \"http\""}}},
        {PROJECTOR "[mqtt]\nbroker = \"mqtt://127.0.0.1:0\"\nclient_id = \"zelt hall\"\ntopic_prefix = \"zelt/\"\n",
         {{"5:10", "port 0 cannot be connected to"},
          {"6:13", "client_id \"zelt hall\": a client id has 1 to 64 printable ASCII characters without blanks"},
          {"7:16", "topic_prefix \"zelt/\": a topic prefix must not start or end with '/'"}}},
        {PROJECTOR "[mqtt]\nbroker = \"mqtt://127.0.0.1\"\ndiscovery_prefix = \"home/#\"\n",
         {{"6:20", "a topic prefix must not hold a wildcard"}}},
        {PROJECTOR "[http]\nlisten = \"127.0.0.1\"\n", {{"5:10", "listen \"127.0.0.1\": no port number"}}},
        // One name, one line, one listening address, one log file each.
        {PROJECTOR "[[projector]]\nname = \"Hall\"\nline = \"/dev/ttyUSB1\"\n",
         {{"5:8", "name \"Hall\" is already taken by projector \"hall\" (line 2)"}}},
        {"[[projector]]\nname = \"a\"\nline = \"tcp://127.0.0.1:2001\"\n"
         "[[projector]]\nname = \"b\"\nline = \"rfc2217://127.0.0.1:2001\"\n",
         {{"6:8", "line \"rfc2217://127.0.0.1:2001\" is already taken by projector \"a\" (line 2)"}}},
        {PROJECTOR "traffic_log = \"/var/log/zelt.log\"\n[service]\nlog = \"/var/log/zelt.log\"\n",
         {{"4:15", "traffic_log \"/var/log/zelt.log\" is already taken by [service] (line 6)"}}},
        {PROJECTOR
         "[projector.pjlink]\nlisten = \"127.0.0.1:4352\"\n"
         "[[projector]]\nname = \"b\"\nline = \"/dev/ttyUSB1\"\n[projector.pjlink]\nlisten = \"127.0.0.1:4352\"\n"
         "[http]\nlisten = \"0.0.0.0:4352\"\npassword_file = \"/etc/zelt/http.password\"\n",
         {{"10:10",
           "listen \"127.0.0.1:4352\" clashes with \"127.0.0.1:4352\" of the PJLink listener of projector \"hall\""},
          {"12:10",
           "listen \"0.0.0.0:4352\" clashes with \"127.0.0.1:4352\" of the PJLink listener of projector \"hall\""}}},
        // Listening beyond loopback needs a password.
        {PROJECTOR "[projector.pjlink]\nlisten = \"0.0.0.0:4352\"\n",
         {{"5:10", "listen \"0.0.0.0:4352\" reaches beyond this machine without a password"}}},
        {PROJECTOR "[http]\nlisten = \"[::]:8080\"\ntls_cert = \"/etc/zelt/cert.pem\"\n",
         {{"5:10",
           "listen \"[::]:8080\" reaches beyond this machine without a password: anyone on that network could "
           "use it; give password_file"},
          {"6:12", "tls_cert needs tls_key too"}}},
        // Keys that contradict or need each other.
        {PROJECTOR
         "[projector.pjlink]\nlisten = \"127.0.0.1:4352\"\npassword_file = \"/etc/zelt/p\"\nno_password = true\n",
         {{"7:15", "password_file and no_password = true contradict each other"}}},
        {PROJECTOR "[mqtt]\nbroker = \"mqtt://127.0.0.1\"\nca_file = \"/etc/ssl/ca.pem\"\n",
         {{"6:11", "ca_file is for a broker over TLS (mqtts://); \"mqtt://127.0.0.1\" is not"}}},
        {PROJECTOR "[mqtt]\nbroker = \"mqtts://127.0.0.1\"\npassword_file = \"/etc/zelt/mqtt.password\"\n",
         {{"6:17", "password_file needs a username"}}},
        {PROJECTOR "[http]\nlisten = \"127.0.0.1:0\"\ntls_key = \"/etc/zelt/key.pem\"\n",
         {{"6:11", "tls_key needs tls_cert too"}}},
        // Missing required keys: told at their table.
        {"[service]\n", {{"1:1", "no [[projector]]: the service needs at least one projector"}}},
        {"[[projector]]\nbaud = 9600\n[[projector]]\nname = \"b\"\n",
         {{"1:1", "[[projector]] has no name"},
          {"1:1", "the projector at line 1 has no line"},
          {"3:1", "projector \"b\" (line 4) has no line"}}},
        {PROJECTOR "[projector.pjlink]\nmax_clients = 2\n[mqtt]\n[http]\n",
         {{"4:1", "[projector.pjlink] of projector \"hall\" (line 2) has no listen"},
          {"6:1", "[mqtt] has no broker"},
          {"7:1", "[http] has no listen"}}},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.text);
        const ConfigResult result = parseServiceConfig(c.text, "t.toml");
        ASSERT_EQ(result.errors.size(), c.mistakes.size()) << ::testing::PrintToString(result.errors);
        for (std::size_t i = 0; i < c.mistakes.size(); ++i) {
            const std::string& message = result.errors[i];
            EXPECT_EQ(message.rfind(std::string("t.toml:") + c.mistakes[i].at + ": ", 0), 0u) << message;
            EXPECT_NE(message.find(c.mistakes[i].fragment), std::string::npos) << message;
        }
    }
}

TEST(ServiceConfig, ReadsAWholeConfigurationTyped) {
    const ConfigResult result = parseServiceConfig(R"(
[service]
socket_dir = "/run/zelt-test/"
log = "/var/log/zelt/zeltd.log"

[[projector]]
name = "hall"
line = "rfc2217://[::1]:2001"
baud = 9600
poll_seconds = 0
reply_timeout_ms = 2500
traffic_log = "/var/log/zelt/hall.log"
pjlink = { listen = "[::]:0", password_file = "/etc/zelt/hall.pjlink", max_clients = 2 }

[[projector]]
name = "side-2"
display_name = "Salle côté"
line = "/dev/serial/by-id/usb-x-if00-port0"
[projector.pjlink]
listen = "lectern.invalid:4353"
no_password = true

[mqtt]
broker = "MQTTS://localhost"
username = "zelt"
password_file = "/etc/zelt/mqtt.password"
ca_file = "/etc/ssl/ca.pem"
client_id = "zeltd-1"
topic_prefix = "site/zelt"
allow_raw = true

[http]
listen = "localhost:0"
tls_cert = "/etc/zelt/cert.pem"
tls_key = "/etc/zelt/key.pem"
)",
                                                   "t.toml");
    ASSERT_TRUE(result.ok()) << ::testing::PrintToString(result.errors);
    const ServiceConfig& c = result.config;
    EXPECT_EQ(c.logPath, "/var/log/zelt/zeltd.log");
    ASSERT_EQ(c.projectors.size(), 2u);

    const ProjectorConfig& hall = c.projectors[0];
    EXPECT_EQ(c.socketPath(hall), "/run/zelt-test/hall.sock");
    EXPECT_EQ(hall.displayName, "hall");
    EXPECT_EQ(hall.line.kind, LineTarget::Kind::Network);
    EXPECT_EQ(hall.line.network.scheme, LineScheme::Rfc2217);
    EXPECT_EQ(hall.line.network.host, "::1");
    EXPECT_EQ(hall.line.network.port, 2001);
    EXPECT_EQ(hall.baudCode, kBaudCode9600);
    EXPECT_EQ(hall.pollSeconds, 0);
    EXPECT_EQ(hall.replyTimeoutMs, 2500);
    EXPECT_EQ(hall.trafficLog, "/var/log/zelt/hall.log");
    ASSERT_TRUE(hall.pjlink);
    EXPECT_EQ(hall.pjlink->listen.host, "::");
    EXPECT_EQ(hall.pjlink->listen.port, 0);
    EXPECT_EQ(hall.pjlink->listen.scope, HostScope::Beyond);
    EXPECT_EQ(hall.pjlink->listen.unguardedProblem, "");
    EXPECT_EQ(hall.pjlink->passwordFile, "/etc/zelt/hall.pjlink");
    EXPECT_EQ(hall.pjlink->maxClients, 2);

    const ProjectorConfig& side = c.projectors[1];
    EXPECT_EQ(side.displayName, "Salle côté");
    EXPECT_EQ(side.line.kind, LineTarget::Kind::Device);
    EXPECT_EQ(side.line.device, "/dev/serial/by-id/usb-x-if00-port0");
    EXPECT_EQ(side.baudCode, kBaudCode19200);
    EXPECT_EQ(side.pollSeconds, kDefaultPollSeconds);
    EXPECT_EQ(side.replyTimeoutMs, kDefaultReplyTimeoutMs);
    ASSERT_TRUE(side.pjlink);
    EXPECT_EQ(side.pjlink->listen.scope, HostScope::Name);
    EXPECT_TRUE(side.pjlink->noPassword);
    EXPECT_EQ(side.pjlink->maxClients, 8);

    ASSERT_TRUE(c.mqtt);
    EXPECT_TRUE(c.mqtt->tls);
    EXPECT_EQ(c.mqtt->host, "localhost");
    EXPECT_EQ(c.mqtt->port, kMqttsPort);
    EXPECT_EQ(c.mqtt->username, "zelt");
    EXPECT_EQ(c.mqtt->caFile, "/etc/ssl/ca.pem");
    EXPECT_EQ(c.mqtt->clientId, "zeltd-1");
    EXPECT_EQ(c.mqtt->topicPrefix, "site/zelt");
    EXPECT_EQ(c.mqtt->discoveryPrefix, "homeassistant");
    EXPECT_TRUE(c.mqtt->allowRaw);

    ASSERT_TRUE(c.http);
    EXPECT_EQ(c.http->listen.scope, HostScope::Loopback);
    // No password: a name that resolves beyond loopback is refused by the service with this text.
    EXPECT_NE(c.http->listen.unguardedProblem.find("listen \"localhost:0\" reaches beyond"), std::string::npos);
    EXPECT_EQ(c.http->tlsKey, "/etc/zelt/key.pem");
}

TEST(ServiceConfig, TheExampleFileIsGoodAndHasTheDefaults) {
    const ConfigResult result = readServiceConfigFile(ZELT_SOURCE_DIR "/packaging/zeltd.toml.example");
    ASSERT_TRUE(result.ok()) << ::testing::PrintToString(result.errors);
    const ServiceConfig& c = result.config;
    const ServiceConfig defaults;
    const ProjectorConfig projectorDefaults;
    const PjlinkConfig pjlinkDefaults;
    const MqttConfig mqttDefaults;
    EXPECT_EQ(c.socketDir, defaults.socketDir);
    ASSERT_EQ(c.projectors.size(), 1u);
    EXPECT_EQ(c.projectors[0].baudCode, projectorDefaults.baudCode);
    EXPECT_EQ(c.projectors[0].pollSeconds, projectorDefaults.pollSeconds);
    EXPECT_EQ(c.projectors[0].replyTimeoutMs, projectorDefaults.replyTimeoutMs);
    ASSERT_TRUE(c.projectors[0].pjlink && c.mqtt && c.http);
    EXPECT_EQ(c.projectors[0].pjlink->listen.port, pjlink::kDefaultTcpPort);
    EXPECT_EQ(c.projectors[0].pjlink->maxClients, pjlinkDefaults.maxClients);
    EXPECT_EQ(c.mqtt->port, kMqttPort);
    EXPECT_EQ(c.mqtt->topicPrefix, mqttDefaults.topicPrefix);
    EXPECT_EQ(c.mqtt->discoveryPrefix, mqttDefaults.discoveryPrefix);
    EXPECT_EQ(c.http->listen.text, "127.0.0.1:8080");
}

TEST(ServiceConfig, AFileThatCannotBeReadIsNamedWithTheReason) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = dir.path().toStdString();
    const std::string huge = folder + "/huge.toml";
    std::ofstream(huge) << PROJECTOR << std::string(kMaxConfigBytes, '#');
    const std::pair<std::string, std::string> cases[] = {
        {folder + "/missing.toml", folder + "/missing.toml: cannot read the configuration: No such file or directory"},
        {folder, folder + ": cannot read the configuration: Is a directory"},
        {huge,
         huge + ": cannot read the configuration: it is larger than 1 MiB (a configuration takes a few kilobytes)"},
    };
    for (const auto& [path, message] : cases) {
        const ConfigResult result = readServiceConfigFile(path);
        EXPECT_EQ(result.errors, std::vector<std::string>{message});
    }
}

TEST(ServiceConfig, OnlyLiteralLoopbackAddressesAreKnownToStayOnThisMachine) {
    const std::pair<const char*, HostScope> cases[] = {
        {"127.0.0.1", HostScope::Loopback},
        {"127.255.0.9", HostScope::Loopback},
        {"::1", HostScope::Loopback},
        {"::ffff:127.0.0.5", HostScope::Loopback},
        {"LocalHost.", HostScope::Loopback},
        {"0.0.0.0", HostScope::Beyond},
        {"::", HostScope::Beyond},
        {"lectern.invalid", HostScope::Name},
        {"localhost.invalid", HostScope::Name},
    };
    for (const auto& [host, scope] : cases) EXPECT_EQ(hostScope(host), scope) << host;
}

}  // namespace
}  // namespace zelt::service
