#!/usr/bin/env python3
# SPDX-FileCopyrightText: The Kelvara developers
# SPDX-License-Identifier: BSD-3-Clause

"""Usage: check_spdx.py SCHEMA [--ignore NAME] [--expect NAME,...] PACKAGE...

Checks the SPDX document that each package holds: a Debian package, a ZIP,
or the folder an installer installed (whose files named by --ignore, such
as the uninstaller that the installer writes, are not the package's). The
document must validate against SCHEMA (skipped, saying so, where SCHEMA is
absent), list exactly the package's other files with their SHA-1 and
SHA-256, relate only elements it has, and give every package that is not a
mere dependency a licence other than NOASSERTION. Where the document's copy
lies beside the package as PACKAGE.spdx.json, it must be the same bytes.
--expect names packages it must describe, each with a version.
"""

import argparse
import hashlib
import io
import json
import pathlib
import subprocess
import sys
import tarfile
import zipfile

DOCUMENT = "kelvara.spdx.json"


def deb_files(path):
    data = subprocess.run(["dpkg-deb", "--fsys-tarfile", path], capture_output=True, check=True).stdout
    with tarfile.open(fileobj=io.BytesIO(data)) as tar:
        return {member.name: tar.extractfile(member).read() for member in tar if member.isfile()}


def zip_files(path):
    with zipfile.ZipFile(path) as archive:
        names = [name for name in archive.namelist() if not name.endswith("/")]
        return {"./" + name.split("/", 1)[1]: archive.read(name) for name in names}


def tree_files(path):
    root = pathlib.Path(path)
    return {"./" + file.relative_to(root).as_posix(): file.read_bytes() for file in root.rglob("*") if file.is_file()}


def problems_of(package, files, document, validator, expected):
    problems = []
    if validator:
        problems += [f"schema: {error.message} at {list(error.absolute_path)}"
                     for error in validator.iter_errors(document)]

    listed = {entry["fileName"]: {c["algorithm"]: c["checksumValue"] for c in entry.get("checksums", [])}
              for entry in document.get("files", [])}
    for name in sorted(files.keys() - listed.keys()):
        problems.append(f"the package holds {name}, which the document does not list")
    for name in sorted(listed.keys() - files.keys()):
        problems.append(f"the document lists {name}, which the package does not hold")
    for name in sorted(files.keys() & listed.keys()):
        for algorithm, digest in (("SHA1", hashlib.sha1), ("SHA256", hashlib.sha256)):
            if listed[name].get(algorithm) != digest(files[name]).hexdigest():
                problems.append(f"{name}: the document's {algorithm} is not the file's")

    packages = {entry["SPDXID"]: entry for entry in document.get("packages", [])}
    elements = packages.keys() | {entry["SPDXID"] for entry in document.get("files", [])} | {"SPDXRef-DOCUMENT"}
    dependencies = set()
    for relationship in document.get("relationships", []):
        for end in ("spdxElementId", "relatedSpdxElement"):
            if relationship[end] not in elements:
                problems.append(f"a {relationship['relationshipType']} relationship names {relationship[end]}, "
                                "which the document does not have")
        if relationship["relationshipType"] == "DEPENDS_ON":
            dependencies.add(relationship["relatedSpdxElement"])
    for identifier, entry in packages.items():
        licences = [entry.get(field) for field in ("licenseDeclared", "licenseConcluded")]
        if "NOASSERTION" in licences or (identifier not in dependencies and None in licences):
            problems.append(f"package {entry['name']} declares no licence, or NOASSERTION: {licences}")

    by_name = {entry["name"]: entry for entry in packages.values()}
    for name in expected:
        if not by_name.get(name, {}).get("versionInfo"):
            problems.append(f"no package {name} with a version")
    return problems


def main():
    arguments = argparse.ArgumentParser()
    arguments.add_argument("schema")
    arguments.add_argument("--ignore", action="append", default=[])
    arguments.add_argument("--expect", default="")
    arguments.add_argument("packages", nargs="+")
    options = arguments.parse_args()

    validator = None
    if pathlib.Path(options.schema).is_file():
        import jsonschema
        validator = jsonschema.Draft201909Validator(json.loads(pathlib.Path(options.schema).read_text()))
    else:
        print(f"skipped the schema validation: {options.schema} is absent")

    failed = False
    for package in options.packages:
        if package.endswith(".deb"):
            files = deb_files(package)
        elif package.endswith(".zip"):
            files = zip_files(package)
        else:
            files = tree_files(package)
        for name in options.ignore:
            files.pop("./" + name, None)
        inside = [name for name in files if name.endswith("/" + DOCUMENT)]
        if len(inside) != 1:
            print(f"FAIL: {package} holds {len(inside)} files named {DOCUMENT}")
            failed = True
            continue
        text = files.pop(inside[0])
        problems = problems_of(package, files, json.loads(text), validator,
                               [name for name in options.expect.split(",") if name])
        beside = pathlib.Path(package + ".spdx.json")
        if beside.is_file() and beside.read_bytes() != text:
            problems.append(f"{beside} is not the document the package holds")
        for problem in problems:
            print(f"FAIL: {package}: {problem}")
        failed |= bool(problems)
        if not problems:
            print(f"{package}: its SPDX document lists its {len(files)} files and checks out")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
