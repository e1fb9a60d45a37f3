#pragma once

#include <QByteArray>
#include <QString>

// Text that a stream sends about itself (its ICY title) as it arrives: bytes
// in whatever encoding the server used. Many Chinese servers send GBK rather
// than UTF-8, and libmpv hands the bytes on untouched.
namespace StreamText {

// UTF-8 when the bytes are valid UTF-8, GB18030 (a superset of GBK) otherwise.
QString decode(const QByteArray &bytes);

}
