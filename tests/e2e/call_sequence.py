"""What the Windows executable asked of Win32, WGL, winmm and OpenGL, checked call by call against the
demo's start-up, frame loop, input and playback rules. Reads Wine's relay and channel trace (program events
from wine_trace) and the apitrace recording of the OpenGL calls (gl_trace)."""
import re
import struct

from harness import FRAME_RATE_TITLE

# The relay traces only these, so that a 124 s run stays a few megabytes.
RELAY_FUNCTIONS = [
    "kernel32.GetModuleHandleA", "kernel32.OutputDebugStringA",
    "user32.LoadCursorA", "user32.RegisterClassA", "user32.GetSystemMetrics", "user32.CreateWindowExA",
    "user32.ShowCursor", "user32.GetDC", "user32.ReleaseDC", "user32.PeekMessageA", "user32.GetMessageA", "user32.TranslateMessage",
    "user32.DispatchMessageA", "user32.DefWindowProcA", "user32.SetCapture", "user32.ReleaseCapture",
    "user32.GetClientRect", "user32.SetWindowTextA", "user32.wsprintfA", "user32.MessageBoxA",
    "user32.DestroyWindow", "user32.PostQuitMessage",
    "gdi32.ChoosePixelFormat", "gdi32.SetPixelFormat", "gdi32.SwapBuffers",
    "opengl32.wglCreateContext", "opengl32.wglMakeCurrent", "opengl32.wglGetProcAddress",
    "opengl32.wglDeleteContext", "winmm.*",
]

GL_ENTRY_POINTS = [
    "glCreateShader", "glShaderSource", "glCompileShader", "glCreateProgram", "glAttachShader", "glLinkProgram",
    "glUseProgram", "glGetUniformLocation", "glUniform1f", "glUniform2f", "glUniform1i", "glUniform3fv",
    "glGetShaderiv", "glGetShaderInfoLog", "glDeleteShader", "glDeleteProgram", "glGetProgramiv",
    "glGetProgramInfoLog",
]
UNIFORM_NAMES = [
    "iResolution", "iTime", "iBeat", "iBeatHalf", "iZoom", "iDepth", "iFocus", "uNodes", "uNodeCount", "iCam",
    "iFractal", "iSpider", "iFScale", "iCamPos", "uText",
]
WS_POPUP_VISIBLE = 0x90000000
IDC_ARROW = 0x7F00
WAVE_MAPPER = 0xFFFFFFFF
WHDR_PREPARED, WHDR_BEGINLOOP, WHDR_ENDLOOP, WHDR_INQUEUE, WHDR_DONE = 0x02, 0x04, 0x08, 0x10, 0x01
# WAVEHDR of a 64-bit process: lpData, dwBufferLength, dwBytesRecorded, dwUser, dwFlags, dwLoops, lpNext,
# reserved.
WAVEHDR_LAYOUT = "<QIIQIIQQ"
WAVEHDR_SIZE = struct.calcsize(WAVEHDR_LAYOUT)
MMTIME_SIZE = 12
END_TIME = 124.0
MK_SHIFT = 0x0004
VK_ESCAPE = 0x1B

MESSAGE_STEP = {"PeekMessageA", "TranslateMessage", "DispatchMessageA", "DefWindowProcA", "SetCapture",
                "ReleaseCapture"}
# wsprintfA takes a variable argument list, which the relay does not always show.
TITLE_STEPS = (["wsprintfA", "SetWindowTextA"], ["SetWindowTextA"])


class Checks:
    """Collects the outcome of every check with what the trace showed, so that one run reports them all."""

    def __init__(self):
        self.failures = []

    def expect(self, ok, shown):
        print(("ok    " if ok else "FAIL  ") + shown, flush=True)
        if not ok:
            self.failures.append(shown)
        return ok

    def show(self, text):
        print("      " + text, flush=True)


def calls(events, name):
    return [e for e in events if e.kind == "call" and e.name == name]


def first_call(events, name):
    found = calls(events, name)
    return found[0] if found else None


def gl_lines(events):
    """The OpenGL calls in Wine's opengl channel, made through opengl32 or through wglGetProcAddress."""
    return [e for e in events if e.kind == "trace" and e.channel == "opengl" and e.name.startswith("gl")]


def check_window_start_up(checks, events, all_events, screen):
    """Module, class, window, cursor, device context, pixel format, context and the eighteen entry points."""
    width, height = screen
    module = first_call(events, "GetModuleHandleA")
    checks.expect(module is not None and module.arg(0) == 0,
                  f"GetModuleHandleA(NULL) = {module.retval:#x}" if module else "GetModuleHandleA(NULL) called")
    instance = module.retval if module else None

    cursor = first_call(events, "LoadCursorA")
    register = first_call(events, "RegisterClassA")
    checks.expect(cursor is not None and cursor.arg(0) == 0 and cursor.arg(1) == IDC_ARROW and
                  register is not None and cursor.index < register.index,
                  f"LoadCursorA(NULL, IDC_ARROW) = {cursor.retval:#x}, before RegisterClassA" if cursor else
                  "LoadCursorA(NULL, IDC_ARROW) before RegisterClassA")
    registered = [e for e in all_events if e.kind == "trace" and e.name == "NtUserRegisterClassExWOW"
                  and '->L"doz"' in e.text]
    if checks.expect(len(registered) == 1, f'class "doz" registered once ({len(registered)} times)'):
        fields = dict(re.findall(r"(\w+)=(\S+)", registered[0].text.split("->", 1)[1]))
        checks.expect(fields.get("style") == "00000000" and fields.get("bg") == "(nil)" and
                      fields.get("clsExt") == "0" and fields.get("winExt") == "0" and
                      instance is not None and int(fields.get("hinst", "0"), 16) == instance,
                      f"class fields: style {fields.get('style')}, background {fields.get('bg')}, "
                      f"class/window extra {fields.get('clsExt')}/{fields.get('winExt')}, "
                      f"instance {fields.get('hinst')}, window procedure {fields.get('wndproc')}")
        wndproc = int(fields.get("wndproc", "0"), 16)
    else:
        wndproc = None
    if cursor is not None:
        # The class cursor is what the system sets when the pointer is over the window.
        set_cursor = [e for e in all_events if e.kind == "trace" and e.name == "NtUserSetCursor"]
        handles = {e.text.split()[0] for e in set_cursor}
        checks.expect(handles <= {f"{cursor.retval:#x}", "(nil)", "0x0"} and f"{cursor.retval:#x}" in handles,
                      f"class cursor: the system set cursor {sorted(handles)} over the window "
                      f"(LoadCursorA gave {cursor.retval:#x})")

    metrics = calls(events, "GetSystemMetrics")
    create = first_call(events, "CreateWindowExA")
    checks.expect([(m.arg32(0), m.retval32()) for m in metrics[:2]] == [(0, width), (1, height)] and
                  create is not None and metrics[1].index < create.index,
                  "GetSystemMetrics(SM_CXSCREEN), (SM_CYSCREEN) = " +
                  ", ".join(str(m.retval) for m in metrics[:2]) + " before CreateWindowExA")
    hwnd = None
    if checks.expect(create is not None, "CreateWindowExA called"):
        # Extended style, style, position and size are 32-bit; the rest are pointers and handles.
        args = [create.arg32(i) if i in (0, 3, 4, 5, 6, 7) else create.arg(i) for i in range(len(create.args))]
        checks.expect(args == [0, args[1], args[2], WS_POPUP_VISIBLE, 0, 0, width, height, 0, 0, instance, 0]
                      and create.string_arg(1) == "doz" and create.string_arg(2) == "doz-engine",
                      f"CreateWindowExA(ex 0, \"{create.string_arg(1)}\", \"{create.string_arg(2)}\", "
                      f"style {args[3]:#x} (WS_POPUP|WS_VISIBLE), ({args[4]}, {args[5]}), {args[6]}x{args[7]}, "
                      f"parent {args[8]:#x}, menu {args[9]:#x}, instance {args[10]:#x}, param {args[11]:#x}) "
                      f"= {create.retval:#x}")
        hwnd = create.retval
    if wndproc is not None and hwnd is not None:
        procs = {e.fields["proc"] for e in events if e.kind == "winproc" and e.fields["hwnd"] == hwnd}
        checks.expect(procs == {wndproc}, f"messages of the window went to the class procedure {wndproc:#x}")

    # Start-up ends where the frame loop begins; the exit path shows the cursor again after the loop.
    loop = first_call(events, "PeekMessageA")
    before_loop = loop.index if loop is not None else float("inf")
    show = [e for e in calls(events, "ShowCursor") if e.index < before_loop]
    checks.expect([e.arg32(0) for e in show] == [0] and create is not None and show[0].index > create.index,
                  f"ShowCursor(FALSE) once, after the window: display count "
                  f"{[struct.unpack('<i', struct.pack('<I', e.retval32()))[0] for e in show]}")
    hidden = [e.text for e in all_events if e.kind == "trace" and e.name == "NtUserShowCursor" and
              e.index < before_loop]
    checks.expect(hidden == ["0, count=-1"], f"cursor display count: {hidden}")

    get_dc = first_call(events, "GetDC")
    checks.expect(get_dc is not None and get_dc.arg(0) == hwnd, f"GetDC(window) = {get_dc.retval:#x}"
                  if get_dc else "GetDC(window)")
    hdc = get_dc.retval if get_dc else None

    choose = first_call(events, "ChoosePixelFormat")
    set_format = first_call(events, "SetPixelFormat")
    descriptor = [e for e in events if e.kind == "trace" and e.name == "wglChoosePixelFormat" and "size" in e.text]
    if checks.expect(choose is not None and set_format is not None and len(descriptor) == 1,
                     "ChoosePixelFormat then SetPixelFormat"):
        text = descriptor[0].text.split(": ", 1)[1]
        checks.expect(text == "size 40 version 1 flags 37 type 0 color 32 0,0,0,0 accum 0 depth 0 stencil 0 aux 0",
                      f"pixel format descriptor: {text} "
                      "(flags 37 = PFD_DRAW_TO_WINDOW|PFD_SUPPORT_OPENGL|PFD_DOUBLEBUFFER, type 0 = RGBA)")
        checks.expect(choose.arg(0) == hdc and set_format.arg(0) == hdc and
                      set_format.arg32(1) == choose.retval32() and set_format.arg(2) == choose.arg(1),
                      f"ChoosePixelFormat(hdc, pfd {choose.arg(1):#x}) = {choose.retval32()}; "
                      f"SetPixelFormat(hdc, {set_format.arg32(1)}, the same pfd {set_format.arg(2):#x}) = "
                      f"{set_format.retval32()}")

    create_context = first_call(events, "wglCreateContext")
    make_current = first_call(events, "wglMakeCurrent")
    checks.expect(create_context is not None and make_current is not None and create_context.arg(0) == hdc
                  and make_current.args[:2] == [(hdc, None), (create_context.retval, None)]
                  and set_format is not None and set_format.index < create_context.index < make_current.index,
                  "wglCreateContext(hdc), then wglMakeCurrent(hdc, that context)")
    names = [e.string_arg(0) for e in calls(events, "wglGetProcAddress")]
    resolved = [e.retval for e in calls(events, "wglGetProcAddress")]
    # After the eighteen, the swap control for vsync; Wine's drivers have it.
    checks.expect(names == GL_ENTRY_POINTS + ["wglSwapIntervalEXT"] and all(resolved),
                  f"wglGetProcAddress, in order: {', '.join(str(n) for n in names)}")
    lookups = calls(events, "wglGetProcAddress")
    checks.expect(bool(lookups) and make_current is not None and lookups[0].index > make_current.index,
                  "entry points fetched after the context is current")
    return {"instance": instance, "hwnd": hwnd, "hdc": hdc, "wndproc": wndproc,
            "cursor": cursor.retval if cursor else None}


def _gl_sequence(gl_calls, names):
    return [c for c in gl_calls if c.name in names]


def check_gl_start_up(checks, gl_calls, vertex_source, fragment_source, compiles=True):
    """Credits texture, then the scene program: compile, status, link or log, uniform table, uText."""
    start = next((i for i, c in enumerate(gl_calls) if c.name == "glGenTextures"), None)
    if not checks.expect(start is not None, "glGenTextures called"):
        return {}
    texture = gl_calls[start:start + 7]
    shown = "; ".join(f"{c.name}({', '.join(f'{k}={v}' for k, v in c.args.items())})" for c in texture)
    name = gl_calls[start].args.get("textures")
    checks.expect([c.name for c in texture] == ["glGenTextures", "glBindTexture", "glTexImage2D"] +
                  ["glTexParameteri"] * 4 and
                  gl_calls[start].args.get("n") == 1 and
                  texture[1].args == {"target": "GL_TEXTURE_2D", "texture": name} and
                  texture[2].args == {"target": "GL_TEXTURE_2D", "level": 0, "internalformat": "GL_RGBA",
                                      "width": 512, "height": 560, "border": 0, "format": "GL_RGBA",
                                      "type": "GL_UNSIGNED_BYTE", "pixels": f"blob({512 * 560 * 4})"} and
                  [(c.args["pname"], c.args["param"]) for c in texture[3:]] ==
                  [("GL_TEXTURE_MIN_FILTER", "GL_LINEAR"), ("GL_TEXTURE_MAG_FILTER", "GL_LINEAR"),
                   ("GL_TEXTURE_WRAP_S", "GL_CLAMP"), ("GL_TEXTURE_WRAP_T", "GL_CLAMP")],
                  f"texture upload: {shown}")

    program_calls = _gl_sequence(gl_calls[start:], {
        "glCreateShader", "glShaderSource", "glCompileShader", "glGetShaderiv", "glCreateProgram",
        "glAttachShader", "glLinkProgram", "glDeleteShader", "glGetShaderInfoLog", "glUseProgram",
        "glGetUniformLocation", "glUniform1i", "glDeleteProgram"})
    order = [c.name for c in program_calls]
    build = ["glCreateShader", "glShaderSource", "glCompileShader"] * 2 + ["glGetShaderiv"] * 2
    if compiles:
        build += ["glCreateProgram", "glAttachShader", "glAttachShader", "glLinkProgram", "glDeleteShader",
                  "glDeleteShader"]
    else:
        build += ["glGetShaderInfoLog", "glDeleteShader", "glDeleteShader"]
    build += ["glUseProgram"] + ["glGetUniformLocation"] * 15 + ["glUniform1i"]
    checks.expect(order[:len(build)] == build, "scene program calls in order: " + ", ".join(order[:len(build)]))
    if order[:len(build)] != build:
        return {}
    vertex, fragment = program_calls[0], program_calls[3]
    checks.expect(vertex.args == {"type": "GL_VERTEX_SHADER"} and fragment.args == {"type": "GL_FRAGMENT_SHADER"},
                  f"glCreateShader(GL_VERTEX_SHADER) = {vertex.result}, "
                  f"glCreateShader(GL_FRAGMENT_SHADER) = {fragment.result}")
    for source_call, shader, text, what in ((program_calls[1], vertex.result, vertex_source, "vertex"),
                                            (program_calls[4], fragment.result, fragment_source, "fragment")):
        checks.expect(source_call.args.get("shader") == shader and source_call.args.get("count") == 1 and
                      source_call.args.get("length") == "NULL" and source_call.args.get("string") == text,
                      f"glShaderSource({what} stage, 1 string, no lengths): {len(str(source_call.args.get('string')))} "
                      f"characters, {'the same as' if source_call.args.get('string') == text else 'NOT'} the source file with the track names")
    statuses = [(c.args.get("shader"), c.args.get("pname"), c.args.get("params")) for c in program_calls[6:8]]
    checks.expect([s[:2] for s in statuses] == [(vertex.result, "GL_COMPILE_STATUS"),
                                                (fragment.result, "GL_COMPILE_STATUS")],
                  f"compile statuses asked for after both compiles: {statuses}")
    at = 8
    info_log = None
    program = 0
    if compiles:
        program = program_calls[at].result
        attached = [c.args.get("shader") for c in program_calls[at + 1:at + 3]]
        deleted = [c.args.get("shader") for c in program_calls[at + 4:at + 6]]
        checks.expect(attached == [vertex.result, fragment.result] and deleted == attached and
                      program_calls[at + 3].args.get("program") == program,
                      f"program {program}: attach {attached}, link, delete {deleted}")
        at += 6
    else:
        log_call = program_calls[at]
        info_log = log_call.args.get("infoLog")
        failed = fragment.result if statuses[0][2] != 0 else vertex.result
        checks.expect(log_call.args.get("shader") == failed and log_call.args.get("bufSize") == 2048 and
                      log_call.args.get("length") == "NULL",
                      f"glGetShaderInfoLog(shader {log_call.args.get('shader')}, 2048, NULL): {info_log!r}")
        checks.expect(not any(c.name == "glCreateProgram" for c in program_calls), "no program created")
        at += 3
    use = program_calls[at]
    checks.expect(use.args == {"program": program}, f"glUseProgram({use.args.get('program')})")
    lookups = program_calls[at + 1:at + 16]
    table = {c.args.get("name"): c.result for c in lookups}
    checks.expect([c.args.get("name") for c in lookups] == UNIFORM_NAMES and
                  all(c.args.get("program") == program for c in lookups),
                  "uniform table: " + ", ".join(f"{c.args.get('name')} {c.result}" for c in lookups))
    set_text = program_calls[at + 16]
    checks.expect(set_text.args == {"location": table.get("uText"), "v0": 0},
                  f"glUniform1i(location of uText {table.get('uText')}, 0)")
    return {"locations": table, "program": program, "info_log": info_log}


def wave_calls(events):
    return [e for e in events if e.kind == "call" and e.dll == "winmm"]


def check_playback_start(checks, events, all_events, header_bytes, track_frames):
    """waveOutOpen on the wave mapper with the PCM format, one prepared looping buffer written once."""
    wave = wave_calls(events)
    start = [e for e in wave if e.name != "waveOutGetPosition"]
    # The exit path's calls follow; check_orderly_exit looks at those.
    checks.expect([e.name for e in start] == ["waveOutOpen", "waveOutPrepareHeader", "waveOutWrite"] + SOUND_CLOSE,
                  "winmm calls besides the position: " + ", ".join(e.name for e in start))
    if [e.name for e in start] != ["waveOutOpen", "waveOutPrepareHeader", "waveOutWrite"]:
        return None
    opened, prepared, written = start
    checks.expect(opened.arg32(1) == WAVE_MAPPER and opened.arg(3) == 0 and opened.arg(4) == 0 and
                  opened.arg32(5) == 0 and opened.retval32() == 0,
                  f"waveOutOpen(&handle, {opened.arg32(1):#x} (WAVE_MAPPER), format, callback {opened.arg(3)}, "
                  f"instance {opened.arg(4)}, flags {opened.arg32(5)} (CALLBACK_NULL)) = {opened.retval32()}")
    formats = [e for e in all_events if e.kind == "trace" and e.channel == "pulse"]
    initialize = next((i for i, e in enumerate(formats) if e.name == "AudioClient_Initialize"), None)
    if initialize is not None:
        dumped = [e.text for e in formats[initialize + 1:initialize + 8] if e.name == "dump_fmt"]
        checks.expect(dumped == ["wFormatTag: 0x1 (WAVE_FORMAT_PCM)", "nChannels: 2", "nSamplesPerSec: 44100",
                                 "nAvgBytesPerSec: 176400", "nBlockAlign: 4", "wBitsPerSample: 16",
                                 "cbSize: 0"],
                      "wave format the device was opened with: " + "; ".join(dumped))
    else:
        checks.expect(False, "the sound driver's trace shows the format the device was opened with")
    handle = prepared.arg(0)
    header = prepared.arg(1)
    checks.expect(prepared.arg32(2) == WAVEHDR_SIZE and prepared.retval32() == 0 and written.arg(0) == handle and
                  written.arg(1) == header and written.arg32(2) == WAVEHDR_SIZE and written.retval32() == 0,
                  f"waveOutPrepareHeader(handle, header {header:#x}, {prepared.arg32(2)}) = {prepared.retval32()}, "
                  f"waveOutWrite(handle, header, {written.arg32(2)}) = {written.retval32()}")
    length = [e.text for e in events if e.kind == "trace" and e.name == "waveOutWrite" and "dwBufferLength" in e.text]
    checks.show(f"winmm trace: {length}")
    if header_bytes is None:
        checks.expect(False, "the WAVEHDR could be read from the running program")
        return header
    data, buffer_length, recorded, user, flags, loops, next_header, _ = struct.unpack(WAVEHDR_LAYOUT, header_bytes)
    own_flags = flags & ~(WHDR_PREPARED | WHDR_INQUEUE | WHDR_DONE)
    checks.expect(own_flags == WHDR_BEGINLOOP | WHDR_ENDLOOP and loops == 0x7FFFFFFF and recorded == 0 and
                  user == 0 and next_header == 0 and data != 0,
                  f"WAVEHDR in the running program: lpData {data:#x}, dwBufferLength {buffer_length}, "
                  f"dwBytesRecorded {recorded}, dwUser {user}, dwFlags {flags:#x} (the program's part {own_flags:#x}"
                  f" = WHDR_BEGINLOOP|WHDR_ENDLOOP; winmm added {flags & ~own_flags:#x}), dwLoops {loops:#x}, "
                  f"lpNext {next_header:#x}")
    if track_frames is not None:
        checks.expect(buffer_length == track_frames * 4,
                      f"dwBufferLength {buffer_length} = {track_frames} decoded frames x 4 bytes")
    else:
        checks.expect(buffer_length % 4 == 0 and buffer_length > 0, f"dwBufferLength {buffer_length} is whole frames")
    return header


def check_nothing_pumped_during_start_up(checks, events):
    """Input waits in the queue until the first pass: nothing is retrieved before the sound has started."""
    create = first_call(events, "CreateWindowExA")
    written = first_call(events, "waveOutWrite")
    retrieving = [e for e in events if e.kind == "call" and e.name in ("PeekMessageA", "GetMessageA")]
    checks.expect(create is not None and written is not None and bool(retrieving) and
                  all(e.index > written.index for e in retrieving),
                  "no message retrieved between the window's creation and the start of the sound")


class Pass:
    def __init__(self):
        self.tokens = []
        self.events = []
        self.message_events = []

    def add(self, name, event):
        self.tokens.append(name)
        self.events.append(event)


# How every run ends, after its last frame: the sound stops and lets go of the buffer (a device still open
# at process exit leaves Wine's sound driver tearing down under a stream that is still running), then the
# context, the device context and the window go, and the cursor shows again.
SOUND_CLOSE = ["waveOutReset", "waveOutUnprepareHeader", "waveOutClose"]
WINDOW_CLOSE = ["wglMakeCurrent", "wglDeleteContext", "ReleaseDC", "DestroyWindow", "ShowCursor"]


def split_passes(events, first_pass_index):
    """The frame loop's passes: each begins with the first PeekMessageA after the previous SwapBuffers; the
    exit path ends them."""
    passes = []
    current = None
    for e in events:
        if e.index < first_pass_index:
            continue
        if e.kind == "call":
            name = e.name
        elif e.kind == "trace" and e.channel == "opengl" and e.name.startswith("gl"):
            name = e.name
        elif e.kind == "winproc":
            if current is not None:
                current.message_events.append(e)
            continue
        else:
            continue
        if name in SOUND_CLOSE + WINDOW_CLOSE and current is not None and "SwapBuffers" in current.tokens:
            break  # the loop is over; the exit path follows its last pass
        if name == "PeekMessageA" and (current is None or "SwapBuffers" in current.tokens):
            current = Pass()
            passes.append(current)
        if current is not None:
            current.add(name, e)
    return passes


def frame_step_names(with_sound_device):
    clock = ["waveOutGetPosition"] if with_sound_device else []
    return (["GetClientRect", "glViewport", "glUniform2f"] + clock + ["glUniform1f"] + clock +
            ["glUniform1f", "glUniform1f", "glDrawArrays", "SwapBuffers"])


# The pass whose first, or second, clock reading found the device stalled: the program says so once on the
# debugger output, and the readings after it run on the tick count.
HANDOVER_STEPS = [
    ["GetClientRect", "glViewport", "glUniform2f", "waveOutGetPosition", "OutputDebugStringA", "glUniform1f",
     "glUniform1f", "glUniform1f", "glDrawArrays", "SwapBuffers"],
    ["GetClientRect", "glViewport", "glUniform2f", "waveOutGetPosition", "glUniform1f", "waveOutGetPosition",
     "OutputDebugStringA", "glUniform1f", "glUniform1f", "glDrawArrays", "SwapBuffers"],
]


def check_pass_shape(one, steps):
    """None when the pass has the loop's shape, else what is wrong with it."""
    tokens = one.tokens
    i = 0
    while i < len(tokens) and tokens[i] in MESSAGE_STEP:
        i += 1
    peeks = [e for e, t in zip(one.events[:i], tokens[:i]) if t == "PeekMessageA"]
    if not peeks or peeks[-1].retval32() != 0 or any(p.retval32() == 0 for p in peeks[:-1]):
        return f"the message step does not peek until the queue is empty: {tokens[:i]}"
    if tokens[i:i + len(steps)] != steps:
        return f"expected {steps} after the message step, got {tokens[i:]}"
    # Setting the title sends WM_SETTEXT to the window procedure, which hands it to DefWindowProcA.
    rest = [t for t in tokens[i + len(steps):] if t != "DefWindowProcA"]
    if rest != [] and rest not in TITLE_STEPS:
        return f"unexpected calls after SwapBuffers: {rest}"
    return None


def check_frame_loop(checks, events, screen, hdc, locations, with_sound_device):
    """Every pass of the loop: the message step, then viewport, iResolution, clock, iTime, clock, iBeat,
    iBeatHalf, three vertices, swap, and now and then the title. Returns the passes."""
    width, height = screen
    first = first_call(events, "PeekMessageA")
    if not checks.expect(first is not None, "the frame loop ran"):
        return []
    passes = split_passes(events, first.index)
    steps = frame_step_names(with_sound_device)
    ticks_steps = frame_step_names(False)
    # A device that stands still for a second (a starved stream on a busy machine) hands the clock to the
    # tick count for good: after the pass that found it so, the clock reads no position any more.
    transition = None
    if with_sound_device:
        transition = next((n for n, p in enumerate(passes)
                           if any(check_pass_shape(p, shape) is None for shape in HANDOVER_STEPS)), None)
    if transition is not None:
        print(f"      the device stood still: the tick count timed the passes after pass {transition}")

    def pass_problem(n, one):
        if transition is None or n < transition:
            return check_pass_shape(one, steps)
        return None if n == transition else check_pass_shape(one, ticks_steps)

    wrong = [(n, problem) for n, problem in ((n, pass_problem(n, p)) for n, p in enumerate(passes))
             if problem is not None]
    checks.expect(not wrong, f"{len(passes)} passes of the frame loop, each: message step, " +
                  ", ".join(steps) + ", [wsprintfA, SetWindowTextA]" +
                  (f"; pass {wrong[0][0]}: {wrong[0][1]} ({len(wrong)} passes wrong)" if wrong else ""))
    if wrong:
        return passes

    bad_values = []
    times = []
    for n, one in enumerate(passes):
        gl = {}
        uniforms = []
        for name, e in zip(one.tokens, one.events):
            if name == "glUniform1f":
                uniforms.append(e.gl_fields())
            elif name.startswith("gl"):
                gl[name] = e.gl_fields()
            elif name == "SwapBuffers":
                gl["SwapBuffers"] = e.arg(0)
            elif name == "waveOutGetPosition":
                gl.setdefault("positions", []).append(e)
        viewport = gl["glViewport"]
        resolution = gl["glUniform2f"]
        draw = gl["glDrawArrays"]
        expected = (viewport == {"x": "0", "y": "0", "width": str(width), "height": str(height)} and
                    int(resolution["location"]) == locations["iResolution"] and
                    float(resolution["v0"]) == width and float(resolution["v1"]) == height and
                    [int(u["location"]) for u in uniforms] ==
                    [locations["iTime"], locations["iBeat"], locations["iBeatHalf"]] and
                    draw == {"mode": "4", "first": "0", "count": "3"} and gl["SwapBuffers"] == hdc and
                    all(p.arg32(2) == MMTIME_SIZE for p in gl.get("positions", [])))
        if not expected:
            bad_values.append((n, viewport, resolution, uniforms, draw))
        times.append(float(uniforms[0]["v0"]))
    checks.expect(not bad_values,
                  f"every pass: glViewport(0, 0, {width}, {height}), glUniform2f(iResolution "
                  f"{locations['iResolution']}, {width}, {height}), glUniform1f on iTime "
                  f"{locations['iTime']}, iBeat {locations['iBeat']}, iBeatHalf {locations['iBeatHalf']} in that "
                  f"order, glDrawArrays(GL_TRIANGLES, 0, 3), SwapBuffers(hdc)" +
                  (f"; pass {bad_values[0][0]} was {bad_values[0][1:]}" if bad_values else ""))
    return passes


def uniform_values(gl_calls, locations):
    """Per pass (one glDrawArrays each) the exact uniform values from the recorder: (iTime, iBeat, iBeatHalf)."""
    values = []
    current = {}
    for c in gl_calls:
        if c.name == "glUniform1f":
            current[c.args["location"]] = c.args["v0"]
        elif c.name == "glDrawArrays":
            values.append(tuple(current.get(locations[n]) for n in ("iTime", "iBeat", "iBeatHalf")))
    return values


def float32(x):
    return struct.unpack("<f", struct.pack("<f", x))[0]


def check_beat_signals(checks, values):
    """iBeat stays in 0..1 and iBeatHalf follows the onset rule on successive frames: a rise of more than 0.3
    counts an onset, and iBeatHalf passes iBeat only while the count is odd."""
    previous, onsets, wrong = 0.0, 0, []
    for n, (_, beat, half) in enumerate(values):
        threshold = float32(previous + 0.3)
        if beat > threshold:
            onsets += 1
        expected = beat if onsets % 2 == 1 else 0.0
        near_threshold = abs(beat - threshold) < 1e-5
        if abs(half - expected) > 1e-6 and not near_threshold:
            wrong.append((n, previous, beat, half, expected))
        previous = beat
    beats = [b for _, b, _ in values]
    checks.expect(all(0.0 <= b <= 1.0 for b in beats),
                  f"iBeat within 0..1 (from {min(beats):.3f} to {max(beats):.3f})" if beats else "iBeat set")
    checks.expect(not wrong, f"iBeatHalf follows the onset rule over {len(values)} frames ({onsets} onsets)" +
                  (f"; first mismatch at frame {wrong[0][0]}: previous {wrong[0][1]}, beat {wrong[0][2]}, "
                   f"half {wrong[0][3]}, expected {wrong[0][4]}" if wrong else ""))


def check_end_rule(checks, values):
    """The run ends after the first frame whose iTime passes 124 s; the times never go back by more than the
    clock's wrap tolerance."""
    times = [t for t, _, _ in values]
    if not checks.expect(bool(times), "frames were drawn"):
        return
    back = [(a, b) for a, b in zip(times, times[1:]) if b < a - 0.0006]
    checks.expect(not back, f"iTime never goes back ({len(times)} frames from {times[0]:.3f} s to "
                            f"{times[-1]:.3f} s)" + (f"; {back[0][0]} -> {back[0][1]}" if back else ""))
    checks.expect(times[-1] > END_TIME and all(t <= END_TIME for t in times[:-1]),
                  f"the last frame is the first past {END_TIME:.0f} s: "
                  f"{times[-2] if len(times) > 1 else None} then {times[-1]}")


def check_titles(checks, events, passes):
    """SetWindowTextA once a second with the frame-rate text, its fps the frames of that second."""
    sets = calls(events, "SetWindowTextA")
    texts = [e.string_arg(1) for e in sets]
    bad = [t for t in texts if not FRAME_RATE_TITLE.match(t or "")]
    checks.expect(bool(texts) and not bad, f"{len(texts)} title updates, all in the frame-rate format" +
                  (f"; not: {bad[:3]}" if bad else ""))
    # The program reads its tick count right after the swap returns.
    swap_times = [swap_done(one) for one in passes]
    # Titles by the index of the pass that wrote them.
    pass_of_title = []
    for n, one in enumerate(passes):
        if "SetWindowTextA" in one.tokens:
            pass_of_title.append(n)
    intervals, late, fps_off = [], [], []
    window_start = 0
    for k, n in enumerate(pass_of_title):
        elapsed = swap_times[n] - swap_times[window_start]
        frames = n - window_start + (1 if k == 0 else 0)
        intervals.append(elapsed)
        # The title comes with the first frame a second after the window began, not a frame later.
        if n - 1 > window_start and swap_times[n - 1] - swap_times[window_start] >= 1.005:
            late.append((n, round(swap_times[n - 1] - swap_times[window_start], 3)))
        match = FRAME_RATE_TITLE.match(texts[k] or "")
        if match and elapsed > 0:
            shown = int(match.group(1))
            # The program divides by its own tick count; the trace's millisecond stamps differ by a few ms.
            if abs(shown - frames / elapsed) > max(1.0, frames / elapsed * 0.02):
                fps_off.append((texts[k], round(frames / elapsed, 1)))
        window_start = n
    short = [round(i, 3) for i in intervals if i < 0.995]
    checks.expect(not short and not late,
                  f"each title comes with the first frame at least a second after the previous one: intervals "
                  f"{min(intervals, default=0):.3f} to {max(intervals, default=0):.3f} s" +
                  (f"; short: {short[:5]}" if short else "") + (f"; late: {late[:5]}" if late else ""))
    checks.expect(not fps_off, "each title's fps is the frames since the previous title per second" +
                  (f"; off: {fps_off[:3]}" if fps_off else ""))
    return texts


def check_clicks(checks, events, hwnd, plain_clicks, shift_clicks):
    presses = [e for e in events if e.kind == "winproc" and e.name == "WM_LBUTTONDOWN" and e.fields["hwnd"] == hwnd]
    plain = [e for e in presses if not e.fields["wp"] & MK_SHIFT]
    shifted = [e for e in presses if e.fields["wp"] & MK_SHIFT]
    checks.expect(len(plain) == plain_clicks and len(shifted) == shift_clicks,
                  f"left presses reached the window procedure: {len(plain)} plain, {len(shifted)} with MK_SHIFT "
                  f"(wParam {[hex(e.fields['wp']) for e in presses]})")
    captures = [(e.name, e.args[:1]) for e in events if e.kind == "call" and e.name in ("SetCapture", "ReleaseCapture")]
    taken = [("SetCapture", [(hwnd, None)]), ("ReleaseCapture", [])] * (plain_clicks + shift_clicks)
    checks.expect(captures == taken, f"each left press takes the mouse capture, its release gives it back: {captures}")


def swap_done(one):
    """When the pass's SwapBuffers returned: the frame is on the screen."""
    swap = next(e for n, e in zip(one.tokens, one.events) if n == "SwapBuffers")
    return swap.ret_time if swap.ret_time is not None else swap.time


def check_titles_since(checks, events, since, frac):
    """The titles written after a moment all show the given frac."""
    texts = [e.string_arg(1) for e in calls(events, "SetWindowTextA") if e.time > since]
    fracs = [FRAME_RATE_TITLE.match(t).group(2) if FRAME_RATE_TITLE.match(t or "") else t for t in texts]
    checks.expect(bool(texts) and all(f == str(frac) for f in fracs),
                  f"{len(texts)} titles after a Shift+left click, frac {sorted(set(fracs))}")


def frames_after(events, event):
    """Draws and swaps after an event, to the end of the trace."""
    later = [e for e in events if e.index > event.index]
    draws = sum(1 for e in later if e.name == "glDrawArrays" and (e.kind == "call" or e.channel == "opengl"))
    swaps = sum(1 for e in later if e.kind == "call" and e.name == "SwapBuffers")
    peeks = sum(1 for e in later if e.kind == "call" and e.name == "PeekMessageA")
    return draws, swaps, peeks



def check_orderly_exit(checks, events, with_sound_device=True):
    swaps = calls(events, "SwapBuffers")
    if not checks.expect(bool(swaps), "frames were shown before the exit"):
        return
    watched = set(SOUND_CLOSE + WINDOW_CLOSE)
    after = [e for e in events if e.kind == "call" and e.index > swaps[-1].index and e.name in watched]
    expected = (SOUND_CLOSE if with_sound_device else []) + WINDOW_CLOSE
    names = [e.name for e in after]
    checks.expect(names == expected, f"after the last frame: {names}")
    failed = [e.name for e in after if e.retval is not None and
              (e.retval32() != 0 if e.name.startswith("waveOut") else e.retval32() == 0 and e.name != "ShowCursor")]
    checks.expect(not failed, f"each of them succeeded ({failed or 'no failures'})")
