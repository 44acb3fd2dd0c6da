"""Shared pieces of the end-to-end tests: progress notes, a virtual X screen and its windows, screenshots,
a fresh Wine prefix, and a private PulseAudio server whose null sink plays in real time."""
import ctypes
import fcntl
import glob
import os
import re
import select
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import wave

SKIPPED = 77
FIRST_TITLE = "doz-engine"
FRAME_RATE_TITLE = re.compile(r"^doz-engine  (\d+) fps  frac (\d+)  \[reload (\d+)\]$")

STARTED = time.monotonic()


class Failure(Exception):
    pass


class DisplayUnavailable(Failure):
    """Wine could not load its X11 display driver, so that neither its desktop process nor the program
    could make a window. Seen now and then beside four busy loops: the program then rightly reports that
    it has no OpenGL context and ends with code 1 before any window shows. The machine's fault, not the
    program's: a test runs again once in a fresh prefix on a fresh screen. (Wine's driver opens the display
    as it loads, and screens that reset when their last client left refused it now and then; they no
    longer reset.)"""


# What Wine writes when a window is asked for and no display driver could be loaded.
NO_DISPLAY_DRIVER = "nodrv_CreateWindow"
# Runs tried when that happens, each in a fresh prefix.
DISPLAY_ATTEMPTS = 3


def note(text):
    """Progress as it happens, so that a failure's output shows how far the run got."""
    print(f"[{time.monotonic() - STARTED:6.2f} s] {text}", flush=True)


def raw_clock():
    """Seconds on the clock that Wine's debug timestamps and GetTickCount count in."""
    return time.clock_gettime(time.CLOCK_MONOTONIC_RAW)


def wait_until(condition, timeout, failure, interval=0.05, process=None, ended=None):
    """Calls condition() every `interval` s until it gives a true value, and returns that value. Once
    `timeout` s have passed it raises Failure(failure), `failure` being a text or a function that gives one
    (to say what was last seen); where `process` is given and ends first, Failure(ended(its exit code))."""
    deadline = time.monotonic() + timeout
    while True:
        if process is not None and process.poll() is not None:
            raise Failure(ended(process.returncode))
        found = condition()
        if found:
            return found
        if time.monotonic() > deadline:
            raise Failure(failure() if callable(failure) else failure)
        time.sleep(interval)


def start_virtual_screen(width, height):
    """Starts Xvfb on a free display number; returns the process and the DISPLAY value. The server never
    resets: by default it starts afresh whenever its last client leaves, and a client that connects during
    that reset is refused, as the program was now and then between two xdotool calls."""
    read_end, write_end = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{width}x{height}x24", "-nolisten", "tcp",
         "-noreset"],
        pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    deadline = time.monotonic() + 30
    while not number.endswith(b"\n"):
        ready, _, _ = select.select([read_end], [], [], max(0.0, deadline - time.monotonic()))
        chunk = os.read(read_end, 16) if ready else b""
        if not chunk:
            server.kill()
            raise Failure("Xvfb did not report a display number")
        number += chunk
    os.close(read_end)
    return server, ":" + number.decode().strip()


def stop_process(process):
    if process is not None and process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def run_tool(args, env, timeout=10):
    done = subprocess.run(args, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                          timeout=timeout)
    return done.returncode, done.stdout


def window_title(window, env):
    code, out = run_tool(["xdotool", "getwindowname", window], env)
    return out.rstrip("\n") if code == 0 else None


def find_demo_window(env):
    code, out = run_tool(["xdotool", "search", "--onlyvisible", "--name", "^doz-engine"], env)
    ids = out.split() if code == 0 else []
    return ids[0] if ids else None


def wait_for_demo_window(process, env, limit_s):
    """The demo's window once shown. Where none comes, the failure names the windows the screen holds and
    where the program's threads wait, which tell a hang from a misnamed or unmapped window."""
    try:
        return wait_until(lambda: find_demo_window(env), limit_s, f"no window named doz-engine within {limit_s} s",
                          process=process,
                          ended=lambda code: f"the program ended before showing a window, code {code}")
    except Failure as failure:
        if process.poll() is not None:
            raise
        _, windows = run_tool(["xdotool", "search", "--name", "."], env)
        names = [window_title(window, env) for window in windows.split()]
        raise Failure(f"{failure}; windows on the screen: {names}; threads: {thread_states(process.pid)}") from None


def thread_states(pid):
    """'name state wait-channel' of each thread of the process and of its children, read from /proc."""
    def read(path):
        try:
            with open(path) as f:
                return f.read().strip()
        except OSError:
            return "?"
    states, pids = [], [str(pid)]
    while pids and len(states) < 64:
        current = pids.pop(0)
        for task in sorted(os.listdir(f"/proc/{current}/task")) if os.path.isdir(f"/proc/{current}/task") else []:
            base = f"/proc/{current}/task/{task}"
            state = read(f"{base}/stat").rsplit(")", 1)[-1].split()[:1]
            states.append(f"{read(base + '/comm')} {''.join(state)} {read(base + '/wchan')}")
            children = read(f"{base}/children")
            pids += children.split() if children != "?" else []
    return "; ".join(states)


def window_geometry(window, env):
    _, out = run_tool(["xwininfo", "-id", window], env)
    fields = dict(re.findall(r"^\s*([A-Za-z -]+):\s+(\S+)", out, re.MULTILINE))
    return {
        "x": int(fields.get("Absolute upper-left X", -1)),
        "y": int(fields.get("Absolute upper-left Y", -1)),
        "width": int(fields.get("Width", -1)),
        "height": int(fields.get("Height", -1)),
        "mapped": fields.get("Map State") == "IsViewable",
    }


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class _XEvent(ctypes.Union):
    _fields_ = [("xclient", _ClientMessage), ("pad", ctypes.c_long * 24)]


def send_close_request(window, display):
    """Asks the window to close as a window manager's close button does: a WM_PROTOCOLS client message
    carrying WM_DELETE_WINDOW (xdotool's windowclose destroys the X window instead)."""
    _send_window_manager_protocol(window, display, b"WM_DELETE_WINDOW")


def send_take_focus(window, display):
    """Gives the window the focus as a window manager does (Alt+Tab back to it): a WM_PROTOCOLS client
    message carrying WM_TAKE_FOCUS. Wine makes its window the active one only so; after the focus went to
    another program, an XSetInputFocus alone leaves Wine's keys going nowhere."""
    _send_window_manager_protocol(window, display, b"WM_TAKE_FOCUS")


def _send_window_manager_protocol(window, display, protocol):
    x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    connection = x11.XOpenDisplay(display.encode())
    if not connection:
        raise Failure(f"cannot open X display {display}")
    try:
        event = _XEvent()
        event.xclient.type = 33  # ClientMessage
        event.xclient.display = connection
        event.xclient.window = int(window)
        event.xclient.message_type = x11.XInternAtom(connection, b"WM_PROTOCOLS", 0)
        event.xclient.format = 32
        event.xclient.data[0] = x11.XInternAtom(connection, protocol, 0)
        event.xclient.data[1] = 0  # CurrentTime
        # No event mask: the event goes to the client that made the window.
        if not x11.XSendEvent(connection, int(window), 0, 0, ctypes.byref(event)):
            raise Failure(f"XSendEvent refused the {protocol.decode()} message")
        x11.XFlush(connection)
    finally:
        x11.XCloseDisplay(connection)


def take_screenshot(env, width, height):
    """The whole X screen as width*height*3 bytes of RGB."""
    done = subprocess.run(["import", "-silent", "-window", "root", "-depth", "8", "rgb:-"], env=env,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=30)
    if done.returncode != 0 or len(done.stdout) != width * height * 3:
        raise Failure(f"screenshot failed: {done.stderr.decode(errors='replace').strip()}")
    return done.stdout


def read_rgb_image(path, width, height):
    done = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=30)
    if done.returncode != 0 or len(done.stdout) != width * height * 3:
        raise Failure(f"cannot read {path}: {done.stderr.decode(errors='replace').strip()}")
    return done.stdout


def write_png(rgb, width, height, path):
    subprocess.run(["convert", "-size", f"{width}x{height}", "-depth", "8", "rgb:-", path], input=rgb,
                   check=True, timeout=30)


# The booted prefix that every Wine test starts from. Booting one takes 15 to 30 s of mostly CPU; a copy of
# a booted one (its libraries linked, its registry and settings copied) takes well under a second.
TEMPLATE_ROOT = os.environ.get("DOZ_WINE_TEMPLATE_DIR") or os.path.join(tempfile.gettempdir(),
                                                                        f"doz-wine-template-{os.getuid()}")
# Files that Wine only reads once a prefix is booted: shared with the booted prefix by hard links. Anything
# else (the registry, settings files, folders a program writes in) is copied.
LINKED_SUFFIXES = (".dll", ".exe", ".drv", ".sys", ".acm", ".ocx", ".cpl", ".tlb", ".ax", ".nls", ".ds",
                   ".msstyles", ".com", ".mui", ".ttf", ".fon")


def _linked_or_copied(source, target):
    if source.lower().endswith(LINKED_SUFFIXES):
        try:
            os.link(source, target)
            return target
        except OSError:
            pass  # another file system: copy
    return shutil.copy2(source, target)


class WinePrefix:
    """A fresh Wine prefix in a scratch folder, ready before the program starts so that a prefix's slow
    first start does not count against the program. Each is a copy of one booted prefix (TEMPLATE_ROOT,
    booted by the first test that needs it, keyed by Wine's version). `registry` is the text of a .reg
    file, its keys under HKEY_CURRENT_USER, added to the copy's registry before its server starts."""

    def __init__(self, scratch, display, registry=""):
        self.wine = shutil.which("wine64") or "/usr/lib/wine/wine64"
        if not os.path.exists(self.wine):
            self.wine = shutil.which("wine")
        self.server = shutil.which("wineserver") or "/usr/lib/wine/wineserver64"
        if self.wine is None or not os.path.exists(self.server):
            raise Failure("Wine is not installed (Debian packages wine, wine64)")
        self.path = os.path.join(scratch, "prefix")
        # Wine's display-driver errors stay on: they tell a machine that could not load the driver from a
        # program that failed (see DisplayUnavailable).
        self.env = dict(os.environ, DISPLAY=display, WINEPREFIX=self.path, WINEDEBUG="-all,err+winediag",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        if display is None:  # a program that needs no screen
            del self.env["DISPLAY"]
        started = time.monotonic()
        template = booted_template(self.wine, self.server, self.env)
        # A copy has its own server: the server's socket is named after the prefix folder's inode.
        shutil.copytree(template, self.path, symlinks=True, copy_function=_linked_or_copied)
        if registry:
            add_user_registry(os.path.join(self.path, "user.reg"), registry)
        note(f"wine prefix copied in {time.monotonic() - started:.1f} s")

    def shut_down(self):
        # The prefix's server would otherwise linger after its folder is gone.
        subprocess.run([self.server, "-k"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60, check=False)


def booted_template(wine, server, env):
    """The booted prefix for this Wine, booted now under a lock when no test has yet (tests beside each
    other wait for the one that boots it)."""
    version = subprocess.run([wine, "--version"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                             timeout=60).stdout.strip()
    key = re.sub(r"[^A-Za-z0-9.]+", "-", f"{version}-{int(os.stat(os.path.realpath(wine)).st_mtime)}")
    folder = os.path.join(TEMPLATE_ROOT, key)
    prefix = os.path.join(folder, "prefix")
    os.makedirs(TEMPLATE_ROOT, exist_ok=True)
    with open(os.path.join(TEMPLATE_ROOT, "lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if os.path.exists(os.path.join(folder, "booted")):
            return prefix
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        started = time.monotonic()
        boot_env = dict(env, WINEPREFIX=prefix, WINEDEBUG="-all")
        subprocess.run([wine, "wineboot", "-i"], env=boot_env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=300, check=False)
        subprocess.run([server, "-w"], env=boot_env, timeout=180, check=False)
        if not os.path.exists(os.path.join(prefix, "system.reg")):
            raise Failure(f"wineboot made no prefix in {prefix}")
        with open(os.path.join(folder, "booted"), "w") as f:
            f.write(version + "\n")
        note(f"wine prefix booted in {time.monotonic() - started:.1f} s (copied for each test from {prefix})")
        return prefix


def add_user_registry(user_reg, registry):
    """Appends the keys of `registry` (.reg text, HKEY_CURRENT_USER only) to a stopped prefix's user.reg, in
    the server's own format; the server reads them when it starts. A key given again adds its values."""
    lines = []
    for line in registry.splitlines():
        m = re.match(r"^\[HKEY_CURRENT_USER\\(.*)\]$", line)
        if m:
            lines += ["", f"[{m.group(1).replace(chr(92), chr(92) * 2)}] 0"]
        elif line.startswith("["):
            raise Failure(f"only HKEY_CURRENT_USER keys can be added to a prefix: {line}")
        elif line.startswith('"'):
            lines.append(line)
    with open(user_reg, "a") as f:
        f.write("\n".join(lines) + "\n")


def run_under_wine_display(attempt):
    """The start-up path of every Wine test: attempt() makes a fresh screen and prefix, runs the program and
    checks it; where it raises DisplayUnavailable (Wine could not load its display driver, which a loaded
    machine causes now and then) it runs once more, up to DISPLAY_ATTEMPTS in all, after a pause that lets
    the load move on. Any other failure counts at once."""
    for n in range(DISPLAY_ATTEMPTS):
        try:
            return attempt()
        except DisplayUnavailable as failure:
            if n + 1 == DISPLAY_ATTEMPTS:
                raise Failure(f"{failure} (in {DISPLAY_ATTEMPTS} fresh prefixes)")
            note(f"{failure}; once more in a fresh prefix on a fresh screen")
            time.sleep(5)


def display_unavailable_or(failure, output):
    """DisplayUnavailable where Wine's output says it could not load its display driver, else `failure`."""
    if NO_DISPLAY_DRIVER in output:
        return DisplayUnavailable(f"{failure}: Wine could not load its display driver")
    return failure


def registry_text(key, values):
    """One key of a .reg file; values are strings."""
    lines = [f"[{key}]"]
    for name, value in values.items():
        escaped = value.replace("\\", "\\\\").replace('"', '\\"')
        lines.append(f'"{name}"="{escaped}"')
    return "\n".join(lines) + "\n\n"


class PulseServer:
    """A PulseAudio server of its own with one null sink, reached through a private socket. The null sink
    takes samples at the pace of the real-time clock (ALSA's null device, by contrast, runs several times
    too fast under Wine), so the program's music clock runs as it would on a sound card."""

    def __init__(self, scratch):
        self.home = os.path.join(scratch, "pulse")
        os.makedirs(self.home, mode=0o700)
        self.socket = os.path.join(self.home, "native")
        script = os.path.join(self.home, "null.pa")
        with open(script, "w") as f:
            f.write("load-module module-null-sink sink_name=doz_null\n"
                    f"load-module module-native-protocol-unix socket={self.socket} auth-anonymous=1\n"
                    "set-default-sink doz_null\n")
        env = dict(os.environ, HOME=self.home, XDG_RUNTIME_DIR=self.home, XDG_CONFIG_HOME=self.home)
        env.pop("PULSE_SERVER", None)
        env.pop("DISPLAY", None)
        self.log = open(os.path.join(self.home, "pulseaudio.log"), "w")
        self.process = subprocess.Popen(
            ["pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "--system=no",
             "-n", "-F", script], env=env, stdout=self.log, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 20
        while not os.path.exists(self.socket):
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise Failure("the PulseAudio server did not start")
            time.sleep(0.05)
        self.server = "unix:" + self.socket

    def sink_inputs(self):
        """What `pactl list sink-inputs` says: the streams playing now."""
        _, out = run_tool(["pactl", "--server", self.server, "list", "sink-inputs"], dict(os.environ))
        return out

    def stop(self):
        stop_process(self.process)
        self.log.close()


class SinkRecording:
    """Records the null sink's monitor with parec while a program plays into it, and measures the sound on
    the sink's own clock: its frames are those the sink took, whatever wall time they took. The soundtrack
    has no stretch of digital silence after its first 20 ms, so silence between the first and the last
    sound is a gap in which the program's stream gave nothing (an underrun)."""

    RATE = 44100
    BLOCK_FRAMES = 64
    _BLOCK_BYTES = BLOCK_FRAMES * 4

    def __init__(self, pulse, keep_s=0.0):
        """Keeps the sink's frames from the first sound on, for save_wav, until they hold `keep_s` seconds of
        sound (gaps not counted)."""
        self._keep_blocks = int(keep_s * self.RATE) // self.BLOCK_FRAMES
        self._kept_sound_blocks = 0
        self.kept = bytearray()
        self.process = subprocess.Popen(
            ["parec", "--server", pulse.server, "--device", "doz_null.monitor", "--raw", "--format=s16le",
             f"--rate={self.RATE}", "--channels=2", "--latency-msec=100"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.blocks = 0
        self.first_sound = self.last_sound = None  # block indices
        self.gap_blocks = 0
        self._silent_run = 0
        self._thread = threading.Thread(target=self._read, daemon=True)
        self._thread.start()

    def _read(self):
        silence = bytes(self._BLOCK_BYTES)
        pending = b""
        while True:
            chunk = self.process.stdout.read(self._BLOCK_BYTES * 64)
            if not chunk:
                break
            pending += chunk
            whole = len(pending) - len(pending) % self._BLOCK_BYTES
            for at in range(0, whole, self._BLOCK_BYTES):
                if pending[at:at + self._BLOCK_BYTES] == silence:
                    self._silent_run += 1
                else:
                    if self.first_sound is None:
                        self.first_sound = self.blocks
                    else:
                        self.gap_blocks += self._silent_run
                    self._silent_run = 0
                    self.last_sound = self.blocks
                if self.first_sound is not None and not self.kept_enough():
                    self.kept += pending[at:at + self._BLOCK_BYTES]
                    self._kept_sound_blocks += self._silent_run == 0
                self.blocks += 1
            pending = pending[whole:]

    def stop(self, settle_s=1.0):
        """Keeps recording `settle_s` longer (the sink's last blocks reach the monitor), then stops."""
        time.sleep(settle_s)
        stop_process(self.process)
        self._thread.join(timeout=10)

    def kept_enough(self):
        return self._kept_sound_blocks >= self._keep_blocks

    def save_wav(self, path, skip_s=0.0):
        """Writes the kept sound as a 16-bit stereo WAV, without its gaps and its first `skip_s` seconds. The
        stream resumes where it starved, so the sound without the gaps (runs of 16 or more silent frames,
        which the track does not hold) is the track as the program played it."""
        frames = [self.kept[at:at + 4] for at in range(0, len(self.kept) - 3, 4)]
        sound, run = [], []
        for frame in frames:
            if frame == b"\0\0\0\0":
                run.append(frame)
                continue
            if len(run) < 16:
                sound.extend(run)
            run = []
            sound.append(frame)
        with wave.open(path, "wb") as out:
            out.setnchannels(2)
            out.setsampwidth(2)
            out.setframerate(self.RATE)
            out.writeframes(b"".join(sound[int(skip_s * self.RATE):]))
        return path

    def seconds(self, blocks):
        return blocks * self.BLOCK_FRAMES / self.RATE

    def heard(self):
        return self.first_sound is not None

    def span_s(self):
        """Sink time from the first sound to the end of the last: what the stream took, gaps included."""
        return self.seconds(self.last_sound + 1 - self.first_sound) if self.heard() else 0.0

    def played_s(self):
        """Sink time in which the stream gave sound: the span without its gaps."""
        return self.span_s() - self.seconds(self.gap_blocks)

    def describe(self):
        if not self.heard():
            return f"no sound in {self.seconds(self.blocks):.1f} s of the sink's monitor"
        return (f"{self.played_s():.2f} s of sound over {self.span_s():.2f} s of the sink's clock "
                f"(gaps {self.seconds(self.gap_blocks):.2f} s; {self.seconds(self.blocks):.1f} s recorded)")


def kill_process_group(process):
    if process.poll() is None:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()


def glx_tracer():
    """apitrace's GLX wrapper library, or None when apitrace is not installed."""
    found = sorted(glob.glob("/usr/lib/*/apitrace/wrappers/glxtrace.so"))
    return found[0] if found else None


def make_scratch(prefix):
    return tempfile.mkdtemp(prefix=prefix)
