// TCP/IP Port OS upgrade of one controller, named by its serial number.
#include <QDir>
#include <QScopeGuard>
#include <QStringList>

#include "comm/com_sub.h"
#include "comm/shared_state.h"
#include "platform/netservice/net_service.h"
#include "platform/netservice/upgrade_file.h"
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

void UpgradePortOsCommand(const QString& serialNo, const UpgradeProgress& progress) {
    std::int16_t index = FindControllerBySerialNo(serialNo, false);
    if (index == -1) {
        support::ShowErrorMessage(notFoundMessage());
        return;
    }

    net::NetService& service = Service();
    FindUpgradeFile(service.Item(index)->PortOsType());
    const QString path = upgradeFilePath();
    if (path.isEmpty() || support::FileExists(path) == 0) {
        support::ShowErrorMessage(QStringLiteral("Can not find a TcpIpPortOS upgrade file."));
        return;
    }

    // The pointer goes back however the run ends, errors included.
    const auto restorePointer = [remembered = qorg::userDialogs().busy()] { qorg::userDialogs().setBusy(remembered); };
    const auto pointerBack = qScopeGuard(restorePointer);
    net::UpgradeFile file;
    file.Load(path.toStdString());
    if (!file.IsValid()) {
        support::ShowErrorMessage(QStringLiteral("The Upgrade file: ") + path +
                                  QStringLiteral(" is not a valid TCP/IP Port OS upgrade file!"));
        return;
    }

    const QString model = support::GetModelName(QString::number(service.Item(index)->ModelCode()));
    const QString oldRevision = QString::fromStdString(service.Item(index)->PortOsRevision());
    const QString newRevision = QString::fromStdString(file.Revision());
    const QString question = lines({
        "Do you wish to upgrade the TCP/IP Port OS in this controller?",
        "",
        "Model: " + model,
        "Revision in the controller: " + oldRevision,
        "Revision to upgrade to: " + newRevision,
        "",
        "When the TCP/IP Port OS has been upgraded you will be able to communicate with the controller again.",
    });
    if (!support::AskYesNo(question))
        return;

    qorg::userDialogs().setBusy(true);
    if (!service.Item(index)->UpgradePortOs(file, progress)) {
        restorePointer();
        support::ShowErrorMessage(transferFailedMessage());
        return;
    }

    qorg::userDialogs().letEventsRun();
    // The search may renumber the entries: the controller is looked up again. Its entry
    // stays even when the search did not hear it; only an answer shows what it now runs.
    index = FindControllerBySerialNo(serialNo, true);
    if (index == -1 || !Service().Item(index)->AnsweredLastSearch()) {
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
