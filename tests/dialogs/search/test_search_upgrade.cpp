// The Upgrade button: the controller of the selected row is unmarked while
// the upgrade command runs and marked again afterwards; UpgradeInProgress is
// True only meanwhile, however the command ends.
#include "search_fixture.h"

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>

#include "platform/netservice/upgrade/upgrade_file.h"

#include "tests/platform/ui/modal_answerer.h"

namespace zelmar::testing {
namespace {

class SearchUpgradeTest : public SearchDialogTest {
protected:
    void TearDown() override {
        if (slibSet_)
            qunsetenv("ZELMAR_SLIB_DIR");
        SearchDialogTest::TearDown();
    }
    // A valid upgrade file for port OS type 3 in a folder of its own, which the
    // alias "SLIB:" then stands for.
    void provideUpgradeFile(std::size_t imageBytes = 4096) {
        ASSERT_TRUE(slib_.isValid());
        ASSERT_TRUE(QDir(slib_.path()).mkpath(QStringLiteral("QORreal")));
        const std::vector<std::uint8_t> image(imageBytes, 0x5A);
        const auto bytes = net::UpgradeFile::Build(3, "2.20", image);
        QFile file(slib_.filePath(QStringLiteral("QORreal/3.TcpIpPortOS")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        file.close();
        qputenv("ZELMAR_SLIB_DIR", QFile::encodeName(slib_.path()));
        slibSet_ = true;
    }
    // An SLIB folder without upgrade files.
    void provideNoUpgradeFile() {
        ASSERT_TRUE(slib_.isValid());
        qputenv("ZELMAR_SLIB_DIR", QFile::encodeName(slib_.path()));
        slibSet_ = true;
    }
    QTemporaryDir slib_;
    bool slibSet_ = false;
};

TEST_F(SearchUpgradeTest, TheControllerIsUnmarkedWhileTheCommandRunsAndMarkedAgain) {
    startFleet(standardSite());
    provideNoUpgradeFile();
    openDialog();
    clickRow(QStringLiteral("10-00001"));
    ASSERT_TRUE(marked("10-00001"));
    ASSERT_EQ(simState("10-00001").markCount, 1);
    const QStringList rowsBefore = columnTexts(0) + columnTexts(1) + columnTexts(2);

    // The upgrade command's own message (here: no upgrade file for this port
    // OS type) is answered from inside, where the state during the command shows.
    ModalSeam::setStrict(false);
    VBool inProgressDuring = vbFalse;
    bool markedDuring = true;
    QString shown;
    answerNextModal([&, this](QWidget* modal) {
        inProgressDuring = comm::state().UpgradeInProgress;
        markedDuring = marked("10-00001");
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        shown = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    QSignalSpy finished(dialog_.get(), &FormSearchTCP::searchFinished);
    button("btnUpgrade")->click();

    EXPECT_EQ(inProgressDuring, vbTrue);
    EXPECT_FALSE(markedDuring) << "not marked while it is upgraded";
    EXPECT_EQ(shown, QStringLiteral("Can not find a TcpIpPortOS upgrade file."));
    EXPECT_EQ(comm::state().UpgradeInProgress, vbFalse);
    EXPECT_TRUE(marked("10-00001")) << "marked again afterwards";
    EXPECT_EQ(simState("10-00001").unmarkCount, 1);
    EXPECT_EQ(simState("10-00001").markCount, 2);

    // The dialog stays as it was: rows, buttons, and no new search when the
    // message closes over it.
    dialog_->activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([this] { return dialog_->isActiveWindow(); }, 5000));
    settle();
    EXPECT_EQ(finished.count(), 0);
    EXPECT_EQ(columnTexts(0) + columnTexts(1) + columnTexts(2), rowsBefore);
    EXPECT_TRUE(button("btnUpgrade")->isEnabled());
    EXPECT_TRUE(button("ButtonOk")->isEnabled());
    EXPECT_TRUE(dialog_->isVisible());
    EXPECT_FALSE(dialog_->isBusy());
}

TEST_F(SearchUpgradeTest, AfterAnUpgradeTheRowsStayUntilTheNextRefresh) {
    auto site = standardSite();
    for (auto& c : site)
        c.restartMs = 50;  // a short restart after switching to the new port OS
    startFleet(site);
    provideUpgradeFile();
    openDialog();
    clickRow(QStringLiteral("10-00002"));
    const auto rows = [this] { return columnTexts(0) + columnTexts(1) + columnTexts(2) + columnTexts(6); };
    const QStringList rowsBefore = rows();
    QSignalSpy finished(dialog_.get(), &FormSearchTCP::searchFinished);
    // Its description changes meanwhile (another tool writes it): the search
    // after the transfer brings the new text into the service's entries.
    {
        net::NetService other(config_);
        other.setSearchSerialNo("10-00002");
        other.AddSerialNoSearch();
        other.Search();
        ASSERT_EQ(other.ControllerCount(), 1);
        other.Item(0)->setDescription("Changed meanwhile");
        other.Item(0)->setApply(true);
        ASSERT_TRUE(other.Item(0)->SetupOk());
    }

    ModalSeam::pushButton(ui::ButtonYes);  // the question
    ModalSeam::pushButton(ui::ButtonOk);   // the result
    button("btnUpgrade")->click();

    ASSERT_EQ(ModalSeam::log().size(), 2) << modalLog().join('\n').toStdString();
    EXPECT_EQ(ModalSeam::log().at(1).style, 2) << modalLog().join('\n').toStdString();
    EXPECT_EQ(simState("10-00002").portOsRevision, "2.20");
    EXPECT_EQ(simState("10-00002").upgradesApplied, 1);
    EXPECT_TRUE(marked("10-00002"));
    EXPECT_EQ(comm::state().UpgradeInProgress, vbFalse);
    EXPECT_EQ(finished.count(), 0) << "no refresh of its own";
    const std::int16_t index = comm::FindControllerBySerialNo(QStringLiteral("10-00002"), false);
    ASSERT_GE(index, 0);
    EXPECT_EQ(comm::Service().Item(index)->Description(), "Changed meanwhile");
    EXPECT_EQ(rows(), rowsBefore);

    button("ButtonRefresh")->click();
    EXPECT_EQ(columnTexts(1), entrySerials());
    EXPECT_EQ(rowCount(), 3);
    EXPECT_EQ(cell(rowOf(QStringLiteral("10-00002")), 6), QStringLiteral("Changed meanwhile"));
}

// Records what the status line showed each time it was painted, with the pointer then.
class PaintLog : public QObject {
public:
    explicit PaintLog(QLabel* label) : label_(label) { label->installEventFilter(this); }
    QStringList texts;
    bool pointerBusy = true;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == label_ && event->type() == QEvent::Paint && !label_->text().isEmpty()) {
            texts << label_->text();
            pointerBusy &= ui::mousePointer() == ui::MousePointer::Hourglass;
        }
        return false;
    }

private:
    QLabel* label_;
};

// The transfer in order, then the wait for the restart; the line is empty
// again once the upgrade has ended, already while its closing message shows.
TEST_F(SearchUpgradeTest, TheStatusLineShowsTheTransferThenTheRestartAndTheWindowRepaintsMeanwhile) {
    auto site = standardSite();
    site[0].restartMs = 300;
    startFleet(site);
    provideUpgradeFile(200000);
    openDialog();
    clickRow(QStringLiteral("10-00001"));
    PaintLog painted(child<QLabel>("CtrlStatusLine"));
    ModalSeam::pushButton(ui::ButtonYes);
    ModalSeam::setStrict(false);
    QString duringMessage = QStringLiteral("(no closing message)");
    answerNextModal([&, this](QWidget* modal) {
        duringMessage = statusLine();
        qobject_cast<QMessageBox*>(modal)->button(QMessageBox::Ok)->click();
    });
    button("btnUpgrade")->click();

    ASSERT_EQ(simState("10-00001").upgradesApplied, 1) << modalLog().join('\n').toStdString();
    ASSERT_GE(painted.texts.size(), 3) << "the window repainted during the transfer and the restart";
    const QString waiting = QStringLiteral("Waiting for 10-00001 to restart...");
    EXPECT_EQ(painted.texts.last(), waiting);
    const QStringList transfer = painted.texts.mid(0, painted.texts.indexOf(waiting));
    ASSERT_FALSE(transfer.isEmpty());
    int last = -1;
    for (const QString& text : transfer) {
        ASSERT_TRUE(text.startsWith(QStringLiteral("Upgrading 10-00001: ")) && text.endsWith(QStringLiteral(" %")))
            << text.toStdString();
        const int percent = text.section(QLatin1Char(' '), 2, 2).toInt();
        EXPECT_GE(percent, last) << text.toStdString();
        last = percent;
    }
    EXPECT_EQ(last, 100);
    EXPECT_TRUE(painted.pointerBusy);
    EXPECT_EQ(duringMessage, QString()) << "empty while the success message shows";
    EXPECT_EQ(statusLine(), QString());
}

TEST_F(SearchUpgradeTest, UpgradeInProgressIsFalseAgainWhenTheCommandFails) {
    startFleet(standardSite());
    provideNoUpgradeFile();
    openDialog();
    clickRow(QStringLiteral("10-00002"));
    // Strict seam and no answer queued: the command's message throws, which
    // is a failure the upgrade command does not handle itself.
    button("btnUpgrade")->click();

    ASSERT_EQ(fatal_.size(), 1);
    EXPECT_TRUE(fatal_.first().startsWith(QStringLiteral("btnUpgrade_Click failed"))) << fatal_.first().toStdString();
    EXPECT_EQ(comm::state().UpgradeInProgress, vbFalse);
    EXPECT_FALSE(dialog_->isBusy());
    fatal_.clear();
}

}  // namespace
}  // namespace zelmar::testing
