// Every dialog in English and in Chinese: no text is cut off by its control, and no control
// leaves the dialog.
#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QHeaderView>

#include "UiDriver.h"
#include "document/MapTableOps.h"
#include "document/QOBDoc.h"
#include "ui/DelExtDlg.h"
#include "ui/DlgSelServer.h"
#include "ui/EditMap.h"
#include "ui/EditServer.h"
#include "ui/Options.h"

using namespace uitest;

namespace {

// The text as shown: "&x" underlines x, "&&" is one "&".
QString Shown(const QString& text) {
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size()) ++i;
        out += text[i];
    }
    return out;
}

// What does not fit, one line per control.
QStringList Clipped(QDialog& dlg) {
    QStringList problems;
    const QRect inside(QPoint(0, 0), dlg.size());
    for (QWidget* w : dlg.findChildren<QWidget*>()) {
        if (!w->isVisibleTo(&dlg) || w->parentWidget() != &dlg) continue;
        if (!inside.contains(w->geometry())) problems << QStringLiteral("outside: ") + w->objectName();
        const QFontMetrics fm(w->font());
        if (auto* label = qobject_cast<QLabel*>(w)) {
            // Blanks at the end take room but show nothing.
            const QString text = Shown(label->text()).trimmed();
            const int needW = label->wordWrap() ? 0 : fm.horizontalAdvance(text);
            const int needH = label->wordWrap() ? label->heightForWidth(label->width()) : fm.height();
            if (needW > label->contentsRect().width() || needH > label->height())
                problems << QStringLiteral("label %1 needs %2x%3 in %4x%5")
                                .arg(text).arg(needW).arg(needH).arg(label->width()).arg(label->height());
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            QStyleOptionButton opt;
            opt.initFrom(button);
            opt.text = button->text();
            QStyle::SubElement contents = QStyle::SE_PushButtonContents;
            if (qobject_cast<QCheckBox*>(button)) contents = QStyle::SE_CheckBoxContents;
            if (qobject_cast<QRadioButton*>(button)) contents = QStyle::SE_RadioButtonContents;
            const QRect room = button->style()->subElementRect(contents, &opt, button);
            const QString text = Shown(button->text());
            if (fm.horizontalAdvance(text) > room.width() || fm.height() > button->height())
                problems << QStringLiteral("button %1 needs %2x%3 in %4x%5")
                                .arg(text).arg(fm.horizontalAdvance(text)).arg(fm.height()).arg(room.width())
                                .arg(button->height());
        }
    }
    // A grid's column titles and cells.
    for (CListGrid* grid : dlg.findChildren<CListGrid*>()) {
        if (!grid->isVisibleTo(&dlg)) continue;
        grid->FitColumnsNow();
        const QFontMetrics gm(grid->font());
        for (int c = 0; c < grid->GetColumnCount(); ++c) {
            int need = grid->horizontalHeader()->sectionSizeHint(c);
            for (int r = 0; r < grid->GetItemCount(); ++r)
                need = std::max(need, gm.horizontalAdvance(grid->GetItemText(r, c).trimmed()) + 4 + (c == 0 && grid->HasCheckBoxes() ? 18 : 0));
            if (grid->GetColumnWidth(c) < need)
                problems << QStringLiteral("column %1 needs %2 in %3").arg(grid->GetColumn(c)->title).arg(need).arg(grid->GetColumnWidth(c));
        }
    }
    return problems;
}

class TextFit : public UiTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        UiTest::SetUp();
        UseLanguage(GetParam());
        for (auto [name, ip] : {std::pair{"Zurich", 1u}, std::pair{"Bern", 2u}})
            ASSERT_EQ(MapAddSite(doc, SiteEditValues{name, ip, "", ""}), MapEditResult::Changed);
    }
    void ShowAndCheck(QDialog& dlg) {
        dlg.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dlg));
        const QStringList problems = Clipped(dlg);
        EXPECT_TRUE(problems.isEmpty()) << dlg.windowTitle().toStdString() << ": "
                                        << problems.join(QStringLiteral(" | ")).toStdString();
        dlg.close();
    }
    CQOBDoc doc;
};

TEST_P(TextFit, NoDialogCutsATextOff) {
    CDlgSelServer sel;
    sel.m_saServers = {"Zurich", "Bern"};
    sel.m_saPasswords = {"", ""};
    ShowAndCheck(sel);
    CEditServer add;
    ShowAndCheck(add);
    CEditMap map(&doc);
    ShowAndCheck(map);
    COptions options;
    ShowAndCheck(options);
    for (int type : {0, 2}) {
        CDelExtDlg del;
        del.m_nRadio = 0;
        del.m_strExtNo = "20512345";
        del.m_nType = type;
        ShowAndCheck(del);
    }
}

TEST_P(TextFit, TextsComeInTheLanguageInForce) {
    COptions options;
    options.show();
    const QString expected = GetParam() ? QString::fromUtf8("选项") : QStringLiteral("Options");
    EXPECT_EQ(options.windowTitle(), expected);
    EXPECT_EQ(qobject_cast<QPushButton*>(options.GetDlgItem(2))->text(),
              GetParam() ? QString::fromUtf8("取消(&C)") : QStringLiteral("&Cancel"));
}

INSTANTIATE_TEST_SUITE_P(Languages, TextFit, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Chinese" : "English"; });

}  // namespace
