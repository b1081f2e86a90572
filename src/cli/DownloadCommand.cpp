// qob-cli download: what the Sites Download command does, with the sites and passwords taken from
// the command line and the questions answered by --yes. Standard output gets the merged rows, as
// the extension list shows them.
#include <strings.h>

#include <optional>

#include "cli/Args.h"
#include "cli/CliContext.h"
#include "cli/PasswordInput.h"
#include "document/RowText.h"
#include "platform/Strings.h"

namespace {

const char* kDownloadUsage =
    "usage: qob-cli [--dir DIR] download SITE SITE... [--password SITE=PW]... [--password-stdin] [--yes]";

int Usage() {
    PrintErr(kDownloadUsage);
    return kExitUsage;
}

int Usage(const std::string& error) {
    PrintErr("qob-cli: " + error);
    return Usage();
}

void ClearPasswords(CQOBDoc& doc) {
    for (SiteRec& site : doc.m_sites) site.DayWhite.clear();
}

bool SameSite(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

// The password given for each named site (none where it was not given); false with `error` for a
// password of a site not named, or one given twice.
bool AssignPasswords(const std::vector<std::string>& names, const std::vector<GivenPassword>& given,
                     std::vector<std::optional<std::string>>& out, std::string& error) {
    out.assign(names.size(), std::nullopt);
    for (const GivenPassword& g : given) {
        size_t i = 0;
        while (i < names.size() && !SameSite(names[i], g.site)) ++i;
        if (i == names.size()) {
            error = g.origin + ": a password for site " + g.site + ", which is not named on the command line";
            return false;
        }
        if (out[i]) {
            error = g.origin + ": a second password for site " + names[i];
            return false;
        }
        out[i] = g.password;
    }
    return true;
}

}  // namespace

int RunDownloadCommand(CliContext& ctx, const std::vector<std::string>& argv, std::istream& in) {
    CArgs args;
    std::string error;
    if (!args.Parse(argv, OptionSpec{{"password"}, {"password-stdin", "yes"}, {"password"}}, error))
        return Usage(error);

    std::vector<std::string> names;
    for (const std::string& word : args.Words()) {
        std::string name;
        if (!ArgToCodePage("site name", word, name)) return Usage();
        for (const std::string& earlier : names)
            if (SameSite(earlier, name)) return Usage("site " + name + " is named twice");
        names.push_back(name);
    }
    if (names.size() < 2) return Usage(platform::LoadString(44601));

    std::vector<GivenPassword> given;
    for (const std::string& spec : args.GetAll("password")) {
        GivenPassword g;
        if (!ParsePasswordSpec(spec, "--password", g, error)) return Usage(error);
        given.push_back(std::move(g));
    }
    if (args.Has("password-stdin") && !ReadPasswordLines(in, given, error)) return Usage(error);
    std::vector<std::optional<std::string>> passwords;
    if (!AssignPasswords(names, given, passwords, error)) return Usage(error);

    if (!ctx.Load(false)) return kExitFailed;
    CQOBDoc& doc = ctx.doc;
    // The download would refuse an unknown site too, but only after writing the passwords out;
    // the same lookup and message here leave the configuration untouched.
    std::vector<int> indices;
    for (const std::string& name : names) {
        const int index = doc.GetSiteIndex(name);
        if (index < 0) {
            ctx.frame.Log(LOG_ERROR, platform::FormatString(44639, name));
            return kExitFailed;
        }
        indices.push_back(index);
    }

    doc.m_selServers.clear();
    for (int index : indices) doc.m_selServers.push_back(doc.m_sites[index].Name);
    doc.m_bVerifyPassword = true;
    // As the site selection does: every site's password is the one given, else the remembered
    // one when passwords are remembered, else none (not one left in the file by a cut-short run).
    if (!doc.m_bRemember) ClearPasswords(doc);
    for (size_t i = 0; i < names.size(); ++i)
        if (passwords[i]) SetField(doc.m_sites[indices[i]].DayWhite, *passwords[i], kMaxDayWhite);
    ctx.Save();  // a failure is reported; the download still has the passwords in memory

    ctx.frame.Log(LOG_INFO, platform::LoadString(44675));
    for (const std::string& name : doc.m_selServers) ctx.frame.Log(LOG_INFO, "\t" + name);

    ctx.frame.SetQuestionAnswer(args.Has("yes") ? IDYES : IDNO);
    const bool downloaded = doc.Download();

    if (!doc.m_bRemember) ClearPasswords(doc);
    // Unlike the window, a front end for scripts must say when the passwords may still be in the
    // file: a failed save fails the command.
    const bool saved = ctx.Save();

    if (downloaded)
        for (const auto& [number, row] : doc.m_extList) PrintOut(FormatRow(row));
    return downloaded && saved ? kExitOk : kExitFailed;
}
