#!/usr/bin/env python3
"""Writes the GNOME Shell extension in the form one Shell loads.

The extension is written once, as ES modules (GNOME 45 and later). Shells
before 45 load scripts through `imports.*`, with `init()` returning the
object that enables and disables the extension. `--form imports` rewrites
every import and export for them; `--form modules` copies the scripts as
they are. Either way metadata.json keeps only the Shell versions of its form.

    gnome_extension_form.py --form modules|imports --out DIR FILE...

DIR is emptied and gets FILE... (scripts, stylesheet, metadata and the rest).
Anything in a script that looks like an import or export and matches no rule
stops the build: a half-rewritten extension would fail only in the Shell.
"""

import argparse
import json
import re
import shutil
import sys
from pathlib import Path

FIRST_MODULES_SHELL = 45

# What 45's Extension base class gives an extension, from what 43 and 44
# pass to init().
EXTENSION_STAND_IN = """const Extension = class {
    constructor(extension) {
        this.metadata = extension.metadata;
        this.uuid = extension.uuid;
        this.dir = extension.dir;
        this.path = extension.path;
    }
};"""


def destructured(names):
    """`a, b as c` in an import list becomes `a, b: c` in a destructuring."""
    parts = [n.strip() for n in names.split(",") if n.strip()]
    return ", ".join(re.sub(r"^(\w+)\s+as\s+(\w+)$", r"\1: \2", p) for p in parts)


# (pattern, its imports.* form, what the line is). Only `var` and function
# declarations are seen from outside an imports.* script, so exports become
# those.
RULES = [
    (r"import (\w+) from 'gi://(\w+)(?:\?version=[\w.]+)?';",
     lambda m: f"const {m[1]} = imports.gi.{m[2]};", "import"),
    (r"import \* as (\w+) from 'resource:///org/gnome/shell/(ui|misc)/(\w+)\.js';",
     lambda m: f"const {m[1]} = imports.{m[2]}.{m[3]};", "import"),
    (r"import \{([\w\s,]+)\} from 'resource:///org/gnome/shell/(ui|misc)/(\w+)\.js';",
     lambda m: f"const {{{destructured(m[1])}}} = imports.{m[2]}.{m[3]};", "import"),
    (r"import \{Extension\} from 'resource:///org/gnome/shell/extensions/extension\.js';",
     lambda m: EXTENSION_STAND_IN, "import"),
    (r"import \{([\w\s,]+)\} from '\./(\w+)\.js';",
     lambda m: f"const {{{destructured(m[1])}}} = Me.imports.{m[2]};", "own import"),
    (r"export default class (\w+)(.*)", lambda m: f"class {m[1]}{m[2]}", "default export"),
    (r"export class (\w+)(.*)", lambda m: f"var {m[1]} = class {m[1]}{m[2]}", "export"),
    (r"export (?:const|let|var) (.*)", lambda m: f"var {m[1]}", "export"),
    (r"export (function .*)", lambda m: m[1], "export"),
]
RULES = [(re.compile(f"^{pattern}$"), form, kind) for pattern, form, kind in RULES]
LOOKS_LIKE_MODULE_SYNTAX = re.compile(r"^\s*(import|export)\b|\bimport\.meta\b")


class FormError(Exception):
    pass


def to_imports(path, text):
    out = []
    first_import = None
    uses_own_modules = False
    default_class = None
    for number, line in enumerate(text.split("\n"), 1):
        for pattern, form, kind in RULES:
            if m := pattern.match(line):
                line = form(m)
                break
        else:
            kind = None
            if LOOKS_LIKE_MODULE_SYNTAX.search(line):
                raise FormError(f"{path}:{number}: no imports.* form for: {line.strip()}")
        if kind in ("import", "own import") and first_import is None:
            first_import = len(out)
        uses_own_modules |= kind == "own import"
        if kind == "default export":
            default_class = m[1]
        out.append(line)
    if uses_own_modules:
        out.insert(first_import, "const Me = imports.misc.extensionUtils.getCurrentExtension();\n")
    if default_class:
        while out and out[-1] == "":
            out.pop()
        out += ["", "function init(extension) {", f"    return new {default_class}(extension);", "}", ""]
    return "\n".join(out)


def metadata_for(form, text):
    metadata = json.loads(text)
    versions = metadata["shell-version"]
    keep = [v for v in versions if (int(v.split(".")[0]) >= FIRST_MODULES_SHELL) == (form == "modules")]
    if not keep:
        raise FormError(f"metadata.json lists no Shell version for the {form} form: {versions}")
    metadata["shell-version"] = keep
    return json.dumps(metadata, indent=2, ensure_ascii=False) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--form", choices=["modules", "imports"], required=True)
    parser.add_argument("--out", required=True, type=Path)
    parser.add_argument("files", nargs="+", type=Path)
    args = parser.parse_args()

    try:
        written = {}
        for source in args.files:
            if source.name == "metadata.json":
                written[source.name] = metadata_for(args.form, source.read_text(encoding="utf-8"))
            elif source.suffix == ".js" and args.form == "imports":
                written[source.name] = to_imports(source, source.read_text(encoding="utf-8"))
            else:
                written[source.name] = source.read_bytes()
    except FormError as e:
        print(f"gnome_extension_form.py: {e}", file=sys.stderr)
        return 1

    shutil.rmtree(args.out, ignore_errors=True)
    args.out.mkdir(parents=True)
    for name, content in written.items():
        target = args.out / name
        if isinstance(content, bytes):
            target.write_bytes(content)
        else:
            target.write_text(content, encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())
