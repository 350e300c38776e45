#pragma once
// Common ground of the main dialog tests: clean shared state and no service
// object, the modal seam strict (an unexpected message fails the test instead
// of hanging), English texts unless a test picks another language, and
// handler failures recorded instead of ending the run.
#include "comm/com_sub.h"
#include "comm/shared_state.h"
#include "dialogs/main/form_tcp_settings.h"
#include "platform/ui/handler_guard.h"
#include "tests/platform/ui/dialog_test_base.h"
#include "platform/ui/modal_seam.h"
#include "platform/ui/window_helpers.h"
#include "support/support.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>

// Readable failure output for Qt strings.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace zelmar::testing {

using dialogs::FormTCPSettings;
using ui::ModalKind;
using ui::ModalSeam;

// The text a label, button or frame shows.
inline QString captionOf(QWidget* w) {
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return b->text();
    if (auto* g = qobject_cast<QGroupBox*>(w))
        return g->title();
    return {};
}

class MainDialogTest : public DialogTestBase {
protected:
    void SetUp() override {
        comm::CloseService();
        DialogTestBase::SetUp();
    }

    void TearDown() override {
        DialogTestBase::TearDown();
        ui::setMousePointer(ui::MousePointer::Normal);
        comm::CloseService();
    }

    // A dialog that has not loaded: the stored layout, LoadingFlg False.
    static std::unique_ptr<FormTCPSettings> newDialog() { return std::make_unique<FormTCPSettings>(); }

    template <typename T>
    static T* control(const FormTCPSettings& dialog, const char* name) {
        return dialog.control<T>(QString::fromLatin1(name));
    }
    static QLineEdit* edit(const FormTCPSettings& d, const char* name) { return control<QLineEdit>(d, name); }
    static QLabel* label(const FormTCPSettings& d, const char* name) { return control<QLabel>(d, name); }
    static QCheckBox* check(const FormTCPSettings& d, const char* name) { return control<QCheckBox>(d, name); }
    static QPushButton* button(const FormTCPSettings& d, const char* name) { return control<QPushButton>(d, name); }
    static QRadioButton* useTcp(const FormTCPSettings& d) { return control<QRadioButton>(d, "rbUseTCP"); }

    // Shows the dialog as the active window.
    static void showActive(FormTCPSettings& dialog) {
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }

    // A dialog past its load (LoadingFlg False), shown as the active window.
    static std::unique_ptr<FormTCPSettings> loadedDialogShown() {
        auto d = newDialog();
        d->LoadingFlg = vbFalse;
        showActive(*d);
        return d;
    }

    // What the modal seam was asked, by kind.
    static QStringList shown(ModalKind kind) {
        QStringList texts;
        for (const ui::ModalRequest& r : ModalSeam::log())
            if (r.kind == kind)
                texts << r.text;
        return texts;
    }

    static QString text(int number) { return support::GetText(number); }
};

}  // namespace zelmar::testing
