#!/bin/sh
# The Python package as the README installs it: by cmake --install where Debian's python3 finds
# it (for /usr/local and /usr), finding the installed library without environment variables;
# and by pip into a virtual environment that uses Debian's NumPy, finding the library through
# LUMORA_LIBRARY.
#   python_install_test.sh BUILD_DIR SOURCE_DIR
set -eu
build=$1
source=$2
python=/usr/bin/python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LUMORA_CAMEMU=1 XDG_CONFIG_HOME="$work/config"
unset LUMORA_LIBRARY LD_LIBRARY_PATH PYTHONPATH 2>/dev/null || true
check='import lumora; assert lumora.list_cameras() == ["LumoraK37VQ_01"]; print(lumora.__file__)'

for scheme in posix_local deb_system; do
  prefix=/usr/local
  [ $scheme = deb_system ] && prefix=/usr
  DESTDIR="$work/root" cmake --install "$build" --prefix $prefix >/dev/null
  site=$($python -c "import sysconfig; print(sysconfig.get_path('purelib', '$scheme', vars={'base': '/usr'}))")
  # On the interpreter's own search path, and importable from there with nothing set.
  $python -c "import sys; assert '$site' in sys.path, sys.path"
  test -f "$work/root$site/lumora/__init__.py"
  PYTHONPATH="$work/root$site" $python -c "$check" | grep -q "^$work/root$site/lumora/"
done

$python -m venv --system-site-packages "$work/venv"
PIP_NO_CACHE_DIR=1 "$work/venv/bin/pip" install -q "$source/python"
LUMORA_LIBRARY="$work/root/usr/local/lib/libLumoraSdk_USB3_K37VQ.so" "$work/venv/bin/python" -c "$check" |
  grep -q "^$work/venv/"
echo "python package: installed by cmake (/usr/local, /usr) and pip (virtual environment), both ran"
