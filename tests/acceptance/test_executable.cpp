// The real programs: the simulator started with the demo fleet as
// run-demo.sh starts it, and the tool started against it headless. The tool
// takes no command line and asks its start-up question before anything else,
// so from outside it can only be seen to start and to keep running there.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace zelmar::acceptance {
namespace {

// Stops a process this test started, by its own handle.
struct ProcessStopper {
    QProcess& process;
    ~ProcessStopper() {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(3000)) {
                process.kill();
                process.waitForFinished(3000);
            }
        }
    }
};

TEST(RealPrograms, TheToolStartsAgainstTheDemoFleetAndWaitsAtItsStartUpQuestion) {
    // A template of our own: the default one takes the application name,
    // which the tool's start-up sets to its title (with a '/').
    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/zelmar-acceptance-XXXXXX"));
    ASSERT_TRUE(work.isValid()) << work.errorString().toStdString();
    const QString clientConfig = work.filePath(QStringLiteral("client.json"));

    QProcess sim;
    ProcessStopper stopSim{sim};
    sim.start(QStringLiteral(ZELMAR_SIM_EXE),
              {QStringLiteral("--fleet"), QStringLiteral(ZELMAR_DEMO_FLEET), QStringLiteral("--port"),
               QStringLiteral("0"), QStringLiteral("--client-config"), clientConfig});
    ASSERT_TRUE(sim.waitForStarted(5000));
    QByteArray ready;
    QElapsedTimer clock;
    clock.start();
    while (!ready.contains('\n') && clock.elapsed() < 10000 && sim.state() == QProcess::Running) {
        sim.waitForReadyRead(200);
        ready += sim.readAllStandardOutput();
    }
    ASSERT_TRUE(ready.startsWith("ready port=")) << ready.toStdString() << sim.readAllStandardError().toStdString();
    EXPECT_TRUE(ready.contains("controllers=25"));
    ASSERT_TRUE(QFile::exists(clientConfig));

    QProcess tool;
    ProcessStopper stopTool{tool};
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("ZELMAR_NETSERVICE_CONFIG"), clientConfig);
    tool.setProcessEnvironment(env);
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(QStringLiteral(ZELMAR_TOOL_EXE), {});
    ASSERT_TRUE(tool.waitForStarted(5000));
    // Alive a while later: it did not crash while starting and now waits for
    // the technician's answer.
    EXPECT_FALSE(tool.waitForFinished(1500)) << "the tool ended: exit code " << tool.exitCode() << "\n"
                                             << tool.readAll().toStdString();
    EXPECT_EQ(tool.state(), QProcess::Running);
    tool.kill();
    EXPECT_TRUE(tool.waitForFinished(3000));

#ifndef _WIN32
    // The simulator stops cleanly on SIGTERM (as run-demo.sh stops it).
    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(5000));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0);
#endif
}

}  // namespace
}  // namespace zelmar::acceptance
