// TCP/IP Port OS upgrade of one controller, named by its serial number.
#include <QDir>
#include <QScopeGuard>
#include <QStringList>

#include "comm/com_sub.h"
#include "comm/shared_state.h"
#include "platform/netservice/net_service.h"
#include "platform/netservice/upgrade/upgrade_file.h"
#include "platform/qorglib/user_dialogs.h"
#include "support/support.h"

namespace zelmar::comm {

namespace {

const QString kLineBreak = QStringLiteral("\r\n");

QString& upgradeFilePath() {
    static QString path;
    return path;
}

QString lines(const QStringList& parts) { return parts.join(kLineBreak); }

QString notFoundMessage() {
    return lines({"Could not upgrade controller.", "This could happen because of the following reasons: ",
                  "- The selected controller could not be found on the network.", "- No controller was selected."});
}

QString transferFailedMessage() {
    return lines({"Could not upgrade controller.", "This could happen because of the following reasons: ",
                  "- The connection to the controller was lost.", "- Incorrect format in the upgrade file."});
}

// The alias path ends in the system's separator; the sub-folder follows with the same one.
QString separatorOf(const QString& folder) {
    if (folder.endsWith(QLatin1Char('\\')))
        return QStringLiteral("\\");
    if (folder.endsWith(QLatin1Char('/')))
        return QStringLiteral("/");
    return QString(QDir::separator());
}

}  // namespace

void FindUpgradeFile(std::int16_t portOsType) {
    std::int32_t out = 0;
    const QString folder = support::ExpandPathAlias(QStringLiteral("SLIB:"), 0, out);
    upgradeFilePath() = folder + QStringLiteral("QORreal") + separatorOf(folder) + QString::number(portOsType) +
                        QStringLiteral(".TcpIpPortOS");
}

QString UpgradeFilePath() { return upgradeFilePath(); }

namespace {

// The upgrade file named for the controller's port OS type; empty after telling that there is none.
QString upgradeFileOf(std::int16_t index) {
    FindUpgradeFile(Service().Item(index)->PortOsType());
    const QString path = upgradeFilePath();
    if (path.isEmpty() || support::FileExists(path) == 0) {
        support::ShowErrorMessage(QStringLiteral("Can not find a TcpIpPortOS upgrade file."));
        return QString();
    }
    return path;
}

bool loadValidUpgradeFile(const QString& path, net::UpgradeFile& file) {
    file.Load(path.toStdString());
    if (!file.IsValid()) {
        support::ShowErrorMessage(QStringLiteral("The Upgrade file: ") + path +
                                  QStringLiteral(" is not a valid TCP/IP Port OS upgrade file!"));
        return false;
    }
    return true;
}

QString upgradeQuestion(const net::ControllerEntry& controller, const net::UpgradeFile& file) {
    const QString model = support::GetModelName(QString::number(controller.ModelCode()));
    const QString oldRevision = QString::fromStdString(controller.PortOsRevision());
    const QString newRevision = QString::fromStdString(file.Revision());
    return lines({
        "Do you wish to upgrade the TCP/IP Port OS in this controller?",
        "",
        "Model: " + model,
        "Revision in the controller: " + oldRevision,
        "Revision to upgrade to: " + newRevision,
        "",
        "When the TCP/IP Port OS has been upgraded you will be able to communicate with the controller again.",
    });
}

// Sends the file and searches again, telling `progress` (never empty) how far
// it got; the controller's new index, or -1 when the transfer failed.
std::int16_t transferAndFindAgain(const QString& serialNo, std::int16_t index, const net::UpgradeFile& file,
                                  const UpgradeProgress& progress) {
    if (!Service().Item(index)->UpgradePortOs(file, [&progress](int percent) { progress(UpgradeStage::Sending, percent); }))
        return -1;
    progress(UpgradeStage::WaitingForRestart, 100);
    qorg::userDialogs().letEventsRun();
    // The search may renumber the entries: the controller is looked up again. Its entry
    // stays even when the search did not hear it; only an answer shows what it now runs.
    index = FindControllerBySerialNo(serialNo, true);
    if (index == -1 || !Service().Item(index)->AnsweredLastSearch())
        return -1;
    return index;
}

}  // namespace

void UpgradePortOsCommand(const QString& serialNo, const UpgradeProgress& progress) {
    std::int16_t index = FindControllerBySerialNo(serialNo, false);
    if (index == -1) {
        support::ShowErrorMessage(notFoundMessage());
        return;
    }
    const QString path = upgradeFileOf(index);
    if (path.isEmpty())
        return;

    // The pointer goes back however the run ends, errors included.
    const auto restorePointer = [remembered = qorg::userDialogs().busy()] { qorg::userDialogs().setBusy(remembered); };
    const auto pointerBack = qScopeGuard(restorePointer);
    net::UpgradeFile file;
    if (!loadValidUpgradeFile(path, file))
        return;
    if (!support::AskYesNo(upgradeQuestion(*Service().Item(index), file)))
        return;

    qorg::userDialogs().setBusy(true);
    int sent = 0;
    index = transferAndFindAgain(serialNo, index, file, [&sent, &progress](UpgradeStage stage, int percent) {
        sent = percent;
        if (progress)
            progress(stage, percent);
    });
    if (progress)
        progress(UpgradeStage::Ended, sent);
    if (index == -1) {
        restorePointer();
        support::ShowErrorMessage(transferFailedMessage());
        return;
    }

    qorg::userDialogs().letEventsRun();
    restorePointer();
    const QString revision = QString::fromStdString(Service().Item(index)->PortOsRevision());
    support::ShowInfoMessage(QStringLiteral("The controller has been upgraded successfully!") + kLineBreak + kLineBreak +
                             QStringLiteral("New revision in the controller: ") + revision);
}

void UpgradeListedController(const QString& serialNo, const UpgradeProgress& progress) {
    state().UpgradeInProgress = vbTrue;
    const auto notInProgress = qScopeGuard([] { state().UpgradeInProgress = vbFalse; });
    SelectController(QString());  // not marked while it is upgraded
    UpgradePortOsCommand(serialNo, progress);
    SelectController(serialNo);
}

}  // namespace zelmar::comm
