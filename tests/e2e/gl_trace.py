"""Reads an apitrace recording of the OpenGL calls that reached the system's driver, as `apitrace dump`
writes it, into calls with named arguments and return values."""
import re
import subprocess
from dataclasses import dataclass

_CALL = re.compile(r"^(?P<number>\d+) (?P<name>\w+)\((?P<args>.*)\)(?: = (?P<result>.*))?$")


@dataclass
class GlCall:
    number: int
    name: str
    args: dict
    result: object


def _split_top_level(text):
    """Splits "a = 1, b = {2, 3}, c = "x, y"" at the commas that are not inside braces or strings."""
    parts, depth, quoted, escaped, start = [], 0, False, False, 0
    for i, c in enumerate(text):
        if quoted:
            if escaped:
                escaped = False
            elif c == "\\":
                escaped = True
            elif c == '"':
                quoted = False
        elif c == '"':
            quoted = True
        elif c in "{[(":
            depth += 1
        elif c in "}])":
            depth -= 1
        elif c == "," and depth == 0:
            parts.append(text[start:i].strip())
            start = i + 1
    if text[start:].strip():
        parts.append(text[start:].strip())
    return parts


def parse_value(text):
    """A dumped value: numbers become numbers, strings are unescaped (also behind "&"), the rest (enums,
    blobs, pointers, structures) stays text."""
    if text.startswith("&") and text[1:].startswith('"'):
        text = text[1:]
    if text.startswith('"') and text.endswith('"'):
        return re.sub(r"\\(.)", lambda m: {"n": "\n", "t": "\t", "r": "\r"}.get(m.group(1), m.group(1)),
                      text[1:-1])
    if text.startswith("&"):
        inner = parse_value(text[1:])
        return inner
    try:
        return int(text)
    except ValueError:
        pass
    try:
        return float(text)
    except ValueError:
        return text


def read_gl_trace(path):
    done = subprocess.run(["apitrace", "dump", "--color=never", "--multiline=false", path],
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, errors="replace",
                          timeout=600)
    if done.returncode != 0:
        raise RuntimeError(f"apitrace dump failed: {done.stderr.strip()}")
    calls = []
    for line in done.stdout.splitlines():
        m = _CALL.match(line)
        if not m:
            continue
        args = {}
        for part in _split_top_level(m["args"]):
            name, _, value = part.partition(" = ")
            args[name] = parse_value(value)
        result = parse_value(m["result"]) if m["result"] is not None else None
        calls.append(GlCall(int(m["number"]), m["name"], args, result))
    return calls
