#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include "CatalogueSnapshot.h"
#include "ProbeResult.h"

// What one check found: the catalogue as loaded and, when the addresses were
// tried, the result of each (by address), and how the check is reported:
// a table for people, JSON for scripts, and the exit status.
class CheckReport
{
public:
    enum ExitStatus
    {
        AllPlay = 0,
        SomeFail = 1,
        Unreadable = 2,
    };

    struct Settings
    {
        bool probed = false;
        int parallel = 0;
        double timeoutSeconds = 0;
    };

    CheckReport(const CatalogueSnapshot &catalogue, const Settings &settings);

    void setResults(const QHash<QString, ProbeResult> &results, qint64 elapsedMs, int peakParallel);

    // 2 when a list file (or the whole catalogue) could not be read; else 1
    // when the loader found a problem or an entry does not play; else 0.
    int exitStatus() const;
    QString table() const;
    QByteArray json() const;

    // The one line that tells how far a running check is.
    static QString progressLine(int done, int total, int running, int playing);

private:
    struct Counts
    {
        int entries = 0;
        int playing = 0;
        int failing = 0;
        int problems = 0;
        int unreadable = 0;
    };
    Counts counts() const;
    const ProbeResult *resultFor(const QString &address) const;

    const CatalogueSnapshot &m_catalogue;
    Settings m_settings;
    QHash<QString, ProbeResult> m_results;
    qint64 m_elapsedMs = 0;
    int m_peakParallel = 0;
};
