// The log pane: the lines meant for the user, appended in order and never changed, the newest
// scrolled into view; every line (of any level) also goes to the log file through the log core.
#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

#include "document/LogSink.h"

// The shown lines, kept as given; appending is the only change.
class CLogLines : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    void Append(QString line);
    const QString& Line(int row) const { return m_lines[static_cast<size_t>(row)]; }

private:
    std::vector<QString> m_lines;
};

class CLogView : public QListView {
    Q_OBJECT
public:
    explicit CLogView(QWidget* parent = nullptr);

    // The log file name; "QOB.log" in the program. Must not be empty.
    void SetLogFile(const std::string& name) { m_sink.SetLogFile(name); }
    const std::string& GetLogFile() const { return m_sink.GetLogFile(); }

    // One log request: 0 when the line was written to the file, 1 when the file could not be opened.
    int OnLogMessage(uint32_t level, const std::string& text);
    // A command begins: the file is looked at again, and a failure to open it is said again.
    void BeginCommand() { m_sink.BeginCommand(); }

    // A line for the window alone (code-page text), scrolled into view as the log does.
    void AddLine(const std::string& line);
    int GetLineCount() const { return m_lines.rowCount(); }
    QString GetLine(int row) const { return m_lines.Line(row); }
    int VisibleLines() const { return m_nVisibleLines; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void updateGeometries() override;
    // A frame in the highlight colour while the pane has the keyboard focus.
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    CLogLines m_lines;
    CLogSink m_sink;
    int m_nVisibleLines = 0;
    // The top line asked for; the scroll range catches up with new lines only at the next layout.
    int m_nPendingTop = -1;
};
