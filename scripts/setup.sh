# Shared by test.sh and run.sh: install the Debian packages the build and the
# tests need, then configure and build into build/. Sourced, not run.

TAPEWELL_PACKAGES=(
  cmake ninja-build g++ clang clang-format libclang-rt-14-dev pkg-config
  libgtest-dev libbenchmark-dev libpcap-dev libcurl4-openssl-dev shared-mime-info
  ffmpeg python3
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly
  gstreamer1.0-libav gstreamer1.0-tools libgstreamer-plugins-base1.0-dev
  qt6-base-dev qt6-tools-dev qt6-l10n-tools qt6-translations-l10n fonts-noto-cjk dbus-daemon
  libqt6svg6 desktop-file-utils libcap2-bin dpkg-dev file fakeroot ccache
)

tapewell_install_packages() {
  local missing=()
  local pkg
  for pkg in "${TAPEWELL_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' \
      || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing packages (run as root to install them): ${missing[*]}" >&2
    return 0
  fi
  echo "setup: installing ${missing[*]}"
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# tapewell_build DIR [CMAKE ARGS...]: a Release build, the configuration a
# distribution ships, unless the arguments name another build type.
tapewell_build() {
  local dir=$1
  shift
  # Each run starts from a clean clone on the same two cores: the compiler
  # cache lets a run rebuild only what changed since the last one. Paths are
  # taken relative to the clone, so clones in other folders share it.
  local launcher=()
  if command -v ccache >/dev/null; then
    export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1 CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-8G}
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" "$@" >/dev/null
  cmake --build "$dir" -j "$(nproc)"
}
