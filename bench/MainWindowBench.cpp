// The window with 100,000 merged rows arriving from the document (update code 10, as the matching
// announces them, through the main window's frame, and from an engine thread through the
// marshalling frame, copied there and applied in turns by the window's thread), and the log pane taking 100,000 lines, with
// and without the log file, and then scrolled page by page. Runs on Qt's offscreen platform.
#include <QApplication>
#include <QScrollBar>

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/MainFrm.h"
#include "document/QOBDoc.h"
#include "ui/ListGrid.h"
#include "ui/LogView.h"
#include "ui/MarshalFrame.h"
#include "ui/QOBView.h"

namespace {

constexpr int kMaxRows = 100000;

void Put(char* field, size_t size, const std::string& text) { std::snprintf(field, size, "%s", text.c_str()); }

// A document whose merged list holds `n` rows, as a download of three sites leaves it.
void FillMergedList(CQOBDoc& doc, int n) {
    doc.m_extList.clear();
    for (int i = 0; i < n; ++i) {
        server::ExtSummary row{};
        row.ExtensionType = static_cast<uint8_t>(i % 6);
        row.SyncStatus = static_cast<uint8_t>(i % 3 == 0);
        row.ExtCount = 1 + i % 3;
        row.GroupCount = 0;
        const std::string number = std::to_string(100000 + i);
        Put(row.ExtensionNumber, sizeof row.ExtensionNumber, number);
        Put(row.ExtFirstName, sizeof row.ExtFirstName, "First" + std::to_string(i % 977));
        Put(row.ExtName, sizeof row.ExtName, "Last" + std::to_string(i % 4001));
        Put(row.EMailName, sizeof row.EMailName, "mail" + number);
        Put(row.HomeServer, sizeof row.HomeServer, "Site" + std::to_string(i % 3));
        doc.m_extList.emplace(number, row);
    }
}

std::string TempLog() {
    char dir[] = "/tmp/qob-bench-XXXXXX";
    return std::string(::mkdtemp(dir)) + "/QOB.log";
}

void BM_MergedRowsArrive(benchmark::State& state) {
    CQOBDoc doc;
    FillMergedList(doc, static_cast<int>(state.range(0)));
    std::vector<std::string> numbers;
    for (const auto& [number, row] : doc.m_extList) numbers.push_back(number);
    const std::string log = TempLog();
    for (auto _ : state) {
        state.PauseTiming();
        auto frame = std::make_unique<CMainFrame>(&doc, log.substr(0, log.rfind('/')));
        frame->show();
        QApplication::processEvents();
        frame->BeginWaitCursor();  // as inside Sites Download
        state.ResumeTiming();
        for (const std::string& n : numbers) frame->UpdateViews(UPDATE_ROW_ADDED, n);
        frame->EndWaitCursor();
        frame->GetListView()->m_listExt->viewport()->repaint();
        QApplication::processEvents();
        benchmark::DoNotOptimize(frame->GetListView()->m_listExt->GetItemCount());
        state.PauseTiming();
        frame.reset();
        state.ResumeTiming();
    }
    state.counters["rows"] = static_cast<double>(state.range(0));
}

// As a download on the engine announces them: the engine thread copies each row, the window's
// thread takes them in turns; timed until the last one is in the list.
void BM_MergedRowsArriveFromEngine(benchmark::State& state) {
    CQOBDoc doc;
    const int n = static_cast<int>(state.range(0));
    FillMergedList(doc, n);
    std::vector<std::string> numbers;
    for (const auto& [number, row] : doc.m_extList) numbers.push_back(number);
    const std::string log = TempLog();
    for (auto _ : state) {
        state.PauseTiming();
        auto frame = std::make_unique<CMainFrame>(&doc, log.substr(0, log.rfind('/')));
        frame->show();
        QApplication::processEvents();
        CMarshalFrame* marshal = frame->GetMarshalFrame();
        CListGrid* grid = frame->GetListView()->m_listExt;
        state.ResumeTiming();
        std::thread engine([&] {
            for (const std::string& number : numbers) marshal->UpdateViews(UPDATE_ROW_ADDED, number);
        });
        while (grid->GetItemCount() < n) QApplication::processEvents(QEventLoop::AllEvents, 5);
        engine.join();
        grid->viewport()->repaint();
        QApplication::processEvents();
        benchmark::DoNotOptimize(grid->GetItemCount());
        state.PauseTiming();
        frame.reset();
        state.ResumeTiming();
    }
    state.counters["rows"] = static_cast<double>(n);
}

void LogLines(benchmark::State& state, bool withFile) {
    const int n = static_cast<int>(state.range(0));
    const std::string log = TempLog();
    for (auto _ : state) {
        state.PauseTiming();
        auto view = std::make_unique<CLogView>();
        view->SetLogFile(log);
        view->resize(800, 200);
        view->show();
        QApplication::processEvents();
        state.ResumeTiming();
        for (int i = 0; i < n; ++i) {
            const std::string text = "\tSearching all extensions in Site" + std::to_string(i) + "...";
            if (withFile)
                view->OnLogMessage(LOG_INFO, text);
            else
                view->AddLine(text);
        }
        view->viewport()->repaint();
        QApplication::processEvents();
        benchmark::DoNotOptimize(view->GetLineCount());
        state.PauseTiming();
        view.reset();
        ::unlink(log.c_str());
        state.ResumeTiming();
    }
    state.counters["lines"] = static_cast<double>(n);
}

void BM_LogPaneLines(benchmark::State& state) { LogLines(state, false); }
void BM_LogPaneAndFileLines(benchmark::State& state) { LogLines(state, true); }

// One page down and repainted, over a pane of 100,000 lines.
void BM_LogPaneScrollPage(benchmark::State& state) {
    CLogView view;
    view.resize(800, 200);
    view.show();
    for (int i = 0; i < kMaxRows; ++i) view.AddLine("line " + std::to_string(i));
    QApplication::processEvents();
    QScrollBar* bar = view.verticalScrollBar();
    int value = 0;
    for (auto _ : state) {
        value = (value + bar->pageStep()) % (bar->maximum() + 1);
        bar->setValue(value);
        view.viewport()->repaint();
    }
}

BENCHMARK(BM_MergedRowsArrive)->Unit(benchmark::kMillisecond)->Iterations(3)->Arg(10000)->Arg(kMaxRows);
BENCHMARK(BM_MergedRowsArriveFromEngine)->Unit(benchmark::kMillisecond)->Iterations(3)->Arg(10000)->Arg(kMaxRows);
BENCHMARK(BM_LogPaneLines)->Unit(benchmark::kMillisecond)->Iterations(3)->Arg(10000)->Arg(kMaxRows);
BENCHMARK(BM_LogPaneAndFileLines)->Unit(benchmark::kMillisecond)->Iterations(3)->Arg(10000)->Arg(kMaxRows);
BENCHMARK(BM_LogPaneScrollPage)->Unit(benchmark::kMicrosecond);

}  // namespace
