# shellcheck shell=bash
# Helpers shared by the dist/build-*.sh scripts (sourced, not run).

# Installs those of the named Debian packages that are not installed yet.
# Waits for another apt or dpkg run to finish instead of failing.
need_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "== installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get -o DPkg::Lock::Timeout=600 update -qq
  apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${missing[@]}"
}

# Build parallelism: at most two jobs unless JOBS says otherwise.
build_jobs() {
  local n
  n=$(nproc)
  echo "${JOBS:-$(( n < 2 ? n : 2 ))}"
}
