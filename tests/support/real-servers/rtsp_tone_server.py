#!/usr/bin/python3
"""GStreamer's RTSP server on 127.0.0.1, for the tests: live tones as RTP.

    rtsp_tone_server.py [--port N]

/tone.mp3 is MPEG audio (payload type 14), /tone.aac is AAC (MPEG-4 generic).
Port 0 (the default) takes a free one. When it listens it prints one line,
"rtsp on 127.0.0.1:PORT", and serves until SIGTERM or SIGINT.
"""

import argparse
import signal
import sys

import gi

gi.require_version("Gst", "1.0")
gi.require_version("GstRtspServer", "1.0")
from gi.repository import GLib, Gst, GstRtspServer  # noqa: E402

MOUNTS = {
    "/tone.mp3": "audiotestsrc is-live=true wave=sine freq=440 ! audioconvert ! audioresample"
    " ! audio/x-raw,rate=44100,channels=2 ! lamemp3enc target=bitrate bitrate=128 cbr=true"
    " ! mpegaudioparse ! rtpmpapay name=pay0 pt=14",
    "/tone.aac": "audiotestsrc is-live=true wave=sine freq=660 ! audioconvert ! audioresample"
    " ! audio/x-raw,rate=44100,channels=2 ! avenc_aac bitrate=64000 ! aacparse"
    " ! rtpmp4gpay name=pay0 pt=96",
}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()

    Gst.init(None)
    server = GstRtspServer.RTSPServer()
    server.set_address("127.0.0.1")
    server.set_service(str(args.port))
    mounts = server.get_mount_points()
    for path, launch in MOUNTS.items():
        factory = GstRtspServer.RTSPMediaFactory()
        factory.set_launch("( " + launch + " )")
        # One pipeline for all clients, as a broadcast is.
        factory.set_shared(True)
        mounts.add_factory(path, factory)

    loop = GLib.MainLoop()
    source = server.attach(None)
    if source == 0:
        print("rtsp_tone_server: cannot listen on 127.0.0.1:%d" % args.port, file=sys.stderr)
        return 1
    for number in (signal.SIGTERM, signal.SIGINT):
        GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, number, loop.quit)
    print("rtsp on 127.0.0.1:%d" % server.get_bound_port(), flush=True)
    loop.run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
