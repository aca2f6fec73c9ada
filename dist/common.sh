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

# Fetches the Debian 12 source packages named after the first argument (a
# folder) into <folder>/src, once, through a private apt configuration under
# <folder>/apt: the system's apt sources stay untouched. DEBIAN_MIRROR and
# DEBIAN_SECURITY_MIRROR name the mirrors.
fetch_debian_sources() {
  local deps
  deps=$(realpath -m "$1")
  shift
  [ -f "$deps/sources.done" ] && return 0
  local mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
  local security_mirror=${DEBIAN_SECURITY_MIRROR:-http://deb.debian.org/debian-security}
  local keyring=/usr/share/keyrings/debian-archive-keyring.gpg
  echo "== fetching the Debian sources of $*"
  rm -rf "$deps/apt" "$deps/src"
  mkdir -p "$deps/apt/lists/partial" "$deps/apt/cache/archives/partial" "$deps/apt/sources.list.d" \
    "$deps/src"
  cat > "$deps/apt/sources.list" <<LIST
deb-src [signed-by=$keyring] $mirror bookworm main
deb-src [signed-by=$keyring] $mirror bookworm-updates main
deb-src [signed-by=$keyring] $security_mirror bookworm-security main
LIST
  local apt_private=(
    -o "Dir::Etc::SourceList=$deps/apt/sources.list"
    -o "Dir::Etc::SourceParts=$deps/apt/sources.list.d"
    -o "Dir::State::Lists=$deps/apt/lists"
    -o "Dir::Cache=$deps/apt/cache"
    -o "APT::Sandbox::User=root"
  )
  apt-get "${apt_private[@]}" update
  (cd "$deps/src" && apt-get "${apt_private[@]}" source "$@")
  touch "$deps/sources.done"
}
