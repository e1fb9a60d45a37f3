#include "Failure.h"

using namespace Qt::StringLiterals;

Failure::Failure(Kind kind)
    : m_kind(kind)
{
    switch (kind) {
    case Kind::NotFound:
        m_status = 404;
        break;
    case Kind::Forbidden:
        m_status = 403;
        break;
    case Kind::LoginRequired:
        m_status = 401;
        break;
    default:
        break;
    }
}

Failure Failure::http(Kind kind, int status)
{
    Failure failure(kind);
    failure.m_status = status;
    return failure;
}

Failure Failure::refusedAddress(const QString &scheme)
{
    Failure failure(Kind::RefusedAddress);
    failure.m_detail = scheme;
    return failure;
}

Failure Failure::engineUnavailable(const QString &why)
{
    Failure failure(Kind::EngineUnavailable);
    failure.m_detail = why;
    return failure;
}

Failure Failure::droppedFor(const Failure &cause)
{
    Failure failure = cause;
    failure.m_kind = Kind::Dropped;
    failure.m_cause = cause.kind();
    return failure;
}

QString Failure::text() const
{
    if (m_kind == Kind::Dropped && m_cause)
        return u"连接中断,"_s + textOf(*m_cause, m_status, m_detail);
    return textOf(m_kind, m_status, m_detail);
}

QString Failure::textOf(Kind kind, int status, const QString &detail)
{
    switch (kind) {
    case Kind::CannotOpen:
        return u"无法打开"_s;
    case Kind::NotFound:
        return u"未找到(404)"_s;
    case Kind::Forbidden:
        return u"拒绝访问(403)"_s;
    case Kind::LoginRequired:
        return u"需要登录(401)"_s;
    case Kind::ServerError:
        return u"服务器错误(%1)"_s.arg(status);
    case Kind::HttpError:
        return u"服务器返回错误(%1)"_s.arg(status);
    case Kind::ConnectionRefused:
        return u"连接被拒绝"_s;
    case Kind::Timeout:
        return u"连接超时"_s;
    case Kind::UnknownHost:
        return u"找不到服务器"_s;
    case Kind::Unreachable:
        return u"网络不可达"_s;
    case Kind::TooManyRedirects:
        return u"重定向过多"_s;
    case Kind::Dropped:
        return u"连接中断"_s;
    case Kind::UnsafePlaylist:
        return u"播放列表指向不安全的地址"_s;
    case Kind::UnsupportedFormat:
        return u"不支持的格式"_s;
    case Kind::NothingToPlay:
        return u"没有可播放的内容"_s;
    case Kind::NoAudioOutput:
        return u"无法打开声音设备"_s;
    case Kind::NoVideoOutput:
        return u"无法打开视频输出"_s;
    case Kind::NoData:
        return u"服务器没有发送数据"_s;
    case Kind::NotAPlaylist:
        return u"不是有效的播放列表"_s;
    case Kind::NestedPlaylist:
        return u"播放列表嵌套过深"_s;
    case Kind::EmptyPlaylist:
        return u"播放列表中没有可播放的地址"_s;
    case Kind::RefusedAddress:
        return detail == u"-"_s ? u"不支持的地址类型(-)"_s : u"不支持的地址类型(%1:)"_s.arg(detail);
    case Kind::NoAddress:
        return u"没有地址"_s;
    case Kind::EngineUnavailable:
        return detail;
    }
    return {};
}
