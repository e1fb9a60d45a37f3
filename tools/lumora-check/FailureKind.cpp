#include "FailureKind.h"

#include <QStringList>

namespace FailureKind {

namespace {

struct Rule
{
    const char *kind;
    const char *reasonStart; // UTF-8: how the player's reason begins
};

// In the order they are tried; the first whose start matches wins.
constexpr Rule kRules[] = {
    {"refused-address", "不支持的地址类型"},
    {"not-found", "未找到"},
    {"http-error", "拒绝访问"},
    {"http-error", "需要登录"},
    {"http-error", "服务器返回错误"},
    {"server-error", "服务器错误"},
    {"connection-refused", "连接被拒绝"},
    {"timeout", "连接超时"},
    {"timeout", "超时"},
    {"host-not-found", "找不到服务器"},
    {"unreachable", "网络不可达"},
    {"dropped", "连接中断"},
    {"unsupported-format", "不支持的格式"},
    {"bad-playlist", "不是有效的播放列表"},
    {"bad-playlist", "播放列表"},
    {"bad-playlist", "重定向过多"},
    {"no-address", "没有地址"},
    {"no-audio", "没有可播放的内容"},
    {"no-audio", "没有声音"},
    {"player-unavailable", "播放器不可用"},
    {"player-unavailable", "无法创建播放引擎"},
    {"player-unavailable", "播放引擎初始化失败"},
    {"player-unavailable", "无法打开声音设备"},
};

} // namespace

QString of(const QString &reason)
{
    for (const Rule &rule : kRules) {
        if (reason.startsWith(QString::fromUtf8(rule.reasonStart))) {
            return QString::fromLatin1(rule.kind);
        }
    }
    return QStringLiteral("other");
}

} // namespace FailureKind
