#!/usr/bin/python3
"""Lumora driven as a user drives it, in a desktop session.

    desktop_e2e.py --program PATH     the built player, started in a catalogue folder
    desktop_e2e.py --launcher PATH    the installed launcher, with the catalogue in
                                      $XDG_DATA_HOME/lumora
    [--steps full|short] [--picks N] [--shots DIR]

Run inside tests/session/desktop-session.sh (x11 or wayland). The menus are
used through Qt's accessibility bridge (AT-SPI), the window manager acts on
the window as a user would (X11), and after every step the test checks what
a user sees and hears: the caption, the window state, the player's area in
pixels, and the tone that reaches the session's null sink. Every stream comes
from a real Icecast server fed by ffmpeg on 127.0.0.1.

Prints one line per step and, at the end, "N passed, N failed".
"""

import argparse
import math
import os
import random
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

import pyatspi

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import servers  # noqa: E402

TITLE = "Lumora V1.3.0"
NOW_PLAYING = " 正在播放:"
LIST_FILES = ["gb/ah.txt", "gb/gd.txt", "gb/gx.txt", "gb/hb.txt", "gb/hlj.txt", "gb/hubei.txt",
              "gb/hn.txt", "gb/jx.txt", "gb/js.txt", "gb/ln.txt", "gb/sc.txt", "gb/sd.txt",
              "gb/cri.txt", "gb/cnr.txt", "gb.txt", "tv.txt", "xs.txt"]
# The layouts in twips, and how they come out in pixels at the session's DPI.
RADIO_TWIPS = (8310, 975)
TV_TWIPS = (15200, 10500)
SAMPLE_RATE = 16000


class StepFailed(Exception):
    pass


def check(condition, message):
    if not condition:
        raise StepFailed(message)


def wait_until(predicate, seconds, what):
    deadline = time.monotonic() + seconds
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise StepFailed("gave up waiting for " + what)
        time.sleep(0.05)


# --- Sound on the sink -------------------------------------------------------

def record(seconds):
    """The session's next `seconds` of output, as 16-bit mono samples.

    Counted in samples, not in wall time: a recorder that is slow to start on
    a busy machine still hands back a whole stretch of what the sink played.
    """
    wanted = int(seconds * SAMPLE_RATE) * 2
    proc = subprocess.Popen(
        ["parec", "--device=lumora_sink.monitor", "--raw", "--format=s16le",
         "--rate=%d" % SAMPLE_RATE, "--channels=1", "--latency-msec=20"],
        stdout=subprocess.PIPE)
    data = bytearray()
    deadline = time.monotonic() + seconds + 10
    try:
        while len(data) < wanted and time.monotonic() < deadline:
            ready, _, _ = select.select([proc.stdout], [], [], 0.5)
            if ready:
                chunk = os.read(proc.stdout.fileno(), wanted - len(data))
                if not chunk:
                    break
                data += chunk
    finally:
        proc.terminate()
        proc.communicate()
    if len(data) < wanted:
        raise StepFailed("the sink's monitor gave %d of %d bytes" % (len(data), wanted))
    return struct.unpack("<%dh" % (wanted // 2), bytes(data[:wanted]))


def tone_share(samples, hertz):
    """The share of the samples' energy that lies at `hertz` (Goertzel), 0..1."""
    n = len(samples)
    if n == 0:
        return 0.0, 0.0
    coeff = 2 * math.cos(2 * math.pi * hertz / SAMPLE_RATE)
    s1 = s2 = 0.0
    energy = 0.0
    for x in samples:
        s0 = x + coeff * s1 - s2
        s2, s1 = s1, s0
        energy += x * x
    power = s1 * s1 + s2 * s2 - coeff * s1 * s2
    rms = math.sqrt(energy / n)
    if energy == 0:
        return 0.0, rms
    return min(1.0, 2 * power / (n * energy)), rms


def hears(hertz, seconds=1.0):
    share, rms = tone_share(record(seconds), hertz)
    return share > 0.5 and rms > 300, share, rms


def heard(hertz, within=15):
    """Waits until a second of the sink's output is the tone."""
    last = None
    deadline = time.monotonic() + within
    while time.monotonic() < deadline:
        ok, share, rms = hears(hertz, 0.5)
        last = (share, rms)
        if ok:
            return
    raise StepFailed("no %d Hz on the sink (last half second: share %.2f, rms %.0f)" % (hertz, *last))


def quiet(within=10):
    """Waits until half a second of the sink's output is silence."""
    last = None
    deadline = time.monotonic() + within
    while time.monotonic() < deadline:
        _, last = tone_share(record(0.5), 440)
        if last < 50:
            return
    raise StepFailed("the sink is not silent (last half second: rms %.0f)" % last)


def loudness(hertz):
    """The rms of a second of the tone on the sink."""
    ok, share, rms = hears(hertz, 1.0)
    check(ok or share > 0.5, "no %d Hz on the sink (share %.2f, rms %.0f)" % (hertz, share, rms))
    return rms


# --- The desktop's media controls (MPRIS, through Debian's playerctl) --------

def playerctl(*args):
    result = subprocess.run(["playerctl", "--player=lumora"] + list(args), capture_output=True, text=True,
                            timeout=10)
    check(result.returncode == 0, "playerctl %s: %s" % (" ".join(args), result.stderr.strip()))
    return result.stdout.strip()


# --- The program through AT-SPI ----------------------------------------------

class Player:
    def __init__(self, args, folder, env):
        self.args = args
        self.folder = folder
        self.env = env
        self.session = os.environ.get("LUMORA_SESSION", "x11")
        self.dpi = float(os.environ.get("LUMORA_SESSION_DPI", "96"))
        self.log = open(os.path.join(folder, "player.log"), "wb")
        self.process = None
        self.app = None

    def start(self):
        def allow_core():
            import resource
            resource.setrlimit(resource.RLIMIT_CORE, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))
        self.process = subprocess.Popen(self.args, cwd=self.folder, env=self.env, stdout=self.log,
                                        stderr=subprocess.STDOUT, preexec_fn=allow_core)
        self.app = wait_until(self._find_app, 30, "the program on the accessibility bus")
        wait_until(lambda: self.frame() is not None and self.caption() == TITLE, 20, "the caption " + TITLE)

    def pid(self):
        return self.process.pid

    def alive(self):
        return self.process.poll() is None

    def _find_app(self):
        self.check_alive()
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            try:
                if app is not None and app.get_process_id() == self.process.pid:
                    return app
            except Exception:
                continue
        return None

    def settle(self):
        """After a failed step: a program that left the accessibility bus may
        still be writing its core dump; wait for it to end."""
        try:
            if self.frame() is not None:
                return
        except Exception:
            pass
        try:
            self.process.wait(20)
        except subprocess.TimeoutExpired:
            pass

    def check_alive(self):
        if self.process.poll() is not None:
            raise StepFailed("the program ended: %s" % describe_status(self.process.returncode))

    def windows(self):
        return [self.app.getChildAtIndex(i) for i in range(self.app.childCount)]

    def frame(self):
        for w in self.windows():
            if w is not None and w.getRole() == pyatspi.ROLE_FRAME:
                return w
        return None

    def caption(self):
        # The bus may briefly answer with nothing while the window changes.
        frame = self.frame()
        return frame.name if frame is not None else None

    def find(self, root, predicate, depth=0):
        if root is None or depth > 12:
            return None
        if predicate(root):
            return root
        for i in range(root.childCount):
            found = self.find(root.getChildAtIndex(i), predicate, depth + 1)
            if found is not None:
                return found
        return None

    def menu_path(self, *names):
        """The menu item reached through the menu bar by captions."""
        bar = wait_until(lambda: self.find(self.frame(), lambda a: a.getRole() == pyatspi.ROLE_MENU_BAR), 10,
                         "the menu bar")
        node = bar
        for name in names:
            found = None
            children = [node.getChildAtIndex(i) for i in range(node.childCount)]
            for holder in [node] + [c for c in children
                                    if c is not None and c.getRole() in (pyatspi.ROLE_MENU, pyatspi.ROLE_POPUP_MENU)]:
                for i in range(holder.childCount):
                    child = holder.getChildAtIndex(i)
                    if child is not None and child.getRole() == pyatspi.ROLE_MENU_ITEM and child.name == name:
                        found = child
                        break
                if found:
                    break
            check(found is not None, "no menu item %r on the way to %r" % (name, names))
            node = found
        return node

    def choose(self, *names):
        self.press(self.menu_path(*names))

    def press(self, item):
        action = item.queryAction()
        index = 0
        for i in range(action.nActions):
            if action.getName(i).lower() in ("press", "click", "activate"):
                index = i
                break
        action.doAction(index)

    def choose_modal(self, *names):
        """Chooses an item whose action opens a modal box. Qt answers an
        accessibility action only once it has returned, which a modal box
        does when it closes; the call is sent without waiting for it."""
        item = self.menu_path(*names)
        reply = subprocess.run(["gdbus", "call", "--session", "--dest", "org.a11y.Bus", "--object-path",
                                "/org/a11y/bus", "--method", "org.a11y.Bus.GetAddress"],
                               capture_output=True, text=True, check=True).stdout.strip()
        address = reply[reply.index("'") + 1: reply.rindex("'")]
        return subprocess.Popen(["gdbus", "call", "--address", address, "--dest", item.app.bus_name,
                                 "--object-path", item.path, "--timeout", "60",
                                 "--method", "org.a11y.atspi.Action.DoAction", "0"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def player_size(self):
        player = wait_until(lambda: self.find(self.frame(), lambda a: a.name == "播放器"), 10, "the player area")
        check(player is not None, "no player area named 播放器")
        extents = player.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        return extents.width, extents.height

    def frame_size(self):
        e = self.frame().queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        return e.width, e.height

    def window_id(self):
        out = subprocess.run(["xdotool", "search", "--all", "--pid", str(self.pid()), "--name", "^Lumora"],
                             capture_output=True, text=True).stdout.split()
        check(out, "no X11 window of the program")
        return out[-1]

    def maximised(self):
        if self.session == "x11":
            state = subprocess.run(["xprop", "-id", self.window_id(), "_NET_WM_STATE"],
                                   capture_output=True, text=True).stdout
            return "_NET_WM_STATE_MAXIMIZED_VERT" in state and "_NET_WM_STATE_MAXIMIZED_HORZ" in state
        # Wayland tells a client nothing about where it is; a maximised window
        # fills the output's width.
        return self.frame_size()[0] >= 1900 / float(os.environ.get("LUMORA_SESSION_SCALE", "1"))

    def expect_pixels(self, twips):
        # Twips to device-independent pixels as Qt reports them: at a higher
        # DPI the device pixel ratio takes the rest.
        scale = self.dpi / 96.0
        return tuple(round(t * 96 / 1440.0) for t in twips), scale

    def check_player(self, twips):
        want, _ = self.expect_pixels(twips)
        got = wait_until(lambda: (lambda s: s if all(abs(a - b) <= 2 for a, b in zip(s, want)) else None)(
            self.player_size()), 5, "the player at %s px" % (want,))
        return got

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def describe_status(code):
    if code is None:
        return "running"
    if code < 0:
        return "killed by signal %d (%s)" % (-code, signal.Signals(-code).name)
    return "exit status %d" % code


def backtrace(program, folder):
    cores = [f for f in os.listdir(folder) if f == "core" or f.startswith("core.")]
    for core in cores:
        print("--- backtrace from %s" % core, flush=True)
        subprocess.run(["gdb", "-batch", "-nx", "-ex", "thread apply all bt", program, os.path.join(folder, core)],
                       stdout=sys.stdout, stderr=subprocess.STDOUT)
    if not cores:
        print("--- no core dump in %s (core pattern: %s)" % (
            folder, open("/proc/sys/kernel/core_pattern").read().strip()), flush=True)


def screenshot(shots, name):
    """The whole screen as the session shows it, into SHOTS/<session>-NAME.png;
    returns the file's path, or None."""
    if not shots:
        return None
    os.makedirs(shots, exist_ok=True)
    path = os.path.join(shots, "%s-%s.png" % (os.environ.get("LUMORA_SESSION", "x11"), name))
    if os.environ.get("LUMORA_SESSION") == "wayland":
        before = set(os.listdir("."))
        subprocess.run(["weston-screenshooter"], capture_output=True)
        new = [f for f in set(os.listdir(".")) - before if f.endswith(".png")]
        if new:
            shutil.move(new[0], path)
    else:
        subprocess.run(["import", "-window", "root", path], capture_output=True)
    return path if os.path.exists(path) else None


def colours(path):
    """How many different colours a screenshot holds: the menus, the caption
    and the control bar are a few hundred; the test picture adds thousands."""
    out = subprocess.run(["identify", "-format", "%k", path], capture_output=True, text=True).stdout.strip()
    return int(out) if out.isdigit() else 0


PICTURE_COLOURS = 3000


def check_picture(shots, name, shown):
    """The test picture is on the screen (shown) or nowhere on it."""
    last = [0]

    def looks_right():
        path = screenshot(shots, name)
        check(path is not None, "no screenshot could be taken")
        last[0] = colours(path)
        return (last[0] >= PICTURE_COLOURS) == shown

    try:
        wait_until(looks_right, 10, "the picture to be %s" % ("on the screen" if shown else "gone"))
    except StepFailed:
        raise StepFailed("the screenshot %s holds %d colours: the picture is %s" % (
            name, last[0], "not on the screen" if shown else "still on the screen"))
    print("       %s: %d colours on the screen" % (name, last[0]), flush=True)


# The libraries of an OpenGL implementation, as opposed to libglvnd's small
# dispatch libraries that Qt links.
GL_DRIVERS = ("libGLX_mesa", "libEGL_mesa", "_dri.so", "libLLVM")


def gl_drivers(pid):
    found = set()
    with open("/proc/%d/maps" % pid) as maps:
        for line in maps:
            fields = line.split()
            if len(fields) >= 6 and any(d in os.path.basename(fields[5]) for d in GL_DRIVERS):
                found.add(os.path.basename(fields[5]))
    return sorted(found)


def write_catalogue(folder, ice):
    """A GBK catalogue whose stations are the Icecast tones and two failures."""
    radio = ice.url("/radio.mp3")
    tv = ice.url("/tv.ts")
    records = {name: [] for name in LIST_FILES}
    records["gb.txt"] = ["|测试音440|" + radio, "|歌曲测试|" + ice.url("/songs.mp3"),
                         "|不存在的电台|" + ice.url("/missing.mp3"),
                         "|拒绝连接|http://127.0.0.1:%d/x.mp3" % servers.free_port(), "|无地址|"]
    records["gb/ah.txt"] = ["|安徽测试音|" + radio]
    records["tv.txt"] = ["|测试电视880|" + tv, "|不存在的电视|" + ice.url("/missing.ts")]
    records["xs.txt"] = ["|相声测试音|" + radio]
    for name, lines in records.items():
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write("".join(line + "\r\n" for line in lines).encode("gbk"))


# --- The steps ---------------------------------------------------------------

RADIO = ("广播", "测试音440")
TV = ("电视", "测试电视880")


def step_radio(p):
    p.choose(*RADIO)
    wait_until(lambda: p.caption() == TITLE + NOW_PLAYING + "测试音440", 5, "the radio caption")
    wait_until(lambda: not p.maximised(), 10, "the normal window state")
    p.check_player(RADIO_TWIPS)
    heard(servers.RADIO_TONE_HZ)


def step_tv(p):
    p.choose(*TV)
    wait_until(lambda: p.caption() == TITLE + NOW_PLAYING + "测试电视880", 5, "the TV caption")
    wait_until(p.maximised, 10, "the maximised window state")
    p.check_player(TV_TWIPS)
    heard(servers.TV_TONE_HZ)
    time.sleep(1.0)
    p.check_alive()


def step_radio_without_opengl(p):
    step_radio(p)
    time.sleep(2.0)
    loaded = gl_drivers(p.pid())
    if p.session == "wayland":
        # Qt's Wayland client (6.4) brings up its EGL buffer integration to
        # ask whether it may draw window decorations, for every window that
        # is shown; the program cannot keep the driver out there.
        print("       Wayland: Qt's window decorations loaded %s" % (", ".join(loaded) or "nothing"), flush=True)
        return
    check(not loaded, "radio alone loaded an OpenGL driver: %s" % ", ".join(loaded))


def step_unmaximise(p):
    step_tv(p)
    subprocess.run(["wmctrl", "-i", "-r", p.window_id(), "-b", "remove,maximized_vert,maximized_horz"], check=True)
    wait_until(lambda: not p.maximised(), 10, "the window to leave the maximised state")
    time.sleep(0.5)
    p.check_player(TV_TWIPS)
    heard(servers.TV_TONE_HZ)


def step_about(p, shots):
    step_tv(p)
    pending = p.choose_modal("关于")
    box = wait_until(lambda: next((w for w in p.windows() if w is not None and w.name == "关于作者"), None), 10,
                     "the About box")
    text = p.find(box, lambda a: "软件:" + TITLE in (a.name or ""))
    check(text is not None, "the About box does not name " + TITLE)
    screenshot(shots, "about")
    heard(servers.TV_TONE_HZ)
    check(p.caption() == TITLE + NOW_PLAYING + "测试电视880", "the caption changed under the About box")
    ok = p.find(box, lambda a: a.getRole() == pyatspi.ROLE_PUSH_BUTTON)
    check(ok is not None, "no button in the About box")
    ok.queryAction().doAction(0)
    wait_until(lambda: all(w is None or w.name != "关于作者" for w in p.windows()), 10, "the About box to close")
    pending.wait(10)
    heard(servers.TV_TONE_HZ)


def step_minimise(p):
    step_tv(p)
    wid = p.window_id()
    subprocess.run(["xdotool", "windowminimize", wid], check=True)
    wait_until(lambda: "Iconic" in subprocess.run(["xprop", "-id", wid, "WM_STATE"], capture_output=True,
                                                    text=True).stdout, 5, "the window to be minimised")
    # Ten seconds minimised, the tone all the way through.
    for second in range(10):
        ok, share, rms = hears(servers.TV_TONE_HZ, 1.0)
        check(ok, "second %d minimised: no %d Hz (share %.2f, rms %.0f)" % (second + 1, servers.TV_TONE_HZ,
                                                                             share, rms))
    subprocess.run(["wmctrl", "-i", "-a", wid], check=True)
    wait_until(lambda: "Normal" in subprocess.run(["xprop", "-id", wid, "WM_STATE"], capture_output=True,
                                                    text=True).stdout, 5, "the window to come back")
    heard(servers.TV_TONE_HZ)
    p.check_alive()


def step_media_controls(p):
    step_radio(p)
    players = subprocess.run(["playerctl", "--list-all"], capture_output=True, text=True).stdout.split()
    check("lumora" in players, "playerctl does not list the program: %s" % players)
    wait_until(lambda: playerctl("status") == "Playing", 5, "playerctl status Playing")
    check(playerctl("metadata", "xesam:artist") == "测试音440",
          "the entry's name is not in the metadata: %r" % playerctl("metadata"))
    check(playerctl("metadata", "xesam:title") != "", "no title in the metadata")
    check(abs(float(playerctl("volume")) - 1.0) < 0.01, "volume is not 1.0: " + playerctl("volume"))

    loud = loudness(servers.RADIO_TONE_HZ)
    playerctl("volume", "0.5")
    wait_until(lambda: abs(float(playerctl("volume")) - 0.5) < 0.01, 5, "volume 0.5")
    time.sleep(0.5)
    soft = loudness(servers.RADIO_TONE_HZ)
    check(soft < loud * 0.7, "the tone is not softer at volume 0.5 (rms %.0f, was %.0f)" % (soft, loud))
    playerctl("volume", "1.0")

    playerctl("play-pause")
    wait_until(lambda: playerctl("status") == "Paused", 5, "playerctl status Paused")
    quiet()
    playerctl("play-pause")
    wait_until(lambda: playerctl("status") == "Playing", 5, "playerctl status Playing")
    heard(servers.RADIO_TONE_HZ)
    playerctl("stop")
    wait_until(lambda: playerctl("status") == "Stopped", 5, "playerctl status Stopped")
    quiet()
    playerctl("play")
    heard(servers.RADIO_TONE_HZ)


SONGS = ("广播", "歌曲测试")


def song_tone(seconds=0.5):
    """Which of the songs' tones the sink plays now, or None."""
    samples = record(seconds)
    for hertz in servers.SONG_TONES_HZ:
        share, rms = tone_share(samples, hertz)
        if share > 0.5 and rms > 300:
            return hertz
    return None


def other_song_tone(hertz):
    low, high = servers.SONG_TONES_HZ
    return high if hertz == low else low


def title_tone(title):
    """The tone of the song a title names: "歌 1" is the low tone, "歌 2" the high one …"""
    number = title.rpartition(" ")[2]
    if not title.startswith("歌 ") or not number.isdigit():
        return None
    return servers.SONG_TONES_HZ[(int(number) + 1) % 2]


def bar_control(p, predicate, what):
    return wait_until(lambda: p.find(p.frame(), predicate), 5, what)


def button(p, name):
    return bar_control(p, lambda a: a.getRole() == pyatspi.ROLE_PUSH_BUTTON and a.name == name,
                       "the button " + name)


def step_pause_behind_live(p, shots):
    """Paused for a song's length, play goes on with the song that played at
    the pause; 回到直播 brings the song the station sends now."""
    p.choose(*SONGS)
    wait_until(lambda: p.caption() == TITLE + NOW_PLAYING + "歌曲测试", 5, "the songs' caption")
    first = wait_until(song_tone, 15, "a song's tone")
    # Into the next song by a second or two: far from its ends.
    wait_until(lambda: song_tone() == other_song_tone(first), servers.SONG_SECONDS + 5, "the next song")
    time.sleep(1.5)
    paused_on = song_tone()
    check(paused_on is not None, "no song's tone before the pause")
    playerctl("pause")
    wait_until(lambda: playerctl("status") == "Paused", 5, "playerctl status Paused")
    time.sleep(servers.SONG_SECONDS)
    behind = bar_control(p, lambda a: a.name.startswith("落后直播"), "落后直播 on the control bar")
    print("       the bar says %s" % behind.name, flush=True)
    screenshot(shots, "behind-live")
    # Found now: after play, the song of the pause has some seconds left.
    live = button(p, "回到直播")
    playerctl("play")
    now = wait_until(song_tone, 3, "a song's tone after play")
    check(now == paused_on, "after play %d Hz, the song of the pause was %d Hz" % (now, paused_on))
    p.press(live)
    heard(other_song_tone(paused_on), within=4)
    # The title is the live song's too, not the one of the pause.
    # The title is the one of the song heard, not of the song of the pause.
    try:
        wait_until(lambda: title_tone(playerctl("metadata", "xesam:title")) == song_tone(), 3, "")
    except StepFailed:
        raise StepFailed("back at live the title is %r while %s Hz plays"
                         % (playerctl("metadata", "xesam:title"), song_tone()))
    wait_until(lambda: p.find(p.frame(), lambda a: a.name.startswith("落后直播")) is None, 5, "落后直播 to go")


def recorded_files(music):
    folder = os.path.join(music, "Lumora")
    return sorted(os.path.join(folder, f) for f in os.listdir(folder)) if os.path.isdir(folder) else []


def duration(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", path],
                         capture_output=True, text=True).stdout.strip()
    try:
        return float(out)
    except ValueError:
        return 0.0


def step_history_and_recording(p, shots, data, music):
    """The songs' titles are in the history file and its window; a recording
    across a title change leaves a playable file per song; the damaged
    history the program found at start was moved aside."""
    p.press(button(p, "录音"))
    button(p, "停止录音")
    wait_until(lambda: len(recorded_files(music)) >= 2, servers.SONG_SECONDS + 10, "a file for the next song")
    time.sleep(2)
    p.press(button(p, "停止录音"))
    button(p, "录音")
    files = recorded_files(music)
    for f in files:
        check(duration(f) > 0.5, "%s does not play (ffprobe: %.2f s)" % (os.path.basename(f), duration(f)))
    print("       recorded %s" % ", ".join("%s (%.1f s)" % (os.path.basename(f), duration(f)) for f in files),
          flush=True)
    check(any(re.search(r" 歌 \d+\.mp3$", f) for f in files), "no file is named after its song: %s" % files)

    folder = os.path.join(data, "lumora")
    check(any(f.startswith("history.tsv.damaged-") for f in os.listdir(folder)),
          "the damaged history was not moved aside: %s" % os.listdir(folder))
    with open(os.path.join(folder, "history.tsv"), encoding="utf-8") as f:
        songs = [line.rstrip("\n").split("\t") for line in f]
    songs = [fields for fields in songs if len(fields) == 3 and fields[1] == "歌曲测试"]
    numbers = [int(fields[2].split()[-1]) for fields in songs]
    # In order, each once; a song whose start was skipped by going back to
    # live may be missing (its title came in what was skipped).
    check(len(numbers) >= 3 and all(a < b for a, b in zip(numbers, numbers[1:])),
          "the history holds the songs out of order: %s" % [fields[2] for fields in songs])
    p.press(button(p, "歌曲记录"))
    wait_until(lambda: any(w is not None and w.name == "歌曲记录" for w in p.windows()), 5, "the history's window")
    screenshot(shots, "history")


def step_keys(p):
    """The player's keys, typed into the active window (X11's XTEST)."""
    step_radio(p)
    subprocess.run(["wmctrl", "-i", "-a", p.window_id()], check=True)
    wait_until(lambda: subprocess.run(["xdotool", "getactivewindow"], capture_output=True,
                                      text=True).stdout.strip() == str(int(p.window_id(), 0)),
               5, "the window to be active")
    subprocess.run(["xdotool", "key", "space"], check=True)
    quiet()
    subprocess.run(["xdotool", "key", "space"], check=True)
    heard(servers.RADIO_TONE_HZ)
    subprocess.run(["xdotool", "key", "m"], check=True)
    quiet()
    subprocess.run(["xdotool", "key", "m"], check=True)
    heard(servers.RADIO_TONE_HZ)


def step_random_picks(p, count, seed):
    rng = random.Random(seed)
    entries = [RADIO, TV, ("广播", "不存在的电台"), ("广播", "拒绝连接"), ("广播", "无地址"),
               ("广播", "安徽", "安徽测试音"), ("相声", "相声测试音"), ("电视", "不存在的电视")]
    # Found once: a walk down the menus takes dozens of calls.
    items = [p.menu_path(*entry) for entry in entries]
    for i in range(count):
        p.press(rng.choice(items))
        time.sleep(rng.uniform(0, 0.4))
        if i % 20 == 0:
            p.check_alive()
    p.check_alive()
    step_radio(p)


def step_close(p):
    step_tv(p)
    if p.session == "x11":
        start = time.monotonic()
        subprocess.run(["wmctrl", "-i", "-c", p.window_id()], check=True)
    else:
        # A Wayland window is closed through its own decoration, out of reach
        # of a headless compositor; the session's end asks the same of it.
        start = time.monotonic()
        p.process.send_signal(signal.SIGTERM)
    wait_until(lambda: p.process.poll() is not None, 5, "the program to end")
    took = time.monotonic() - start
    limit = float(os.environ.get("LUMORA_E2E_CLOSE_SECONDS", "0.5"))
    check(took <= limit, "the program took %.2f s to end after its window was closed" % took)
    check(p.process.returncode == 0 or p.session != "x11",
          "the program ended with " + describe_status(p.process.returncode))
    left = subprocess.run(["pgrep", "-P", str(p.pid())], capture_output=True, text=True).stdout.strip()
    check(not left, "processes left behind: " + left)
    print("       the program ended %.3f s after its window was closed" % took, flush=True)


def main():
    parser = argparse.ArgumentParser()
    group = parser.add_mutually_exclusive_group(required=True)
    group.add_argument("--program")
    group.add_argument("--launcher")
    parser.add_argument("--steps", choices=["full", "short"], default="full")
    parser.add_argument("--picks", type=int, default=int(os.environ.get("LUMORA_E2E_PICKS", "200")))
    parser.add_argument("--shots", default=os.environ.get("LUMORA_E2E_SHOTS"))
    parser.add_argument("--seed", type=int, default=int(time.time()))
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="lumora-e2e.")
    os.chmod(work, 0o755)
    ice = servers.Icecast(os.path.join(work, "servers"))
    os.makedirs(ice.folder)
    env = dict(os.environ)
    env.pop("QT_FONT_DPI", None)
    # The history and the recordings of this run alone; a damaged history
    # left by some earlier program must not keep this one from starting.
    data = os.path.join(work, "data")
    music = os.path.join(work, "music")
    env["XDG_DATA_HOME"] = data
    env["XDG_CONFIG_HOME"] = os.path.join(work, "config")
    os.makedirs(env["XDG_CONFIG_HOME"])
    with open(os.path.join(env["XDG_CONFIG_HOME"], "user-dirs.dirs"), "w") as f:
        f.write('XDG_MUSIC_DIR="%s"\n' % music)
    os.makedirs(os.path.join(data, "lumora"))
    with open(os.path.join(data, "lumora", "history.tsv"), "wb") as f:
        f.write(b"\xff\xfe\x00 not a history \x80\n")
    if args.launcher:
        folder = os.path.join(data, "lumora")
        command = [os.path.abspath(args.launcher)]
        program = os.path.join(os.path.dirname(os.path.dirname(os.path.realpath(args.launcher))),
                               "libexec", "lumora", "lumora")
    else:
        folder = os.path.join(work, "catalogue")
        command = [os.path.abspath(args.program)]
        program = command[0]
    os.makedirs(folder, exist_ok=True)
    passed = failed = 0
    player = None
    session = os.environ.get("LUMORA_SESSION", "x11")
    try:
        ice.start()
        ice.add_tone("/radio.mp3", servers.RADIO_TONE_HZ)
        ice.add_tone("/tv.ts", servers.TV_TONE_HZ, video=True)
        ice.add_songs("/songs.mp3")
        write_catalogue(folder, ice)
        player = Player(command, folder, env)
        player.start()

        shots = args.shots or os.path.join(work, "shots")
        steps = [("radio, with no OpenGL driver loaded (X11)", lambda: step_radio_without_opengl(player)),
                 ("TV, its picture on the screen",
                  lambda: (step_tv(player), check_picture(shots, "tv", True))),
                 ("radio after TV, no picture",
                  lambda: (step_radio(player), check_picture(shots, "radio", False))),
                 ("TV again, its picture on the screen",
                  lambda: (step_tv(player), check_picture(shots, "tv-again", True)))]
        if args.steps == "full":
            if session == "x11":
                steps.append(("the user un-maximises after TV", lambda: step_unmaximise(player)))
            steps.append(("About while TV plays", lambda: step_about(player, args.shots)))
            if session == "x11":
                steps.append(("TV minimised for 10 s", lambda: step_minimise(player)))
            steps.append(("%d random picks (seed %d)" % (args.picks, args.seed),
                          lambda: step_random_picks(player, args.picks, args.seed)))
        steps.append(("desktop media controls (playerctl)", lambda: step_media_controls(player)))
        if args.steps == "full":
            steps.append(("pause behind live, then back to live", lambda: step_pause_behind_live(player, shots)))
            steps.append(("song history and recording",
                          lambda: step_history_and_recording(player, shots, data, music)))
        if session == "x11":
            steps.append(("the player's keys in the window", lambda: step_keys(player)))
        steps.append(("close while TV plays", lambda: step_close(player)))

        for name, run in steps:
            start = time.monotonic()
            try:
                run()
                passed += 1
                print("PASS   %s (%.1f s)" % (name, time.monotonic() - start), flush=True)
            except Exception as e:  # an accessibility call that fails is a failed step too
                failed += 1
                print("FAIL   %s: %s" % (name, e if isinstance(e, StepFailed) else repr(e)), flush=True)
                player.settle()
                if not player.alive():
                    break
    except Exception as e:
        failed += 1
        print("FAIL   setting up: %s" % e, flush=True)
    finally:
        if player is not None:
            if player.process is not None and player.process.poll() is not None and player.process.returncode != 0 \
                    and player.process.returncode != -signal.SIGTERM:
                print("--- the program ended with %s; its output:" % describe_status(player.process.returncode))
                sys.stdout.write(open(os.path.join(folder, "player.log"), errors="replace").read())
                backtrace(program, folder)
            player.stop()
        ice.stop()
        shutil.rmtree(work, ignore_errors=True)
    print("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
