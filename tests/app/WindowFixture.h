// Two sites with a known list for the window's tests: North holds 101, 102, 105, 106 and the group
// 300 of 101, 102 and 105; East (HQ) holds 104, 105 (a real extension on two sites: never
// synchronisable) and a correct copy of 106 homed at North.
#pragma once

#include <QComboBox>

#include "AppFixture.h"

namespace apptest {

class Window : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        sim::Site& north = AddSite("North");
        sim::Site& east = AddSite("East (HQ)");
        Add(north, Ext("101", "physical", "Ann"));
        Add(north, Ext("102"));
        Add(north, Ext("105"));
        Add(north, Ext("106"));
        Add(north, Ext("300", "group"), {"101", "102", "105"});
        Add(east, Ext("104"));
        Add(east, Ext("105"));
        Add(east, Copy("106", "North"));
        WriteConfig();
    }
    sim::Site& North() { return *sites[0].second; }
    sim::Site& East() { return *sites[1].second; }
    void StartAndDownload() {
        Start();
        ASSERT_EQ(Download({0, 1}), 1);
        ASSERT_TRUE(doc->m_bDownloaded) << (shown.empty() ? QString() : shown.front()).toStdString();
        ASSERT_TRUE(shown.empty()) << shown.front().toStdString();
    }
    // Opens the Home Server editor on the number's row, as two clicks into the cell do.
    QComboBox* OpenHomeEditor(const std::string& number) {
        ClickCell(*grid, Row(number), CQOBView::kHomeColumn);
        ClickCell(*grid, Row(number), CQOBView::kHomeColumn);
        return grid->IsEditing() ? view->m_comboHomeServer : nullptr;
    }
    static QStringList Entries(QComboBox* combo) {
        QStringList out;
        for (int i = 0; i < combo->count(); ++i) out << combo->itemText(i);
        return out;
    }
    void Choose(QComboBox* combo, const QString& entry) {
        combo->setCurrentIndex(combo->findText(entry));
        QTest::keyClick(combo, Qt::Key_Return);
    }
};

}  // namespace apptest
