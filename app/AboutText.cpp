#include "AboutText.h"

#include <QStringList>

namespace AboutText {

QString build(const QString &appTitle, const QString &qq, const QString &email, const QString &homepage)
{
    const QStringList lines = {
        QStringLiteral("软件:") + appTitle,
        QStringLiteral("QQ:") + qq,
        QStringLiteral("E-mail:") + email,
        homepage,
    };
    return lines.join(QStringLiteral("\r\n"));
}

}
