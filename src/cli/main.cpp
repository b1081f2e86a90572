// qob-cli: the headless front end over the same document as the program.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/CliContext.h"
#include "com/ProxyRegistration.h"
#include "com/Runtime.h"
#include "platform/Strings.h"

namespace {

const char* kHelp =
    "usage: qob-cli [--dir DIR] COMMAND [ARGS]\n"
    "\n"
    "Works in DIR (default: the current directory), which holds Plexar.xml and QOB.log.\n"
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
    "  download SITE SITE... [--password SITE=PW]... [--password-stdin] [--yes]\n"
    "                                          download the sites and print the merged list, one\n"
    "                                          tab-separated row per extension number\n"
    "  sync SITE SITE... [--password SITE=PW]... [--password-stdin] [--yes] [--dry-run] NUMBER[=HOME]...\n"
    "                                          download the sites, synchronise the numbers (to HOME,\n"
    "                                          else the list's home), print the list; --dry-run\n"
    "                                          sends nothing and prints what would be sent\n"
    "  delete SITE SITE... [--password SITE=PW]... [--password-stdin] --scope virtual|all [--yes] NUMBER...\n"
    "                                          delete the numbers on every site (virtual: only the\n"
    "                                          forwarding copies); without --yes prints what would be\n"
    "                                          deleted and deletes nothing\n"
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
    "exit status: 0 done, 1 refused or failed (message on stderr), 2 bad usage\n";

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string dir;
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
        } else {
            break;
        }
    }
    if (i >= args.size()) {
        std::fputs(kHelp, stderr);
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
    if (command == "sites") return RunSitesCommand(ctx, rest);
    if (command == "save") return RunSaveCommand(ctx, rest);
    if (command == "site") return RunSiteCommand(ctx, rest);
    if (command == "route") return RunRouteCommand(ctx, rest);
    if (command == "options") return RunOptionsCommand(ctx, rest);
    if (command == "download") return RunDownloadCommand(ctx, rest, std::cin);
    if (command == "sync") return RunSyncCommand(ctx, rest, std::cin);
    if (command == "delete") return RunDeleteCommand(ctx, rest, std::cin);
    std::fprintf(stderr, "qob-cli: unknown command \"%s\" (see qob-cli --help)\n", command.c_str());
    return kExitUsage;
}
