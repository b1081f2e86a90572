// qob-cli's configuration commands: show, rewrite and edit the sites, routes and options.
#include <algorithm>
#include <cstdio>

#include "cli/Args.h"
#include "cli/CliContext.h"
#include "document/Encrypt.h"
#include "document/MapTableOps.h"
#include "document/Utf8.h"

namespace {

int Usage(const std::string& error) {
    PrintErr("qob-cli: " + error + " (see qob-cli --help)");
    return kExitUsage;
}

// A table printed with columns as wide as their widest cell.
void PrintTable(const std::vector<std::vector<std::string>>& rows) {
    std::vector<size_t> width;
    for (const auto& row : rows)
        for (size_t c = 0; c < row.size(); ++c) {
            if (width.size() <= c) width.push_back(0);
            width[c] = std::max(width[c], row[c].size());
        }
    for (const auto& row : rows) {
        std::string line = " ";
        for (size_t c = 0; c < row.size(); ++c) {
            line += ' ';
            line += row[c];
            if (c + 1 < row.size()) line.append(width[c] - row[c].size() + 1, ' ');
        }
        PrintOut(line);
    }
}

std::string Shown(const std::string& text) { return text.empty() ? "-" : text; }
std::string Secret(const std::string& text) { return text.empty() ? "-" : "(set)"; }

bool ParseBool(const std::string& text, bool& value) {
    if (text == "1") value = true;
    else if (text == "0") value = false;
    else return false;
    return true;
}

int Refused(MapEditResult result) {
    PrintErr(MapEditMessage(result));
    return kExitFailed;
}

// Reads an optional text option into `out` as code-page text; false (already reported) when it
// cannot be taken unchanged or is longer than `max`.
bool TextOption(const CArgs& args, const char* name, const char* what, size_t max, std::optional<std::string>& out) {
    auto v = args.Get(name);
    if (!v) return true;
    std::string text;
    if (!ArgToCodePage(std::string("--") + name, what, *v, max, text)) return false;
    out = text;
    return true;
}

// The options a dialog edits stay within what its edit controls let the user type.
constexpr size_t kMaxDefaultMBUser = 50;
constexpr size_t kMaxDefaultMBPassword = 16;

}  // namespace

int RunSitesCommand(CliContext& ctx, const std::vector<std::string>& argv) {
    CArgs args;
    std::string error;
    if (!args.Parse(argv, OptionSpec{}, error)) return Usage(error);
    if (!args.Words().empty()) return Usage("sites takes no arguments");
    if (!ctx.Load(false)) return kExitFailed;
    const CQOBDoc& doc = ctx.doc;

    PrintOut("Sites (" + std::to_string(doc.m_sites.size()) + ")");
    std::vector<std::vector<std::string>> rows = {
        {"Name", "IP", "Mailbox account", "Mailbox password", "Server password", "Suffix template", "Code template"}};
    for (const SiteRec& s : doc.m_sites)
        rows.push_back({s.Name, IPToText(s.IP), Shown(s.MBAccount), Secret(s.MBPassword), Secret(s.DayWhite),
                        Shown(s.VMATempl), Shown(s.FWDTempl)});
    PrintTable(rows);

    PrintOut("");
    PrintOut("Routes");
    rows = {{"From", "To", "Mail Forwarding Suffix", "Forward Access Code"}};
    for (const SiteRec& s : doc.m_sites)
        for (const MapEntry& e : s.Routes) {
            std::string to = e.Name;
            if (doc.GetSiteIndex(e.Name) < 0) to += " (no such site)";
            rows.push_back({s.Name, to, Shown(e.VMAPostfix), Shown(e.FwdPattern)});
        }
    PrintTable(rows);

    PrintOut("");
    PrintOut("Options");
    PrintTable({{"Reload", doc.m_bReload ? "1" : "0"},
                {"Remember", doc.m_bRemember ? "1" : "0"},
                {"Relocation", doc.m_bRelocation ? "1" : "0"},
                {"RelocateVM", doc.m_bRelocateVM ? "1" : "0"},
                {"DefaultMBUser", Shown(doc.m_strDefaultMBUser)},
                {"DefaultMBPassword", Secret(doc.m_strDefaultMBPassword)}});
    return kExitOk;
}

int RunSaveCommand(CliContext& ctx, const std::vector<std::string>& argv) {
    CArgs args;
    std::string error;
    if (!args.Parse(argv, OptionSpec{}, error)) return Usage(error);
    if (!args.Words().empty()) return Usage("save takes no arguments");
    if (!ctx.Lock("save") || !ctx.Load(false)) return kExitFailed;
    return ctx.Save() ? kExitOk : kExitFailed;
}

int RunSiteCommand(CliContext& ctx, const std::vector<std::string>& argv) {
    CArgs args;
    std::string error;
    if (!args.Parse(argv, {"name", "ip", "mb-account", "mb-password"}, error)) return Usage(error);
    const auto& w = args.Words();
    if (w.empty()) return Usage("site needs add, edit or remove");
    const std::string& verb = w[0];

    std::optional<std::string> account, password, newName;
    if (!TextOption(args, "mb-account", "mailbox account", kMaxMBAccount, account) ||
        !TextOption(args, "mb-password", "mailbox password", kMaxMBPassword, password) ||
        !TextOption(args, "name", "site name", kMaxSiteName, newName))
        return kExitUsage;

    if (verb == "add") {
        if (w.size() != 3) return Usage("usage: site add NAME IP [--mb-account A] [--mb-password P]");
        if (args.Has("name") || args.Has("ip")) return Usage("site add takes the name and address as words");
        SiteEditValues v;
        if (!ArgToCodePage("NAME", "site name", w[1], kMaxSiteName, v.Name)) return kExitUsage;
        if (!ParseDottedIP(w[2], v.IP)) return Usage("\"" + w[2] + "\" is not an IP address (four numbers 0 to 255)");
        v.MBAccount = account.value_or("");
        v.MBPassword = password.value_or("");
        if (!ctx.Lock("site add") || !ctx.Load(true)) return kExitFailed;
        MapEditResult r = MapAddSite(ctx.doc, v);
        if (r != MapEditResult::Changed) return Refused(r);
        return ctx.Save() ? kExitOk : kExitFailed;
    }

    if (verb == "edit" || verb == "remove") {
        if (w.size() != 2) return Usage("usage: site " + verb + " NAME" + (verb == "edit" ? " [options]" : ""));
        if (verb == "remove" && (args.Has("name") || args.Has("ip") || account || password))
            return Usage("site remove takes no options");
        std::string name;
        if (!ArgToCodePage("NAME", "site name", w[1], kMaxSiteName, name)) return kExitUsage;
        uint32_t ip = 0;
        const std::optional<std::string> ipText = args.Get("ip");
        if (ipText && !ParseDottedIP(*ipText, ip))
            return Usage("\"" + *ipText + "\" is not an IP address (four numbers 0 to 255)");
        if (!ctx.Lock("site " + verb) || !ctx.Load(true)) return kExitFailed;
        const int index = ctx.doc.GetSiteIndex(name);
        if (index < 0) return Refused(MapEditResult::InvalidSelection);
        if (verb == "remove") {
            MapEditResult r = MapRemoveSite(ctx.doc, index);
            if (r != MapEditResult::Changed) return Refused(r);
            return ctx.Save() ? kExitOk : kExitFailed;
        }
        const SiteRec& site = ctx.doc.m_sites[index];
        SiteEditValues v{newName.value_or(site.Name), ipText ? ip : site.IP, account.value_or(site.MBAccount),
                         password.value_or(site.MBPassword)};
        MapEditResult r = MapEditSite(ctx.doc, index, v);
        if (r == MapEditResult::Unchanged) return kExitOk;
        if (r != MapEditResult::Changed) return Refused(r);
        return ctx.Save() ? kExitOk : kExitFailed;
    }
    return Usage("unknown site command \"" + verb + "\"");
}

int RunRouteCommand(CliContext& ctx, const std::vector<std::string>& argv) {
    CArgs args;
    std::string error;
    if (!args.Parse(argv, {"fwd", "suffix"}, error)) return Usage(error);
    const auto& w = args.Words();
    if (w.size() != 3 || w[0] != "set") return Usage("usage: route set FROM TO [--fwd CODE] [--suffix SUFFIX]");
    std::optional<std::string> fwd, suffix;
    std::string from, to;
    if (!ArgToCodePage("FROM", "site name", w[1], kMaxSiteName, from) ||
        !ArgToCodePage("TO", "site name", w[2], kMaxSiteName, to) ||
        !TextOption(args, "fwd", "forward access code", kMaxFwdPattern, fwd) ||
        !TextOption(args, "suffix", "mail forwarding suffix", kMaxVMAPostfix, suffix))
        return kExitUsage;
    if (!fwd && !suffix) return Usage("route set needs --fwd or --suffix");
    if (!ctx.Lock("route set") || !ctx.Load(true)) return kExitFailed;
    const int index = ctx.doc.GetSiteIndex(from);
    if (index < 0) return Refused(MapEditResult::InvalidSelection);
    for (auto [value, column] : {std::pair{&suffix, RouteColumn::MailSuffix}, std::pair{&fwd, RouteColumn::AccessCode}}) {
        if (!*value) continue;
        MapEditResult r = MapSetRouteCell(ctx.doc, index, to, column, **value);
        if (r != MapEditResult::Changed && r != MapEditResult::Unchanged) return Refused(r);
    }
    // The to site's template follows even an unchanged value, so save in either case.
    return ctx.Save() ? kExitOk : kExitFailed;
}

int RunOptionsCommand(CliContext& ctx, const std::vector<std::string>& argv) {
    CArgs args;
    std::string error;
    if (!args.Parse(argv, {"reload", "remember", "relocation", "relocate-vm", "mb-user", "mb-password"}, error))
        return Usage(error);
    const auto& w = args.Words();
    if (w.size() != 1 || w[0] != "set") return Usage("usage: options set [--reload 0|1] ...");
    struct Flag {
        const char* name;
        bool CQOBDoc::*member;
    };
    const Flag flags[] = {{"reload", &CQOBDoc::m_bReload},
                          {"remember", &CQOBDoc::m_bRemember},
                          {"relocation", &CQOBDoc::m_bRelocation},
                          {"relocate-vm", &CQOBDoc::m_bRelocateVM}};
    bool values[4] = {};
    for (int i = 0; i < 4; ++i) {
        auto v = args.Get(flags[i].name);
        if (v && !ParseBool(*v, values[i])) return Usage(std::string("--") + flags[i].name + " takes 0 or 1");
    }
    std::optional<std::string> user, password;
    if (!TextOption(args, "mb-user", "default mailbox account", kMaxDefaultMBUser, user) ||
        !TextOption(args, "mb-password", "default mailbox password", kMaxDefaultMBPassword, password))
        return kExitUsage;
    if (!ctx.Lock("options set") || !ctx.Load(true)) return kExitFailed;
    for (int i = 0; i < 4; ++i)
        if (args.Has(flags[i].name)) ctx.doc.*(flags[i].member) = values[i];
    if (user) {
        if (!IsStorableText(*user)) return Refused(MapEditResult::UnstorableText);
        ctx.doc.SetDefaultMBUser(*user);
    }
    if (password) {
        if (!IsStorableSecret(*password)) return Refused(MapEditResult::UnstorableText);
        ctx.doc.SetDefaultMBPassword(*password);
    }
    return ctx.Save() ? kExitOk : kExitFailed;
}
