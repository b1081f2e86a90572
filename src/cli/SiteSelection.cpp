#include "cli/SiteSelection.h"

#include <strings.h>

#include "cli/PasswordInput.h"
#include "platform/CodePage.h"
#include "platform/Strings.h"

namespace {

bool SameSite(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

void ClearPasswords(CQOBDoc& doc) {
    for (SiteRec& site : doc.m_sites) site.DayWhite.clear();
}

}  // namespace

bool AddSiteName(SiteSelection& selection, const std::string& utf8, std::string& error) {
    std::string name;
    if (std::string problem = ArgProblem("site name", utf8, kMaxSiteName, name); !problem.empty()) {
        error = "SITE: " + problem;
        return false;
    }
    for (const std::string& earlier : selection.names)
        if (SameSite(earlier, name)) {
            error = "site " + name + " is named twice";
            return false;
        }
    selection.names.push_back(name);
    selection.passwords.emplace_back();
    return true;
}

bool TakePasswords(const CArgs& args, std::istream& in, SiteSelection& selection, std::string& error) {
    std::vector<GivenPassword> given;
    for (const std::string& spec : args.GetAll("password")) {
        GivenPassword g;
        if (!ParsePasswordSpec(spec, "--password", g, error)) return false;
        given.push_back(std::move(g));
    }
    if (args.Has("password-stdin") && !ReadPasswordLines(in, given, error)) return false;
    selection.passwords.assign(selection.names.size(), std::nullopt);
    for (const GivenPassword& g : given) {
        size_t i = 0;
        while (i < selection.names.size() && !SameSite(selection.names[i], g.site)) ++i;
        if (i == selection.names.size()) {
            error = g.origin + ": a password for site " + g.site + ", which is not named on the command line";
            return false;
        }
        if (selection.passwords[i]) {
            error = g.origin + ": a second password for site " + selection.names[i];
            return false;
        }
        selection.passwords[i] = g.password;
    }
    return true;
}

bool IsSiteName(const CQOBDoc& doc, const std::string& utf8) {
    std::string name;
    return !utf8.empty() && platform::Utf8ToCodePageExact(utf8, name) && doc.GetSiteIndex(name) >= 0;
}

bool DownloadSelection(CliContext& ctx, const SiteSelection& selection, bool yes, bool& saved) {
    CQOBDoc& doc = ctx.doc;
    saved = false;
    // The download would refuse an unknown site too, but only after writing the passwords out;
    // the same lookup and message here leave the configuration untouched.
    std::vector<int> indices;
    for (const std::string& name : selection.names) {
        const int index = doc.GetSiteIndex(name);
        if (index < 0) {
            ctx.frame.Log(LOG_ERROR, platform::FormatString(44639, name));
            return false;
        }
        indices.push_back(index);
    }

    doc.m_selServers.clear();
    for (int index : indices) doc.m_selServers.push_back(doc.m_sites[index].Name);
    doc.m_bVerifyPassword = true;
    // As the site selection does: every site's password is the one given, else the remembered
    // one when passwords are remembered, else none (not one left in the file by a cut-short run).
    if (!doc.m_bRemember) ClearPasswords(doc);
    for (size_t i = 0; i < selection.names.size(); ++i)
        if (selection.passwords[i]) SetField(doc.m_sites[indices[i]].DayWhite, *selection.passwords[i], kMaxDayWhite);
    ctx.Save();  // a failure is reported; the download still has the passwords in memory

    ctx.frame.Log(LOG_INFO, platform::LoadString(44675));
    for (const std::string& name : doc.m_selServers) ctx.frame.Log(LOG_INFO, "\t" + name);

    ctx.frame.SetQuestionAnswer(yes ? IDYES : IDNO);
    ctx.frame.SetStatusText(platform::LoadString(46254));
    const bool downloaded = doc.Download();

    if (!doc.m_bRemember) ClearPasswords(doc);
    // Unlike the window, a front end for scripts must say when the passwords may still be in the
    // file: a failed save fails the command.
    saved = ctx.Save();
    return downloaded;
}
