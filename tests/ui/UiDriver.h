// Driving widgets as a user does, for the GUI tests: clicks at a grid's cells, the answer to the
// next message box, and the work to do in the next dialog that a handler runs modally.
#pragma once

#include <algorithm>
#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "document/Frame.h"
#include "platform/CodePage.h"
#include "platform/Strings.h"
#include "ui/ListGrid.h"

namespace uitest {

// English in Windows-1252, or Chinese in CP936, for one test.
class UiTest : public ::testing::Test {
protected:
    void SetUp() override { UseLanguage(false); }
    void TearDown() override {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible()) w->close();
        platform::SetCodePage("");
        platform::SetStringLanguage(platform::StringLanguage::Auto);
    }
    static void UseLanguage(bool chinese) {
        platform::SetCodePage(chinese ? "CP936" : "WINDOWS-1252");
        platform::SetStringLanguage(chinese ? platform::StringLanguage::Chinese : platform::StringLanguage::English);
    }
};

inline QString Q(const std::string& codePageText) { return QString::fromStdString(platform::CodePageToUtf8(codePageText)); }

// Polls while a nested event loop runs (a modal dialog, a message box, a menu).
class Poller {
public:
    explicit Poller(std::function<bool()> step) : m_step(std::move(step)) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (m_step()) m_timer.stop();
        });
        m_timer.start(5);
    }
    bool Done() const { return !m_timer.isActive(); }

private:
    std::function<bool()> m_step;
    QTimer m_timer;
};

// Answers every message box that opens while it lives with the button of `answer` (IDOK, IDYES...).
class MessageBoxes {
public:
    explicit MessageBoxes(int answer = IDOK) : MessageBoxes(std::vector<int>{answer}) {}
    // The boxes answered in turn; the last answer for every box after.
    explicit MessageBoxes(std::vector<int> answers)
        : m_poller([this, answers] {
              for (QWidget* w : QApplication::topLevelWidgets()) {
                  auto* box = qobject_cast<QMessageBox*>(w);
                  // Marked, not remembered by address: the next box may be made where this one was.
                  if (!box || !box->isVisible() || box->property("answeredByTest").toBool()) continue;
                  box->setProperty("answeredByTest", true);
                  const int answer = answers[std::min(texts.size(), answers.size() - 1)];
                  captions.push_back(box->windowTitle());
                  texts.push_back(box->text());
                  QStringList names;
                  for (QAbstractButton* b : box->buttons()) names.append(b->text());
                  buttons.push_back(names);
                  if (auto* b = box->findChild<QAbstractButton*>(QStringLiteral("answer%1").arg(answer))) b->click();
              }
              return false;
          }) {}
    std::vector<QString> captions;
    std::vector<QString> texts;
    std::vector<QStringList> buttons;

private:
    Poller m_poller;
};

// Runs `act` on the next visible top-level widget of type D (a dialog a handler opened modally).
template <class D>
class NextDialog {
public:
    explicit NextDialog(std::function<void(D&)> act)
        : m_poller([this, act] {
              for (QWidget* w : QApplication::topLevelWidgets()) {
                  D* d = qobject_cast<D*>(w);
                  if (d && d->isVisible()) {
                      ++seen;
                      act(*d);
                      return true;
                  }
              }
              return false;
          }) {}
    int seen = 0;

private:
    Poller m_poller;
};

// The point `dx` pixels into a cell from its left edge (its middle when dx < 0), in the
// viewport's coordinates.
inline QPoint CellPoint(CListGrid& grid, int row, int column, int dx = -1) {
    const QRect r = grid.visualRect(grid.model()->index(row, column));
    return dx < 0 ? r.center() : QPoint(r.left() + dx, r.center().y());
}

inline void ClickAt(CListGrid& grid, QPoint p, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, mods, p);
}

inline void ClickCell(CListGrid& grid, int row, int column, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    ClickAt(grid, CellPoint(grid, row, column), mods);
}

inline void ClickHeader(CListGrid& grid, int column) {
    QHeaderView* h = grid.horizontalHeader();
    QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(h->sectionViewportPosition(column) + h->sectionSize(column) / 2, h->height() / 2));
}

inline QMenu* ActivePopup() { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }

inline QAction* FindAction(QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions())
        if (a->text() == text) return a;
    return nullptr;
}

// Clicks a menu entry with the mouse.
inline void ClickAction(QMenu* menu, QAction* action) {
    QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(action).center());
}

// In the next popup menu, opens the entry `submenu` with a click, reads the submenu's entries
// (a ticked one marked "*") and clicks `entry` in it.
class SubmenuChoice {
public:
    SubmenuChoice(const QString& submenu, const QString& entry)
        : m_poller([this, submenu, entry] {
              QMenu* menu = ActivePopup();
              if (!menu) return false;
              if (!m_top) {
                  m_top = menu;
                  QAction* open = FindAction(menu, submenu);
                  submenuEnabled = open->isEnabled();
                  ClickAction(menu, open);
                  return false;
              }
              if (menu == m_top) return false;
              for (QAction* a : menu->actions()) entries.append(a->text() + (a->isChecked() ? "*" : ""));
              ClickAction(menu, FindAction(menu, entry));
              return true;
          }) {}
    bool Done() const { return m_poller.Done(); }
    QStringList entries;
    bool submenuEnabled = false;

private:
    QMenu* m_top = nullptr;
    Poller m_poller;
};

// Sends the context-menu request the platform makes for a right click at a point of a widget.
inline void RightClick(QWidget* w, QPoint p) {
    QContextMenuEvent e(QContextMenuEvent::Mouse, p, w->mapToGlobal(p));
    QApplication::sendEvent(w, &e);
}

// A window made active again, as closing a message box over it does on a desktop.
inline void Reactivate(QWidget* w) {
    w->activateWindow();
    (void)QTest::qWaitForWindowActive(w);
}

// The widget that has the focus, in the active window or else in the modal dialog on top.
inline QWidget* FocusTarget() {
    if (QWidget* w = QApplication::focusWidget()) return w;
    if (QWidget* modal = QApplication::activeModalWidget()) return modal->focusWidget();
    return nullptr;
}

// Types into the widget that has the focus, key by key: a key may move the focus on.
inline void Type(const QString& text) {
    for (QChar c : text) QTest::keyClicks(FocusTarget(), QString(c));
}
inline void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) { QTest::keyClick(FocusTarget(), key, mods); }

}  // namespace uitest
