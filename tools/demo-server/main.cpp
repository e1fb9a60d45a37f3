#include "StreamServerMain.h"

// The demonstration catalogue's stations, and nothing else: what the player
// plays from data/ and from the installed demonstration catalogue.
int main(int argc, char *argv[])
{
    return StreamServerMain::run(argc, argv,
        { QStringLiteral("lumora-demo-server"), QStringLiteral("Demonstration stream server, on 127.0.0.1 only."),
            {} });
}
