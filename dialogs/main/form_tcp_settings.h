#pragma once
// The main settings dialog: the tool's start-up window. It shows the controller
// being worked on and its network settings, lets the technician choose a
// controller ("Search...", "Connected Controller"), edit the settings and write
// them ("Load TCP/IP Settings"), and opens the encryption settings ("Security...").
//
// Changing a control from code runs its change or click handler exactly as a
// user action does (check boxes on stateChanged, rbUseTCP on toggled(true),
// text fields on textChanged).
#include <QDialog>
#include <QString>
#include <cstdint>
#include <memory>

#include "platform/ui/handler_guard.h"
#include "support/vbool.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace Ui {
class FormTCPSettings;
}

namespace zelmar::testing {
struct MainDialogAccess;
}

namespace zelmar::dialogs {

class FormTCPSettings : public QDialog {
    Q_OBJECT

public:
    explicit FormTCPSettings(QWidget* parent = nullptr);
    ~FormTCPSettings() override;

    // Instance flags, all False when the dialog object is created.
    VBool DlgOkFlg = vbFalse;    // result of ShowDlg; Cancel clears it
    VBool UseTCPFlg = vbFalse;   // rbUseTCP is selected
    VBool FixedIPFlg = vbFalse;  // rbIP is checked (fixed IP settings)
    VBool LoadingFlg = vbFalse;  // the dialog is still loading: SetUIState does nothing

    // Public operations.
    VBool ShowDlg(QWidget* Parent);
    void GetCurrentControllerInfo(std::int16_t& Index);
    // The current-controller record's PasswordOk := the entry's. The password
    // prompt's loop (comm::OpenCurrentController) takes it after every lookup.
    void checkPassword(std::int16_t& Index);
    void SetUIState();
    void SetParams();
    void SetLanguage();
    void CmdSetup();

    // Run once by whoever creates the dialog as the start-up window, before it is shown.
    void Form_Load();

    // A control of the stored layout by its name; throws std::out_of_range when there is none.
    template <typename T>
    T* control(const QString& name) const {
        T* found = findChild<T*>(name);
        if (!found)
            throwNoControl(name);
        return found;
    }

    // Control arrays: element `index` of the array (LabelDNSInfo_0 ... in the layout).
    QLabel* LabelDNSInfo(int index) const;
    QLineEdit* CtrlWebUserPass(int index) const;
    QLabel* LabelLoginPasswords(int index) const;
    QLabel* LabelUserLogin(int index) const;
    QLabel* LabelMailServer(int index) const;
    QLabel* LabelMailSenderAddress(int index) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend struct zelmar::testing::MainDialogAccess;  // tests reach the private procedures

    // The values a controller shows in the dialog's fields, from either record.
    struct ShownController {
        QString Name, SerialNo, EthernetAddress, Description;
        QString IpAddress, SubnetMask, Gateway, DnsServer, MainComputerAddress;
        QString DnsName;
        VBool UseDhcp = vbFalse;

        // From the settings record or the current-controller record (same field names).
        template <typename Record>
        static ShownController from(const Record& r) {
            return {r.Name,    r.SerialNo,   r.EthernetAddress, r.Description, r.IpAddress, r.SubnetMask,
                    r.Gateway, r.DnsServer, r.MainComputerAddress, r.DnsName,  r.UseDhcp};
        }
    };

    // Event handlers and private procedures.
    void btnSearchTCP_Click();
    void ShowCurrentController(VBool Show);
    void CmdCancel_Click();
    void CmdOk_Click();
    void rbDHCP_Click();
    void rbIP_Click();
    void rbUseTCP_Click();
    void btnSetup_Click();
    void CollectSettings();
    void CtrlWebUserPass_Change(int Index);
    void CtrlWebUserPass_LostFocus(int Index);
    void Security_Click();
    void tbDomain_Change();
    void tbHostName_Change();

    void FillControllerFields(const ShownController& shown);
    void ClearControllerFields();
    void ShowConnectedController();
    void KeepControllerEncryption(std::int16_t index);
    void UpdateFullDnsName();

    void connectHandlers();
    QLineEdit* arrayEdit(const char* base, int index) const;
    QLabel* arrayLabel(const char* base, int index) const;
    [[noreturn]] static void throwNoControl(const QString& name);

    std::unique_ptr<Ui::FormTCPSettings> ui_;
    // Handlers raised by the dialog's own code run inside the one that raised them.
    ui::HandlerNesting handlers_;
};

}  // namespace zelmar::dialogs
