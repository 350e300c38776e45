// The real program: the tool started headless against the demo fleet. The tool
// takes no command line and asks its start-up question before anything else,
// so from outside it can only be seen to start and to keep running there.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "simulator/sim_fleet.h"

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
    sim::SimFleet fleet = sim::SimFleet::fromFile(ZELMAR_DEMO_FLEET);
    fleet.start(0);
    ASSERT_EQ(fleet.size(), 25u);
    fleet.writeClientConfig(clientConfig.toStdString());

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
}

}  // namespace
}  // namespace zelmar::acceptance
