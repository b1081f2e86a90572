#include "document/UndoRun.h"

#include "document/PlanText.h"
#include "document/QOBDoc.h"
#include "server/ChangePlan.h"

namespace document {

namespace {

const char* KindWord(UndoStep::Kind kind) {
    return kind == UndoStep::Kind::Workgroup ? "workgroup" : kind == UndoStep::Kind::Note ? "" : "record";
}

}  // namespace

std::string UndoStepText(const UndoStep& s, const std::string& forceHint) {
    using V = UndoStep::Verdict;
    const std::string kind = KindWord(s.kind);
    std::string text;
    switch (s.verdict) {
    case V::Restore: text = kind + "\tput back as it was"; break;
    case V::AsBefore: text = kind + "\talready as it was"; break;
    case V::Changed: text = kind + "\tchanged since the command: left alone" + (forceHint.empty() ? "" : " (" + forceHint + ")"); break;
    case V::NotRestored: text = "-\tcannot be put back: " + s.what; break;
    case V::NoSite: text = kind + "\tthe site was not downloaded"; break;
    }
    return s.site + "\t" + s.number + "\t" + text;
}

bool RunUndo(CQOBDoc& doc, const std::vector<UndoStep>& steps, bool force, server::CChangePlan* plan,
             const std::string& forceHint, const std::function<void(const std::string&)>& line) {
    using V = UndoStep::Verdict;
    bool ok = true;
    for (const UndoStep& s : steps) {
        std::string text = UndoStepText(s, forceHint);
        const bool send = s.verdict == V::Restore || (s.verdict == V::Changed && force);
        if ((s.verdict == V::Changed && !force) || s.verdict == V::NoSite) ok = false;
        server::CZentServ* conn = nullptr;
        for (const auto& c : doc.m_servers)
            if (c->GetName() == s.site) conn = c.get();
        if (send && conn && !doc.Cancelled()) {
            const size_t planned = plan ? plan->Calls().size() : 0;
            const bool sent = s.kind == UndoStep::Kind::Record ? conn->RestoreExtRec(s.number, s.before)
                                                               : conn->RestoreGroupRec(s.number, s.before);
            if (plan) {
                text = s.site + "\t" + s.number + "\t" + KindWord(s.kind) + "\twould be put back as it was";
                for (size_t i = planned; i < plan->Calls().size(); ++i) {
                    const server::PlannedCall& p = plan->Calls()[i];
                    text += "\n" + p.number + "\t" + p.site + "\t" + p.method + "\t" + DescribePlannedCall(p);
                }
            } else if (!sent) {
                text = s.site + "\t" + s.number + "\tfailed: " + conn->GetLastError();
                ok = false;
            } else if (s.verdict == V::Changed) {
                text = s.site + "\t" + s.number + "\tput back as it was, over a change made since";
            }
        } else if (send) {
            text = s.site + "\t" + s.number + "\tnot put back (cancelled)";
            ok = false;
        }
        line(text);
    }
    return ok;
}

}  // namespace document
