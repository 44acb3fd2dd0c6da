#!/usr/bin/env python3
"""Folds a browser build into one self-contained page: the built index.html with its loader's script tag
(<script ... src="doz-engine.js" ...></script>) replaced by the loader's own text, preceded by the module's
bytes in base64 handed to it as Module.wasmBinary, and the stage script's tag (doz-stages.js) by its text,
after the editor's (doz-editor.js) as an inert script element that the stage script runs only when the
editor opens, so that nothing is fetched: the page plays from disk (file://) as well as from a server.
Everything else in the page stays as the build made it.

    inline_page.py BUILD_DIR OUT.html
"""
import base64
import os
import re
import sys

LOADER = "doz-engine.js"
MODULE = "doz-engine.wasm"
STAGES = "doz-stages.js"
EDITOR = "doz-editor.js"


def script_tag(name):
    return re.compile(r"<script\b[^>]*\bsrc\s*=\s*([\"'])" + re.escape(name) + r"\1[^>]*>\s*</script>", re.I)


LOADER_TAG = script_tag(LOADER)
STAGES_TAG = script_tag(STAGES)


def script_text(text):
    # Inside a script element only "</script" and "<!--" can end or bend the element; JavaScript reads the
    # escaped forms the same way wherever they can occur (strings, regular expressions, comments).
    return text.replace("</script", "<\\/script").replace("<!--", "<\\!--")


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    build, target = sys.argv[1], sys.argv[2]
    paths = {name: os.path.join(build, name) for name in ("index.html", LOADER, MODULE, STAGES, EDITOR)}
    for path in paths.values():
        if not os.path.isfile(path):
            print(f"inline_page.py: no {path} (build the browser build first)")
            return 1
    with open(paths["index.html"], encoding="utf-8") as f:
        page = f.read()
    for name, tag in ((LOADER, LOADER_TAG), (STAGES, STAGES_TAG)):
        tags = tag.findall(page)
        if len(tags) != 1:
            print(f"inline_page.py: {paths['index.html']} has {len(tags)} script tags loading {name}, not one")
            return 1
    with open(paths[LOADER], encoding="utf-8") as f:
        loader = f.read()
    with open(paths[MODULE], "rb") as f:
        module = base64.b64encode(f.read()).decode("ascii")
    inlined = ("<script>\n"
               "  // The module's bytes, carried by the page itself: the loader fetches nothing.\n"
               "  (function () {\n"
               f"    var text = atob('{module}');\n"
               "    var bytes = new Uint8Array(text.length);\n"
               "    for (var i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i);\n"
               "    window.Module = window.Module || {};\n"
               "    Module.wasmBinary = bytes;\n"
               "  })();\n"
               "</script>\n"
               f"<script>\n{script_text(loader)}\n</script>")
    page = LOADER_TAG.sub(lambda _: inlined, page)
    with open(paths[STAGES], encoding="utf-8") as f:
        stages = f.read()
    with open(paths[EDITOR], encoding="utf-8") as f:
        editor = f.read()
    # The editor's text stands first: the stage script may open the editor before the rest is parsed.
    carried = (f'<script type="text/plain" id="doz-editor-bundle">\n{script_text(editor)}\n</script>\n'
               f"<script>\n{script_text(stages)}\n</script>")
    page = STAGES_TAG.sub(lambda _: carried, page)
    with open(target, "w", encoding="utf-8", newline="\n") as f:
        f.write(page)
    return 0


if __name__ == "__main__":
    sys.exit(main())
