#pragma once

#include "IcyMetadata.h"

// Every metadata block of the largest size, 4080 bytes, filled to its last
// byte with whole UTF-8 characters of the title: a reader that gets the
// length byte wrong is bound to notice.
class HugeIcyMetadata : public IcyMetadata
{
public:
    explicit HugeIcyMetadata(TitleSource title);

    static QByteArray hugeBlock(const QString &title);

protected:
    QByteArray nextBlock(const QString &title, bool changed) override;
};
