// The map table editor: the sites in a list, and for the selected (from) site a grid of its routes
// to every other site with their two routing values. It changes the document's sites and routes in
// place through the same operations as the command line (MapTableOps), saves the configuration on
// OK after a change and reloads it on Cancel after a change.
#pragma once

#include <vector>

#include "document/MapTableOps.h"
#include "document/SiteRec.h"
#include "ui/ListGridDefs.h"
#include "ui/QobDialog.h"

class CListGrid;
class CQOBDoc;
class QLineEdit;
class QListWidget;
class QPushButton;

class CEditMap : public CQobDialog, private IListGridOwner {
    Q_OBJECT
public:
    explicit CEditMap(CQOBDoc* doc, QWidget* parent = nullptr);

    CQOBDoc* m_pDoc;
    QListWidget* m_listFromServers;
    QLineEdit* m_editFromServer;
    CListGrid* m_listServers;
    QLineEdit* m_editCell;
    int m_bModified = 0;

    void OnInsert();
    void OnRemove();
    void OnEdit();
    void OnSelchangeFromservers();
    bool OnSave();

protected:
    void OnInitDialog() override;

public slots:
    void accept() override;
    void reject() override;

private:
    intptr_t OnListGridNotify(NMLISTGRID& nm) override;
    intptr_t OnSvrListNeedCtrl(NMLISTGRID& nm);
    intptr_t OnSvrListEditItem(NMLISTGRID& nm);
    void EnableSiteButtons();
    int Selection() const;
    // The selected site's index, or -1 after telling the user that none is selected.
    int SelectedSite();
    // True for a change; a refusal is shown to the user.
    bool Applied(MapEditResult r);

    QPushButton* m_btnRemove;
    QPushButton* m_btnEdit;
    // The sites and mailbox defaults as they were when the dialog opened: what Cancel restores
    // should the file not read back.
    std::vector<SiteRec> m_savedSites;
    std::string m_savedMBUser;
    std::string m_savedMBPassword;
};
