// The port OS upgrade command end to end: the file in "SLIB:QORreal", the
// question, the transfer over UDP to a simulated controller, its restart and
// the search afterwards, and every message on the way.
#include <QDir>
#include <QFile>
#include <atomic>
#include <functional>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/netservice/net_service.h"
#include "platform/netservice/upgrade/upgrade_file.h"
#include "support/support.h"
#include "tests/comm/slib_fixture.h"

using namespace zelmar;
using namespace zelmar::comm;

namespace {

const QString kTransferFailed =
    "Could not upgrade controller.\r\nThis could happen because of the following reasons: \r\n"
    "- The connection to the controller was lost.\r\n- Incorrect format in the upgrade file.";
const QString kNoFile = "Can not find a TcpIpPortOS upgrade file.";

QString successMessage(const QString& revision) {
    return "The controller has been upgraded successfully!\r\n\r\nNew revision in the controller: " + revision;
}

std::vector<std::uint8_t> image(std::size_t size, unsigned seed) {
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = std::uint8_t(x);
    }
    return bytes;
}

QByteArray upgradeFileBytes(std::int16_t type, const std::string& revision, std::size_t size = 60000) {
    const auto bytes = net::UpgradeFile::Build(type, revision, image(size, unsigned(size)));
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

// The stages a run told: the shares sent in order, then the stages after the
// transfer, and how many modal calls had been made when it told Ended.
struct StageLog {
    int lastSent = -1;
    bool inOrder = true;  // the shares never fall, and none comes after the transfer
    std::vector<UpgradeStage> after;
    qsizetype messagesAtEnd = -1;

    void operator()(UpgradeStage stage, int percent) {
        if (stage == UpgradeStage::Sending) {
            inOrder = inOrder && after.empty() && percent >= lastSent;
            lastSent = percent;
            return;
        }
        after.push_back(stage);
        if (stage == UpgradeStage::Ended)
            messagesAtEnd = ui::ModalSeam::log().size();
    }
};

// A site of controllers that restart in 200 ms, and "SLIB:" in a folder of the test's own.
class UpgradeCommand : public commtest::SlibFolderTest {
protected:
    sim::SimFleet& startUpgradeSite(int count = 2, int failEntryReadsAfter = -1) {
        auto controllers = commtest::site(count);
        for (auto& c : controllers)
            c.restartMs = 200;
        auto& f = startSite(controllers, failEntryReadsAfter);
        configure([](net::ServiceConfig&) {});
        return f;
    }

    // The fixture's configuration, with a short stall bound, changed further by `change`.
    void configure(const std::function<void(net::ServiceConfig&)>& change) {
        net::ServiceConfig c = zelmar::testing::quickConfig(fleet());
        c.upgradeStallTimeoutMs = 500;
        c.failEntryReadsAfter = failReads_;
        change(c);
        comm::setServiceConfigForTests(c);
    }

    QString writeUpgradeFile(int portType, const QByteArray& bytes) {
        const QString path = slibFolder() + "QORreal/" + QString::number(portType) + ".TcpIpPortOS";
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        return path;
    }

    static QString question(const QString& model, const QString& from, const QString& to) {
        return "Do you wish to upgrade the TCP/IP Port OS in this controller?\r\n\r\nModel: " + model +
               "\r\nRevision in the controller: " + from + "\r\nRevision to upgrade to: " + to +
               "\r\n\r\nWhen the TCP/IP Port OS has been upgraded you will be able to communicate with the controller "
               "again.";
    }

    // The command for controller 20-00001 with Ok queued: `message` is all it shows,
    // and nothing reaches the controller.
    void expectRefusedWith(const QString& message) {
        const auto sent = sentByService();
        answer(ui::ButtonOk);
        UpgradePortOsCommand("20-00001");
        ASSERT_EQ(ui::ModalSeam::log().size(), 1);
        EXPECT_EQ(ui::ModalSeam::log()[0].text, message);
        EXPECT_EQ(sentByService(), sent);
        EXPECT_EQ(sim("20-00001").upgradeStarts, 0);
    }

    static QString invalidFileMessage(const QString& path) {
        return "The Upgrade file: " + path + " is not a valid TCP/IP Port OS upgrade file!";
    }

    int failReads_ = -1;
};

}  // namespace

// Started from the search list: the marked controller is unmarked and the upgrade
// flag set while the image goes over, then marked again and the flag cleared.
TEST_F(UpgradeCommand, ASuccessfulUpgradeShowsTheRevisionTheControllerNowReports) {
    startUpgradeSite(2);
    writeUpgradeFile(3, upgradeFileBytes(3, "3.2.0"));
    RestartSearch();
    SelectController("20-00002");
    ui::setMousePointer(ui::MousePointer::Normal);

    answer(ui::ButtonYes);
    answer(ui::ButtonOk);
    StageLog stages;
    bool flagAndMarkRight = true;
    UpgradeListedController("20-00002", [&](UpgradeStage stage, int percent) {
        stages(stage, percent);
        flagAndMarkRight = flagAndMarkRight && state().UpgradeInProgress == vbTrue && !sim("20-00002").marked;
    });
    EXPECT_EQ(stages.lastSent, 100);
    EXPECT_EQ(stages.after, (std::vector<UpgradeStage>{UpgradeStage::WaitingForRestart, UpgradeStage::Ended}));
    EXPECT_EQ(stages.messagesAtEnd, 1) << "ended before its closing message, after the question";
    EXPECT_TRUE(stages.inOrder);
    EXPECT_TRUE(flagAndMarkRight) << "set and unmarked during the transfer";
    EXPECT_EQ(state().UpgradeInProgress, vbFalse);
    EXPECT_TRUE(sim("20-00002").marked) << "marked again afterwards";

    const auto& log = ui::ModalSeam::log();
    ASSERT_EQ(log.size(), 2);
    EXPECT_EQ(log[0].kind, ui::ModalKind::Question);
    EXPECT_EQ(log[0].text, question(support::GetModelName("101"), "2.11", "3.2.0"));
    EXPECT_EQ(log[1].kind, ui::ModalKind::Message);
    EXPECT_EQ(log[1].style, 2);  // information
    EXPECT_EQ(log[1].text, successMessage("3.2.0"));
    EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Normal);

    EXPECT_EQ(sim("20-00002").portOsRevision, "3.2.0");
    EXPECT_EQ(sim("20-00002").upgradesApplied, 1);
    EXPECT_EQ(sim("20-00001").portOsRevision, "2.11");
    EXPECT_EQ(sim("20-00001").upgradeBlocks, 0);
    // The entry found by the search after the restart carries the new revision.
    const std::int16_t index = FindControllerBySerialNo("20-00002", false);
    ASSERT_GE(index, 0);
    EXPECT_EQ(Service().Item(index)->PortOsRevision(), "3.2.0");
}

// What is installed is what the build's data folder holds: no upgrade file,
// so nothing is ever offered to a real controller.
TEST_F(UpgradeCommand, TheInstalledDataFolderOffersNoUpgrade) {
    startUpgradeSite(1);
    RestartSearch();
    qunsetenv("ZELMAR_SLIB_DIR");  // "SLIB:" is the data folder of the build
    expectRefusedWith(kNoFile);
}

TEST_F(UpgradeCommand, NoFileForThePortTypeAsksNothingAndSendsNothing) {
    auto controllers = commtest::site(1);
    controllers[0].portOsType = 7;
    startSite(controllers);
    writeUpgradeFile(3, upgradeFileBytes(3, "3.2.0"));
    RestartSearch();
    expectRefusedWith(kNoFile);
}

TEST_F(UpgradeCommand, InvalidFilesAreNamedWithTheirFullPathAndNothingIsSent) {
    startUpgradeSite(1);
    RestartSearch();
    const QByteArray good = upgradeFileBytes(3, "3.2.0");
    QByteArray wrongHash = good;
    wrongHash[wrongHash.size() / 2] = char(wrongHash[wrongHash.size() / 2] ^ 0x01);
    const QList<QByteArray> bad = {
        good.left(good.size() - 1),   // truncated
        good.left(50),                // only part of the header
        wrongHash,                    // one bit of the image changed
        good + QByteArray("x"),       // something after the image
        QByteArray(),                 // empty
    };
    ui::setMousePointer(ui::MousePointer::Hourglass);
    const auto sent = sentByService();
    for (const QByteArray& bytes : bad) {
        const QString path = writeUpgradeFile(3, bytes);
        expectRefusedWith(invalidFileMessage(path));
        EXPECT_TRUE(QDir::isAbsolutePath(path));
        ui::ModalSeam::clearLog();
    }
    EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Hourglass);  // as it was: no question, no hourglass
    EXPECT_EQ(sentByService(), sent);
    EXPECT_EQ(sim("20-00001").upgradeStarts, 0);
    EXPECT_EQ(sim("20-00001").portOsRevision, "2.11");
}

// The file is whole and undamaged, but it holds an image for port type 5 under the
// name of port type 3: it is no valid upgrade file for a type-3 controller. (Should one
// ever reach a controller, the controller refuses it before any block: the netservice tests.)
TEST_F(UpgradeCommand, AFileForAnotherPortTypeIsNamedWithItsFullPathAndNothingIsSent) {
    startUpgradeSite(1);
    const QString path = writeUpgradeFile(3, upgradeFileBytes(5, "9.0"));
    RestartSearch();
    expectRefusedWith(invalidFileMessage(path));
    const auto s = sim("20-00001");
    EXPECT_EQ(s.portOsRevision, "2.11");
    EXPECT_EQ(s.upgradesRefused, 0);
}

TEST_F(UpgradeCommand, NoAtTheQuestionSendsNothing) {
    startUpgradeSite(1);
    writeUpgradeFile(3, upgradeFileBytes(3, "3.2.0"));
    RestartSearch();
    ui::setMousePointer(ui::MousePointer::Normal);
    const auto sent = sentByService();

    answer(ui::ButtonNo);
    UpgradePortOsCommand("20-00001");
    ASSERT_EQ(ui::ModalSeam::log().size(), 1);
    EXPECT_EQ(ui::ModalSeam::log()[0].kind, ui::ModalKind::Question);
    EXPECT_EQ(sentByService(), sent);
    EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Normal);
    const auto s = sim("20-00001");
    EXPECT_EQ(s.upgradeStarts, 0);
    EXPECT_EQ(s.upgradeBlocks, 0);
    EXPECT_EQ(s.portOsRevision, "2.11");
}

TEST_F(UpgradeCommand, AnUpgradeUnderTenPercentLossCompletes) {
    startUpgradeSite(1);
    writeUpgradeFile(3, upgradeFileBytes(3, "3.4.0", 300000));
    RestartSearch();
    fleet().setLossPercent(10);

    answer(ui::ButtonYes);
    answer(ui::ButtonOk);
    UpgradePortOsCommand("20-00001");
    ASSERT_EQ(ui::ModalSeam::log().size(), 2);
    EXPECT_EQ(ui::ModalSeam::log()[1].text, successMessage("3.4.0"));
    EXPECT_EQ(sim("20-00001").portOsRevision, "3.4.0");
    EXPECT_GT(fleet().stats().lost, 0u);
    EXPECT_GT(Service().core().stats().upgradeBlocksResent, 0u);
}

TEST_F(UpgradeCommand, AControllerGoneMidTransferKeepsItsRevisionAndTheCommandReportsB) {
    startUpgradeSite(1);
    writeUpgradeFile(3, upgradeFileBytes(3, "4.0", 2 << 20));
    RestartSearch();
    fleet().setDelayMs(1, 1);  // the transfer is surely under way when the controller goes
    ui::setMousePointer(ui::MousePointer::Normal);
    std::atomic<bool> gone{false};
    std::thread pull([&] {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < until && fleet().controller("20-00001")->upgradeBlocks < 100)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        fleet().setOffline("20-00001", true);
        gone = true;
    });

    answer(ui::ButtonYes);
    answer(ui::ButtonOk);
    StageLog stages;
    UpgradePortOsCommand("20-00001", std::ref(stages));
    pull.join();
    ASSERT_TRUE(gone);
    ASSERT_EQ(ui::ModalSeam::log().size(), 2);
    EXPECT_EQ(ui::ModalSeam::log()[1].text, kTransferFailed);
    // No restart to wait for: the run ends, with the share it got to, before its message.
    EXPECT_EQ(stages.after, std::vector<UpgradeStage>{UpgradeStage::Ended});
    EXPECT_LT(stages.lastSent, 100);
    EXPECT_EQ(stages.messagesAtEnd, 1);
    EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Normal);
    const auto s = sim("20-00001");
    EXPECT_EQ(s.portOsRevision, "2.11");
    EXPECT_EQ(s.upgradesApplied, 0);
    EXPECT_GE(s.upgradeBlocks, 100);

    // Back on the network it still runs the old port OS.
    fleet().setOffline("20-00001", false);
    const std::int16_t index = FindControllerBySerialNo("20-00001", true);
    ASSERT_GE(index, 0);
    EXPECT_EQ(Service().Item(index)->PortOsRevision(), "2.11");
}

TEST_F(UpgradeCommand, AControllerNotFoundAfterItsUpgradeIsReportedWithB) {
    auto controllers = commtest::site(1);
    controllers[0].restartMs = 2500;  // longer than the service waits for it
    startSite(controllers);
    configure([](net::ServiceConfig& c) { c.upgradeRestartWaitMs = 100; });
    writeUpgradeFile(3, upgradeFileBytes(3, "3.5"));
    RestartSearch();

    answer(ui::ButtonYes);
    answer(ui::ButtonOk);
    UpgradePortOsCommand("20-00001");
    ASSERT_EQ(ui::ModalSeam::log().size(), 2);
    // The search did not hear it: its entry from before (revision 2.11) is no proof of an upgrade.
    EXPECT_EQ(ui::ModalSeam::log()[1].text.toStdString(), kTransferFailed.toStdString());
    EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Normal);
    EXPECT_EQ(sim("20-00001").portOsRevision, "3.5");  // it did switch; it was only not back in time
}

// The flag and the pointer come back even when an error leaves the command
// between the transfer and the search after it.
TEST_F(UpgradeCommand, AFailureAfterTheTransferPutsBackTheFlagAndThePointer) {
    // Reads before the question: SerialNo, PortOsType, ModelCode, PortOsRevision; the fifth
    // (the serial number read by the search after the transfer) fails.
    failReads_ = 4;
    startUpgradeSite(1);
    writeUpgradeFile(3, upgradeFileBytes(3, "3.6"));
    RestartSearch();
    ui::setMousePointer(ui::MousePointer::Normal);

    answer(ui::ButtonYes);
    EXPECT_THROW(UpgradeListedController("20-00001"), net::ServiceError);
    EXPECT_EQ(state().UpgradeInProgress, vbFalse);
    EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Normal);
    ASSERT_EQ(ui::ModalSeam::log().size(), 1);  // the question only
    EXPECT_EQ(sim("20-00001").portOsRevision, "3.6");
}
