// A list grid in a window of its own, with an owner that records every notification and answers
// them as a test tells it.
#pragma once

#include <QLineEdit>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

#include "UiDriver.h"
#include "ui/ListGrid.h"

namespace uitest {

struct RecordingOwner : IListGridOwner {
    intptr_t OnListGridNotify(NMLISTGRID& nm) override {
        notes.push_back(nm);
        return answer ? answer(nm) : 0;
    }
    void OnListGridItemChanged(const NMLISTVIEW& nm) override { changes.push_back(nm); }
    std::vector<int> Codes() const {
        std::vector<int> codes;
        for (const NMLISTGRID& n : notes) codes.push_back(n.code);
        return codes;
    }
    const NMLISTGRID* Last(int code) const {
        for (auto it = notes.rbegin(); it != notes.rend(); ++it)
            if (it->code == code) return &*it;
        return nullptr;
    }
    std::vector<NMLISTGRID> notes;
    std::vector<NMLISTVIEW> changes;
    std::function<intptr_t(NMLISTGRID&)> answer;
};

class GridTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        window = std::make_unique<QWidget>();
        window->resize(500, 300);
        grid = new CListGrid(window.get(), 1000, &owner);
        grid->setGeometry(0, 0, 480, 280);
        editor = new QLineEdit(grid);
        editor->hide();
    }
    void TearDown() override {
        window.reset();
        UiTest::TearDown();
    }
    // Shows the window and waits until it can take input.
    void Show() {
        grid->show();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    // The owner supplies `editor` for every cell and lets the grid write the new text.
    void OfferEditor() {
        owner.answer = [this](NMLISTGRID& nm) -> intptr_t {
            if (nm.code != LGN_NEEDCTRL) return 0;
            editor->setText(nm.pszText);
            editor->selectAll();
            nm.pEditCtrl = editor;
            nm.nExtra = EN_KILLFOCUS;
            return 1;
        };
    }
    // Opens the in-place editor with two clicks into the cell, as a user does.
    void ClickToEdit(int row, int column) {
        ClickCell(*grid, row, column);
        ClickCell(*grid, row, column);
    }
    std::vector<QString> Column(int column) const {
        std::vector<QString> out;
        for (int r = 0; r < grid->GetItemCount(); ++r) out.push_back(grid->GetCellText(r, column));
        return out;
    }

    RecordingOwner owner;
    std::unique_ptr<QWidget> window;
    CListGrid* grid = nullptr;
    QLineEdit* editor = nullptr;
};

}  // namespace uitest
