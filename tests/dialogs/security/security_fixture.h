#pragma once
// Common ground of the security dialog tests: clean shared state, the modal
// seam strict (an unexpected message fails the test instead of hanging), the
// English texts, and handler failures recorded instead of ending the run.
#include "comm/shared_state.h"
#include "dialogs/security/form_security.h"
#include "platform/ui/handler_guard.h"
#include "tests/platform/ui/dialog_test_base.h"
#include "platform/ui/modal_seam.h"
#include "support/support.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <gtest/gtest.h>

#include <ostream>

// Readable strings in test failure output.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace zelmar::testing {

using ui::ModalKind;
using ui::ModalSeam;

class SecurityDialogTest : public DialogTestBase {
protected:

    template <typename T>
    static T* control(QWidget& dialog, const char* name) {
        T* widget = dialog.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    static QLineEdit* passwordBox(QWidget& d) { return control<QLineEdit>(d, "CtrlEncryptedPass"); }
    static QCheckBox* requireBox(QWidget& d) { return control<QCheckBox>(d, "CtrlEncryptedCom"); }
    static QPushButton* closeButton(QWidget& d) { return control<QPushButton>(d, "CmdOk"); }

    // Shows the dialog as the active window with the focus in the password box.
    static void showActive(dialogs::FormSecurity& dialog) {
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        passwordBox(dialog)->setFocus(Qt::OtherFocusReason);
        QApplication::processEvents();
        ASSERT_EQ(QApplication::focusWidget(), passwordBox(dialog));
    }

    // Texts of the messages shown so far.
    static QStringList shownMessages() {
        QStringList texts;
        for (const ui::ModalRequest& r : ModalSeam::log()) {
            EXPECT_EQ(r.kind, ModalKind::Message);
            EXPECT_EQ(r.style, 0) << "password messages are error messages";
            texts << r.text;
        }
        return texts;
    }

    static QString text(int number) { return support::GetText(number); }
};

}  // namespace zelmar::testing
