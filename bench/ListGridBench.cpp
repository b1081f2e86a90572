// The list grid with 100,000 rows of the extension list's shape: inserting and showing them,
// sorting by a text column and by a numeric column, and finding and replacing every row by its
// number as the list view's updates do. Runs on Qt's offscreen platform.
#include <QApplication>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "ui/ListGrid.h"

namespace {

constexpr int kMaxRows = 100000;
const QString kHeader = QStringLiteral(
    "Ext. No.\tType\tFirst Name\tLast Name\tEMail Name\tSync. Status\tHome Server\t# of Extension\t# of Group");

std::vector<QString> MakeRows(int count) {
    std::mt19937 random(7);
    std::vector<int> numbers(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) numbers[static_cast<size_t>(i)] = 100000 + i;
    std::shuffle(numbers.begin(), numbers.end(), random);
    static const char* const kNames[] = {"Anna", "bert", "Chloe", "dario", "Emil", "fatima", "Gus", "hana"};
    std::vector<QString> rows;
    rows.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const int n = numbers[static_cast<size_t>(i)];
        const QString first = QString::fromLatin1(kNames[random() % 8]) + QString::number(random() % 1000);
        rows.push_back(QStringLiteral("%1\tExtension\t%2\tLast%3\tmail%1\tUnsynchronized\tSite%4\t%5\t0")
                           .arg(n)
                           .arg(first)
                           .arg(random() % 5000)
                           .arg(random() % 10)
                           .arg(random() % 12));
    }
    return rows;
}

struct Window {
    Window() {
        widget.resize(900, 600);
        grid = new CListGrid(&widget, 1000);
        grid->setGeometry(0, 0, 900, 600);
        grid->SetHeader(kHeader);
        grid->SetExtendedStyle(LVS_EX_CHECKBOXES);
        grid->show();
        widget.show();
        QApplication::processEvents();
    }
    void Fill(const std::vector<QString>& rows) {
        for (const QString& r : rows) grid->InsertRow(r, -1);
    }
    QWidget widget;
    CListGrid* grid;
};

// The first `n` rows of one shuffled set (numbers 100000 and up).
std::vector<QString> Rows(int n) {
    static const std::vector<QString> rows = MakeRows(kMaxRows);
    return std::vector<QString>(rows.begin(), rows.begin() + n);
}

void BM_InsertAndShow(benchmark::State& state) {
    const std::vector<QString> rows = Rows(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        auto w = std::make_unique<Window>();
        state.ResumeTiming();
        w->Fill(rows);
        w->grid->viewport()->repaint();
        QApplication::processEvents();
        benchmark::DoNotOptimize(w->grid->GetItemCount());
        state.PauseTiming();
        w.reset();
        state.ResumeTiming();
    }
    state.counters["rows"] = static_cast<double>(state.range(0));
}

void Sort(benchmark::State& state, int type, int column) {
    Window w;
    w.Fill(Rows(static_cast<int>(state.range(0))));
    w.grid->SetSortType(type);
    for (auto _ : state) {
        w.grid->OnColumnclick(column);  // each click sorts all rows, the other way round
        w.grid->viewport()->repaint();
    }
    state.counters["rows"] = static_cast<double>(state.range(0));
}

void BM_SortByText(benchmark::State& state) { Sort(state, 1, 2); }
void BM_SortByNumber(benchmark::State& state) { Sort(state, 2, 0); }

void BM_FindAndReplaceEveryRow(benchmark::State& state) {
    const std::vector<QString> rows = Rows(static_cast<int>(state.range(0)));
    Window w;
    w.Fill(rows);
    for (auto _ : state) {
        for (const QString& r : rows) {
            const QString number = r.left(r.indexOf(QLatin1Char('\t')));
            const int row = w.grid->FindRow(number, 0);
            QString updated = r;
            updated.replace(QStringLiteral("Unsynchronized"), QStringLiteral("Synchronized"));
            w.grid->SetCellText(updated, row, -1);
        }
    }
    state.counters["rows"] = static_cast<double>(state.range(0));
}

BENCHMARK(BM_InsertAndShow)->Unit(benchmark::kMillisecond)->Iterations(3)->Arg(10000)->Arg(kMaxRows);
BENCHMARK(BM_SortByText)->Unit(benchmark::kMillisecond)->Iterations(4)->Arg(10000)->Arg(kMaxRows);
BENCHMARK(BM_SortByNumber)->Unit(benchmark::kMillisecond)->Iterations(4)->Arg(10000)->Arg(kMaxRows);
BENCHMARK(BM_FindAndReplaceEveryRow)->Unit(benchmark::kMillisecond)->Iterations(2)->Arg(10000)->Arg(kMaxRows);

}  // namespace
