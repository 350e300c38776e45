// Qt's own texts in the tool's language: the standard buttons and the file
// dialog speak Swedish once the translations for "sv" are loaded.
#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPushButton>

#include "platform/ui/qt_translations.h"

TEST(QtTranslations, StandardButtonsAndTheFileDialogSpeakTheToolsLanguage) {
    zelmar::ui::loadQtTranslations(QStringLiteral("sv"));
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Yes |
                             QDialogButtonBox::No | QDialogButtonBox::Save);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), QString("Avbryt"));
    EXPECT_EQ(buttons.button(QDialogButtonBox::Yes)->text(), QString("&Ja"));
    EXPECT_EQ(buttons.button(QDialogButtonBox::No)->text(), QString("&Nej"));
    EXPECT_EQ(buttons.button(QDialogButtonBox::Save)->text(), QString("Spara"));

    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    QStringList captions;
    for (const QPushButton* b : dialog.findChildren<QPushButton*>())
        captions << b->text();
    EXPECT_TRUE(captions.contains("&Öppna")) << captions.join(", ").toStdString();
    EXPECT_TRUE(captions.contains("Avbryt")) << captions.join(", ").toStdString();
    EXPECT_FALSE(captions.contains("Cancel")) << captions.join(", ").toStdString();
}
