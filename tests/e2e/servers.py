"""Real stream servers for the end-to-end tests, on 127.0.0.1 only.

Icecast (Debian's icecast2) is started from a configuration written into a
private folder, and ffmpeg feeds it as its source client with generated
tones, so that what the player plays can be recognised on the sound sink.
Everything is started and stopped by process id.
"""

import base64
import os
import socket
import subprocess
import threading
import time
import urllib.error
import urllib.parse
import urllib.request

# The tones the test listens for.
RADIO_TONE_HZ = 440
TV_TONE_HZ = 880
# A station of "songs": each lasts SONG_SECONDS, with a title of its own, and
# their tones take turns.
SONG_TONES_HZ = (520, 780)
SONG_SECONDS = 10


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def stop_process(process, timeout=5):
    if process is None or process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


class Icecast:
    SOURCE_PASSWORD = "lumora-source"

    def __init__(self, folder):
        self.folder = folder
        self.port = free_port()
        self.server = None
        self.sources = {}

    def url(self, mount):
        return "http://127.0.0.1:%d%s" % (self.port, mount)

    def start(self):
        # A port found free may be taken by another test's server before
        # Icecast binds it; only ours names this admin address.
        for _ in range(3):
            try:
                return self._start()
            except RuntimeError:
                stop_process(self.server)
                self.port = free_port()
        raise RuntimeError("icecast2 did not come up on three ports")

    def _start(self):
        logs = os.path.join(self.folder, "icecast")
        os.makedirs(logs, exist_ok=True)
        # Icecast drops root for the user named here; its logs must stay
        # writable for that user.
        os.chmod(self.folder, 0o755)
        os.chmod(logs, 0o777)
        config = os.path.join(self.folder, "icecast.xml")
        with open(config, "w") as f:
            f.write(
                """<icecast>
  <location>loopback</location>
  <admin>lumora@localhost</admin>
  <limits>
    <clients>200</clients><sources>8</sources>
    <queue-size>1048576</queue-size><client-timeout>30</client-timeout>
    <header-timeout>15</header-timeout><source-timeout>10</source-timeout>
    <burst-on-connect>1</burst-on-connect><burst-size>65536</burst-size>
  </limits>
  <authentication>
    <source-password>%(password)s</source-password>
    <admin-user>admin</admin-user><admin-password>%(password)s</admin-password>
  </authentication>
  <hostname>127.0.0.1</hostname>
  <listen-socket><port>%(port)d</port><bind-address>127.0.0.1</bind-address></listen-socket>
  <fileserve>1</fileserve>
  <paths>
    <basedir>/usr/share/icecast2</basedir><logdir>%(logs)s</logdir>
    <webroot>/usr/share/icecast2/web</webroot><adminroot>/usr/share/icecast2/admin</adminroot>
  </paths>
  <logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog><loglevel>2</loglevel></logging>
  <security>
    <chroot>0</chroot>
    %(owner)s
  </security>
</icecast>
"""
                % {
                    "password": self.SOURCE_PASSWORD,
                    "port": self.port,
                    "logs": logs,
                    "owner": "<changeowner><user>nobody</user><group>nogroup</group></changeowner>"
                    if os.geteuid() == 0
                    else "",
                }
            )
        self.server = subprocess.Popen(
            ["icecast2", "-c", config], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL
        )
        self._wait(lambda: b'"admin":"lumora@localhost"' in (self._get("/status-json.xsl") or b""), 15,
                   "icecast to listen")

    def add_tone(self, mount, hertz, video=False):
        """Feeds a live source of a sine tone (with a test picture when video)."""
        target = "icecast://source:%s@127.0.0.1:%d%s" % (self.SOURCE_PASSWORD, self.port, mount)
        args = ["ffmpeg", "-nostdin", "-loglevel", "error", "-re"]
        if video:
            args += ["-f", "lavfi", "-i", "testsrc2=size=320x180:rate=25"]
        args += ["-f", "lavfi", "-i", "sine=frequency=%d:sample_rate=44100" % hertz]
        if video:
            args += ["-c:v", "libx264", "-preset", "ultrafast", "-tune", "zerolatency", "-g", "25",
                     "-pix_fmt", "yuv420p", "-c:a", "aac", "-b:a", "96k", "-ac", "2",
                     "-content_type", "video/mp2t", "-f", "mpegts", target]
        else:
            args += ["-ac", "2", "-c:a", "libmp3lame", "-b:a", "128k",
                     "-content_type", "audio/mpeg", "-f", "mp3", target]
        self.sources[mount] = subprocess.Popen(args, stdout=subprocess.DEVNULL)
        self._wait(lambda: self._mounted(mount), 20, "the source of " + mount)

    def add_songs(self, mount):
        """Feeds a live MP3 source whose tone and ICY title change together
        every SONG_SECONDS: "歌 1" at 520 Hz, "歌 2" at 780 Hz, "歌 3" at 520 Hz …"""
        low, high = SONG_TONES_HZ
        expression = "sin(2*PI*t*if(lt(mod(t\\,%d)\\,%d)\\,%d\\,%d))" % (2 * SONG_SECONDS, SONG_SECONDS, low, high)
        target = "icecast://source:%s@127.0.0.1:%d%s" % (self.SOURCE_PASSWORD, self.port, mount)
        self.sources[mount] = subprocess.Popen(
            ["ffmpeg", "-nostdin", "-loglevel", "error", "-re", "-f", "lavfi",
             "-i", "aevalsrc=exprs=%s:sample_rate=44100" % expression, "-ac", "2", "-c:a", "libmp3lame",
             "-b:a", "128k", "-content_type", "audio/mpeg", "-f", "mp3", target], stdout=subprocess.DEVNULL)
        started = time.monotonic()
        self._wait(lambda: self._mounted(mount), 20, "the source of " + mount)
        self._titles = threading.Thread(target=self._name_songs, args=(mount, started), daemon=True)
        self._titles.start()

    def _name_songs(self, mount, started):
        """Sets each song's title as its tone begins, on the source's clock."""
        song = int((time.monotonic() - started) // SONG_SECONDS)
        while self.server is not None and self.server.poll() is None:
            self.set_title(mount, "歌 %d" % (song + 1))
            song += 1
            time.sleep(max(0.0, started + song * SONG_SECONDS - time.monotonic()))

    def set_title(self, mount, title):
        query = urllib.parse.urlencode({"mount": mount, "mode": "updinfo", "song": title})
        request = urllib.request.Request(self.url("/admin/metadata?" + query))
        token = base64.b64encode(("admin:%s" % self.SOURCE_PASSWORD).encode()).decode()
        request.add_header("Authorization", "Basic " + token)
        try:
            urllib.request.urlopen(request, timeout=2).read()
        except (urllib.error.URLError, OSError):
            pass

    def _mounted(self, mount):
        status = self._get("/status-json.xsl")
        return status is not None and ('"listenurl":"%s"' % self.url(mount)).encode() in status.replace(b" ", b"")

    def _get(self, path):
        try:
            with urllib.request.urlopen(self.url(path), timeout=2) as reply:
                return reply.read()
        except (urllib.error.URLError, OSError):
            return None

    def _wait(self, ready, seconds, what):
        deadline = time.monotonic() + seconds
        while not ready():
            if self.server.poll() is not None:
                raise RuntimeError("icecast2 ended (status %s)" % self.server.returncode)
            if time.monotonic() > deadline:
                raise RuntimeError("gave up waiting for " + what)
            time.sleep(0.1)

    def stop(self):
        for source in self.sources.values():
            stop_process(source)
        stop_process(self.server)
