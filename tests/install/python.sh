#!/usr/bin/env bash
# The Python package installed two ways, each used from a scratch directory with nothing of the
# build on its paths: cmake --install into a prefix (the module uses the prefix's engine library),
# and pip into a fresh virtual environment, offline (the package carries the engine library).
# Usage: python.sh BUILD_DIR PYTHON
set -euo pipefail
build=$(cd "$1" && pwd)
python=$2
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/veskor-python-install-XXXXXX")
trap 'rm -rf "$work"' EXIT
unset PYTHONPATH LD_LIBRARY_PATH
export PYTHONDONTWRITEBYTECODE=1

# Searches with the package found first on the path and checks where it and the engine came from.
check() {
  local interpreter=$1 package_dir=$2 engine=$3
  (cd "$work" && "$interpreter" - "$package_dir" "$engine" <<'PY'
import os, sys
import veskor
package_dir, engine = sys.argv[1], sys.argv[2]
assert os.path.dirname(veskor.__file__) == package_dir, veskor.__file__
with open("/proc/self/maps") as maps:
    loaded = {line.split()[-1] for line in maps if "libveskoreng" in line}
assert loaded == {engine}, loaded
with veskor.create("check.kb", overwrite=True) as kb:
    kb.add_many([("1", "Hamburg"), ("2", "Augsburg"), ("3", "Bamberg")])
    hits = kb.find("Hamborg", n=2)
assert [h.key for h in hits] == ["1", "3"], hits
print("  found", hits[0].key, "from", package_dir)
PY
  )
}

echo "== cmake --install"
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
site=$(ls -d "$prefix"/lib/python3*/*-packages)
[ -e "$site/veskor/py.typed" ] || { echo "not installed: $site/veskor/py.typed"; exit 1; }
PYTHONPATH="$site" check "$python" "$site/veskor" "$prefix/lib/libveskoreng.so"

echo "== pip install into a fresh virtual environment, offline"
"$python" -m venv --system-site-packages "$work/venv"
# No index and no version check: nothing may go to the network. The project's build directory
# supplies the compiled parts; setuptools' own work stays out of the source tree.
PIP_CONFIG_FILE=/dev/null VESKOR_CMAKE_BUILD_DIR="$build" VESKOR_SETUP_WORK_DIR="$work/setup" \
  "$work/venv/bin/pip" install --no-build-isolation --no-index --disable-pip-version-check --quiet \
  "$source_dir/python"
venv_package=$("$work/venv/bin/python" -c 'import sysconfig; print(sysconfig.get_path("platlib"))')/veskor
check "$work/venv/bin/python" "$venv_package" "$venv_package/libveskoreng.so"
echo "python install test passed"
