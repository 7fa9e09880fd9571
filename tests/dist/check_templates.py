#!/usr/bin/env python3
"""Checks the release's Group Policy templates.

    check_templates.py --constants PROGRAM --xmllint XMLLINT [--guide GUIDE ...]
        POLICYDEFINITIONS

- kestrana.admx and each language's kestrana.adml are well-formed XML;
- every $(string.ID) and $(presentation.ID) of the ADMX is defined in each
  ADML, each presentation part names an element of its policy, and each
  ADML is recent enough for the ADMX: Group Policy Management refuses the
  whole template otherwise;
- the one policy writes exactly what the program writes: the key and value
  name of the program's path and an enumeration of its three values, as
  decimals (REG_DWORD). PROGRAM prints them as the program compiles them;
- the reg commands each guide gives for checking and undoing without the
  program name that key (as Windows compares it: without regard to case),
  that value name, REG_DWORD and one of those values, and are the same
  commands in every guide. A guide without a reg query and a reg add line
  fails too.

Every problem is printed on its own line, expected beside found; the exit
status is 1 when there was any.
"""

import argparse
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

NS = "{http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions}"
LANGUAGES = ("zh-CN", "en-US")
REFERENCE = re.compile(r"\$\((string|presentation)\.([^)]*)\)")

problems = []


def problem(text):
    problems.append(text)
    print(f"FAIL: {text}", file=sys.stderr)


def revision(text):
    return tuple(int(part) for part in (text or "0").split("."))


def program_constants(program):
    out = subprocess.run([program], check=True, capture_output=True, text=True).stdout
    fields = dict(line.split(" ", 1) for line in out.splitlines())
    key, value_name = fields["path"].rsplit("\\", 1)
    return key, value_name, [int(v) for v in fields["values"].split()]


def check_policy(admx, key, value_name, values):
    """The one policy and its enumeration; gives the ids of its elements."""
    policies = admx.findall(f"{NS}policies/{NS}policy")
    if len(policies) != 1:
        problem(f"admx: expected 1 policy, found {len(policies)}")
        return None, set()
    policy = policies[0]
    name = policy.get("name")
    for attribute, expected in (("class", "Machine"), ("key", key)):
        if policy.get(attribute) != expected:
            problem(f"admx: policy {name} {attribute}: expected {expected!r}, found {policy.get(attribute)!r}")

    categories = {c.get("name") for c in admx.iter(f"{NS}category")}
    for parent in policy.findall(f"{NS}parentCategory"):
        if parent.get("ref") not in categories:
            problem(f"admx: policy {name} is in category {parent.get('ref')!r}, which is not defined")
    definitions = {d.get("name") for d in admx.iter(f"{NS}definition")}
    supported = policy.find(f"{NS}supportedOn")
    if supported is None or supported.get("ref") not in definitions:
        found = None if supported is None else supported.get("ref")
        problem(f"admx: policy {name} supportedOn: expected one of {sorted(definitions)}, found {found!r}")

    container = policy.find(f"{NS}elements")
    elements = [] if container is None else list(container)
    enums = [e for e in elements if e.tag == f"{NS}enum"]
    if len(elements) != 1 or len(enums) != 1:
        problem(f"admx: policy {name}: expected exactly one element, an enum; found "
                f"{[e.tag.removeprefix(NS) for e in elements]}")
    for enum in enums:
        if enum.get("valueName") != value_name:
            problem(f"admx: enum {enum.get('id')} valueName: expected {value_name!r}, found {enum.get('valueName')!r}")
        found = []
        for item in enum.findall(f"{NS}item"):
            decimal = item.find(f"{NS}value/{NS}decimal")
            found.append(None if decimal is None else int(decimal.get("value")))
        if found != values:
            problem(f"admx: enum {enum.get('id')} values (decimal, in order): expected {values}, found {found}")
    return policy, {e.get("id") for e in elements}


def check_adml(path, references, required, policy, element_ids):
    adml = ET.parse(path).getroot()
    if revision(adml.get("revision")) < required:
        problem(f"{path}: revision {adml.get('revision')} is older than the ADMX requires "
                f"({'.'.join(map(str, required))})")
    strings = [s.get("id") for s in adml.iter(f"{NS}string")]
    for duplicate in sorted({s for s in strings if strings.count(s) > 1}):
        problem(f"{path}: string {duplicate!r} is defined more than once")
    presentations = {p.get("id"): p for p in adml.iter(f"{NS}presentation")}
    defined = {"string": set(strings), "presentation": set(presentations)}
    for kind, name in sorted(references):
        if name not in defined[kind]:
            problem(f"{path}: $({kind}.{name}) is used by the ADMX but not defined")
    if policy is not None:
        presentation = REFERENCE.fullmatch(policy.get("presentation") or "")
        for part in presentations.get(presentation and presentation.group(2), []):
            if part.get("refId") not in element_ids:
                problem(f"{path}: presentation part refId {part.get('refId')!r}: expected one of "
                        f"{sorted(element_ids)}")


# reg query|add "HKLM\KEY" /v NAME [/t TYPE] [/d DATA] [/f], as a guide
# writes it: indented, on a line of its own (prose starts at the margin).
REG_LINE = re.compile(r'^\s+reg\s+(query|add)\s+"(?:HKLM|HKEY_LOCAL_MACHINE)\\([^"]+)"((?:\s+/\w+(?:\s+[^/\s]\S*)?)*)\s*$',
                      re.I)
REG_OPTION = re.compile(r"/(\w+)(?:\s+([^/\s]\S*))?")


def check_guides(paths, key, value_name, values):
    commands = {}
    for path in paths:
        with open(path, encoding="utf-8-sig") as f:
            lines = [line.rstrip("\r\n") for line in f]
        found = set()
        for number, line in enumerate(lines, 1):
            if not re.match(r"\s+reg\s", line, re.I):
                continue
            where = f"{os.path.basename(path)}:{number}"
            match = REG_LINE.match(line)
            if not match:
                problem(f"{where}: a reg command that does not read as reg query|add \"HKLM\\KEY\" /v NAME ...: {line.strip()}")
                continue
            verb, line_key, rest = match.group(1).lower(), match.group(2), match.group(3)
            options = {name.lower(): data for name, data in REG_OPTION.findall(rest)}
            found.add((verb, line_key, tuple(sorted(options.items()))))
            if line_key.lower() != key.lower():
                problem(f"{where}: key: expected HKLM\\{key} (any case), found HKLM\\{line_key}")
            if options.get("v", "").lower() != value_name.lower():
                problem(f"{where}: /v: expected {value_name!r}, found {options.get('v')!r}")
            if verb == "add":
                if options.get("t", "").upper() != "REG_DWORD":
                    problem(f"{where}: /t: expected 'REG_DWORD', found {options.get('t')!r}")
                if options.get("d") not in [str(v) for v in values]:
                    problem(f"{where}: /d: expected one of {values}, found {options.get('d')!r}")
        for verb in ("query", "add"):
            if verb not in {command[0] for command in found}:
                problem(f"{os.path.basename(path)}: expected a reg {verb} line, found none")
        commands[path] = found
    if len({frozenset(found) for found in commands.values()}) > 1:
        problem("guides: expected the same reg commands in each, found "
                + "; ".join(f"{os.path.basename(p)}: {sorted(f)}" for p, f in commands.items()))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--constants", required=True)
    parser.add_argument("--xmllint", default="xmllint")
    parser.add_argument("--guide", action="append", default=[])
    parser.add_argument("folder")
    args = parser.parse_args()

    admx_path = os.path.join(args.folder, "kestrana.admx")
    adml_paths = [os.path.join(args.folder, lang, "kestrana.adml") for lang in LANGUAGES]
    for path in [admx_path, *adml_paths]:
        lint = subprocess.run([args.xmllint, "--noout", path], capture_output=True, text=True)
        if lint.returncode != 0:
            problem(f"{path}: not well-formed: {lint.stderr.strip()}")
    if problems:
        return 1

    key, value_name, values = program_constants(args.constants)
    admx = ET.parse(admx_path).getroot()
    references = {m.groups() for e in admx.iter() for v in e.attrib.values() for m in REFERENCE.finditer(v)}
    resources = admx.find(f"{NS}resources")
    required = revision(resources.get("minRequiredRevision") if resources is not None else None)
    policy, element_ids = check_policy(admx, key, value_name, values)
    for path in adml_paths:
        check_adml(path, references, required, policy, element_ids)
    check_guides(args.guide, key, value_name, values)

    if problems:
        return 1
    print(f"ok: {len(references)} references resolve in {', '.join(LANGUAGES)}; "
          f"HKLM\\{key} {value_name} = {values}, in the templates and the reg lines of "
          f"{len(args.guide)} guides")
    return 0


if __name__ == "__main__":
    sys.exit(main())
