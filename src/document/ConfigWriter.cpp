// Writing "Plexar.xml": the program's own string building, byte for byte, then an atomic replace.
#include <sys/stat.h>

#include "document/Encrypt.h"
#include "document/QOBDoc.h"
#include "document/Utf8.h"
#include "platform/AtomicFile.h"
#include "platform/FileLock.h"

namespace {

constexpr const char* kCRLF = "\r\n";

class TextBuilder {
public:
    explicit TextBuilder(std::string* error) : m_error(error) {}

    void Raw(const char* s) { m_text += s; }
    // A text value: code page to UTF-8, then escaped. `what` names it when it cannot be stored.
    void Value(const std::string& v, const char* what, const std::string& site) {
        if (!IsStorableText(v)) Fail(what, site);
        m_text += XmlEscape(Utf8Encode(v));
    }
    void Secret(const std::string& v, const char* what, const std::string& site) {
        if (!IsStorableSecret(v)) Fail(what, site);
        m_text += XmlEscape(Utf8Encode(ScrambleText(v)));
    }
    bool ok() const { return m_ok; }
    std::string& text() { return m_text; }

private:
    void Fail(const char* what, const std::string& site) {
        if (!m_ok) return;
        m_ok = false;
        if (m_error) {
            *m_error = std::string("The ") + what;
            if (!site.empty()) *m_error += " of site \"" + site + "\"";
            *m_error += " contains a character that the configuration file cannot hold.";
        }
    }

    std::string m_text;
    std::string* m_error;
    bool m_ok = true;
};

}  // namespace

std::string CQOBDoc::BuildConfigText(std::string* error) const {
    TextBuilder b(error);
    b.Raw("\xEF\xBB\xBF");
    b.Raw("<?xml version=\"1.0\" encoding=\"UTF-8\" ?>");
    b.Raw(kCRLF);
    b.Raw("<Plexar>\r\n<Sites>\r\n");
    for (const SiteRec& s : m_sites) {
        b.Raw("<Site>\r\n<Name>");
        b.Value(s.Name, "name", s.Name);
        b.Raw("</Name><IP>");
        b.Raw(IPToText(s.IP).c_str());
        b.Raw("</IP>\r\n<MBAccount>");
        b.Value(s.MBAccount, "mailbox account", s.Name);
        b.Raw("</MBAccount><MBPassword>");
        b.Secret(s.MBPassword, "mailbox password", s.Name);
        b.Raw("</MBPassword>\r\n<VMATempl>");
        b.Value(s.VMATempl, "mail forwarding suffix template", s.Name);
        b.Raw("</VMATempl><FWDTempl>");
        b.Value(s.FWDTempl, "forward access code template", s.Name);
        b.Raw("</FWDTempl>\r\n<DayWhite>");
        b.Secret(s.DayWhite, "server password", s.Name);
        b.Raw("</DayWhite>\r\n");
        for (const MapEntry& e : s.Routes) {
            // A route to a site that no longer exists has no address to write; the routes after
            // it are still written.
            int to = GetSiteIndex(e.Name);
            if (to < 0) continue;
            b.Raw("<To><Name>");
            b.Value(e.Name, "route name", s.Name);
            b.Raw("</Name><IP>");
            b.Raw(IPToText(m_sites[to].IP).c_str());
            b.Raw("</IP>\r\n<VMAPostfix>");
            b.Value(e.VMAPostfix, "mail forwarding suffix", s.Name);
            b.Raw("</VMAPostfix><FwdPattern>");
            b.Value(e.FwdPattern, "forward access code", s.Name);
            b.Raw("</FwdPattern></To>\r\n");
        }
        b.Raw("</Site>\r\n");
    }
    b.Raw("</Sites>\r\n<Options>\r\n");
    auto flag = [&](const char* name, bool v) {
        b.Raw("<Option><Name>");
        b.Raw(name);
        b.Raw("</Name><Value>");
        b.Raw(v ? "1" : "0");
        b.Raw("</Value></Option>\r\n");
    };
    flag("Reload", m_bReload);
    flag("Remember", m_bRemember);
    flag("Relocation", m_bRelocation);
    flag("RelocateVM", m_bRelocateVM);
    b.Raw("<Option><Name>DefaultMBUser</Name><Value>");
    b.Value(m_strDefaultMBUser, "default mailbox account", "");
    b.Raw("</Value></Option>\r\n");
    b.Raw("<Option><Name>DefaultMBPassword</Name><Value>");
    b.Secret(m_strDefaultMBPassword, "default mailbox password", "");
    b.Raw("</Value></Option>\r\n");
    b.Raw("</Options>\r\n</Plexar>\r\n");
    if (!b.ok()) return std::string();
    return std::move(b.text());
}

bool CQOBDoc::SaveConfig() {
    m_strConfigError.clear();
    const std::string text = BuildConfigText(&m_strConfigError);
    if (text.empty()) return false;  // a value the file cannot hold: keep the old file as it is
    const std::string path = ConfigPath();
    // The next start would refuse a larger file, and with it every command after this one.
    if (text.size() > kMaxConfigBytes) {
        m_strConfigError = "The configuration would take " + std::to_string(text.size()) + " bytes, more than the " +
                           std::to_string(kMaxConfigBytes) + " a configuration file may hold; " + path +
                           " was not written.";
        return false;
    }

    CEfsFileGuard guard(path);
    // Nobody else writes the file while the lock is held, so a temporary file beside it can only
    // be what a killed save left: it may hold the passwords, scrambled.
    if (IsConfigLocked()) platform::RemoveLeftTemporaries(path);

    // A new file beside the old one replaces it only when complete, so a crash or a full disk
    // never leaves a cut file. The file holds server passwords: owner only.
    return platform::WriteFileAtomic(path, text, S_IRUSR | S_IWUSR, m_strConfigError);
}

bool CQOBDoc::LockConfig(const std::string& what, std::string& error) {
    const std::string path = ConfigPath();
    const int timeoutMs = platform::LockTimeoutMs();
    platform::LockHolder holder;
    switch (m_configLock.Acquire(platform::LockPathFor(path), what, timeoutMs, nullptr, holder, error)) {
        case platform::FileLock::Result::Locked: return true;
        case platform::FileLock::Result::Failed: return false;
        case platform::FileLock::Result::Busy:
        case platform::FileLock::Result::TimedOut: break;
    }
    error = path + " is being changed by " + holder.Describe() + ", which did not finish within " +
            std::to_string(timeoutMs) + " ms; nothing was changed.";
    return false;
}
