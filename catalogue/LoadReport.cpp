#include "LoadReport.h"

#include <algorithm>
#include <utility>

#include "CatalogueLog.h"

LoadReport::LoadReport(const QString &listFile, Sink sink)
    : m_listFile(listFile)
    , m_sink(std::move(sink))
    , m_prefix(QStringLiteral("列表文件 \"%1\" ").arg(listFile))
{
}

void LoadReport::note(const QString &text)
{
    m_notes.append(text);
}

void LoadReport::recordProblem(const QString &text)
{
    ++m_recordProblemCount;
    if (m_recordProblems.size() < kMaxLines) {
        m_recordProblems.append(text);
    }
}

bool LoadReport::keepsRecordProblems() const
{
    return m_recordProblems.size() < kMaxLines;
}

void LoadReport::countRecordProblem()
{
    ++m_recordProblemCount;
}

void LoadReport::fileProblem(const QString &text)
{
    m_fileProblems.append(text);
}

void LoadReport::flush()
{
    const qsizetype fixedLines = m_notes.size() + m_fileProblems.size();
    const qsizetype listed = std::clamp<qsizetype>(kMaxLines - fixedLines, 0, m_recordProblems.size());
    for (const QString &text : std::as_const(m_notes)) {
        write(QtInfoMsg, m_prefix + text);
    }
    for (qsizetype i = 0; i < listed; ++i) {
        write(QtWarningMsg, m_prefix + m_recordProblems.at(i));
    }
    for (const QString &text : std::as_const(m_fileProblems)) {
        write(QtWarningMsg, m_prefix + text);
    }
    const qsizetype unlisted = m_recordProblemCount - listed;
    if (unlisted > 0) {
        write(QtWarningMsg, m_prefix + QStringLiteral("还有 %1 个问题没有逐条列出").arg(unlisted));
    }
    m_notes.clear();
    m_recordProblems.clear();
    m_recordProblemCount = 0;
    m_fileProblems.clear();
}

void LoadReport::write(QtMsgType type, const QString &line) const
{
    if (m_sink) {
        m_sink(m_listFile, type, line);
    } else if (type == QtInfoMsg) {
        qCInfo(lcCatalogue).noquote() << line;
    } else {
        qCWarning(lcCatalogue).noquote() << line;
    }
}
