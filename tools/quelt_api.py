#!/usr/bin/env python3
# SPDX-License-Identifier: Zlib
"""Reads include/quelt/quelt.h and describes its interface for other languages.

The header is the one list of exports: this writes the description
(quelt-api.json), the linker's version script and the list the tests check,
all from it. It reads the header's fixed style (.clang-format) and stops with
a message naming the line when something does not fit, rather than guessing.

Usage: quelt_api.py HEADER [--json OUT] [--map OUT] [--names OUT] [--def OUT]
"""
import argparse
import json
import re
import textwrap
import sys

GUID_TEXT = re.compile(r"\{([0-9A-Fa-f]{8})-([0-9A-Fa-f]{4})-([0-9A-Fa-f]{4})-([0-9A-Fa-f]{4})-([0-9A-Fa-f]{12})\}")
TOKEN = re.compile(
    r"(?P<postdoc>/\*\*<(?P<post>.*?)\*/)"
    r"|(?P<doc>/\*\*(?P<text>.*?)\*/)"
    r"|(?P<comment>/\*.*?\*/|//[^\n]*)"
    r"|(?P<pp>^[ \t]*#(?:[^\n]*\\\n)*[^\n]*)"
    r"|(?P<string>\"[^\"\n]*\")"
    r"|(?P<word>[A-Za-z_]\w*|0[xX][0-9A-Fa-f]+|\d+)"
    r"|(?P<space>\s+)"
    r"|(?P<punct>.)",
    re.S | re.M,
)
# Names the header defines for itself rather than for callers.
PRIVATE_MACROS = {"QUELT_QUELT_H", "QUELT_API", "QUELT_UNKNOWN_SLOTS"}


class HeaderError(Exception):
    pass


def clean_doc(raw):
    """The text of a Doxygen comment: leading stars gone, group markers kept apart."""
    lines = [re.sub(r"^\s*\*( |$)", "", line).rstrip() for line in raw.split("\n")]
    # Continuation lines are indented to line up under the first line's text.
    return (lines[0].strip() + "\n" + textwrap.dedent("\n".join(lines[1:]))).strip()


class Doc:
    """One documentation comment: its prose, @param notes and group commands."""

    def __init__(self, raw, line):
        self.line = line
        text = clean_doc(raw)
        self.opens = "@{" in text
        self.closes = "@}" in text
        text = text.replace("@{", "").replace("@}", "")
        self.group = None
        self.group_opened = None
        self.is_file = "\\file" in text
        match = re.search(r"\\(defgroup|addtogroup)\s+(\w+)", text)
        if match:
            self.group_opened = match.group(2)
        match = re.search(r"\\ingroup\s+(\w+)", text)
        if match:
            self.group = match.group(1)
        self.params = {}
        prose = []
        current = None
        for line in re.split(r"\n", text):
            param = re.match(r"\s*@param\s+([\w,]+)\s*(.*)", line)
            if param:
                current = [param.group(2)]
                for name in param.group(1).split(","):
                    self.params[name] = current
                continue
            if current is not None and line.strip() and not line.strip().startswith(("@", "\\")):
                current.append(line.strip())
                continue
            current = None
            prose.append(line)
        self.params = {name: " ".join(words).strip() for name, words in self.params.items()}
        body = "\n".join(prose)
        body = re.sub(r"\\(defgroup|addtogroup)\s+\w+[^\n]*\n?", "", body)
        body = re.sub(r"\\(ingroup|file)\s+\S+", "", body)
        body = re.sub(r"\\(brief|name)\s*", "", body)
        self.text = re.sub(r"[ \t]+\n", "\n", body).strip()


def tokens(source):
    line = 1
    for match in TOKEN.finditer(source):
        kind = match.lastgroup
        value = match.group(0)
        if kind == "postdoc":
            yield "postdoc", Doc(match.group("post"), line), line
        elif kind == "doc":
            yield "doc", Doc(match.group("text"), line), line
        elif kind == "comment" and re.match(r"/\* -+ Beyond the 91 -+ \*/", value):
            yield "section", "beyond", line  # the exports from here on came after the classic ones
        elif kind in ("pp", "word", "punct", "string"):
            yield kind, value.strip(), line
        line += value.count("\n")


def integer(text, line):
    text = text.strip()
    cast = re.fullmatch(r"\(\(\s*\w+\s*\)\s*(.+)\)", text)
    if cast:
        text = cast.group(1)
    negative = text.startswith("-")
    try:
        value = int(text.lstrip("-"), 0)
    except ValueError:
        raise HeaderError(f"line {line}: {text!r} is not a whole number")
    if value >= 2**31:
        value -= 2**32  # int32_t constants written in hexadecimal
    return -value if negative else value


def split_params(text):
    text = text.strip()
    if text in ("", "void"):
        return []
    return [part.strip() for part in text.split(",")]


def split_declaration(declaration, line):
    """'const TVec3D* a' -> ('const TVec3D*', 'a'), 'float m[16]' -> ('float[16]', 'm')."""
    match = re.fullmatch(r"(.*?)(\w+)\s*(\[\s*\d+\s*\])?", declaration.strip())
    if not match or not match.group(1).strip():
        raise HeaderError(f"line {line}: cannot read the declaration {declaration!r}")
    kind = re.sub(r"\s+", " ", match.group(1)).strip()
    kind = re.sub(r"\s*\*", "*", kind)
    if match.group(3):
        kind += match.group(3).replace(" ", "")
    # One type, as this header writes them: "const char* const*", "IFrustum**", "float[16]".
    if not re.fullmatch(r"(const )?\w+(\*| const\*)*(\[\d+\])?", kind) or kind.startswith("QUELT_API"):
        raise HeaderError(f"line {line}: cannot read the declaration {declaration!r}")
    return kind, match.group(2)


class Parser:
    def __init__(self, source):
        self.items = list(tokens(source))
        self.position = 0
        self.groups = []  # open @{ blocks: (group name or None, member-group doc or None)
        self.pending = None  # the documentation comment the next declaration takes
        self.api = {"doc": "", "exports": [], "records": [], "constants": [], "macros": [], "enumerations": [],
                    "callbacks": [], "interfaces": []}
        self.vtables = {}
        self.ids = {}
        self.section = ""

    # -- reading helpers
    def group(self, doc=None):
        if doc is not None and doc.group:
            return doc.group
        for name, _ in reversed(self.groups):
            if name:
                return name
        return None

    def member_doc(self):
        for _, doc in reversed(self.groups):
            if doc is not None:
                return doc
        return None

    def take_doc(self, line):
        doc, self.pending = self.pending, None
        return doc

    def handle_doc(self, doc):
        if doc.closes and not doc.opens:
            if self.groups:
                self.groups.pop()
        elif doc.opens:
            # A family's block, or a member group whose text its members share.
            shared = doc if doc.text and not doc.group_opened else None
            self.groups.append((doc.group_opened, shared))
            self.pending = None
        elif doc.is_file:
            self.api["doc"] = doc.text
        else:
            self.pending = doc

    def statement(self):
        """Code tokens up to the ';' that ends the statement (braces balanced), with the comments met."""
        parts, docs, depth = [], [], 0
        line = self.items[self.position][2]
        while self.position < len(self.items):
            kind, value, where = self.items[self.position]
            self.position += 1
            if kind in ("doc", "postdoc"):
                docs.append((kind, value, len(parts)))
                continue
            if kind in ("pp", "section"):
                continue
            parts.append(value)
            if value == "{":
                depth += 1
            elif value == "}":
                depth -= 1
            elif value == ";" and depth == 0:
                return parts, docs, line
        raise HeaderError(f"line {line}: declaration without an end")

    # -- the pass
    def run(self):
        while self.position < len(self.items):
            kind, value, line = self.items[self.position]
            if kind == "doc":
                self.position += 1
                self.handle_doc(value)
                continue
            if kind == "postdoc":
                self.position += 1
                continue
            if kind == "section":
                self.position += 1
                self.section = value
                continue
            if kind == "pp":
                self.position += 1
                self.preprocessor(value, line)
                continue
            if kind == "word" and value == "extern" and self.items[self.position + 1][0] == "string":
                self.position += 2
                if self.items[self.position][1] == "{":
                    self.position += 1
                continue
            if value == "}":
                self.position += 1
                continue
            parts, docs, line = self.statement()
            self.declaration(parts, docs, line)
        self.join_interfaces()
        self.callback_slots()
        return self.api

    def preprocessor(self, text, line):
        match = re.match(r"#\s*define\s+(\w+)(\(?)\s*(.*)", text, re.S)
        if not match or match.group(1) in PRIVATE_MACROS:
            return
        name, value = match.group(1), match.group(3).strip()
        doc = self.take_doc(line) or self.member_doc()
        if match.group(2):
            self.macro(name, value, doc, line)
            return
        if name.startswith("IID_"):
            self.ids[name[4:]] = self.guid_from_numbers(value, line)
            return
        self.api["constants"].append({"name": name, "type": "int32_t", "value": integer(value, line),
                                      "group": self.group(doc), "doc": doc.text if doc else ""})

    def macro(self, name, text, doc, line):
        # A function-like macro is an int32_t formula of its parameters and the
        # header's constants: a binding writes it as a function of its own.
        match = re.fullmatch(r"([\w\s,]*)\)\s*(.+)", text, re.S)  # after "NAME("
        if not match or not re.fullmatch(r"[\w\s()+\-*/]+", match.group(2)):
            raise HeaderError(f"line {line}: macro {name} is not an integer formula")
        expression = re.sub(r"\(\s*int32_t\s*\)", "", match.group(2))
        self.api["macros"].append({"name": name, "parameters": [p.strip() for p in match.group(1).split(",")],
                                   "type": "int32_t", "expression": " ".join(expression.split()),
                                   "group": self.group(doc), "doc": doc.text if doc else ""})

    def guid_from_numbers(self, text, line):
        numbers = re.findall(r"0[xX][0-9A-Fa-f]+|\d+", text)
        if len(numbers) != 11:
            raise HeaderError(f"line {line}: an interface identifier needs 11 numbers")
        values = [int(n, 0) for n in numbers]
        return "{%08X-%04X-%04X-%02X%02X-%s}" % (values[0], values[1], values[2], values[3], values[4],
                                                 "".join("%02X" % v for v in values[5:]))

    def declaration(self, parts, docs, line):
        doc = self.take_doc(line)
        text = " ".join(parts)
        if parts[0] == "QUELT_API":
            self.export(parts[1:], doc, line)
        elif parts[:2] == ["typedef", "struct"] and "{" in parts:
            self.record(parts, docs, doc, line)
        elif parts[:2] == ["typedef", "struct"]:
            pass  # the C form's forward declaration of an interface
        elif parts[0] == "typedef" and "(" in parts and parts[2:4] == ["(", "*"]:
            self.callback(parts, doc, line)
        elif parts[0] == "typedef":
            kind, name = split_declaration(" ".join(parts[1:-1]), line)
            self.api["records"].append({"name": name, "alias": kind, "fields": [],
                                        "group": self.group(doc), "doc": doc.text if doc else ""})
        elif parts[0] == "enum":
            self.enumeration(parts, docs, doc, line)
        elif parts[0] == "struct" and ":" in parts[:4]:
            self.interface(parts, docs, doc, line)
        elif parts[0] == "struct" and parts[1] == "IQueltUnknown":
            self.interface(parts, docs, doc, line)
        elif parts[0] == "struct":
            pass  # the C form's object: a pointer to its table
        elif re.match(r"(static )?const QGUID IID_(\w+)", text):
            name = re.match(r"(?:static )?const QGUID IID_(\w+)", text).group(1)
            self.ids[name] = self.guid_from_numbers(text.split("=", 1)[1], line)
        else:
            raise HeaderError(f"line {line}: unknown declaration: {text[:60]}")

    def export(self, parts, doc, line):
        text = " ".join(parts)
        data = re.fullmatch(r"extern (const )?(\w+) (\w+) ;", text)
        if data:  # an exported variable: an interface identifier, say
            self.api["exports"].append({"name": data.group(3), "kind": "data", "type": data.group(2),
                                        "group": self.group(doc), "classic": False,
                                        "doc": doc.text if doc else ""})
            return
        match = re.fullmatch(r"(.+?)\s*\b(\w+) \((.*)\) ;", text)
        if not match:
            raise HeaderError(f"line {line}: cannot read the export {text[:60]}")
        returns, name, params = match.group(1), match.group(2), match.group(3)
        returns = re.sub(r"\s*\*", "*", returns).strip()
        if doc is None:
            raise HeaderError(f"line {line}: {name} has no documentation comment")
        entries = []
        declared = [split_declaration(p, line) for p in split_params(params.replace(" * ", "* "))]
        for index, (kind, pname) in enumerate(declared):
            note = doc.params.get(pname, "")
            entry = {"name": pname, "type": kind, "direction": direction(kind, pname)}
            if "*" in kind:
                entry["nullable"] = note.startswith("may be null")
                if kind == "char**":
                    entry["string_result"] = True
                if kind == "const char* const*":
                    entry["count"] = declared[index + 1][1] if index + 1 < len(declared) else None
            if note:
                entry["doc"] = note
            entries.append(entry)
        self.api["exports"].append({
            "name": name, "returns": returns, "params": entries, "group": self.group(doc),
            "classic": "Beyond the 91" not in doc.text and self.section != "beyond",
            "doc": doc.text})

    def record(self, parts, docs, doc, line):
        name = parts[-2]
        open_brace, close_brace = parts.index("{"), len(parts) - 1 - parts[::-1].index("}")
        fields, start = [], open_brace + 1
        for end in range(open_brace + 1, close_brace):
            if parts[end] != ";":
                continue
            declaration = " ".join(parts[start:end])
            start = end + 1
            # The C tables open with the three slots every object has.
            declaration = re.sub(r"^QUELT_UNKNOWN_SLOTS \( \w+ \) ", "", declaration)
            note = field_doc(docs, end)
            if "(" in declaration:
                fields.append(slot_from_pointer(declaration, line))
                continue
            first, *others = [d.strip() for d in declaration.split(",")]
            kind, fname = split_declaration(first, line)
            base = re.sub(r"\[\d+\]$", "", kind)
            for field in [fname] + others:
                if field != fname:
                    kind, field = split_declaration(base + " " + field, line)
                fields.append({"name": field, "type": kind, "doc": note})
        if name.endswith("Vtbl"):
            self.vtables[name[:-4]] = (fields, line)
            return
        self.api["records"].append({"name": name, "fields": fields, "group": self.group(doc),
                                    "doc": doc.text if doc else ""})

    def callback(self, parts, doc, line):
        text = " ".join(parts)
        match = re.fullmatch(r"typedef (.+?) \( \* (\w+) \) \((.*)\) ;", text)
        if not match:
            raise HeaderError(f"line {line}: cannot read the procedure type {text[:60]}")
        params = [split_declaration(p, line) for p in split_params(match.group(3).replace(" * ", "* "))]
        self.api["callbacks"].append({
            "name": match.group(2), "returns": match.group(1).replace(" *", "*"),
            "params": [{"name": n, "type": k} for k, n in params],
            "group": self.group(doc), "doc": doc.text if doc else ""})

    def enumeration(self, parts, docs, doc, line):
        members, start, value = [], parts.index("{") + 1, -1
        body_end = len(parts) - 1 - parts[::-1].index("}")
        index = start
        while index <= body_end:
            if parts[index] in (",", "}") and index > start:
                item = parts[start:index]
                name = item[0]
                if len(item) > 2 and item[1] == "=":
                    value = integer("".join(item[2:]), line)
                else:
                    value += 1
                note = field_doc(docs, index if parts[index] == "," else index, before=start)
                members.append({"name": name, "value": value, "doc": note})
                start = index + 1
            index += 1
        self.api["enumerations"].append({"members": members, "group": self.group(doc),
                                         "doc": doc.text if doc else ""})

    def interface(self, parts, docs, doc, line):
        name = parts[1]
        base = parts[3] if parts[2] == ":" else None
        slots, start = [], parts.index("{") + 1
        for end in range(start, len(parts)):
            if parts[end] != ";" or end == len(parts) - 1:
                continue
            text = " ".join(parts[start:end])
            slot_start, start = start, end + 1
            match = re.fullmatch(r"virtual (.+?) (\w+) \((.*)\) = 0", text)
            if not match:
                continue
            note = None
            for kind, value, at in docs:
                if kind == "doc" and slot_start <= at <= end:
                    note = value
            params = []
            for kind, pname in (split_declaration(p, line) for p in split_params(match.group(3).replace(" * ", "* "))):
                entry = {"name": pname, "type": kind, "direction": direction(kind, pname)}
                if "*" in kind:
                    entry["nullable"] = bool(note and note.params.get(pname, "").startswith("may be null"))
                if note and pname in note.params:
                    entry["doc"] = note.params[pname]
                params.append(entry)
            slots.append({"name": match.group(2), "returns": match.group(1).replace(" *", "*"),
                          "params": params, "doc": note.text if note else ""})
        # An interface names its own identifier in its comment ("Its identifier is {...}").
        guid = re.search(r"identifier is (" + GUID_TEXT.pattern + ")", doc.text) if doc else None
        own_id = guid.group(1).upper() if guid else None
        self.api["interfaces"].append({"name": name, "base": base, "id": own_id, "own_slots": slots,
                                       "group": self.group(doc), "doc": doc.text if doc else "", "line": line})

    def join_interfaces(self):
        by_name = {i["name"]: i for i in self.api["interfaces"]}
        for interface in self.api["interfaces"]:
            chain, current = [], interface
            while current:
                chain.insert(0, current)
                current = by_name.get(current["base"]) if current["base"] else None
            interface["slots"] = [slot for part in chain for slot in part["own_slots"]]
            # The C table spells out every slot after the three every object has,
            # an extension's inherited ones included.
            interface["table_slots"] = [slot for part in chain if part["base"] for slot in part["own_slots"]]
        for interface in self.api["interfaces"]:
            if interface["name"] in self.ids:
                interface["id"] = self.ids[interface["name"]]
            # The C table must hold the C++ struct's own slots, in the same order.
            if interface["base"]:
                table = self.vtables.get(interface["name"])
                if table is None:
                    raise HeaderError(f"line {interface['line']}: {interface['name']} has no C table "
                                      f"({interface['name']}Vtbl)")
                c_slots = [(f["name"], [p["type"] for p in f["params"]]) for f in table[0]]
                cpp_slots = [(s["name"], [p["type"] for p in s["params"]]) for s in interface["table_slots"]]
                if c_slots != cpp_slots:
                    raise HeaderError(f"line {table[1]}: the C table of {interface['name']} does not match "
                                      f"its C++ struct: {c_slots} against {cpp_slots}")
            del interface["own_slots"], interface["table_slots"], interface["line"]
        missing = set(self.vtables) - set(by_name)
        if missing:
            raise HeaderError(f"C tables without a C++ interface: {sorted(missing)}")

    def callback_slots(self):
        """Each PROC_* slot and the procedure type its documentation names (TProc when none)."""
        types = {c["name"] for c in self.api["callbacks"]}
        slots = []
        for enumeration in self.api["enumerations"]:
            for member in enumeration["members"]:
                if member["name"].startswith("PROC_"):
                    named = [t for t in re.findall(r"\b(T\w+Proc)\b", member["doc"]) if t in types]
                    slots.append({"name": member["name"], "index": member["value"],
                                  "type": named[0] if named else "TProc", "doc": member["doc"]})
        self.api["callback_slots"] = slots


def field_doc(docs, end, before=None):
    """A member's comment: a trailing /**< */ right after it, else the open member group's text."""
    notes = [value for kind, value, at in docs if kind == "postdoc" and at in (end, end + 1)]
    if notes:
        return notes[0].text
    shared = [value for kind, value, at in docs if kind == "doc" and at <= end and value.opens]
    return shared[-1].text if shared else ""


def slot_from_pointer(declaration, line):
    match = re.fullmatch(r"(.+?) \( \* (\w+) \) \((.*)\)", declaration)
    if not match:
        raise HeaderError(f"line {line}: cannot read the table slot {declaration}")
    params = [split_declaration(p, line) for p in split_params(match.group(3).replace(" * ", "* "))][1:]
    return {"name": match.group(2), "params": [{"name": n, "type": k} for k, n in params]}


def direction(kind, name):
    """How a value crosses: in, out (the callee stores it), in/out (read and written), or kept."""
    if "*" not in kind or kind.startswith("const ") or kind in ("TProc",):
        return "in"
    if kind == "void*":
        return "in/out"  # a variable whose address the library keeps and writes
    return "out"


def describe(header_path):
    with open(header_path, encoding="utf-8") as handle:
        source = handle.read()
    parser = Parser(source)
    api = parser.run()
    names = [e["name"] for e in api["exports"]]
    duplicates = sorted({n for n in names if names.count(n) > 1})
    if duplicates:
        raise HeaderError(f"exports declared twice: {duplicates}")
    undocumented = [e["name"] for e in api["exports"] if not e["group"]]
    if undocumented:
        raise HeaderError(f"exports in no family: {undocumented}")
    version = {c["name"]: c["value"] for c in api["constants"] if c["name"].startswith("QUELT_VERSION_")}
    return {
        "format": 1,
        "library": "libQuelt.so.%d" % version.get("QUELT_VERSION_MAJOR", 1),
        "version": "%d.%d.%d" % tuple(version.get("QUELT_VERSION_" + p, 0) for p in ("MAJOR", "MINOR", "PATCH")),
        "conventions": {
            "qbool": "uint8_t: 0 false, 1 true; any non-zero input counts as true",
            "text": "zero-terminated 8-bit strings, Windows-1251 (cp1251)",
            "string_result": "char**: the library free()s the old value and stores a malloc()ed copy; "
                             "the caller starts from NULL and free()s it",
            "interfaces": "a pointer to an object whose first member points to a table of functions; "
                          "every slot takes the object first",
            "interface_ids": "id is null for an interface the header gives no identifier of its own; "
                             "every object answers to the all-zero id and to IQueltUnknown's",
            "calling_convention": "the C calling convention of the platform",
        },
        **api,
    }


def version_script(api):
    lines = ["/* Written from include/quelt/quelt.h by tools/quelt_api.py: edit the header, not this. */",
             "{", "  global:"]
    lines += [f"    {e['name']};" for e in api["exports"]]
    lines += ["  local:", "    *;", "};", ""]
    return "\n".join(lines)


def module_definition(api):
    """The same exports as a module-definition file, which the Windows linker takes instead."""
    lines = ["; Written from include/quelt/quelt.h by tools/quelt_api.py: edit the header, not this.",
             "EXPORTS"]
    lines += [f"    {e['name']}" for e in api["exports"]]
    return "\n".join(lines + [""])


def name_list(api):
    """The exports and the C table slots as macro calls, for the tests to define and include."""
    lines = ["/* Written from include/quelt/quelt.h by tools/quelt_api.py: edit the header, not this. */"]
    lines += ["QUELT_EXPORT(%s, %d)" % (e["name"], 1 if e["classic"] else 0) for e in api["exports"]]
    for interface in api["interfaces"]:
        if interface["base"]:  # the C form has a table of its own
            lines += ["QUELT_SLOT(%s, %s, %d)" % (interface["name"], slot["name"], index)
                      for index, slot in enumerate(interface["slots"])]
            lines.append("QUELT_SLOTS(%s, %d)" % (interface["name"], len(interface["slots"])))
    return "\n".join(lines) + "\n"


def write_if_changed(path, text):
    try:
        with open(path, encoding="utf-8") as handle:
            if handle.read() == text:
                return
    except FileNotFoundError:
        pass
    with open(path, "w", encoding="utf-8") as handle:
        handle.write(text)


def main():
    arguments = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    arguments.add_argument("header")
    arguments.add_argument("--json")
    arguments.add_argument("--map")
    arguments.add_argument("--names")
    arguments.add_argument("--def", dest="module_definition")
    options = arguments.parse_args()
    try:
        api = describe(options.header)
    except HeaderError as error:
        print(f"{options.header}: error: {error}", file=sys.stderr)
        return 1
    if options.json:
        write_if_changed(options.json, json.dumps(api, indent=1, ensure_ascii=False) + "\n")
    if options.map:
        write_if_changed(options.map, version_script(api))
    if options.names:
        write_if_changed(options.names, name_list(api))
    if options.module_definition:
        write_if_changed(options.module_definition, module_definition(api))
    if not (options.json or options.map or options.names or options.module_definition):
        json.dump(api, sys.stdout, indent=1, ensure_ascii=False)
    return 0


if __name__ == "__main__":
    sys.exit(main())
