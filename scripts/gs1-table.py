#!/usr/bin/env python3
"""Writes engine/Gs1Table.inc, the table of GS1 Application Identifiers, from GS1's Barcode
Syntax Dictionary (gs1-syntax-dictionary.txt, GS1 AISBL, Apache License 2.0).

    scripts/gs1-table.py DICTIONARY COMMIT [OUTPUT]

DICTIONARY is the dictionary's text file, COMMIT the commit of GS1's repository it was taken
from (its "Release:" line may say UNSET), OUTPUT defaults to engine/Gs1Table.inc beside this
script. Each dictionary line "AIs [flags] components [key=value ...] [# title]" becomes one
row: the AI or AI range, whether the length is predefined (flag "*"), the index and count of
its components in the component array, the req= and ex= pairing rules and the title. Each
component is its type (N, X, Y, Z), its length (fixed, or min..max), whether it is optional
and up to three linters.
"""
import os
import re
import sys

MAX_LINTERS = 3
COMPONENT = re.compile(r"^(\[)?([NXYZ])(\d*)(?:\.\.(\d+))?(\])?((?:,[a-z0-9]+)*)$")


class Failure(Exception):
    pass


def parse_component(text, line_no):
    m = COMPONENT.match(text)
    if not m or bool(m.group(1)) != bool(m.group(5)):
        raise Failure(f"line {line_no}: component {text!r} not understood")
    kind, fixed, upper = m.group(2), m.group(3), m.group(4)
    if upper is None:
        if not fixed:
            raise Failure(f"line {line_no}: component {text!r} has no length")
        low = high = int(fixed)
    else:
        low, high = int(fixed) if fixed else 1, int(upper)
    if not 1 <= low <= high <= 255:
        raise Failure(f"line {line_no}: component {text!r} has a bad length")
    linters = [name for name in m.group(6).split(",") if name]
    if len(linters) > MAX_LINTERS:
        raise Failure(f"line {line_no}: component {text!r} has more than {MAX_LINTERS} linters")
    return {"type": kind, "min": low, "max": high, "optional": bool(m.group(1)),
            "linters": linters}


def parse_line(line, line_no):
    body, _, title = line.partition("#")
    words = body.split()
    ais = words.pop(0)
    m = re.match(r"^(\d{2,4})(?:-(\d{2,4}))?$", ais)
    if not m:
        raise Failure(f"line {line_no}: AI {ais!r} not understood")
    first, last = m.group(1), m.group(2) or m.group(1)
    if len(first) != len(last) or first[:-1] != last[:-1] or first > last:
        raise Failure(f"line {line_no}: AI range {ais!r} not understood")
    flags = ""
    if words and not re.match(r"^\[?[NXYZ]", words[0]):
        flags = words.pop(0)
    components, req, ex = [], [], []
    for word in words:
        if "=" in word or word.isalpha() and word.islower():
            key, _, value = word.partition("=")
            if key == "req":
                req.append(value)
            elif key == "ex":
                ex.append(value)
            continue
        if req or ex:
            raise Failure(f"line {line_no}: component {word!r} after the attributes")
        components.append(parse_component(word, line_no))
    if not components:
        raise Failure(f"line {line_no}: AI {ais} has no component")
    seen_optional = False
    for k, c in enumerate(components):
        if c["min"] != c["max"] and k != len(components) - 1:
            raise Failure(f"line {line_no}: a variable component is not the last")
        if seen_optional and not c["optional"]:
            raise Failure(f"line {line_no}: a mandatory component follows an optional one")
        seen_optional = seen_optional or c["optional"]
    predefined = "*" in flags
    if predefined and any(c["min"] != c["max"] or c["optional"] for c in components):
        raise Failure(f"line {line_no}: AI {ais} of predefined length has a variable part")
    return {"first": first, "last": last, "predefined": predefined, "components": components,
            "req": ";".join(req), "ex": ";".join(ex), "title": title.strip()}


def read_dictionary(path):
    """The rows, the release the header comment names and its copyright lines."""
    rows, release, copyright = [], None, []
    with open(path, encoding="utf-8") as f:
        for line_no, line in enumerate(f, 1):
            if line.lstrip().startswith("#"):
                comment = line.lstrip()[1:].strip()
                if comment.startswith("Release:") and release is None:
                    release = comment[len("Release:"):].strip()
                elif comment.startswith("Copyright"):
                    copyright.append(comment)
                continue
            if line.strip():
                rows.append(parse_line(line.rstrip("\n"), line_no))
    if not rows:
        raise Failure(f"{path}: no AI")
    if not copyright:
        raise Failure(f"{path}: no copyright line")
    return rows, release or "not named", copyright


def c_string(text):
    out = '"'
    for ch in text:
        if ch in '"\\':
            out += "\\" + ch
        elif 0x20 <= ord(ch) < 0x7F:
            out += ch
        else:
            # UTF-8 bytes in octal, so that no following hex digit joins the escape.
            out += "".join(f"\\{b:03o}" for b in ch.encode("utf-8"))
    return out + '"'


def enumerator(name):
    return "kLint" + name[0].upper() + name[1:]


def write_table(rows, commit, release, copyright, out):
    linters = sorted({name for r in rows for c in r["components"] for name in c["linters"]})
    lines = [
        "// GS1 Application Identifiers: GENERATED by scripts/gs1-table.py, do not edit.",
        "//",
        "// From GS1's Barcode Syntax Dictionary (gs1-syntax-dictionary.txt), repository",
        f"// gs1/gs1-syntax-dictionary at commit {commit} (its Release line says {release}).",
    ]
    lines += [f"// {line}" for line in copyright]
    lines += [
        "// Licensed under the Apache License, Version 2.0:",
        "// http://www.apache.org/licenses/LICENSE-2.0",
        "//",
        "// Included by engine/ApplicationIdentifiers.cpp, which defines TGs1Component and",
        "// TGs1Row. Rows: first AI, last AI of the range, predefined length (flag \"*\"),",
        "// index and count of the components, req= and ex= rules (\";\" between repeated",
        "// keys), title. Components: type, minimum and maximum length, optional, linters.",
        "",
        "// clang-format off",
        "enum EGs1Linter : std::uint8_t {",
        "    kLintNone,",
    ]
    lines += [f"    {enumerator(name)}," for name in linters]
    lines += ["};", "", "inline constexpr std::string_view kGs1LinterNames[] = {", '    "",']
    lines += [f'    "{name}",' for name in linters]
    lines += ["};", "", "inline constexpr TGs1Component kGs1Components[] = {"]
    index = 0
    for r in rows:
        r["index"] = index
        ai = r["first"] if r["first"] == r["last"] else r["first"] + "-" + r["last"]
        for k, c in enumerate(r["components"]):
            names = [enumerator(n) for n in c["linters"]]
            optional = "true" if c["optional"] else "false"
            comment = f" // {ai}" if k == 0 else ""
            lines.append(f"    {{'{c['type']}', {c['min']}, {c['max']}, {optional}, "
                         f"{{{', '.join(names)}}}}},{comment}")
            index += 1
    lines += ["};", "", "inline constexpr TGs1Row kGs1Rows[] = {"]
    for r in rows:
        predefined = "true" if r["predefined"] else "false"
        lines.append(f'    {{"{r["first"]}", "{r["last"]}", {predefined}, {r["index"]}, '
                     f'{len(r["components"])}, "{r["req"]}", "{r["ex"]}", '
                     f'{c_string(r["title"])}}},')
    lines += ["};", "// clang-format on", ""]
    with open(out, "w", encoding="utf-8") as f:
        f.write("\n".join(lines))


def main(argv):
    if len(argv) not in (3, 4):
        print("usage: " + __doc__.strip().splitlines()[3].strip(), file=sys.stderr)
        return 2
    out = argv[3] if len(argv) == 4 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "engine", "Gs1Table.inc")
    try:
        rows, release, copyright = read_dictionary(argv[1])
        # The engine's look-up needs rows in lexical order, none overlapping, and no AI the
        # prefix of another (how a scanner's element string splits).
        for a, b in zip(rows, rows[1:]):
            if a["first"] >= b["first"] or a["last"] >= b["first"]:
                raise Failure(f"AI {b['first']} is out of lexical order or overlaps")
        ais = [f"{a['first'][:-1]}{d}" for a in rows
               for d in range(int(a["first"][-1]), int(a["last"][-1]) + 1)]
        for ai in ais:
            for other in ais:
                if other != ai and other.startswith(ai):
                    raise Failure(f"AI {ai} is the prefix of AI {other}")
        write_table(rows, argv[2], release, copyright, out)
    except (OSError, Failure) as e:
        print(f"gs1-table.py: {e}", file=sys.stderr)
        return 1
    print(f"{out}: {len(rows)} rows, "
          f"{sum(len(r['components']) for r in rows)} components")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
