// The stored layout and the texts the dialog loads, without any search.
#include "search_fixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "tests/platform/ui/env_guard.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <algorithm>

namespace zelmar::testing {
namespace {

using support::GetText;

class SearchLayoutTest : public SearchDialogTest {
protected:
    void create() { dialog_ = std::make_unique<FormSearchTCP>(); }
    QString header(int column) const { return list()->model()->headerData(column, Qt::Horizontal).toString(); }
};

TEST_F(SearchLayoutTest, LoadPutsCaptionsAndTheSevenColumnsInPlace) {
    create();
    EXPECT_EQ(dialog_->windowTitle(), GetText(4534));
    EXPECT_EQ(dialog_->windowTitle(), QStringLiteral("Search and Select"));
    EXPECT_EQ(button("ButtonOk")->text(), GetText(4530));
    EXPECT_EQ(button("ButtonCancel")->text(), GetText(4531));
    EXPECT_EQ(button("ButtonRefresh")->text(), GetText(4535));
    EXPECT_EQ(button("ButtonFindMore")->text(), GetText(4536));
    EXPECT_EQ(button("btnUpgrade")->text(), GetText(4541));

    // Name, serial number, IP address, Ethernet address, DHCP, DNS name, description.
    const int numbers[] = {4543, 4545, 4546, 4547, 4548, 4550, 4549};
    const int widthsTwips[] = {1600, 1050, 1200, 1300, 400, 1300, 2500};
    ASSERT_EQ(list()->model()->columnCount(), 7);
    for (int i = 0; i < 7; ++i) {
        // The stored width, widened only as far as the header text needs (the
        // address columns also as far as a full address needs, below).
        const int stored = ui::twipsToPixels(widthsTwips[i]);
        const int header = list()->header()->sectionSizeHint(i);
        if (i == 2 || i == 3)
            EXPECT_GE(list()->columnWidth(i), std::max(stored, header)) << "column " << i;
        else
            EXPECT_EQ(list()->columnWidth(i), std::max(stored, header)) << "column " << i;
        const int textWidth = QFontMetrics(list()->header()->font()).horizontalAdvance(GetText(numbers[i]));
        EXPECT_GT(list()->columnWidth(i), textWidth) << "header of column " << i << " is not cut";
    }
    EXPECT_EQ(list()->columnWidth(0), ui::twipsToPixels(1600));
    EXPECT_EQ(list()->columnWidth(6), ui::twipsToPixels(2500));
    EXPECT_EQ(header(1), GetText(4545)) << "the model's headers are loaded";
    EXPECT_EQ(rowCount(), 0);
    EXPECT_EQ(dialog_->SearchOkFlg, vbFalse);
}

TEST_F(SearchLayoutTest, TheAddressColumnsShowAFullAddressInTheFontInUse) {
    create();
    // The widest addresses of each kind, in cells of their own columns.
    for (const char* ip : {"255.255.255.255", "188.188.188.188", "100.100.100.100"})
        rows()->appendRow({"", "", ip, "00-1A-4C-00-00-0B", false, "", ""});
    for (const char* ethernet : {"DD-DD-DD-DD-DD-DD", "88-88-88-88-88-88", "00-1A-4C-00-00-00", "FE-DC-BA-98-76-54"})
        rows()->appendRow({"", "", "", ethernet, false, "", ""});
    // What the list's cells ask for (public on the item view).
    const QAbstractItemView* view = list();
    for (int column : {2, 3})
        EXPECT_LE(view->sizeHintForColumn(column), list()->columnWidth(column)) << "column " << column << " cuts";
}

TEST_F(SearchLayoutTest, AnEmptyCatalogueTextGivesAnEmptyCaptionAndHeader) {
    QTemporaryDir prod;
    ASSERT_TRUE(prod.isValid());
    ASSERT_TRUE(QDir(prod.path()).mkpath(QStringLiteral("Texts")));
    QFile catalogue(prod.filePath(QStringLiteral("Texts/Zelmar TCP IP Settings Tool.en.txt")));
    ASSERT_TRUE(catalogue.open(QIODevice::WriteOnly));
    catalogue.write("4531\tCancel\n4534\n4543\tName\n4546\n");
    catalogue.close();
    EnvGuard env;
    env.set("ZELMAR_PROD_DIR", QFile::encodeName(prod.path()));
    env.set("ZELMAR_LANG", "en");
    create();
    EXPECT_EQ(dialog_->windowTitle(), QString()) << "not the stored caption";
    EXPECT_EQ(button("ButtonCancel")->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(header(0), QStringLiteral("Name"));
    EXPECT_EQ(header(2), QString());
}

TEST_F(SearchLayoutTest, SwedishTextsComeFromTheSwedishCatalogue) {
    const QByteArray before = qgetenv("ZELMAR_LANG");
    qputenv("ZELMAR_LANG", "sv");
    create();
    qputenv("ZELMAR_LANG", before);
    EXPECT_EQ(button("ButtonCancel")->text(), QStringLiteral("Avbryt"));
    EXPECT_EQ(dialog_->windowTitle(), QStringLiteral("Sök och välj"));
    EXPECT_EQ(header(1), QStringLiteral("Serienummer"));
}

TEST_F(SearchLayoutTest, ControlsSitWhereTheStoredLayoutPutsThem) {
    create();
    struct Place {
        const char* name;
        int left, top, width, height;  // twips
    };
    const Place places[] = {
        {"ButtonOk", 165, 165, 765, 330},        {"ButtonCancel", 1020, 165, 765, 330},
        {"ButtonRefresh", 2010, 165, 945, 330},  {"CtrlStatusLine", 4320, 240, 3075, 195},
        {"ButtonFindMore", 3135, 165, 1035, 330}, {"btnUpgrade", 9240, 165, 2175, 330},
        {"CtrlList", 120, 525, 11355, 3480},
    };
    for (const Place& p : places) {
        const QRect expected(ui::twipsToPixels(p.left), ui::twipsToPixels(p.top), ui::twipsToPixels(p.width),
                             ui::twipsToPixels(p.height));
        EXPECT_EQ(child<QWidget>(p.name)->geometry(), expected) << p.name;
    }
    EXPECT_EQ(dialog_->size(), QSize(ui::twipsToPixels(11580), ui::twipsToPixels(4110)));

    // The five buttons are pale grey-green.
    for (const char* name : {"ButtonOk", "ButtonCancel", "ButtonRefresh", "ButtonFindMore", "btnUpgrade"})
        EXPECT_EQ(button(name)->palette().color(QPalette::Button), QColor(0xEA, 0xF0, 0xE8)) << name;

    // OK is the default button; every control is enabled before the first search.
    EXPECT_TRUE(button("ButtonOk")->isDefault());
    for (const char* name : {"ButtonCancel", "ButtonRefresh", "ButtonFindMore", "btnUpgrade"})
        EXPECT_FALSE(button(name)->isDefault()) << name;
    for (const char* name : {"ButtonOk", "ButtonCancel", "ButtonRefresh", "ButtonFindMore", "btnUpgrade", "CtrlList"})
        EXPECT_TRUE(child<QWidget>(name)->isEnabled()) << name;

    // A window icon in both sizes.
    const QList<QSize> sizes = dialog_->windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
}

TEST_F(SearchLayoutTest, KeyboardOrderStartsAtTheListAndTheListIsAPlainReport) {
    create();
    const QStringList wanted = {"CtrlList", "ButtonOk", "ButtonCancel", "ButtonRefresh", "ButtonFindMore", "btnUpgrade"};
    QStringList order;
    QWidget* w = list();
    do {
        if (wanted.contains(w->objectName()) && !order.contains(w->objectName()))
            order << w->objectName();
        w = w->nextInFocusChain();
    } while (w != list());
    EXPECT_EQ(order, wanted);
    EXPECT_EQ(child<QLabel>("CtrlStatusLine")->focusPolicy(), Qt::NoFocus);

    EXPECT_FALSE(list()->rootIsDecorated());
    EXPECT_FALSE(list()->isSortingEnabled());
    EXPECT_EQ(list()->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(list()->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list()->editTriggers(), QAbstractItemView::NoEditTriggers);
}

}  // namespace
}  // namespace zelmar::testing
