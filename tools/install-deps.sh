#!/usr/bin/env bash
# Installs, through apt-get, the Debian packages that building and testing QIRO
# need and that this machine lacks; installs nothing when all are present.
#
#   tools/install-deps.sh           everything: build, tests and benchmarks (make deps)
#   tools/install-deps.sh build     only what the build needs (make demo)
#   tools/install-deps.sh test      the build and the test tools (make test, make test-asan)
#   tools/install-deps.sh bench     the build and Google Benchmark (make bench)
#   tools/install-deps.sh fuzz      the build and the fuzz targets (clang, libFuzzer)
#   tools/install-deps.sh memcheck  the build and valgrind
#   tools/install-deps.sh deb       the build and dpkg-dev (make deb: dpkg-shlibdeps)
#   tools/install-deps.sh wheel     the build and Python's build, setuptools and wheel (make wheel)
#
# Build packages that cannot be installed end the script with status 1. The
# Python module's packages (pybind11, Python's headers, numpy) and the test
# tools (Biopython, Chromium, Snakemake, groff for the man pages, pytest,
# pandas) that cannot be installed only give a warning: the build leaves the
# module out and the tests that need them report themselves skipped.
set -uo pipefail

build_pkgs=(cmake g++ make libgtest-dev zlib1g-dev nlohmann-json3-dev libhts-dev)
# The Python module (built when these are there; a warning only when missing).
python_pkgs=(python3-dev pybind11-dev python3-pybind11 python3-numpy)
test_pkgs=(python3 python3-biopython chromium snakemake fonts-dejavu-core groff-base python3-pytest python3-pandas)
bench_pkgs=(libbenchmark-dev)
fuzz_pkgs=(clang libclang-rt-dev)
memcheck_pkgs=(valgrind)
deb_pkgs=(dpkg-dev)
wheel_pkgs=(python3-build python3-setuptools python3-wheel)

# Packages whose absence is an error; the others only warn.
required=("${build_pkgs[@]}")
want=("${build_pkgs[@]}" "${python_pkgs[@]}")
case "${1:-all}" in
  build) ;;
  test) want+=("${test_pkgs[@]}") ;;
  bench) want+=("${bench_pkgs[@]}"); required+=("${bench_pkgs[@]}") ;;
  fuzz) want+=("${fuzz_pkgs[@]}"); required+=("${fuzz_pkgs[@]}") ;;
  memcheck) want+=("${memcheck_pkgs[@]}"); required+=("${memcheck_pkgs[@]}") ;;
  deb) want+=("${deb_pkgs[@]}"); required+=("${deb_pkgs[@]}") ;;
  wheel) want+=("${wheel_pkgs[@]}"); required+=("${wheel_pkgs[@]}" "${python_pkgs[@]}") ;;
  *) want+=("${test_pkgs[@]}" "${bench_pkgs[@]}") ;;
esac

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q '^install ok installed$'
}

missing=()
for p in "${want[@]}"; do
  installed "$p" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    as_root=(sudo -n)
  else
    echo "install-deps: missing packages: ${missing[*]}" >&2
    echo "install-deps: not root and no password-less sudo; install them with apt-get" >&2
    as_root=(false)
  fi
fi

if [ "${as_root[*]}" != false ] && command -v apt-get >/dev/null 2>&1; then
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${as_root[@]}" apt-get update -q >/dev/null || echo "install-deps: apt-get update failed" >&2
  if ! "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null; then
    # One package that cannot be had must not keep the others out.
    for p in "${missing[@]}"; do
      "${as_root[@]}" apt-get install -y -q --no-install-recommends "$p" >/dev/null ||
        echo "install-deps: could not install $p" >&2
    done
  fi
fi

status=0
for p in "${missing[@]}"; do
  if ! installed "$p"; then
    case " ${required[*]} " in
      *" $p "*) echo "install-deps: this step needs $p" >&2; status=1 ;;
      *) echo "install-deps: warning: $p is not installed; the tests that need it will be skipped" >&2 ;;
    esac
  fi
done
exit $status
