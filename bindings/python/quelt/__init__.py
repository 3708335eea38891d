# SPDX-License-Identifier: Zlib
"""Quelt from Python: every export of libQuelt.so, bound through ctypes.

Nothing here is written per export: the functions, records, constants and
interface classes are made at import from quelt-api.json, the description
written from the library's header. Each export is here under its classic
name (``qCreateWindow``) and a Python one (``create_window``).

Values cross as Python values: vectors as tuples (``TVec3D(x, y, z)`` or any
sequence of three numbers), qbool as bool, text as str (Windows-1251 inside
the engine), string results and TArrayString as str and list (the library's
copies freed here), interfaces as objects released with the Python object or
a ``with`` block, procedures as Python callables. What an export writes
through its pointers comes back as its result, after its own return value:
``ok, width, height = quelt.get_window_size()``.

An exception raised in a callback stops the main loop and is raised again
from the export that ran the callback (``start_main_loop``, ``msg``), as the
classic interface lets an exception pass; until then no other callback runs.

The library is loaded by its usual name (libQuelt.so.1) or from the path in
QUELT_LIBRARY; the description from the copy in this package, the path in
QUELT_API_JSON, or the one installed with the development files.
"""
import collections
import ctypes
import json
import os
import re

ENCODING = "cp1251"  # the engine's 8-bit text


def _load_description():
    here = os.path.dirname(os.path.abspath(__file__))
    candidates = [os.environ.get("QUELT_API_JSON"), os.path.join(here, "quelt-api.json"),
                  "/usr/local/share/quelt/quelt-api.json", "/usr/share/quelt/quelt-api.json"]
    for path in filter(None, candidates):
        if os.path.isfile(path):
            with open(path, encoding="utf-8") as handle:
                return json.load(handle)
    raise ImportError("quelt: no quelt-api.json (install the library's development files or set QUELT_API_JSON)")


api = _load_description()
library = ctypes.CDLL(os.environ.get("QUELT_LIBRARY") or api["library"])
# free() as the library's malloc() pairs with it: looked up in the process's global
# scope, so that a preloaded allocator (a sanitizer's, jemalloc) is the one used.
_free = ctypes.CDLL(None).free
_free.argtypes = [ctypes.c_void_p]
_free.restype = None


def python_name(name):
    """qCreateWindow -> create_window, isOpenALCreated -> is_open_al_created, add3D -> add3d."""
    if re.match(r"q[A-Z]", name):
        name = name[1:]
    return re.sub(r"(?<=[a-z])(?=[A-Z])|(?<=[A-Z])(?=[A-Z][a-z])", "_", name).lower()


# ---- Types --------------------------------------------------------------
_SCALARS = {
    "void": None, "qbool": ctypes.c_uint8, "uint8_t": ctypes.c_uint8, "int32_t": ctypes.c_int32,
    "uint32_t": ctypes.c_uint32, "uint16_t": ctypes.c_uint16, "float": ctypes.c_float, "char": ctypes.c_char,
}
_structures = {}  # record name -> ctypes.Structure
_values = {}  # record name -> the Python value class (a named tuple)
_callbacks = {}  # procedure type name -> ctypes.CFUNCTYPE


def _ctype(kind):
    """The ctypes type of a C type as the description writes it."""
    array = re.fullmatch(r"(.+)\[(\d+)\]", kind)
    if array:
        return _ctype(array.group(1)) * int(array.group(2))
    if kind in _SCALARS:
        return _SCALARS[kind]
    if kind in _structures:
        return _structures[kind]
    if kind in _callbacks:
        return _callbacks[kind]
    if kind.endswith("*"):
        return ctypes.c_void_p  # converted by the caller's rule for its direction
    raise TypeError(f"quelt: no ctypes type for {kind}")


for _record in api["records"]:
    if "alias" in _record:
        _SCALARS[_record["name"]] = _SCALARS[_record["alias"]]
        continue
    _fields = [(f["name"], _ctype(f["type"])) for f in _record["fields"]]
    _structures[_record["name"]] = type(_record["name"] + "_C", (ctypes.Structure,), {"_fields_": _fields})
    _values[_record["name"]] = collections.namedtuple(_record["name"], [f["name"] for f in _record["fields"]])
    _values[_record["name"]].__doc__ = _record["doc"]
for _procedure in api["callbacks"]:
    _callbacks[_procedure["name"]] = ctypes.CFUNCTYPE(
        _ctype(_procedure["returns"]), *[_ctype(p["type"]) for p in _procedure["params"]])


def _encode(text):
    if text is None or isinstance(text, bytes):
        data = text
    else:
        data = str(text).encode(ENCODING)  # a character Windows-1251 lacks raises UnicodeEncodeError
    if data is not None and b"\0" in data:
        raise ValueError("quelt: text holds a zero character, which would end it early")
    return data


def _decode(data):
    return None if data is None else data.decode(ENCODING)


def _to_structure(name, value):
    """A record from a Python value: the record itself, a named tuple, or a sequence."""
    structure = _structures[name]
    if isinstance(value, structure):
        return value
    fields = structure._fields_
    if len(fields) == 1 and issubclass(fields[0][1], ctypes.Array):  # TMatrix4: 16 numbers
        values = list(value)
        return structure(fields[0][1](*values))
    values = tuple(value)
    if len(values) != len(fields):
        raise ValueError(f"quelt: {name} takes {len(fields)} values, not {len(values)}")
    return structure(*values)


def _from_structure(name, structure):
    fields = [getattr(structure, field) for field, _ in structure._fields_]
    fields = [tuple(v) if isinstance(v, ctypes.Array) else v for v in fields]
    return _values[name](*fields)


def _guid(value):
    """QGUID from "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" (or None for a null pointer)."""
    if value is None or isinstance(value, _structures["QGUID"]):
        return value
    digits = re.fullmatch(r"\{?([0-9A-Fa-f]{8})-([0-9A-Fa-f]{4})-([0-9A-Fa-f]{4})-([0-9A-Fa-f]{4})-([0-9A-Fa-f]{12})\}?",
                          value)
    if not digits:
        raise ValueError(f"quelt: {value!r} is not an interface identifier")
    tail = bytes.fromhex(digits.group(4) + digits.group(5))
    return _structures["QGUID"](int(digits.group(1), 16), int(digits.group(2), 16), int(digits.group(3), 16),
                                (ctypes.c_uint8 * 8)(*tail))


# ---- Callbacks ----------------------------------------------------------
_pending = []  # the exception a callback raised, until the export that ran it returns
_kept = {}  # registered procedures, kept alive while registered
_kept_forever = []  # procedures the library can never drop (console commands), and console variables


def _raise_pending():
    if _pending:
        error = _pending.pop()
        _pending.clear()
        raise error


def _procedure(kind, function):
    """A C procedure of type kind calling function; an exception in it ends the main loop."""
    if function is None:
        return None
    if not callable(function):
        raise TypeError(f"quelt: a {kind} must be callable")
    params = next(c for c in api["callbacks"] if c["name"] == kind)["params"]
    texts = [p["type"] == "const char*" for p in params]

    def trampoline(*arguments):
        if _pending:  # an exception is on its way out: nothing more runs
            return
        try:
            function(*[_decode(ctypes.string_at(a)) if text and a else a for a, text in zip(arguments, texts)])
        except BaseException as error:  # noqa: B902 - every exception must reach the caller
            _pending.append(error)
            library.qStopMainLoop()

    return _callbacks[kind](trampoline)


# ---- Calls --------------------------------------------------------------
class _Call:
    """Turns Python arguments into C ones for one export or slot, and the C results back."""

    def __init__(self, name, returns, params, doc):
        self.name = name
        self.returns = returns
        self.params = params
        self.counts = {p["count"] for p in params if p.get("count")}
        self.inputs = [p for p in params if p["direction"] != "out" and p["name"] not in self.counts]
        # Which procedure type a TProc argument really is (the description says when it varies).
        self.procedure_rule = re.search(r"With (\w+) set, proc is a (T\w+Proc)", doc)
        self.by_slot = "index" in [p["name"] for p in params] and any(p["type"] == "TProc" for p in params)

    def argtypes(self):
        types = []
        for p in self.params:
            if p["type"] in _callbacks:
                types.append(ctypes.c_void_p)  # the procedure's address, whichever type it is
            elif p["type"].endswith("*"):
                types.append(ctypes.c_void_p)
            else:
                types.append(_ctype(p["type"]))
        return types

    def restype(self):
        if self.returns.endswith("*"):
            return ctypes.c_void_p
        return _ctype(self.returns)

    def procedure_kind(self, given):
        if self.by_slot:
            slots = {s["index"]: s["type"] for s in api["callback_slots"]}
            return slots.get(given.get("index"), "TProc")
        if self.procedure_rule and given.get(self.procedure_rule.group(1)):
            return self.procedure_rule.group(2)
        return None

    def convert(self, arguments):
        """C arguments, what must live through the call, and how to read the results."""
        if len(arguments) != len(self.inputs):
            names = ", ".join(p["name"] for p in self.inputs)
            raise TypeError(f"{self.name}({names}) takes {len(self.inputs)} arguments, {len(arguments)} given")
        given = dict(zip((p["name"] for p in self.inputs), arguments))
        c_arguments, keep, outputs = [], [], []
        for p in self.params:
            kind, name = p["type"], p["name"]
            base = kind.replace("const ", "").rstrip("*").strip()
            if name in self.counts:
                c_arguments.append(len(given[next(q["name"] for q in self.params if q.get("count") == name)] or []))
            elif kind in _callbacks:
                procedure = _procedure(self.procedure_kind(given) or kind, given[name])
                keep.append(procedure)
                c_arguments.append(ctypes.cast(procedure, ctypes.c_void_p) if procedure else None)
            elif p["direction"] == "out":
                holder, read = self.output(kind, base)
                keep.append(holder)
                c_arguments.append(ctypes.addressof(holder))
                outputs.append(read)
            elif kind == "const char*":
                data = _encode(given[name])
                c_arguments.append(data)
            elif kind == "const char* const*":
                items = given[name]
                array = None if items is None else (ctypes.c_char_p * max(len(items), 1))(*map(_encode, items))
                keep.append(array)
                c_arguments.append(ctypes.cast(array, ctypes.c_void_p) if array is not None else None)
            elif kind == "void*":
                variable = given[name]  # a ctypes variable the library keeps and writes
                if variable is not None and not isinstance(variable, ctypes._SimpleCData):
                    raise TypeError(f"quelt: {name} must be a ctypes variable (ctypes.c_int32, ctypes.c_uint8)")
                _kept_forever.append(variable)
                c_arguments.append(ctypes.addressof(variable) if variable is not None else None)
            elif base == "QGUID":
                guid = _guid(given[name])
                keep.append(guid)
                c_arguments.append(ctypes.addressof(guid) if guid is not None else None)
            elif kind.endswith("*") and base in _structures:
                value = given[name]
                record = None if value is None else _to_structure(base, value)
                keep.append(record)
                c_arguments.append(ctypes.addressof(record) if record is not None else None)
            elif kind.endswith("*") and base in _interfaces:  # an object handed in, not given away
                c_arguments.append(given[name].address if given[name] is not None else None)
            elif kind.endswith("*"):
                raise TypeError(f"quelt: {self.name}: no rule for the argument {name} of type {kind}")
            elif kind == "qbool":
                c_arguments.append(1 if given[name] else 0)
            else:
                c_arguments.append(given[name])
        return c_arguments, keep, outputs

    @staticmethod
    def output(kind, base):
        """A variable for the callee to store into, and how to read (and free) what it stored."""
        if kind == "char**":
            holder = ctypes.c_void_p()

            def read():
                if not holder.value:
                    return None
                text = ctypes.string_at(holder.value)
                _free(holder.value)
                return _decode(text)
            return holder, read
        if base == "TArrayString":
            holder = _structures["TArrayString"]()

            def read():
                items = ctypes.cast(holder.items, ctypes.POINTER(ctypes.c_void_p))
                texts = []
                for index in range(holder.count if holder.items else 0):
                    texts.append(_decode(ctypes.string_at(items[index])))
                    _free(items[index])
                _free(holder.items)
                return texts
            return holder, read
        if kind.endswith("**") and base in _interfaces:
            holder = ctypes.c_void_p()
            return holder, lambda: _interfaces[base]._adopt(holder.value)
        if kind == "void**":
            holder = ctypes.c_void_p()
            return holder, lambda: holder.value
        if base in _structures:
            holder = _structures[base]()
            return holder, lambda: _from_structure(base, holder)
        scalar = _ctype(base)
        holder = scalar()
        return holder, lambda: holder.value

    def result(self, value, outputs):
        results = []
        if self.returns == "qbool":
            results.append(bool(value))
        elif self.returns.endswith("*") and self.returns.rstrip("*").strip() in _structures:
            base = self.returns.rstrip("*").strip()  # a malloc()ed record, freed here
            if value:
                results.append(_from_structure(base, _structures[base].from_address(value)))
                _free(value)
            else:
                results.append(None)
        elif self.returns.endswith("*") and self.returns.rstrip("*").strip() in _interfaces:
            results.append(_interfaces[self.returns.rstrip("*").strip()]._adopt(value))  # a new reference
        elif self.returns != "void":
            results.append(value)
        results += [read() for read in outputs]
        if not results:
            return None
        return results[0] if len(results) == 1 else tuple(results)


_registered = {}  # (export, slot) -> the procedure now registered there


def _make_export(entry):
    call = _Call(entry["name"], entry["returns"], entry["params"], entry["doc"])
    function = getattr(library, entry["name"])
    function.argtypes = call.argtypes()
    function.restype = call.restype()
    registers = [p for p in entry["params"] if p["type"] in _callbacks]
    # A procedure that may not be null can never be unregistered: keep it for good.
    forever = any("must not be null" in p.get("doc", "") for p in registers)

    def export(*arguments):
        c_arguments, keep, outputs = call.convert(arguments)
        value = function(*c_arguments)
        if registers:
            procedures = [k for k in keep if isinstance(k, ctypes._CFuncPtr)]
            if forever:
                _kept_forever.extend(procedures)
            else:
                slot = arguments[0] if call.by_slot else None
                _registered[(entry["name"], slot)] = procedures
        result = call.result(value, outputs)
        _raise_pending()
        return result

    export.__name__ = entry["name"]
    export.__qualname__ = entry["name"]
    export.__doc__ = "%s(%s)\n\n%s" % (entry["name"], ", ".join(p["name"] for p in call.inputs), entry["doc"])
    return export


# ---- Interfaces ---------------------------------------------------------
class Interface:
    """An engine object: one reference, released by close(), a with block or the garbage collector."""

    _slots = {}
    _id = None

    def __init__(self, pointer):
        self._pointer = pointer

    @classmethod
    def _adopt(cls, pointer):
        return cls(pointer) if pointer else None

    @property
    def address(self):
        """The object's address (0 once released), for passing it on to C."""
        return self._pointer or 0

    def _slot(self, index, restype, argtypes):
        if not self._pointer:
            raise ValueError(f"quelt: {type(self).__name__} already released")
        table = ctypes.cast(self._pointer, ctypes.POINTER(ctypes.c_void_p))[0]
        entry = ctypes.cast(table, ctypes.POINTER(ctypes.c_void_p))[index]
        return ctypes.CFUNCTYPE(restype, ctypes.c_void_p, *argtypes)(entry)

    def close(self):
        """Drops this object's reference; the last one destroys the engine object."""
        if self._pointer:
            pointer, self._pointer = self._pointer, None
            self._release_slot(pointer)

    def _release_slot(self, pointer):
        release = ctypes.cast(ctypes.cast(pointer, ctypes.POINTER(ctypes.c_void_p))[0],
                              ctypes.POINTER(ctypes.c_void_p))[2]
        ctypes.CFUNCTYPE(ctypes.c_int32, ctypes.c_void_p)(release)(pointer)

    def query_interface(self, iid):
        """A new reference to the object as the interface named by iid ("{...}"), or None."""
        found = self._call_slot("QueryInterface", iid)
        status, pointer = found
        if status != 0 or not pointer:
            return None
        wanted = next((c for c in _interfaces.values() if c._id and c._id == str(iid).upper()), type(self))
        return wanted(pointer)

    def _call_slot(self, name, *arguments):
        index, call = self._slots[name]
        c_arguments, keep, outputs = call.convert(arguments)
        value = self._slot(index, call.restype(), call.argtypes())(self._pointer, *c_arguments)
        result = call.result(value, outputs)
        _raise_pending()
        return result

    def __enter__(self):
        return self

    def __exit__(self, *error):
        self.close()

    def __del__(self):
        try:
            self.close()
        except Exception:  # the library may be gone at interpreter exit
            pass

    def __repr__(self):
        return "<%s at 0x%x>" % (type(self).__name__, self._pointer or 0)


_interfaces = {}
_HIDDEN_SLOTS = {"AddRef", "Release", "QueryInterface"}  # the Python object holds the reference


def _make_interface(entry):
    slots = {}
    methods = {"__doc__": entry["doc"], "_id": entry["id"]}
    for index, slot in enumerate(entry["slots"]):
        params = [dict(p) for p in slot["params"]]
        if slot["name"] == "QueryInterface":
            params[1]["direction"] = "out"  # void** object: the pointer stored
        call = _Call(f"{entry['name']}.{slot['name']}", slot["returns"], params, slot["doc"])
        slots[slot["name"]] = (index, call)
        if slot["name"] in _HIDDEN_SLOTS:
            continue

        def method(self, *arguments, _name=slot["name"]):
            return self._call_slot(_name, *arguments)

        method.__name__ = slot["name"]
        method.__doc__ = slot["doc"]
        methods[slot["name"]] = method
        methods[python_name(slot["name"])] = method
    methods["_slots"] = slots
    return type(entry["name"], (Interface,), methods)


for _entry in api["interfaces"]:
    _interfaces[_entry["name"]] = _make_interface(_entry)
    globals()[_entry["name"]] = _interfaces[_entry["name"]]

# ---- The module's names --------------------------------------------------
for _constant in api["constants"]:
    globals()[_constant["name"]] = _constant["value"]
for _enumeration in api["enumerations"]:
    for _member in _enumeration["members"]:
        globals()[_member["name"]] = _member["value"]
for _name, _value in _values.items():
    globals()[_name] = _value
# Function-like macros: integer formulas of their parameters and the constants
# above (the description admits nothing else), so each becomes a function.
for _macro in api.get("macros", []):
    globals()[_macro["name"]] = eval(f"lambda {', '.join(_macro['parameters'])}: {_macro['expression']}", globals())
    globals()[_macro["name"]].__doc__ = _macro["doc"]
for _entry in api["exports"]:
    if _entry.get("kind") == "data":  # an exported record, read once
        _value = _from_structure(_entry["type"], _structures[_entry["type"]].in_dll(library, _entry["name"]))
        if _entry["type"] == "QGUID":
            _value = "{%08X-%04X-%04X-%s-%s}" % (_value.data1, _value.data2, _value.data3,
                                                 bytes(_value.data4[:2]).hex().upper(),
                                                 bytes(_value.data4[2:]).hex().upper())
            if _entry["name"].startswith("IID_") and _entry["name"][4:] in _interfaces:
                _interfaces[_entry["name"][4:]]._id = _value
        globals()[_entry["name"]] = _value
        continue
    _export = _make_export(_entry)
    globals()[_entry["name"]] = _export
    globals()[python_name(_entry["name"])] = _export

version = api["version"]
