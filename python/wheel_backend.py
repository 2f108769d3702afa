"""Builds the wheel of the pure-Python package ``lumora`` (the hooks pip calls to build it).

Nothing is compiled and nothing is fetched: the wheel holds the package's files and the
metadata read from pyproject.toml.
"""

import base64
import hashlib
import os
import tomllib
import zipfile

_HERE = os.path.dirname(os.path.abspath(__file__))
_PACKAGE = "lumora"


def _project():
    with open(os.path.join(_HERE, "pyproject.toml"), "rb") as file:
        return tomllib.load(file)["project"]


def _metadata(project):
    lines = ["Metadata-Version: 2.1", f"Name: {project['name']}", f"Version: {project['version']}",
             f"Summary: {project['description']}",
             f"Requires-Python: {project['requires-python']}"]
    lines += [f"Requires-Dist: {d}" for d in project.get("dependencies", [])]
    with open(os.path.join(_HERE, project["readme"]), encoding="utf-8") as file:
        lines += ["Description-Content-Type: text/markdown", "", file.read()]
    return "\n".join(lines) + "\n"


def _record_line(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}"


def get_requires_for_build_wheel(config_settings=None):
    """Nothing is needed to build the wheel."""
    return []


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    """Writes ``lumora-<version>-py3-none-any.whl`` into wheel_directory; returns its name."""
    project = _project()
    dist_info = f"{project['name']}-{project['version']}.dist-info"
    wheel_name = f"{project['name']}-{project['version']}-py3-none-any.whl"
    files = []
    for root, dirs, names in os.walk(os.path.join(_HERE, _PACKAGE)):
        dirs[:] = [d for d in dirs if d != "__pycache__"]
        for name in sorted(names):
            if name.endswith(".py"):
                path = os.path.join(root, name)
                with open(path, "rb") as file:
                    files.append((os.path.relpath(path, _HERE).replace(os.sep, "/"), file.read()))
    files.append((f"{dist_info}/METADATA", _metadata(project).encode()))
    files.append((f"{dist_info}/WHEEL", b"Wheel-Version: 1.0\nGenerator: wheel_backend\n"
                  b"Root-Is-Purelib: true\nTag: py3-none-any\n"))
    record = [_record_line(name, data) for name, data in files] + [f"{dist_info}/RECORD,,"]
    files.append((f"{dist_info}/RECORD", ("\n".join(record) + "\n").encode()))
    with zipfile.ZipFile(os.path.join(wheel_directory, wheel_name), "w",
                         zipfile.ZIP_DEFLATED) as wheel:
        for name, data in files:
            wheel.writestr(name, data)
    return wheel_name
