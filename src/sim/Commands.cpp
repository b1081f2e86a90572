#include "sim/Commands.h"

#include "platform/CodePage.h"
#include "com/RpcSettings.h"
#include "sim/CommandArgs.h"
#include "sim/Faults.h"
#include "sim/Latency.h"
#include "sim/ServeCommand.h"
#include "sim/Site.h"
#include "sim/SiteSetup.h"
#include "sim/StateLock.h"
#include "server/ExtRec.h"

namespace sim {

namespace {

const char* kUsage =
    "usage: zentsim COMMAND STATE [OPTIONS]\n"
    "\n"
    "  init STATE --name NAME [--version 0x0480] [--admin-password PW | --admin-hash HASH]\n"
    "       [--ext-length N] [--dial-plan CHAR=CLASS,...] [--location-code-length N]\n"
    "       [--tie-trunk-codes CODE,...] [--record-length L] [--force]\n"
    "  add STATE --number N --type physical|virtual|group|wireless|ip|application [--first F]\n"
    "       [--last L] [--email E] [--fwd-dial D] [--fwd-email A] [--forwarding] [--members M,M,...]\n"
    "  fault STATE [METHOD HRESULT|none [--after N] [--applied]] [--clear] [--absent IFACE] [--empty IFACE]\n"
    "       [--present IFACE] [--record-definition-fills] [--extension-list-extra N]\n"
    "       [--workgroup-list-extra N] [--workgroup-record-length N] [--mailbox-answer CODE|none]\n"
    "       [--delay-ms N] [--itg-table-bytes N|none] [--add-reply-blank]\n"
    "  dump STATE\n"
    "  serve STATE --address A [--port P] [--max-fragment N] [--max-connections N] [--journal FILE]\n"
    "       [--latency-ms N [--jitter-ms J]] [--no-scm-activator]\n"
    "\n"
    "exit status: 0 done, 1 failed (message on stderr), 2 bad usage\n";

struct Context {
    std::string& out;
    std::string& err;
    int Usage(const std::string& message) {
        err += "zentsim: " + message + "\n" + kUsage;
        return kExitUsage;
    }
    int Failed(const std::string& message) {
        err += "zentsim: " + message + "\n";
        return kExitFailed;
    }
};

// Text given on the command line is UTF-8; the server keeps the code page. A text that cannot
// be kept unchanged, or is longer than the `max` bytes of its field (0: no limit), is refused.
bool TextOption(const CommandArgs& a, const std::string& name, std::size_t max, std::optional<std::string>& out,
                std::string& error) {
    auto v = a.Get(name);
    if (!v) return true;
    std::string text;
    platform::TextProblem problem;
    if (!platform::Utf8ToCodePageExact(*v, text, &problem)) {
        error = "--" + name + ": the text " + problem.Describe();
        return false;
    }
    if (max && text.size() > max) {
        error = "--" + name + ": the text is " + std::to_string(text.size()) + " bytes long, more than the " +
                std::to_string(max) + " its field holds";
        return false;
    }
    out = std::move(text);
    return true;
}

// The field a text option goes to: its width less the terminating zero.
constexpr std::size_t Room(server::TextField f) { return f.width - 1; }

// Holds the state file's lock for a command that changes it; false (reported) when it cannot.
bool Lock(Context& c, platform::FileLock& lock, const std::string& path, const std::string& command, int& status) {
    std::string error;
    if (LockState(lock, path, "zentsim " + command, error)) return true;
    status = c.Failed(error);
    return false;
}

int Init(Context& c, const std::string& path, const CommandArgs& a) {
    InitOptions o;
    std::string error;
    long long v = 0;
    std::optional<std::string> name;
    if (!a.Get("name")) return c.Usage("init needs --name");
    if (!TextOption(a, "name", 0, name, error) || !TextOption(a, "admin-password", 0, o.adminPassword, error))
        return c.Usage(error);
    o.name = *name;
    if (auto t = a.Get("version")) {
        if (!ParseInteger(*t, 0, 0xFFFF, true, v)) return c.Usage("--version must be a 16-bit value such as 0x0480");
        o.version = uint16_t(v);
    }
    o.adminHash = a.Get("admin-hash");
    if (o.adminHash && !CheckAdminHash(*o.adminHash, error)) return c.Usage(error);
    if (auto t = a.Get("ext-length")) {
        if (!ParseInteger(*t, 1, kMaxExtNumberLength, false, v)) return c.Usage("--ext-length must be 1 to 16");
        o.extNumberLength = int32_t(v);
    }
    if (auto t = a.Get("dial-plan"); t && !ParseDialPlan(*t, o.dialPlan, error)) return c.Usage(error);
    if (auto t = a.Get("location-code-length")) {
        if (!ParseInteger(*t, 0, kMaxLocationCodeLength, false, v)) return c.Usage("--location-code-length must be 0 to 3");
        o.locationCodeLength = int32_t(v);
    }
    if (auto t = a.Get("tie-trunk-codes"))
        for (const std::string& code : SplitList(*t)) o.tieTrunkCodes.insert(code);
    if (auto t = a.Get("record-length")) {
        if (!ParseInteger(*t, kMinRecordLength, kMaxRecordLength, false, v))
            return c.Usage("--record-length must be " + std::to_string(kMinRecordLength) + " to 65535");
        o.recordLength = uint16_t(v);
    }
    SiteState state;
    if (!MakeSiteState(o, state, error)) return c.Usage(error);
    platform::FileLock lock;
    int status = kExitOk;
    if (!Lock(c, lock, path, "init", status)) return status;
    if (!Site::Create(std::move(state), path, a.Has("force"), error)) return c.Failed(error);
    return kExitOk;
}

int Add(Context& c, const std::string& path, const CommandArgs& a) {
    AddOptions o;
    if (!a.Get("number") || !a.Get("type")) return c.Usage("add needs --number and --type");
    o.ext.number = *a.Get("number");
    o.ext.type = *a.Get("type");
    std::string error;
    namespace ex = server::extrec;
    if (!TextOption(a, "first", Room(ex::kExtFirstName), o.ext.firstName, error) ||
        !TextOption(a, "last", Room(ex::kExtName), o.ext.lastName, error) ||
        !TextOption(a, "email", Room(ex::kEMailName), o.ext.email, error) ||
        !TextOption(a, "fwd-dial", Room(ex::kFwdDialString), o.ext.fwdDial, error) ||
        !TextOption(a, "fwd-email", Room(ex::kFwdEmailAddr), o.ext.fwdEmail, error))
        return c.Usage(error);
    o.ext.forwarding = a.Has("forwarding");
    if (auto m = a.Get("members")) o.members = SplitList(*m);
    platform::FileLock lock;
    int status = kExitOk;
    if (!Lock(c, lock, path, "add", status)) return status;
    auto site = Site::Open(path, error);
    if (!site) return c.Failed(error);
    if (!site->Modify([&](SiteState& s, std::string& e) { return AddToSite(s, o, e); }, error)) return c.Failed(error);
    return kExitOk;
}

bool SetInterface(Faults& f, const std::string& name, InterfaceAnswer answer, std::string& error) {
    if (!InterfaceIid(name)) {
        error = "\"" + name + "\" is not one of the server interfaces";
        return false;
    }
    if (answer == InterfaceAnswer::Present) f.interfaces.erase(name);
    else f.interfaces[name] = answer;
    return true;
}

int Fault(Context& c, const std::string& path, const CommandArgs& a) {
    const auto& pos = a.Positional();  // STATE, then METHOD HRESULT
    if (pos.size() != 1 && pos.size() != 3) return c.Usage("fault takes METHOD and HRESULT together");
    std::optional<MethodFault> methodFault;
    long long v = 0;
    if (pos.size() == 3) {
        if (!IsNamedMethod(pos[1])) return c.Usage("\"" + pos[1] + "\" is not a named method of the server interfaces");
        if (pos[2] != "none") {
            MethodFault mf;
            if (!ParseHResult(pos[2], mf.result)) return c.Usage("\"" + pos[2] + "\" is not an HRESULT");
            if (auto t = a.Get("after")) {
                if (!ParseInteger(*t, 0, UINT32_MAX, false, v)) return c.Usage("--after must be a call count");
                mf.after = uint32_t(v);
            }
            mf.applied = a.Has("applied");
            methodFault = mf;
        }
    } else if (a.Has("after") || a.Has("applied")) {
        return c.Usage("--after and --applied go with METHOD HRESULT");
    }
    std::string error;
    platform::FileLock lock;
    int status = kExitOk;
    if (!Lock(c, lock, path, "fault", status)) return status;
    auto site = Site::Open(path, error);
    if (!site) return c.Failed(error);
    auto change = [&](SiteState& s, std::string& e) {
        Faults f = a.Has("clear") ? Faults{} : s.faults;
        if (pos.size() == 3) {
            if (methodFault) f.methods[pos[1]] = *methodFault;
            else f.methods.erase(pos[1]);
        }
        for (auto [option, answer] : {std::pair{"absent", InterfaceAnswer::Absent}, std::pair{"empty", InterfaceAnswer::Empty},
                                      std::pair{"present", InterfaceAnswer::Present}})
            if (auto t = a.Get(option); t && !SetInterface(f, *t, answer, e)) return false;
        if (a.Has("record-definition-fills")) f.recordDefinitionFillsCapacity = true;
        if (a.Has("add-reply-blank")) f.addReplyBlank = true;
        if (auto t = a.Get("extension-list-extra")) {
            if (!ParseInteger(*t, 0, s.system.recordLength - 1, false, v)) {
                e = "--extension-list-extra must be 0 to the record length - 1";
                return false;
            }
            f.extensionListExtraBytes = uint32_t(v);
        }
        if (auto t = a.Get("workgroup-list-extra")) {
            if (!ParseInteger(*t, 0, kWorkgroupLength - 1, false, v)) {
                e = "--workgroup-list-extra must be 0 to 4299";
                return false;
            }
            f.workgroupListExtraBytes = uint32_t(v);
        }
        if (auto t = a.Get("workgroup-record-length")) {
            if (!ParseInteger(*t, 0, kWorkgroupLength, false, v) || (v != 0 && v < 34)) {
                e = "--workgroup-record-length must be 34 to 4300, or 0";
                return false;
            }
            f.workgroupRecordLength = uint32_t(v);
        }
        if (auto t = a.Get("mailbox-answer")) {
            com::HRESULT hr;
            if (*t == "none") f.mailboxShareAnswer.reset();
            else if (ParseHResult(*t, hr)) f.mailboxShareAnswer = hr;
            else {
                e = "--mailbox-answer must be a result code or none";
                return false;
            }
        }
        if (auto t = a.Get("itg-table-bytes")) {
            if (*t == "none") f.itgTableBytes.reset();
            else if (ParseInteger(*t, 0, kMaxItgTableBytes, false, v)) f.itgTableBytes = uint32_t(v);
            else {
                e = "--itg-table-bytes must be 0 to " + std::to_string(kMaxItgTableBytes) + " or none";
                return false;
            }
        }
        if (auto t = a.Get("delay-ms")) {
            if (!ParseInteger(*t, 0, kMaxDelayMs, false, v)) {
                e = "--delay-ms must be 0 to " + std::to_string(kMaxDelayMs);
                return false;
            }
            f.delayMs = uint32_t(v);
        }
        s.faults = std::move(f);
        return true;
    };
    if (!site->Modify(change, error)) return c.Failed(error);
    return kExitOk;
}

int Dump(Context& c, const std::string& path) {
    std::string error;
    auto site = Site::Open(path, error);
    if (!site) return c.Failed(error);
    c.out += site->DumpText();
    return kExitOk;
}

int Serve(Context& c, const std::string& path, const CommandArgs& a) {
    ServeOptions o;
    o.statePath = path;
    long long v = 0;
    if (!a.Get("address")) return c.Usage("serve needs --address");
    o.address = *a.Get("address");
    o.resolverPort = com::ResolverPort();
    if (auto t = a.Get("port")) {
        if (!ParseInteger(*t, 1, 65535, false, v)) return c.Usage("--port must be 1 to 65535");
        o.resolverPort = uint16_t(v);
    }
    if (auto t = a.Get("max-fragment")) {
        if (!ParseInteger(*t, 1432, 65535, false, v)) return c.Usage("--max-fragment must be 1432 to 65535");
        o.rpc.maxFragment = uint16_t(v);
    }
    if (auto t = a.Get("max-connections")) {
        if (!ParseInteger(*t, 1, 1024, false, v)) return c.Usage("--max-connections must be 1 to 1024");
        o.rpc.maxConnections = size_t(v);
    }
    if (auto t = a.Get("journal")) o.journalFile = *t;
    if (auto t = a.Get("latency-ms")) {
        if (!ParseInteger(*t, 0, kMaxLatencyMs, false, v))
            return c.Usage("--latency-ms must be 0 to " + std::to_string(kMaxLatencyMs) + " (milliseconds)");
        o.latencyMs = uint32_t(v);
    }
    if (auto t = a.Get("jitter-ms")) {
        if (!a.Get("latency-ms")) return c.Usage("--jitter-ms goes with --latency-ms");
        if (!ParseInteger(*t, 0, kMaxJitterMs, false, v))
            return c.Usage("--jitter-ms must be 0 to " + std::to_string(kMaxJitterMs) + " (milliseconds)");
        o.jitterMs = uint32_t(v);
    }
    o.scmActivator = !a.Has("no-scm-activator");
    return ServeCommand(o, c.err);
}

}  // namespace

int RunCommand(const std::vector<std::string>& args, std::string& out, std::string& err) {
    Context c{out, err};
    if (args.empty()) return c.Usage("no command");
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        out += kUsage;
        return kExitOk;
    }
    struct CommandOptions {
        const char* name;
        std::set<std::string> valued, flags;
    };
    static const CommandOptions kCommands[] = {
        {"init",
         {"name", "version", "admin-password", "admin-hash", "ext-length", "dial-plan", "location-code-length",
          "tie-trunk-codes", "record-length"},
         {"force"}},
        {"add", {"number", "type", "first", "last", "email", "fwd-dial", "fwd-email", "members"}, {"forwarding"}},
        {"fault",
         {"after", "absent", "empty", "present", "extension-list-extra", "workgroup-list-extra", "workgroup-record-length",
          "mailbox-answer", "delay-ms", "itg-table-bytes"},
         {"clear", "record-definition-fills", "add-reply-blank", "applied"}},
        {"dump", {}, {}},
        {"serve", {"address", "port", "max-fragment", "max-connections", "journal", "latency-ms", "jitter-ms"},
         {"no-scm-activator"}},
    };
    const std::string& command = args[0];
    const CommandOptions* known = nullptr;
    for (const CommandOptions& s : kCommands)
        if (command == s.name) known = &s;
    if (!known) return c.Usage("unknown command \"" + command + "\"");
    CommandArgs a;
    std::string error;
    if (!a.Parse({args.begin() + 1, args.end()}, known->valued, known->flags, error)) return c.Usage(error);
    if (a.Positional().empty()) return c.Usage(command + " needs a STATE file");
    if (command != "fault" && a.Positional().size() != 1) return c.Usage("unexpected word \"" + a.Positional()[1] + "\"");
    const std::string& path = a.Positional()[0];
    try {
        if (command == "init") return Init(c, path, a);
        if (command == "add") return Add(c, path, a);
        if (command == "fault") return Fault(c, path, a);
        if (command == "dump") return Dump(c, path);
        return Serve(c, path, a);
    } catch (const std::exception& e) {
        return c.Failed(e.what());
    }
}

}  // namespace sim
