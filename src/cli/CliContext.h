// What every qob-cli command works with: the working directory, its document and the frame.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "cli/CliFrame.h"
#include "document/QOBDoc.h"

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct CliContext {
    explicit CliContext(const std::string& dir);

    std::string dir;
    CCliFrame frame;
    CQOBDoc doc;

    // Loads "Plexar.xml". With `allowMissing`, a directory without the file starts from an empty
    // configuration. Any other failure is reported and gives false.
    bool Load(bool allowMissing);
    // Saves and reports a failure; false when the file was not written.
    bool Save();
};

// A command-line word (UTF-8) as code-page text; false, with a message, when it cannot be.
bool ArgToCodePage(const std::string& what, const std::string& utf8, std::string& out);

int RunSitesCommand(CliContext& ctx, const std::vector<std::string>& args);
int RunSaveCommand(CliContext& ctx, const std::vector<std::string>& args);
int RunSiteCommand(CliContext& ctx, const std::vector<std::string>& args);
int RunRouteCommand(CliContext& ctx, const std::vector<std::string>& args);
int RunOptionsCommand(CliContext& ctx, const std::vector<std::string>& args);
// `in` supplies the passwords of --password-stdin.
int RunDownloadCommand(CliContext& ctx, const std::vector<std::string>& args, std::istream& in);
int RunSyncCommand(CliContext& ctx, const std::vector<std::string>& args, std::istream& in);
int RunDeleteCommand(CliContext& ctx, const std::vector<std::string>& args, std::istream& in);
