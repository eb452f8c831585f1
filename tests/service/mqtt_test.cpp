// zeltd's MQTT front end end to end: zeltd, a real Mosquitto on loopback and the projector
// emulator as child processes, mosquitto_sub and mosquitto_pub as the other side.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <set>

#include "tests/support/emulator_process.h"
#include "tests/support/mosquitto_process.h"
#include "tests/support/ser2net_process.h"
#include "tests/support/zeltd_process.h"

namespace zelt::test {
namespace {

constexpr int kWaitMs = 10000;

std::string lineLink(const TestFolder& folder) { return folder.path() + "/line"; }

EmulatorProcess* startEmulator(const TestFolder& folder) {
    return new EmulatorProcess(
        {"--log", "--link", lineLink(folder), "--warmup-seconds", "1", "--cooldown-seconds", "1"});
}

// One room: a broker, the projector "hall" (the emulator behind a link in the folder), a
// subscriber to everything under zelt/ and homeassistant/, and zeltd with [mqtt] naming the broker
// and then `extra` (unless told not to start it).
struct Room {
    TestFolder folder;
    MosquittoProcess broker;
    std::unique_ptr<EmulatorProcess> emulator{startEmulator(folder)};
    std::unique_ptr<MqttSubscriber> seen;
    std::unique_ptr<ZeltdProcess> zeltd;

    explicit Room(const std::string& extra = "", MosquittoProcess::Options options = {}, bool start = true)
        : broker(options) {
        if (!broker.started() || !emulator->started()) return;
        seen = std::make_unique<MqttSubscriber>(broker.port(), std::vector<std::string>{"zelt/#", "homeassistant/#"},
                                                &broker);
        if (start) startZeltd(brokerLine() + extra);
    }
    std::string brokerLine() const { return "broker = \"" + broker.url() + "\"\n"; }
    // zeltd's configuration: the projector "hall", `more` projectors, and `mqtt` as the whole
    // [mqtt] table.
    std::string config(const std::string& mqtt, const std::string& more = "") const {
        return "[[projector]]\nname = \"hall\"\ndisplay_name = \"Main hall\"\nline = \"" + lineLink(folder) +
               "\"\npoll_seconds = 1\n\n" + more + "[mqtt]\nclient_id = \"zeltd-test\"\n" + mqtt;
    }
    void startZeltd(const std::string& mqtt) { zeltd = std::make_unique<ZeltdProcess>(folder.path(), config(mqtt)); }
    bool ready() { return zeltd && zeltd->started() && seen->waitFor("zelt/hall/availability", "online", kWaitMs); }
    bool publish(const std::string& leaf, const std::string& payload, bool retain = false) {
        return mqttPublish(broker.port(), "zelt/hall/" + leaf, payload, retain);
    }
    // Whether `command` reached the line.
    bool onLine(const std::string& command) {
        return !emulator->waitForLine("RX \"" + command + "\"", kWaitMs).empty();
    }
    // The commands on the line other than the poller's queries.
    std::vector<std::string> commandsOnLine() const {
        std::vector<std::string> commands;
        for (const RxLine& rx : emulator->rxLines())
            if (!rx.command.starts_with("CR")) commands.push_back(rx.command);
        return commands;
    }
    // Whether the log says `part`, from line number `from` on.
    bool logged(const std::string& part, std::size_t from = 0) {
        const auto has = [&](const std::string& line) { return line.find(part) != std::string::npos; };
        return !zeltd->waitForLine(has, kWaitMs, from).empty();
    }
};

#define ASSERT_READY(room)                                                                                       \
    ASSERT_TRUE(room.broker.started()) << room.broker.startError();                                              \
    ASSERT_TRUE(room.emulator->started()) << room.emulator->startError();                                        \
    ASSERT_TRUE(room.zeltd != nullptr && room.zeltd->started()) << (room.zeltd ? room.zeltd->startError() : ""); \
    ASSERT_TRUE(room.ready()) << room.zeltd->output()

QJsonObject json(const std::string& text) { return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object(); }
std::string str(const QJsonValue& v) { return v.toString().toStdString(); }

// ---- Home Assistant discovery ------------------------------------------------------------------

// What Home Assistant needs of each component to make an entity that works.
const std::map<std::string, std::vector<std::string>> kNeeded = {
    {"switch", {"command_topic", "state_topic", "payload_on", "payload_off"}},
    {"select", {"command_topic", "state_topic", "options"}},
    {"sensor", {"state_topic"}},
    {"binary_sensor", {"state_topic", "payload_on", "payload_off"}},
    {"button", {"command_topic", "payload_press"}},
};

// The one-shot commands users expect as buttons, and what each puts on the line.
const std::map<std::string, std::string> kButtons = {
    {"freeze_on", "C43"},      {"freeze_off", "C44"},    {"video_mute_on", "C0D"},
    {"video_mute_off", "C0E"}, {"audio_mute_on", "C0B"}, {"audio_mute_off", "C0C"},
};

TEST(Mqtt, DiscoveryGivesHomeAssistantWorkingEntitiesAndIsSentAgainWhenItComesOnline) {
    Room room;
    ASSERT_READY(room);
    ASSERT_TRUE(room.seen->waitFor("zelt/hall/temperature", std::nullopt, kWaitMs));  // a slow round done
    const std::vector<MqttMessage> all = room.seen->messages();
    std::set<std::string> components, uniqueIds, buttons;
    for (const MqttMessage& m : all) {
        if (!m.topic.starts_with("homeassistant/")) continue;
        SCOPED_TRACE(m.topic);
        // <prefix>/<component>/zelt_hall/<object>/config
        const std::string component = m.topic.substr(14, m.topic.find('/', 14) - 14);
        const std::string object = m.topic.substr(m.topic.find("/zelt_hall/") + 11);
        ASSERT_TRUE(object.ends_with("/config"));
        const QJsonObject config = json(m.payload);
        ASSERT_TRUE(kNeeded.count(component)) << component;
        for (const std::string& key : kNeeded.at(component)) EXPECT_TRUE(config.contains(key.c_str())) << key;
        components.insert(component);
        EXPECT_TRUE(uniqueIds.insert(str(config["unique_id"])).second);
        EXPECT_FALSE(str(config["name"]).empty());
        EXPECT_EQ(config["device"]["identifiers"].toArray().first().toString(), "zelt_hall");
        EXPECT_EQ(str(config["device"]["name"]), "Main hall");
        std::set<std::string> availability;
        for (const QJsonValue& a : config["availability"].toArray()) availability.insert(str(a["topic"]));
        EXPECT_EQ(availability, (std::set<std::string>{"zelt/availability", "zelt/hall/availability"}));
        // Each state topic has a value; each command topic takes what the entity sends.
        if (config.contains("state_topic")) {
            EXPECT_FALSE(room.seen->messagesOn(str(config["state_topic"])).empty()) << str(config["state_topic"]);
        }
        if (component == "button") {
            const std::string button = object.substr(0, object.size() - std::string("/config").size());
            buttons.insert(button);
            ASSERT_TRUE(mqttPublish(room.broker.port(), str(config["command_topic"]), str(config["payload_press"])));
            if (kButtons.count(button)) {
                EXPECT_TRUE(room.onLine(kButtons.at(button)));
            }
        }
        if (component == "select") {
            for (const QJsonValue& option : config["options"].toArray())
                EXPECT_TRUE(mqttPublish(room.broker.port(), str(config["command_topic"]), str(option)));
        }
    }
    EXPECT_EQ(components, (std::set<std::string>{"switch", "select", "sensor", "binary_sensor", "button"}));
    for (const auto& [button, command] : kButtons) EXPECT_TRUE(buttons.count(button)) << button;
    for (const char* command : {"C05", "C06", "C07", "C34", "C04"}) EXPECT_TRUE(room.onLine(command));
    // Raw commands are off by default: not even listened to.
    ASSERT_TRUE(room.publish("raw", "C00"));
    ASSERT_TRUE(room.publish("power/set", "OFF"));
    ASSERT_TRUE(room.onLine("C02"));
    EXPECT_TRUE(room.seen->messagesOn("zelt/hall/raw/reply").empty());
    for (const std::string& c : room.commandsOnLine()) EXPECT_NE(c, "C00");

    const std::size_t before = room.seen->messages().size();
    ASSERT_TRUE(mqttPublish(room.broker.port(), "homeassistant/status", "online"));
    for (const MqttMessage& m : all) {
        if (m.topic.starts_with("homeassistant/")) {
            EXPECT_TRUE(room.seen->waitFor(m.topic, m.payload, kWaitMs, before)) << m.topic;
        }
    }
}

// ---- Commands and state ------------------------------------------------------------------------

TEST(Mqtt, CommandsReachTheLineAndTheStateTopicsFollow) {
    Room raw("allow_raw = true\n");
    ASSERT_READY(raw);
    struct Case {
        std::string leaf, payload, command, stateTopic, state;
    };
    // A raw command's "state" is the reply the raw reply carries.
    const Case cases[] = {
        {"power/set", "ON", "C00", "zelt/hall/power", "on"},
        {"input/set", "HDMI", "C04", "zelt/hall/input", "hdmi"},
        {"input/set", "s-video", "C34", "zelt/hall/input", "s-video"},
        {"raw", "CR1\r", "CR1", "zelt/hall/raw/reply", "5\r"},
        {"power/set", "off", "C02", "zelt/hall/power", "cooling"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.leaf + " " + c.payload);
        const std::size_t before = raw.seen->messages().size();
        ASSERT_TRUE(raw.publish(c.leaf, c.payload));
        EXPECT_TRUE(raw.onLine(c.command));
        if (c.leaf != "raw") {
            EXPECT_TRUE(raw.seen->waitFor(c.stateTopic, c.state, kWaitMs, before));
            continue;
        }
        // The raw reply is zelt-ctl's --json object.
        const auto reply = raw.seen->waitFor(c.stateTopic, std::nullopt, kWaitMs, before);
        ASSERT_TRUE(reply);
        const QJsonObject object = json(reply->payload);
        EXPECT_EQ(str(object["command"]), c.command + "\r");
        EXPECT_EQ(str(object["outcome"]), "answered");
        EXPECT_EQ(str(object["reply"]), c.state);
    }
}

TEST(Mqtt, BadPayloadsAreRefusedAndLoggedAndNothingGoesOnTheLine) {
    Room room("", {}, false);
    ASSERT_TRUE(room.broker.started()) << room.broker.startError();
    // A retained command, there before the service connects: it must not run at each connection.
    ASSERT_TRUE(room.publish("power/set", "ON", true));
    room.startZeltd(room.brokerLine() + "allow_raw = true\n");
    ASSERT_READY(room);
    EXPECT_TRUE(room.logged("power/set \"ON\" refused: a retained command"));
    ASSERT_TRUE(room.publish("power/set", "", true));  // the broker forgets it

    struct Case {
        std::string leaf, payload, why;
    };
    const Case cases[] = {
        {"power/set", "MAYBE", "is not one of ON, OFF"},
        {"power/set", "", "is not one of ON, OFF"},
        {"power/set", "ON ", "is not one of ON, OFF"},
        {"volume/set", "ON", "is not one of UP, DOWN"},
        {"input/set", "hdmi2", "no input \"hdmi2\""},
        {"input/set", "C04", "no input"},
        {"brightness/set", "ON", "no command topic"},
        {"raw", "C0\x01", "control character"},
        {"raw", "C00\rC02", "control character"},
        {"raw", "C\u20ac", "one byte"},
        {"raw", "CF BRIGHT 0%%", "digit"},
        {"raw", "", "empty"},
        {"raw", std::string(300, 'C'), "at most"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.leaf + " " + c.payload);
        ASSERT_TRUE(room.publish(c.leaf, c.payload));
        const std::string line = room.zeltd->waitForLine(
            [&](const std::string& l) {
                return l.find(c.leaf + " \"") != std::string::npos && l.find(c.why) != std::string::npos;
            },
            kWaitMs);
        EXPECT_NE(line.find("refused"), std::string::npos) << room.zeltd->output();
    }
    // A good command after them, in the same order through the broker and the engine: had any of
    // them gone out, it would be on the line before this one.
    ASSERT_TRUE(room.publish("freeze/set", "OFF"));
    ASSERT_TRUE(room.onLine("C44"));
    EXPECT_EQ(room.commandsOnLine(), std::vector<std::string>{"C44"});
}

// ---- The broker and the line going away --------------------------------------------------------

TEST(Mqtt, ABrokerStartedAgainGetsTheRetainedStateBackAndCommandsWorkAgain) {
    Room room;
    ASSERT_READY(room);
    room.broker.endWith(SIGTERM);
    ASSERT_TRUE(room.logged("MQTT: lost the connection"));
    const std::size_t lost = room.zeltd->lines().size();
    ASSERT_TRUE(room.broker.restart()) << room.broker.startError();
    // The broker has forgotten everything; what a new subscriber gets was published again.
    ASSERT_TRUE(room.logged("MQTT: connected to", lost));
    MqttSubscriber after(room.broker.port(), {"zelt/#", "homeassistant/#"});
    ASSERT_TRUE(after.subscribed());
    for (const char* topic : {"zelt/availability", "zelt/hall/availability", "zelt/hall/power", "zelt/hall/input",
                              "homeassistant/switch/zelt_hall/power/config"}) {
        const auto m = after.waitFor(topic, std::nullopt, kWaitMs);
        ASSERT_TRUE(m) << topic;
        EXPECT_TRUE(m->retained) << topic;
    }
    EXPECT_EQ(after.messagesOn("zelt/availability").front().payload, "online");
    ASSERT_TRUE(room.publish("power/set", "ON"));
    EXPECT_TRUE(room.onLine("C00"));
}

TEST(Mqtt, ALinePulledIsOfflineRefusesCommandsWithoutKeepingThemAndComesBackOnline) {
    Room room;
    ASSERT_READY(room);
    const std::size_t before = room.seen->messages().size();
    room.emulator->signal(SIGUSR1);  // the device vanishes
    ASSERT_TRUE(room.seen->waitFor("zelt/hall/availability", "offline", kWaitMs, before));
    ASSERT_TRUE(room.publish("power/set", "ON"));
    EXPECT_TRUE(room.logged("power/set \"ON\" refused: the line is down"));

    const std::size_t down = room.seen->messages().size();
    room.emulator.reset(startEmulator(room.folder));
    ASSERT_TRUE(room.emulator->started());
    ASSERT_TRUE(room.seen->waitFor("zelt/hall/availability", "online", kWaitMs, down));
    ASSERT_TRUE(room.publish("freeze/set", "OFF"));
    ASSERT_TRUE(room.onLine("C44"));
    EXPECT_EQ(room.commandsOnLine(), std::vector<std::string>{"C44"});  // the refused one never came
    ASSERT_TRUE(room.publish("power/set", "ON"));
    EXPECT_TRUE(room.onLine("C00"));
}

TEST(Mqtt, AReloadPublishesAnAddedProjectorAndClearsARemovedOne) {
    Room room;
    ASSERT_READY(room);
    const std::string aux = "homeassistant/switch/zelt_aux/power/config";
    const std::size_t before = room.seen->messages().size();
    room.zeltd->rewrite(room.config(
        room.brokerLine(), "[[projector]]\nname = \"aux\"\nline = \"" + room.folder.path() + "/no-line\"\n\n"));
    room.zeltd->signal(SIGHUP);
    const auto added = room.seen->waitFor(aux, std::nullopt, kWaitMs, before);
    ASSERT_TRUE(added);
    EXPECT_FALSE(added->payload.empty());
    EXPECT_TRUE(room.seen->waitFor("zelt/aux/availability", "offline", kWaitMs, before));  // no line

    const std::size_t second = room.seen->messages().size();
    room.zeltd->rewrite(room.config(room.brokerLine()));
    room.zeltd->signal(SIGHUP);
    // Empty retained messages: the broker forgets them, Home Assistant removes the device.
    EXPECT_TRUE(room.seen->waitFor(aux, "", kWaitMs, second));
    EXPECT_TRUE(room.seen->waitFor("zelt/aux/availability", "", kWaitMs, second));
    // The projector the reloads kept still takes commands.
    ASSERT_TRUE(room.publish("power/set", "ON"));
    EXPECT_TRUE(room.onLine("C00"));
}

TEST(Mqtt, TheServiceIsOfflineAfterACleanStopAndByItsLastWill) {
    for (const int signal : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(signal);
        Room room;
        ASSERT_READY(room);
        const std::size_t before = room.seen->messages().size();
        room.zeltd->signal(signal);
        EXPECT_TRUE(room.seen->waitFor("zelt/availability", "offline", kWaitMs, before));
        // A clean stop also says so of each projector; the will speaks for the service alone.
        if (signal == SIGTERM) {
            EXPECT_TRUE(room.seen->waitFor("zelt/hall/availability", "offline", kWaitMs, before));
        }
    }
}

// ---- Broker trouble ----------------------------------------------------------------------------

std::string writeSecret(const TestFolder& folder, const std::string& secret) {
    const std::string path = folder.path() + "/mqtt.password";
    std::ofstream(path) << secret << "\n";
    ::chmod(path.c_str(), 0600);
    return path;
}

TEST(Mqtt, BrokerTroubleIsToldClearlyAndTheSharedLineKeepsWorking) {
    struct Case {
        std::string name;
        MosquittoProcess::Options broker;
        // The [mqtt] table for the broker, the room's folder given.
        std::function<std::string(const MosquittoProcess&, const TestFolder&)> mqtt;
        std::string logged;
    };
    const auto user = [](const std::string& secret) {
        return [secret](const MosquittoProcess& b, const TestFolder& f) {
            return "broker = \"" + b.url() + "\"\nusername = \"zelt\"\npassword_file = \"" + writeSecret(f, secret) +
                   "\"\n";
        };
    };
    const auto ca = [](const std::function<std::string(const MosquittoProcess&, const TestFolder&)>& file) {
        return [file](const MosquittoProcess& b, const TestFolder& f) {
            return "broker = \"" + b.url() + "\"\nca_file = \"" + file(b, f) + "\"\n";
        };
    };
    const Case cases[] = {
        {"the right password", {"s3cret"}, user("s3cret"), "MQTT: connected to"},
        {"a wrong password", {"s3cret"}, user("guess"), "the broker refused: Connection Refused: not authorised"},
        {"a host name (from /etc/hosts)",
         {},
         [](const MosquittoProcess& b, const TestFolder&) {
             return "broker = \"mqtt://localhost:" + std::to_string(b.port()) + "\"\n";
         },
         "MQTT: connected to mqtt://localhost:"},
        {"no password file",
         {"s3cret"},
         [](const MosquittoProcess& b, const TestFolder& f) {
             return "broker = \"" + b.url() + "\"\nusername = \"zelt\"\npassword_file = \"" + f.path() + "/none\"\n";
         },
         "cannot open the password file"},
        {"nothing listening",
         {},
         [](const MosquittoProcess&, const TestFolder&) {
             return "broker = \"mqtt://127.0.0.1:" + std::to_string(freeLoopbackPort()) + "\"\n";
         },
         "Connection refused; trying again every second"},
        {"TLS with its CA",
         {"", true},
         ca([](const MosquittoProcess& b, const TestFolder&) { return b.caFile(); }),
         "MQTT: connected to mqtts://"},
        {"TLS with another CA",
         {"", true},
         ca([](const MosquittoProcess& b, const TestFolder&) { return b.otherCaFile(); }),
         "certificate verify failed"},
        {"a missing CA file",
         {"", true},
         ca([](const MosquittoProcess&, const TestFolder& f) { return f.path() + "/none.crt"; }),
         "cannot be read: No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Room room("", c.broker, false);
        ASSERT_TRUE(room.broker.started()) << room.broker.startError();
        room.startZeltd(c.mqtt(room.broker, room.folder));
        ASSERT_TRUE(room.zeltd->started()) << room.zeltd->startError();
        // Said the first time, not only after some tries.
        const std::string first = room.zeltd->waitForLine("zeltd: MQTT", kWaitMs);
        EXPECT_NE(first.find(c.logged), std::string::npos) << room.zeltd->output();
        if (c.logged.starts_with("MQTT: connected")) {
            EXPECT_TRUE(room.ready());
        }
        // The local clients' front end is there whatever MQTT does.
        ASSERT_TRUE(room.logged("hall: line " + lineLink(room.folder) + " open"));
        ::setenv("ZELT_SERVICE_DIR", room.zeltd->socketDir().c_str(), 1);
        ChildProcess ctl;
        ASSERT_TRUE(ctl.start({ZELT_CTL_PATH, "--device", "zelt://hall", "status"}, StandardError::Merged));
        EXPECT_EQ(ctl.waitForExit(kWaitMs), 0) << room.zeltd->output();
    }
}

}  // namespace
}  // namespace zelt::test
