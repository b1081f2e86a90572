// The document's side of the change journal: a command that changes sites begins its journal
// entry before anything is sent, every connection writes its changes there, and each number's
// outcome and the command's end follow.
#include "document/ChangeJournal.h"
#include "document/JournalFormat.h"
#include "document/QOBDoc.h"
#include "platform/AppProfile.h"

std::string CQOBDoc::JournalPath() const {
    if (m_strWorkDir.empty()) return document::kJournalFileName;
    return m_strWorkDir + "/" + document::kJournalFileName;
}

bool CQOBDoc::BeginJournal(const document::JournalCommandInfo& info) {
    document::JournalLimits limits;
    limits.maxBytes = uint64_t(platform::GetProfileInt(kJournalMaxMBEntry, 64)) << 20;
    limits.maxCommands = platform::GetProfileInt(kJournalMaxCommandsEntry, 200);
    if (limits.maxBytes == 0) limits.maxBytes = 1ull << 20;
    if (limits.maxCommands < 2) limits.maxCommands = 2;
    auto journal = std::make_unique<document::CChangeJournal>(JournalPath(), limits);
    std::string error;
    if (!journal->Begin(info, error)) {
        Log(LOG_ERROR, error);
        return false;
    }
    m_pJournal = std::move(journal);
    for (const auto& conn : m_servers) conn->SetJournal(m_pJournal.get());
    return true;
}

void CQOBDoc::EndJournal(std::string_view result) {
    if (!m_pJournal) return;
    m_pJournal->End(result);
    for (const auto& conn : m_servers) conn->SetJournal(nullptr);
    m_pJournal.reset();
}

void CQOBDoc::JournalNumber(std::string_view number, std::string_view result) {
    if (m_pJournal) m_pJournal->Number(number, result);
}

std::vector<std::string> CQOBDoc::UnfinishedCommands(std::vector<uint64_t>* ids) const {
    std::vector<std::string> out;
    document::JournalContents journal;
    std::string error;
    if (!document::ReadJournalFile(JournalPath(), journal, error)) {
        out.push_back("The change journal " + error + ".");
        return out;
    }
    for (const document::JournalCommand& c : journal.commands)
        if (!c.ended) {
            if (ids) ids->push_back(c.id);
            out.push_back("Command " + std::to_string(c.id) + " (" + c.action + ", " + c.time +
                          ") did not end: some of its changes may have reached the sites. qob-cli history " +
                          std::to_string(c.id) + " shows them; qob-cli undo or retry " + std::to_string(c.id) +
                          " take it from there.");
        }
    return out;
}
