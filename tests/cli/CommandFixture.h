// qob-cli commands run in the test's own process against simulated sites, through the real
// proxies, as a fresh qob-cli process would run them.
#pragma once

#include <stdio.h>

#include <functional>
#include <sstream>

#include "cli/CliContext.h"
#include "document/DownloadFixture.h"

namespace downloadtest {

// A stdio stream that keeps what is written, and lets a test act when a line arrives.
class CapturedStream {
public:
    CapturedStream() {
        cookie_io_functions_t io{};
        io.write = [](void* self, const char* data, size_t size) -> ssize_t {
            auto* s = static_cast<CapturedStream*>(self);
            s->text.append(data, size);
            if (s->onWrite) s->onWrite(std::string(data, size));
            return static_cast<ssize_t>(size);
        };
        file = fopencookie(this, "w", io);
        setvbuf(file, nullptr, _IONBF, 0);
    }
    ~CapturedStream() { fclose(file); }
    CapturedStream(const CapturedStream&) = delete;
    CapturedStream& operator=(const CapturedStream&) = delete;

    FILE* file = nullptr;
    std::string text;
    std::function<void(const std::string&)> onWrite;
};

struct CommandResult {
    int exitCode = -1;
    std::string out, err;
};

using CommandFunction = int (*)(CliContext&, const std::vector<std::string>&, std::istream&);

class CommandFixture : public DownloadFixture {
protected:
    void SetUp() override {
        DownloadFixture::SetUp();
        doc.m_bReload = false;
    }
    void TearDown() override {
        SetPrintStreams(nullptr, nullptr);
        DownloadFixture::TearDown();
    }

    // The fixture's sites, routes and options as the configuration file, without any password.
    void WriteConfig() {
        for (SiteRec& s : doc.m_sites) s.DayWhite.clear();
        ASSERT_TRUE(doc.SaveConfig()) << doc.GetConfigError();
    }

    // Its own document, frame and log file, as a new process has.
    CommandResult RunCommand(CommandFunction command, const std::vector<std::string>& args,
                             const std::string& input = "") {
        CliContext ctx(work.path());
        std::istringstream in(input);
        SetPrintStreams(out.file, err.file);
        CommandResult r;
        r.exitCode = command(ctx, args, in);
        SetPrintStreams(nullptr, nullptr);
        r.out = out.text;
        r.err = err.text;
        out.text.clear();
        err.text.clear();
        return r;
    }

    CapturedStream out, err;
};

}  // namespace downloadtest
