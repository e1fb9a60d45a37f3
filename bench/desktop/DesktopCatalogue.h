#pragma once

#include <QString>

// The list files the bench runs the program on: every group at its capacity
// (797 entries, as bench_startup's full catalogue), the first entries of the
// radio list being the loopback tone stations, directly and through the
// delaying relay.
namespace DesktopCatalogue {

struct Stations
{
    QString direct[2]; // the two tones, straight from the server
    QString relayed[2]; // the same through the relay
};

// The captions of the entries, in the radio menu.
QString directName(int tone);
QString relayedName(int tone);
// The menu that holds them.
QString radioMenu();

bool write(const QString &dir, const Stations &stations);

} // namespace DesktopCatalogue
