// qob-cli: the headless front end over the same document as the program.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliContext.h"
#include "cli/Interrupt.h"
#include "com/ProxyRegistration.h"
#include "com/Runtime.h"
#include "platform/Strings.h"

namespace {

const char* kHelp =
    "usage: qob-cli [--dir DIR] [--jobs N] [--progress] COMMAND [ARGS]\n"
    "\n"
    "Works in DIR (default: the current directory), which holds Plexar.xml and QOB.log.\n"
    "--jobs N: download, sync and delete work on N sites at once (1 to 64; default: the\n"
    "number set in the program's Options, else 8). --progress: show what runs and how far on\n"
    "one line of stderr, rewritten in place (the default when stderr is a terminal).\n"
    "\n"
    "commands:\n"
    "  sites                                   show the sites, their routes and the options\n"
    "  save                                    read the configuration and write it back\n"
    "  site add NAME IP [--mb-account A] [--mb-password P]\n"
    "  site edit NAME [--name N] [--ip IP] [--mb-account A] [--mb-password P]\n"
    "  site remove NAME\n"
    "  route set FROM TO [--fwd CODE] [--suffix SUFFIX]\n"
    "  options set [--reload 0|1] [--remember 0|1] [--relocation 0|1] [--relocate-vm 0|1]\n"
    "              [--mb-user U] [--mb-password P]\n"
    "  download SITE SITE... [--password SITE=PW]... [--password-stdin] [--yes] [--csv]\n"
    "                                          download the sites and print the merged list, one\n"
    "                                          tab-separated row per extension number (--csv: as\n"
    "                                          comma-separated values behind a heading row)\n"
    "  sync SITE SITE... [--password SITE=PW]... [--password-stdin] [--yes] [--dry-run] [--csv]\n"
    "       NUMBER[=HOME]...\n"
    "                                          download the sites, synchronise the numbers (to HOME,\n"
    "                                          else the list's home), print the list; --dry-run\n"
    "                                          sends nothing and prints what would be sent\n"
    "  delete SITE SITE... [--password SITE=PW]... [--password-stdin] --scope virtual|all [--yes] NUMBER...\n"
    "                                          delete the numbers on every site (virtual: only the\n"
    "                                          forwarding copies); without --yes prints what would be\n"
    "                                          deleted and deletes nothing\n"
    "  history [ID|last] [--incomplete]        the commands that changed sites (from QOB.journal), or\n"
    "                                          every change of one, per site, with what it changed\n"
    "  history ID|last --check [--password SITE=PW]... [--password-stdin]\n"
    "                                          download its sites: which of its changes reached them\n"
    "  undo ID|last [--password SITE=PW]... [--password-stdin] [--yes] [--dry-run] [--force]\n"
    "                                          put the sites back as they were before that command;\n"
    "                                          without --yes prints what it would send\n"
    "  retry ID|last [--password SITE=PW]... [--password-stdin] [--yes] [--dry-run]\n"
    "                                          run again the numbers that failed or were cancelled\n"
    "  register                                register the proxy library (the package does it when\n"
    "                                          installed) and do nothing else\n"
    "\n"
    "download: --password-stdin reads SITE=PW lines (blank lines skipped). A named site without a\n"
    "password uses the remembered one when the option Remember is on, none otherwise. Passwords are\n"
    "cleared from Plexar.xml afterwards unless Remember is on. Questions are answered No unless\n"
    "--yes is given. Log lines go to stderr and QOB.log. sync and delete take the sites first, then\n"
    "the numbers; they download as download does (passwords, questions) and exit 1 when any number\n"
    "failed.\n"
    "\n"
    "Ctrl+C stops a download, sync or delete after the call in flight (the log says what was done);\n"
    "the command then exits 1. A second Ctrl+C ends qob-cli at once.\n"
    "\n"
    "exit status: 0 done, 1 refused or failed (message on stderr), 2 bad usage\n";

}  // namespace

// The value of --jobs: a whole number from 1 to the document's limit; -1 when it is not one.
int ParseJobs(const std::string& text) {
    if (text.empty() || text.size() > 2) return -1;
    int n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    return n >= 1 && n <= CQOBDoc::kMaxJobs ? n : -1;
}

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string dir;
    std::string jobsText;
    bool jobsGiven = false;
    bool progress = ::isatty(STDERR_FILENO) == 1;
    size_t i = 0;
    for (; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            std::fputs(kHelp, stdout);
            return kExitOk;
        }
        if (args[i] == "--dir") {
            if (i + 1 >= args.size()) {
                std::fputs("qob-cli: --dir needs a directory\n", stderr);
                return kExitUsage;
            }
            dir = args[++i];
        } else if (args[i].rfind("--dir=", 0) == 0) {
            dir = args[i].substr(6);
        } else if (args[i] == "--jobs") {
            if (i + 1 >= args.size()) {
                std::fputs("qob-cli: --jobs needs a number from 1 to 64\n", stderr);
                return kExitUsage;
            }
            jobsText = args[++i];
            jobsGiven = true;
        } else if (args[i].rfind("--jobs=", 0) == 0) {
            jobsText = args[i].substr(7);
            jobsGiven = true;
        } else if (args[i] == "--progress") {
            progress = true;
        } else {
            break;
        }
    }
    if (i >= args.size()) {
        std::fputs(kHelp, stderr);
        return kExitUsage;
    }
    int jobs = 0;
    if (jobsGiven && (jobs = ParseJobs(jobsText)) < 0) {
        std::fprintf(stderr, "qob-cli: --jobs: \"%s\" is not a number from 1 to %d\n", jobsText.c_str(), CQOBDoc::kMaxJobs);
        return kExitUsage;
    }
    const std::string command = args[i];
    std::vector<std::string> rest(args.begin() + static_cast<long>(i) + 1, args.end());

    // As the program starts: the runtime for this thread, calls without authentication, and the
    // proxy library, without which no remote call can be marshaled.
    if (com::FAILED(com::OleInitialize())) {
        PrintErr("Warning: OleInitialize() Call Failed!");
        return kExitFailed;
    }
    struct RuntimeGuard {
        ~RuntimeGuard() { com::OleUninitialize(); }
    } runtime;
    if (com::FAILED(com::CoInitializeSecurity(-1, com::RPC_C_AUTHN_LEVEL_NONE, com::RPC_C_IMP_LEVEL_ANONYMOUS, com::EOAC_NONE))) {
        PrintErr("Warning: CoInitializeSecurity() call failed");
        return kExitFailed;
    }
    if (!com::EnsureProxyLibraryRegistered()) {
        PrintErr(platform::LoadString(44609));
        return kExitFailed;
    }

    if (command == "register") return rest.empty() ? kExitOk : (PrintErr("qob-cli: register takes no arguments"), kExitUsage);

    CliContext ctx(dir);
    ctx.jobs = jobsGiven ? jobs : LoadJobsSetting();
    EnableProgressLine(progress);
    // Ctrl+C stops a command on the engine (the main thread only waits for it); the others end as
    // a program ends on Ctrl+C.
    std::optional<CInterruptWatcher> interrupts;
    if (command == "download" || command == "sync" || command == "delete" || command == "undo" || command == "retry" ||
        command == "history")
        interrupts.emplace([&ctx] { ctx.Interrupt(); });
    if (command != "history") WarnIncompleteCommands(ctx);
    if (command == "sites") return RunSitesCommand(ctx, rest);
    if (command == "save") return RunSaveCommand(ctx, rest);
    if (command == "site") return RunSiteCommand(ctx, rest);
    if (command == "route") return RunRouteCommand(ctx, rest);
    if (command == "options") return RunOptionsCommand(ctx, rest);
    if (command == "download") return RunDownloadCommand(ctx, rest, std::cin);
    if (command == "sync") return RunSyncCommand(ctx, rest, std::cin);
    if (command == "delete") return RunDeleteCommand(ctx, rest, std::cin);
    if (command == "history") return RunHistoryCommand(ctx, rest, std::cin);
    if (command == "undo") return RunUndoCommand(ctx, rest, std::cin);
    if (command == "retry") return RunRetryCommand(ctx, rest, std::cin);
    std::fprintf(stderr, "qob-cli: unknown command \"%s\" (see qob-cli --help)\n", command.c_str());
    return kExitUsage;
}
