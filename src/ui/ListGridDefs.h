// What the list grid and its owners share: the notification codes and records, the column flags,
// the style bits and the owner interface. The grid knows nothing of sites or extensions; it talks
// to the window that contains it only through these.
#pragma once

#include <QString>

#include <cstdint>

class CListGrid;
class QWidget;

// Notification codes of the grid.
constexpr int LGN_PASTEBEGIN = 2024;
constexpr int LGN_PASTEROW = 2025;
constexpr int LGN_EDITITEM = 2026;
constexpr int LGN_DELETEBEGIN = 2027;
constexpr int LGN_ROWDELETED = 2028;
constexpr int LGN_PASTEEND = 2029;
constexpr int LGN_NEEDCTRL = 2030;

// The changed mask of an item-changed notification that reports a check-state change.
constexpr uint32_t LGN_CHECKCHANGED = 0x10000;

// Extended style: the platform's check-box bit, and the grid's own option bits.
constexpr uint32_t LVS_EX_CHECKBOXES = 0x4;
constexpr uint32_t LGS_EX_HIDECOLUMN = 0x01000000;
constexpr uint32_t LGS_EX_CLIPBOARD = 0x02000000;
constexpr uint32_t LGS_EX_GRIDMASK = 0x0F000000;

// Column flags.
constexpr uint8_t LGCF_EDITABLE = 1;
constexpr uint8_t LGCF_VISIBLE = 2;
constexpr uint8_t LGCF_SHADED = 4;

// Check states: bit 1 is the tick, bit 2 the lock.
constexpr int LGCS_UNCHECKED = 0;
constexpr int LGCS_CHECKED = 1;
constexpr int LGCS_LOCKED = 2;

// Editor end codes the owners hand over with their editor: the edit box's and the drop-down
// list's lose-focus notifications. Either ends the edit when the editor loses the focus.
constexpr int EN_KILLFOCUS = 0x200;
constexpr int CBN_KILLFOCUS = 4;

// The identifier an in-place editor carries.
constexpr int LG_EDITCTRL_ID = 1111;

// Commands of the grid's menus.
constexpr int LG_CMD_SORT_CHECKBOX = 1699;
constexpr int LG_CMD_SORT_FIRST = 1700;
constexpr int LG_CMD_HIDE_FIRST = 1800;
constexpr int LG_CMD_EDIT_FIRST = 1900;
constexpr int LG_CMD_COPY = 57634;
constexpr int LG_CMD_CUT = 57635;
constexpr int LG_CMD_PASTE = 57637;

struct GRIDCOLUMN {
    uint8_t flags = LGCF_VISIBLE;
    QString title;     // at most 98 characters, without the alignment marker
    int width = 70;    // pixels; the width saved while the column is hidden
    int subItem = 0;   // the column's position when it was created
    int align = 0;     // header caption only: 0 left, 1 right, 2 centred
    int order = 0;     // the header position saved while the column is hidden
};

// One notification. Fields a code does not use stay 0 or empty; row and column are set only for
// LGN_NEEDCTRL and LGN_EDITITEM.
struct NMLISTGRID {
    CListGrid* hwndFrom = nullptr;  // the grid
    unsigned idFrom = 0;            // its control identifier
    int code = 0;
    int iRow = 0;                   // displayed row
    int iColumn = 0;                // column number (already mapped from the header position)
    QString pszText;                // NEEDCTRL: the cell's text without leading blanks;
                                    // EDITITEM: the row's whole stored text; ROWDELETED: the removed row
    int cchText = 0;                // its length (plus 1 for NEEDCTRL and ROWDELETED)
    QWidget* pEditCtrl = nullptr;   // NEEDCTRL: the editor the owner supplies
    QString strExtra;               // EDITITEM: the new text; PASTEROW: the row, which the owner may rewrite
    int nExtra = 0;                 // NEEDCTRL: the editor's end code the owner supplies;
                                    // EDITITEM: the new text's length; PASTEROW: the buffer's capacity
};

// The item-changed notification; check-state changes carry LGN_CHECKCHANGED and the check states.
struct NMLISTVIEW {
    CListGrid* hwndFrom = nullptr;
    unsigned idFrom = 0;
    int iItem = -1;
    uint32_t uNewState = 0;
    uint32_t uOldState = 0;
    uint32_t uChanged = 0;
};

// The window that contains a grid.
class IListGridOwner {
public:
    virtual ~IListGridOwner() = default;
    // A grid notification; the return value counts where the code gives it a meaning.
    virtual intptr_t OnListGridNotify(NMLISTGRID& nm) = 0;
    // A check-state change, whether the user clicked or the program called SetCheck.
    virtual void OnListGridItemChanged(const NMLISTVIEW& nm) {}
};
