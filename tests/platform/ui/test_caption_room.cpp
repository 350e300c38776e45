// Labels whose caption is wider than the stored layout made them grow toward
// the side their alignment leaves free, up to a neighbour on their line or
// their parent's edge, and never cut the caption where there is room.
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <gtest/gtest.h>

#include "platform/ui/caption_room.h"

namespace zelmar::ui {
namespace {

// A 400-pixel-wide group with one line: [picture 10..41] [label] [field 250..389].
class CaptionRoom : public ::testing::Test {
protected:
    CaptionRoom() {
        dialog.resize(420, 200);
        group = new QGroupBox(&dialog);
        group->setGeometry(10, 10, 400, 150);
        picture = new QLabel(group);
        picture->setGeometry(10, 20, 32, 32);
        field = new QLineEdit(group);
        field->setGeometry(250, 30, 140, 20);
    }

    // A label from x=150 to x=239 (90 pixels) on the picture's and the field's line.
    QLabel* label(const QString& caption, Qt::Alignment alignment) {
        auto* l = new QLabel(caption, group);
        l->setAlignment(alignment | Qt::AlignTop);
        l->setGeometry(150, 32, 90, 15);
        return l;
    }
    static int needed(const QLabel* l) { return l->sizeHint().width(); }
    // A caption of about `pixels` pixels in the label's font.
    static QString captionOf(int pixels) {
        const QFontMetrics fm(QFont{});
        QString text;
        while (fm.horizontalAdvance(text + QLatin1Char('m')) <= pixels)
            text += QLatin1Char('m');
        return text;
    }

    QWidget dialog;
    QGroupBox* group;
    QLabel* picture;
    QLineEdit* field;
};

TEST_F(CaptionRoom, ARightAlignedLabelGrowsToTheLeftAndKeepsItsRightEdge) {
    QLabel* l = label(captionOf(120), Qt::AlignRight);
    ASSERT_GT(needed(l), 90);
    growLabelsToTheirCaptions(&dialog);
    EXPECT_EQ(l->geometry().right(), 239);
    EXPECT_EQ(l->width(), needed(l));
    EXPECT_EQ(l->y(), 32);
    EXPECT_EQ(l->height(), 15);
}

TEST_F(CaptionRoom, ALeftAlignedLabelGrowsToTheRightUpToTheNextControl) {
    QLabel* l = label(captionOf(200), Qt::AlignLeft);
    growLabelsToTheirCaptions(&dialog);
    EXPECT_EQ(l->x(), 150);
    EXPECT_EQ(l->geometry().right(), 250 - 1 - 3) << "stops short of the field";
}

TEST_F(CaptionRoom, ARightAlignedLabelStopsShortOfThePictureOnItsLine) {
    QLabel* l = label(captionOf(200), Qt::AlignRight);
    growLabelsToTheirCaptions(&dialog);
    EXPECT_EQ(l->x(), 42 + 3);
    EXPECT_EQ(l->geometry().right(), 239);
}

TEST_F(CaptionRoom, ACentredLabelGrowsBothWaysAndTakesWhatOneSideLacksFromTheOther) {
    field->move(300, 30);
    QLabel* l = label(captionOf(110), Qt::AlignHCenter);
    const int missing = needed(l) - 90;
    ASSERT_GT(missing, 1);
    growLabelsToTheirCaptions(&dialog);
    EXPECT_EQ(150 - l->x(), (missing + 1) / 2);
    EXPECT_EQ(l->width(), needed(l));

    // One pixel of room on the right: the left side takes the rest.
    field->move(244, 30);
    QLabel* crowded = label(captionOf(110), Qt::AlignHCenter);
    l->hide();
    growLabelsToTheirCaptions(&dialog);
    EXPECT_EQ(crowded->geometry().right(), 240);
    EXPECT_EQ(crowded->width(), needed(crowded));
}

TEST_F(CaptionRoom, AtTheParentsEdgeTheLabelStopsAndStaysAsWideAsTheRoom) {
    field->hide();  // a hidden control leaves its room free
    QLabel* l = label(captionOf(400), Qt::AlignLeft);
    growLabelsToTheirCaptions(&dialog);
    EXPECT_EQ(l->geometry().right(), 400 - 1 - 3);
}

TEST_F(CaptionRoom, LabelsThatFitWrapOrAreHiddenStayAsTheyAre) {
    QLabel* fits = label(QStringLiteral("Name:"), Qt::AlignRight);
    QLabel* wraps = label(captionOf(300), Qt::AlignLeft);
    wraps->setWordWrap(true);
    wraps->move(150, 100);
    QLabel* hidden = label(captionOf(300), Qt::AlignLeft);
    hidden->move(150, 120);
    hidden->hide();
    growLabelsToTheirCaptions(&dialog);
    for (const QLabel* l : {fits, wraps, hidden})
        EXPECT_EQ(l->geometry().size(), QSize(90, 15)) << l->text().toStdString();
}

TEST_F(CaptionRoom, APanelBehindTheLabelAndControlsOnOtherLinesLeaveItRoom) {
    auto* panel = new QLabel(group);  // lies behind the whole line
    panel->setGeometry(0, 0, 400, 150);
    panel->lower();
    auto* above = new QLineEdit(group);  // ends one pixel above the label
    above->setGeometry(0, 10, 400, 22);
    field->hide();
    picture->hide();
    QLabel* l = label(captionOf(200), Qt::AlignRight);
    growLabelsToTheirCaptions(&dialog);
    EXPECT_EQ(l->width(), needed(l));
}

}  // namespace
}  // namespace zelmar::ui
