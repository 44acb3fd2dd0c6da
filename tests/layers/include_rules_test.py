#!/usr/bin/env python3
"""The layer rules hold, and the two things that hold them really refuse a fault.

    include_rules_test.py SOURCE_DIR BINARY_DIR CXX

- tools/check_includes.py finds nothing wrong in the tree, and on a small tree made here it names every
  kind of fault it is for: an upward include, a sideways one, a backend that includes app/, a backend that
  includes another backend's header, a cycle round three units; a program that includes every layer and
  its backend, and same-layer includes, pass.
- Each layer's include root in the build refuses the layer above it and takes its own and those below:
  the compiler, given only that root, fails on an include against the direction.
"""
import os
import subprocess
import sys
import tempfile

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def write(root, path, *includes):
    full = os.path.join(root, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "w") as f:
        f.write("// a file of the made-up tree\n")
        for include in includes:
            f.write('#include "%s"\n' % include)


def run_checker(source, tree):
    script = os.path.join(source, "tools", "check_includes.py")
    done = subprocess.run([sys.executable, script, tree], capture_output=True, text=True, timeout=60)
    return done.returncode, done.stdout.splitlines()


def checker_on_tree(source):
    code, said = run_checker(source, source)
    check(code == 0 and not said, "the tree breaks the rules:\n" + "\n".join(said))

    with tempfile.TemporaryDirectory() as tree:
        write(tree, "platform/window.h")
        write(tree, "platform/sdl/window_sdl.cpp", "platform/window.h", "app/input.h")
        write(tree, "platform/sdl/sound_sdl.cpp", "platform/web/web_page.h")
        write(tree, "programs/linux/main.cpp", "app/input.h", "audio/clock.h", "platform/sdl/window_sdl.h")
        write(tree, "platform/sdl/window_sdl.h")
        write(tree, "platform/web/web_page.h")
        write(tree, "app/input.h", "platform/window.h")
        write(tree, "audio/clock.h")
        write(tree, "audio/clock.cpp", "audio/clock.h", "render/scene.h")
        write(tree, "render/scene.h")
        write(tree, "render/scale.cpp", "app/input.h")
        # A cycle round three units: each includes the next one's header from its source.
        write(tree, "app/a.h")
        write(tree, "app/a.cpp", "app/b.h")
        write(tree, "app/b.h")
        write(tree, "app/b.cpp", "app/c.h")
        write(tree, "app/c.h", "app/a.h")
        code, said = run_checker(source, tree)
        expected = [
            "audio/clock.cpp includes render/scene.h: render/ is not below audio/",
            "platform/sdl/sound_sdl.cpp includes platform/web/web_page.h: another backend's header",
            "platform/sdl/window_sdl.cpp includes app/input.h: the platform names nothing above it",
            "render/scale.cpp includes app/input.h: app/ is not below render/",
            "include cycle between app/a, app/b, app/c",
        ]
        check(code == 1, "the checker exited %d on a tree with faults" % code)
        check(said == expected, "the checker said:\n%s\nexpected:\n%s" % ("\n".join(said), "\n".join(expected)))


def compiles(cxx, root, include):
    # Run from an empty folder: a quoted include from standard input is looked for there first.
    with tempfile.TemporaryDirectory() as empty:
        done = subprocess.run([cxx, "-fsyntax-only", "-std=c++17", "-I", root, "-x", "c++", "-"], cwd=empty,
                              input='#include "%s"\n' % include, capture_output=True, text=True, timeout=120)
    return done.returncode == 0


def layer_roots_refuse(binary, cxx):
    layers = os.path.join(os.path.abspath(binary), "layers")
    # Each root with a header it takes and one it must not find.
    cases = {
        "doz_platform_api": ("platform/window.h", "audio/music_clock.h"),
        "doz_audio": ("audio/music_clock.h", "render/auto_scale.h"),
        "doz_render": ("render/auto_scale.h", "app/command_line.h"),
        "doz_sync": ("sync/sync_tracks.h", "render/auto_scale.h"),
        "doz_app": ("app/transport.h", "capture/capture_options.h"),
    }
    for layer, (taken, refused) in cases.items():
        root = os.path.join(layers, layer)
        check(os.path.isdir(root), "no include root for %s at %s" % (layer, root))
        check(compiles(cxx, root, taken), "%s's root does not take %s" % (layer, taken))
        check(not compiles(cxx, root, refused), "%s's root takes %s, against the layers" % (layer, refused))


def main():
    source, binary, cxx = sys.argv[1:4]
    checker_on_tree(source)
    layer_roots_refuse(binary, cxx)
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
