#pragma once

#include <QString>

#include <functional>

class MediaLibrary;
class StreamServer;

// The whole life of a stream server program: options (--port, --media), the
// media, the listening line on stdout, and a clean stop on SIGTERM or SIGINT.
// The installed demonstration server and the test stream server differ only
// in what `extend` adds to the server before it listens.
namespace StreamServerMain {

struct Program
{
    QString name;
    QString description;
    std::function<void(StreamServer &server, const MediaLibrary &library)> extend;
};

int run(int argc, char *argv[], const Program &program);

} // namespace StreamServerMain
