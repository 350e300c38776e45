#pragma once
// The controller search dialog: lists every controller the network service
// finds, adds controllers by typed address, hands the chosen controller to the
// main dialog through the current-controller record and SearchOkFlg, and
// starts the port OS upgrade of the selected controller.
#include <QDialog>
#include <QString>
#include <memory>

#include "comm/com_sub.h"
#include "support/vbool.h"

namespace Ui {
class FormSearchTCP;
}

namespace zelmar::dialogs {

class ActivationTracker;
class ControllerListModel;

class FormSearchTCP : public QDialog {
    Q_OBJECT
public:
    explicit FormSearchTCP(QWidget* parent = nullptr);
    ~FormSearchTCP() override;

    // True when the dialog was closed with a controller taken. Each opening
    // creates a new dialog, so it starts False every time.
    VBool SearchOkFlg = vbFalse;

    void SetLanguage();
    void CmdSearchRefreshTcpIp();
    void CmdSearchFindMoreTcpIp();
    void CmdSearchOk();
    void CmdSearchClose(VBool flag);
    void BeginSearch(bool clearList);
    void EndSearch();
    void AddTCPItems();

    // True while a search, a list fill or an upgrade runs; other commands
    // started meanwhile are ignored.
    bool isBusy() const { return busy_; }

signals:
    // A refresh or find-more command has ended (also after a failure).
    void searchFinished();

protected:
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

public slots:
    // Escape and the window's close control both end up here: Cancel.
    void reject() override;

private:
    // How a step that let window events run may go on.
    enum class Continue { Yes, Closing, Gone };

    void Form_Activate();
    void Form_Resize();
    void Form_Unload();
    void ButtonRefresh_Click();
    void ButtonFindMore_Click();
    void ButtonOk_Click();
    void ButtonCancel_Click();
    void btnUpgrade_Click();
    void CtrlList_ItemClick();
    void CtrlList_DblClick();
    bool CtrlList_KeyPress(int keyAscii);

    Continue letEventsRun();
    int selectedRow() const;  // -1: none
    QString selectedSerialNo() const;
    void showUpgradeProgress(const QString& serialNo, comm::UpgradeStage stage, int percent);
    void searchFailed(const QString& what, const QString& reason);
    // Runs a search command's steps with the busy pointer, one command at a
    // time, and the recovery from a failing service.
    template <typename Steps>
    void runSearchCommand(QString what, Steps&& steps);

    std::unique_ptr<Ui::FormSearchTCP> ui_;
    ActivationTracker* activation_ = nullptr;
    ControllerListModel* rows_ = nullptr;
    bool busy_ = false;
    bool upgrading_ = false;
    bool closing_ = false;
    bool unloaded_ = false;
};

}  // namespace zelmar::dialogs
