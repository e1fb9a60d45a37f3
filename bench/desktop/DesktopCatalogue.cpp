#include "DesktopCatalogue.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>

#include "GroupTable.h"

namespace DesktopCatalogue {

QString directName(int tone)
{
    return QStringLiteral("本地音%1").arg(tone + 1);
}

QString relayedName(int tone)
{
    return QStringLiteral("远程音%1").arg(tone + 1);
}

QString radioMenu()
{
    return QStringLiteral("广播");
}

bool write(const QString &dir, const Stations &stations)
{
    QDir(dir).mkpath(QStringLiteral("gb"));
    QStringEncoder gbk("GBK");
    for (const auto &d : GroupTable::groups()) {
        QString text;
        int i = 0;
        if (d.listFile == QLatin1String("gb.txt")) {
            for (int tone = 0; tone < 2; ++tone, i += 2) {
                text += QStringLiteral("|%1|%2\r\n").arg(directName(tone), stations.direct[tone]);
                text += QStringLiteral("|%1|%2\r\n").arg(relayedName(tone), stations.relayed[tone]);
            }
        }
        for (; i < d.capacity; ++i)
            text += QStringLiteral("|演示电台%1|http://127.0.0.1:9/%2/%1.mp3\r\n").arg(i).arg(QString(d.arrayName));
        QFile f(dir + QLatin1Char('/') + QString(d.listFile));
        if (!f.open(QIODevice::WriteOnly) || f.write(gbk.encode(text)) < 0)
            return false;
    }
    return true;
}

} // namespace DesktopCatalogue
