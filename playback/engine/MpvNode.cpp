#include "MpvNode.h"

#include <QByteArrayView>
#include <QVariantList>
#include <QVariantMap>

namespace MpvNode {

QVariant toVariant(const mpv_node &node)
{
    switch (node.format) {
    case MPV_FORMAT_STRING:
    case MPV_FORMAT_OSD_STRING: {
        // libmpv passes a stream's own text (its ICY title) on as the server
        // sent it; bytes that are not UTF-8 stay bytes, for StreamText.
        const QByteArrayView bytes(node.u.string);
        if (!bytes.isValidUtf8())
            return bytes.toByteArray();
        return QString::fromUtf8(bytes);
    }
    case MPV_FORMAT_FLAG:
        return node.u.flag != 0;
    case MPV_FORMAT_INT64:
        return static_cast<qlonglong>(node.u.int64);
    case MPV_FORMAT_DOUBLE:
        return node.u.double_;
    case MPV_FORMAT_NODE_ARRAY: {
        QVariantList list;
        for (int i = 0; i < node.u.list->num; ++i)
            list.append(toVariant(node.u.list->values[i]));
        return list;
    }
    case MPV_FORMAT_NODE_MAP: {
        QVariantMap map;
        for (int i = 0; i < node.u.list->num; ++i)
            map.insert(QString::fromUtf8(node.u.list->keys[i]), toVariant(node.u.list->values[i]));
        return map;
    }
    default:
        return {};
    }
}

}
