#pragma once
// The encryption settings dialog: whether the controller requires encrypted
// network communication, and the encryption password. It starts from the
// current controller's PasswordOk and the network password, and Close leaves
// the two choices in the settings record. Created anew for each opening and
// shown with exec().
#include <QDialog>
#include <memory>

class QKeyEvent;

namespace Ui {
class FormSecurity;
}

namespace zelmar::ui {
class LostFocusWatch;
}

namespace zelmar::dialogs {

class FormSecurity : public QDialog {
    Q_OBJECT

public:
    explicit FormSecurity(QWidget* parent = nullptr);
    ~FormSecurity() override;

protected:
    // No button answers Escape; the window's close control still closes.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Form_Load();
    void CtrlEncryptedPass_Change();
    void CtrlEncryptedPass_LostFocus();
    void CmdOk_Click();

    void showPasswordCharMessage(int textNumber);

    std::unique_ptr<Ui::FormSecurity> ui_;
    ui::LostFocusWatch* passwordFocusWatch_ = nullptr;  // owned by the password field
};

}  // namespace zelmar::dialogs
