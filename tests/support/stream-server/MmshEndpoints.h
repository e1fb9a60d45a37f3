#pragma once

#include <QString>

#include <optional>

#include "EndpointSet.h"
#include "MediaAsset.h"

class MediaLibrary;

// The WMA station in the framing of MMS over HTTP, which is what libmpv speaks
// for mms:// and mmsh://: at /mms/radio, and at /radio/wma when the request
// comes from an MMS client. No packaged server speaks it, so the tests keep
// this one.
class MmshEndpoints : public EndpointSet
{
public:
    explicit MmshEndpoints(const MediaLibrary *library);

    bool serve(ClientConnection *connection, const QString &path) override;
    QByteArray index() const override;

    static bool isMmshRequest(const ClientConnection *connection);

private:
    const MediaAsset *framed();

    const MediaLibrary *m_library;
    std::optional<MediaAsset> m_framed;
};
