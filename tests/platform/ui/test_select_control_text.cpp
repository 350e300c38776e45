#include "platform/ui/window_helpers.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>

using namespace zelmar::ui;

namespace {
struct Window {
    QWidget top;
    QLineEdit* line = new QLineEdit(QStringLiteral("Controller 7"));
    QTextEdit* text = new QTextEdit(QStringLiteral("Some description"));
    QListWidget* list = new QListWidget;
    QLabel* label = new QLabel(QStringLiteral("Name:"));
    Window() {
        auto* layout = new QVBoxLayout(&top);
        for (QWidget* w : {static_cast<QWidget*>(line), static_cast<QWidget*>(text), static_cast<QWidget*>(list),
                           static_cast<QWidget*>(label)})
            layout->addWidget(w);
        top.show();
        top.activateWindow();
        QApplication::processEvents();
    }
};
}  // namespace

TEST(SelectControlText, FocusesAndSelectsAllTextOfALineEdit) {
    Window w;
    w.line->deselect();
    SelectControlText(w.line);
    QApplication::processEvents();
    EXPECT_EQ(w.line->selectedText(), QStringLiteral("Controller 7"));
    EXPECT_EQ(w.top.focusWidget(), w.line);
}

TEST(SelectControlText, SelectsAllOfATextEdit) {
    Window w;
    SelectControlText(w.text);
    QApplication::processEvents();
    EXPECT_EQ(w.text->textCursor().selectedText(), QStringLiteral("Some description"));
    EXPECT_EQ(w.top.focusWidget(), w.text);
}

TEST(SelectControlText, ControlWithoutTextOnlyGetsTheFocusAndNullIsHarmless) {
    Window w;
    w.list->addItem(QStringLiteral("row"));
    SelectControlText(w.list);
    QApplication::processEvents();
    EXPECT_EQ(w.top.focusWidget(), w.list);
    EXPECT_NO_THROW(SelectControlText(w.label));  // takes no focus: nothing happens, no error
    EXPECT_NO_THROW(SelectControlText(nullptr));
}
