#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Makes every format's presets from the factory library (factory.txt).

  generate.py factory.txt --cxx library.inc   the library as C++ rows
  generate.py factory.txt --fxb BANK.fxb      the 32 presets as one bank
  generate.py factory.txt --fxp-dir DIR       one program file per preset
  generate.py factory.txt --lv2-presets FILE --lv2-plugin URI
      [--lv2-manifest FILE --lv2-manifest-head FILE]
                                              the presets as LV2 presets, and
                                              the bundle's manifest listing them

The bank and program files are the VST 2 hosts' own forms: big-endian
'CcnK' chunks, 'FxBk' holding 'FxCk' programs of twelve floats each.
"""
import argparse
from decimal import Decimal
import os
import re
import struct
import sys

NUM_PARAMS = 12
NUM_PROGRAMS = 32
NAME_CHARS = 23       # a VST 2 program name: 24 bytes with the zero
PLUGIN_ID = b"OrvS"
PLUGIN_VERSION = 1
FXP_NAME_BYTES = 28   # the program file's name field
# The LV2 control ports' symbols in parameter numbering, as
# formats/lv2/OrvoSwitch.ttl.in has them.
LV2_SYMBOLS = ["attack", "decay", "sustain", "release", "cutoff", "q",
               "type", "env", "wave1", "wave2", "drag", "mix"]
LV2_PREFIXES = """@prefix lv2:  <http://lv2plug.in/ns/lv2core#> .
@prefix pset: <http://lv2plug.in/ns/ext/presets#> .
@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .
"""


def fail(path, number, why):
    sys.exit(f"{path}:{number}: {why}")


def read_library(path):
    presets = []
    with open(path, encoding="utf-8") as text:
        for number, line in enumerate(text, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            fields = [f.strip() for f in line.split("|")]
            if len(fields) != 4:
                fail(path, number, "want name | category | twelve values | description")
            name, category, values, description = fields
            try:
                values = [float(v) for v in values.split()]
            except ValueError:
                fail(path, number, "a value is not a number")
            if len(values) != NUM_PARAMS or not all(0.0 <= v <= 1.0 for v in values):
                fail(path, number, f"want {NUM_PARAMS} values from 0 to 1")
            if not name or len(name.encode("ascii", "strict")) > NAME_CHARS:
                fail(path, number, f"a name is 1 to {NAME_CHARS} ASCII characters")
            if any(p["name"].lower() == name.lower() for p in presets):
                fail(path, number, f"'{name}' is already a preset")
            if name.lower().startswith("init") and name[4:].isdigit():
                fail(path, number, "initN names belong to the plug-in's own bank")
            if not category or not description or '"' in description + name + category:
                fail(path, number, "category and description are needed, without double quotes")
            presets.append(dict(name=name, category=category, values=values,
                                description=description))
    if len(presets) != NUM_PROGRAMS:
        sys.exit(f"{path}: {len(presets)} presets; the bank holds {NUM_PROGRAMS}")
    return presets


def program_chunk(preset):
    body = b"FxCk" + struct.pack(">i", 1) + PLUGIN_ID
    body += struct.pack(">ii", PLUGIN_VERSION, NUM_PARAMS)
    body += preset["name"].encode("ascii").ljust(FXP_NAME_BYTES, b"\0")
    body += struct.pack(f">{NUM_PARAMS}f", *preset["values"])
    return b"CcnK" + struct.pack(">i", len(body)) + body


def bank_chunk(presets):
    body = b"FxBk" + struct.pack(">i", 1) + PLUGIN_ID
    body += struct.pack(">ii", PLUGIN_VERSION, len(presets)) + bytes(128)
    body += b"".join(program_chunk(p) for p in presets)
    return b"CcnK" + struct.pack(">i", len(body)) + body


def float_text(v):
    # The float nearest the decimal, as the files above store it, in digits
    # that read back as that float.
    return "%.9g" % struct.unpack("f", struct.pack("f", v))[0]


def float_literal(v):
    text = float_text(v)
    return text + ("f" if "." in text or "e" in text else ".0f")


def turtle_decimal(v):
    # Always a plain decimal, never an integer or an exponent: hosts then
    # get every value as one type.
    text = format(Decimal(float_text(v)), "f")
    return text if "." in text else text + ".0"


def turtle_string(text):
    return '"' + text.replace("\\", "\\\\") + '"'


def lv2_preset_uris(presets, plugin):
    # Made from the name so that a host's saved reference to a preset
    # survives reordering the library.
    uris = []
    for p in presets:
        slug = re.sub(r"[^a-z0-9]+", "-", p["name"].lower()).strip("-")
        uri = f"{plugin}/presets/{slug}"
        if uri in uris:
            sys.exit(f"'{p['name']}' gives the same LV2 preset URI as an earlier preset")
        uris.append(uri)
    return uris


def lv2_presets(presets, plugin):
    out = ["# Made by presets/generate.py from presets/factory.txt; edit that file.", LV2_PREFIXES]
    for p, uri in zip(presets, lv2_preset_uris(presets, plugin)):
        ports = " ,\n        ".join(f'[ lv2:symbol "{s}" ; pset:value {turtle_decimal(v)} ]'
                                    for s, v in zip(LV2_SYMBOLS, p["values"]))
        out.append(f'<{uri}>\n    a pset:Preset ;\n    lv2:appliesTo <{plugin}> ;\n'
                   f'    rdfs:label {turtle_string(p["name"])} ;\n    rdfs:comment {turtle_string(p["description"])} ;\n'
                   f'    lv2:port\n        {ports} .\n')
    return "\n".join(out)


def lv2_manifest(presets, plugin, head, presets_file):
    # Hosts find presets through the manifest alone; the values wait in
    # presets_file until one is chosen.
    out = [head.rstrip("\n") + "\n", "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"]
    for uri in lv2_preset_uris(presets, plugin):
        out.append(f"<{uri}>\n    a pset:Preset ;\n    lv2:appliesTo <{plugin}> ;\n"
                   f"    rdfs:seeAlso <{presets_file}> .\n")
    return "\n".join(out)


def cxx_rows(presets):
    rows = ["// Made by presets/generate.py from presets/factory.txt; edit that file."]
    for p in presets:
        values = ", ".join(float_literal(v) for v in p["values"])
        rows.append(f'{{"{p["name"]}", "{p["category"]}", "{p["description"]}", {{{values}}}}},')
    return "\n".join(rows) + "\n"


def write(path, data):
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data if isinstance(data, bytes) else data.encode("utf-8"))


def main():
    args = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    args.add_argument("library")
    args.add_argument("--cxx")
    args.add_argument("--fxb")
    args.add_argument("--fxp-dir")
    args.add_argument("--lv2-presets")
    args.add_argument("--lv2-plugin")
    args.add_argument("--lv2-manifest")
    args.add_argument("--lv2-manifest-head")
    opts = args.parse_args()
    if (opts.lv2_presets or opts.lv2_manifest) and not opts.lv2_plugin:
        args.error("the LV2 files need --lv2-plugin")
    if bool(opts.lv2_manifest) != bool(opts.lv2_manifest_head) or (opts.lv2_manifest and not opts.lv2_presets):
        args.error("--lv2-manifest needs --lv2-manifest-head and --lv2-presets")
    presets = read_library(opts.library)
    if opts.cxx:
        write(opts.cxx, cxx_rows(presets))
    if opts.fxb:
        write(opts.fxb, bank_chunk(presets))
    if opts.fxp_dir:
        for p in presets:
            write(os.path.join(opts.fxp_dir, p["name"] + ".fxp"), program_chunk(p))
    if opts.lv2_presets:
        write(opts.lv2_presets, lv2_presets(presets, opts.lv2_plugin))
    if opts.lv2_manifest:
        with open(opts.lv2_manifest_head, encoding="utf-8") as head:
            text = lv2_manifest(presets, opts.lv2_plugin, head.read(), os.path.basename(opts.lv2_presets))
        write(opts.lv2_manifest, text)


if __name__ == "__main__":
    main()
