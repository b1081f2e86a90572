#include "cli/CliContext.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/CodePage.h"
#include "platform/Strings.h"

CliContext::CliContext(const std::string& d) : dir(d), frame(d.empty() ? "QOB.log" : d + "/QOB.log") {
    doc.SetWorkDir(d);
    doc.SetFrame(&frame);
}

void CliContext::Interrupt() {
    interrupted = true;
    engine.Cancel();
}

int RunOnEngine(CliContext& ctx, const std::function<int()>& work) {
    int result = kExitFailed;
    ctx.doc.SetJobs(ctx.jobs);
    const bool started = ctx.engine.Start([&](std::stop_token token) {
        ctx.doc.SetStopToken(std::move(token));
        result = work();
    });
    if (!started) return kExitFailed;
    // A Ctrl+C that came before the command started stops it too.
    if (ctx.interrupted) ctx.engine.Cancel();
    ctx.engine.Wait();
    EndProgressLine();
    if (ctx.doc.Cancelled()) {
        PrintErr("qob-cli: " + platform::LoadString(46257));
        return kExitFailed;
    }
    return result;
}

bool CliContext::Lock(const std::string& command) {
    std::string error;
    if (doc.LockConfig("qob-cli " + command, error)) return true;
    PrintErr("qob-cli: " + error);
    return false;
}

bool CliContext::Load(bool allowMissing) {
    struct stat st {};
    if (::stat(doc.ConfigPath().c_str(), &st) != 0 && errno == ENOENT) {
        if (allowMissing) return true;
        PrintErr("There is no configuration file " + doc.ConfigPath() + ".");
        return false;
    }
    const int shownBefore = frame.MessagesShown();
    if (doc.LoadConfig()) {
        if (doc.HasDuplicateIP()) frame.MessageBox(platform::LoadString(44613), MB_OK, "QOB");
        return true;
    }
    // A parse error has been shown with the program's own message; say why for the others.
    if (frame.MessagesShown() == shownBefore) PrintErr(doc.GetConfigError());
    return false;
}

bool CliContext::Save() {
    if (doc.SaveConfig()) return true;
    PrintErr(doc.GetConfigError());
    return false;
}

std::string ArgProblem(const std::string& what, const std::string& utf8, size_t max, std::string& out) {
    platform::TextProblem problem;
    if (!platform::Utf8ToCodePageExact(utf8, out, &problem)) return "the " + what + " " + problem.Describe();
    if (max == 0 || out.size() <= max) return std::string();
    size_t characters = 0;
    for (unsigned char c : utf8) characters += (c & 0xC0) != 0x80;
    const std::string unit = characters == out.size() ? " characters" : " bytes in the code page " + platform::CodePageName();
    return "the " + what + " is " + std::to_string(out.size()) + unit + " long, more than the " + std::to_string(max) +
           " it may have";
}

bool ArgToCodePage(const std::string& arg, const std::string& what, const std::string& utf8, size_t max,
                   std::string& out) {
    const std::string problem = ArgProblem(what, utf8, max, out);
    if (problem.empty()) return true;
    PrintErr("qob-cli: " + arg + ": " + problem + "; nothing was changed");
    return false;
}
