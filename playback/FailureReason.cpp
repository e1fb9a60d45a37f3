#include "FailureReason.h"

#include <QRegularExpression>

#include <mpv/client.h>

namespace FailureReason {

namespace {

struct Pattern
{
    const char *regex;
    const char *reason; // %1 is the first captured group, if any
};

// Most specific first: the first pattern that matches any logged line wins.
constexpr Pattern kPatterns[] = {
    {"HTTP error 404|404 Not Found", "未找到(404)"},
    {"HTTP error 403|403 Forbidden", "拒绝访问(403)"},
    {"HTTP error 401", "需要登录(401)"},
    {"HTTP error (5\\d\\d)", "服务器错误(%1)"},
    {"HTTP error (\\d{3})", "服务器返回错误(%1)"},
    {"Connection refused", "连接被拒绝"},
    {"[Tt]imed? ?out|Timeout", "连接超时"},
    {"resolve hostname|Name or service not known|name resolution|No address associated", "找不到服务器"},
    {"Network is unreachable|No route to host", "网络不可达"},
    {"[Rr]edirect", "重定向过多"},
    {"Connection reset|Broken pipe|End of file", "连接中断"},
    {"refusing to load|unsafe", "播放列表指向不安全的地址"},
    {"No format found|recognize file format|Invalid data found", "不支持的格式"},
};

const QList<QRegularExpression> &compiled()
{
    static const QList<QRegularExpression> patterns = [] {
        QList<QRegularExpression> list;
        for (const Pattern &p : kPatterns)
            list.append(QRegularExpression(QString::fromLatin1(p.regex)));
        return list;
    }();
    return patterns;
}

}

QString describe(const QStringList &loggedErrors, int mpvError)
{
    for (std::size_t i = 0; i < std::size(kPatterns); ++i) {
        const Pattern &p = kPatterns[i];
        const QRegularExpression &re = compiled().at(qsizetype(i));
        for (const QString &line : loggedErrors) {
            const QRegularExpressionMatch m = re.match(line);
            if (!m.hasMatch())
                continue;
            const QString reason = QString::fromUtf8(p.reason);
            return m.lastCapturedIndex() >= 1 ? reason.arg(m.captured(1)) : reason;
        }
    }
    switch (mpvError) {
    case MPV_ERROR_UNKNOWN_FORMAT:
        return QStringLiteral("不支持的格式");
    case MPV_ERROR_NOTHING_TO_PLAY:
        return QStringLiteral("没有可播放的内容");
    case MPV_ERROR_AO_INIT_FAILED:
        return QStringLiteral("无法打开声音设备");
    case MPV_ERROR_VO_INIT_FAILED:
        return QStringLiteral("无法打开视频输出");
    default:
        return QStringLiteral("无法打开");
    }
}

}
