#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Makes every format's presets from the factory library (factory.txt).

  generate.py factory.txt --cxx library.inc   the library as C++ rows
  generate.py factory.txt --fxb BANK.fxb      the 32 presets as one bank
  generate.py factory.txt --fxp-dir DIR       one program file per preset

The bank and program files are the VST 2 hosts' own forms: big-endian
'CcnK' chunks, 'FxBk' holding 'FxCk' programs of twelve floats each.
"""
import argparse
import os
import struct
import sys

NUM_PARAMS = 12
NUM_PROGRAMS = 32
NAME_CHARS = 23       # a VST 2 program name: 24 bytes with the zero
PLUGIN_ID = b"OrvS"
PLUGIN_VERSION = 1
FXP_NAME_BYTES = 28   # the program file's name field


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


def float_literal(v):
    # The float nearest the decimal, as the files above store it.
    text = "%.9g" % struct.unpack("f", struct.pack("f", v))[0]
    return text + ("f" if "." in text or "e" in text else ".0f")


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
    opts = args.parse_args()
    presets = read_library(opts.library)
    if opts.cxx:
        write(opts.cxx, cxx_rows(presets))
    if opts.fxb:
        write(opts.fxb, bank_chunk(presets))
    if opts.fxp_dir:
        for p in presets:
            write(os.path.join(opts.fxp_dir, p["name"] + ".fxp"), program_chunk(p))


if __name__ == "__main__":
    main()
