#pragma once
// zelmar-netctl run as a program against a fleet's client configuration and
// followed on its standard error until a progress line: how the tests stop a
// run half-way (and then kill it).
#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <functional>

namespace zelmar::testing {

// Starts `program` with `arguments` and the fleet's client configuration, and
// reads its standard error until `stopAt` holds for a line (true), it ends, or
// a minute has passed. `said` collects what it wrote.
inline bool startUntil(QProcess& ctl, const QString& program, const QString& clientConfig, const QStringList& arguments,
                       const std::function<bool(const QByteArray& line)>& stopAt, QByteArray& said) {
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("ZELMAR_NETSERVICE_CONFIG", clientConfig);
    ctl.setProcessEnvironment(env);
    ctl.setReadChannel(QProcess::StandardError);
    ctl.start(program, arguments);
    if (!ctl.waitForStarted(10000))
        return false;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 60000 && (ctl.waitForReadyRead(1000) || ctl.state() == QProcess::Running)) {
        while (ctl.canReadLine()) {
            const QByteArray line = ctl.readLine();
            said += line;
            if (stopAt(line))
                return true;
        }
    }
    return false;
}

// The same until a line starts with `linePrefix`.
inline bool startUntilLine(QProcess& ctl, const QString& program, const QString& clientConfig,
                           const QStringList& arguments, const QByteArray& linePrefix, QByteArray& said) {
    return startUntil(
        ctl, program, clientConfig, arguments, [&](const QByteArray& line) { return line.startsWith(linePrefix); },
        said);
}

}  // namespace zelmar::testing
