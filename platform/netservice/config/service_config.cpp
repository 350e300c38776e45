#include "platform/netservice/config/service_config.h"

#include "platform/netservice/config/config_lookup.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdlib>
#include <stdexcept>

namespace zelmar::net {

namespace {
// Every key the file may hold; anything else is a mistake worth naming (a
// misspelt key would otherwise leave its default in force without a word).
const char* const kKnownKeys[] = {
    "port", "searchTargets", "bindAddress", "firstAnswerWaitMs", "maxSearchRounds", "maxSearchMs", "retransmitMs",
    "lookupTimeoutMs", "answerSpreadMs", "receiveBufferBytes", "upgradeStallTimeoutMs", "upgradeMaxMs", "upgradeRestartWaitMs",
    "allowNonLoopback", "failEntryReadsAfter",
};

void refuseUnknownKeys(const QJsonObject& o) {
    for (auto it = o.begin(); it != o.end(); ++it) {
        const QString key = it.key();
        const char* close = nullptr;
        bool known = false;
        for (const char* k : kKnownKeys) {
            known = known || key == QLatin1String(k);
            if (key.compare(QLatin1String(k), Qt::CaseInsensitive) == 0)
                close = k;
        }
        if (key == QLatin1String("quietPeriodMs"))
            throw std::runtime_error("client configuration: \"quietPeriodMs\" is no longer used: a search now ends "
                                     "by the round trips it measures; see \"firstAnswerWaitMs\" and "
                                     "\"maxSearchRounds\"");
        if (!known)
            throw std::runtime_error("client configuration: unknown key \"" + key.toStdString() + "\"" +
                                     (close ? std::string(" (did you mean \"") + close + "\"?)" : std::string()));
    }
}

int intField(const QJsonObject& o, const char* key, int fallback, int min, int max) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined())
        return fallback;
    if (!v.isDouble())
        throw std::runtime_error(std::string("client configuration: \"") + key + "\" is not a number");
    const double d = v.toDouble();
    if (d < min || d > max || d != double(int(d)))
        throw std::runtime_error(std::string("client configuration: \"") + key + "\" is out of range");
    return int(d);
}
}  // namespace

ServiceConfig ServiceConfig::fromJson(const std::string& json) {
    QJsonParseError err{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json), &err);
    if (err.error != QJsonParseError::NoError)
        throw std::runtime_error("client configuration is not JSON: " + err.errorString().toStdString() +
                                 " at character " + std::to_string(err.offset));
    if (!doc.isObject())
        throw std::runtime_error("client configuration: the top level is a list, not an object of settings");
    const QJsonObject o = doc.object();
    refuseUnknownKeys(o);
    ServiceConfig c;
    c.port = static_cast<unsigned short>(intField(o, "port", c.port, 1, 65535));
    if (o.contains("searchTargets")) {
        if (!o.value("searchTargets").isArray())
            throw std::runtime_error("client configuration: \"searchTargets\" is not a list");
        for (const QJsonValue& t : o.value("searchTargets").toArray()) {
            if (!t.isString())
                throw std::runtime_error("client configuration: a search target is not a text");
            c.searchTargets.push_back(t.toString().toStdString());
        }
    }
    if (o.contains("bindAddress")) {
        if (!o.value("bindAddress").isString())
            throw std::runtime_error("client configuration: \"bindAddress\" is not a text");
        c.bindAddress = o.value("bindAddress").toString().toStdString();
    }
    c.firstAnswerWaitMs = intField(o, "firstAnswerWaitMs", c.firstAnswerWaitMs, 10, 60000);
    c.maxSearchRounds = intField(o, "maxSearchRounds", c.maxSearchRounds, 1, 100);
    c.maxSearchMs = intField(o, "maxSearchMs", c.maxSearchMs, 10, 600000);
    c.retransmitMs = intField(o, "retransmitMs", c.retransmitMs, 5, 60000);
    c.lookupTimeoutMs = intField(o, "lookupTimeoutMs", c.lookupTimeoutMs, 10, 600000);
    c.answerSpreadMs = intField(o, "answerSpreadMs", c.answerSpreadMs, 0, 2000);
    c.receiveBufferBytes = intField(o, "receiveBufferBytes", c.receiveBufferBytes, 65536, 1 << 30);
    c.upgradeStallTimeoutMs = intField(o, "upgradeStallTimeoutMs", c.upgradeStallTimeoutMs, 50, 600000);
    c.upgradeMaxMs = intField(o, "upgradeMaxMs", c.upgradeMaxMs, 100, 86400000);
    c.upgradeRestartWaitMs = intField(o, "upgradeRestartWaitMs", c.upgradeRestartWaitMs, 0, 600000);
    if (o.contains("allowNonLoopback") && !o.value("allowNonLoopback").isBool())
        throw std::runtime_error("client configuration: \"allowNonLoopback\" is not true or false");
    c.allowNonLoopback = o.value("allowNonLoopback").toBool(false);
    c.failEntryReadsAfter = intField(o, "failEntryReadsAfter", c.failEntryReadsAfter, -1, 1 << 30);
    return c;
}

ServiceConfig ServiceConfig::fromFile(const std::string& path) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read client configuration " + path);
    try {
        return fromJson(f.readAll().toStdString());
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(path + ": " + e.what());
    }
}

ServiceConfig ServiceConfig::fromEnvironment() {
    const ConfigSource source = findServiceConfig();
    if (source.kind == ConfigSource::Kind::Defaults)
        return ServiceConfig{};
    try {
        return fromFile(source.path);
    } catch (const std::runtime_error& e) {
        // Name where the file came from too: the user may not know that a variable is set, or that a file is there.
        const std::string origin = source.kind == ConfigSource::Kind::Variable
                                       ? "the file ZELMAR_NETSERVICE_CONFIG names"
                                       : std::string("the ") + describe(source.kind) + " configuration";
        throw std::runtime_error(std::string(e.what()) + " (" + origin + ")");
    }
}

std::string ServiceConfig::toJson() const {
    QJsonObject o;
    o["port"] = int(port);
    QJsonArray targets;
    for (const auto& t : searchTargets)
        targets.append(QString::fromStdString(t));
    o["searchTargets"] = targets;
    o["bindAddress"] = QString::fromStdString(bindAddress);
    o["firstAnswerWaitMs"] = firstAnswerWaitMs;
    o["maxSearchRounds"] = maxSearchRounds;
    o["maxSearchMs"] = maxSearchMs;
    o["retransmitMs"] = retransmitMs;
    o["lookupTimeoutMs"] = lookupTimeoutMs;
    o["answerSpreadMs"] = answerSpreadMs;
    o["receiveBufferBytes"] = receiveBufferBytes;
    o["upgradeStallTimeoutMs"] = upgradeStallTimeoutMs;
    o["upgradeMaxMs"] = upgradeMaxMs;
    o["upgradeRestartWaitMs"] = upgradeRestartWaitMs;
    if (allowNonLoopback)
        o["allowNonLoopback"] = true;
    if (failEntryReadsAfter >= 0)
        o["failEntryReadsAfter"] = failEntryReadsAfter;
    return QJsonDocument(o).toJson(QJsonDocument::Indented).toStdString();
}

}  // namespace zelmar::net
