// qob-cli download: what the Sites Download command does, with the sites and passwords taken from
// the command line and the questions answered by --yes. Standard output gets the merged rows, as
// the extension list shows them (or as CSV with --csv).
#include "cli/Args.h"
#include "cli/CliContext.h"
#include "cli/ListOutput.h"
#include "cli/SiteSelection.h"
#include "document/RowText.h"
#include "platform/Strings.h"

namespace {

const char* kDownloadUsage =
    "usage: qob-cli [--dir DIR] download SITE SITE... [--password SITE=PW]... [--password-stdin] [--yes]\n"
    "                                    [--csv]";

int Usage() {
    PrintErr(kDownloadUsage);
    return kExitUsage;
}

int Usage(const std::string& error) {
    PrintErr("qob-cli: " + error);
    return Usage();
}

}  // namespace

int RunDownloadCommand(CliContext& ctx, const std::vector<std::string>& argv, std::istream& in) {
    CArgs args;
    std::string error;
    if (!args.Parse(argv, OptionSpec{{"password"}, {"password-stdin", "yes", "csv"}, {"password"}}, error))
        return Usage(error);
    SiteSelection selection;
    for (const std::string& word : args.Words())
        if (!AddSiteName(selection, word, error)) return Usage(error);
    if (selection.names.size() < 2) return Usage(platform::LoadString(44601));
    if (!TakePasswords(args, in, selection, error)) return Usage(error);

    if (!ctx.Lock("download") || !ctx.Load(false)) return kExitFailed;
    return RunOnEngine(ctx, [&] {
        bool saved = false;
        const bool downloaded = DownloadSelection(ctx, selection, args.Has("yes"), saved);
        // A cancelled download lists nothing: the list would be a part of the sites'.
        if (downloaded && !ctx.doc.Cancelled())
            PrintExtensionList(ctx.doc, args.Has("csv"));
        return downloaded && saved ? kExitOk : kExitFailed;
    });
}
