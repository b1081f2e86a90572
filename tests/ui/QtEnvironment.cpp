// One QApplication for the whole test program, made when the tests run (not when they are listed).
// Without a platform named, the offscreen one.
#include <QApplication>

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
            // In the tests' temporary directory, where a crashed test's leftovers get noticed.
            const char* tmp = ::getenv("TMPDIR");
            std::string runtime = std::string(tmp && *tmp ? tmp : "/tmp") + "/qob-ui-XXXXXX";
            if (::mkdtemp(runtime.data())) {
                m_runtime = runtime;
                qputenv("XDG_RUNTIME_DIR", runtime.c_str());
            }
        }
        static int argc = 1;
        static char name[] = "qob_ui_tests";
        static char* argv[] = {name, nullptr};
        m_app = new QApplication(argc, argv);
    }
    void TearDown() override {
        delete m_app;
        m_app = nullptr;
        std::error_code ec;
        if (!m_runtime.empty()) std::filesystem::remove_all(m_runtime, ec);
    }

private:
    QApplication* m_app = nullptr;
    std::string m_runtime;
};

}  // namespace

// The X platform's accessibility bus keeps a buffer of the D-Bus library to the end of the
// process; nothing of ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }

namespace {

::testing::Environment* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
