// The dialog faces: the Windows dialog face where it is installed, else the
// layouts' own faces, else the condensed face; the stored sizes, bold and
// small roles kept.
#include <QDialog>
#include <QFontInfo>
#include <QLabel>
#include <gtest/gtest.h>

#include "dialog_face.h"
#include "platform/ui/dialog_fonts.h"

namespace zelmar::ui {
namespace {

TEST(DialogFonts, EveryDialogTakesTheSameFaceAtItsStoredSizes) {
    QDialog dialog;
    auto* heading = new QLabel(QStringLiteral("Heading"), &dialog);
    QFont bold;
    bold.setBold(true);
    heading->setFont(bold);  // as a stored layout keeps it: only the weight
    auto* explanation = new QLabel(QStringLiteral("Explanation"), &dialog);
    explanation->setProperty("fontRole", QStringLiteral("small"));
    auto* plain = new QLabel(QStringLiteral("Plain"), &dialog);

    applyDialogFonts(&dialog, 7.5, 6.5);

    EXPECT_EQ(plain->font().pointSizeF(), 7.5);
    EXPECT_EQ(heading->font().pointSizeF(), 7.5);
    EXPECT_TRUE(heading->font().bold());
    EXPECT_EQ(explanation->font().pointSizeF(), 6.5);
    EXPECT_FALSE(explanation->font().bold());

    const QString expected = testing::installedDialogFace();
    if (expected.isEmpty())
        GTEST_SKIP() << "the dialogs take no face here that the layouts were made for";
    for (const QLabel* label : {plain, heading})
        EXPECT_EQ(QFontInfo(label->font()).family(), expected) << label->text().toStdString();
    EXPECT_EQ(QFontInfo(explanation->font()).family(), testing::installedSmallTextFace());
}

}  // namespace
}  // namespace zelmar::ui
