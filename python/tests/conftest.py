"""Runs the package against the library's emulated cameras, with settings in a temporary folder.

LUMORA_LIBRARY names the library to test (./dev test sets it); without it the native build's
library is used when present.
"""

import atexit
import os
import shutil
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
os.environ["LUMORA_CAMEMU"] = "2"
os.environ.pop("LUMORA_CAMEMU_STILL", None)
os.environ["XDG_CONFIG_HOME"] = tempfile.mkdtemp(prefix="lumora-python-tests-")
atexit.register(shutil.rmtree, os.environ["XDG_CONFIG_HOME"], True)
# The command file of the emulated cameras' faults, of these tests alone.
os.environ["XDG_RUNTIME_DIR"] = os.environ["XDG_CONFIG_HOME"]
built = os.path.join(HERE, "..", "..", "build", "native", "libLumoraSdk_USB3_K37VQ.so")
if "LUMORA_LIBRARY" not in os.environ and os.path.exists(built):
    os.environ["LUMORA_LIBRARY"] = os.path.abspath(built)
