#include "cli/CliContext.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/CodePage.h"
#include "platform/Strings.h"

CliContext::CliContext(const std::string& d) : dir(d), frame(d.empty() ? "QOB.log" : d + "/QOB.log") {
    doc.SetWorkDir(d);
    doc.SetFrame(&frame);
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

bool ArgToCodePage(const std::string& what, const std::string& utf8, std::string& out) {
    out = platform::Utf8ToCodePage(utf8);
    if (platform::CodePageToUtf8(out) == utf8) return true;
    PrintErr("The " + what + " \"" + out + "\" has a character that the code page " + platform::CodePageName() +
             " cannot represent.");
    return false;
}
