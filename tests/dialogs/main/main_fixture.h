#pragma once
// Common ground of the main dialog tests: clean shared state and no service
// object, the modal seam strict (an unexpected message fails the test instead
// of hanging), English texts unless a test picks another language, and
// handler failures recorded instead of ending the run.
#include "comm/com_sub.h"
#include "comm/shared_state.h"
#include "dialogs/main/form_tcp_settings.h"
#include "platform/ui/handler_guard.h"
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

class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        hadLang_ = qEnvironmentVariableIsSet("ZELMAR_LANG");
        savedLang_ = qgetenv("ZELMAR_LANG");
        qputenv("ZELMAR_LANG", "en");
        comm::CloseService();
        comm::state() = comm::SharedState{};
        ModalSeam::clearAnswers();
        ModalSeam::clearLog();
        ModalSeam::setStrict(true);
        ui::setFatalErrorAction([this](const QString& message) { fatalErrors_ << message; });
    }

    void TearDown() override {
        EXPECT_TRUE(fatalErrors_.isEmpty()) << fatalErrors_.join(QStringLiteral("\n")).toStdString();
        EXPECT_EQ(ModalSeam::pendingAnswers(), 0) << "an expected modal window was not shown";
        ModalSeam::setStrict(false);
        ModalSeam::clearAnswers();
        ModalSeam::clearLog();
        ui::setFatalErrorAction({});
        ui::setMousePointer(ui::MousePointer::Normal);
        comm::CloseService();
        if (hadLang_)
            qputenv("ZELMAR_LANG", savedLang_);
        else
            qunsetenv("ZELMAR_LANG");
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

    // What the modal seam was asked, by kind.
    static QStringList shown(ModalKind kind) {
        QStringList texts;
        for (const ui::ModalRequest& r : ModalSeam::log())
            if (r.kind == kind)
                texts << r.text;
        return texts;
    }

    static QString text(int number) { return support::GetText(number); }

    QStringList fatalErrors_;

private:
    QByteArray savedLang_;
    bool hadLang_ = false;
};

}  // namespace zelmar::testing
