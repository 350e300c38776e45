// The port OS upgrade command: finding the file, checking it, asking, sending.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <stdexcept>

#include "comm/scope_guards.h"
#include "tests/comm/comm_fixture.h"

using namespace zelmar;
using namespace zelmar::comm;
using zelmar::commtest::CommTest;
using zelmar::commtest::site;

namespace {

const QString kNotFound =
    "Could not upgrade controller.\r\nThis could happen because of the following reasons: \r\n"
    "- The selected controller could not be found on the network.\r\n- No controller was selected.";
const QString kNoFile = "Can not find a TcpIpPortOS upgrade file.";

// "SLIB:" points at a folder of the test's own for as long as the fixture lives.
class Upgrade : public CommTest {
protected:
    void SetUp() override {
        CommTest::SetUp();
        ASSERT_TRUE(slib_.isValid());
        ASSERT_TRUE(QDir(slib_.path()).mkpath("QORreal"));
        qputenv("ZELMAR_SLIB_DIR", QFile::encodeName(slib_.path()));
    }
    void TearDown() override {
        qunsetenv("ZELMAR_SLIB_DIR");
        CommTest::TearDown();
    }

    QString slibFolder() const { return QDir(slib_.path()).absolutePath() + "/"; }

    QString writeUpgradeFile(int portType, const QByteArray& bytes) {
        const QString path = slibFolder() + "QORreal/" + QString::number(portType) + ".TcpIpPortOS";
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }

private:
    QTemporaryDir slib_;
};

TEST_F(Upgrade, TheFileIsNamedByThePortTypeInQORreal) {
    FindUpgradeFile(3);
    EXPECT_EQ(UpgradeFilePath(), slibFolder() + "QORreal/3.TcpIpPortOS");
    FindUpgradeFile(-12);
    EXPECT_EQ(UpgradeFilePath(), slibFolder() + "QORreal/-12.TcpIpPortOS");
    FindUpgradeFile(32767);
    EXPECT_EQ(UpgradeFilePath(), slibFolder() + "QORreal/32767.TcpIpPortOS");
}

TEST_F(Upgrade, AControllerThatIsNotFoundGetsMessageA) {
    startSite(site(2));
    RestartSearch();
    for (const QString& serial : {QStringLiteral(""), QStringLiteral("20-00077")}) {
        answer(ui::ButtonOk);
        UpgradePortOsCommand(serial);
        ASSERT_EQ(ui::ModalSeam::log().size(), 1);
        EXPECT_EQ(ui::ModalSeam::log().first().text, kNotFound);
        EXPECT_EQ(ui::ModalSeam::log().first().style, 0);
        ui::ModalSeam::clearLog();
    }
    EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Normal);
}

TEST_F(Upgrade, NoFileForThePortTypeAsksNothing) {
    auto controllers = site(2);
    controllers[1].portOsType = 5;
    startSite(controllers);
    writeUpgradeFile(3, "a file for another port type");

    answer(ui::ButtonOk);
    UpgradePortOsCommand("20-00002");
    ASSERT_EQ(ui::ModalSeam::log().size(), 1);
    EXPECT_EQ(ui::ModalSeam::log().first().text, kNoFile);
    EXPECT_EQ(UpgradeFilePath(), slibFolder() + "QORreal/5.TcpIpPortOS");
    EXPECT_EQ(sim("20-00002").portOsRevision, "2.11");
}

TEST_F(Upgrade, AnInvalidFileIsNamedWithItsFullPath) {
    startSite(site(1));
    const QString path = writeUpgradeFile(3, QByteArray("not an upgrade file").repeated(10));
    ui::setMousePointer(ui::MousePointer::Hourglass);

    answer(ui::ButtonOk);
    UpgradePortOsCommand("20-00001");
    ASSERT_EQ(ui::ModalSeam::log().size(), 1);
    EXPECT_EQ(ui::ModalSeam::log().first().text,
              "The Upgrade file: " + path + " is not a valid TCP/IP Port OS upgrade file!");
    EXPECT_TRUE(QDir::isAbsolutePath(path));
    EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Hourglass);
    EXPECT_EQ(sim("20-00001").portOsRevision, "2.11");
}

TEST(UpgradeGuards, PointerAndUpgradeFlagComeBackWhenAnErrorLeavesTheScope) {
    state() = SharedState{};
    ui::setMousePointer(ui::MousePointer::Normal);
    try {
        const UpgradeInProgressScope inProgress;
        const PointerRestorer pointer;
        EXPECT_EQ(state().UpgradeInProgress, vbTrue);
        ui::setMousePointer(ui::MousePointer::Hourglass);
        throw std::runtime_error("the transfer failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(state().UpgradeInProgress, vbFalse);
    EXPECT_EQ(ui::mousePointer(), ui::MousePointer::Normal);
}

}  // namespace
