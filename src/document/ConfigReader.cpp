// Reading "Plexar.xml" with expat, element by element, into the document.
#include <expat.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "document/Encrypt.h"
#include "document/QOBDoc.h"
#include "document/Utf8.h"
#include "platform/AtomicFile.h"
#include "platform/Strings.h"

namespace {

struct ParserDeleter {
    void operator()(XML_ParserStruct* p) const { XML_ParserFree(p); }
};

}  // namespace

class CConfigReader {
public:
    explicit CConfigReader(CQOBDoc& doc) : m_doc(doc) {}

    static void XMLCALL Start(void* user, const XML_Char* name, const XML_Char**) {
        static_cast<CConfigReader*>(user)->OnStart(name);
    }
    static void XMLCALL End(void* user, const XML_Char* name) { static_cast<CConfigReader*>(user)->OnEnd(name); }
    static void XMLCALL Text(void* user, const XML_Char* s, int len) {
        static_cast<CConfigReader*>(user)->OnText(std::string_view(s, len > 0 ? static_cast<size_t>(len) : 0));
    }

private:
    const std::string& Top() const { return m_stack.back(); }
    const std::string* Parent() const { return m_stack.size() >= 2 ? &m_stack[m_stack.size() - 2] : nullptr; }
    bool ParentIs(const char* name) const {
        const std::string* p = Parent();
        return p && *p == name;
    }
    MapEntry* CurrentRoute() {
        return m_currentRoute < m_site.Routes.size() ? &m_site.Routes[m_currentRoute] : nullptr;
    }

    void OnStart(const char* name) {
        if (std::strcmp(name, "Site") == 0) {
            m_site = SiteRec();
            m_currentRoute = kNoRoute;
            m_siteLevel = true;
        } else if (std::strcmp(name, "Option") == 0) {
            m_optionName.clear();
        } else if (std::strcmp(name, "To") == 0) {
            m_site.Routes.emplace_back();
            m_currentRoute = m_site.Routes.size() - 1;
            m_siteLevel = false;
        }
        m_stack.emplace_back(name);
    }

    void OnEnd(const char* name) {
        if (std::strcmp(name, "Site") == 0) {
            m_doc.m_sites.push_back(std::move(m_site));
            m_site = SiteRec();
            m_currentRoute = kNoRoute;
        } else if (std::strcmp(name, "Value") == 0 && ParentIs("Option") && m_optionName == "DefaultMBPassword") {
            m_doc.m_strDefaultMBPassword = UnscrambleText(m_doc.m_strDefaultMBPassword);
        } else if (m_siteLevel && std::strcmp(name, "DayWhite") == 0) {
            m_site.DayWhite = UnscrambleText(m_site.DayWhite);
        } else if (m_siteLevel && std::strcmp(name, "MBPassword") == 0) {
            m_site.MBPassword = UnscrambleText(m_site.MBPassword);
        }
        if (!m_stack.empty()) m_stack.pop_back();
    }

    void OnText(std::string_view piece) {
        if (m_stack.empty()) return;
        const std::string& top = Top();
        if (top == "Name") {
            if (ParentIs("Site")) {
                AppendField(m_site.Name, Utf8Decode(piece), kMaxSiteName);
            } else if (ParentIs("To")) {
                if (MapEntry* e = CurrentRoute()) AppendField(e->Name, Utf8Decode(piece), kMaxSiteName);
            } else if (ParentIs("Option")) {
                m_optionName.append(piece);
            }
        } else if (top == "Value") {
            if (ParentIs("Option")) OnOptionValue(piece);
        } else if (top == "IP") {
            if (ParentIs("Site")) m_site.IP = IPFromText(std::string(piece));
        } else if (m_siteLevel) {
            if (top == "VMATempl") AppendField(m_site.VMATempl, Utf8Decode(piece), kMaxVMATempl);
            else if (top == "FWDTempl") AppendField(m_site.FWDTempl, Utf8Decode(piece), kMaxFWDTempl);
            else if (top == "DayWhite") AppendField(m_site.DayWhite, Utf8Decode(piece), kMaxDayWhite);
            else if (top == "MBAccount") AppendField(m_site.MBAccount, Utf8Decode(piece), kMaxMBAccount);
            else if (top == "MBPassword") AppendField(m_site.MBPassword, Utf8Decode(piece), kMaxMBPassword);
        } else if (MapEntry* e = CurrentRoute()) {
            if (top == "VMAPostfix") AppendField(e->VMAPostfix, Utf8Decode(piece), kMaxVMAPostfix);
            else if (top == "FwdPattern") AppendField(e->FwdPattern, Utf8Decode(piece), kMaxFwdPattern);
        }
    }

    void OnOptionValue(std::string_view piece) {
        const bool on = !piece.empty() && piece[0] == '1';
        if (m_optionName == "Reload") m_doc.m_bReload = on;
        else if (m_optionName == "Remember") m_doc.m_bRemember = on;
        else if (m_optionName == "Relocation") m_doc.m_bRelocation = on;
        else if (m_optionName == "RelocateVM") m_doc.m_bRelocateVM = on;
        else if (m_optionName == "DefaultMBUser") m_doc.m_strDefaultMBUser += Utf8Decode(piece);
        else if (m_optionName == "DefaultMBPassword") m_doc.m_strDefaultMBPassword += Utf8Decode(piece);
    }

    static constexpr size_t kNoRoute = static_cast<size_t>(-1);

    CQOBDoc& m_doc;
    std::vector<std::string> m_stack;
    SiteRec m_site;
    size_t m_currentRoute = kNoRoute;
    bool m_siteLevel = false;
    std::string m_optionName;
};

bool CQOBDoc::LoadConfig() {
    m_strConfigError.clear();
    const std::string path = ConfigPath();
    CEfsFileGuard guard(path);

    // A pipe or a device named "Plexar.xml" is refused before it is opened: reading one would
    // wait for a writer that never comes, or take whatever the device gives.
    if (!platform::IsRegularOrMissing(path, m_strConfigError)) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        m_strConfigError = "Cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    std::unique_ptr<FILE, int (*)(FILE*)> file(::fdopen(fd, "rb"), &std::fclose);
    struct stat st {};
    if (!file || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (!file) ::close(fd);
        m_strConfigError = "Cannot read " + path + ": not a regular file";
        return false;
    }
    const std::string tooLarge = path + " is larger than " + std::to_string(kMaxConfigBytes) +
                                 " bytes, too large to be a configuration file.";
    if (static_cast<unsigned long long>(st.st_size) > kMaxConfigBytes) {
        m_strConfigError = tooLarge;
        return false;
    }
    // Read as text: each CR LF pair becomes one LF.
    std::string text;
    text.reserve(static_cast<size_t>(st.st_size));
    char chunk[65536];
    bool pendingCR = false;
    size_t n, total = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
        total += n;
        if (total > kMaxConfigBytes) {  // it grew while being read
            m_strConfigError = tooLarge;
            return false;
        }
        for (size_t i = 0; i < n; ++i) {
            char c = chunk[i];
            if (pendingCR && c != '\n') text.push_back('\r');
            pendingCR = c == '\r';
            if (!pendingCR) text.push_back(c);
        }
    }
    if (pendingCR) text.push_back('\r');
    if (std::ferror(file.get())) {
        m_strConfigError = "Cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    file.reset();

    std::unique_ptr<XML_ParserStruct, ParserDeleter> parser(XML_ParserCreate(nullptr));
    if (!parser) {
        m_strConfigError = "Cannot create the XML parser.";
        return false;
    }
    CConfigReader reader(*this);
    XML_SetUserData(parser.get(), &reader);
    XML_SetElementHandler(parser.get(), &CConfigReader::Start, &CConfigReader::End);
    XML_SetCharacterDataHandler(parser.get(), &CConfigReader::Text);

    ClearSites();
    m_strDefaultMBUser.clear();
    m_strDefaultMBPassword.clear();

    if (XML_Parse(parser.get(), text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_ERROR) {
        const char* reason = XML_ErrorString(XML_GetErrorCode(parser.get()));
        const std::string message = platform::FormatString(44604, reason ? reason : "");
        m_strConfigError = message;
        Message(message);
        return false;
    }
    return true;
}
