// The span of one command (a download, a synchronisation, a deletion): while it lasts, a stop
// request aborts the calls its connections have in flight (each watched while busy). A command
// called from within another (a number of a list) runs in the outer one's scope.
#pragma once

#include <memory>

#include "document/CallAborter.h"
#include "document/QOBDoc.h"

class CQOBDoc::CommandScope {
public:
    explicit CommandScope(CQOBDoc& doc) : m_doc(doc), m_outer(!doc.m_pAborter) {
        if (!m_outer) return;
        doc.m_pAborter = std::make_unique<document::CCallAborter>(doc.m_stop);
    }
    ~CommandScope() {
        if (m_outer) m_doc.m_pAborter.reset();
    }
    CommandScope(const CommandScope&) = delete;
    CommandScope& operator=(const CommandScope&) = delete;

private:
    CQOBDoc& m_doc;
    const bool m_outer;
};
