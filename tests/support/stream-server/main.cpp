#include <memory>

#include "FaultEndpoints.h"
#include "MmshEndpoints.h"
#include "PlaylistVariantEndpoints.h"
#include "StreamServer.h"
#include "StreamServerMain.h"

// The demonstration stations plus what only tests need: endpoints that fail on
// purpose, MMS over HTTP and more playlist forms. Built with the tests, never
// installed.
int main(int argc, char *argv[])
{
    return StreamServerMain::run(argc, argv,
        { QStringLiteral("lumora-test-stream-server"),
            QStringLiteral("Test stream server: the demonstration stations and faults, on 127.0.0.1 only."),
            [](StreamServer &server, const MediaLibrary &library) {
                server.addEndpoints(std::make_unique<FaultEndpoints>(&server));
                server.addEndpoints(std::make_unique<MmshEndpoints>(&library));
                server.addEndpoints(std::make_unique<PlaylistVariantEndpoints>(&server));
            } });
}
