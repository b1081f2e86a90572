// What every qob-cli command works with: the working directory, its document and the frame.
#pragma once

#include <atomic>
#include <functional>
#include <istream>
#include <string>
#include <vector>

#include "cli/CliFrame.h"
#include "document/Engine.h"
#include "document/QOBDoc.h"

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct CliContext {
    explicit CliContext(const std::string& dir);

    std::string dir;
    CCliFrame frame;
    CQOBDoc doc;
    // How many sites a command works on at once (--jobs, else the user's setting).
    int jobs = CQOBDoc::kDefaultJobs;
    // The engine thread the document's commands run on; last, so it ends before the rest goes.
    CEngine engine;
    std::atomic<bool> interrupted{false};
    // A retry: the command it runs again, as its journal entry names it.
    uint64_t retryOf = 0;

    // Ctrl+C: stops the command that runs, or the next one as soon as it starts. Any thread.
    void Interrupt();

    // Takes the configuration's lock for a command that changes it (`command` names it in the
    // message another command may give); false, reported, when it stays taken too long. Held
    // until the context ends, so that another command's read-change-write waits for this one's.
    bool Lock(const std::string& command);
    // Loads "Plexar.xml". With `allowMissing`, a directory without the file starts from an empty
    // configuration. Any other failure is reported and gives false.
    bool Load(bool allowMissing);
    // Saves and reports a failure; false when the file was not written.
    bool Save();
};

// Runs a command's work with the document on the engine thread and waits for it. Its result, or
// kExitFailed when the command was cancelled (the document logs what was done and not).
int RunOnEngine(CliContext& ctx, const std::function<int()>& work);

// A command-line text (UTF-8) as code-page text. False, after a message naming the argument
// (`arg`: "NAME", "--mb-account"), what it is and the limit, when the text is not valid UTF-8,
// has a character the code page cannot hold, or takes more than `max` bytes in the code page
// (the field it goes to; 0: no limit). Nothing is cut or substituted.
bool ArgToCodePage(const std::string& arg, const std::string& what, const std::string& utf8, size_t max,
                   std::string& out);
// Why a text cannot be taken, as ArgToCodePage says it ("the site name is 40 characters long,
// more than the 31 it may have"); empty when it can, with `out` the code-page text.
std::string ArgProblem(const std::string& what, const std::string& utf8, size_t max, std::string& out);

int RunSitesCommand(CliContext& ctx, const std::vector<std::string>& args);
int RunSaveCommand(CliContext& ctx, const std::vector<std::string>& args);
int RunSiteCommand(CliContext& ctx, const std::vector<std::string>& args);
int RunRouteCommand(CliContext& ctx, const std::vector<std::string>& args);
int RunOptionsCommand(CliContext& ctx, const std::vector<std::string>& args);
// `in` supplies the passwords of --password-stdin.
int RunDownloadCommand(CliContext& ctx, const std::vector<std::string>& args, std::istream& in);
int RunSyncCommand(CliContext& ctx, const std::vector<std::string>& args, std::istream& in);
int RunDeleteCommand(CliContext& ctx, const std::vector<std::string>& args, std::istream& in);
int RunHistoryCommand(CliContext& ctx, const std::vector<std::string>& args, std::istream& in);
int RunUndoCommand(CliContext& ctx, const std::vector<std::string>& args, std::istream& in);
int RunRetryCommand(CliContext& ctx, const std::vector<std::string>& args, std::istream& in);
// Says on stderr which commands of the change journal did not end (the program died in them).
void WarnIncompleteCommands(const CliContext& ctx);
