"""Reads Wine's debug output into events: the relay's calls with their arguments and return values, window
procedure calls, and the channels' trace lines. The output must carry time stamps and process ids
(WINEDEBUG=+timestamp,+pid,+loaddll,...): every process of the prefix writes to the same stream, and the
loader's line for the executable tells which process is the program. The executable's PE header gives its
image size, so that the program's own calls can be told from the calls system libraries make."""
import os
import re
import struct
from dataclasses import dataclass, field

_LINE = re.compile(r"^(?P<time>\d+\.\d{3}):(?P<process>[0-9a-f]{4}):(?P<thread>[0-9a-f]{4}):(?P<rest>.*)$")
_LOADED = re.compile(r'^Loaded L"(?P<path>(?:[^"\\]|\\.)*)" at (?P<base>[0-9A-Fa-f]+): ')
_CALL = re.compile(r"^Call (?P<dll>[\w.]+)\.(?P<name>\w+)\((?P<args>.*)\) ret=(?P<ret>[0-9a-f]+)$")
_RET = re.compile(r"^Ret  (?P<dll>[\w.]+)\.(?P<name>\w+)\(\) retval=(?P<retval>[0-9a-f]+) ret=[0-9a-f]+$")
_WINPROC = re.compile(r"^Call window proc (?P<proc>[0-9A-Fa-f]+) \(hwnd=(?P<hwnd>[0-9A-Fa-f]+),"
                      r"msg=(?P<msg>[^,]+),wp=(?P<wp>[0-9a-f]+),lp=(?P<lp>[0-9a-f]+)\)$")
_CHANNEL = re.compile(r"^(?P<level>trace|warn|err|fixme):(?P<channel>\w+):(?P<name>\w+) ?(?P<text>.*)$")
# One relay argument: a hex value, optionally followed by the string it points to.
_ARG = re.compile(r'(?:^|,)([0-9a-f]+)(?: (L?"(?:[^"\\]|\\.)*"))?')


@dataclass(slots=True)
class Event:
    index: int
    time: float  # seconds on Wine's clock (CLOCK_MONOTONIC_RAW)
    process: str
    thread: str
    kind: str  # "call" (relay), "winproc", or "trace" (a channel's line)
    name: str  # function name, or the message name for "winproc"
    dll: str = ""
    channel: str = ""
    text: str = ""
    args: list = field(default_factory=list)  # relay: [(value, string or None)]
    ret_address: int = 0
    retval: int = None
    ret_time: float = None  # when the relayed call returned
    fields: dict = field(default_factory=dict)  # winproc: hwnd, wp, lp, proc

    def arg(self, i):
        return self.args[i][0]

    def arg32(self, i):
        """An argument of 32 bits or fewer: the relay prints whole 64-bit slots, whose upper half is not
        part of the value."""
        return self.args[i][0] & 0xFFFFFFFF

    def retval32(self):
        return None if self.retval is None else self.retval & 0xFFFFFFFF

    def string_arg(self, i):
        return unquote(self.args[i][1]) if self.args[i][1] is not None else None

    def gl_fields(self):
        """The "name value, name value" fields of an OpenGL trace line."""
        return dict(re.findall(r"(\w+) ([^,]+)", self.text))


def unquote(text):
    if text.startswith("L"):
        text = text[1:]
    body = text[1:-1]
    return re.sub(r"\\(x[0-9a-fA-F]{2}|.)", _unescape_one, body)


def _unescape_one(match):
    code = match.group(1)
    simple = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\", '"': '"'}
    if code in simple:
        return simple[code]
    if code.startswith("x"):
        return chr(int(code[1:], 16))
    return code


def read_wine_trace(path):
    events = []
    open_calls = {}  # thread -> relay calls awaiting their Ret
    with open(path, errors="replace") as f:
        for line in f:
            m = _LINE.match(line.rstrip("\n"))
            if not m:
                continue
            time = int(m["time"].replace(".", "")) / 1000.0
            process, thread, rest = m["process"], m["thread"], m["rest"]
            call = _CALL.match(rest)
            if call:
                event = Event(len(events), time, process, thread, "call", call["name"], dll=call["dll"].lower(),
                              args=[(int(v, 16), s or None) for v, s in _ARG.findall(call["args"])],
                              ret_address=int(call["ret"], 16), text=call["args"])
                events.append(event)
                open_calls.setdefault(thread, []).append(event)
                continue
            ret = _RET.match(rest)
            if ret:
                stack = open_calls.get(thread, [])
                for i in range(len(stack) - 1, -1, -1):
                    if stack[i].name == ret["name"]:
                        stack[i].retval = int(ret["retval"], 16)
                        stack[i].ret_time = time
                        del stack[i:]
                        break
                continue
            winproc = _WINPROC.match(rest)
            if winproc:
                events.append(Event(len(events), time, process, thread, "winproc", winproc["msg"], fields={
                    "proc": int(winproc["proc"], 16), "hwnd": int(winproc["hwnd"], 16),
                    "wp": int(winproc["wp"], 16), "lp": int(winproc["lp"], 16)}))
                continue
            channel = _CHANNEL.match(rest)
            if channel:
                events.append(Event(len(events), time, process, thread, "trace", channel["name"],
                                    channel=channel["channel"], text=channel["text"]))
    return events


def image_size(exe_path):
    with open(exe_path, "rb") as f:
        head = f.read(4096)
    pe = struct.unpack_from("<I", head, 0x3C)[0]
    if head[pe:pe + 4] != b"PE\0\0":
        raise ValueError(f"{exe_path} is not a PE image")
    optional = pe + 24
    magic = struct.unpack_from("<H", head, optional)[0]
    if magic not in (0x10B, 0x20B):
        raise ValueError(f"{exe_path} has no PE optional header")
    return struct.unpack_from("<I", head, optional + 56)[0]


def program_events(events, exe_path):
    """The events of the program's process: its own relay calls (those returning into its image), the window
    procedure calls and all the channels' trace lines. Empty when the executable never loaded."""
    name = os.path.basename(exe_path).lower()
    loaded = [e for e in events if e.kind == "trace" and e.channel == "loaddll" and e.name == "build_module"]
    for e in loaded:
        m = _LOADED.match(e.text)
        if m and m["path"].replace("\\\\", "\\").split("\\")[-1].lower() == name:
            first = int(m["base"], 16)
            last = first + image_size(exe_path)
            return [x for x in events if x.process == e.process and
                    (x.kind != "call" or first <= x.ret_address < last)]
    return []
