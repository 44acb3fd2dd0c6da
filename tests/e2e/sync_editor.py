"""A sync editor for the tests: a TCP server on a free loopback port that speaks the editor's side of the
protocol, byte by byte from the protocol's description (big-endian numbers):

    demo -> editor   b"hello, synctracker!", then GET_TRACK (2, u32 length, name) and SET_ROW (3, u32 row)
    editor -> demo   b"hello, demo!", then SET_KEY (0, u32 track, u32 row, f32, u8 interpolation),
                     DELETE_KEY (1, u32 track, u32 row), SET_ROW (3, u32 row), PAUSE (4, u8), SAVE_TRACKS (5)

It takes one demo at a time, and can send anything, bad input included (raw bytes).

On the same port it also speaks the editor's WebSocket framing (RFC 6455), chosen per connection by its
first bytes (an HTTP upgrade): the demo's greeting is one text message, and from then on every message both
ways is one binary message holding exactly one command, as the editor's own WebSocket port reads them; a
message holding two commands, or a cut one, is refused and the connection dropped."""
import base64
import hashlib
import select
import socket
import struct
import time

CLIENT_GREETING = b"hello, synctracker!"
SERVER_GREETING = b"hello, demo!"
SET_KEY, DELETE_KEY, GET_TRACK, SET_ROW, PAUSE, SAVE_TRACKS = range(6)
STEP, LINEAR, SMOOTH, RAMP = range(4)


class EditorFailure(Exception):
    pass


class SyncEditor:
    def __init__(self, port=0):
        self.server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.server.bind(("127.0.0.1", port))
        self.server.listen(4)
        self.port = self.server.getsockname()[1]
        self.demo = None
        self.buffer = b""
        self.tracks = []  # names in the order the demo asked for them on this connection
        self.rows = []  # the demo's SET_ROWs on this connection, as (seconds on the test's clock, row)
        self.websocket = False  # this connection's framing: a WebSocket's messages, or a byte stream
        self.messages = []  # on a WebSocket: whole messages not yet read, as (opcode, payload)

    # Connections

    def accept(self, timeout):
        """Waits for the demo to connect; returns the seconds that took."""
        started = time.monotonic()
        ready, _, _ = select.select([self.server], [], [], timeout)
        if not ready:
            raise EditorFailure(f"the demo did not connect within {timeout} s")
        self.demo, _ = self.server.accept()
        self.demo.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.buffer = b""
        self.tracks = []
        self.rows = []
        self.messages = []
        self.websocket = False
        return time.monotonic() - started

    def _upgrade(self, timeout):
        """Answers a WebSocket's opening handshake when the connection starts with one."""
        deadline = time.monotonic() + timeout
        while b"\r\n\r\n" not in self.buffer:
            if not self._fill_stream(deadline):
                raise EditorFailure(f"the demo closed the connection; had {self.buffer!r}")
            if self.buffer and not b"GET ".startswith(self.buffer[:4]):
                return
            if time.monotonic() > deadline:
                return
        head, self.buffer = self.buffer.split(b"\r\n\r\n", 1)
        key = None
        for line in head.split(b"\r\n")[1:]:
            name, _, value = line.partition(b":")
            if name.strip().lower() == b"sec-websocket-key":
                key = value.strip()
        if key is None:
            raise EditorFailure(f"an HTTP request that is no WebSocket upgrade: {head!r}")
        accept = base64.b64encode(hashlib.sha1(key + b"258EAFA5-E914-47DA-95CA-C5AB0DC85B11").digest())
        self.demo.sendall(b"HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n"
                          b"Connection: Upgrade\r\nSec-WebSocket-Accept: " + accept + b"\r\n\r\n")
        self.websocket = True

    def hang_up(self):
        if self.demo is not None:
            self.demo.close()
        self.demo = None
        self.websocket = False

    def close(self):
        self.hang_up()
        self.server.close()

    # Reading

    def _fill(self, deadline):
        """Reads what has come; False once the demo has closed the connection."""
        if not self._fill_stream(deadline):
            return False
        if self.websocket:
            return self._take_frames()
        return True

    def _take_frames(self):
        """Moves whole frames from the byte buffer to the messages; False on a close frame."""
        while len(self.buffer) >= 2:
            first, second = self.buffer[0], self.buffer[1]
            size, at = second & 0x7F, 2
            if size == 126:
                if len(self.buffer) < 4:
                    return True
                (size,), at = struct.unpack(">H", self.buffer[2:4]), 4
            elif size == 127:
                if len(self.buffer) < 10:
                    return True
                (size,), at = struct.unpack(">Q", self.buffer[2:10]), 10
            mask = b"\0\0\0\0"
            if second & 0x80:
                mask, at = self.buffer[at:at + 4], at + 4
            if len(self.buffer) < at + size or len(mask) < 4:
                return True
            payload = bytes(b ^ mask[i & 3] for i, b in enumerate(self.buffer[at:at + size]))
            self.buffer = self.buffer[at + size:]
            opcode = first & 0x0F
            if not first & 0x80 or opcode == 0:
                raise EditorFailure("a message in fragments (the editor takes each message whole)")
            if opcode == 8:
                return False
            if opcode == 9:
                self._send_frame(10, payload)
            elif opcode in (1, 2):
                self.messages.append((opcode, payload))
        return True

    def _send_frame(self, opcode, payload):
        size = len(payload)
        if size < 126:
            head = struct.pack(">BB", 0x80 | opcode, size)
        elif size < 65536:
            head = struct.pack(">BBH", 0x80 | opcode, 126, size)
        else:
            head = struct.pack(">BBQ", 0x80 | opcode, 127, size)
        self.demo.sendall(head + payload)

    def read_message(self, timeout):
        """On a WebSocket: the demo's next whole message, as (opcode, payload)."""
        deadline = time.monotonic() + timeout
        while not self.messages:
            if not self._fill(deadline):
                raise EditorFailure("the demo closed the connection")
            if time.monotonic() > deadline and not self.messages:
                raise EditorFailure(f"no message came within {timeout} s")
        return self.messages.pop(0)

    def _fill_stream(self, deadline):
        left = max(0.0, deadline - time.monotonic())
        ready, _, _ = select.select([self.demo], [], [], left)
        if not ready:
            return True
        try:
            chunk = self.demo.recv(65536)
        except ConnectionResetError:
            chunk = b""
        if not chunk:
            return False
        self.buffer += chunk
        return True

    def read_exactly(self, size, timeout):
        deadline = time.monotonic() + timeout
        while len(self.buffer) < size:
            if not self._fill(deadline):
                raise EditorFailure(f"the demo closed the connection; had {self.buffer!r}")
            if time.monotonic() > deadline and len(self.buffer) < size:
                raise EditorFailure(f"{size} bytes did not come within {timeout} s; had {self.buffer!r}")
        data, self.buffer = self.buffer[:size], self.buffer[size:]
        return data

    def greet(self, timeout=10):
        """Takes the demo's greeting and answers it (on a WebSocket: a text message, answered in binary)."""
        self._upgrade(timeout)
        if self.websocket:
            opcode, got = self.read_message(timeout)
            if opcode != 1:
                raise EditorFailure(f"the demo's greeting is not a text message: {got!r}")
        else:
            got = self.read_exactly(len(CLIENT_GREETING), timeout)
        if got != CLIENT_GREETING:
            raise EditorFailure(f"the demo's greeting is {got!r}")
        self.send_raw(SERVER_GREETING)

    def read_command(self, timeout):
        """The demo's next command: ("track", name) or ("row", row)."""
        if self.websocket:
            return self._read_command_message(timeout)
        command = self.read_exactly(1, timeout)[0]
        if command == GET_TRACK:
            (length,) = struct.unpack(">I", self.read_exactly(4, timeout))
            if length > 1024:
                raise EditorFailure(f"a track name of {length} bytes")
            name = self.read_exactly(length, timeout).decode("utf-8")
            self.tracks.append(name)
            return ("track", name)
        if command == SET_ROW:
            (row,) = struct.unpack(">I", self.read_exactly(4, timeout))
            self.rows.append((time.monotonic(), row))
            return ("row", row)
        raise EditorFailure(f"the demo sent command {command}")

    def _read_command_message(self, timeout):
        """One message, one whole command: anything else is refused, and the connection dropped."""
        opcode, message = self.read_message(timeout)
        size = None
        if opcode == 2 and message[:1] == bytes([SET_ROW]):
            size = 5
        elif opcode == 2 and message[:1] == bytes([GET_TRACK]) and len(message) >= 5:
            size = 5 + struct.unpack(">I", message[1:5])[0]
        if size != len(message):
            self.hang_up()
            raise EditorFailure(f"refused a message that is not one whole command: {message[:40]!r} "
                                f"({len(message)} bytes, {'text' if opcode == 1 else 'binary'})")
        saved, self.buffer, self.websocket = self.buffer, message, False
        try:
            return self.read_command(0)
        finally:
            self.buffer, self.websocket = saved, True

    def read_tracks(self, count, timeout=10):
        """Reads commands until `count` tracks have been asked for; returns their names in order."""
        deadline = time.monotonic() + timeout
        while len(self.tracks) < count:
            self.read_command(max(0.01, deadline - time.monotonic()))
        return list(self.tracks)

    def read_rows_for(self, seconds, least=None):
        """Every command that comes within `seconds`, or, given `least`, until that many rows have come
        (a page on a busy machine may draw a frame a second); returns the rows among them."""
        deadline = time.monotonic() + seconds
        first = len(self.rows)
        while time.monotonic() < deadline and (least is None or len(self.rows) - first < least):
            if self.websocket:
                if not self._fill(deadline):
                    raise EditorFailure("the demo closed the connection")
                while self.messages:
                    self.read_command(1)
                continue
            if not self.buffer and not self._fill(deadline):
                raise EditorFailure("the demo closed the connection")
            while self.buffer and self._whole_command():
                self.read_command(1)
        return [row for _, row in self.rows[first:]]

    def _whole_command(self):
        if self.buffer[0] == SET_ROW:
            return len(self.buffer) >= 5
        if self.buffer[0] == GET_TRACK and len(self.buffer) >= 5:
            return len(self.buffer) >= 5 + struct.unpack(">I", self.buffer[1:5])[0]
        return self.buffer[0] not in (SET_ROW, GET_TRACK)

    def wait_for_hang_up(self, timeout):
        """True once the demo has closed the connection (what it sent meanwhile is kept)."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if not self._fill(deadline):
                self.hang_up()
                return True
        return False

    # Writing

    def send_raw(self, data):
        """One command (or any bytes): on a WebSocket, one binary message."""
        if self.demo is None:
            raise EditorFailure("no demo is connected")
        if self.websocket:
            self._send_frame(2, data)
        else:
            self.demo.sendall(data)

    def set_key(self, track, row, value, interpolation=STEP):
        self.send_raw(struct.pack(">BIIfB", SET_KEY, track, row, value, interpolation))

    def delete_key(self, track, row):
        self.send_raw(struct.pack(">BII", DELETE_KEY, track, row))

    def set_row(self, row):
        self.send_raw(struct.pack(">BI", SET_ROW, row))

    def pause(self, paused):
        self.send_raw(struct.pack(">BB", PAUSE, 1 if paused else 0))

    def save(self):
        self.send_raw(bytes([SAVE_TRACKS]))


def track_file_bytes(keys):
    """A track file as the format describes it: little-endian count, then row, f32 value, interpolation."""
    return struct.pack("<i", len(keys)) + b"".join(struct.pack("<ifB", row, value, kind)
                                                   for row, value, kind in keys)


def track_file_name(name, base="sync"):
    """base, '_', the name with every byte but letters, digits, '.', '_' and '/' as '-' and two hex digits."""
    kept = b"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._/"
    escaped = "".join(chr(b) if b in kept else f"-{b:02X}" for b in name.encode("utf-8"))
    return f"{base}_{escaped}.track"


def serve(lines, out):
    """Scripted from another program (the browser test): one command a line, one answer a line.
        connect N         takes the demo's next connection that greets, reads N track requests;
                          answers "tracks NAME,NAME,..." (a connection closed before greeting, as a bridge
                          does with a greeting it refuses, is skipped)
        framing           answers "framing websocket" or "framing stream": how this connection speaks
        pause 0|1, row R, key TRACK ROW VALUE INTERPOLATION, save     sent; answers "ok"
        rows SECONDS      answers "rows R R ..." that the demo sent within that time
        rows-least N      answers "rows R R ..." once the demo has sent N more (30 s at most)
    It answers "error TEXT" on a failure and starts with "port PORT"."""
    editor = SyncEditor()
    out.write(f"port {editor.port}\n")
    out.flush()
    for line in lines:
        words = line.split()
        if not words:
            continue
        try:
            if words[0] == "connect":
                while True:
                    editor.accept(60)
                    try:
                        editor.greet()
                        break
                    except EditorFailure:
                        editor.hang_up()
                answer = "tracks " + ",".join(editor.read_tracks(int(words[1])))
            elif words[0] == "framing":
                answer = "framing " + ("websocket" if editor.websocket else "stream")
            elif words[0] == "pause":
                editor.pause(words[1] != "0")
                answer = "ok"
            elif words[0] == "row":
                editor.set_row(int(words[1]))
                answer = "ok"
            elif words[0] == "key":
                editor.set_key(int(words[1]), int(words[2]), float(words[3]), int(words[4]))
                answer = "ok"
            elif words[0] == "save":
                editor.save()
                answer = "ok"
            elif words[0] == "rows-least":
                answer = "rows " + " ".join(str(r) for r in editor.read_rows_for(30.0, int(words[1])))
            elif words[0] == "rows":
                answer = "rows " + " ".join(str(r) for r in editor.read_rows_for(float(words[1])))
            elif words[0] == "quit":
                break
            else:
                answer = f"error unknown command {words[0]}"
        except (EditorFailure, OSError, ValueError, IndexError) as failure:
            answer = f"error {failure}"
        out.write(answer + "\n")
        out.flush()
    editor.close()


if __name__ == "__main__":
    import sys
    if sys.argv[1:] != ["serve"]:
        print("usage: sync_editor.py serve   (commands on standard input; see serve())")
        sys.exit(2)
    serve(sys.stdin, sys.stdout)
