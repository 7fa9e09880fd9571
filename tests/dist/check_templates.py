#!/usr/bin/env python3
"""Checks the release's Group Policy templates.

    check_templates.py --constants PROGRAM --xmllint XMLLINT POLICYDEFINITIONS

- kestrana.admx and each language's kestrana.adml are well-formed XML;
- every $(string.ID) and $(presentation.ID) of the ADMX is defined in each
  ADML, each presentation part names an element of its policy, and each
  ADML is recent enough for the ADMX: Group Policy Management refuses the
  whole template otherwise;
- the one policy writes exactly what the program writes: the key and value
  name of the program's path and an enumeration of its three values, as
  decimals (REG_DWORD). PROGRAM prints them as the program compiles them.

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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--constants", required=True)
    parser.add_argument("--xmllint", default="xmllint")
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

    if problems:
        return 1
    print(f"ok: {len(references)} references resolve in {', '.join(LANGUAGES)}; "
          f"HKLM\\{key} {value_name} = {values}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
